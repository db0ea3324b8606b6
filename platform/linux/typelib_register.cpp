// Registration of type libraries, per machine and per user, in Windows' key layout.
#include "platform/win32.h"
#include "platform/exceptions.h"
#include "platform/linux/com.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The automation marshaler, which Windows names as proxy/stub of automation interfaces.
constexpr const char16_t* kAutomationMarshaler = u"{00020424-0000-0000-C000-000000000046}";

using corvane::GuidText;

std::u16string Format(const char* format, unsigned a, unsigned b = 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, a, b);
    return corvane::text::ToUtf16(buf);
}

const char16_t* SyskindName(SYSKIND kind) {
    switch (kind) {
        case SYS_WIN16:
            return u"win16";
        case SYS_WIN32:
            return u"win32";
        case SYS_MAC:
            return u"mac";
        case SYS_WIN64:
            return u"win64";
    }
    return nullptr;
}

class Key {
public:
    Key() = default;
    ~Key() { Close(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    void Close() {
        if (h_ != nullptr) RegCloseKey(h_);
        h_ = nullptr;
    }
    HKEY* Out() {
        Close();
        return &h_;
    }
    HKEY Get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

LSTATUS SetString(HKEY root, const std::u16string& path, const char16_t* valueName,
                  const std::u16string& value) {
    Key key;
    LSTATUS st = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                 nullptr, key.Out(), nullptr);
    if (st != ERROR_SUCCESS) return st;
    return RegSetValueExW(key.Get(), valueName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

// A REG_SZ value of root\path (valueName NULL: the default value).
bool ReadNamedString(HKEY root, const std::u16string& path, const char16_t* valueName,
                     std::u16string* out) {
    Key key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    std::u16string buf(size / sizeof(char16_t) + 1, u'\0');
    DWORD cb = static_cast<DWORD>(buf.size() * sizeof(char16_t));
    if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]),
                         &cb) != ERROR_SUCCESS) {
        return false;
    }
    buf.resize(cb / sizeof(char16_t));
    while (!buf.empty() && buf.back() == u'\0') buf.pop_back();
    *out = std::move(buf);
    return true;
}

bool ReadString(HKEY root, const std::u16string& path, std::u16string* out) {
    return ReadNamedString(root, path, nullptr, out);
}

// Names of the subkeys of root\path; false when the key cannot be read.
bool Subkeys(HKEY root, const std::u16string& path, std::vector<std::u16string>* names) {
    Key key;
    names->clear();
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return false;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD len = 256;
        LSTATUS st = RegEnumKeyExW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS) return true;
        if (st != ERROR_SUCCESS) return false;
        names->emplace_back(name, len);
    }
}

