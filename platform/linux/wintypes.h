// Basic Win32/COM types, constants and IUnknown for the Linux build. Sizes follow Windows:
// LONG and ULONG are 32 bits, OLECHAR/WCHAR are 16-bit UTF-16 code units (char16_t).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The platform library is one shared object per process; its entry points stay visible even
// when a module that includes this header hides its own symbols.
#define CORVANE_PLATFORM_API __attribute__((visibility("default")))

#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define EXTERN_C extern "C"
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C type STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

// Wide string literal of the platform: u"..." here, L"..." on Windows.
#define OLESTR(s) u##s

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t UINT64;
typedef int64_t INT64;
typedef uint64_t DWORD64;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef uint8_t BOOLEAN;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef OLECHAR* BSTR;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;
typedef DWORD LCID;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;
typedef LONG LSTATUS;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

// HRESULT helpers.
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT(sev, fac, code) \
    ((HRESULT)(((uint32_t)(sev) << 31) | ((uint32_t)(fac) << 16) | ((uint32_t)(code))))
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1fff)
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define SEVERITY_ERROR 1
#define SEVERITY_SUCCESS 0
inline HRESULT HRESULT_FROM_WIN32(unsigned long x) {
    return (HRESULT)(x) <= 0 ? (HRESULT)(x)
                             : (HRESULT)(((x)&0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000);
}

#define _HR(x) ((HRESULT)(uint32_t)(x))
#define S_OK _HR(0x00000000)
#define S_FALSE _HR(0x00000001)
#define E_NOTIMPL _HR(0x80004001)
#define E_NOINTERFACE _HR(0x80004002)
#define E_POINTER _HR(0x80004003)
#define E_ABORT _HR(0x80004004)
#define E_FAIL _HR(0x80004005)
#define E_UNEXPECTED _HR(0x8000FFFF)
#define E_BOUNDS _HR(0x8000000B)
#define E_ACCESSDENIED _HR(0x80070005)
#define E_HANDLE _HR(0x80070006)
#define E_OUTOFMEMORY _HR(0x8007000E)
#define E_INVALIDARG _HR(0x80070057)
#define CLASS_E_NOAGGREGATION _HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE _HR(0x80040111)
#define REGDB_E_READREGDB _HR(0x80040150)
#define REGDB_E_WRITEREGDB _HR(0x80040151)
#define REGDB_E_KEYMISSING _HR(0x80040152)
#define REGDB_E_CLASSNOTREG _HR(0x80040154)
#define REGDB_E_IIDNOTREG _HR(0x80040155)
#define CO_E_NOTINITIALIZED _HR(0x800401F0)
#define CO_E_CLASSSTRING _HR(0x800401F3)
#define CO_E_DLLNOTFOUND _HR(0x800401F8)
#define CO_E_ERRORINDLL _HR(0x800401F9)
#define CO_E_OBJNOTCONNECTED _HR(0x800401FD)
#define RPC_E_CHANGED_MODE _HR(0x80010106)
#define SELFREG_E_TYPELIB _HR(0x80040200)
#define SELFREG_E_CLASS _HR(0x80040201)
#define DISP_E_TYPEMISMATCH _HR(0x80020005)
#define DISP_E_BADVARTYPE _HR(0x80020008)
#define DISP_E_OVERFLOW _HR(0x8002000A)
#define DISP_E_BADINDEX _HR(0x8002000B)
#define DISP_E_ARRAYISLOCKED _HR(0x8002000D)
#define TYPE_E_REGISTRYACCESS _HR(0x8002801C)
#define TYPE_E_ELEMENTNOTFOUND _HR(0x8002802B)
#define TYPE_E_INVALIDSTATE _HR(0x80028029)
#define TYPE_E_CANTLOADLIBRARY _HR(0x80029C4A)
#define TYPE_E_LIBNOTREGISTERED _HR(0x8002801D)
#define STG_E_INVALIDFUNCTION _HR(0x80030001)
#define STG_E_ACCESSDENIED _HR(0x80030005)
#define STG_E_INSUFFICIENTMEMORY _HR(0x80030008)
#define STG_E_INVALIDPOINTER _HR(0x80030009)
#define STG_E_INVALIDPARAMETER _HR(0x80030057)
#define STG_E_MEDIUMFULL _HR(0x80030070)

// Win32 error codes (GetLastError, registry results).
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// GUIDs.
typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef GUID* LPGUID;
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const CLSID&

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

// A GUID constant in a header: one definition across all translation units.
#define CORVANE_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

CORVANE_DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL
CORVANE_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);

// No virtual destructor: it would add vtable slots and break the COM layout.
struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;

// Interlocked operations: sequentially consistent, as on Windows.
inline LONG InterlockedIncrement(LONG volatile* p) {
    return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* p) {
    return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* p, LONG v, LONG cmp) {
    __atomic_compare_exchange_n(p, &cmp, v, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return cmp;
}
