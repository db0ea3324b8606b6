// OLE Automation services of the platform layer: BSTR, VARIANT, SAFEARRAY, memory streams
// and per-thread error information, with Windows' layouts, values and IIDs.
#pragma once

#include "platform/linux/wintypes.h"
#include "platform/linux/kernel.h"

#ifndef STG_E_SEEKERROR
#define STG_E_SEEKERROR _HR(0x80030019)
#endif
#ifndef STG_E_WRITEFAULT
#define STG_E_WRITEFAULT _HR(0x8003001D)
#endif
#ifndef STG_E_READFAULT
#define STG_E_READFAULT _HR(0x8003001E)
#endif
#ifndef STG_E_INVALIDFLAG
#define STG_E_INVALIDFLAG _HR(0x800300FF)
#endif
#ifndef STG_E_REVERTED
#define STG_E_REVERTED _HR(0x80030102)
#endif

// ---------------------------------------------------------------------------------------------
// BSTR: UTF-16 text preceded by its length in bytes (a 32-bit prefix) and followed by a NUL.
// The text may hold NULs of its own; the prefix, not the terminator, gives its length. NULL is
// a valid, empty BSTR everywhere. Every BSTR returned is owned by the caller (SysFreeString).

// Copy of a NUL-terminated string; NULL for NULL or when memory runs out.
CORVANE_PLATFORM_API BSTR SysAllocString(const OLECHAR* s);
// len characters copied from s, or zero-filled when s is NULL; NULL when memory runs out or
// the byte length would not fit the prefix.
CORVANE_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* s, UINT len);
// len bytes copied from s (zero-filled when s is NULL), then a 16-bit NUL.
CORVANE_PLATFORM_API BSTR SysAllocStringByteLen(LPCSTR s, UINT len);
// Replace *bstr by a copy of s (s may point into *bstr). FALSE and *bstr unchanged on failure.
CORVANE_PLATFORM_API INT SysReAllocString(BSTR* bstr, const OLECHAR* s);
CORVANE_PLATFORM_API INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* s, UINT len);
CORVANE_PLATFORM_API void SysFreeString(BSTR s);
// Length in characters (bytes / 2) and in bytes; 0 for NULL.
CORVANE_PLATFORM_API UINT SysStringLen(BSTR s);
CORVANE_PLATFORM_API UINT SysStringByteLen(BSTR s);

// ---------------------------------------------------------------------------------------------
// VARIANT.
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0x0fff,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xffff,
    VT_ILLEGALMASKED = 0x0fff,
    VT_TYPEMASK = 0x0fff
};

typedef double DATE;
typedef union tagCY {
    struct {
        ULONG Lo;
        LONG Hi;
    };
    LONGLONG int64;
} CY;
typedef struct tagDEC {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
} DECIMAL;

struct IDispatch;    // an IUnknown; its own methods are not used here
struct IRecordInfo;  // records are not supported
struct tagSAFEARRAY;

// Windows' layout: 24 bytes on 64-bit targets, the value at offset 8.
typedef struct tagVARIANT VARIANT;
struct tagVARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                tagSAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                tagSAFEARRAY** pparray;
                VARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
                struct {
                    PVOID pvRecord;
                    IRecordInfo* pRecInfo;
                };
            };
        };
        DECIMAL decVal;
    };
};
typedef VARIANT* LPVARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANTARG;

#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_I1(X) ((X)->cVal)
#define V_UI1(X) ((X)->bVal)
#define V_I2(X) ((X)->iVal)
#define V_UI2(X) ((X)->uiVal)
#define V_I4(X) ((X)->lVal)
#define V_UI4(X) ((X)->ulVal)
#define V_I8(X) ((X)->llVal)
#define V_UI8(X) ((X)->ullVal)
#define V_INT(X) ((X)->intVal)
#define V_UINT(X) ((X)->uintVal)
#define V_R4(X) ((X)->fltVal)
#define V_R8(X) ((X)->dblVal)
#define V_CY(X) ((X)->cyVal)
#define V_DATE(X) ((X)->date)
#define V_BSTR(X) ((X)->bstrVal)
#define V_BOOL(X) ((X)->boolVal)
#define V_ERROR(X) ((X)->scode)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_ARRAY(X) ((X)->parray)
#define V_BYREF(X) ((X)->byref)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_DECIMAL(X) ((X)->decVal)

