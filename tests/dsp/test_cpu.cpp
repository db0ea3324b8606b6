// CPU detection: slot choice on synthetic CPUID/XGETBV values, the feature setting, the
// feature test, the cache-size queries, and the answers on this machine.
#include "dsp/testing.h"

#include <cpuid.h>
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

namespace {

// CPUID bit positions, written out from the processor manuals.
constexpr uint32_t kEdxMmx = 1u << 23, kEdxSse = 1u << 25, kEdxSse2 = 1u << 26;
constexpr uint32_t kEcxSse3 = 1u << 0, kEcxSsse3 = 1u << 9, kEcxFma = 1u << 12,
                   kEcxSse41 = 1u << 19, kEcxSse42 = 1u << 20, kEcxMovbe = 1u << 22,
                   kEcxPopcnt = 1u << 23, kEcxOsxsave = 1u << 27, kEcxAvx = 1u << 28;
constexpr uint32_t kEbxAvx2 = 1u << 5, kEbxAvx512f = 1u << 16, kEbxAvx512dq = 1u << 17,
                   kEbxAvx512cd = 1u << 28, kEbxAvx512bw = 1u << 30, kEbxAvx512vl = 1u << 31;
constexpr uint64_t kXcr0Avx = 0x7, kXcr0Avx512 = 0xE7;

using Regs = std::array<uint32_t, 4>;

// A processor made of plain values; leaves it does not define answer zeros.
struct FakeCpu {
    std::string vendor = "GenuineIntel";
    uint32_t maxLeaf = 7;
    uint32_t ecx1 = 0, edx1 = 0, ebx7 = 0;
    uint64_t xcr0 = 0;
    Regs leaf2 = {0x01, 0, 0, 0};
    std::vector<Regs> leaf4;
    uint32_t maxExt = 0x80000008;
    uint32_t ecxExt1 = 0;
    std::vector<Regs> leaf8000001d;
    uint32_t ecx80000006 = 0, edx80000006 = 0;
    int calls = 0;
};
FakeCpu g_fake;

void fakeCpuid(uint32_t leaf, uint32_t sub, uint32_t r[4]) {
    ++g_fake.calls;
    r[0] = r[1] = r[2] = r[3] = 0;
    auto fromList = [&](const std::vector<Regs>& list) {
        if (sub < list.size())
            for (int i = 0; i < 4; ++i) r[i] = list[sub][i];
    };
    if (leaf == 0) {
        r[0] = g_fake.maxLeaf;
        char v[12] = {};
        g_fake.vendor.copy(v, 12);
        memcpy(&r[1], v, 4);
        memcpy(&r[3], v + 4, 4);
        memcpy(&r[2], v + 8, 4);
        return;
    }
    if (leaf >= 0x80000000u) {
        if (leaf > g_fake.maxExt) return;
        if (leaf == 0x80000000u) r[0] = g_fake.maxExt;
        if (leaf == 0x80000001u) r[2] = g_fake.ecxExt1;
        if (leaf == 0x80000006u) r[2] = g_fake.ecx80000006, r[3] = g_fake.edx80000006;
        if (leaf == 0x8000001Du) fromList(g_fake.leaf8000001d);
        return;
    }
    if (leaf > g_fake.maxLeaf) return;
    if (leaf == 1) r[2] = g_fake.ecx1, r[3] = g_fake.edx1;
    if (leaf == 2)
        for (int i = 0; i < 4; ++i) r[i] = g_fake.leaf2[i];
    if (leaf == 4) fromList(g_fake.leaf4);
    if (leaf == 7 && sub == 0) r[1] = g_fake.ebx7;
}

uint64_t fakeXgetbv(uint32_t) {
    return g_fake.xcr0;
}

// Deterministic cache-parameter leaf for a cache of ways x line x sets bytes.
Regs cacheLeaf(uint32_t type, uint32_t level, uint32_t ways, uint32_t line, uint32_t sets) {
    return {type | (level << 5), ((ways - 1) << 22) | (line - 1), sets - 1, 0};
}

class CpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        dspTestResetCpu();
        g_fake = FakeCpu();
    }
    void TearDown() override { dspTestResetCpu(); }
    void useFake() { dspTestSetCpuidSource(fakeCpuid, fakeXgetbv); }
};

