// The registration-script parser and the registry walk behind it, inside a registry transaction
// that is never committed, so no input writes a file. Any bytes either run or fail with an
// HRESULT; when a registration ran, its undo log must bring the registry back exactly.
#include "platform/win32.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/reg_transaction.h"
#include "server/registrar.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::string g_root;

// Every key and value below key, in enumeration order, as text.
void Dump(HKEY key, const std::string& path, std::string* out) {
    for (DWORD i = 0;; ++i) {
        OLECHAR name[16384];
        DWORD chars = 16384, type = 0, bytes = 0;
        LSTATUS st = RegEnumValueW(key, i, name, &chars, nullptr, &type, nullptr, &bytes);
        if (st != ERROR_SUCCESS) break;
        std::vector<BYTE> data(bytes + 1);
        chars = 16384;
        RegEnumValueW(key, i, name, &chars, nullptr, &type, data.data(), &bytes);
        *out += path + " value " + corvane::text::ToUtf8({name, chars}) + " " +
                std::to_string(type) + " " + std::string(data.begin(), data.begin() + bytes) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        OLECHAR name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::string child = path + "\\" + corvane::text::ToUtf8({name, chars});
        *out += child + "\n";
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Dump(sub, child, out);
            RegCloseKey(sub);
        }
    }
}

std::string DumpBoth() {
    std::string out;
    Dump(HKEY_LOCAL_MACHINE, "HKLM", &out);
    Dump(HKEY_CURRENT_USER, "HKCU", &out);
    return out;
}

void RemoveRoot() {
    for (const char* name : {"/machine.hive", "/user.hive", "/machine.lock", "/user.lock"})
        unlink((g_root + name).c_str());
    rmdir(g_root.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
    g_root = pattern;
    FUZZ_CHECK(CorvaneSetRegistryRoot(g_root.c_str()) == ERROR_SUCCESS);
    atexit(RemoveRoot);
    return 0;
}

// The first byte chooses register or unregister and the classes root; the rest is the script.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane;
    if (size == 0) return 0;
    const bool bRegister = (data[0] & 1) != 0;
    const auto classes =
        (data[0] & 2) != 0 ? registrar::ClassesRoot::PerUser : registrar::ClassesRoot::Machine;
    const std::string_view script(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<registrar::Replacement> map = {
        {OLESTR("Module"), OLESTR("/lib/it''s.so")},
        {OLESTR("Module_Raw"), OLESTR("/lib/it's.so")},
        {OLESTR("APPID"), OLESTR("{00000000-0000-0000-0000-000000000001}")}};

    FUZZ_CHECK(CorvaneRegistryBeginTransaction(1000) == ERROR_SUCCESS);
    const std::string before = DumpBoth();
    RegistryTransaction undo;
    const HRESULT hr = registrar::RunScript(script, bRegister, map, classes, &undo);
    if (bRegister && SUCCEEDED(hr)) {
        FUZZ_CHECK(SUCCEEDED(undo.Rollback()));
        FUZZ_CHECK(DumpBoth() == before);
    }
    FUZZ_CHECK(CorvaneRegistryEndTransaction(FALSE) == ERROR_SUCCESS);
    struct stat info;
    FUZZ_CHECK(stat((g_root + "/machine.hive").c_str(), &info) != 0);
    FUZZ_CHECK(stat((g_root + "/user.hive").c_str(), &info) != 0);
    return 0;
}
