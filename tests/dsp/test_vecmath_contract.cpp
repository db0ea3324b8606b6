// The vector-math table, its entry stubs and the contract every kernel shares: argument checks,
// the floating-point control protocol, the error hook and in-place operation.
#include "tests/dsp/test_vecmath_support.h"

#include <csignal>

namespace {

using namespace vmtest;

constexpr uint32_t kAllMasks = 0x1F80;
constexpr uint32_t kFlagOverflow = 0x08, kFlagPrecision = 0x20, kFlagInvalid = 0x01;
constexpr uint32_t kMaskInvalid = 0x80;

// Inputs that every kernel takes on its fast path (magnitude: as pairs).
std::vector<double> ordinaryInputs(Fn f, int n) {
    std::vector<double> v(f == Fn::Magnitude ? 2 * n : n);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 0.1 + 0.37 * static_cast<double>(i % 11);
    return v;
}

int outCount(Fn f, size_t inputs) {
    return static_cast<int>(f == Fn::Magnitude ? inputs / 2 : inputs);
}

// ---------------------------------------------------------------------------------------------
// Table and stubs.

struct StubCase {
    const char* name;
    DspVecMathKernel stub;
    int row;
    int accuracy;
    DspVecMathKernel kernel;  // the kernel the stub must reach
    int cpuSlot;
};

const StubCase kStubs[] = {
    {"abs_s0", dspVecAbs64fc_s0, 0, 0, dspVecAbs64fcKernel_s0, 0},
    {"abs_s1", dspVecAbs64fc_s1, 1, 0, dspVecAbs64fcKernel_s1, 1},
    {"abs_s2", dspVecAbs64fc_s2, 2, 0, dspVecAbs64fcKernel_s2a0, 2},
    {"abs_s3", dspVecAbs64fc_s3, 3, 0, dspVecAbs64fcKernel_s2a0, 3},
    {"abs_s4", dspVecAbs64fc_s4, 4, 0, dspVecAbs64fcKernel_s4a0, 4},
    {"abs_s5", dspVecAbs64fc_s5, 5, 0, dspVecAbs64fcKernel_s5a0, 5},
    {"sin_s0", dspVecSin64f_s0, 6, 1, dspVecSin64fKernel_s0, 0},
    {"sin_s1", dspVecSin64f_s1, 8, 1, dspVecSin64fKernel_s1a1, 1},
    {"sin_s2", dspVecSin64f_s2, 10, 1, dspVecSin64fKernel_s2a1, 2},
    {"sin_s3", dspVecSin64f_s3, 12, 1, dspVecSin64fKernel_s2a1, 3},
    {"sin_s4", dspVecSin64f_s4, 14, 1, dspVecSin64fKernel_s4a1, 4},
    {"sin_s5", dspVecSin64f_s5, 16, 1, dspVecSin64fKernel_s5a1, 5},
    {"cos_s0", dspVecCos64f_s0, 7, 1, dspVecCos64fKernel_s0, 0},
    {"cos_s1", dspVecCos64f_s1, 9, 1, dspVecCos64fKernel_s1a1, 1},
    {"cos_s2", dspVecCos64f_s2, 11, 1, dspVecCos64fKernel_s2a1, 2},
    {"cos_s3", dspVecCos64f_s3, 13, 1, dspVecCos64fKernel_s2a1, 3},
    {"cos_s4", dspVecCos64f_s4, 15, 1, dspVecCos64fKernel_s4a1, 4},
    {"cos_s5", dspVecCos64f_s5, 17, 1, dspVecCos64fKernel_s5a1, 5},
};

TEST(VecMathTable, EachStubReachesItsRowAndAccuracySlot) {
    // Arguments that tell the kernels of a row apart: large, tiny and in-range values.
    std::vector<double> src;
    for (int i = 0; i < 37; ++i)
        src.push_back(std::ldexp(1.0 + i / 37.0, (i * 29) % 90 - 40) * (i % 3 ? 1 : -1));
    for (const StubCase& c : kStubs) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dspVecMathTable[c.row].kernel[c.accuracy], c.kernel);
        if (!dspSlotSupported(c.cpuSlot)) continue;
        const int n = static_cast<int>(c.row < kDspVecMathSlots ? src.size() / 2 : src.size());
        std::vector<double> viaStub(n, -1.0), direct(n, -2.0);
        EXPECT_EQ(c.stub(src.data(), viaStub.data(), n), c.kernel(src.data(), direct.data(), n));
        for (int i = 0; i < n; ++i) ASSERT_EQ(bitsOf(viaStub[i]), bitsOf(direct[i])) << i;
    }
}

