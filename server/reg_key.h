// A registry key handle that closes itself, and the HRESULT of a registry result, shared by the
// registrar and its undo log.
#pragma once

#include "platform/win32.h"

namespace corvane {

// Owns one open key (or none); closes it on destruction or Close.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // The slot for RegOpenKeyExW / RegCreateKeyExW; holds no key when handed out.
    HKEY* Out() {
        Close();
        return &key_;
    }
    HKEY Get() const { return key_; }
    void Close() {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

inline HRESULT RegResult(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

}  // namespace corvane
