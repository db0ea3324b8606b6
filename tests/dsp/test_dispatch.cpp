// Dispatch of the twelve public operations: the tables, the first call, one detection for all
// operations, and first calls racing on eight threads.
#include "dsp/testing.h"
#include "tests/dsp/slots.h"

#include <cpuid.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

template <typename Fn>
const void* addr(Fn fn) {
    return reinterpret_cast<const void*>(fn);
}

struct Row {
    const char* name;
    std::vector<const void*> entries;  // entry -1, then the dispatch slots
};

// What each table must hold: the first-call stub, then the bodies of the dispatch slots in the
// slot tables made from the routine list.
std::vector<Row> expectedTables() {
    std::vector<Row> rows;
#define DSP_EXPECTED_ROW(name, ...)               \
    rows.push_back({#name, {addr(name##_init)}}); \
    for (int s = 0; s < kDspSlotCount; ++s) rows.back().entries.push_back(addr(dspslots::name[s]));
    DSP_OPERATIONS(DSP_EXPECTED_ROW)
#undef DSP_EXPECTED_ROW
    return rows;
}

TEST(DispatchTable, EveryEntryIsTheBodyOfItsSlot) {
    const std::vector<Row> rows = expectedTables();
    for (size_t op = 0; op < rows.size(); ++op) {
        for (int slot = -1; slot < kDspSlotCount; ++slot) {
            EXPECT_EQ(dspTestDispatchEntry(static_cast<int>(op) + 1, slot),
                      rows[op].entries[slot + 1])
                << rows[op].name << " slot " << slot;
        }
    }
    EXPECT_EQ(rows.size(), 12u);
    EXPECT_EQ(dspTestDispatchEntry(0, 0), nullptr);
    EXPECT_EQ(dspTestDispatchEntry(13, 0), nullptr);
    EXPECT_EQ(dspTestDispatchEntry(1, kDspSlotCount), nullptr);
}

// ---------------------------------------------------------------------------------------------
// First calls. The synthetic processor is an SSE2 machine of another vendor: its set-up
// answers 20, which must never reach the caller, and slot 1 runs on any x86-64.

struct FakeCpuState {
    std::atomic<int> calls{0};
};
FakeCpuState g_fake;

void sse2OtherVendor(uint32_t leaf, uint32_t, uint32_t r[4]) {
    g_fake.calls.fetch_add(1);
    r[0] = r[1] = r[2] = r[3] = 0;
    if (leaf == 0) {
        r[0] = 1;
        memcpy(&r[1], "Auth", 4);
        memcpy(&r[3], "enti", 4);
        memcpy(&r[2], "cAMD", 4);
    } else if (leaf == 1) {
        r[3] = (1u << 23) | (1u << 25) | (1u << 26);
    }
}
uint64_t noXgetbv(uint32_t) {
    return 0;
}

// One call of each operation, with valid arguments or with arguments the body refuses.
struct Buffers {
    double a[16], b[16], c[32], dly[8];
    BYTE medianBuf[16 * 9];
    BYTE specMem[160];  // a real-FFT spec of order 4 (no tables in any slot) at any alignment
    Buffers() {
        for (int i = 0; i < 16; ++i) a[i] = i + 1, b[i] = 0.5 * i;
        for (double& x : c) x = 3.0;
        for (double& x : dly) x = 0;
    }
};

struct Operation {
    const char* name;
    DspStatus okStatus;  // the body's answer to the valid call
    DspStatus refusedStatus;
    std::function<DspStatus(Buffers&, bool)> call;
};

std::vector<Operation> operations() {
    return {
        {"dspSet64f", dspOk, dspErrNullPtr,
         [](Buffers& x, bool ok) { return dspSet64f(2.0, ok ? x.c : nullptr, 16); }},
        {"dspMulConstInPlace64f", dspOk, dspErrNullPtr,
         [](Buffers& x, bool ok) { return dspMulConstInPlace64f(2.0, ok ? x.c : nullptr, 16); }},
        {"dspMulConst64f", dspOk, dspErrSize,
         [](Buffers& x, bool ok) { return dspMulConst64f(x.a, 2.0, x.c, ok ? 16 : 0); }},
        {"dspMul64f", dspOk, dspErrNullPtr,
         [](Buffers& x, bool ok) { return dspMul64f(x.a, ok ? x.b : nullptr, x.c, 16); }},
        {"dspMagnitude64fc", dspOk, dspErrSize,
         [](Buffers& x, bool ok) { return dspMagnitude64fc(x.a, x.c, ok ? 8 : 0); }},
        // The transforms get an unbuilt spec: -17 after the first check.
        {"dspFftGetSizeReal64f", dspOk, dspErrNullPtr,
         [](Buffers&, bool ok) {
             int s = 0, b = 0, w = 0;
             return dspFftGetSizeReal64f(5, 8, 0, &s, ok ? &b : nullptr, &w);
         }},
        {"dspFftInitReal64f", dspOk, dspErrFftFlag,
         [](Buffers& x, bool ok) {
             DspFftSpecReal64f* spec = nullptr;
             return dspFftInitReal64f(&spec, 4, ok ? 8 : 3, 0, x.specMem, nullptr);
         }},
        {"dspFftFwdRealToCcs64f", dspErrSpecMismatch, dspErrNullPtr,
         [](Buffers& x, bool ok) {
             const auto* unbuilt = reinterpret_cast<const DspFftSpecReal64f*>(x.dly);
             return dspFftFwdRealToCcs64f(x.a, x.c, ok ? unbuilt : nullptr, nullptr);
         }},
        {"dspFftInvCcsToReal64f", dspErrSpecMismatch, dspErrNullPtr,
         [](Buffers& x, bool ok) {
             const auto* unbuilt = reinterpret_cast<const DspFftSpecReal64f*>(x.dly);
             return dspFftInvCcsToReal64f(x.a, x.c, ok ? unbuilt : nullptr, nullptr);
         }},
        {"dspMedianGetBufferSize", dspOk, dspErrDataType,
         [](Buffers&, bool ok) {
             int size = 0;
             const DspStatus st = dspMedianGetBufferSize(5, ok ? 19 : 2, &size);
             return ok && size != 80 ? -1 : st;
         }},
        {"dspMedian64f", dspOk, dspErrMaskSize,
         [](Buffers& x, bool ok) {
             return dspMedian64f(x.a, x.c, 16, ok ? 3 : 0, nullptr, x.dly, x.medianBuf);
         }},
        {"dspMedianInPlace64f", dspOk, dspErrNullPtr,
         [](Buffers& x, bool ok) {
             return dspMedianInPlace64f(x.c, 16, 3, nullptr, x.dly, ok ? x.medianBuf : nullptr);
         }},
    };
}

class FirstCallTest : public ::testing::Test {
protected:
    void SetUp() override { dspTestResetCpu(); }
    void TearDown() override { dspTestResetCpu(); }
};

TEST_F(FirstCallTest, ReturnsTheBodysStatusNeverTheSetUps) {
    for (const Operation& op : operations()) {
        for (bool ok : {false, true}) {
            SCOPED_TRACE(std::string(op.name) + (ok ? ", valid" : ", refused"));
            dspTestResetCpu();
            dspTestSetCpuidSource(sse2OtherVendor, noXgetbv);
            ASSERT_EQ(dspGetCpuSlot(), dspSlotUnset);
            Buffers x;
            EXPECT_EQ(op.call(x, ok), ok ? op.okStatus : op.refusedStatus);
            EXPECT_EQ(dspGetCpuSlot(), 1);
            EXPECT_EQ(dspTestDetectionCount(), 1);
            EXPECT_EQ(dspInitCpu(), dspWarnCpuVendor) << "the set-up's own status was 20 all along";
        }
    }
}

TEST_F(FirstCallTest, OneDetectionServesAllTwelveOperations) {
    dspTestSetCpuidSource(sse2OtherVendor, noXgetbv);
    Buffers x;
    for (const Operation& op : operations()) EXPECT_EQ(op.call(x, true), op.okStatus) << op.name;
    EXPECT_EQ(dspTestDetectionCount(), 1);
    const int cpuidCalls = g_fake.calls.load();
    for (const Operation& op : operations())
        EXPECT_EQ(op.call(x, false), op.refusedStatus) << op.name;
    EXPECT_EQ(dspTestDetectionCount(), 1);
    EXPECT_EQ(g_fake.calls.load(), cpuidCalls);
}

TEST_F(FirstCallTest, ResultsThroughTheDispatch) {
    Buffers x;
    // A fill's pattern passes both stubs (the first call's and the direct one) bit for bit,
    // signalling NaNs included.
    for (uint64_t pattern : {0x7FF0000000000123ull, 0xFFF4000000000001ull}) {
        double value;
        memcpy(&value, &pattern, sizeof value);
        ASSERT_EQ(dspSet64f(value, x.c, 3), dspOk);
        for (int i = 0; i < 3; ++i) {
            uint64_t got;
            memcpy(&got, &x.c[i], sizeof got);
            EXPECT_EQ(got, pattern) << std::hex << pattern;
        }
    }
    ASSERT_EQ(dspSet64f(-1.5, x.c, 5), dspOk);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(x.c[i], -1.5);
    EXPECT_EQ(x.c[5], 3.0);
    ASSERT_EQ(dspMulConst64f(x.a, 0.5, x.c, 16), dspOk);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(x.c[i], x.a[i] * 0.5);
    ASSERT_EQ(dspMul64f(x.a, x.b, x.c, 16), dspOk);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(x.c[i], x.a[i] * x.b[i]);
    ASSERT_EQ(dspMulConstInPlace64f(4.0, x.c, 16), dspOk);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(x.c[i], x.a[i] * x.b[i] * 4.0);
    const double z[4] = {3, 4, -5, 12};
    ASSERT_EQ(dspMagnitude64fc(z, x.c, 2), dspOk);
    EXPECT_EQ(x.c[0], 5.0);
    EXPECT_EQ(x.c[1], 13.0);
    const double in[5] = {1, 5, 2, 8, 3};
    ASSERT_EQ(dspMedian64f(in, x.c, 5, 3, nullptr, x.dly, x.medianBuf), dspOk);
    const double want[5] = {1, 1, 2, 5, 3};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(x.c[i], want[i]);
}

// Every forced slot routes every operation to its body: the bodies must answer as that slot's
// body does when called directly.
TEST_F(FirstCallTest, ForcedSlotsRouteToTheirBodies) {
    for (int slot : dspSupportedSlots()) {
        SCOPED_TRACE(dspSlotName(slot));
        dspTestForceCpu(slot, dspFeatSse2 | dspFeatMovbe);
        Buffers x;
        for (const Operation& op : operations()) {
            EXPECT_EQ(op.call(x, true), op.okStatus) << op.name;
            EXPECT_EQ(op.call(x, false), op.refusedStatus) << op.name;
        }
        EXPECT_EQ(dspTestDetectionCount(), 0);
    }
}

TEST_F(FirstCallTest, EightThreadsAgree) {
    for (int round = 0; round < 20; ++round) {
        dspTestResetCpu();
        constexpr int kThreads = 8;
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        int slots[kThreads], statuses[kThreads];
        std::vector<std::thread> threads;
        const std::vector<Operation> ops = operations();
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                Buffers x;
                ready.fetch_add(1);
                while (!go.load()) {
                }
                statuses[t] = ops[t].call(x, true);
                slots[t] = dspGetCpuSlot();
            });
        }
        while (ready.load() < kThreads) {
        }
        go.store(true);
        for (std::thread& th : threads) th.join();
        DspCpuDetection d;
        dspDetectCpu([](uint32_t leaf, uint32_t sub,
                        uint32_t r[4]) { __cpuid_count(leaf, sub, r[0], r[1], r[2], r[3]); },
                     [](uint32_t) -> uint64_t {
                         // Asked only when CPUID reports OSXSAVE.
                         uint32_t lo, hi;
                         __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
                         return (uint64_t(hi) << 32) | lo;
                     },
                     &d);
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(slots[t], d.slot) << "thread " << t;
            EXPECT_EQ(statuses[t], ops[t].okStatus) << ops[t].name;
        }
        EXPECT_GE(dspTestDetectionCount(), 1);
        EXPECT_LE(dspTestDetectionCount(), kThreads);
        EXPECT_EQ(dspGetEnabledFeatures(), d.enabled);
    }
}