TEST(VecMathTable, EveryCellHoldsAKernelOfItsFunctionAndSlot) {
    // Row r < slots: magnitude of slot r; then sine and cosine of slot (r - slots) / 2 in turn.
    constexpr int slots = kDspVecMathSlots;
    for (int row = 0; row < kDspVecMathRows; ++row) {
        const Fn f = row < slots ? Fn::Magnitude : ((row - slots) % 2 == 0 ? Fn::Sine : Fn::Cosine);
        const int slot = row < slots ? row : (row - slots) / 2;
        for (int a = 0; a < 3; ++a) {
            bool found = false;
            for (const KernelInfo& k : allKernels()) {
                if (k.fn != dspVecMathTable[row].kernel[a]) continue;
                found = true;
                EXPECT_EQ(k.function, f) << "row " << row;
                // Slots 2 and 3 share kernels; every other kernel belongs to its own slot.
                EXPECT_TRUE(k.cpuSlot == slot || (slot == 3 && k.cpuSlot == 2)) << "row " << row;
            }
            EXPECT_TRUE(found) << "row " << row << " accuracy " << a;
        }
        // Where a row has three kernels, accuracy slot 1 is dearest and slot 2 cheapest.
        const DspVecMathEntry& e = dspVecMathTable[row];
        if (e.kernel[0] != e.kernel[1] && e.kernel[1] != e.kernel[2]) {
            EXPECT_GT(e.cost[1], e.cost[0]) << row;
            EXPECT_GT(e.cost[0], e.cost[2]) << row;
        }
    }
    EXPECT_EQ(dspVecMathTable[13].cost[1], 23.07f);
    EXPECT_EQ(dspVecMathTable[0].cost[2], 156.3f);
}

// ---------------------------------------------------------------------------------------------
// Argument checks: -6 before -8, nothing written, control state untouched.

TEST(VecMathContract, SizeIsTestedBeforePointersAndNothingIsTouched) {
    FpStateGuard guard;
    const uint32_t mxcsr = (kAllMasks & ~kMaskInvalid) | kFlagOverflow | kFlagPrecision;
    const uint16_t cw = 0x027F;
    double src[2] = {1.0, 2.0};
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        double dst[2] = {-7.0, -7.0};
        fpLoadMxcsr(mxcsr);
        fpX87LoadControlWord(cw);
        const DspStatus s1 = k.fn(nullptr, nullptr, 0);
        const DspStatus s2 = k.fn(nullptr, nullptr, -5);
        const DspStatus s3 = k.fn(src, dst, 0);
        const DspStatus s4 = k.fn(src, nullptr, 1);
        const DspStatus s5 = k.fn(nullptr, dst, 1);
        const uint32_t mxcsrAfter = fpMxcsr();
        const uint16_t cwAfter = fpX87ControlWord();
        EXPECT_EQ(s1, dspErrSize);
        EXPECT_EQ(s2, dspErrSize);
        EXPECT_EQ(s3, dspErrSize);
        EXPECT_EQ(s4, dspErrNullPtr);
        EXPECT_EQ(s5, dspErrNullPtr);
        EXPECT_EQ(mxcsrAfter, mxcsr);
        EXPECT_EQ(cwAfter, cw);
        EXPECT_EQ(dst[0], -7.0);
        EXPECT_EQ(dst[1], -7.0);
    }
}

// ---------------------------------------------------------------------------------------------
// The floating-point control protocol.

// All masks set with the overflow and precision flags raised: SSE kernels clear the five
// exception flags and keep precision; the x87-only kernels leave MXCSR alone.
TEST(VecMathContract, MaskedCallerGetsExceptionFlagsClearedPrecisionKept) {
    FpStateGuard guard;
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        const std::vector<double> src = ordinaryInputs(k.function, 21);
        std::vector<double> dst(21);
        const uint32_t before = kAllMasks | kFlagOverflow | kFlagPrecision;
        fpLoadMxcsr(before);
        ASSERT_EQ(k.fn(src.data(), dst.data(), 21), dspOk);
        const uint32_t after = fpMxcsr();
        if (k.sse) {
            EXPECT_EQ(after, kAllMasks | kFlagPrecision);
        } else {
            EXPECT_EQ(after, before);
        }
        EXPECT_EQ(readX87Sw() & 0x3F, 0) << "x87 exception flags left set";
    }
}

