// The module of the in-process server: its start-up, its lock count, which every live effect
// object, every outside reference to a class object and every LockServer(TRUE) holds once, and the
// signatures of the five exports for programs that load the module themselves.
#pragma once

#include "platform/win32.h"

namespace corvane {

// Run by the platform's start-up code of the module: StartModule once when the module is loaded,
// before any export is called (instance: the module's own handle), StopModule once when it is
// unloaded. Until started, and after it is stopped, DllGetClassObject answers E_UNEXPECTED.
// StartModule answers false when the module cannot serve, for a loader that can refuse the load.
bool StartModule(HMODULE instance);
void StopModule();

// Interlocked; each returns the new count. An effect object calls ModuleLock once when it is
// created and ModuleUnlock once when it is destroyed.
LONG ModuleLock();
LONG ModuleUnlock();
// The current count; DllCanUnloadNow answers S_OK only while it is 0.
LONG ModuleLockCount();

}  // namespace corvane

// The exports, by name, as a loader finds them with dlsym / GetProcAddress.
typedef HRESULT(STDAPICALLTYPE* PFN_DllCanUnloadNow)();
typedef HRESULT(STDAPICALLTYPE* PFN_DllGetClassObject)(REFCLSID rclsid, REFIID riid, void** ppv);
// pszCmdLine "user" (any case, nothing more) selects per-user registration for the rest of the
// process; bInstall FALSE unregisters.
typedef HRESULT(STDAPICALLTYPE* PFN_DllInstall)(BOOL bInstall, LPCWSTR pszCmdLine);
typedef HRESULT(STDAPICALLTYPE* PFN_DllRegisterServer)();
typedef HRESULT(STDAPICALLTYPE* PFN_DllUnregisterServer)();
