// Shared by the real-FFT set-up tests: the bodies by slot, the layout every slot must produce
// (written here from the documented formats, independently of the library's own tables), and a
// checker that walks a built spec table by table.
#pragma once

#include "dsp/fft/builders.h"
#include "dsp/testing.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/slots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ffttest {

// The bodies by slot (0..5, kDspSlot2n = 6).
inline const auto& kSize = dspslots::dspFftGetSizeReal64f;
inline const auto& kInit = dspslots::dspFftInitReal64f;

// The slot-2 bodies run their own code only where MOVBE is enabled; the tests enable every
// feature so that each body is the one named (2n is called by its own name).
inline void enableEveryFeature() {
    dspTestForceCpu(dspSlotSsse3, dspFeatAll);
}

// The last order of the default run (the sanitizer build's stops earlier); the `large` label
// runs the orders above.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kLastDefaultOrder = 18;
#else
inline constexpr int kLastDefaultOrder = 22;
#endif

// The transform bodies' tests: every feature enabled, reset afterwards.
class FftBodyTest : public DspSlotTest {
protected:
    void SetUp() override {
        DspSlotTest::SetUp();
        enableEveryFeature();
    }
    void TearDown() override { dspTestResetCpu(); }
};
class FftEveryFeature : public ::testing::Test {
protected:
    void SetUp() override { enableEveryFeature(); }
    void TearDown() override { dspTestResetCpu(); }
};

// Worst relative RMS error over its bound, by order band (0-5, 6, 7-11, 12-18), to print.
struct WorstRatio {
    double ratio[4] = {0, 0, 0, 0};
    void add(int order, double rms, double bound) {
        const int band = order <= 5 ? 0 : order == 6 ? 1 : order <= 11 ? 2 : 3;
        ratio[band] = std::max(ratio[band], rms / bound);
    }
    void print(const char* what) const {
        std::printf(
            "[ worst    ] %s: relative RMS / bound: orders 0-5 %.3f, 6 %.3f, 7-11 %.3f, "
            "12-18 %.3f\n",
            what, ratio[0], ratio[1], ratio[2], ratio[3]);
    }
};

// Copies of v times s.
inline std::vector<double> times(std::vector<double> v, double s) {
    for (double& x : v) x *= s;
    return v;
}

// Eight threads, each with its own output and work buffer, call `call(out, work)` four times:
// every call succeeds and every output has the bits `want` of a lone call. The sanitizer build
// runs two threads twice: it looks for memory errors, which one call path has or has not, and
// the default build runs the contention.
template <class Call>
void expectThreadsAgree(const std::vector<double>& want, int workBytes, Call call) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr int kThreads = 2, kReps = 2;
#else
    constexpr int kThreads = 8, kReps = 4;
#endif
    std::vector<std::vector<double>> out(kThreads, std::vector<double>(want.size()));
    std::vector<std::vector<BYTE>> work(kThreads, std::vector<BYTE>(workBytes + 1));
    std::vector<DspStatus> status(kThreads, dspOk);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int rep = 0; rep < kReps; ++rep) status[t] |= call(out[t].data(), work[t].data());
        });
    }
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(status[t], dspOk) << "thread " << t;
        EXPECT_EQ(std::memcmp(out[t].data(), want.data(), want.size() * sizeof(double)), 0)
            << "thread " << t;
    }
}

// What the documentation fixes per slot.
struct Layout {
    int maxOrder, lastKernelOrder, lastRecombOrder, iterativeLimit;
    bool pairBitReverse;  // else index format
    int twiddleGroup;     // 0: triples, else staged in groups of 2 or 4
    bool groupedRecomb;
    int twoLevelOrder;
    int blockTableFrom;  // 0: never
};
inline const Layout kLayout[] = {
    {27, 5, 6, 10, true, 0, false, 18, 0},  {28, 5, 6, 13, false, 2, true, 18, 16},
    {27, 5, 6, 12, true, 0, false, 18, 14}, {28, 5, 6, 16, false, 2, true, 19, 18},
    {28, 4, 7, 17, false, 4, true, 18, 18}, {28, 4, 7, 17, false, 4, true, 18, 18},
    {28, 5, 6, 16, false, 2, true, 18, 18},
};

// Block order B of a recursive level of complex order m (slots 1 to 5).
inline int blockOrder(int slot, int m) {
    switch (slot) {
        case 1:
            return m <= 15 ? 8 : m <= 17 ? 10 : m == 18 ? 12 : 13;
        case 2:
            return m <= 21 ? 10 : 12;
        case 3:
            return m <= 19 ? 10 : m == 20 ? 12 : 13;
        case 4:
        case 5:
            return m <= 21 ? 9 : 13;
        default:  // 2n
            return m <= 20 ? 10 : 13;
    }
}

// The plan of a large complex order: factor orders from the top, the order of the bottom
// twiddle table (plain plans: of the slot's block), whether slot 0's bottom is plain, word 7.
struct Plan {
    bool plain = false;
    std::vector<int> factors;
    int bottomOrder = 0;
    bool plainBottom = false;
    int workBytes = 0;
};