struct SlotCase {
    const char* name;
    const char* vendor;
    uint32_t maxLeaf, edx1, ecx1, ebx7;
    uint64_t xcr0;
    DspCpuSlot slot;
    DspStatus status;
};

constexpr uint32_t kBase = kEdxMmx | kEdxSse | kEdxSse2;
constexpr uint32_t kUpToSse41 = kEcxSse3 | kEcxSsse3 | kEcxSse41;
constexpr uint32_t kUpToSse42 = kUpToSse41 | kEcxSse42 | kEcxPopcnt;
constexpr uint32_t kAvxOs = kUpToSse42 | kEcxAvx | kEcxOsxsave;
constexpr uint32_t kAvx512 =
    kEbxAvx2 | kEbxAvx512f | kEbxAvx512dq | kEbxAvx512cd | kEbxAvx512bw | kEbxAvx512vl;

const SlotCase kSlotCases[] = {
    {"sse2 only", "GenuineIntel", 7, kBase, 0, 0, 0, 1, dspOk},
    {"sse3", "GenuineIntel", 7, kBase, kEcxSse3, 0, 0, 1, dspOk},
    {"ssse3", "GenuineIntel", 7, kBase, kEcxSse3 | kEcxSsse3, 0, 0, 2, dspOk},
    {"movbe", "GenuineIntel", 7, kBase, kEcxMovbe, 0, 0, 2, dspOk},
    {"sse4.1", "GenuineIntel", 7, kBase, kUpToSse41, 0, 0, 2, dspOk},
    {"sse4.2", "GenuineIntel", 7, kBase, kUpToSse42, 0, 0, 3, dspOk},
    {"sse4.2 without popcnt", "GenuineIntel", 7, kBase, kUpToSse41 | kEcxSse42, 0, 0, 2, dspOk},
    {"avx, no osxsave", "GenuineIntel", 7, kBase, kUpToSse42 | kEcxAvx, 0, 0, 3,
     dspWarnFeatureNotSupported},
    {"avx, os keeps no ymm state", "GenuineIntel", 7, kBase, kAvxOs, 0, 0x3, 3,
     dspWarnFeatureNotSupported},
    {"avx", "GenuineIntel", 7, kBase, kAvxOs, 0, kXcr0Avx, 4, dspOk},
    {"avx + fma, no avx2", "GenuineIntel", 7, kBase, kAvxOs | kEcxFma, 0, kXcr0Avx, 4, dspOk},
    {"avx2 + fma", "GenuineIntel", 7, kBase, kAvxOs | kEcxFma, kEbxAvx2, kXcr0Avx, 5, dspOk},
    {"avx2 without fma", "GenuineIntel", 7, kBase, kAvxOs, kEbxAvx2, kXcr0Avx, 4, dspOk},
    {"avx2 + fma, no os support", "GenuineIntel", 7, kBase, kUpToSse42 | kEcxAvx | kEcxFma,
     kEbxAvx2, 0, 3, dspWarnFeatureNotSupported},
    {"avx-512", "GenuineIntel", 7, kBase, kAvxOs | kEcxFma, kAvx512, kXcr0Avx512, 5, dspOk},
    {"avx-512, os keeps no zmm state", "GenuineIntel", 7, kBase, kAvxOs | kEcxFma, kAvx512,
     kXcr0Avx, 5, dspWarnFeatureNotSupported},
    {"avx-512f without avx2 or fma", "GenuineIntel", 7, kBase, kAvxOs, kEbxAvx512f, kXcr0Avx512, 4,
     dspWarnFeatureCombination},
    {"avx without sse4.2", "GenuineIntel", 7, kBase, kUpToSse41 | kEcxAvx | kEcxOsxsave, 0,
     kXcr0Avx, 2, dspWarnFeatureCombination},
    {"no sse2", "GenuineIntel", 7, kEdxMmx | kEdxSse, 0, 0, 0, 0, dspWarnCpuNotSupported},
    {"no feature leaf", "GenuineIntel", 0, kBase, kUpToSse42, 0, 0, 0, dspWarnCpuNotSupported},
    {"other vendor, avx2", "AuthenticAMD", 7, kBase, kAvxOs | kEcxFma, kEbxAvx2, kXcr0Avx, 5,
     dspWarnCpuVendor},
    {"other vendor, sse2", "AuthenticAMD", 7, kBase, 0, 0, 0, 1, dspWarnCpuVendor},
    {"other vendor, no os support", "CentaurHauls", 7, kBase, kUpToSse42 | kEcxAvx, 0, 0, 3,
     dspWarnCpuVendor},
};

