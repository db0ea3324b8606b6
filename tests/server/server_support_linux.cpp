// The helpers of the module tests that are Linux's own: registry roots in folders, modules
// loaded with dlopen, child processes made with fork.
#include "tests/server/server_support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace corvane::testing {

const char kTypeLibraryForm[] = "library corvaneLib ";

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string ModuleCopyName(const std::string& tag) {
    return "libcorvane-" + tag + ".so";
}

bool FailNthRegistryWrite(unsigned n) {
    CorvaneRegistryFailNthWrite(n);
    return true;
}

const char* WineVersion() {
    return nullptr;
}

std::string ComparableDump(const std::string& dump) {
    return dump;
}

void ExpectFunctionDescribed(ITypeInfo*, UINT, MEMBERID, const OleString&) {}

// Another open file description of the machine hive's lock is, to the registry, another process.
struct RegistryHeldElsewhere::Holder {
    int fd;
};

RegistryHeldElsewhere::RegistryHeldElsewhere(const TempRegistry& registry)
    : holder_(
          new Holder{open((registry.Dir() + "/machine.lock").c_str(), O_RDWR | O_CREAT, 0600)}) {
    EXPECT_GE(holder_->fd, 0);
    EXPECT_EQ(flock(holder_->fd, LOCK_EX), 0);
}

RegistryHeldElsewhere::~RegistryHeldElsewhere() {
    if (holder_->fd >= 0) close(holder_->fd);
    delete holder_;
}

std::string ModulePath() {
    return ResolvedPath(CORVANE_MODULE_PATH);
}

TempDir::TempDir() {
    char templ[] = "/tmp/corvane-module-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

bool LoadModule(const std::string& path, ModuleExports* out) {
    out->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (out->handle == nullptr) {
        ADD_FAILURE() << "dlopen(" << path << "): " << dlerror();
        return false;
    }
    out->DllCanUnloadNow =
        reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(out->handle, "DllCanUnloadNow"));
    out->DllGetClassObject =
        reinterpret_cast<PFN_DllGetClassObject>(dlsym(out->handle, "DllGetClassObject"));
    out->DllInstall = reinterpret_cast<PFN_DllInstall>(dlsym(out->handle, "DllInstall"));
    out->DllRegisterServer =
        reinterpret_cast<PFN_DllRegisterServer>(dlsym(out->handle, "DllRegisterServer"));
    out->DllUnregisterServer =
        reinterpret_cast<PFN_DllUnregisterServer>(dlsym(out->handle, "DllUnregisterServer"));
    if (!out->DllCanUnloadNow || !out->DllGetClassObject || !out->DllInstall ||
        !out->DllRegisterServer || !out->DllUnregisterServer) {
        ADD_FAILURE() << path << " lacks one of the five exports";
        return false;
    }
    out->module = ModuleFromAddress(reinterpret_cast<const void*>(out->DllRegisterServer));
    if (out->module == nullptr) {
        ADD_FAILURE() << "the platform does not know " << path;
        return false;
    }
    return true;
}

::testing::AssertionResult RunInChildProcess(const std::function<void()>& body) {
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return ::testing::AssertionFailure() << "fork failed";
    if (pid == 0) {
        _exit(RunChildBody(body));
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return ::testing::AssertionFailure() << "waitpid failed";
    if (!WIFEXITED(status))
        return ::testing::AssertionFailure() << "child ended abnormally, status " << status;
    if (WEXITSTATUS(status) != 0)
        return ::testing::AssertionFailure()
               << "child failed (see its output above), exit code " << WEXITSTATUS(status);
    return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
