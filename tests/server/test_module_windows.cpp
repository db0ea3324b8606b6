// What only the Windows module carries: the version block and the manifest among its resources.
// (Its exports and imports are checked on the image itself, by cmake/CheckPeImage.cmake.)
#include <string>

#include <gtest/gtest.h>

#include "tests/server/server_support.h"

namespace corvane::testing {
namespace {

TEST(ModuleResources, VersionBlockAndManifest) {
    const HMODULE module = MainModule().module;
    ASSERT_NE(module, nullptr);
    OLECHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u) << "no version block";
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), OLESTR("\\"), reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_EQ(fixedSize, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << "version 1.0";
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    OLECHAR* product = nullptr;
    UINT chars = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), OLESTR("\\StringFileInfo\\040904B0\\ProductName"),
                               reinterpret_cast<void**>(&product), &chars));
    EXPECT_EQ(OleString(product), OLESTR("corvane"));

    // The manifest of a DLL (resource 2): the caller's own rights, nothing more.
    const std::string manifest = ResourceBytes(module, 2, RT_MANIFEST);
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
        << manifest;
}

}  // namespace
}  // namespace corvane::testing
