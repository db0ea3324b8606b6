// TempRegistry on Windows: the predefined keys redirected to keys of the test's own.
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/win32.h"

namespace corvane::testing {

namespace {

// Under HKCU\Software\corvane-tests: one key per TempRegistry, holding the stand-ins of the
// machine's and the user's hives.
const OLECHAR kTestsKey[] = OLESTR("Software\\corvane-tests");

}  // namespace

bool SystemComReadsTheTestRegistry() {
    return false;
}

TempRegistry::TempRegistry() {
    static std::atomic<unsigned> counter{0};
    const OleString base = OleString(kTestsKey) + OLESTR("\\") +
                           Utf8ToOle(std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(counter.fetch_add(1)));
    dir_ = OleToUtf8(base);
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());  // left by an earlier process of this id
    HKEY machine = nullptr, user = nullptr, classes = nullptr;
    const OleString machinePath = base + OLESTR("\\machine"), userPath = base + OLESTR("\\user");
    bool ok = RegCreateKeyExW(HKEY_CURRENT_USER, machinePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &machine, nullptr) == ERROR_SUCCESS &&
              RegCreateKeyExW(HKEY_CURRENT_USER, userPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &user, nullptr) == ERROR_SUCCESS &&
              RegCreateKeyExW(machine, OLESTR("Software\\Classes"), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &classes, nullptr) == ERROR_SUCCESS;
    // The classes root stands for the machine's classes: the test's registry has no merged view.
    ok = ok && RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine) == ERROR_SUCCESS &&
         RegOverridePredefKey(HKEY_CURRENT_USER, user) == ERROR_SUCCESS &&
         RegOverridePredefKey(HKEY_CLASSES_ROOT, classes) == ERROR_SUCCESS;
    EXPECT_TRUE(ok) << "cannot set up a private registry under HKCU\\" << dir_;
    for (HKEY k : {machine, user, classes})
        if (k != nullptr) RegCloseKey(k);
}

TempRegistry::~TempRegistry() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT})
        RegOverridePredefKey(root, nullptr);
    if (!dir_.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, Utf8ToOle(dir_).c_str());
}

}  // namespace corvane::testing
