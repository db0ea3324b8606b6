// An owning BSTR for tests: Bstr(OLESTR("Rate")) allocates, the destructor frees.
#pragma once

#include "platform/win32.h"

#include <string>
#include <utility>

namespace corvane::testing {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const OleString& s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    explicit Bstr(const OLECHAR* s) : b_(SysAllocString(s)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }

    BSTR Get() const { return b_; }
    operator BSTR() const { return b_; }
    // Frees what is held and hands out the slot for an out-parameter.
    BSTR* operator&() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    OleString Str() const { return b_ ? OleString(b_, SysStringLen(b_)) : OleString(); }

private:
    BSTR b_ = nullptr;
};

}  // namespace corvane::testing
