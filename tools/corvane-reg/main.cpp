// corvane-reg: registers or unregisters an in-process server module in the registry, per machine
// or for the current user, the way an installer does: it loads the module and calls its
// DllRegisterServer / DllUnregisterServer, or DllInstall with the command line "user".
//
//   corvane-reg [--user] [--unregister] [--registry-root DIR] MODULE.so
//
// The registry folder is DIR (--root DIR is the older spelling), else $CORVANE_REGISTRY_ROOT,
// else the platform's default under the user's data folder. Exit status: 0 success (also when
// there was nothing to unregister), 1 the module refused (its HRESULT is printed, with the file
// or folder at fault), 2 bad arguments or a module that cannot be loaded.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "corvane/module_exports.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

struct Options {
    bool user = false;
    bool unregister = false;
    const char* root = nullptr;
    const char* module = nullptr;
};

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: corvane-reg [--user] [--unregister] [--registry-root DIR] MODULE.so\n"
                 "  --user                register for the current user only "
                 "(HKEY_CURRENT_USER\\Software\\Classes)\n"
                 "  --unregister          remove the module's registration\n"
                 "  --registry-root DIR   registry folder (default: $CORVANE_REGISTRY_ROOT, else\n"
                 "                        the platform's folder under the user's data folder);\n"
                 "                        --root DIR is the same\n");
}

// The value of a long option given as "NAME VALUE" or "NAME=VALUE": NULL when a is not that
// option; *missing when it has no value.
const char* OptionValue(const char* name, int argc, char** argv, int* i, bool* missing) {
    const char* a = argv[*i];
    const size_t n = std::strlen(name);
    if (std::strncmp(a, name, n) != 0) return nullptr;
    const char* value = nullptr;
    if (a[n] == '=') {
        value = a + n + 1;
    } else if (a[n] == '\0') {
        value = *i + 1 < argc ? argv[++*i] : "";
    } else {
        return nullptr;
    }
    *missing = *value == '\0';
    return value;
}

// False (after a message) on anything it does not understand.
bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        bool missing = false;
        const char* option = "--registry-root";
        const char* root = OptionValue(option, argc, argv, &i, &missing);
        if (root == nullptr) root = OptionValue(option = "--root", argc, argv, &i, &missing);
        if (root != nullptr) {
            if (missing) {
                std::fprintf(stderr, "corvane-reg: %s needs a folder\n", option);
                return false;
            }
            o->root = root;
        } else if (std::strcmp(a, "--user") == 0) {
            o->user = true;
        } else if (std::strcmp(a, "--unregister") == 0 || std::strcmp(a, "-u") == 0) {
            o->unregister = true;
        } else if (a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "corvane-reg: unknown option %s\n", a);
            return false;
        } else if (o->module != nullptr) {
            std::fprintf(stderr, "corvane-reg: one module at a time (%s and %s)\n", o->module, a);
            return false;
        } else {
            o->module = a;
        }
    }
    if (o->module == nullptr) {
        std::fprintf(stderr, "corvane-reg: no module given\n");
        return false;
    }
    return true;
}

// What went wrong, in words, for the failures that registration reports.
std::string Describe(HRESULT hr) {
    const struct {
        HRESULT hr;
        const char* text;
    } known[] = {
        {E_OUTOFMEMORY, "out of memory"},
        {E_UNEXPECTED, "the module could not start"},
        {TYPE_E_REGISTRYACCESS,
         "the type library could not be registered or unregistered (for an unregistration: it "
         "is not registered)"},
        {TYPE_E_CANTLOADLIBRARY, "the module's type library cannot be loaded"},
        {HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
         "the module's path is too long (at most 259 characters)"},
        {HRESULT_FROM_WIN32(ERROR_INVALID_DATA),
         "a registration script of the module is malformed"},
        {HRESULT_FROM_WIN32(1168L /* ERROR_NOT_FOUND */),
         "a registration script names an unknown replacement"},
        {HRESULT_FROM_WIN32(1813L /* ERROR_RESOURCE_TYPE_NOT_FOUND */),
         "the module carries no registration scripts"},
        {HRESULT_FROM_WIN32(1814L /* ERROR_RESOURCE_NAME_NOT_FOUND */),
         "a registration script is missing from the module"},
        {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "the registry could not be written"},
        {HRESULT_FROM_WIN32(ERROR_CANTREAD), "the registry could not be read"},
        {HRESULT_FROM_WIN32(1009L /* ERROR_BADDB */), "a registry file is damaged"},
        {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "access denied"},
        {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "the disk is full"},
        {HRESULT_FROM_WIN32(ERROR_BUSY),
         "registry busy: another registration did not finish in time; nothing was changed"},
    };
    for (const auto& k : known) {
        if (k.hr == hr) return k.text;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32)
        return "system error " + std::to_string(HRESULT_CODE(hr));
    return "unknown error";
}

