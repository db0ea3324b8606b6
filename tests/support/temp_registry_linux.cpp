// TempRegistry on Linux: a registry root of its own.
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>

#include <filesystem>

namespace corvane::testing {

bool SystemComReadsTheTestRegistry() {
    return true;
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

}  // namespace corvane::testing
