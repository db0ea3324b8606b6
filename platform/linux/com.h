// The COM runtime of the Linux platform layer: task memory, GUID strings, the class factory
// interface, apartments, the process's class table and in-process activation. Names,
// signatures and values are Windows'.
//
// Activation (CoGetClassObject, CoCreateInstance) first asks the process's class table
// (CoRegisterClassObject) and then HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose
// default value names a shared object that is loaded with dlopen, kept loaded for the rest of
// the process, and asked through its exported DllGetClassObject. The class table is one per
// process (not one per apartment) and ThreadingModel is not consulted: there is no marshalling.
#pragma once

#include "platform/linux/wintypes.h"

#ifndef REGDB_E_INVALIDVALUE
#define REGDB_E_INVALIDVALUE _HR(0x80040153)
#endif
#ifndef CO_E_OBJISREG
#define CO_E_OBJISREG _HR(0x800401FB)
#endif
#ifndef CO_E_OBJNOTREG
#define CO_E_OBJNOTREG _HR(0x800401FC)
#endif

// ---- task memory ----

// Memory that crosses a COM boundary (strings returned by StringFromCLSID, ProgIDFromCLSID
// and the like); whoever receives it frees it with CoTaskMemFree. A request of 0 bytes still
// returns a distinct block. Blocks are aligned for any fundamental type.
EXTERN_C CORVANE_PLATFORM_API LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
// pv NULL allocates; cb 0 with pv not NULL frees pv and returns NULL. On failure NULL is
// returned and pv stays valid.
EXTERN_C CORVANE_PLATFORM_API LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
// NULL is accepted.
EXTERN_C CORVANE_PLATFORM_API void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// ---- GUIDs ----

// Length of "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with its NUL.
#define CORVANE_GUID_STRING_CHARS 39

// Writes the GUID in braces with upper-case hexadecimal digits. Returns the number of
// characters written including the NUL (39), or 0 (nothing written) when lpsz is NULL or
// cchMax is below 39.
EXTERN_C CORVANE_PLATFORM_API int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz,
                                                                 int cchMax);
// *lplpsz receives the string from CoTaskMemAlloc (NULL on failure). E_INVALIDARG for a NULL
// lplpsz, E_OUTOFMEMORY.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid,
                                                                     LPOLESTR* lplpsz);
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);

// Parse exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits of either case,
// nothing after the closing brace). A NULL string gives GUID_NULL and S_OK, as on Windows.
// Bad text leaves the output unchanged and gives CO_E_CLASSSTRING (CLSIDFromString; ProgIDs
// are not resolved) or E_INVALIDARG (IIDFromString). A NULL output pointer: E_INVALIDARG.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz,
                                                                     LPCLSID pclsid);
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

// A random (version 4, RFC 4122 variant) GUID from the kernel's random source. E_INVALIDARG
// for NULL, E_FAIL when no randomness is available (nothing written then).
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoCreateGuid(GUID* pguid);

// ---- class factory ----

CORVANE_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x00, 0x46);

struct IClassFactory : public IUnknown {
    // Creates an uninitialised object; pUnkOuter is the controlling unknown when the object is
    // created as part of an aggregate (then riid must be IID_IUnknown).
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) PURE;
    // TRUE keeps the server loaded until a matching FALSE.
    STDMETHOD(LockServer)(BOOL fLock) PURE;
};
typedef IClassFactory* LPCLASSFACTORY;

// ---- apartments ----

typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

// Per-thread count: the first call on a thread returns S_OK, every further call with the same
// model S_FALSE (each needs its CoUninitialize); a call with the other model fails with
// RPC_E_CHANGED_MODE and does not count. pvReserved must be NULL and dwCoInit a combination
// of the COINIT_* flags, else E_INVALIDARG. While any thread is in the multithreaded
// apartment, every thread may activate classes (the implicit multithreaded apartment).
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved,
                                                                    DWORD dwCoInit);
// CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED).
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved);
// Undoes one successful CoInitialize[Ex] of this thread; does nothing when there is none.
EXTERN_C CORVANE_PLATFORM_API void STDAPICALLTYPE CoUninitialize();