// The registry's own words for its last failure on this thread (which file or folder, and the
// system's message), or empty.
std::string RegistryFailure() {
    std::string text(CorvaneGetRegistryFailure(nullptr, 0), '\0');
    if (text.empty()) return text;
    const size_t n = CorvaneGetRegistryFailure(&text[0], text.size());
    text.resize(n < text.size() ? n : 0);
    return text;
}

int Fail(const char* what, const std::string& module, HRESULT hr) {
    // A registry failure that a file or folder caused is named by the registry itself; the
    // generic description would only repeat its code.
    std::string why = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? RegistryFailure() : "";
    if (HRESULT_CODE(hr) == ERROR_BUSY || why.empty()) why = Describe(hr);
    std::fprintf(stderr, "corvane-reg: %s failed for %s: 0x%08X (%s)\n", what, module.c_str(),
                 static_cast<unsigned>(hr), why.c_str());
    return kExitRefused;
}

// Whether the registry may hold anything of module in the hive of the scope: its type library or
// one of its classes. True when that cannot be told (the module's own call then says why).
bool MayBeRegistered(const std::string& module, bool user) {
    ITypeLib* lib = nullptr;
    if (FAILED(LoadTypeLibEx(corvane::text::ToUtf16(module).c_str(), REGKIND_NONE, &lib)))
        return true;
    std::vector<corvane::OleString> keys;
    auto add = [&](const corvane::OleString& prefix, REFGUID guid) {
        OLECHAR text[CORVANE_GUID_STRING_CHARS] = {};
        StringFromGUID2(guid, text, CORVANE_GUID_STRING_CHARS);
        keys.push_back(OLESTR("Software\\Classes\\") + prefix + text);
    };
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
        add(OLESTR("TypeLib\\"), attr->guid);
        lib->ReleaseTLibAttr(attr);
    }
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        ITypeInfo* info = nullptr;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS ||
            FAILED(lib->GetTypeInfo(i, &info)))
            continue;
        TYPEATTR* typeAttr = nullptr;
        if (SUCCEEDED(info->GetTypeAttr(&typeAttr))) {
            add(OLESTR("CLSID\\"), typeAttr->guid);
            info->ReleaseTypeAttr(typeAttr);
        }
        info->Release();
    }
    lib->Release();
    for (const corvane::OleString& key : keys) {
        HKEY found = nullptr;
        const LSTATUS status = RegOpenKeyExW(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                             key.c_str(), 0, KEY_READ, &found);
        if (status == ERROR_SUCCESS) RegCloseKey(found);
        if (status != ERROR_FILE_NOT_FOUND) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (!Parse(argc, argv, &o)) {
        Usage(stderr);
        return kExitUsage;
    }

    if (CorvaneSetRegistryRoot(o.root) != ERROR_SUCCESS) {
        std::fprintf(stderr,
                     "corvane-reg: no registry folder (give --registry-root or set "
                     "CORVANE_REGISTRY_ROOT)\n");
        return kExitUsage;
    }
    char rootBuf[PATH_MAX] = {};
    CorvaneGetRegistryRoot(rootBuf, sizeof rootBuf);

    // The full path: the module registers the path it is loaded from, and dlopen would search the
    // library path for a bare file name.
    char resolved[PATH_MAX];
    if (realpath(o.module, resolved) == nullptr) {
        std::fprintf(stderr, "corvane-reg: cannot find %s: %s\n", o.module, std::strerror(errno));
        return kExitUsage;
    }
    const std::string module = resolved;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "corvane-reg: cannot load %s: %s\n", module.c_str(), dlerror());
        return kExitUsage;
    }

    const char* entry = o.user         ? "DllInstall"
                        : o.unregister ? "DllUnregisterServer"
                                       : "DllRegisterServer";
    void* symbol = dlsym(handle, entry);
    if (symbol == nullptr) {
        std::fprintf(stderr, "corvane-reg: %s exports no %s; it is not a registrable server\n",
                     module.c_str(), entry);
        return kExitUsage;
    }

    const char* scope = o.user ? "for the current user" : "per machine";
    if (o.unregister && !MayBeRegistered(module, o.user)) {
        std::printf("corvane-reg: nothing to unregister: %s is not registered %s in %s\n",
                    module.c_str(), scope, rootBuf);
        return 0;
    }

    HRESULT init = CoInitialize(nullptr);
    HRESULT hr;
    CorvaneClearRegistryFailure();
    std::string call = entry;
    if (o.user) {
        call = o.unregister ? "DllInstall(FALSE, \"user\")" : "DllInstall(TRUE, \"user\")";
        hr = reinterpret_cast<PFN_DllInstall>(symbol)(o.unregister ? FALSE : TRUE, OLESTR("user"));
    } else if (o.unregister) {
        hr = reinterpret_cast<PFN_DllUnregisterServer>(symbol)();
    } else {
        hr = reinterpret_cast<PFN_DllRegisterServer>(symbol)();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    if (FAILED(hr)) return Fail(call.c_str(), module, hr);
    std::printf("corvane-reg: %s %s %s in %s\n", o.unregister ? "unregistered" : "registered",
                module.c_str(), scope, rootBuf);
    return 0;
}
