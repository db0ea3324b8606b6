// Module handles, file names and compiled-in resources.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using corvane::OleString;

// Resources of the test program itself, found through the NULL module handle.
const char kOwnText[] = "resource of the executable";
const CorvaneResource kOwnResources[] = {
    {RT_RCDATA, MAKEINTRESOURCEW(7), kOwnText, sizeof kOwnText},
};
corvane::ModuleResources g_ownResources(kOwnResources);

OleString Wide(const std::string& s) {
    return corvane::text::ToUtf16(s);
}

std::string RealPath(const char* path) {
    char buf[PATH_MAX];
    return realpath(path, buf) != nullptr ? std::string(buf) : std::string();
}

// The test module loaded through a symbolic link in a fresh folder, so that the name the loader
// was given differs from the file's real path.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/corvane-module-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        link_ = dir_ + "/linked module.so";
        ASSERT_EQ(symlink(CORVANE_TEST_RESOURCE_MODULE, link_.c_str()), 0);
        handle_ = dlopen(link_.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        auto self = reinterpret_cast<HMODULE (*)()>(dlsym(handle_, "CorvaneTestModuleHandle"));
        ASSERT_NE(self, nullptr);
        module_ = self();
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
        unlink(link_.c_str());
        rmdir(dir_.c_str());
    }
    void Unload() {
        dlclose(handle_);
        handle_ = nullptr;
    }

    std::string dir_, link_;
    void* handle_ = nullptr;
    HMODULE module_ = nullptr;
};

OleString FileNameOf(HMODULE h) {
    std::vector<WCHAR> buf(4096);
    DWORD n = GetModuleFileNameW(h, buf.data(), static_cast<DWORD>(buf.size()));
    return OleString(buf.data(), n);
}

TEST_F(ModuleTest, FileNameIsTheRealAbsolutePath) {
    const OleString expected = Wide(RealPath(CORVANE_TEST_RESOURCE_MODULE));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(FileNameOf(module_), expected);
    EXPECT_NE(FileNameOf(module_), Wide(link_));
}

TEST_F(ModuleTest, NullIsTheExecutable) {
    const OleString expected = Wide(RealPath("/proc/self/exe"));
    EXPECT_EQ(FileNameOf(nullptr), expected);
    EXPECT_EQ(FileNameOf(GetModuleHandleW(nullptr)), expected);
    EXPECT_EQ(GetModuleHandleW(nullptr), g_ownResources.Module());
}

TEST_F(ModuleTest, TruncationFollowsWindows) {
    const OleString full = FileNameOf(module_);
    const DWORD len = static_cast<DWORD>(full.size());
    ASSERT_GT(len, 4u);
    struct Case {
        DWORD size;
        DWORD result;
        bool truncated;
    } cases[] = {
        {1, 1, true},     {2, 2, true},          {len - 1, len - 1, true},
        {len, len, true}, {len + 1, len, false}, {len + 40, len, false},
    };
    for (const Case& c : cases) {
        std::vector<WCHAR> buf(c.size + 8, OLESTR('#'));
        SetLastError(0);
        DWORD got = GetModuleFileNameW(module_, buf.data(), c.size);
        EXPECT_EQ(got, c.result) << "size " << c.size;
        if (c.truncated) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER))
                << "size " << c.size;
            EXPECT_EQ(OleString(buf.data()), full.substr(0, c.size - 1)) << "size " << c.size;
        } else {
            EXPECT_EQ(GetLastError(), 0u) << "size " << c.size;
            EXPECT_EQ(OleString(buf.data()), full) << "size " << c.size;
        }
        EXPECT_EQ(buf[c.size], OLESTR('#')) << "wrote past the buffer, size " << c.size;
    }
    WCHAR untouched = OLESTR('#');
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(module_, &untouched, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(untouched, OLESTR('#'));
}

TEST_F(ModuleTest, BadHandlesAndBuffersFail) {
    WCHAR buf[MAX_PATH];
    struct Case {
        HMODULE module;
        LPWSTR buffer;
        DWORD size;
        DWORD error;
    } cases[] = {
        {reinterpret_cast<HMODULE>(0x1000), buf, MAX_PATH, ERROR_MOD_NOT_FOUND},
        {reinterpret_cast<HMODULE>(reinterpret_cast<char*>(module_) + 16), buf, MAX_PATH,
         ERROR_MOD_NOT_FOUND},
        {module_, nullptr, MAX_PATH, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(GetModuleFileNameW(c.module, c.buffer, c.size), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    }
}

TEST_F(ModuleTest, HandlesAgreeWhicheverWayTheyAreFound) {
    HMODULE fromAddress = nullptr;
    void* inside = dlsym(handle_, "CorvaneTestModuleHandle");
    ASSERT_TRUE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(inside), &fromAddress));
    EXPECT_EQ(fromAddress, module_);
    EXPECT_EQ(corvane::ModuleFromAddress(inside), module_);
    const OleString real = Wide(RealPath(CORVANE_TEST_RESOURCE_MODULE));
    EXPECT_EQ(GetModuleHandleW(real.c_str()), module_);
    EXPECT_EQ(GetModuleHandleW(real.substr(real.rfind(OLESTR('/')) + 1).c_str()), module_);

    HMODULE h = reinterpret_cast<HMODULE>(1);
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExW(0x80, nullptr, &h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, nullptr));
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCWSTR>(0x10), &h));
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleW(OLESTR("no-such-module.so")), nullptr);
}

