// The five exports of the corvane module, by name and signature, for programs that load the module
// themselves (dlopen / LoadLibrary, then dlsym / GetProcAddress) rather than through COM.
#pragma once

#include "platform/win32.h"

typedef HRESULT(STDAPICALLTYPE* PFN_DllCanUnloadNow)();
typedef HRESULT(STDAPICALLTYPE* PFN_DllGetClassObject)(REFCLSID rclsid, REFIID riid, void** ppv);
// pszCmdLine "user" (any case, nothing more) selects per-user registration for the rest of the
// process; bInstall FALSE unregisters.
typedef HRESULT(STDAPICALLTYPE* PFN_DllInstall)(BOOL bInstall, LPCWSTR pszCmdLine);
typedef HRESULT(STDAPICALLTYPE* PFN_DllRegisterServer)();
typedef HRESULT(STDAPICALLTYPE* PFN_DllUnregisterServer)();