// A caller with the invalid exception unmasked: Inf and NaN inputs neither trap nor change
// MXCSR, flags included; also with a rounding mode and flush-to-zero of its own.
TEST(VecMathContract, UnmaskedCallerGetsItsExactMxcsrBack) {
    FpStateGuard guard;
    const uint32_t states[] = {
        (kAllMasks & ~kMaskInvalid) | kFlagOverflow,
        (kAllMasks & ~(kMaskInvalid | 0x200 | 0x1000)) | 0x6000 |
            kFlagInvalid,  // ZE, PE unmasked, toward zero
    };
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        std::vector<double> src = ordinaryInputs(k.function, 13);
        src[1] = INFINITY;
        src[4] = NAN;
        src[7] = -INFINITY;
        src[9] = 0x1p300;  // a large argument (the slot-0 kernels' SSE2 reduction)
        src[10] = 4.9e-324;
        std::vector<double> dst(13);
        for (uint32_t state : states) {
            fpLoadMxcsr(state);
            k.fn(src.data(), dst.data(), 13);
            const uint32_t after = fpMxcsr();
            fpLoadMxcsr(kAllMasks);  // the test's own arithmetic must not trap
            EXPECT_EQ(after, state);
        }
    }
}

TEST(VecMathContract, X87ControlWordOfTheCallerIsRestored) {
    FpStateGuard guard;
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot) || !k.x87) continue;
        SCOPED_TRACE(k.label);
        std::vector<double> src = ordinaryInputs(k.function, 9);
        src[3] = 0x1p200;
        std::vector<double> dst(9);
        for (uint16_t cw :
             {uint16_t(0x027F), uint16_t(0x037F), uint16_t(0x0E72), uint16_t(0x1A7F)}) {
            fpX87LoadControlWord(cw);
            k.fn(src.data(), dst.data(), 9);
            EXPECT_EQ(fpX87ControlWord(), cw);
            EXPECT_EQ(readX87Sw() & 0x3F, 0);
        }
    }
}

