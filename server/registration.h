// Registration and unregistration of the module: its own script, the class scripts of the object
// map and the type library, per machine or per user.
#pragma once

#include <vector>

#include "platform/win32.h"
#include "server/registrar.h"

namespace corvane {

class RegistryTransaction;

// Where registration goes: HKEY_CLASSES_ROOT and the per-machine type-library registration, or
// HKEY_CURRENT_USER\Software\Classes and the per-user one.
enum class RegistrationScope { Machine, PerUser };

// The replacements that every script of module receives: Module (the module's full path with
// each single quote doubled, for use inside a quoted string), Module_Raw (the path unchanged) and
// APPID (the module's AppID in braces). A path that does not fit in MAX_PATH characters with its
// NUL fails with HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) rather than being cut short.
HRESULT ModuleReplacements(HMODULE module, std::vector<registrar::Replacement>* out);

// Runs REGISTRY resource id of module with the module's replacements followed by extra.
// tx (may be NULL) records what registration changes.
HRESULT UpdateRegistryFromResource(HMODULE module, int id, bool bRegister,
                                   const std::vector<registrar::Replacement>& extra,
                                   RegistrationScope scope, RegistryTransaction* tx);

// How long a registration waits for another one (in this or another process) to finish before
// it fails with HRESULT_FROM_WIN32(ERROR_BUSY), "registry busy", changing nothing.
constexpr DWORD kRegistrationWaitMs = 30000;

// The module's script, each class script (REGISTRY ids, in object-map order), then the type
// library, as one registry session (see RegistrySession): concurrent registrations run one after
// another, and the registry files get every key of this one or none of them. The first failure
// stops it and everything it wrote is taken back, so a failed registration leaves the registry as
// it was. The thread's locale is the system default while it runs and is restored.
HRESULT RegisterServer(HMODULE module, const std::vector<int>& classScripts,
                       RegistrationScope scope, DWORD waitMs = kRegistrationWaitMs);

// Each class script in object-map order, the type library, then the module's script, as one
// registry session; stops at the first failure and keeps what it removed before it. Keys that are
// already gone are no failure; a type library that is not registered is (TYPE_E_REGISTRYACCESS),
// as the system's unregistration reports it. Locale as for RegisterServer.
HRESULT UnregisterServer(HMODULE module, const std::vector<int>& classScripts,
                         RegistrationScope scope, DWORD waitMs = kRegistrationWaitMs);

// True when a DllInstall command line asks for per-user registration: exactly "user" in any
// case of its ASCII letters; NULL, a longer or a shorter text is not.
bool IsPerUserCommandLine(LPCWSTR cmdLine);

}  // namespace corvane
