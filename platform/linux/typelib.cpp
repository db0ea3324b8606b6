// ITypeLib and ITypeInfo over a parsed type library, and LoadTypeLibEx.
#include "platform/exceptions.h"
#include "platform/unknown_impl.h"
#include "platform/win32.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#ifndef TYPE_E_BADMODULEKIND
#define TYPE_E_BADMODULEKIND _HR(0x800288BD)
#endif
#ifndef DISP_E_UNKNOWNNAME
#define DISP_E_UNKNOWNNAME _HR(0x80020006)
#endif

namespace {

using corvane::tlb::ImplRef;
using corvane::tlb::LibDesc;
using corvane::tlb::Member;
using corvane::tlb::TypeDesc;

// Reference handle of the built-in IUnknown; types of the library are referenced by index.
constexpr HREFTYPE kUnknownHref = 0xFFFFFFFE;

// NULL for an empty text, as Windows answers for absent strings.
BSTR AllocOrNull(const std::u16string& s) {
    return s.empty() ? nullptr : SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

// Sets *out (when given) to a copy of s; false when memory ran out.
bool PutString(BSTR* out, const std::u16string& s) {
    if (out == nullptr) return true;
    *out = AllocOrNull(s);
    return s.empty() || *out != nullptr;
}

const TypeDesc& UnknownDesc() {
    static const TypeDesc* desc = [] {
        auto* d = new TypeDesc;
        d->kind = TKIND_INTERFACE;
        d->name = u"IUnknown";
        d->guid = IID_IUnknown;
        const char16_t* names[] = {u"QueryInterface", u"AddRef", u"Release"};
        for (int i = 0; i < 3; ++i)
            d->functions.push_back(Member{names[i], INVOKE_FUNC, 0x60000000 + i});
        return d;
    }();
    return *desc;
}

class TypeLib;

// A type of the library. Its lifetime is the library's: references are counted on the library.
class TypeInfo final : public ITypeInfo {
public:
    TypeInfo(TypeLib* lib, const TypeDesc* desc, UINT index)
        : lib_(lib), desc_(desc), index_(index) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ITypeInfo))
            return E_NOINTERFACE;
        *ppv = static_cast<ITypeInfo*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp != nullptr) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetFuncDesc(UINT, struct tagFUNCDESC** ppFuncDesc) override {
        if (ppFuncDesc != nullptr) *ppFuncDesc = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetVarDesc(UINT, struct tagVARDESC** ppVarDesc) override {
        if (ppVarDesc != nullptr) *ppVarDesc = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                          UINT* pcNames) override {
        if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames > 0)) return E_INVALIDARG;
        *pcNames = 0;
        const Member* m = Find(memid);
        if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        if (cMaxNames > 0) {
            if (!PutString(&rgBstrNames[0], m->name)) return E_OUTOFMEMORY;
            *pcNames = 1;
        }
        return S_OK;
    }
    STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
        if (pRefType == nullptr) return E_INVALIDARG;
        if (index >= desc_->impls.size()) return TYPE_E_ELEMENTNOTFOUND;
        int type = desc_->impls[index].type;
        *pRefType = type == corvane::tlb::kUnknownRef ? kUnknownHref : static_cast<HREFTYPE>(type);
        return S_OK;
    }
    STDMETHODIMP GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (pImplTypeFlags == nullptr) return E_INVALIDARG;
        if (index >= desc_->impls.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pImplTypeFlags = desc_->kind == TKIND_COCLASS ? desc_->impls[index].flags : 0;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) return E_INVALIDARG;
        for (UINT i = 0; i < cNames; ++i) pMemId[i] = DISPID_UNKNOWN;
        if (rgszNames[0] == nullptr) return E_INVALIDARG;
        for (const Member& m : desc_->functions) {
            if (corvane::text::EqualNoCase(m.name, rgszNames[0])) {
                pMemId[0] = m.memid;
                // Parameter names are not carried.
                return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(PVOID, MEMBERID, WORD, struct tagDISPPARAMS*, VARIANT*,
                        struct tagEXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                  DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override {
        const std::u16string* name = &desc_->name;
        const std::u16string* doc = &desc_->help;
        static const std::u16string empty;
        if (memid != MEMBERID_NIL) {
            const Member* m = Find(memid);
            if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
            name = &m->name;
            doc = &empty;
        }
        return Document(*name, *doc, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }
    STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName,
                             WORD* pwOrdinal) override {
        if (pBstrDllName != nullptr) *pBstrDllName = nullptr;
        if (pBstrName != nullptr) *pBstrName = nullptr;
        if (pwOrdinal != nullptr) *pwOrdinal = 0;
        return TYPE_E_BADMODULEKIND;
    }
    STDMETHODIMP GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv != nullptr) *ppv = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override {
        if (ppvObj != nullptr) *ppvObj = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops == nullptr) return E_INVALIDARG;
        *pBstrMops = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    STDMETHODIMP_(void) ReleaseFuncDesc(struct tagFUNCDESC*) override {}
    STDMETHODIMP_(void) ReleaseVarDesc(struct tagVARDESC*) override {}

    // Fills the documentation out-parameters shared by ITypeInfo and ITypeLib; on failure nothing
    // is left allocated.
    static HRESULT Document(const std::u16string& name, const std::u16string& doc, BSTR* pName,
                            BSTR* pDoc, DWORD* pContext, BSTR* pFile) {
        if (pContext != nullptr) *pContext = 0;
        if (pFile != nullptr) *pFile = nullptr;
        if (!PutString(pName, name)) return E_OUTOFMEMORY;
        if (!PutString(pDoc, doc)) {
            if (pName != nullptr) {
                SysFreeString(*pName);
                *pName = nullptr;
            }
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    const Member* Find(MEMBERID memid) const {
        for (const Member& m : desc_->functions) {
            if (m.memid == memid) return &m;
        }
        return nullptr;
    }

    TypeLib* lib_;
    const TypeDesc* desc_;
    UINT index_;  // position in the library; UINT_MAX for the built-in IUnknown
};

class TypeLib final : public corvane::UnknownImpl<ITypeLib> {
public:
    explicit TypeLib(LibDesc desc)
        : desc_(std::move(desc)), unknown_(this, &UnknownDesc(), UINT_MAX) {
        infos_.reserve(desc_.types.size());
        for (size_t i = 0; i < desc_.types.size(); ++i) {
            infos_.push_back(
                std::make_unique<TypeInfo>(this, &desc_.types[i], static_cast<UINT>(i)));
        }
    }

    STDMETHODIMP_(UINT) GetTypeInfoCount() override { return static_cast<UINT>(infos_.size()); }
    STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *ppTInfo = infos_[index].get();
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (pTKind == nullptr) return E_INVALIDARG;
        if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = desc_.types[index].kind;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (ppTinfo == nullptr) return E_INVALIDARG;
        *ppTinfo = nullptr;
        for (size_t i = 0; i < desc_.types.size(); ++i) {
            if (IsEqualGUID(desc_.types[i].guid, guid))
                return GetTypeInfo(static_cast<UINT>(i), ppTinfo);
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHODIMP GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (ppTLibAttr == nullptr) return E_INVALIDARG;
        auto* a = new (std::nothrow) TLIBATTR{};
        *ppTLibAttr = a;
        if (a == nullptr) return E_OUTOFMEMORY;
        a->guid = desc_.guid;
        a->lcid = desc_.lcid;
        a->syskind = desc_.syskind;
        a->wMajorVerNum = desc_.major;
        a->wMinorVerNum = desc_.minor;
        a->wLibFlags = desc_.flags;
        return S_OK;
    }
    STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp != nullptr) *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                  DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override {
        if (index == -1) {
            return TypeInfo::Document(desc_.name, desc_.help, pBstrName, pBstrDocString,
                                      pdwHelpContext, pBstrHelpFile);
        }
        if (index < 0 || static_cast<size_t>(index) >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
        const TypeDesc& d = desc_.types[static_cast<size_t>(index)];
        return TypeInfo::Document(d.name, d.help, pBstrName, pBstrDocString, pdwHelpContext,
                                  pBstrHelpFile);
    }
    STDMETHODIMP IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
        if (szNameBuf == nullptr || pfName == nullptr) return E_INVALIDARG;
        *pfName = FALSE;
        Match(szNameBuf, [&](size_t, const std::u16string& stored, MEMBERID) {
            std::copy(stored.begin(), stored.end(), szNameBuf);
            *pfName = TRUE;
            return false;
        });
        return S_OK;
    }
    STDMETHODIMP FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                          USHORT* pcFound) override {
        if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr)
            return E_INVALIDARG;
        const USHORT capacity = *pcFound;
        USHORT found = 0;
        Match(szNameBuf, [&](size_t type, const std::u16string&, MEMBERID memid) {
            if (found >= capacity) return false;
            ppTInfo[found] = infos_[type].get();
            AddRef();
            rgMemId[found] = memid;
            ++found;
            return true;
        });
        *pcFound = found;
        return S_OK;
    }
    STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

    const TypeDesc& DescOf(int type) const {
        return type == corvane::tlb::kUnknownRef ? UnknownDesc()
                                                 : desc_.types[static_cast<size_t>(type)];
    }
    LCID Lcid() const { return desc_.lcid; }

    ITypeInfo* Info(HREFTYPE href) {
        if (href == kUnknownHref) return &unknown_;
        return href < infos_.size() ? infos_[href].get() : nullptr;
    }

private:
    ~TypeLib() override = default;

    // Calls visit(type index, stored name, member id) for each type (MEMBERID_NIL) and member
    // whose name equals name without regard to case, while visit answers true.
    template <class Visit>
    void Match(LPCOLESTR name, Visit visit) {
        for (size_t i = 0; i < desc_.types.size(); ++i) {
            const TypeDesc& d = desc_.types[i];
            if (corvane::text::EqualNoCase(d.name, name) && !visit(i, d.name, MEMBERID_NIL)) return;
            MEMBERID last = MEMBERID_NIL;
            for (const Member& m : d.functions) {
                if (m.memid == last) continue;  // the other accessor of the same property
                last = m.memid;
                if (corvane::text::EqualNoCase(m.name, name) && !visit(i, m.name, m.memid)) return;
            }
        }
    }

    LibDesc desc_;
    std::vector<std::unique_ptr<TypeInfo>> infos_;
    TypeInfo unknown_;
};