// The x87 kernels compute at the precision they set, whatever the caller's: a caller at 24-bit
// precision gets the same bits as one at 64-bit precision.
TEST(VecMathContract, X87KernelsIgnoreTheCallersPrecision) {
    FpStateGuard guard;
    const std::vector<double> src = argumentsOverBinades(-30, 30, 3, 5);
    for (const KernelInfo& k : allKernels()) {
        if (k.cpuSlot != 0) continue;
        SCOPED_TRACE(k.label);
        const int n = outCount(k.function, src.size());
        std::vector<double> a(n), b(n);
        fpX87LoadControlWord(0x037F);
        k.fn(src.data(), a.data(), n);
        fpX87LoadControlWord(0x007F);
        k.fn(src.data(), b.data(), n);
        fpX87LoadControlWord(0x037F);
        for (int i = 0; i < n; ++i) ASSERT_EQ(bitsOf(a[i]), bitsOf(b[i])) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// Status, hook and special elements.

TEST(VecMathContract, ValidCallsReturnZeroAndNeverCallTheHook) {
    HookRecorder rec;
    std::vector<double> src = argumentsOverBinades(-1022, 1023, 1, 8);
    src.push_back(0.0);
    src.push_back(-0.0);
    src.push_back(NAN);
    src.push_back(4.9e-324);
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        const int n = outCount(k.function, src.size());
        std::vector<double> dst(n);
        EXPECT_EQ(k.fn(src.data(), dst.data(), n), dspOk);
        EXPECT_TRUE(rec.calls().empty());
    }
}

// Infinities in a group, a pass remainder and alone: each one a NaN and one hook call (status
// 19, its index, the arrays twice, the kernel's name) in index order; NaN inputs stay quiet and
// unreported; every other element is still computed.
TEST(VecMathContract, InfiniteElementsAreReportedOneByOne) {
    const int n = 23;
    std::vector<double> src(n);
    for (int i = 0; i < n; ++i) src[i] = 0.25 + 0.5 * i;
    const int infAt[] = {1, 10, 22};
    src[1] = INFINITY;
    src[10] = -INFINITY;
    src[22] = INFINITY;
    src[5] = NAN;
    for (Fn f : {Fn::Sine, Fn::Cosine}) {
        for (const KernelInfo& k : kernelsOf(f)) {
            SCOPED_TRACE(k.label);
            HookRecorder rec;
            std::vector<double> dst(n, 123.0);
            EXPECT_EQ(k.fn(src.data(), dst.data(), n), dspWarnDomain);
            ASSERT_EQ(rec.calls().size(), 3u);
            for (int c = 0; c < 3; ++c) {
                const HookCall& h = rec.calls()[c];
                EXPECT_EQ(h.status, dspWarnDomain);
                EXPECT_EQ(h.index, infAt[c]);
                EXPECT_EQ(h.src, src.data());
                EXPECT_EQ(h.src2, src.data());
                EXPECT_EQ(h.dst, dst.data());
                EXPECT_EQ(h.dst2, dst.data());
                EXPECT_EQ(h.name, k.hookName);
                EXPECT_TRUE(std::isnan(h.seen)) << "NaN stored before the hook ran";
                EXPECT_TRUE(std::isnan(dst[infAt[c]]));
            }
            EXPECT_TRUE(std::isnan(dst[5]));
            for (int i = 0; i < n; ++i) {
                if (i == 1 || i == 10 || i == 22 || i == 5) continue;
                const __float128 e = exactOf(f, src[i]);
                EXPECT_LE(ulpError(dst[i], e), k.bound == Bound::Abs1e8 ? 1e8 : 4.0) << i;
            }
        }
    }
}

// The AVX slots' sine and cosine decide per lane: one element near or beyond a fast range,
// infinite or NaN, placed at every position of every call length from 1 to 40 (every tail length of
// a 16-element group, twice) among ordinary ones, gets the result it gets alone (a finite one
// within the kernel's bound against quad precision); an infinity is reported once, with its
// index and status 19; the ordinary elements keep the results they get alone, to the bit.
TEST(VecMathContract, OneSlowElementAmongOrdinaryOnesInEveryPositionAndLength) {
    std::vector<double> slow = {0x1p22 - 0x1p-30, 0x1p22, 0x1p22 + 0x1p-30, 90112.0,   1e6,
                                0x1p24 + 2.0,     1e300,  INFINITY,         -INFINITY, NAN};
    // The doubles nearest the multiples of pi/2 on both sides of 2^22.
    const __float128 halfPi = acosq(static_cast<__float128>(0));
    for (int m = 2670173; m <= 2670180; ++m) slow.push_back(static_cast<double>(m * halfPi));
    const int kMaxN = 40;
    std::mt19937_64 rng(25);
    std::uniform_real_distribution<double> turns(-20.0, 20.0);
    std::vector<double> ordinary(kMaxN);
    for (double& v : ordinary) v = turns(rng);
    for (Fn f : {Fn::Sine, Fn::Cosine}) {
        for (const KernelInfo& k : kernelsOf(f)) {
            if (k.cpuSlot < 4) continue;
            SCOPED_TRACE(k.label);
            HookRecorder rec;
            const auto alone = [&](double x) {
                double y;
                k.fn(&x, &y, 1);
                return y;
            };
            std::vector<double> ordinaryAlone(kMaxN);
            for (int i = 0; i < kMaxN; ++i) ordinaryAlone[i] = alone(ordinary[i]);
            for (double x : slow) {
                const double want = alone(x);
                if (std::isfinite(x)) expectWithinBound(k, want, x);
                const bool infinite = std::isinf(x);
                int wrong = 0;
                for (int n = 1; n <= kMaxN; ++n) {
                    for (int p = 0; p < n; ++p) {
                        std::vector<double> src(ordinary.begin(), ordinary.begin() + n), dst(n);
                        src[p] = x;
                        rec.calls().clear();
                        const DspStatus st = k.fn(src.data(), dst.data(), n);
                        bool ok = st == (infinite ? dspWarnDomain : dspOk) &&
                                  rec.calls().size() == (infinite ? 1u : 0u) &&
                                  (!infinite || rec.calls()[0].index == p) &&
                                  (std::isnan(want) ? std::isnan(dst[p])
                                                    : bitsOf(dst[p]) == bitsOf(want));
                        for (int i = 0; i < n; ++i)
                            ok = ok && (i == p || bitsOf(dst[i]) == bitsOf(ordinaryAlone[i]));
                        if (!ok && wrong++ == 0)
                            ADD_FAILURE() << "x = " << x << ", n = " << n << ", position " << p;
                    }
                }
                EXPECT_EQ(wrong, 0) << "x = " << x;
            }
        }
    }
}

// A value the hook writes into dst[index] becomes that element's result.
TEST(VecMathContract, ValueWrittenByTheHookIsKept) {
    const int n = 11;
    std::vector<double> src(n, 0.75);
    src[2] = INFINITY;
    src[9] = -INFINITY;
    for (Fn f : {Fn::Sine, Fn::Cosine}) {
        for (const KernelInfo& k : kernelsOf(f)) {
            SCOPED_TRACE(k.label);
            HookRecorder rec;
            HookRecorder::overwrite() = true;
            HookRecorder::value() = 42.5;
            std::vector<double> dst(n);
            EXPECT_EQ(k.fn(src.data(), dst.data(), n), dspWarnDomain);
            EXPECT_EQ(dst[2], 42.5);
            EXPECT_EQ(dst[9], 42.5);
            EXPECT_EQ(rec.calls().size(), 2u);
        }
    }
}

// The magnitude never reports: infinities and NaNs are results.
TEST(VecMathContract, MagnitudeNeverReports) {
    HookRecorder rec;
    const double src[] = {INFINITY, NAN, NAN, 1.0, -INFINITY, -INFINITY, 0.0, -0.0, 1e308,
                          1e308,    NAN, NAN, 3.0, 4.0,       5e-324,    0.0, 1.0,  INFINITY};
    const int n = 9;
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        SCOPED_TRACE(k.label);
        double dst[n];
        EXPECT_EQ(k.fn(src, dst, n), dspOk);
        EXPECT_TRUE(rec.calls().empty());
    }
}