// vt = VT_EMPTY (the value is left as it is).
CORVANE_PLATFORM_API void VariantInit(VARIANTARG* v);
// Frees what the variant owns (BSTR, interface reference, array; nothing for VT_BYREF) and sets
// it to VT_EMPTY. E_INVALIDARG for NULL, DISP_E_BADVARTYPE (variant untouched) for a type a
// VARIANT cannot hold, DISP_E_ARRAYISLOCKED (variant untouched) for a locked array.
CORVANE_PLATFORM_API HRESULT VariantClear(VARIANTARG* v);
// Clears dest, then deep-copies src into it (BSTR and array duplicated, interface AddRef'ed;
// VT_BYREF values are copied as pointers). src == dest is S_OK. On failure dest is VT_EMPTY,
// except that a bad src type (DISP_E_BADVARTYPE) leaves dest untouched.
CORVANE_PLATFORM_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);

// ---------------------------------------------------------------------------------------------
// SAFEARRAY. As on Windows, rgsabound and the index vectors list the dimensions from the last
// (rgsabound[0], varying fastest in memory) to the first; the dimension numbers of
// SafeArrayGetLBound/GetUBound count from the first (1). Elements are zeroed at creation.
typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_RESERVED 0xF008

// Element types: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8,
// VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR, VT_DECIMAL, VT_BSTR, VT_UNKNOWN,
// VT_DISPATCH, VT_VARIANT. NULL for other types, cDims 0, a NULL bounds vector, sizes that
// overflow, or no memory. The caller owns the array (SafeArrayDestroy).
CORVANE_PLATFORM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
CORVANE_PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Frees the elements (BSTRs, references, variants) and the array. NULL is S_OK;
// DISP_E_ARRAYISLOCKED (nothing freed) while locked.
CORVANE_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// 0 for NULL.
CORVANE_PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY* psa);
CORVANE_PLATFORM_API UINT SafeArrayGetElemsize(SAFEARRAY* psa);
// nDim counts from 1 (the first dimension). DISP_E_BADINDEX for a dimension out of range,
// E_INVALIDARG for NULL pointers.
CORVANE_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
CORVANE_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
CORVANE_PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
// Lock count: at most 65535 (E_UNEXPECTED beyond, and on unlocking an unlocked array).
CORVANE_PLATFORM_API HRESULT SafeArrayLock(SAFEARRAY* psa);
CORVANE_PLATFORM_API HRESULT SafeArrayUnlock(SAFEARRAY* psa);
// Lock and hand out pvData; pair with SafeArrayUnaccessData.
CORVANE_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
CORVANE_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// Copies one element out: a new BSTR, an AddRef'ed reference or a VariantCopy into pv (treated
// as uninitialised). DISP_E_BADINDEX outside the bounds.
CORVANE_PLATFORM_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Stores a copy of one element, freeing the old one. For VT_BSTR, VT_UNKNOWN and VT_DISPATCH
// pv is the BSTR or interface pointer itself; for the other types it points to the value.
CORVANE_PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
// Deep copy. psa NULL gives *ppsaOut NULL and S_OK.
CORVANE_PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// ---------------------------------------------------------------------------------------------
// Streams.
typedef enum tagSTGTY {
    STGTY_STORAGE = 1,
    STGTY_STREAM = 2,
    STGTY_LOCKBYTES = 3,
    STGTY_PROPERTY = 4
} STGTY;
typedef enum tagSTREAM_SEEK {
    STREAM_SEEK_SET = 0,
    STREAM_SEEK_CUR = 1,
    STREAM_SEEK_END = 2
} STREAM_SEEK;
typedef enum tagSTATFLAG {
    STATFLAG_DEFAULT = 0,
    STATFLAG_NONAME = 1,
    STATFLAG_NOOPEN = 2
} STATFLAG;
// LOCKTYPE is left out: its LOCK_WRITE clashes with <fcntl.h>, and memory streams lock nothing.
typedef enum tagSTGC {
    STGC_DEFAULT = 0,
    STGC_OVERWRITE = 1,
    STGC_ONLYIFCURRENT = 2,
    STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4,
    STGC_CONSOLIDATE = 8
} STGC;
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_EXCLUSIVE 0x00000010L