TEST_F(CpuTest, SlotChoiceOnSyntheticProcessors) {
    useFake();
    for (const SlotCase& c : kSlotCases) {
        SCOPED_TRACE(c.name);
        g_fake.vendor = c.vendor;
        g_fake.maxLeaf = c.maxLeaf;
        g_fake.edx1 = c.edx1;
        g_fake.ecx1 = c.ecx1;
        g_fake.ebx7 = c.ebx7;
        g_fake.xcr0 = c.xcr0;
        EXPECT_EQ(dspInitCpu(), c.status);
        EXPECT_EQ(dspGetCpuSlot(), c.slot);
        // The pure detection agrees with what dspInitCpu published.
        DspCpuDetection d;
        dspDetectCpu(fakeCpuid, fakeXgetbv, &d);
        EXPECT_EQ(d.slot, c.slot);
        EXPECT_EQ(d.enabled, dspGetEnabledFeatures());
    }
}

TEST_F(CpuTest, EnabledFeaturesFollowTheOperatingSystem) {
    useFake();
    g_fake.edx1 = kBase;
    g_fake.ecx1 = kAvxOs | kEcxFma | kEcxMovbe;
    g_fake.ebx7 = kAvx512;
    g_fake.xcr0 = kXcr0Avx;  // no opmask/zmm state
    dspInitCpu();
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatMovbe), 1);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatAvx2 | dspFeatFma | dspFeatAvxOs), 1);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatAvx512f), 0);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatMovbe | dspFeatAvx512f), 0);
    EXPECT_EQ(dspCheckCpuFeatures(0), 1);

    g_fake.ecx1 = kUpToSse42;  // no MOVBE
    dspInitCpu();
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatMovbe), 0);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatSse42), 1);
}

TEST_F(CpuTest, FeatureCheckRunsTheSetUpWhenNothingWasDetected) {
    useFake();
    g_fake.edx1 = kBase;
    g_fake.ecx1 = kEcxMovbe;
    ASSERT_EQ(dspGetCpuSlot(), dspSlotUnset);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatMovbe), 1);
    EXPECT_EQ(dspGetCpuSlot(), 2);
    EXPECT_EQ(dspTestDetectionCount(), 1);
}

