// Registration of the module: scripts, type library, locale, and the undo of a failed attempt.
#include "server/registration.h"

#include <string>

#include "corvane/guids.def"
#include "platform/com_ptr.h"
#include "platform/exceptions.h"
#include "server/reg_transaction.h"
#include "server/scripts.h"

namespace corvane {

namespace {

using registrar::Replacement;

#define CORVANE_REG_APPID(name, guid) OLESTR("{" guid "}")
constexpr OLECHAR kAppId[] =
    CORVANE_GUIDS(CORVANE_GUID_IGNORE, CORVANE_REG_APPID, CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE,
                  CORVANE_GUID_IGNORE, CORVANE_GUID_IGNORE);
#undef CORVANE_REG_APPID

// Registration writes locale-neutral text; the caller's thread gets its own locale back.
class SystemLocaleScope {
public:
    SystemLocaleScope() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(saved_); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    LCID saved_;
};

HRESULT LastErrorResult() {
    DWORD error = GetLastError();
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HRESULT ModulePath(HMODULE module, OleString* path) {
    WCHAR buffer[MAX_PATH];
    SetLastError(0);
    DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (n == 0) return LastErrorResult();
    // A path that fills the buffer has been cut short: registering it would name another file.
    if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    path->assign(buffer, n);
    return S_OK;
}

std::vector<Replacement> AppIdReplacement() {
    return {{OLESTR("APPID"), kAppId}};
}

// From the module's own resources, or else from the file beside it with the extension ".tlb".
HRESULT LoadModuleTypeLib(const OleString& path, ITypeLib** out) {
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, out);
    if (SUCCEEDED(hr)) return hr;
    OleString beside = path;
    size_t slash = beside.find_last_of(OLESTR("/\\"));
    size_t dot = beside.rfind(OLESTR('.'));
    if (dot != OleString::npos && (slash == OleString::npos || dot > slash)) beside.resize(dot);
    beside += OLESTR(".tlb");
    HRESULT second = LoadTypeLibEx(beside.c_str(), REGKIND_NONE, out);
    return SUCCEEDED(second) ? second : hr;
}

// The folder of the library's help file, or empty when it names none.
OleString HelpDirectory(ITypeLib* lib) {
    BSTR helpFile = nullptr;
    OleString dir;
    if (SUCCEEDED(lib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) &&
        helpFile != nullptr) {
        OleString file(helpFile, SysStringLen(helpFile));
        size_t slash = file.find_last_of(OLESTR("/\\"));
        if (slash != OleString::npos) dir = file.substr(0, slash);
    }
    SysFreeString(helpFile);
    return dir;
}

// Records the places that type-library registration may write in the scope's hive: the
// library's own key and the Interface keys of its interfaces.
HRESULT SaveTypeLibPlaces(ITypeLib* lib, REFGUID libId, RegistrationScope scope,
                          RegistryTransaction* tx) {
    const HKEY hive = scope == RegistrationScope::PerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const OleString classes = OLESTR("Software\\Classes\\");
    HRESULT hr;
    if (FAILED(hr = tx->SaveKey(hive, classes + OLESTR("TypeLib"))) ||
        FAILED(hr = tx->SaveTree(hive, classes + OLESTR("TypeLib\\") + GuidText(libId))) ||
        FAILED(hr = tx->SaveKey(hive, classes + OLESTR("Interface"))))
        return hr;
    UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) ||
            (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH))
            continue;
        ComPtr<ITypeInfo> info;
        if (FAILED(hr = lib->GetTypeInfo(i, info.Put()))) return hr;
        TYPEATTR* attr = nullptr;
        if (FAILED(hr = info->GetTypeAttr(&attr))) return hr;
        GUID iid = attr->guid;
        info->ReleaseTypeAttr(attr);
        if (FAILED(hr = tx->SaveTree(hive, classes + OLESTR("Interface\\") + GuidText(iid))))
            return hr;
    }
    return S_OK;
}

// The module's type library, the path it is registered under and its attributes.
HRESULT OpenTypeLibrary(HMODULE module, OleString* path, ITypeLib** lib, TLIBATTR* attributes) {
    HRESULT hr = ModulePath(module, path);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = LoadModuleTypeLib(*path, lib))) return hr;
    TLIBATTR* attr = nullptr;
    if (FAILED(hr = (*lib)->GetLibAttr(&attr))) return hr;
    *attributes = *attr;
    (*lib)->ReleaseTLibAttr(attr);
    return S_OK;
}

HRESULT RegisterTypeLibrary(HMODULE module, RegistrationScope scope, RegistryTransaction* tx) {
    OleString path;
    ComPtr<ITypeLib> lib;
    TLIBATTR attr;
    HRESULT hr = OpenTypeLibrary(module, &path, &lib, &attr);
    if (FAILED(hr)) return hr;
    if (tx != nullptr && FAILED(hr = SaveTypeLibPlaces(lib.Get(), attr.guid, scope, tx))) return hr;
    OleString helpDir = HelpDirectory(lib.Get());
    OLECHAR* help = helpDir.empty() ? nullptr : &helpDir[0];
    return scope == RegistrationScope::PerUser ? RegisterTypeLibForUser(lib.Get(), &path[0], help)
                                               : RegisterTypeLib(lib.Get(), &path[0], help);
}

