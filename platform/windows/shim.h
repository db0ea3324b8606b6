// The few names of the platform layer that Windows itself lacks, over the system's own functions:
// included by platform/win32.h after the system's headers.
#pragma once

#include <malloc.h>  // _aligned_malloc, _aligned_free

// An HRESULT constant from its 32-bit pattern, as the platform layer writes them.
#ifndef _HR
#define _HR(x) static_cast<HRESULT>(x)
#endif

// Registrations as one session: Begin waits at most timeoutMs for registrations of other threads
// and processes of this logon session (a named mutex) and answers ERROR_BUSY when they do not
// end in time; End releases it. The system writes each key as it is changed, so, unlike the Linux
// layer, End(FALSE) cannot take changes back: a registration undoes its own changes first.
// ERROR_INVALID_FUNCTION: Begin on a thread that already holds a session, End on one without.
EXTERN_C LSTATUS CorvaneRegistryBeginTransaction(DWORD timeoutMs);
EXTERN_C LSTATUS CorvaneRegistryEndTransaction(BOOL commit);

// Per-user type-library registration, where oleaut32 has it (Windows Vista on), else the
// per-machine call, as the module's registration asks. mingw-w64 does not declare these.
inline HRESULT RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* path, OLECHAR* helpDir) {
    using Fn = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
    const HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        oleaut ? GetProcAddress(oleaut, "RegisterTypeLibForUser") : nullptr));
    return fn ? fn(lib, path, helpDir) : RegisterTypeLib(lib, path, helpDir);
}
inline HRESULT UnRegisterTypeLibForUser(REFGUID libId, WORD major, WORD minor, LCID lcid,
                                        SYSKIND syskind) {
    using Fn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        oleaut ? GetProcAddress(oleaut, "UnRegisterTypeLibForUser") : nullptr));
    return fn ? fn(libId, major, minor, lcid, syskind)
              : UnRegisterTypeLib(libId, major, minor, lcid, syskind);
}

namespace corvane {

// The module (DLL or program) whose image holds the address; NULL when none does.
inline HMODULE ModuleFromAddress(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

}  // namespace corvane