std::string ResourceBytes(HMODULE module, HRSRC res) {
    HGLOBAL data = LoadResource(module, res);
    const char* p = static_cast<const char*>(LockResource(data));
    if (p == nullptr) return "<null>";
    return std::string(p, SizeofResource(module, res));
}

TEST_F(ModuleTest, ResourcesAreFoundByIdOrNameInAnyCase) {
    const std::string script = "HKCR\r\n{\r\n}\r\n";
    const std::string blob("\x01\x02\x00\xFE\x7F", 5);
    struct Case {
        LPCWSTR name;
        LPCWSTR type;
        std::string expected;
    } cases[] = {
        {MAKEINTRESOURCEW(101), OLESTR("REGISTRY"), script},
        {OLESTR("#101"), OLESTR("registry"), script},
        {MAKEINTRESOURCEW(101), OLESTR("Registry"), script},
        {OLESTR("Blob"), OLESTR("Custom"), blob},
        {OLESTR("BLOB"), OLESTR("custom"), blob},
    };
    for (const Case& c : cases) {
        HRSRC res = FindResourceW(module_, c.name, c.type);
        ASSERT_NE(res, nullptr);
        EXPECT_EQ(ResourceBytes(module_, res), c.expected);
        EXPECT_EQ(FindResourceExW(module_, c.type, c.name, 0), res);
    }
    HRSRC tlb = FindResourceW(module_, MAKEINTRESOURCEW(1), OLESTR("TYPELIB"));
    ASSERT_NE(tlb, nullptr);
    EXPECT_EQ(ResourceBytes(module_, tlb).rfind("library corvaneLib {", 0), 0u);
    EXPECT_FALSE(FreeResource(LoadResource(module_, tlb)));
}

TEST_F(ModuleTest, MissingResourcesReportWhatIsMissing) {
    HMODULE platform =
        corvane::ModuleFromAddress(reinterpret_cast<const void*>(&GetModuleFileNameW));
    ASSERT_NE(platform, nullptr);
    ASSERT_NE(platform, module_);
    struct Case {
        HMODULE module;
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;
    } cases[] = {
        {module_, MAKEINTRESOURCEW(102), OLESTR("REGISTRY"), ERROR_RESOURCE_NAME_NOT_FOUND},
        {module_, OLESTR("#1O1"), OLESTR("REGISTRY"), ERROR_RESOURCE_NAME_NOT_FOUND},
        {module_, OLESTR("Blobs"), OLESTR("Custom"), ERROR_RESOURCE_NAME_NOT_FOUND},
        {module_, MAKEINTRESOURCEW(101), OLESTR("NOPE"), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {module_, MAKEINTRESOURCEW(101), RT_RCDATA, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {platform, MAKEINTRESOURCEW(101), OLESTR("REGISTRY"), ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResourceW(c.module, c.name, c.type), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // A resource of one module is not one of another's.
    HRSRC res = FindResourceW(module_, MAKEINTRESOURCEW(101), OLESTR("REGISTRY"));
    ASSERT_NE(res, nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadResource(platform, res), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SizeofResource(platform, res), 0u);
    EXPECT_EQ(SizeofResource(module_, nullptr), 0u);
}

TEST_F(ModuleTest, ExecutableResourcesAreReachedThroughNull) {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(7), RT_RCDATA);
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(ResourceBytes(nullptr, res), std::string(kOwnText, sizeof kOwnText));
    EXPECT_EQ(FindResourceW(module_, MAKEINTRESOURCEW(7), RT_RCDATA), nullptr);
}

TEST_F(ModuleTest, UnloadForgetsTheTable) {
    const OleString real = Wide(RealPath(CORVANE_TEST_RESOURCE_MODULE));
    HMODULE module = module_;
    Unload();
    ASSERT_EQ(dlopen(CORVANE_TEST_RESOURCE_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr)
        << "module stayed loaded";
    EXPECT_EQ(GetModuleHandleW(real.c_str()), nullptr);
    SetLastError(0);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(101), OLESTR("REGISTRY")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    WCHAR buf[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameW(module, buf, MAX_PATH), 0u);
}

TEST(ModuleResources, RegistrationChecksItsArguments) {
    const CorvaneResource one[] = {{RT_RCDATA, MAKEINTRESOURCEW(1), kOwnText, 1}};
    const CorvaneResource badName[] = {{RT_RCDATA, OLESTR("#99999"), kOwnText, 1}};
    const CorvaneResource noData[] = {{RT_RCDATA, MAKEINTRESOURCEW(1), nullptr, 4}};
    struct Case {
        HMODULE module;
        const CorvaneResource* table;
        DWORD count;
        DWORD error;
    } cases[] = {
        {reinterpret_cast<HMODULE>(0x1000), one, 1, ERROR_MOD_NOT_FOUND},
        {g_ownResources.Module(), nullptr, 1, ERROR_INVALID_PARAMETER},
        {g_ownResources.Module(), badName, 1, ERROR_INVALID_PARAMETER},
        {g_ownResources.Module(), noData, 1, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(CorvaneRegisterModuleResources(c.module, c.table, c.count));
        EXPECT_EQ(GetLastError(), c.error);
    }
    // A refused table leaves the registered one in place.
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(7), RT_RCDATA), nullptr);
}

}  // namespace