// Calls visit(IID, name) for every interface of the library that Windows registers under
// Interface: dual, oleautomation or dispatch interfaces.
template <class Visit>
HRESULT ForEachAutomationInterface(ITypeLib* lib, Visit visit) {
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ITypeInfo* info = nullptr;
        HRESULT hr = lib->GetTypeInfo(i, &info);
        if (FAILED(hr)) return hr;
        TYPEATTR* attr = nullptr;
        hr = info->GetTypeAttr(&attr);
        if (SUCCEEDED(hr)) {
            const bool automation =
                attr->typekind == TKIND_DISPATCH ||
                (attr->typekind == TKIND_INTERFACE &&
                 (attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)));
            const GUID iid = attr->guid;
            info->ReleaseTypeAttr(attr);
            if (automation) {
                BSTR name = nullptr;
                hr = info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
                if (SUCCEEDED(hr))
                    hr = visit(iid, name == nullptr ? std::u16string() : std::u16string(name));
                SysFreeString(name);
            }
        }
        info->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Register(HKEY root, ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
    if (lib == nullptr || fullPath == nullptr) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    const TLIBATTR a = *attr;
    lib->ReleaseTLibAttr(attr);
    const char16_t* sys = SyskindName(a.syskind);
    if (sys == nullptr) return E_INVALIDARG;

    BSTR name = nullptr, doc = nullptr;
    hr = lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    std::u16string title = doc != nullptr && doc[0] != 0 ? std::u16string(doc)
                           : name != nullptr             ? std::u16string(name)
                                                         : std::u16string();
    SysFreeString(name);
    SysFreeString(doc);

    const std::u16string libid = GuidText(a.guid);
    const std::u16string version = Format("%x.%x", a.wMajorVerNum, a.wMinorVerNum);
    const std::u16string base = u"Software\\Classes\\TypeLib\\" + libid + u"\\" + version;
    LSTATUS st = SetString(root, base, nullptr, title);
    if (st == ERROR_SUCCESS)
        st = SetString(root, base + u"\\" + Format("%x", a.lcid) + u"\\" + sys, nullptr, fullPath);
    if (st == ERROR_SUCCESS)
        st = SetString(root, base + u"\\FLAGS", nullptr, Format("%u", a.wLibFlags));
    if (st == ERROR_SUCCESS)
        st = SetString(root, base + u"\\HELPDIR", nullptr, helpDir != nullptr ? helpDir : u"");
    if (st != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;

    return ForEachAutomationInterface(
        lib, [&](REFGUID iid, const std::u16string& itfName) -> HRESULT {
            const std::u16string key = u"Software\\Classes\\Interface\\" + GuidText(iid);
            LSTATUS s = SetString(root, key, nullptr, itfName);
            if (s == ERROR_SUCCESS)
                s = SetString(root, key + u"\\ProxyStubClsid", nullptr, kAutomationMarshaler);
            if (s == ERROR_SUCCESS)
                s = SetString(root, key + u"\\ProxyStubClsid32", nullptr, kAutomationMarshaler);
            if (s == ERROR_SUCCESS) s = SetString(root, key + u"\\TypeLib", nullptr, libid);
            if (s == ERROR_SUCCESS) s = SetString(root, key + u"\\TypeLib", u"Version", version);
            return s == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
        });
}

HRESULT Unregister(HKEY root, REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    const char16_t* sys = SyskindName(syskind);
    if (sys == nullptr) return E_INVALIDARG;
    const std::u16string libid = GuidText(libID);
    const std::u16string libKey = u"Software\\Classes\\TypeLib\\" + libid;
    const std::u16string version = Format("%x.%x", major, minor);
    const std::u16string versionKey = libKey + u"\\" + version;
    const std::u16string lcidKey = versionKey + u"\\" + Format("%x", lcid);
    const std::u16string sysKey = lcidKey + u"\\" + sys;

    std::u16string path;
    if (!ReadString(root, sysKey, &path)) {
        Key probe;
        if (RegOpenKeyExW(root, sysKey.c_str(), 0, KEY_READ, probe.Out()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }

    // The Interface keys are found through the registered file; when it no longer loads they stay.
    ITypeLib* lib = nullptr;
    if (!path.empty() && SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) {
        ForEachAutomationInterface(lib, [&](REFGUID iid, const std::u16string&) -> HRESULT {
            const std::u16string key = u"Software\\Classes\\Interface\\" + GuidText(iid);
            // Only keys that this version still owns: a later registration of another version
            // of the library has taken them over.
            std::u16string owner, ownerVersion;
            if (ReadString(root, key + u"\\TypeLib", &owner) &&
                corvane::text::EqualNoCase(owner, libid) &&
                (!ReadNamedString(root, key + u"\\TypeLib", u"Version", &ownerVersion) ||
                 corvane::text::EqualNoCase(ownerVersion, version))) {
                RegDeleteTreeW(root, key.c_str());
            }
            return S_OK;
        });
        lib->Release();
    }

    if (RegDeleteKeyW(root, sysKey.c_str()) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
    std::vector<std::u16string> names;
    if (Subkeys(root, lcidKey, &names) && names.empty() &&
        RegDeleteKeyW(root, lcidKey.c_str()) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    if (Subkeys(root, versionKey, &names)) {
        bool otherLocale = false;
        for (const auto& n : names) {
            if (!corvane::text::EqualNoCase(n, u"FLAGS") &&
                !corvane::text::EqualNoCase(n, u"HELPDIR"))
                otherLocale = true;
        }
        if (!otherLocale && RegDeleteTreeW(root, versionKey.c_str()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }
    if (Subkeys(root, libKey, &names) && names.empty() &&
        RegDeleteKeyW(root, libKey.c_str()) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    return corvane::CallGuarded(
        [&] { return Register(HKEY_LOCAL_MACHINE, ptlib, szFullPath, szHelpDir); });
}

HRESULT RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir) {
    return corvane::CallGuarded(
        [&] { return Register(HKEY_CURRENT_USER, ptlib, szFullPath, szHelpDir); });
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind) {
    return corvane::CallGuarded(
        [&] { return Unregister(HKEY_LOCAL_MACHINE, libID, wVerMajor, wVerMinor, lcid, syskind); });
}

HRESULT UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                 SYSKIND syskind) {
    return corvane::CallGuarded([&] {
        return Unregister(HKEY_CURRENT_USER, libID, wMajorVerNum, wMinorVerNum, lcid, syskind);
    });
}