// The published plan table, in its own notation, for m = 11..27; "" where the slot's set-up
// builds ordinary tables and "-" where it never comes.
inline Plan planFor(int slot, int m) {
    static const char* const kTable[17][6] = {
        // slot 0, 1, 2, 2n, 3, 4 and 5
        {"plain; 0", "", "", "", "", ""},
        {"4; tw 8; 1 KB", "", "", "", "", ""},
        {"5; tw 8; 2 KB", "", "plain; 0", "", "", ""},
        {"6; tw 8; 4 KB", "4; tw 10; 16 KB", "4; tw 10; 32 KB", "", "", ""},
        {"7; tw 8; 8 KB", "4; tw 11; 32 KB", "6; tw 9; 32 KB", "", "", ""},
        {"7; tw 9; 8 KB", "4; tw 12; 64 KB", "6; tw 10; 32 KB", "", "", ""},
        {"8; tw 9; 16 KB", "4; tw 13; 128 KB", "6; tw 11; 32 KB", "6; tw 11; 32 KB",
         "4; tw 13; 128 KB", ""},
        {"9; tw 9; 32 KB", "6; tw 12; 64 KB", "6; tw 12; 32 KB", "6; tw 12; 64 KB",
         "4; tw 14; 256 KB", "4; tw 14; 256 KB"},
        {"9; tw 10; 32 KB", "6; tw 13; 128 KB", "4+6; tw 9; 32 KB", "6; tw 13; 128 KB",
         "4; tw 15; 512 KB", "4; tw 15; 512 KB"},
        {"9; tw 10 + comb 11; 32 KB", "8; tw 12; 128 KB", "6+4; tw 10; 32 KB", "6; tw 14; 256 KB",
         "6; tw 14; 256 KB", "4; tw 16; 1024 KB"},
        {"8+5; tw 8; 16 KB", "8; tw 13; 128 KB", "6+6; tw 9; 32 KB", "8; tw 13; 128 KB",
         "8; tw 13; 128 KB", "4; tw 17; 2048 KB"},
        {"8+6; tw 8; 16 KB", "8+4; tw 10; 128 KB", "6+6; tw 10; 64 KB", "8; tw 14; 256 KB",
         "8; tw 14; 256 KB", "8; tw 14; 256 KB"},
        {"9+6; tw 8; 32 KB", "8+4; tw 11; 128 KB", "6+6; tw 11; 64 KB", "8; tw 15; 512 KB",
         "8; tw 15; 512 KB", "8; tw 15; 512 KB"},
        {"9+7; tw 8; 32 KB", "8+4; tw 12; 128 KB", "6+6; tw 12; 64 KB", "8; tw 16; 1024 KB",
         "8; tw 16; 1024 KB", "8; tw 16; 1024 KB"},
        {"9+7; tw 9; 32 KB", "8+4; tw 13; 128 KB", "6+4+6; tw 9; 64 KB", "8+6; tw 11; 128 KB",
         "8+4; tw 13; 128 KB", "8; tw 17; 2048 KB"},
        {"9+8; tw 9; 32 KB", "8+6; tw 12; 128 KB", "6+6+4; tw 10; 64 KB", "8+6; tw 12; 128 KB",
         "8+4; tw 14; 256 KB", "8+4; tw 14; 256 KB"},
        {"-", "8+6; tw 13; 128 KB", "-", "8+6; tw 13; 128 KB", "8+4; tw 15; 512 KB",
         "8+4; tw 15; 512 KB"},
    };
    const int column = slot == kDspSlot2n ? 3 : slot == 3 ? 4 : slot >= 4 ? 5 : slot;
    const std::string text = kTable[m - 11][column];
    Plan p;
    if (text.rfind("plain", 0) == 0) {
        p.plain = true;
        p.bottomOrder = kLayout[slot].iterativeLimit;
        return p;
    }
    std::istringstream in(text);
    int k;
    char c;
    while (in >> k) {
        p.factors.push_back(k);
        if (!(in >> c) || c != '+') break;
    }
    std::string word;
    in >> word >> p.bottomOrder;  // "tw", r
    in >> word;
    if (word == "+") {
        p.plainBottom = true;
        in >> word >> word >> word;  // "comb", "11;", work
        p.workBytes = std::stoi(word) * 1024;
    } else {
        int kb = 0;
        in >> kb;  // after the ";" that ended the bottom order
        p.workBytes = kb * 1024;
    }
    return p;
}

// ---------------------------------------------------------------------------------------------
// Raw view of a built record.

inline int32_t word(const void* spec, int i) {
    int32_t w;
    std::memcpy(&w, static_cast<const BYTE*>(spec) + 4 * i, sizeof w);
    return w;
}
inline double scaleOf(const void* spec) {
    double d;
    std::memcpy(&d, static_cast<const BYTE*>(spec) + 16, sizeof d);
    return d;
}
template <typename T>
const T* tableAt(const void* spec, int w) {
    return reinterpret_cast<const T*>(static_cast<const BYTE*>(spec) + word(spec, w));
}

inline int64_t reverseBits(int64_t x, int bits) {
    int64_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((x >> i) & 1) << (bits - 1 - i);
    return r;
}

// A set-up into buffers of exactly the reported sizes, `misalign` bytes past 64, with guards.
struct BuiltSpec {
    int slot, order;
    int S = 0, B = 0, W = 0;
    std::unique_ptr<DspGuardedBuffer> mem, buf;
    DspFftSpecReal64f* spec = nullptr;
    DspStatus status = 0;
    static constexpr uint8_t kSentinel = 0xA5;

    BuiltSpec(int slot_, int order_, size_t misalign = 0, int flag = dspFftScaleNone, int hint = 0)
        : slot(slot_), order(order_) {
        status = kSize[slot](order, flag, hint, &S, &B, &W);
        if (status != dspOk) return;
        mem = std::make_unique<DspGuardedBuffer>(S, misalign, kSentinel);
        buf = std::make_unique<DspGuardedBuffer>(B, misalign, kSentinel);
        status = kInit[slot](&spec, order, flag, hint, mem->at(), B ? buf->at() : nullptr);
    }
    // The base table the set-up read: static up to order 10, else in the set-up buffer.
    const double* base() const {
        if (order <= 10) return dspFftSineTable1024;
        const uintptr_t a = reinterpret_cast<uintptr_t>(buf->at());
        return reinterpret_cast<const double*>((a + 63) & ~uintptr_t(63));
    }
    int baseOrder() const { return order <= 10 ? 10 : order; }
};