ULONG TypeInfo::AddRef() {
    return lib_->AddRef();
}
ULONG TypeInfo::Release() {
    return lib_->Release();
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (ppTypeAttr == nullptr) return E_INVALIDARG;
    auto* a = new (std::nothrow) TYPEATTR{};
    *ppTypeAttr = a;
    if (a == nullptr) return E_OUTOFMEMORY;
    a->guid = desc_->guid;
    a->lcid = lib_->Lcid();
    a->memidConstructor = MEMBERID_NIL;
    a->memidDestructor = MEMBERID_NIL;
    a->typekind = desc_->kind;
    a->cFuncs = static_cast<WORD>(desc_->functions.size());
    a->cImplTypes = static_cast<WORD>(desc_->impls.size());
    a->wTypeFlags = desc_->flags;
    a->cbAlignment = sizeof(void*);
    if (desc_->kind == TKIND_INTERFACE) {
        // The vtable: the inherited slots and this interface's own (a cyclic chain, which the
        // parser does not reject, stops after a bounded walk).
        size_t slots = desc_->functions.size();
        const TypeDesc* cur = desc_;
        for (int depth = 0; !cur->impls.empty() && depth < 64; ++depth) {
            cur = &lib_->DescOf(cur->impls[0].type);
            slots += cur->functions.size();
        }
        if (slots * sizeof(void*) > 0xFFFF) slots = 0xFFFF / sizeof(void*);
        a->cbSizeVft = static_cast<WORD>(slots * sizeof(void*));
    }
    a->cbSizeInstance = sizeof(void*);
    return S_OK;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = lib_->Info(hRefType);
    if (*ppTInfo == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    (*ppTInfo)->AddRef();
    return S_OK;
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (ppTLib != nullptr) *ppTLib = nullptr;
    if (index_ == UINT_MAX)
        return TYPE_E_ELEMENTNOTFOUND;  // IUnknown belongs to the standard library
    if (pIndex != nullptr) *pIndex = index_;
    if (ppTLib != nullptr) {
        *ppTLib = lib_;
        lib_->AddRef();
    }
    return S_OK;
}

HRESULT CreateFromText(std::string_view text, ITypeLib** pptlib) {
    LibDesc desc;
    if (!corvane::tlb::Parse(text, &desc)) return TYPE_E_CANTLOADLIBRARY;
    auto* lib = new (std::nothrow) TypeLib(std::move(desc));
    if (lib == nullptr) return E_OUTOFMEMORY;
    *pptlib = lib;
    return S_OK;
}

// Reads the TYPELIB resource `index` of a module file; loads the module for the call when it is
// not loaded yet.
HRESULT LoadFromModule(const std::string& path, WORD index, ITypeLib** pptlib) {
    std::u16string widePath;
    if (!corvane::text::TryToUtf16(path, &widePath)) return TYPE_E_CANTLOADLIBRARY;
    HMODULE module = GetModuleHandleW(widePath.c_str());
    void* handle = nullptr;
    if (module == nullptr) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return TYPE_E_CANTLOADLIBRARY;
        module = GetModuleHandleW(widePath.c_str());
    }
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    HRSRC res =
        module != nullptr ? FindResourceW(module, MAKEINTRESOURCEW(index), u"TYPELIB") : nullptr;
    HGLOBAL data = res != nullptr ? LoadResource(module, res) : nullptr;
    const char* bytes = static_cast<const char*>(LockResource(data));
    if (bytes != nullptr)
        hr = CreateFromText(std::string_view(bytes, SizeofResource(module, res)), pptlib);
    if (handle != nullptr) dlclose(handle);
    return hr;
}

}  // namespace