// ---- class table and activation ----

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC_HANDLER16 = 0x20,
    CLSCTX_RESERVED1 = 0x40,
    CLSCTX_RESERVED2 = 0x80,
    CLSCTX_RESERVED3 = 0x100,
    CLSCTX_RESERVED4 = 0x200,
    CLSCTX_NO_CODE_DOWNLOAD = 0x400,
    CLSCTX_RESERVED5 = 0x800,
    CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
    CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
    CLSCTX_NO_FAILURE_LOG = 0x4000,
    CLSCTX_DISABLE_AAA = 0x8000,
    CLSCTX_ENABLE_AAA = 0x10000,
    CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
    CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
    CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000,
    CLSCTX_ENABLE_CLOAKING = 0x100000,
    CLSCTX_APPCONTAINER = 0x400000,
    CLSCTX_ACTIVATE_AAA_AS_IU = 0x800000,
    CLSCTX_PS_DLL = (int)0x80000000,
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagREGCLS {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
    REGCLS_MULTI_SEPARATE = 2,
    REGCLS_SUSPENDED = 4,
    REGCLS_SURROGATE = 8,
    REGCLS_AGILE = 0x10,
} REGCLS;

// Names a remote machine; activation here is in-process only, so it is never read.
typedef struct _COSERVERINFO COSERVERINFO;

// Registers pUnk (AddRef'd; released by CoRevokeClassObject) as the class object of rclsid for
// the contexts in dwClsContext; *lpdwRegister receives a non-zero cookie (0 on failure).
// REGCLS_SINGLEUSE hands the object out once, REGCLS_SUSPENDED hides it until
// CoResumeClassObjects, REGCLS_MULTIPLEUSE with CLSCTX_LOCAL_SERVER also registers
// CLSCTX_INPROC_SERVER. E_INVALIDARG for NULL pointers or no server context,
// CO_E_OBJISREG when the class is already registered for one of those contexts,
// CO_E_NOTINITIALIZED without CoInitialize[Ex].
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoRegisterClassObject(
    REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags, LPDWORD lpdwRegister);
// CO_E_OBJNOTREG for a cookie that is not (or no longer) registered.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoRevokeClassObject(DWORD dwRegister);
// Makes every REGCLS_SUSPENDED registration visible.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoResumeClassObjects();

// The class object of rclsid, asked for riid. Results: E_POINTER (ppv NULL), E_INVALIDARG (no
// server context), CO_E_NOTINITIALIZED, REGDB_E_CLASSNOTREG (neither the class table nor the
// registry knows the class for that context), REGDB_E_READREGDB (the registry cannot be
// read), CO_E_DLLNOTFOUND (no module path registered), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)
// (the module file does not exist), CO_E_ERRORINDLL (it cannot be loaded or exports no
// DllGetClassObject), or what the class object or module answers. A success that hands back
// no pointer becomes E_UNEXPECTED.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid,
                                                                      DWORD dwClsContext,
                                                                      COSERVERINFO* pServerInfo,
                                                                      REFIID riid, LPVOID* ppv);
// CoGetClassObject for IClassFactory, then its CreateInstance(pUnkOuter, riid, ppv): an
// aggregating caller's outer unknown reaches the factory unchanged. *ppv is NULL on failure.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid,
                                                                      LPUNKNOWN pUnkOuter,
                                                                      DWORD dwClsContext,
                                                                      REFIID riid, LPVOID* ppv);

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID, in memory from CoTaskMemAlloc
// (NULL on failure). REGDB_E_CLASSNOTREG when the key or a non-empty value is missing,
// REGDB_E_INVALIDVALUE when it is not a REG_SZ, REGDB_E_READREGDB when the registry cannot be
// read, E_INVALIDARG for a NULL lplpszProgID, E_OUTOFMEMORY. Needs no CoInitialize.
EXTERN_C CORVANE_PLATFORM_API HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid,
                                                                     LPOLESTR* lplpszProgID);
