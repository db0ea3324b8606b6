// Running median: statuses and argument checks, worked examples, every body against a sort-based
// reference, bit identity across slots, in place, block splitting and the NaN order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "corvane/dsp.h"
#include "tests/dsp/slots.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

uint64_t bitsOf(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double fromBits(uint64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

int windowOf(int mask) {
    return (mask & 1) ? mask : mask - 1;
}

// Same value: equal numbers (either zero), or both NaN.
bool sameValue(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Reference order: numeric, with every NaN above +Inf and all NaNs alike.
bool refLess(double a, double b) {
    if (std::isnan(a)) return false;
    if (std::isnan(b)) return true;
    return a < b;
}

struct Reference {
    std::vector<double> out;
    std::vector<double> delay;  // last m - 1 values of the extended input
};

// Sort-based reference built from the definition: extended input E = history + src, output i
// the middle of the sorted window E[i .. i+m-1].
Reference referenceMedian(const std::vector<double>& src, int mask, const double* dlySrc) {
    const int m = windowOf(mask);
    std::vector<double> e;
    for (int k = 0; k < m - 1; ++k) e.push_back(dlySrc ? dlySrc[k] : src[0]);
    e.insert(e.end(), src.begin(), src.end());
    Reference r;
    for (size_t i = 0; i < src.size(); ++i) {
        std::vector<double> w(e.begin() + i, e.begin() + i + m);
        std::sort(w.begin(), w.end(), refLess);
        r.out.push_back(w[m / 2]);
    }
    r.delay.assign(e.end() - (m - 1), e.end());
    return r;
}

// Exactly sized heap buffers, so that the sanitizer build sees any access outside them. The
// work buffer starts at a chosen byte offset to show that no alignment is needed.
struct MedianCall {
    std::vector<double> dst;
    std::vector<double> dlyDst;
    std::vector<BYTE> bufStore;
    BYTE* buf = nullptr;
    DspStatus status = 0;

    MedianCall(int len, int mask, size_t bufOffset = 0) {
        const int m = windowOf(mask);
        dst.assign(len, -12345.0);
        dlyDst.assign(m - 1, -6789.0);
        bufStore.assign(16 * static_cast<size_t>(m) + bufOffset, 0xAB);
        buf = bufStore.data() + bufOffset;
    }
};

MedianCall runMedian(int slot, const std::vector<double>& src, int mask, const double* dlySrc,
                     bool withDlyDst, size_t bufOffset = 0) {
    MedianCall c(static_cast<int>(src.size()), mask, bufOffset);
    c.status =
        dspslots::dspMedian64f[slot](src.data(), c.dst.data(), static_cast<int>(src.size()), mask,
                                     dlySrc, withDlyDst ? c.dlyDst.data() : nullptr, c.buf);
    return c;
}

std::vector<double> randomSignal(std::mt19937& rng, int len) {
    // Half of the values come from a small set, so that windows hold repeated values.
    std::uniform_real_distribution<double> wide(-1.0, 1.0);
    std::uniform_int_distribution<int> small(-3, 3);
    std::bernoulli_distribution pickSmall(0.5);
    std::vector<double> v(len);
    for (double& x : v) x = pickSmall(rng) ? small(rng) * 0.25 : wide(rng);
    return v;
}

void expectSameBits(const std::vector<double>& a, const std::vector<double>& b,
                    const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(bitsOf(a[i]), bitsOf(b[i])) << what << " index " << i;
    }
}

void expectMatchesReference(const MedianCall& c, const Reference& r, bool withDlyDst,
                            const std::string& what) {
    for (size_t i = 0; i < r.out.size(); ++i) {
        ASSERT_TRUE(sameValue(c.dst[i], r.out[i]))
            << what << " output " << i << ": " << c.dst[i] << " vs " << r.out[i];
    }
    if (withDlyDst) expectSameBits(c.dlyDst, r.delay, what + " delay line");
}

// ---- Buffer-size query ------------------------------------------------------------------------

struct SizeCase {
    int mask;
    int dataType;
    DspStatus status;
    int size;  // expected *size, or -1 when it must stay untouched
};

class MedianSizeTest : public DspSlotTest {};

TEST_P(MedianSizeTest, StatusesAndSizes) {
    const SizeCase cases[] = {
        {4, 19, dspWarnEvenMask, 48},
        {5, 19, dspOk, 80},
        {5, 2, dspErrDataType, -1},
        {1, 19, dspOk, 16},
        {2, 19, dspWarnEvenMask, 16},
        {13, 1, dspOk, 208},
        {13, 7, dspOk, 208},
        {13, 11, dspOk, 208},
        {13, 13, dspOk, 208},
        {13, 0, dspErrDataType, -1},
        {13, 20, dspErrDataType, -1},
        {0, 19, dspErrMaskSize, -1},
        {-7, 19, dspErrMaskSize, -1},
        {0, 2, dspErrMaskSize, -1},  // the mask is tested before the data type
        // The largest window whose buffer a 32-bit size can describe, and the first beyond it.
        {134217727, 19, dspOk, 2147483632},
        {134217728, 19, dspWarnEvenMask, 2147483632},
        {134217729, 19, dspErrMaskSize, -1},
        {std::numeric_limits<int>::max(), 19, dspErrMaskSize, -1},
        {134217729, 2, dspErrMaskSize, -1},
    };
    for (const SizeCase& c : cases) {
        int size = -1;
        EXPECT_EQ(dspslots::dspMedianGetBufferSize[slot()](c.mask, c.dataType, &size), c.status)
            << "mask " << c.mask << " type " << c.dataType;
        EXPECT_EQ(size, c.size) << "mask " << c.mask << " type " << c.dataType;
    }
    EXPECT_EQ(dspslots::dspMedianGetBufferSize[slot()](0, 19, nullptr), dspErrNullPtr);
    EXPECT_EQ(dspslots::dspMedianGetBufferSize[slot()](5, 2, nullptr), dspErrNullPtr);
}

DSP_INSTANTIATE_SLOTS(MedianSizeTest);

// ---- Argument checks ------------------------------------------------------------------------

class MedianChecksTest : public DspSlotTest {};

TEST_P(MedianChecksTest, FailuresInOrderWriteNothing) {
    std::vector<double> src = {1, 2, 3, 4, 5};
    std::vector<double> dly = {9, 9, 9, 9};
    std::vector<BYTE> buf(16 * 5);
    struct Case {
        const char* name;
        bool srcNull, dstNull, bufNull;
        int len, mask;
        DspStatus status;
    };
    const Case cases[] = {
        {"src null", true, false, false, 5, 5, dspErrNullPtr},
        {"dst null", false, true, false, 5, 5, dspErrNullPtr},
        {"null before length", true, false, false, 0, 5, dspErrNullPtr},
        {"length 0", false, false, false, 0, 5, dspErrSize},
        {"length negative", false, false, false, -3, 5, dspErrSize},
        {"length before mask", false, false, false, 0, 0, dspErrSize},
        {"mask 0", false, false, false, 5, 0, dspErrMaskSize},
        {"mask before buf", false, false, true, 5, 0, dspErrMaskSize},
        {"mask negative", false, false, false, 5, -1, dspErrMaskSize},
        {"window too large for a buffer", false, false, false, 5, 134217729, dspErrMaskSize},
        {"buf null", false, false, true, 5, 5, dspErrNullPtr},
        {"buf null with mask 1", false, false, true, 5, 1, dspErrNullPtr},
    };
    for (const Case& c : cases) {
        for (int inPlace = 0; inPlace < 2; ++inPlace) {
            SCOPED_TRACE(std::string(c.name) + (inPlace ? " (in place)" : ""));
            std::vector<double> dst(5, -1.0), dlyDst(4, -2.0);
            std::vector<double> io = src;
            BYTE* b = c.bufNull ? nullptr : buf.data();
            DspStatus st;
            if (inPlace) {
                st = dspslots::dspMedianInPlace64f[slot()](
                    c.srcNull || c.dstNull ? nullptr : io.data(), c.len, c.mask, dly.data(),
                    dlyDst.data(), b);
                expectSameBits(io, src, "srcDst");
            } else {
                st = dspslots::dspMedian64f[slot()](c.srcNull ? nullptr : src.data(),
                                                    c.dstNull ? nullptr : dst.data(), c.len, c.mask,
                                                    dly.data(), dlyDst.data(), b);
                expectSameBits(dst, std::vector<double>(5, -1.0), "dst");
            }
            EXPECT_EQ(st, c.status);
            expectSameBits(dlyDst, std::vector<double>(4, -2.0), "dlyDst");
        }
    }
}

DSP_INSTANTIATE_SLOTS(MedianChecksTest);

// ---- Worked examples ------------------------------------------------------------------------

class MedianExamplesTest : public DspSlotTest {};

TEST_P(MedianExamplesTest, KnownWindows) {
    struct Example {
        const char* name;
        int mask;
        std::vector<double> src, dlySrc, out, dlyDst;
        DspStatus status;
    };
    const Example examples[] = {
        {"mask 3", 3, {1, 5, 2, 8, 3}, {}, {1, 1, 2, 5, 3}, {8, 3}, dspOk},
        {"mask 5, one sample", 5, {7}, {1, 2, 3, 4}, {3}, {2, 3, 4, 7}, dspOk},
        {"mask 9, input shorter than the delay line",
         9,
         {10, 20, 30},
         {},
         {10, 10, 10},
         {10, 10, 10, 10, 10, 10, 20, 30},
         dspOk},
        {"mask 4 works as 3", 4, {1, 5, 2, 8, 3}, {}, {1, 1, 2, 5, 3}, {8, 3}, dspWarnEvenMask},
        {"mask 11 with history",
         11,
         {0, 100, -100},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         {5, 6, 6},
         {4, 5, 6, 7, 8, 9, 10, 0, 100, -100},
         dspOk},
        // NaN sorts above +Inf in every path: windows {NaN,1,Inf} {1,Inf,2} {Inf,2,NaN}
        // {2,NaN,NaN} {NaN,NaN,-Inf}.
        {"NaN above infinity, mask 3",
         3,
         {kInf, 2, kNaN, kNaN, -kInf},
         {kNaN, 1},
         {kInf, 2, kInf, kNaN, kNaN},
         {kNaN, -kInf},
         dspOk},
    };
    for (const Example& ex : examples) {
        SCOPED_TRACE(ex.name);
        MedianCall c = runMedian(slot(), ex.src, ex.mask,
                                 ex.dlySrc.empty() ? nullptr : ex.dlySrc.data(), true);
        EXPECT_EQ(c.status, ex.status);
        ASSERT_EQ(c.dst.size(), ex.out.size());
        for (size_t i = 0; i < ex.out.size(); ++i) {
            EXPECT_TRUE(sameValue(c.dst[i], ex.out[i])) << "output " << i << ": " << c.dst[i];
        }
        ASSERT_EQ(c.dlyDst.size(), ex.dlyDst.size());
        for (size_t i = 0; i < ex.dlyDst.size(); ++i) {
            EXPECT_TRUE(sameValue(c.dlyDst[i], ex.dlyDst[i])) << "delay " << i;
        }
    }
}

TEST_P(MedianExamplesTest, WindowOfOneCopiesAndLeavesDelayLine) {
    const std::vector<double> src = {3.5, -0.0, fromBits(0x7FF0000000000001ull), 1e-310, -kInf};
    for (int mask : {1, 2}) {
        SCOPED_TRACE(mask);
        std::vector<double> dst(src.size(), 0.0);
        double dlyDst[2] = {42.0, 43.0};
        const double dlySrc[2] = {7.0, 8.0};
        BYTE buf[32];
        EXPECT_EQ(
            dspslots::dspMedian64f[slot()](src.data(), dst.data(), 5, mask, dlySrc, dlyDst, buf),
            mask == 1 ? dspOk : dspWarnEvenMask);
        expectSameBits(dst, src, "copy");
        EXPECT_EQ(dlyDst[0], 42.0);
        EXPECT_EQ(dlyDst[1], 43.0);
        std::vector<double> io = src;
        EXPECT_EQ(dspslots::dspMedianInPlace64f[slot()](io.data(), 5, mask, dlySrc, dlyDst, buf),
                  mask == 1 ? dspOk : dspWarnEvenMask);
        expectSameBits(io, src, "in place");
    }
}

DSP_INSTANTIATE_SLOTS(MedianExamplesTest);

// ---- Against the reference ------------------------------------------------------------------

class MedianReferenceTest : public DspSlotTest {};

TEST_P(MedianReferenceTest, MasksUpTo25AllLengths) {
    std::mt19937 rng(1234 + slot());
    for (int mask = 1; mask <= 25; ++mask) {
        const int m = windowOf(mask);
        for (int len = 1; len <= 100; ++len) {
            const std::vector<double> src = randomSignal(rng, len);
            const std::vector<double> hist = randomSignal(rng, m - 1);
            for (int withDly = 0; withDly < 2; ++withDly) {
                const std::string what = "mask " + std::to_string(mask) + " len " +
                                         std::to_string(len) + (withDly ? " with" : " without") +
                                         " delay lines";
                const double* dlySrc = withDly ? hist.data() : nullptr;
                const MedianCall c = runMedian(slot(), src, mask, dlySrc, withDly, len % 8);
                ASSERT_EQ(c.status, (mask & 1) ? dspOk : dspWarnEvenMask) << what;
                expectMatchesReference(c, referenceMedian(src, mask, dlySrc), withDly, what);
            }
        }
    }
}

TEST_P(MedianReferenceTest, LargerMasks) {
    std::mt19937 rng(99 + slot());
    for (int mask : {26, 33, 64, 101, 257, 2047}) {
        const int m = windowOf(mask);
        for (int len : {1, m / 2, m + 3, std::min(3 * m + 1, 800)}) {
            const std::vector<double> src = randomSignal(rng, len);
            const std::vector<double> hist = randomSignal(rng, m - 1);
            const std::string what = "mask " + std::to_string(mask) + " len " + std::to_string(len);
            const MedianCall c = runMedian(slot(), src, mask, hist.data(), true, 3);
            expectMatchesReference(c, referenceMedian(src, mask, hist.data()), true, what);
        }
    }
}

// NaNs anywhere in the window, every path: each window is ordered with NaN above +Inf. The
// buffers are exactly sized, so a scan running past the window shows in the sanitizer build.
TEST_P(MedianReferenceTest, NaNsInTheWindow) {
    std::mt19937 rng(7 + slot());
    std::bernoulli_distribution nan(0.3);
    for (int mask : {3, 5, 7, 9, 11, 13, 25, 33}) {
        const int m = windowOf(mask);
        for (int len : {1, 2, m - 1, m, 2 * m + 5, 97}) {
            std::vector<double> src = randomSignal(rng, len);
            std::vector<double> hist = randomSignal(rng, m - 1);
            for (double& x : src) x = nan(rng) ? -kNaN : x;
            for (double& x : hist) x = nan(rng) ? kNaN : x;
            const std::string what = "mask " + std::to_string(mask) + " len " + std::to_string(len);
            for (const double* dlySrc :
                 {static_cast<const double*>(nullptr), static_cast<const double*>(hist.data())}) {
                const MedianCall c = runMedian(slot(), src, mask, dlySrc, true);
                expectMatchesReference(c, referenceMedian(src, mask, dlySrc), true, what);
            }
            const std::vector<double> allNaN(len, kNaN);
            const MedianCall c = runMedian(slot(), allNaN, mask, nullptr, true);
            for (double v : c.dst) ASSERT_TRUE(std::isnan(v)) << what;
        }
    }
}

// Every window of m zeros and ones, exactly once: a de Bruijn sequence of order m over {0, 1},
// with its first m - 1 values repeated at the end to close the cycle.
std::vector<double> everyBinaryWindow(int m) {
    std::vector<int> a(2 * m + 1, 0), seq;
    auto gen = [&](auto&& self, int t, int p) -> void {
        if (t > m) {
            if (m % p == 0) seq.insert(seq.end(), a.begin() + 1, a.begin() + p + 1);
            return;
        }
        a[t] = a[t - p];
        self(self, t + 1, p);
        for (int j = a[t - p] + 1; j < 2; ++j) {
            a[t] = j;
            self(self, t + 1, t);
        }
    };
    gen(gen, 1, 1);
    seq.insert(seq.end(), seq.begin(), seq.begin() + (m - 1));
    return std::vector<double>(seq.begin(), seq.end());
}

// By the 0/1 principle this proves the fixed networks: each is a composition of min and max.
TEST_P(MedianReferenceTest, EveryBinaryWindow) {
    for (int mask : {3, 5, 7, 9, 11, 13}) {
        const int m = windowOf(mask);
        const std::vector<double> e = everyBinaryWindow(m);
        ASSERT_EQ(e.size(), (size_t{1} << m) + m - 1);
        const std::vector<double> src(e.begin() + (m - 1), e.end());
        const MedianCall c = runMedian(slot(), src, mask, e.data(), true);
        for (size_t i = 0; i < src.size(); ++i) {
            int ones = 0;
            for (int k = 0; k < m; ++k) ones += e[i + k] == 1.0;
            ASSERT_EQ(c.dst[i], ones > m / 2 ? 1.0 : 0.0) << "mask " << mask << " window " << i;
        }
    }
}

DSP_INSTANTIATE_SLOTS(MedianReferenceTest);

// ---- Across slots, in place, in blocks ------------------------------------------------------

// Values whose bits a careless path could change or order differently: both zeros, infinities,
// quiet and signalling NaNs of both signs with payloads, subnormals, repeats.
std::vector<double> awkwardSignal(std::mt19937& rng, int len) {
    const double pool[] = {0.0,
                           -0.0,
                           kInf,
                           -kInf,
                           fromBits(0x7FF8000000000000ull),
                           fromBits(0xFFF8000000000001ull),
                           fromBits(0x7FF0000000000001ull),  // signalling
                           fromBits(0xFFF4000000000000ull),  // signalling, negative
                           fromBits(0x7FFFFFFFFFFFFFFFull),
                           fromBits(0xFFF0000000000001ull),  // last in the order
                           fromBits(0x0000000000000001ull),
                           fromBits(0x8000000000000001ull),
                           1.0,
                           -1.0,
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pool)) - 1);
    std::uniform_real_distribution<double> wide(-2.0, 2.0);
    std::vector<double> v(len);
    for (double& x : v) x = (rng() & 1) ? pool[pick(rng)] : wide(rng);
    return v;
}