// ---------------------------------------------------------------------------------------------
// The real-FFT entry bodies: their checks in order, the largest order per slot, and slot 2
// handing over to its second body when MOVBE is missing.

using FftInitFn = DspStatus(DSP_CALL*)(DspFftSpecReal64f**, int, int, int, BYTE*, BYTE*);
using FftSizeFn = DspStatus(DSP_CALL*)(int, int, int, int*, int*, int*);

TEST_F(FirstCallTest, FftChecksInOrder) {
    dspTestForceCpu(2, dspFeatSse2 | dspFeatMovbe);
    int s = 0, b = 0, w = 0;
    struct SizeCase {
        int order, flag;
        bool nullOut;
        DspStatus want;
    };
    const SizeCase sizeCases[] = {
        {31, 3, true, dspErrFftOrder}, {-1, 8, false, dspErrFftOrder}, {30, 3, true, dspErrNullPtr},
        {29, 3, false, dspErrFftFlag}, {29, 8, false, dspErrFftOrder}, {5, 0, false, dspErrFftFlag},
    };
    for (const SizeCase& c : sizeCases)
        for (FftSizeFn fn :
             {dspFftGetSizeReal64f_s0, dspFftGetSizeReal64f_s3, dspFftGetSizeReal64f_s2n})
            EXPECT_EQ(fn(c.order, c.flag, 0, &s, c.nullOut ? nullptr : &b, &w), c.want) << c.order;

    // Order 28: refused in slot 0 and in slot 2 with MOVBE (largest 27) before specMem is
    // looked at, accepted elsewhere, so a null specMem answers -8 there.
    DspFftSpecReal64f* spec = nullptr;
    struct InitCase {
        FftInitFn fn;
        const char* name;
        DspStatus want;
    };
    const InitCase initCases[] = {
        {dspFftInitReal64f_s0, "s0", dspErrFftOrder}, {dspFftInitReal64f_s1, "s1", dspErrNullPtr},
        {dspFftInitReal64f_s2, "s2", dspErrFftOrder}, {dspFftInitReal64f_s2n, "s2n", dspErrNullPtr},
        {dspFftInitReal64f_s3, "s3", dspErrNullPtr},  {dspFftInitReal64f_s4, "s4", dspErrNullPtr},
        {dspFftInitReal64f_s5, "s5", dspErrNullPtr},
    };
    for (const InitCase& c : initCases)
        EXPECT_EQ(c.fn(&spec, 28, 8, 0, nullptr, nullptr), c.want) << c.name;
    EXPECT_EQ(dspFftInitReal64f_s1(nullptr, 99, 3, 0, nullptr, nullptr), dspErrNullPtr);
    EXPECT_EQ(dspFftInitReal64f_s1(&spec, 31, 3, 0, nullptr, nullptr), dspErrFftOrder);

    // Without MOVBE the slot-2 body is the second one.
    dspTestForceCpu(2, dspFeatSse2);
    EXPECT_EQ(dspFftInitReal64f_s2(&spec, 28, 8, 0, nullptr, nullptr), dspErrNullPtr);
    EXPECT_EQ(dspFftInitReal64f(&spec, 28, 8, 0, nullptr, nullptr), dspErrNullPtr);
    EXPECT_EQ(spec, nullptr);

    // From order 11 the set-up buffer is required; a refused flag clears the header (but for
    // the order) so that the memory can never pass for a spec.
    alignas(64) BYTE mem[256];
    memset(mem, 0, sizeof mem);
    mem[64] = 9;
    const auto* stale = reinterpret_cast<const DspFftSpecReal64f*>(mem + 64);
    double x[8] = {}, y[10] = {};
    x[0] = 1.5;
    EXPECT_EQ(dspFftFwdRealToCcs64f_s1(x, y, stale, nullptr), dspOk);  // order 0: X[0] = x[0]
    EXPECT_EQ(y[0], 1.5);
    mem[64 + 28] = 1;  // the FFT spec record asks for a work buffer
    EXPECT_EQ(dspFftFwdRealToCcs64f_s1(x, y, stale, nullptr), dspErrNullPtr);
    EXPECT_EQ(dspFftInvCcsToReal64f_s4(nullptr, y, stale, mem), dspErrNullPtr);
    EXPECT_EQ(dspFftInitReal64f_s1(&spec, 12, 8, 0, mem + 1, nullptr), dspErrNullPtr);
    EXPECT_EQ(dspFftInitReal64f_s1(&spec, 12, 7, 0, mem + 1, nullptr), dspErrFftFlag);
    EXPECT_EQ(spec, nullptr);
    for (int i = 64; i < 64 + 96; ++i) EXPECT_EQ(mem[i], i == 68 ? 12 : 0) << i;
    EXPECT_EQ(dspFftFwdRealToCcs64f_s1(x, y, stale, nullptr), dspErrSpecMismatch);
}

}  // namespace
