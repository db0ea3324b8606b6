// Type libraries of the platform layer: ITypeLib and a reading ITypeInfo with Windows' layouts,
// LoadTypeLibEx, and the registration functions of OLE Automation.
//
// Carrier on Linux: a module holds its type library as resource TYPELIB 1 (or a .tlb file holds
// it whole) in a line-oriented text form, one item per line, tokens separated by blanks:
//   library <name> {<guid>} version <major>.<minor> lcid <hex> syskind win16|win32|mac|win64
//           [flags <flags>] help "<text>"
//   importlib <file> <major>.<minor>                      (recorded, not resolved)
//   coclass <name> {<guid>} flags <flags> help "<text>" {impl <itf> | default <itf> | source <itf>}
//   interface <name> {<guid>} base <itf> flags <flags> help "<text>"
//   method <name>                                          (of the interface above, vtable order)
// <flags> is "none" or a comma-separated list of cancreate, dual, oleautomation, hidden,
// restricted, nonextensible (types) or restricted, control, hidden (library). Strings are
// double-quoted with \" and \\ escapes. Methods named get_X / put_X / putref_X are the property
// X (get, put, putref) and share one member id with the other accessors of X; member ids are
// 0x60000000 upwards in order of first appearance. An interface referenced with impl/default/
// source/base must be one of the library's types, except IUnknown (built in).
#pragma once

#include "platform/linux/wintypes.h"
#include "platform/linux/ole.h"

typedef LONG MEMBERID;
typedef MEMBERID DISPID;
typedef DWORD HREFTYPE;
#define MEMBERID_NIL (-1)
#define DISPID_UNKNOWN (-1)

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 } SYSKIND;

typedef enum tagREGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER = 1, REGKIND_NONE = 2 } REGKIND;

typedef enum tagTYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD = 1,
    TKIND_MODULE = 2,
    TKIND_INTERFACE = 3,
    TKIND_DISPATCH = 4,
    TKIND_COCLASS = 5,
    TKIND_ALIAS = 6,
    TKIND_UNION = 7,
    TKIND_MAX = 8
} TYPEKIND;

typedef enum tagINVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;

typedef enum tagLIBFLAGS {
    LIBFLAG_FRESTRICTED = 0x1,
    LIBFLAG_FCONTROL = 0x2,
    LIBFLAG_FHIDDEN = 0x4,
    LIBFLAG_FHASDISKIMAGE = 0x8
} LIBFLAGS;

typedef enum tagTYPEFLAGS {
    TYPEFLAG_FAPPOBJECT = 0x1,
    TYPEFLAG_FCANCREATE = 0x2,
    TYPEFLAG_FLICENSED = 0x4,
    TYPEFLAG_FPREDECLID = 0x8,
    TYPEFLAG_FHIDDEN = 0x10,
    TYPEFLAG_FCONTROL = 0x20,
    TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FNONEXTENSIBLE = 0x80,
    TYPEFLAG_FOLEAUTOMATION = 0x100,
    TYPEFLAG_FRESTRICTED = 0x200,
    TYPEFLAG_FAGGREGATABLE = 0x400,
    TYPEFLAG_FREPLACEABLE = 0x800,
    TYPEFLAG_FDISPATCHABLE = 0x1000,
    TYPEFLAG_FREVERSEBIND = 0x2000,
    TYPEFLAG_FPROXY = 0x4000
} TYPEFLAGS;

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8

typedef struct tagTLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
} TLIBATTR, *LPTLIBATTR;

struct tagARRAYDESC;
typedef struct tagTYPEDESC {
    union {
        struct tagTYPEDESC* lptdesc;
        struct tagARRAYDESC* lpadesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
} TYPEDESC;

typedef struct tagIDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
} IDLDESC;

typedef struct tagTYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
} TYPEATTR, *LPTYPEATTR;

// Opaque here: the functions that hand them out answer E_NOTIMPL.
struct tagFUNCDESC;
struct tagVARDESC;
struct tagDISPPARAMS;
struct tagEXCEPINFO;
struct ITypeComp;
struct ITypeLib;

CORVANE_DEFINE_GUID(IID_ITypeInfo, 0x00020401, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);
CORVANE_DEFINE_GUID(IID_ITypeLib, 0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x46);

// Windows' vtable order. This implementation reads: GetTypeAttr/ReleaseTypeAttr, GetNames (the
// member name only), GetRefTypeOfImplType, GetImplTypeFlags, GetIDsOfNames, GetDocumentation,
// GetRefTypeInfo, GetContainingTypeLib; the rest answer E_NOTIMPL (or do nothing).
struct ITypeInfo : public IUnknown {
    STDMETHOD(GetTypeAttr)(TYPEATTR** ppTypeAttr) PURE;
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) PURE;
    STDMETHOD(GetFuncDesc)(UINT index, struct tagFUNCDESC** ppFuncDesc) PURE;
    STDMETHOD(GetVarDesc)(UINT index, struct tagVARDESC** ppVarDesc) PURE;
    STDMETHOD(GetNames)(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) PURE;
    STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* pRefType) PURE;
    STDMETHOD(GetImplTypeFlags)(UINT index, INT* pImplTypeFlags) PURE;
    STDMETHOD(GetIDsOfNames)(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) PURE;
    STDMETHOD(Invoke)
    (PVOID pvInstance, MEMBERID memid, WORD wFlags, struct tagDISPPARAMS* pDispParams,
     VARIANT* pVarResult, struct tagEXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
    STDMETHOD(GetDocumentation)
    (MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
     BSTR* pBstrHelpFile) PURE;
    STDMETHOD(GetDllEntry)
    (MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal) PURE;
    STDMETHOD(GetRefTypeInfo)(HREFTYPE hRefType, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) PURE;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) PURE;
    STDMETHOD(GetMops)(MEMBERID memid, BSTR* pBstrMops) PURE;
    STDMETHOD(GetContainingTypeLib)(ITypeLib** ppTLib, UINT* pIndex) PURE;
    STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* pTypeAttr) PURE;
    STDMETHOD_(void, ReleaseFuncDesc)(struct tagFUNCDESC* pFuncDesc) PURE;
    STDMETHOD_(void, ReleaseVarDesc)(struct tagVARDESC* pVarDesc) PURE;
};