TEST_F(CpuTest, FeatureSettingDropsWhatCannotRun) {
    struct Case {
        const char* name;
        DspCpuFeatures requested, enabled;
        DspStatus status;
    };
    const DspCpuFeatures sse = dspFeatSse | dspFeatSse2 | dspFeatSse3 | dspFeatSsse3 |
                               dspFeatSse41 | dspFeatSse42 | dspFeatPopcnt;
    const Case cases[] = {
        {"consistent", sse | dspFeatAvx | dspFeatAvxOs, sse | dspFeatAvx | dspFeatAvxOs, dspOk},
        {"unknown bit", sse | (DspCpuFeatures(1) << 40), sse, dspWarnUnknownFeature},
        {"unknown bit before os", sse | dspFeatAvx | (DspCpuFeatures(1) << 63), sse,
         dspWarnUnknownFeature},
        {"avx without os", sse | dspFeatAvx | dspFeatAvx2, sse, dspWarnFeatureNotSupported},
        {"avx2 without avx", sse | dspFeatAvxOs | dspFeatAvx2, sse | dspFeatAvxOs,
         dspWarnFeatureCombination},
        {"ssse3 without sse3", dspFeatSse | dspFeatSse2 | dspFeatSsse3 | dspFeatSse41,
         dspFeatSse | dspFeatSse2, dspWarnFeatureCombination},
        {"movbe alone", dspFeatMovbe, dspFeatMovbe, dspOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DspCpuFeatures enabled = 0;
        EXPECT_EQ(dspResolveFeatures(c.requested, &enabled), c.status);
        EXPECT_EQ(enabled, c.enabled);
    }
}

TEST_F(CpuTest, ForcedSlotAndMaskArePublished) {
    dspTestForceCpu(3, dspFeatSse2 | dspFeatMovbe);
    EXPECT_EQ(dspGetCpuSlot(), 3);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatMovbe), 1);
    EXPECT_EQ(dspCheckCpuFeatures(dspFeatAvx), 0);
    EXPECT_EQ(dspTestDetectionCount(), 0);
    dspTestResetCpu();
    EXPECT_EQ(dspGetCpuSlot(), dspSlotUnset);
    EXPECT_EQ(dspGetEnabledFeatures(), 0u);
}

// ---------------------------------------------------------------------------------------------
// This machine, against the compiler's own detection.

bool rawVendorIntel() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    __get_cpuid(0, &a, &b, &c, &d);
    char v[13] = {};
    memcpy(v, &b, 4);
    memcpy(v + 4, &d, 4);
    memcpy(v + 8, &c, 4);
    return std::string(v) == "GenuineIntel";
}