HRESULT UnregisterTypeLibrary(HMODULE module, RegistrationScope scope) {
    OleString path;
    ComPtr<ITypeLib> lib;
    TLIBATTR a;
    HRESULT hr = OpenTypeLibrary(module, &path, &lib, &a);
    if (FAILED(hr)) return hr;
    return scope == RegistrationScope::PerUser
               ? UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
               : UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

HRESULT RegisterSteps(HMODULE module, const std::vector<int>& classScripts, RegistrationScope scope,
                      RegistryTransaction* tx) {
    HRESULT hr =
        UpdateRegistryFromResource(module, kModuleScriptId, true, AppIdReplacement(), scope, tx);
    if (FAILED(hr)) return hr;
    for (int id : classScripts) {
        // Component categories would be registered here; the classes declare none.
        hr = UpdateRegistryFromResource(module, id, true, {}, scope, tx);
        if (FAILED(hr)) return hr;
    }
    return RegisterTypeLibrary(module, scope, tx);
}

HRESULT UnregisterSteps(HMODULE module, const std::vector<int>& classScripts,
                        RegistrationScope scope) {
    HRESULT hr;
    for (int id : classScripts) {
        hr = UpdateRegistryFromResource(module, id, false, {}, scope, nullptr);
        if (FAILED(hr)) return hr;
    }
    if (FAILED(hr = UnregisterTypeLibrary(module, scope))) return hr;
    return UpdateRegistryFromResource(module, kModuleScriptId, false, AppIdReplacement(), scope,
                                      nullptr);
}

}  // namespace

HRESULT ModuleReplacements(HMODULE module, std::vector<Replacement>* out) {
    return CallGuarded([&]() -> HRESULT {
        OleString raw;
        HRESULT hr = ModulePath(module, &raw);
        if (FAILED(hr)) return hr;
        OleString quoted;
        for (OLECHAR c : raw) {
            if (c == OLESTR('\'')) quoted.push_back(c);
            quoted.push_back(c);
        }
        out->push_back({OLESTR("Module"), std::move(quoted)});
        out->push_back({OLESTR("Module_Raw"), std::move(raw)});
        out->push_back(AppIdReplacement().front());
        return S_OK;
    });
}

HRESULT UpdateRegistryFromResource(HMODULE module, int id, bool bRegister,
                                   const std::vector<Replacement>& extra, RegistrationScope scope,
                                   RegistryTransaction* tx) {
    return CallGuarded([&]() -> HRESULT {
        std::vector<Replacement> map;
        HRESULT hr = ModuleReplacements(module, &map);
        if (FAILED(hr)) return hr;
        map.insert(map.end(), extra.begin(), extra.end());
        SetLastError(0);
        HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), OLESTR("REGISTRY"));
        if (resource == nullptr) return LastErrorResult();
        HGLOBAL data = LoadResource(module, resource);
        const void* bytes = data != nullptr ? LockResource(data) : nullptr;
        if (bytes == nullptr) return LastErrorResult();
        DWORD size = SizeofResource(module, resource);
        return registrar::RunScript(
            std::string_view(static_cast<const char*>(bytes), size), bRegister, map,
            scope == RegistrationScope::PerUser ? registrar::ClassesRoot::PerUser
                                                : registrar::ClassesRoot::Machine,
            tx);
    });
}

HRESULT RegisterServer(HMODULE module, const std::vector<int>& classScripts,
                       RegistrationScope scope, DWORD waitMs) {
    SystemLocaleScope locale;
    RegistrySession session;
    HRESULT hr = session.Begin(waitMs);
    if (FAILED(hr)) return hr;
    RegistryTransaction tx;
    hr = CallGuarded([&] { return RegisterSteps(module, classScripts, scope, &tx); });
    if (SUCCEEDED(hr)) return session.Commit();
    // The undo log puts back what the steps changed; abandoning the session then drops the
    // changes altogether, so that even a place the log could not restore stays as it was.
    tx.Rollback();
    session.Abandon();
    return hr;
}

HRESULT UnregisterServer(HMODULE module, const std::vector<int>& classScripts,
                         RegistrationScope scope, DWORD waitMs) {
    SystemLocaleScope locale;
    RegistrySession session;
    HRESULT hr = session.Begin(waitMs);
    if (FAILED(hr)) return hr;
    try {
        hr = UnregisterSteps(module, classScripts, scope);
    } catch (...) {
        session.Abandon();
        return HResultFromCurrentException();
    }
    // An unregistration that stops at a failing step keeps what it removed before it, as the
    // system's does, so that a half-removed registration can still be cleared.
    HRESULT written = session.Commit();
    return FAILED(hr) ? hr : written;
}

bool IsPerUserCommandLine(LPCWSTR cmdLine) {
    if (cmdLine == nullptr) return false;
    static const OLECHAR kUser[] = OLESTR("user");
    // Five characters, the terminator included: "user" in any case and nothing after it.
    for (int i = 0; i < 5; ++i) {
        OLECHAR c = cmdLine[i];
        if (c >= OLESTR('A') && c <= OLESTR('Z'))
            c = static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'));
        if (c != kUser[i]) return false;
        if (c == 0) break;
    }
    return true;
}

}  // namespace corvane