typedef struct tagSTATSTG {
    LPOLESTR pwcsName;  // owned by the caller (CoTaskMemFree); NULL for memory streams
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

CORVANE_DEFINE_GUID(IID_ISequentialStream, 0x0c733a30, 0x2a1c, 0x11ce, 0xad, 0xe5, 0x00, 0xaa, 0x00,
                    0x44, 0x77, 0x3d);
CORVANE_DEFINE_GUID(IID_IStream, 0x0000000c, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);

struct ISequentialStream : public IUnknown {
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) PURE;
    STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) PURE;
};

struct IStream : public ISequentialStream {
    STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) PURE;
    STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) PURE;
    STDMETHOD(CopyTo)
    (IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) PURE;
    STDMETHOD(Commit)(DWORD grfCommitFlags) PURE;
    STDMETHOD(Revert)() PURE;
    STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) PURE;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) PURE;
    STDMETHOD(Clone)(IStream** ppstm) PURE;
};
typedef IStream* LPSTREAM;

// A stream over a global memory block: hGlobal NULL allocates a new, empty one. The stream
// grows the block as it is written (sizes up to 4 GiB - 1). deleteOnRelease frees the block
// when the last stream on it (clones included) is released. Read short of the end is S_OK;
// LockRegion and UnlockRegion answer STG_E_INVALIDFUNCTION; Commit and Revert do nothing.
CORVANE_PLATFORM_API HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL deleteOnRelease,
                                                   LPSTREAM* ppstm);
// The block under a stream made by CreateStreamOnHGlobal; E_INVALIDARG for any other stream.
// Writes grow the block ahead of the data, so GlobalSize may exceed the stream's size: take the
// size from Stat.
CORVANE_PLATFORM_API HRESULT GetHGlobalFromStream(LPSTREAM pstm, HGLOBAL* phglobal);

// ---------------------------------------------------------------------------------------------
// Error information.
CORVANE_DEFINE_GUID(IID_IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
                    0xD1, 0x19);
CORVANE_DEFINE_GUID(IID_ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                    0x2B, 0xD1, 0x19);
CORVANE_DEFINE_GUID(IID_ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                    0x2B, 0xD1, 0x19);

// The Get* methods return new BSTRs owned by the caller (NULL when never set).
struct IErrorInfo : public IUnknown {
    STDMETHOD(GetGUID)(GUID* pGUID) PURE;
    STDMETHOD(GetSource)(BSTR* pBstrSource) PURE;
    STDMETHOD(GetDescription)(BSTR* pBstrDescription) PURE;
    STDMETHOD(GetHelpFile)(BSTR* pBstrHelpFile) PURE;
    STDMETHOD(GetHelpContext)(DWORD* pdwHelpContext) PURE;
};
typedef IErrorInfo* LPERRORINFO;

// The Set* methods copy their strings; NULL clears the field.
struct ICreateErrorInfo : public IUnknown {
    STDMETHOD(SetGUID)(REFGUID rguid) PURE;
    STDMETHOD(SetSource)(LPOLESTR szSource) PURE;
    STDMETHOD(SetDescription)(LPOLESTR szDescription) PURE;
    STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) PURE;
    STDMETHOD(SetHelpContext)(DWORD dwHelpContext) PURE;
};
typedef ICreateErrorInfo* LPCREATEERRORINFO;

struct ISupportErrorInfo : public IUnknown {
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) PURE;
};

// A new, empty error object (one reference, the caller's); it answers IErrorInfo too.
CORVANE_PLATFORM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Replaces the calling thread's error object (AddRef'ed; the previous one is released); NULL
// clears it. dwReserved must be 0 (else E_INVALIDARG).
CORVANE_PLATFORM_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the calling thread's error object over to the caller (its reference moves) and
// clears the slot; S_FALSE with *pperrinfo NULL when there is none. dwReserved must be 0.
CORVANE_PLATFORM_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