TEST_F(CpuTest, ThisMachine) {
    __builtin_cpu_init();
    int expected = 0;
    if (__builtin_cpu_supports("sse2")) expected = 1;
    if (__builtin_cpu_supports("ssse3") || __builtin_cpu_supports("sse4.1")) expected = 2;
    {
        unsigned a = 0, b = 0, c = 0, d = 0;
        __get_cpuid(1, &a, &b, &c, &d);
        if (c & kEcxMovbe) expected = std::max(expected, 2);
    }
    if (__builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("popcnt")) expected = 3;
    if (expected == 3 && __builtin_cpu_supports("avx")) expected = 4;
    if (expected == 4 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        expected = 5;

    unsigned a = 0, b = 0, c = 0, d = 0;
    __get_cpuid(1, &a, &b, &c, &d);
    const bool rawAvx = c & kEcxAvx;
    __get_cpuid_count(7, 0, &a, &b, &c, &d);
    const bool rawAvx512 = b & kEbxAvx512f;
    DspStatus expectedStatus = dspOk;
    if ((rawAvx && !__builtin_cpu_supports("avx")) ||
        (rawAvx512 && !__builtin_cpu_supports("avx512f")))
        expectedStatus = dspWarnFeatureNotSupported;
    if (!rawVendorIntel()) expectedStatus = dspWarnCpuVendor;

    EXPECT_EQ(dspInitCpu(), expectedStatus);
    EXPECT_EQ(dspGetCpuSlot(), expected);
    EXPECT_EQ(dspTestDetectionCount(), 1);
    std::printf("this machine: slot %d, status %d\n", dspGetCpuSlot(), expectedStatus);
}

// ---------------------------------------------------------------------------------------------
// Cache sizes.

constexpr int kKiB = 1024, kMiB = 1024 * 1024;

TEST_F(CpuTest, DescriptorCodesGiveTheirSizes) {
    // Sizes as the processor manuals list them for these descriptors.
    struct Case {
        uint8_t descriptor;
        int64_t bytes;
    };
    const Case cases[] = {
        {0x21, 256 * kKiB}, {0x23, 1 * kMiB},   {0x29, 4 * kMiB},    {0x43, 512 * kKiB},
        {0x47, 8 * kMiB},   {0x48, 3 * kMiB},   {0x49, 4 * kMiB},    {0x4A, 6 * kMiB},
        {0x4C, 12 * kMiB},  {0x4D, 16 * kMiB},  {0x4E, 6 * kMiB},    {0x7D, 2 * kMiB},
        {0x87, 1 * kMiB},   {0xD0, 512 * kKiB}, {0xDC, 1536 * kKiB}, {0xDD, 3 * kMiB},
        {0xDE, 6 * kMiB},   {0xE4, 8 * kMiB},   {0xEA, 12 * kMiB},   {0xEB, 18 * kMiB},
        {0xEC, 24 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.descriptor);
        g_fake.leaf2 = {0x01u | (uint32_t(c.descriptor) << 8), 0, 0, 0};
        int size = 0;
        ASSERT_EQ(dspQueryDescriptorCacheSize(fakeCpuid, &size), dspOk);
        EXPECT_EQ(size, c.bytes);
    }
    for (int i = 1; i < dspCacheDescriptorCodeCount; ++i)
        EXPECT_LT(dspCacheDescriptorCodes[i - 1].descriptor, dspCacheDescriptorCodes[i].descriptor);
}

TEST_F(CpuTest, CacheQueries) {
    struct Case {
        const char* name;
        void (*setUp)(FakeCpu&);
        DspStatus maxStatus;
        int maxSize;
        DspStatus descriptorStatus;
        int descriptorSize;
    };
    const Case cases[] = {
        {"leaf 2, largest descriptor wins",
         [](FakeCpu& f) {
             // 0x02 is a TLB; ecx has bit 31 set, so its 24 MiB descriptor is not one.
             f.leaf2 = {0x00430201u, 0x0000004Du, 0x800000ECu, 0};
         },
         dspOk, 16 * kMiB, dspOk, 16 * kMiB},
        {"leaf 2 points to leaf 4",
         [](FakeCpu& f) {
             f.leaf2 = {0x00FF0001u, 0, 0, 0};
             f.leaf4 = {cacheLeaf(1, 1, 12, 64, 64), cacheLeaf(2, 1, 8, 64, 64),
                        cacheLeaf(3, 2, 10, 64, 2048), cacheLeaf(3, 3, 15, 64, 32768)};
         },
         dspOk, 15 * 64 * 32768, dspWarnNoCacheInfo, 0},
        {"leaf 4 instruction cache ignored",
         [](FakeCpu& f) {
             f.leaf4 = {cacheLeaf(2, 2, 16, 64, 4096), cacheLeaf(1, 1, 8, 64, 64)};
         },
         dspOk, 8 * 64 * 64, dspWarnNoCacheInfo, 0},
        {"other vendor through 0x8000001D",
         [](FakeCpu& f) {
             f.vendor = "AuthenticAMD";
             f.maxLeaf = 0xD;
             f.leaf2 = {0x4D4D4D01u, 0, 0, 0};  // not read on this vendor
             f.maxExt = 0x80000021u;
             f.ecxExt1 = 1u << 22;
             f.leaf8000001d = {cacheLeaf(1, 1, 8, 64, 64), cacheLeaf(3, 2, 8, 64, 1024),
                               cacheLeaf(3, 3, 16, 64, 32768)};
         },
         dspOk, 32 * kMiB, dspWarnNoCacheInfo, 0},
        {"older other vendor through 0x80000006",
         [](FakeCpu& f) {
             f.vendor = "AuthenticAMD";
             f.maxLeaf = 1;
             f.maxExt = 0x80000008u;
             f.ecx80000006 = 512u << 16;
             f.edx80000006 = 12u << 18;  // 12 x 512 KiB
         },
         dspOk, 6 * kMiB, dspWarnNoCacheInfo, 0},
        {"nothing anywhere", [](FakeCpu&) {}, dspWarnNoCacheInfo, 0, dspWarnNoCacheInfo, 0},
        {"no cpuid leaves",
         [](FakeCpu& f) {
             f.maxLeaf = 0;
             f.maxExt = 0;
         },
         dspWarnCpuNotSupported, 0, dspWarnCpuNotSupported, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_fake = FakeCpu();
        c.setUp(g_fake);
        int size = -1;
        EXPECT_EQ(dspQueryMaxCacheSize(fakeCpuid, &size), c.maxStatus);
        if (c.maxStatus == dspOk)
            EXPECT_EQ(size, c.maxSize);
        else
            EXPECT_EQ(size, -1);
        size = -1;
        EXPECT_EQ(dspQueryDescriptorCacheSize(fakeCpuid, &size), c.descriptorStatus);
        if (c.descriptorStatus == dspOk)
            EXPECT_EQ(size, c.descriptorSize);
        else
            EXPECT_EQ(size, -1);
    }
}

TEST_F(CpuTest, CacheAnswerIsKeptForTheProcess) {
    useFake();
    g_fake.leaf2 = {0x00004701u, 0, 0, 0};  // 8 MiB
    int size = 0;
    ASSERT_EQ(dspGetMaxCacheSize(&size), dspOk);
    EXPECT_EQ(size, 8 * kMiB);
    const int calls = g_fake.calls;
    g_fake.leaf2 = {0x00004D01u, 0, 0, 0};  // would be 16 MiB if asked again
    ASSERT_EQ(dspGetMaxCacheSize(&size), dspOk);
    EXPECT_EQ(size, 8 * kMiB);
    EXPECT_EQ(g_fake.calls, calls);
    EXPECT_EQ(dspGetMaxCacheSize(nullptr), dspErrNullPtr);

    // The injection answers instead, both queries, until it is cleared.
    dspTestSetCacheSize(dspOk, 1 * kMiB);
    ASSERT_EQ(dspGetMaxCacheSize(&size), dspOk);
    EXPECT_EQ(size, 1 * kMiB);
    ASSERT_EQ(dspCacheSizeFromDescriptors(&size), dspOk);
    EXPECT_EQ(size, 1 * kMiB);
    dspTestSetCacheSize(dspWarnNoCacheInfo, 0);
    size = 5;
    EXPECT_EQ(dspGetMaxCacheSize(&size), dspWarnNoCacheInfo);
    EXPECT_EQ(size, 5);
    dspTestClearCacheSize();
    ASSERT_EQ(dspGetMaxCacheSize(&size), dspOk);
    EXPECT_EQ(size, 8 * kMiB);
}

// The kernel reads the same CPUID leaves on its own; its largest data or unified cache is
// what the query must find here.
TEST_F(CpuTest, ThisMachineCacheMatchesTheKernel) {
    int64_t largest = 0;
    for (int i = 0; i < 16; ++i) {
        const std::string dir =
            "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(i) + "/";
        std::ifstream type(dir + "type"), sizeFile(dir + "size");
        if (!type || !sizeFile) break;
        std::string t, s;
        type >> t;
        sizeFile >> s;
        if (t == "Instruction" || s.empty()) continue;
        int64_t v = std::stoll(s);
        if (s.back() == 'K') v *= 1024;
        if (s.back() == 'M') v *= 1024 * 1024;
        largest = std::max(largest, v);
    }
    if (largest == 0) GTEST_SKIP() << "the kernel reports no caches here";
    int size = 0;
    ASSERT_EQ(dspGetMaxCacheSize(&size), dspOk);
    EXPECT_EQ(size, largest);
}

}  // namespace