// Windows' vtable order. GetTypeComp answers E_NOTIMPL.
struct ITypeLib : public IUnknown {
    STDMETHOD_(UINT, GetTypeInfoCount)() PURE;
    STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND* pTKind) PURE;
    STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo** ppTinfo) PURE;
    STDMETHOD(GetLibAttr)(TLIBATTR** ppTLibAttr) PURE;
    STDMETHOD(GetTypeComp)(ITypeComp** ppTComp) PURE;
    // index -1 describes the library itself. Any out pointer may be NULL. Strings not present
    // come back as NULL BSTRs; the help context is 0.
    STDMETHOD(GetDocumentation)
    (INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
     BSTR* pBstrHelpFile) PURE;
    // Case-insensitive search of type and member names; on a match the buffer receives the
    // stored spelling (same length).
    STDMETHOD(IsName)(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) PURE;
    STDMETHOD(FindName)
    (LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
     USHORT* pcFound) PURE;
    STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR* pTLibAttr) PURE;
};

// Loads the type library of szFile: a module (resource TYPELIB 1, or TYPELIB n when the path ends
// in "\n" with n decimal) or a file holding the text form. A module that is not loaded yet is
// loaded for the call and unloaded afterwards. REGKIND_REGISTER also registers it per machine with
// szFile's full path; REGKIND_DEFAULT and REGKIND_NONE register nothing. Failures:
// E_INVALIDARG (NULL arguments), TYPE_E_CANTLOADLIBRARY (no such file, no TYPELIB resource, or a
// text that does not parse), E_OUTOFMEMORY; *pptlib is NULL then.
CORVANE_PLATFORM_API HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);

// Writes HKEY_LOCAL_MACHINE\Software\Classes\TypeLib\{LIBID}\<major>.<minor> (hexadecimal
// version; default value the library's help string, or its name when it has none) with
// \<lcid hex>\<win16|win32|mac|win64> = szFullPath, \FLAGS = the library flags in decimal and
// \HELPDIR = szHelpDir ("" when NULL). Interfaces that are dual or oleautomation also get
// Interface\{IID} (default value the name, ProxyStubClsid and ProxyStubClsid32 = the automation
// marshaler, TypeLib = {LIBID} with Version); others get no Interface key, as on Windows.
// E_INVALIDARG for NULL ptlib or szFullPath; TYPE_E_REGISTRYACCESS when the registry refuses.
CORVANE_PLATFORM_API HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath,
                                             LPCOLESTR szHelpDir);
// As RegisterTypeLib, under HKEY_CURRENT_USER\Software\Classes.
CORVANE_PLATFORM_API HRESULT RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath,
                                                    OLECHAR* szHelpDir);
// Removes what RegisterTypeLib wrote for that version, locale and system kind: the system kind's
// key, then each emptied parent (the locale key; the version key with FLAGS and HELPDIR when no
// other locale remains; the LIBID key when no other version remains), and the Interface keys of
// the library's automation interfaces whose TypeLib names this LIBID (found by loading the
// registered file; skipped when it no longer loads). TYPE_E_REGISTRYACCESS when that version is
// not registered or the registry refuses.
CORVANE_PLATFORM_API HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor,
                                               LCID lcid, SYSKIND syskind);
// As UnRegisterTypeLib, under HKEY_CURRENT_USER\Software\Classes.
CORVANE_PLATFORM_API HRESULT UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum,
                                                      WORD wMinorVerNum, LCID lcid,
                                                      SYSKIND syskind);

// Builds a type library from the text form in memory (the bytes are copied). Failures as for
// LoadTypeLibEx.
EXTERN_C CORVANE_PLATFORM_API HRESULT CorvaneCreateTypeLibFromText(const char* text, size_t length,
                                                                   ITypeLib** pptlib);

#if defined(CORVANE_PLATFORM_BUILD)
// Inside the platform library only: the parsed form of a type library, shared by the parser
// and the objects that serve it.
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tlb {

struct Member {
    std::u16string name;  // property name without its get_/put_/putref_ prefix
    INVOKEKIND kind = INVOKE_FUNC;
    MEMBERID memid = MEMBERID_NIL;
};

// A reference from a type to another: the index of a type of the library, or kUnknownRef for
// the built-in IUnknown.
constexpr int kUnknownRef = -1;
struct ImplRef {
    int type = kUnknownRef;
    INT flags = 0;  // IMPLTYPEFLAG_*
};

struct TypeDesc {
    TYPEKIND kind = TKIND_INTERFACE;
    std::u16string name, help;
    GUID guid{};
    WORD flags = 0;                 // TYPEFLAG_*
    std::vector<Member> functions;  // vtable order, IUnknown's three not included
    std::vector<ImplRef> impls;     // coclass: implemented interfaces; interface: its base
};

struct LibDesc {
    std::u16string name, help;
    GUID guid{};
    WORD major = 0, minor = 0;
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    WORD flags = 0;  // LIBFLAG_*
    std::vector<TypeDesc> types;
};

// Parses the text form described in typelib.h. False on any malformed line, unknown keyword,
// duplicate type name or unresolved reference; *out is then unspecified.
bool Parse(std::string_view text, LibDesc* out);

}  // namespace corvane::tlb
#endif
