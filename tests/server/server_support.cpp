#include "tests/server/server_support.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace corvane::testing {

namespace {

class Key {
public:
    Key(HKEY root, const OleString& path, REGSAM access = KEY_READ) {
        if (RegOpenKeyExW(root, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<OleString> EnumNames(HKEY key, bool values) {
    std::vector<OleString> names;
    for (DWORD i = 0;; ++i) {
        OLECHAR name[512];
        DWORD chars = 512;
        LSTATUS status =
            values ? RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

void DumpKey(HKEY key, const std::string& path, std::ostringstream* out) {
    *out << path << "\n";
    for (const OleString& name : EnumNames(key, true)) {
        DWORD type = 0, bytes = 0;
        RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
        std::vector<BYTE> data(bytes);
        RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &bytes);
        *out << "  [" << Narrow(name) << "] type " << type << " =";
        if (type == REG_SZ) {
            OleString s(reinterpret_cast<const OLECHAR*>(data.data()), bytes / 2);
            *out << " '" << Narrow(s.c_str()) << "'";
        } else {
            for (BYTE b : data) *out << " " << static_cast<int>(b);
        }
        *out << "\n";
    }
    for (const OleString& name : EnumNames(key, false)) {
        Key child(key, name);
        DumpKey(child.Get(), path + "\\" + Narrow(name), out);
    }
}

}  // namespace

std::string ModulePath() {
    char resolved[PATH_MAX];
    if (realpath(CORVANE_MODULE_PATH, resolved) == nullptr) return CORVANE_MODULE_PATH;
    return resolved;
}

OleString ModulePathWide() {
    return text::ToUtf16(ModulePath());
}

TempRegistry::TempRegistry() {
    char buf[PATH_MAX];
    size_t n = CorvaneGetRegistryRoot(buf, sizeof buf);
    if (n > 0 && n < sizeof buf) previous_ = buf;
    // A memory file system where there is one: every registry change is flushed to its file,
    // and the failure tests make thousands of them.
    char inMemory[] = "/dev/shm/corvane-registry-XXXXXX";
    char onDisk[] = "/tmp/corvane-registry-XXXXXX";
    const char* made = mkdtemp(inMemory);
    if (made == nullptr) made = mkdtemp(onDisk);
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    dir_ = made;
    EXPECT_EQ(CorvaneSetRegistryRoot(dir_.c_str()), ERROR_SUCCESS);
}

TempRegistry::~TempRegistry() {
    CorvaneSetRegistryRoot(previous_.empty() ? nullptr : previous_.c_str());
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
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

const ModuleExports& MainModule() {
    static ModuleExports exports = [] {
        ModuleExports e;
        LoadModule(ModulePath(), &e);
        return e;
    }();
    return exports;
}

bool CopyModuleTo(const std::string& path) {
    std::error_code ec;
    std::filesystem::copy_file(ModulePath(), path,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) ADD_FAILURE() << "copy to " << path << ": " << ec.message();
    return !ec;
}

std::string DumpRegistry() {
    std::ostringstream out;
    DumpKey(HKEY_LOCAL_MACHINE, "HKLM", &out);
    DumpKey(HKEY_CURRENT_USER, "HKCU", &out);
    return out.str();
}

std::string DumpSubtree(HKEY root, const OleString& path) {
    std::ostringstream out;
    Key key(root, path);
    if (!key.Get()) return "";
    for (const OleString& name : EnumNames(key.Get(), false)) {
        Key child(key.Get(), name);
        DumpKey(child.Get(), Narrow(name), &out);
    }
    return out.str();
}

bool KeyExists(HKEY root, const OleString& path) {
    return Key(root, path).Get() != nullptr;
}

std::vector<OleString> SubkeyNames(HKEY root, const OleString& path) {
    Key key(root, path);
    return key.Get() ? EnumNames(key.Get(), false) : std::vector<OleString>{};
}

std::vector<OleString> ValueNames(HKEY root, const OleString& path) {
    Key key(root, path);
    return key.Get() ? EnumNames(key.Get(), true) : std::vector<OleString>{};
}

bool ReadString(HKEY root, const OleString& path, const OLECHAR* name, OleString* out) {
    Key key(root, path);
    if (!key.Get()) return false;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::vector<BYTE> data(bytes);
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
        return false;
    OleString s(reinterpret_cast<const OLECHAR*>(data.data()), bytes / 2);
    if (!s.empty() && s.back() == OLESTR('\0')) s.pop_back();
    *out = s;
    return true;
}

void WriteString(HKEY root, const OleString& path, const OLECHAR* name, const OleString& value) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

OleString LowerCase(OleString s) {
    for (OLECHAR& c : s) {
        if (c >= OLESTR('A') && c <= OLESTR('Z'))
            c = static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'));
    }
    return s;
}

::testing::AssertionResult RunInChildProcess(const std::function<void()>& body) {
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return ::testing::AssertionFailure() << "fork failed";
    if (pid == 0) {
        int code = 0;
        try {
            body();
            code = ::testing::Test::HasFailure() ? 1 : 0;
        } catch (...) {
            code = 2;
        }
        fflush(stdout);
        fflush(stderr);
        _exit(code);
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

std::string Narrow(const OleString& s) {
    return text::ToUtf8(s);
}

std::string HrText(HRESULT hr) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

}  // namespace corvane::testing
