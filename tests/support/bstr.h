// An owning BSTR for tests: Bstr(u"Rate") allocates, the destructor frees.
#pragma once

#include "platform/win32.h"

#include <string>
#include <utility>

namespace corvane::testing {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::u16string& s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    explicit Bstr(const char16_t* s) : b_(SysAllocString(s)) {}
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
    std::u16string Str() const {
        return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string();
    }

private:
    BSTR b_ = nullptr;
};

}  // namespace corvane::testing