HRESULT CorvaneCreateTypeLibFromText(const char* text, size_t length, ITypeLib** pptlib) {
    if (pptlib == nullptr) return E_INVALIDARG;
    *pptlib = nullptr;
    if (text == nullptr && length != 0) return E_INVALIDARG;
    return corvane::CallGuarded([&] {
        return CreateFromText(std::string_view(text == nullptr ? "" : text, length), pptlib);
    });
}

HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    if (pptlib == nullptr) return E_INVALIDARG;
    *pptlib = nullptr;
    if (szFile == nullptr || regkind < REGKIND_DEFAULT || regkind > REGKIND_NONE)
        return E_INVALIDARG;
    try {
        std::string path;
        if (!corvane::text::TryToUtf8(szFile, &path) || path.empty()) return TYPE_E_CANTLOADLIBRARY;
        // "file\n" names resource TYPELIB n of a module.
        WORD index = 1;
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            size_t sep = path.find_last_of('\\');
            if (sep == std::string::npos || sep + 1 == path.size() || path.size() - sep > 6)
                return TYPE_E_CANTLOADLIBRARY;
            unsigned long n = 0;
            for (size_t i = sep + 1; i < path.size(); ++i) {
                if (path[i] < '0' || path[i] > '9') return TYPE_E_CANTLOADLIBRARY;
                n = n * 10 + static_cast<unsigned long>(path[i] - '0');
            }
            if (n == 0 || n > 0xFFFF) return TYPE_E_CANTLOADLIBRARY;
            index = static_cast<WORD>(n);
            path.resize(sep);
            file.open(path, std::ios::binary);
            if (!file) return TYPE_E_CANTLOADLIBRARY;
        }
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) == nullptr) return TYPE_E_CANTLOADLIBRARY;
        path = resolved;

        char magic[4] = {};
        file.read(magic, sizeof magic);
        HRESULT hr;
        if (file.gcount() == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' &&
            magic[3] == 'F') {
            file.close();
            hr = LoadFromModule(path, index, pptlib);
        } else {
            if (index != 1) return TYPE_E_CANTLOADLIBRARY;
            file.clear();
            file.seekg(0);
            std::ostringstream all;
            all << file.rdbuf();
            hr = CreateFromText(all.str(), pptlib);
        }
        if (SUCCEEDED(hr) && regkind == REGKIND_REGISTER) {
            std::u16string full;
            corvane::text::TryToUtf16(path, &full);
            hr = RegisterTypeLib(*pptlib, full.c_str(), nullptr);
            if (FAILED(hr)) {
                (*pptlib)->Release();
                *pptlib = nullptr;
            }
        }
        return hr;
    } catch (...) {
        if (*pptlib != nullptr) {
            (*pptlib)->Release();
            *pptlib = nullptr;
        }
        return corvane::HResultFromCurrentException();
    }
}
