// corvane-reg: registers or unregisters an in-process server module in the registry, per machine
// or for the current user, the way an installer does: it loads the module and calls its
// DllRegisterServer / DllUnregisterServer, or DllInstall with the command line "user".
//
//   corvane-reg [--user] [--unregister] [--root DIR] MODULE.so
//
// The registry folder is DIR, else $CORVANE_REGISTRY_ROOT, else the platform's default under the
// user's data folder. Exit status: 0 success, 1 the module refused (its HRESULT is printed),
// 2 bad arguments or a module that cannot be loaded.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "server/module.h"

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
                 "usage: corvane-reg [--user] [--unregister] [--root DIR] MODULE.so\n"
                 "  --user        register for the current user only "
                 "(HKEY_CURRENT_USER\\Software\\Classes)\n"
                 "  --unregister  remove the module's registration\n"
                 "  --root DIR    registry folder (default: $CORVANE_REGISTRY_ROOT, else the\n"
                 "                platform's folder under the user's data folder)\n");
}

// False (after a message) on anything it does not understand.
bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--user") == 0) {
            o->user = true;
        } else if (std::strcmp(a, "--unregister") == 0 || std::strcmp(a, "-u") == 0) {
            o->unregister = true;
        } else if (std::strcmp(a, "--root") == 0) {
            if (++i == argc || argv[i][0] == '\0') {
                std::fprintf(stderr, "corvane-reg: --root needs a folder\n");
                return false;
            }
            o->root = argv[i];
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
    };
    for (const auto& k : known) {
        if (k.hr == hr) return k.text;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32)
        return "system error " + std::to_string(HRESULT_CODE(hr));
    return "unknown error";
}

int Fail(const char* what, const std::string& module, HRESULT hr) {
    std::fprintf(stderr, "corvane-reg: %s failed for %s: 0x%08X (%s)\n", what, module.c_str(),
                 static_cast<unsigned>(hr), Describe(hr).c_str());
    return kExitRefused;
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
                     "corvane-reg: no registry folder (give --root or set "
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

    HRESULT init = CoInitialize(nullptr);
    HRESULT hr;
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
                module.c_str(), o.user ? "for the current user" : "per machine", rootBuf);
    return 0;
}
