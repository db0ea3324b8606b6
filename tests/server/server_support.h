// Helpers of the module and registration tests: a private registry per test, the module's exports
// loaded as a host loads it, a registry dump for before/after comparisons, and child processes for
// tests whose effects last for the rest of a process (per-user registration). What differs by
// platform is in server_support_linux.cpp and server_support_windows.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "corvane/module_exports.h"
#include "tests/support/temp_registry.h"

namespace corvane::testing {

// The module that the build produced, and its path with symbolic links resolved (what the module
// reports as its own file).
std::string ModulePath();
OleString ModulePathWide();

// The full path of a file as the system names a module loaded from it (symbolic links resolved on
// Linux; the drive and the system's separators on Windows).
std::string ResolvedPath(const std::string& path);

// The file name of a copy of the module, for copies that must load as modules of their own:
// "libcorvane-<tag>.so", "corvane-<tag>.dll".
std::string ModuleCopyName(const std::string& tag);

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

// The five exports of a loaded module (it stays loaded for the rest of the process, as COM keeps
// in-process servers).
struct ModuleExports {
    void* handle = nullptr;    // what dlopen or LoadLibrary returned
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

// The bytes of a resource of a module, or empty when it has none.
std::string ResourceBytes(HMODULE module, int id, LPCWSTR type);

// How the TYPELIB resource begins: the text form that the Linux layer reads ("library
// corvaneLib "), or the compiled type library of Windows ("MSFT").
extern const char kTypeLibraryForm[];

// Every key and value of both hives (HKLM, HKCU) as text, one line each, in enumeration order;
// write times are left out. Equal dumps mean equal registries.
std::string DumpRegistry();

// The keys and values below root\path (not the key itself) in the format of DumpRegistry, paths
// relative to it; empty when the key is missing or empty.
std::string DumpSubtree(HKEY root, const OleString& path);

// A dump as comparisons need it: unchanged where the registry enumerates a key's values in the
// order they were made (the Linux layer, whose tests check that order), else with each key's
// value lines sorted (the system's enumeration order is its own; Wine's is by name).
std::string ComparableDump(const std::string& dump);

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

// Runs body in a child process, with the state of this process at the time of the call (on
// Linux a fork; on Windows the test program runs again up to this call, so the body must not need
// the registry contents of the parent). Assertion failures in the child are printed there; the
// result fails when the child failed or did not end normally.
::testing::AssertionResult RunInChildProcess(const std::function<void()>& body);

// In a child process: runs body and gives the child's exit code (0 passed, 1 a failure, 2 an
// exception), its output flushed.
int RunChildBody(const std::function<void()>& body);

// Makes the nth registry write from now on fail with ERROR_CANTWRITE (0: none), where the registry
// has a way to (the Linux layer); false, and nothing changes, where it has not.
bool FailNthRegistryWrite(unsigned n);

// Holds the registry as another registration would for the object's lifetime: registrations
// of this process wait for it and then fail as busy.
class RegistryHeldElsewhere {
public:
    explicit RegistryHeldElsewhere(const TempRegistry& registry);
    ~RegistryHeldElsewhere();
    RegistryHeldElsewhere(const RegistryHeldElsewhere&) = delete;
    RegistryHeldElsewhere& operator=(const RegistryHeldElsewhere&) = delete;

private:
    struct Holder;
    Holder* holder_;
};

// What CoCreateInstance(clsid, NULL, CLSCTX_INPROC_SERVER, iid, out) gives a host for a class
// registered in the TempRegistry: that call where COM activation follows the test's registry,
// else the built module's class object for clsid, which is what COM would have called.
HRESULT CreateRegistered(REFCLSID clsid, REFIID iid, void** out);

// Checks the description of function `index` of an interface's type information: member id
// `id`, and propget, propput or a plain function as `method` (get_X, put_X, other) says. Only a
// compiled type library describes its functions; the Linux layer's text form does not, and there
// this checks nothing.
void ExpectFunctionDescribed(ITypeInfo* info, UINT index, MEMBERID id, const OleString& method);

// Wine's version when the tests run under Wine, else NULL: a few cases check what Wine does not
// do as Windows does and say so instead.
const char* WineVersion();

// For readable failure messages.
std::string Narrow(const OleString& s);
std::string HrText(HRESULT hr);

}  // namespace corvane::testing
