// Helpers of the module and registration tests: a private registry root per test, the module's
// exports loaded with dlopen, a registry dump for before/after comparisons, and child processes
// for tests whose effects last for the rest of a process (per-user registration).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "server/module.h"

namespace corvane::testing {

// The module that the build produced, and its path with symbolic links resolved (what the module
// reports as its own file).
std::string ModulePath();
OleString ModulePathWide();

// A fresh, empty registry root for the lifetime of the object; the previous root comes back
// afterwards and the folder is removed.
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

// A temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The five exports of a module loaded with dlopen (it stays loaded for the rest of the process,
// as COM keeps in-process servers).
struct ModuleExports {
    void* handle = nullptr;
    HMODULE module = nullptr;  // the module's handle as the platform knows it
    PFN_DllCanUnloadNow DllCanUnloadNow = nullptr;
    PFN_DllGetClassObject DllGetClassObject = nullptr;
    PFN_DllInstall DllInstall = nullptr;
    PFN_DllRegisterServer DllRegisterServer = nullptr;
    PFN_DllUnregisterServer DllUnregisterServer = nullptr;
};

// Loads path and looks up the exports; a failure is reported as a test failure and gives false.
bool LoadModule(const std::string& path, ModuleExports* out);
// The module that the build produced, loaded once per process.
const ModuleExports& MainModule();

// Copies the built module to path (whose folders must exist).
bool CopyModuleTo(const std::string& path);

// Every key and value of both hives (HKLM, HKCU) as text, one line each, in enumeration order;
// write times are left out. Equal dumps mean equal registries.
std::string DumpRegistry();

// The keys and values below root\path (not the key itself) in the format of DumpRegistry, paths
// relative to it; empty when the key is missing or empty.
std::string DumpSubtree(HKEY root, const OleString& path);

// Registry reads below a predefined key. Missing keys or values give false / empty results.
bool KeyExists(HKEY root, const OleString& path);
// The stored names of the subkeys / values of a key, in enumeration order ("" is the default
// value).
std::vector<OleString> SubkeyNames(HKEY root, const OleString& path);
std::vector<OleString> ValueNames(HKEY root, const OleString& path);
// A REG_SZ value without its terminator; false when missing or of another type.
bool ReadString(HKEY root, const OleString& path, const OLECHAR* name, OleString* out);
// Creates a key (with parents) and sets a REG_SZ value on it (name NULL: the default value).
void WriteString(HKEY root, const OleString& path, const OLECHAR* name, const OleString& value);

OleString LowerCase(OleString s);

// Runs body in a forked child process, with the state of this process at the time of the call.
// Assertion failures in the child are printed there; the result fails when the child failed or
// did not end normally.
::testing::AssertionResult RunInChildProcess(const std::function<void()>& body);

// For readable failure messages.
std::string Narrow(const OleString& s);
std::string HrText(HRESULT hr);

}  // namespace corvane::testing