TEST(MedianAcrossSlots, BitIdenticalOutputsAndDelayLines) {
    const std::vector<int> slots = dspSupportedSlots();
    ASSERT_FALSE(slots.empty());
    std::mt19937 rng(2024);
    std::vector<int> masks;
    for (int k = 1; k <= 25; ++k) masks.push_back(k);
    // Each end of the register, in-memory and in-place vector windows (the in-place window
    // starts at 25 in slot 4, 49 in slots 3 and 5) and of the heaps.
    masks.insert(masks.end(), {27, 29, 33, 47, 49, 73, 101, 177, 511, 513});
    for (int mask : masks) {
        const int m = windowOf(mask);
        for (int len : {1, 2, 3, 5, 8, 17, 63, 64, 65, 130, 301}) {
            const std::vector<double> src = awkwardSignal(rng, len);
            const std::vector<double> hist = awkwardSignal(rng, m - 1);
            for (const double* dlySrc :
                 {static_cast<const double*>(nullptr), static_cast<const double*>(hist.data())}) {
                const std::string what = "mask " + std::to_string(mask) + " len " +
                                         std::to_string(len) + (dlySrc ? " with" : " without") +
                                         " history";
                const MedianCall first = runMedian(slots[0], src, mask, dlySrc, true);
                expectMatchesReference(first, referenceMedian(src, mask, dlySrc), true, what);
                // Every output is one of its window's own bit patterns.
                std::vector<double> e;
                for (int k = 0; k < m - 1; ++k) e.push_back(dlySrc ? dlySrc[k] : src[0]);
                e.insert(e.end(), src.begin(), src.end());
                for (int i = 0; i < len; ++i) {
                    bool found = false;
                    for (int k = 0; k < m && !found; ++k)
                        found = bitsOf(e[i + k]) == bitsOf(first.dst[i]);
                    ASSERT_TRUE(found) << what << " output " << i;
                }
                for (size_t s = 1; s < slots.size(); ++s) {
                    const MedianCall other = runMedian(slots[s], src, mask, dlySrc, true);
                    const std::string tag = what + " slot " + dspSlotName(slots[s]);
                    EXPECT_EQ(other.status, first.status) << tag;
                    expectSameBits(other.dst, first.dst, tag);
                    expectSameBits(other.dlyDst, first.dlyDst, tag + " delay line");
                }
            }
        }
    }
}