// What /proc/meminfo calls MemAvailable, in bytes (0 where it cannot be read). Tests of
// gigabyte arrays read it before they allocate: Linux overcommits, and an allocation that
// succeeds can still end in the out-of-memory killer.
inline long memAvailableBytes() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long kb = 0;
    while (in >> key >> kb) {
        if (key == "MemAvailable:") return kb * 1024;
        in.ignore(1 << 10, '\n');
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Forward transforms into guarded buffers.

inline const auto& kForward = dspslots::dspFftFwdRealToCcs64f;

inline constexpr uint8_t kDstSentinel = 0x5A, kWorkSentinel = 0xC3, kSrcSentinel = 0x3C;

struct Run {
    bool inPlace = false;
    size_t srcOff = 0, dstOff = 0, workOff = 0;
};

// One forward call of body `slot` on spec b; checks that it succeeds, leaves src alone and writes
// nothing outside dst[0 .. N+1] and the reported work; returns the N + 2 doubles.
inline std::vector<double> forward(int slot, const BuiltSpec& b, const std::vector<double>& x,
                                   const Run& r = {}) {
    const size_t n = x.size(), out = (n == 1 ? 2 : n + 2) * sizeof(double);
    DspGuardedBuffer src(n * sizeof(double), r.srcOff, kSrcSentinel);
    DspGuardedBuffer dst(out, r.dstOff, kDstSentinel), work(b.W, r.workOff, kWorkSentinel);
    double* const d = reinterpret_cast<double*>(dst.at());
    double* const s = r.inPlace ? d : reinterpret_cast<double*>(src.at());
    std::memcpy(s, x.data(), n * sizeof(double));
    EXPECT_EQ(kForward[slot](s, d, b.spec, work.at()), dspOk);
    EXPECT_EQ(dst.changedOutside(0, out), -1) << "written outside dst";
    EXPECT_EQ(work.changedOutside(0, b.W), -1) << "written outside the work buffer";
    if (!r.inPlace) {
        EXPECT_TRUE(sameBits(s, x.data(), n)) << "src changed";
    }
    return std::vector<double>(d, d + out / sizeof(double));
}

// ---------------------------------------------------------------------------------------------
// Inverse transforms into guarded buffers.

inline const auto& kInverse = dspslots::dspFftInvCcsToReal64f;

// The scale the flag gives an order's inverse transform (the forward-only flag leaves it 1).
inline long double inverseScale(int flag, int order) {
    const long double n = std::ldexp(1.0L, order);
    return flag == dspFftScaleInv ? 1 / n : flag == dspFftScaleSqrt ? 1 / sqrtl(n) : 1;
}

// The reference samples of the N + 2 doubles of a CCS spectrum.
inline std::vector<long double> inverseReference(const std::vector<double>& ccs, int order) {
    const int64_t n = int64_t(1) << order;
    std::vector<Cl> X(static_cast<size_t>(n / 2 + 1));
    for (int64_t k = 0; k <= n / 2; ++k) X[k] = {ccs[2 * k], ccs[2 * k + 1]};
    return realInverseDft(X, n);
}

// A sample sums N bin terms through log2 N rounded stages, each adding at most about one unit
// of rounding relative to the terms it combines: so its error stays within that many units of
// the sum of the magnitudes of all N terms.
inline double perSampleBound(const std::vector<double>& ccs, int order) {
    const int64_t n = int64_t(1) << order;
    long double l1 = std::fabs(ccs[0]) + (n > 1 ? std::fabs(ccs[n]) : 0);
    for (int64_t k = 1; k < n / 2; ++k) l1 += 2 * std::hypot(ccs[2 * k], ccs[2 * k + 1]);
    return static_cast<double>(2.3e-16L * std::max(1, order) * l1);
}

// Uniform values in [-1, 1) in every double of the spectrum, the ignored imaginary parts of the
// first and last bins included.
inline std::vector<double> randomSpectrum(int order, uint32_t seed) {
    const size_t n = size_t(1) << order;
    return randomSignal(n == 1 ? 2 : n + 2, seed);
}

// One inverse call of body `slot` on spec b; checks that it succeeds, leaves src and the spec
// alone and writes nothing outside dst[0 .. N-1] and the reported work; returns the N samples.
inline std::vector<double> inverse(int slot, const BuiltSpec& b,
                                   const std::vector<double>& spectrum, const Run& r = {}) {
    const size_t n = size_t(1) << b.order, in = spectrum.size() * sizeof(double);
    DspGuardedBuffer src(in, r.srcOff, kSrcSentinel),
        dst(r.inPlace ? in : n * sizeof(double), r.dstOff, kDstSentinel);
    DspGuardedBuffer work(b.W, r.workOff, kWorkSentinel);
    double* const d = reinterpret_cast<double*>(dst.at());
    double* const s = r.inPlace ? d : reinterpret_cast<double*>(src.at());
    std::memcpy(s, spectrum.data(), in);
    const std::vector<BYTE> specBefore(b.mem->at(), b.mem->at() + b.S);
    EXPECT_EQ(kInverse[slot](s, d, b.spec, work.at()), dspOk);
    EXPECT_EQ(dst.changedOutside(0, r.inPlace ? in : n * sizeof(double)), -1)
        << "written outside dst";
    EXPECT_EQ(work.changedOutside(0, b.W), -1) << "written outside the work buffer";
    EXPECT_TRUE(std::equal(specBefore.begin(), specBefore.end(), b.mem->at())) << "spec changed";
    if (r.inPlace) {
        EXPECT_TRUE(sameBits(d + n, spectrum.data() + n, spectrum.size() - n))
            << "src beyond N changed";
    } else {
        EXPECT_TRUE(sameBits(s, spectrum.data(), spectrum.size())) << "src changed";
    }
    return std::vector<double>(d, d + n);
}

// Slot 2n's bits equal slot 3's on their own specs (where their plans and tables coincide), in
// both directions.
inline ::testing::AssertionResult slotTwoNIsSlotThree(int order) {
    const std::vector<double> x = randomSignal(size_t(1) << order, 2400 + order);
    const BuiltSpec a(3, order, 0, dspFftScaleInv), b(kDspSlot2n, order, 0, dspFftScaleInv);
    const std::vector<double> want = forward(3, a, x);
    ::testing::AssertionResult fwd =
        sameBits(forward(kDspSlot2n, b, x).data(), want.data(), want.size());
    if (!fwd) return fwd << " (forward)";
    const std::vector<double> back = inverse(3, a, want);
    return sameBits(inverse(kDspSlot2n, b, want).data(), back.data(), back.size()) << " (inverse)";
}

// ---------------------------------------------------------------------------------------------
// Either direction, for the checks that hold alike in both.

enum class Way { Fwd, Inv };

inline DspStatus callBody(Way w, int slot, const double* src, double* dst,
                          const DspFftSpecReal64f* spec, BYTE* work) {
    return w == Way::Fwd ? kForward[slot](src, dst, spec, work)
                         : kInverse[slot](src, dst, spec, work);
}
// The public entry of the direction (the dispatch).
inline DspStatus callPublic(Way w, const double* src, double* dst, const DspFftSpecReal64f* spec,
                            BYTE* work) {
    return w == Way::Fwd ? dspFftFwdRealToCcs64f(src, dst, spec, work)
                         : dspFftInvCcsToReal64f(src, dst, spec, work);
}
// A random input of the order: N samples, or the N + 2 doubles of a spectrum.
inline std::vector<double> randomInput(Way w, int order, uint32_t seed) {
    return w == Way::Fwd ? randomSignal(size_t(1) << order, seed) : randomSpectrum(order, seed);
}
// The doubles a call writes: N + 2 (2 at order 0) forward, N inverse.
inline size_t outputDoubles(Way w, int order) {
    const size_t n = size_t(1) << order;
    return w == Way::Fwd ? (n == 1 ? 2 : n + 2) : n;
}
// The flag that scales the direction by 1/N.
inline int scaledFlag(Way w) {
    return w == Way::Fwd ? dspFftScaleFwd : dspFftScaleInv;
}
inline std::vector<double> transform(Way w, int slot, const BuiltSpec& b,
                                     const std::vector<double>& in, const Run& r = {}) {
    return w == Way::Fwd ? forward(slot, b, in, r) : inverse(slot, b, in, r);
}

// The bits of body `slot` on specs built by `builder`, flag 8 then the direction's scale, one
// random input (seed) for both.
inline std::vector<double> flagBits(Way w, int slot, int builder, int order, uint32_t seed) {
    std::vector<double> all;
    const std::vector<double> in = randomInput(w, order, seed);
    for (int flag : {int(dspFftScaleNone), scaledFlag(w)}) {
        const BuiltSpec b(builder, order, 0, flag);
        const std::vector<double> got = transform(w, slot, b, in);
        all.insert(all.end(), got.begin(), got.end());
    }
    return all;
}

// Slot 5 fuses what slot 4 rounds twice: the same bits up to order 3, within twice the bound
// from 4 to `last`. The public entry gives the bits of the body of the slot this machine
// dispatches to at the orders `dispatched` (scaled, inputs from seed + order).
inline void expectSlotsFourAndFive(Way w, int last, const std::vector<int>& dispatched,
                                   uint32_t bitsSeed, uint32_t seed) {
    if (!dspSlotSupported(5)) GTEST_SKIP() << "no slot 5";
    for (int order = 0; order <= last; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const std::vector<double> four = flagBits(w, 4, 4, order, bitsSeed),
                                  five = flagBits(w, 5, 5, order, bitsSeed);
        if (order <= 3) {
            EXPECT_TRUE(sameBits(four.data(), five.data(), four.size()));
        } else {
            std::vector<long double> wide(four.begin(), four.end());
            EXPECT_LE(relativeRms(five.data(), wide, five.size()), 2 * rmsBound(order));
        }
    }
    dspTestResetCpu();
    dspInitCpu();
    const int current = dspGetCpuSlot();
    ASSERT_GE(current, 0);
    for (int order : dispatched) {
        const BuiltSpec b(current, order, 0, scaledFlag(w));
        const std::vector<double> in = randomInput(w, order, seed + order);
        std::vector<double> got(outputDoubles(w, order));
        std::vector<BYTE> work(b.W + 1);
        ASSERT_EQ(callPublic(w, in.data(), got.data(), b.spec, work.data()), dspOk);
        const std::vector<double> want = transform(w, current, b, in);
        EXPECT_TRUE(sameBits(got.data(), want.data(), got.size()))
            << dspSlotName(current) << " order " << order;
    }
}

// Slot 0 at double precision gives slot 2's bits (its own specs up to order 10, slot 2's at 11),
// and leaves the control word as it found it.
inline void expectSlotZeroAtDoublePrecisionIsSlotTwo(Way w, uint32_t seed) {
    if (!dspSlotSupported(2)) GTEST_SKIP() << "no slot 2";
    const uint16_t before = x87ControlWord();
    for (int order = 0; order <= 11; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const std::vector<double> want = flagBits(w, 2, 2, order, seed);
        std::vector<double> got;
        {
            X87DoublePrecision precision;
            got = flagBits(w, 0, order <= 10 ? 0 : 2, order, seed);
        }
        EXPECT_TRUE(sameBits(got.data(), want.data(), want.size()));
    }
    EXPECT_EQ(x87ControlWord(), before);
}

// Slot 0 leaves the caller's control word (double and extended precision) as it found it.
inline void expectSlotZeroKeepsTheControlWord(Way w, uint32_t seed) {
    const uint16_t saved = x87ControlWord();
    for (uint16_t cw : {uint16_t(0x027F), uint16_t(0x037F)}) {
        for (int order : {4, 6, 11}) {
            const BuiltSpec b(0, order, 0, scaledFlag(w));
            const std::vector<double> in = randomInput(w, order, seed);
            std::vector<double> out(outputDoubles(w, order));
            setX87ControlWord(cw);
            const DspStatus st = callBody(w, 0, in.data(), out.data(), b.spec, nullptr);
            const uint16_t after = x87ControlWord();
            setX87ControlWord(saved);
            EXPECT_EQ(st, dspOk);
            EXPECT_EQ(after, cw) << "order " << order;
        }
    }
}

// Eight threads on one spec, each with its own dst and work, give the bits of a lone call.
inline void expectThreadsShareOneSpec(Way w, int slot, int order, int flag, uint32_t seed) {
    SCOPED_TRACE(std::string(dspSlotName(slot)) + " order " + std::to_string(order));
    const BuiltSpec b(slot, order, 0, flag);
    const std::vector<double> in = randomInput(w, order, seed);
    const std::vector<double> want = transform(w, slot, b, in);
    expectThreadsAgree(want, b.W, [&](double* out, BYTE* work) {
        return callBody(w, slot, in.data(), out, b.spec, work);
    });
}

// The checks of a body in their order, each leaving dst and work as they were; a null work buffer
// where the spec needs none, and a given one left alone. lastBuilt: the body's last order before
// its recursive driver; inputs from seed (seed + 100 + order for the orders without work).
inline void expectStatuses(Way w, int slot, int lastBuilt, uint32_t seed) {
    const int order = std::min(lastBuilt, 8);
    const BuiltSpec good(slot, order);
    // Memory whose set-up refused its flag: tag 0.
    std::vector<BYTE> refused(good.S);
    DspFftSpecReal64f* kept = nullptr;
    ASSERT_EQ(kInit[slot](&kept, order, 3, 0, refused.data(), nullptr), dspErrFftFlag);
    const auto* const unbuilt = reinterpret_cast<const DspFftSpecReal64f*>(
        (reinterpret_cast<uintptr_t>(refused.data()) + 63) & ~uintptr_t(63));
    // Memory whose set-up failed for want of a set-up buffer, where a spec stood before.
    const BuiltSpec stale(slot, 12);
    ASSERT_EQ(kInit[slot](&kept, 12, dspFftScaleNone, 0, stale.mem->at(), nullptr), dspErrNullPtr);
    const std::vector<double> in = randomInput(w, order, seed);
    DspGuardedBuffer dst(outputDoubles(w, order) * 8, 0, kDstSentinel);
    DspGuardedBuffer work(std::max(good.W, 64), 0, kWorkSentinel);
    double* const d = reinterpret_cast<double*>(dst.at());
    struct Case {
        const double* src;
        double* dst;
        const DspFftSpecReal64f* spec;
        BYTE* work;
        DspStatus want;
    };
    std::vector<Case> cases = {
        {in.data(), d, nullptr, work.at(), dspErrNullPtr},
        {in.data(), d, unbuilt, work.at(), dspErrSpecMismatch},
        {nullptr, d, unbuilt, work.at(), dspErrSpecMismatch},
        {in.data(), d, stale.spec, work.at(), dspErrSpecMismatch},
        {nullptr, d, stale.spec, work.at(), dspErrSpecMismatch},
        {nullptr, d, good.spec, work.at(), dspErrNullPtr},
        {in.data(), nullptr, good.spec, work.at(), dspErrNullPtr},
    };
    const BuiltSpec needsWork(slot, std::min(lastBuilt, 14));
    if (needsWork.W > 0) cases.push_back({in.data(), d, needsWork.spec, nullptr, dspErrNullPtr});
    for (const Case& c : cases) {
        EXPECT_EQ(callBody(w, slot, c.src, c.dst, c.spec, c.work), c.want);
        EXPECT_EQ(dst.changedOutside(0, 0), -1);
        EXPECT_EQ(work.changedOutside(0, 0), -1);
    }
    for (int o = 0; o <= lastBuilt; ++o) {
        const BuiltSpec b(slot, o);
        if (b.W > 0) continue;
        const std::vector<double> y = randomInput(w, o, seed + 100 + o);
        std::vector<double> out(outputDoubles(w, o));
        EXPECT_EQ(callBody(w, slot, y.data(), out.data(), b.spec, nullptr), dspOk) << o;
        EXPECT_TRUE(sameBits(out.data(), transform(w, slot, b, y).data(), out.size())) << o;
        DspGuardedBuffer untouched(64, 0, kWorkSentinel);
        EXPECT_EQ(callBody(w, slot, y.data(), out.data(), b.spec, untouched.at()), dspOk) << o;
        EXPECT_EQ(untouched.changedOutside(0, 0), -1) << o;
    }
}

// ---------------------------------------------------------------------------------------------
// Values: each must be bit-equal to plus or minus the base entry its angle folds onto, and within
// kTolerance of the long-double cosine or sine of the angle.

constexpr double kTolerance = 1e-15;

class ValueChecker {
public:
    // Every value is checked bit for bit (magnitude) and by sign; one value in `sampleStride`
    // is also compared with the long-double reference, which is what costs time.
    ValueChecker(const double* base, int T, int sampleStride = 1)
        : base_(base), T_(T), stride_(sampleStride) {}

    // v = cos(2 pi e / 2^L); v = -sin(2 pi e / 2^L) = cos(2 pi (e + 2^L/4) / 2^L); (re, im) =
    // w_L^e.
    void cosAt(double v, int64_t e, int L, const char* what) {
        const int64_t n = int64_t(1) << L, q = n / 4;
        const int64_t a = (e % n + n) % n;
        const double magnitude = std::fabs(v), want = entry((a << (T_ - L)) + (q << (T_ - L)));
        const int sign = a == q || a == 3 * q ? 0 : a < q || a > 3 * q ? 1 : -1;
        bool ok = std::memcmp(&magnitude, &want, sizeof want) == 0 &&
                  (sign == 0 || (sign > 0) == !std::signbit(v));
        long double reference = sign * want;
        if (++count_ % stride_ == 0) {
            reference = cosl(2 * acosl(-1.0L) * static_cast<long double>(a) / n);
            ok = ok && std::fabs(v - reference) <= static_cast<long double>(kTolerance);
        }
        if (!ok) fail(what, e, L, v, static_cast<double>(reference));
    }
    void negSinAt(double v, int64_t e, int L, const char* what) {
        cosAt(v, e + (int64_t(1) << (L - 2)), L, what);
    }
    void w(double re, double im, int64_t e, int L, const char* what) {
        cosAt(re, e, L, what);
        negSinAt(im, e, L, what);
    }
    // The forward one-level recombination pair (0.5 cos, 0.5 - 0.5 sin) of 2 pi k / 2^L, the
    // second computed as 0.5 minus the product.
    void halfForms(double c, double s, int64_t k, int L, const char* what) {
        cosAt(2 * c, k, L, what);
        const double sn = entry(k << (T_ - L));
        if (s != 0.5 - 0.5 * sn) fail(what, k, L, s, 0.5 - 0.5 * sn);
    }

    int failures() const { return failures_; }
    const std::string& firstFailure() const { return first_; }

private:
    // |sin| of x base-table steps (2 pi / 2^T), read from the table's first quadrant.
    double entry(int64_t x) const {
        const int64_t n = int64_t(1) << T_;
        x = (x % n + n) % n;
        if (x <= n / 4) return base_[x];
        if (x <= n / 2) return base_[n / 2 - x];
        if (x <= 3 * n / 4) return base_[x - n / 2];
        return base_[n - x];
    }
    void fail(const char* what, int64_t e, int L, double got, double want) {
        if (failures_++ == 0) {
            char msg[200];
            std::snprintf(msg, sizeof msg, "%s: exponent %lld of order %d: %.17g, want %.17g", what,
                          static_cast<long long>(e), L, got, want);
            first_ = msg;
        }
    }

    const double* base_;
    int T_;
    int64_t stride_, count_ = 0;
    int failures_ = 0;
    std::string first_;
};

// ---------------------------------------------------------------------------------------------
// Table walkers: each checks one table's values in its documented layout.

// Bit-reverse table for 2^m complex values: index format word i = 2 rev(i); pair format: the
// pairs and fixed points together name every index once, each with its reversal.
inline ::testing::AssertionResult bitReverseTableOk(const int32_t* t, int m, bool pair) {
    const int64_t L = int64_t(1) << (m - 2);
    const int bits = m - 2;
    if (t[L] != 0) return ::testing::AssertionFailure() << "word L is " << t[L];
    if (!pair) {
        for (int64_t i = 0; i < L; ++i)
            if (t[i] != 2 * reverseBits(i, bits))
                return ::testing::AssertionFailure() << "word " << i << " is " << t[i];
        return ::testing::AssertionSuccess();
    }
    std::vector<int> seen(L, 0);
    int64_t w = 0;
    int64_t last = 0;
    for (; t[w] > 0; w += 2) {
        const int64_t i = t[w] / 4, j = t[w + 1] / 4;
        if (t[w] % 4 || t[w + 1] % 4 || i >= j || j >= L || reverseBits(i, bits) != j || i <= last)
            return ::testing::AssertionFailure() << "pair at word " << w;
        last = i;
        ++seen[i];
        ++seen[j];
    }
    ++seen[0];  // the 0 that ends the pairs stands for index 0
    last = L;
    for (++w; w < L; ++w) {
        const int64_t i = t[w] / 4;
        if (t[w] <= 0 || t[w] % 4 || reverseBits(i, bits) != i || i >= last)
            return ::testing::AssertionFailure() << "fixed point at word " << w;
        last = i;
        ++seen[i];
    }
    for (int64_t i = 0; i < L; ++i)
        if (seen[i] != 1)
            return ::testing::AssertionFailure() << "index " << i << " seen " << seen[i];
    return ::testing::AssertionSuccess();
}

// Triple twiddles for P = 2^m: entry k = 0..P/4 holds w^k, w^2k, w^3k.
inline void checkTriples(ValueChecker& v, const double* t, int m) {
    for (int64_t k = 0; k <= (int64_t(1) << (m - 2)); ++k)
        for (int r = 1; r <= 3; ++r)
            v.w(t[6 * k + 2 * r - 2], t[6 * k + 2 * r - 1], r * k, m, "triple");
}

// Staged twiddles: stages of 2^L points, L = 4 + (m mod 2) .. m; per G values of k, the G real
// and G imaginary parts of w^k, then of w^2k and w^3k.
inline void checkStaged(ValueChecker& v, const double* t, int m, int G) {
    for (int L = 4 + m % 2; L <= m; L += 2)
        for (int64_t k0 = 0; k0 < (int64_t(1) << (L - 2)); k0 += G)
            for (int r = 1; r <= 3; ++r, t += 2 * G)
                for (int g = 0; g < G; ++g) v.w(t[g], t[G + g], r * (k0 + g), L, "staged");
}

inline void checkTwiddles(ValueChecker& v, const double* t, int m, int group) {
    if (group == 0) {
        checkTriples(v, t, m);
    } else {
        checkStaged(v, t, m, group);
    }
}

inline int64_t twiddleBytes(int m, int group) {
    return group == 0 ? 48 * ((int64_t(1) << (m - 2)) + 1) : int64_t(16) << m;
}

// Recombination table of N = 2^order points.
inline void checkRecomb(ValueChecker& v, const double* t, int order, bool grouped, bool twoLevel,
                        bool forward) {
    const int64_t q = int64_t(1) << (order - 2);
    auto one = [&](double re, double im, int64_t k) {
        if (forward && !twoLevel) {
            v.halfForms(re, im, k, order, "forward recombination");
        } else {
            v.w(re, im, k, order, "recombination");
        }
    };
    const int64_t fine = twoLevel ? 512 : q;
    if (grouped) {
        for (int64_t k = 1; k <= fine; k += 2, t += 4) {
            one(t[0], t[2], k);
            one(t[1], t[3], k + 1);
        }
    } else {
        for (int64_t k = 0; k < fine; ++k, t += 2) one(t[0], t[1], k);
    }
    if (twoLevel)
        for (int64_t i = 0; i < (int64_t(1) << (order - 11)); ++i, t += 2)
            v.w(t[0], t[1], 512 * i, order, "coarse recombination");
}

inline int64_t recombBytes(int order, bool twoLevel) {
    return twoLevel ? (512 + (int64_t(1) << (order - 11))) * 16 : int64_t(4) << order;
}

// Slot-0 level rows: for row group g and position p, w_m^(j rev_k(p)) for j = 4g .. 4g+3.
inline void checkRows(ValueChecker& v, const double* t, int m, int k) {
    for (int64_t j0 = 0; j0 < (int64_t(1) << (m - k)); j0 += 4)
        for (int64_t p = 0; p < (int64_t(1) << k); ++p)
            for (int i = 0; i < 4; ++i, t += 2)
                v.w(t[0], t[1], (j0 + i) * reverseBits(p, k), m, "row");
}

// Column records of a level of slots 1 to 5; returns the doubles written.
inline int64_t checkColumns(ValueChecker& v, const double* t, int m, int k, int B, int G,
                            bool halfLastStage) {
    const double* const start = t;
    const int r = m - k;
    const int64_t width = int64_t(1) << (B - k);
    for (int64_t b = 0; b < (int64_t(1) << r); b += width)
        for (int s = 0; s < k / 2; ++s) {
            const bool last = halfLastStage && s == k / 2 - 1;
            const int64_t groups = (int64_t(1) << (2 * s)) / (last ? 2 : 1);
            for (int64_t g = 0; g < groups; ++g)
                for (int64_t c = b + (g << r); c < b + (g << r) + width; c += G)
                    for (int q = 1; q <= (last ? 2 : 3); ++q, t += 2 * G)
                        for (int i = 0; i < G; ++i)
                            v.w(t[i], t[G + i], q * (c + i), r + 2 + 2 * s, "column");
        }
    return t - start;
}

// ---------------------------------------------------------------------------------------------
// The whole record: header words, every table's place (64-byte aligned, in the documented
// order, inside the S bytes), word 7, and, with `values`, every table value.

struct Region {
    const char* name;
    int word;
    int64_t bytes;
};

inline void checkSpec(const BuiltSpec& s, bool values, int sampleStride = 1) {
    SCOPED_TRACE(std::string("slot ") + dspSlotName(s.slot) + " order " + std::to_string(s.order));
    ASSERT_EQ(s.status, dspOk);
    const Layout& lay = kLayout[s.slot];
    const BYTE* h = reinterpret_cast<const BYTE*>(s.spec);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(h) % 64, 0u);
    ASSERT_LT(h - s.mem->at(), 64);
    EXPECT_EQ(word(h, 0), 9);
    EXPECT_EQ(word(h, 1), s.order);
    for (int w : {8, 9, 10, 14, 23}) EXPECT_EQ(word(h, w), 0) << "word " << w;
    EXPECT_EQ(s.W, word(h, 7) ? word(h, 7) + 64 : 0) << "reported work size";
    EXPECT_EQ(s.mem->changedOutside(0, s.S), -1) << "spec memory written outside S";
    EXPECT_EQ(s.buf->changedOutside(0, s.B), -1) << "set-up buffer written outside B";

    const int order = s.order, m = order - 1;
    std::vector<Region> regions;
    std::vector<int> unused = {11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22};
    auto use = [&](const char* name, int w, int64_t bytes) {
        regions.push_back({name, w, bytes});
        unused.erase(std::remove(unused.begin(), unused.end(), w), unused.end());
    };
    ValueChecker v(s.base(), s.baseOrder(), sampleStride);
    int64_t expectedWork = 0;
    Plan plan;
    std::vector<int> levelOrders;  // complex order of each level, from the top
    const bool large = order > lay.lastRecombOrder && m > lay.iterativeLimit;
    const bool blockTable = large && lay.blockTableFrom && m >= lay.blockTableFrom;
    if (order > lay.lastRecombOrder) {
        use("bit-reverse", 11,
            blockTable ? 4 * ((int64_t(1) << (m - 10)) + 257) : 4 * ((int64_t(1) << (m - 2)) + 1));
        EXPECT_EQ(word(h, 11), 96);
        if (!large) {
            use("twiddles", 12, twiddleBytes(m, lay.twiddleGroup));
            if (lay.twiddleGroup) expectedWork = int64_t(16) << m;
        } else {
            plan = planFor(s.slot, m);
            expectedWork = plan.workBytes;
            use("twiddles", 12, twiddleBytes(plan.bottomOrder, lay.twiddleGroup));
            if (plan.plain || plan.plainBottom) {
                const int comb = plan.plain ? m : m - plan.factors[0];
                use("combining twiddles", 13, int64_t(4) << comb);
            }
            levelOrders.push_back(m);
            for (size_t d = 1; d < plan.factors.size(); ++d)
                levelOrders.push_back(levelOrders.back() - plan.factors[d - 1]);
            for (int d = static_cast<int>(plan.factors.size()) - 1; d >= 0; --d) {
                if (s.slot == 0) use("level twiddles", 17 + d, twiddleBytes(plan.factors[d], 0));
                use("level table", 20 + d,
                    (s.slot == 0 || s.slot == 2 ? int64_t(16) : int64_t(8)) << levelOrders[d]);
            }
        }
    }
    if (order > lay.lastKernelOrder) {
        const bool two = order >= lay.twoLevelOrder;
        use("forward recombination", 15, recombBytes(order, two));
        use("inverse recombination", 16, recombBytes(order, two));
        if (order <= lay.lastRecombOrder) {
            EXPECT_EQ(word(h, 15), 128);
        }
    }
    EXPECT_EQ(word(h, 7), expectedWork);
    for (int w : unused) EXPECT_EQ(word(h, w), 0) << "word " << w;
    int64_t end = 96;
    for (const Region& r : regions) {
        const int64_t at = static_cast<uint32_t>(word(h, r.word));
        // Every table is 64-byte aligned but the bit-reverse table, which is at 96.
        EXPECT_EQ(at % 64, r.word == 11 ? 32 : 0) << r.name;
        EXPECT_GE(at, end) << r.name << " overlaps what comes before it";
        end = at + r.bytes;
        EXPECT_LE((h - s.mem->at()) + end, s.S) << r.name << " ends outside S";
    }
    if (!values || ::testing::Test::HasFailure()) return;

    // Values.
    if (order > 10) {
        const double* base = s.base();
        const int64_t q = int64_t(1) << (order - 2);
        EXPECT_EQ(base[q], 1.0);
        for (int64_t j = 0; j <= q; j += sampleStride)
            ASSERT_LE(std::fabs(base[j] - sinl(2 * acosl(-1.0L) * j / (4 * q))), kTolerance) << j;
    }
    if (order > lay.lastRecombOrder) {
        const int32_t* br = tableAt<int32_t>(h, 11);
        if (blockTable) {
            const int64_t c = int64_t(1) << (m - 10);
            for (int64_t i = 0; i < c; ++i) ASSERT_EQ(br[i], 32 * reverseBits(i, m - 10)) << i;
            EXPECT_TRUE(bitReverseTableOk(br + c, 10, true));
        } else {
            EXPECT_TRUE(bitReverseTableOk(br, m, lay.pairBitReverse));
        }
        if (!large) {
            checkTwiddles(v, tableAt<double>(h, 12), m, lay.twiddleGroup);
        } else {
            checkTwiddles(v, tableAt<double>(h, 12), plan.bottomOrder, lay.twiddleGroup);
            if (plan.plain || plan.plainBottom) {
                const int comb = plan.plain ? m : m - plan.factors[0];
                const double* t = tableAt<double>(h, 13);
                for (int64_t i = 0; i < (int64_t(1) << (comb - 2)); ++i)
                    v.w(t[2 * i], t[2 * i + 1], i, comb, "combining");
            }
            for (size_t d = 0; d < plan.factors.size(); ++d) {
                const int md = levelOrders[d], k = plan.factors[d];
                const double* t = tableAt<double>(h, 20 + static_cast<int>(d));
                if (s.slot == 0) {
                    checkTriples(v, tableAt<double>(h, 17 + static_cast<int>(d)), k);
                    checkRows(v, t, md, k);
                    continue;
                }
                const int G = s.slot == 2 ? 1 : lay.twiddleGroup;
                const int64_t written =
                    checkColumns(v, t, md, k, blockOrder(s.slot, md), G, s.slot != 2);
                // Complex values reserved and written; the rest keeps the caller's bytes.
                const int64_t reserved = s.slot == 2 ? int64_t(1) << md : int64_t(1) << (md - 1);
                EXPECT_EQ(written, 2 * (reserved - (int64_t(1) << (md - k))));
                const BYTE* p = reinterpret_cast<const BYTE*>(t + written);
                const BYTE* const reservedEnd = reinterpret_cast<const BYTE*>(t + 2 * reserved);
                while (p < reservedEnd && *p == BuiltSpec::kSentinel) ++p;
                EXPECT_EQ(p, reservedEnd) << "level " << d << " wrote into its unused space";
            }
        }
    }
    if (order > lay.lastKernelOrder) {
        const bool two = order >= lay.twoLevelOrder;
        checkRecomb(v, tableAt<double>(h, 15), order, lay.groupedRecomb, two, true);
        checkRecomb(v, tableAt<double>(h, 16), order, lay.groupedRecomb, two, false);
    }
    EXPECT_EQ(v.failures(), 0) << v.firstFailure();
}

}  // namespace ffttest