// src == dst gives the results of separate arrays, slow paths included.
TEST(VecMathContract, InPlaceEqualsSeparateArrays) {
    std::vector<double> src = argumentsOverBinades(-40, 1023, 1, 77);
    src[3] = INFINITY;
    src[17] = NAN;
    src.push_back(0x1p17);
    src.push_back(90112.0);
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        const int n = outCount(k.function, src.size());
        std::vector<double> separate(n), inPlace = src;
        const DspStatus a = k.fn(src.data(), separate.data(), n);
        const DspStatus b = k.fn(inPlace.data(), inPlace.data(), n);
        EXPECT_EQ(a, b);
        for (int i = 0; i < n; ++i) ASSERT_EQ(bitsOf(separate[i]), bitsOf(inPlace[i])) << i;
    }
}

// Arrays need no alignment: at byte offsets 1, 4 and 7 every kernel gives the bits it gives on
// aligned arrays, slow paths and reported elements included (the sanitizer build checks that
// no access assumes alignment on the way).
TEST(VecMathContract, MisalignedArraysGiveTheAlignedResults) {
    std::vector<double> src = argumentsOverBinades(-1074, 1023, 1, 91);
    src[5] = -INFINITY;
    src[40] = NAN;
    src.push_back(0x1p17);
    src.push_back(90112.0);
    const size_t bytes = src.size() * sizeof(double);
    for (const KernelInfo& k : allKernels()) {
        if (!dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        const int n = outCount(k.function, src.size());
        std::vector<double> want(n);
        const DspStatus status = k.fn(src.data(), want.data(), n);
        for (size_t offset : {1, 4, 7}) {
            DspGuardedBuffer in(bytes, offset, 0x5A), out(bytes, offset, 0x5A);
            std::memcpy(in.at(), src.data(), bytes);
            ASSERT_EQ(k.fn(reinterpret_cast<const double*>(in.at()),
                           reinterpret_cast<double*>(out.at()), n),
                      status);
            for (int i = 0; i < n; ++i) {
                double got;
                std::memcpy(&got, out.at(i * sizeof(double)), sizeof got);
                ASSERT_EQ(bitsOf(got), bitsOf(want[i])) << "offset " << offset << ", element " << i;
            }
            EXPECT_EQ(out.changedOutside(0, n * sizeof(double)), -1) << "offset " << offset;
        }
    }
}

}  // namespace