class MedianContinuityTest : public DspSlotTest {};

TEST_P(MedianContinuityTest, InPlaceEqualsOutOfPlace) {
    std::mt19937 rng(55 + slot());
    for (int mask = 1; mask <= 25; ++mask) {
        const int m = windowOf(mask);
        for (int len : {1, 2, 4, 7, 9, 31, 64, 100}) {
            const std::vector<double> src = awkwardSignal(rng, len);
            const std::vector<double> hist = awkwardSignal(rng, m - 1);
            for (const double* dlySrc :
                 {static_cast<const double*>(nullptr), static_cast<const double*>(hist.data())}) {
                const std::string what =
                    "mask " + std::to_string(mask) + " len " + std::to_string(len);
                const MedianCall ref = runMedian(slot(), src, mask, dlySrc, true);
                MedianCall c(len, mask, 5);
                std::vector<double> io = src;
                c.status = dspslots::dspMedianInPlace64f[slot()](io.data(), len, mask, dlySrc,
                                                                 c.dlyDst.data(), c.buf);
                EXPECT_EQ(c.status, ref.status) << what;
                expectSameBits(io, ref.dst, what);
                expectSameBits(c.dlyDst, ref.dlyDst, what + " delay line");
            }
        }
    }
}

// A signal cut into blocks of arbitrary sizes, each block passing the previous call's delay line,
// gives the bits of one call over the whole signal. Two delay buffers alternate, as a caller
// filtering block after block would do; one variant filters each block in place.
TEST_P(MedianContinuityTest, BlocksEqualOneCall) {
    std::mt19937 rng(77 + slot());
    const int total = 400;
    for (int mask : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 25, 33, 101}) {
        const int m = windowOf(mask);
        const std::vector<double> src = awkwardSignal(rng, total);
        const MedianCall whole = runMedian(slot(), src, mask, nullptr, true);
        for (int trial = 0; trial < 6; ++trial) {
            const bool inPlace = trial & 1;
            const int maxBlock = trial < 2 ? 3 : (trial < 4 ? m + 2 : 3 * m);
            std::uniform_int_distribution<int> blockLen(1, maxBlock);
            std::vector<double> out(total);
            std::vector<double> dlyA(m - 1), dlyB(m - 1);
            double* dlySrc = nullptr;
            double* dlyDst = dlyA.data();
            std::vector<BYTE> buf(16 * m);
            std::string what = "mask " + std::to_string(mask) + " trial " + std::to_string(trial);
            for (int pos = 0; pos < total;) {
                const int n = std::min(blockLen(rng), total - pos);
                std::vector<double> block(src.begin() + pos, src.begin() + pos + n);
                std::vector<double> res(n);
                const DspStatus st =
                    inPlace ? dspslots::dspMedianInPlace64f[slot()](block.data(), n, mask, dlySrc,
                                                                    dlyDst, buf.data())
                            : dspslots::dspMedian64f[slot()](block.data(), res.data(), n, mask,
                                                             dlySrc, dlyDst, buf.data());
                ASSERT_EQ(st, whole.status) << what;
                std::copy_n(inPlace ? block.begin() : res.begin(), n, out.begin() + pos);
                dlySrc = dlyDst;
                dlyDst = (dlyDst == dlyA.data()) ? dlyB.data() : dlyA.data();
                pos += n;
            }
            expectSameBits(out, whole.dst, what);
            if (m > 1) {
                expectSameBits(std::vector<double>(dlySrc, dlySrc + m - 1), whole.dlyDst,
                               what + " delay line");
            }
        }
    }
}

