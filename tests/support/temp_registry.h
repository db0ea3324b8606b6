// A registry of its own for a test, on every platform, and what the system's COM sees of it.
#pragma once

#include <string>

#include "platform/win32.h"

namespace corvane::testing {

// A fresh, empty registry for the lifetime of the object; the previous one comes back afterwards
// and the private one is removed. On Linux it is a registry root of its own (Dir() its folder); on
// Windows HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT are redirected
// (RegOverridePredefKey) to keys below HKCU\Software\corvane-tests (Dir() their parent), the
// classes root to the machine's classes: there is no merged view, and the system's COM activation
// does not follow the redirection.
class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    std::string previous_;
};

// Whether the system's COM (CoCreateInstance, ProgIDFromCLSID) reads what is written in a
// TempRegistry: on Linux it does; on Windows it reads the system's registry, which the
// redirection does not reach.
bool SystemComReadsTheTestRegistry();

}  // namespace corvane::testing