// The source history is taken in before anything is written, so one buffer may serve as both
// delay lines.
TEST_P(MedianContinuityTest, OneBufferAsBothDelayLines) {
    std::mt19937 rng(31 + slot());
    for (int mask : {3, 5, 7, 9, 11, 21}) {
        const int m = windowOf(mask);
        for (int len : {1, m - 2, m, 50}) {
            const std::vector<double> src = awkwardSignal(rng, len);
            const std::vector<double> hist = awkwardSignal(rng, m - 1);
            const MedianCall ref = runMedian(slot(), src, mask, hist.data(), true);
            std::vector<double> dly = hist;
            std::vector<double> dst(len);
            std::vector<BYTE> buf(16 * m);
            EXPECT_EQ(dspslots::dspMedian64f[slot()](src.data(), dst.data(), len, mask, dly.data(),
                                                     dly.data(), buf.data()),
                      dspOk);
            const std::string what = "mask " + std::to_string(mask) + " len " + std::to_string(len);
            expectSameBits(dst, ref.dst, what);
            expectSameBits(dly, ref.dlyDst, what + " delay line");
        }
    }
}

DSP_INSTANTIATE_SLOTS(MedianContinuityTest);

// ---- Through the dispatch -------------------------------------------------------------------

TEST(MedianDispatch, PublicOperationsReachTheBodies) {
    int size = 0;
    EXPECT_EQ(dspMedianGetBufferSize(5, dspType64f, &size), dspOk);
    EXPECT_EQ(size, 80);
    EXPECT_EQ(dspMedianGetBufferSize(134217729, dspType64f, &size), dspErrMaskSize);
    EXPECT_EQ(size, 80);
    const double src[5] = {1, 5, 2, 8, 3};
    double dst[5] = {};
    double dly[2] = {};
    std::vector<BYTE> buf(size);
    EXPECT_EQ(dspMedian64f(src, dst, 5, 3, nullptr, dly, buf.data()), dspOk);
    EXPECT_EQ(std::vector<double>(dst, dst + 5), (std::vector<double>{1, 1, 2, 5, 3}));
    EXPECT_EQ(std::vector<double>(dly, dly + 2), (std::vector<double>{8, 3}));
    double io[5] = {1, 5, 2, 8, 3};
    EXPECT_EQ(dspMedianInPlace64f(io, 5, 4, nullptr, dly, buf.data()), dspWarnEvenMask);
    EXPECT_EQ(std::vector<double>(io, io + 5), (std::vector<double>{1, 1, 2, 5, 3}));
    EXPECT_EQ(dspMedian64f(src, dst, 5, 3, nullptr, dly, nullptr), dspErrNullPtr);
}

}  // namespace
