// Fill, scale and product on every supported slot, bit for bit against plain IEEE loops, at
// every length 1..70, every misalignment 0..7 bytes and lengths around every threshold; the
// shortcuts, the argument checks, the store strategies and the magnitude hand-over.
#include "dsp/testing.h"
#include "tests/dsp/slots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

namespace {

uint64_t bitsOf(double x) {
    uint64_t b;
    memcpy(&b, &x, 8);
    return b;
}
double fromBits(uint64_t b) {
    double x;
    memcpy(&x, &b, 8);
    return x;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kSignallingNan = fromBits(0x7FF0000000000123ull);
const double kQuietNanPayload = fromBits(0xFFF8000000ABCDEFull);

// An array of doubles at a chosen byte misalignment, with sentinel bytes around it.
class Doubles : public DspGuardedBuffer {
public:
    static constexpr uint8_t kSentinel = 0x5A;

    Doubles(size_t count, size_t misalign)
        : DspGuardedBuffer(count * 8, misalign, kSentinel), count_(count) {}

    double* data() const { return reinterpret_cast<double*>(at(0)); }
    size_t size() const { return count_; }
    double get(size_t i) const { return fromBits(bits(i)); }
    uint64_t bits(size_t i) const {
        uint64_t b;
        memcpy(&b, at(8 * i), 8);
        return b;
    }
    void set(size_t i, double x) { memcpy(at(8 * i), &x, 8); }
    void assign(const std::vector<double>& v) {
        for (size_t i = 0; i < v.size(); ++i) set(i, v[i]);
    }
    bool guardsIntact() const { return changedOutside(0, 8 * count_) < 0; }

private:
    size_t count_;
};

// Values of every class: normal, huge (products overflow), tiny (products underflow into
// subnormals), subnormal, signed zeros, infinities, and (when allowed) NaNs.
std::vector<double> inputs(size_t n, uint32_t seed, bool withNans) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(-4.0, 4.0);
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) {
        switch (rng() % 12) {
            case 0:
                v[i] = unit(rng) * 1e300;
                break;
            case 1:
                v[i] = unit(rng) * 1e-300;
                break;
            case 2:
                v[i] = unit(rng) * 4.9e-324 * 1000;
                break;
            case 3:
                v[i] = (rng() & 1) ? 0.0 : -0.0;
                break;
            case 4:
                v[i] = (rng() & 1) ? kInf : -kInf;
                break;
            case 5:
                v[i] = withNans ? ((rng() & 1) ? kQuietNanPayload : kSignallingNan) : 1.5;
                break;
            default:
                v[i] = unit(rng) * std::ldexp(1.0, static_cast<int>(rng() % 200) - 100);
                break;
        }
    }
    return v;
}

// What every scaling body must give for one element: 1.0 leaves it, 0.0 (either sign) gives
// +0.0, anything else is the IEEE product.
double refScale(double x, double v) {
    if (v == 1.0) return x;
    if (v == 0.0) return 0.0;
    return x * v;
}

// Scale factors: ordinary, extreme, the shortcuts and NaN.
const std::vector<double> kFactors = {2.5,  -3.0, 0.1, 1e300, -1e-300, 4.9e-324,
                                      kInf, 1.0,  0.0, -0.0,  -1.0};

// The factors tried at length n. The sanitizer build tries one of each path (the product, the
// copy and the zero shortcuts) past the short lengths: its run is about memory, and the default
// build checks every factor's bits at every length.
const std::vector<double>& factorsFor(int n) {
#if defined(__SANITIZE_ADDRESS__)
    static const std::vector<double> kPaths = {2.5, 1.0, 0.0};
    if (n > 70) return kPaths;
#endif
    (void)n;
    return kFactors;
}

::testing::AssertionResult sameBits(const Doubles& got, const std::vector<double>& want) {
    for (size_t i = 0; i < want.size(); ++i)
        if (got.bits(i) != bitsOf(want[i]))
            return ::testing::AssertionFailure()
                   << "element " << i << " of " << want.size() << ": got " << std::hex
                   << got.bits(i) << ", want " << bitsOf(want[i]);
    if (!got.guardsIntact())
        return ::testing::AssertionFailure() << "a byte outside the array changed";
    return ::testing::AssertionSuccess();
}

using VectorTest = DspTracedSlotTest;

// Lengths 1..70 plus lengths on both sides of every threshold of any slot: the SSE2 kernels'
// 5, the AVX loop's 16, the streaming product's 5461 and 10922 groups, the prefetching scale's
// 65536 and 131072 elements.
std::vector<int> testLengths() {
    std::vector<int> lengths;
    for (int n = 1; n <= 70; ++n) lengths.push_back(n);
    for (int edge : {5461 * 4, 10922 * 4, 65536, 131072})
        for (int d = -1; d <= 5; ++d) lengths.push_back(edge + d);
    return lengths;
}

std::vector<size_t> misalignmentsFor(int n) {
    if (n <= 70) return {0, 1, 2, 3, 4, 5, 6, 7};
    return {0, 3, 8};
}

TEST_P(VectorTest, ScaleInPlaceMatchesIeee) {
    for (int n : testLengths()) {
        for (size_t mis : misalignmentsFor(n)) {
            const std::vector<double> x = inputs(n, n * 8 + mis, true);
            for (double v : factorsFor(n)) {
                Doubles d(n, mis);
                d.assign(x);
                std::vector<double> want(n);
                for (int i = 0; i < n; ++i) want[i] = refScale(x[i], v);
                ASSERT_EQ(dspslots::dspMulConstInPlace64f[slot()](v, d.data(), n), dspOk);
                ASSERT_TRUE(sameBits(d, want))
                    << "n " << n << ", misalignment " << mis << ", value " << v;
            }
        }
    }
}

TEST_P(VectorTest, ScaleMatchesIeee) {
    for (int n : testLengths()) {
        for (size_t mis : misalignmentsFor(n)) {
            const size_t srcMis = (mis * 5 + 3) % 8;
            const std::vector<double> x = inputs(n, n * 8 + mis + 1, true);
            Doubles s(n, srcMis);
            s.assign(x);
            for (double v : factorsFor(n)) {
                Doubles d(n, mis);
                std::vector<double> want(n);
                for (int i = 0; i < n; ++i) want[i] = refScale(x[i], v);
                ASSERT_EQ(dspslots::dspMulConst64f[slot()](s.data(), v, d.data(), n), dspOk);
                ASSERT_TRUE(sameBits(d, want))
                    << "n " << n << ", misalignment " << mis << ", value " << v;
                ASSERT_TRUE(sameBits(s, x)) << "the source changed";
            }
        }
    }
}

TEST_P(VectorTest, ProductMatchesIeee) {
    for (int n : testLengths()) {
        for (size_t mis : misalignmentsFor(n)) {
            // NaNs only in the first factor: with one NaN operand the result's payload is fixed.
            const std::vector<double> a = inputs(n, n * 8 + mis + 2, true);
            const std::vector<double> b = inputs(n, n * 8 + mis + 3, false);
            std::vector<double> want(n);
            for (int i = 0; i < n; ++i) want[i] = a[i] * b[i];
            for (size_t srcMis : {mis, (mis + 3) % 8}) {
                Doubles s1(n, srcMis), s2(n, (srcMis + 1) % 8), d(n, mis);
                s1.assign(a);
                s2.assign(b);
                ASSERT_EQ(dspslots::dspMul64f[slot()](s1.data(), s2.data(), d.data(), n), dspOk);
                ASSERT_TRUE(sameBits(d, want)) << "n " << n << ", misalignment " << mis;
                ASSERT_TRUE(sameBits(s1, a));
                ASSERT_TRUE(sameBits(s2, b));
            }
        }
    }
}

TEST_P(VectorTest, OperandsMayBeTheDestination) {
    const int n = 203;
    const std::vector<double> a = inputs(n, 7, true), b = inputs(n, 8, false);
    std::vector<double> want(n);
    for (size_t mis : {0, 4}) {
        Doubles d(n, mis);
        d.assign(a);
        ASSERT_EQ(dspslots::dspMulConst64f[slot()](d.data(), -2.5, d.data(), n), dspOk);
        for (int i = 0; i < n; ++i) want[i] = a[i] * -2.5;
        EXPECT_TRUE(sameBits(d, want));

        d.assign(a);
        ASSERT_EQ(dspslots::dspMulConst64f[slot()](d.data(), 1.0, d.data(), n), dspOk);
        EXPECT_TRUE(sameBits(d, a));

        Doubles other(n, mis);
        other.assign(b);
        d.assign(a);
        ASSERT_EQ(dspslots::dspMul64f[slot()](d.data(), other.data(), d.data(), n), dspOk);
        for (int i = 0; i < n; ++i) want[i] = a[i] * b[i];
        EXPECT_TRUE(sameBits(d, want));

        d.assign(a);
        ASSERT_EQ(dspslots::dspMul64f[slot()](other.data(), d.data(), d.data(), n), dspOk);
        for (int i = 0; i < n; ++i) want[i] = b[i] * a[i];
        EXPECT_TRUE(sameBits(d, want));

        d.assign(b);
        ASSERT_EQ(dspslots::dspMul64f[slot()](d.data(), d.data(), d.data(), n), dspOk);
        for (int i = 0; i < n; ++i) want[i] = b[i] * b[i];
        EXPECT_TRUE(sameBits(d, want));
    }
}

TEST_P(VectorTest, FillStoresThePatternExactly) {
    const double values[] = {1.25,
                             -0.0,
                             kInf,
                             kSignallingNan,
                             kQuietNanPayload,
                             fromBits(0xFFF0000000000001ull),
                             fromBits(0x000FFFFFFFFFFFFFull)};
    std::vector<int> lengths = testLengths();
    for (int edge : {131072, 262144})
        for (int d = -1; d <= 1; ++d) lengths.push_back(edge + d);
    for (double v : values) {
        for (int n : lengths) {
            for (size_t mis : misalignmentsFor(n)) {
                Doubles d(n, mis);
                ASSERT_EQ(dspslots::dspSet64f[slot()](v, d.data(), n), dspOk);
                ASSERT_TRUE(sameBits(d, std::vector<double>(n, v)))
                    << "n " << n << ", misalignment " << mis << ", bits " << std::hex << bitsOf(v);
            }
        }
    }
}

TEST_P(VectorTest, Shortcuts) {
    const int n = 37;
    std::vector<double> x = inputs(n, 99, true);
    x[0] = kSignallingNan;
    x[1] = kInf;
    x[2] = -kInf;
    x[3] = kQuietNanPayload;
    x[4] = -5.0;
    for (size_t mis : {0, 1, 8}) {
        Doubles d(n, mis);
        d.assign(x);
        ASSERT_EQ(dspslots::dspMulConstInPlace64f[slot()](1.0, d.data(), n), dspOk);
        EXPECT_TRUE(sameBits(d, x)) << "1.0 must leave every bit";

        ASSERT_EQ(dspslots::dspMulConstInPlace64f[slot()](-0.0, d.data(), n), dspOk);
        EXPECT_TRUE(sameBits(d, std::vector<double>(n, 0.0)))
            << "-0.0 must store +0.0, over Inf and NaN too";

        Doubles s(n, mis);
        s.assign(x);
        Doubles c(n, (mis + 2) % 8);
        ASSERT_EQ(dspslots::dspMulConst64f[slot()](s.data(), 1.0, c.data(), n), dspOk);
        EXPECT_TRUE(sameBits(c, x)) << "1.0 must copy exactly";
        ASSERT_EQ(dspslots::dspMulConst64f[slot()](s.data(), -0.0, c.data(), n), dspOk);
        EXPECT_TRUE(sameBits(c, std::vector<double>(n, 0.0)));

        const double nan = std::numeric_limits<double>::quiet_NaN();
        ASSERT_EQ(dspslots::dspMulConst64f[slot()](s.data(), nan, c.data(), n), dspOk);
        for (int i = 0; i < n; ++i) EXPECT_TRUE(std::isnan(c.get(i))) << i;
        d.assign(x);
        ASSERT_EQ(dspslots::dspMulConstInPlace64f[slot()](nan, d.data(), n), dspOk);
        for (int i = 0; i < n; ++i) EXPECT_TRUE(std::isnan(d.get(i))) << i;
        EXPECT_TRUE(d.guardsIntact() && c.guardsIntact());
    }
}

TEST_P(VectorTest, ArgumentChecks) {
    Doubles a(4, 0), b(4, 0);
    const double* s = a.data();
    double* d = b.data();
    struct Case {
        const char* name;
        DspStatus got, want;
    };
    const int sl = slot();
    const Case cases[] = {
        {"set null, len 0", dspslots::dspSet64f[sl](1.0, nullptr, 0), dspErrNullPtr},
        {"set len 0", dspslots::dspSet64f[sl](1.0, d, 0), dspErrSize},
        {"set len -3", dspslots::dspSet64f[sl](1.0, d, -3), dspErrSize},
        {"scale in place null, len 0", dspslots::dspMulConstInPlace64f[sl](2.0, nullptr, 0),
         dspErrNullPtr},
        {"scale in place null, value 1", dspslots::dspMulConstInPlace64f[sl](1.0, nullptr, 4),
         dspErrNullPtr},
        {"scale in place len 0, value 0", dspslots::dspMulConstInPlace64f[sl](0.0, d, 0),
         dspErrSize},
        {"scale null src, len 0", dspslots::dspMulConst64f[sl](nullptr, 2.0, d, 0), dspErrNullPtr},
        {"scale null dst, value 1", dspslots::dspMulConst64f[sl](s, 1.0, nullptr, 4),
         dspErrNullPtr},
        {"scale len 0, value 1", dspslots::dspMulConst64f[sl](s, 1.0, d, 0), dspErrSize},
        {"scale len 0, value 0", dspslots::dspMulConst64f[sl](s, 0.0, d, 0), dspErrSize},
        {"mul null src1, len 0", dspslots::dspMul64f[sl](nullptr, s, d, 0), dspErrNullPtr},
        {"mul null src2", dspslots::dspMul64f[sl](s, nullptr, d, 4), dspErrNullPtr},
        {"mul null dst", dspslots::dspMul64f[sl](s, s, nullptr, 4), dspErrNullPtr},
        {"mul len 0", dspslots::dspMul64f[sl](s, s, d, 0), dspErrSize},
        {"magnitude null, len 0: length first", dspslots::dspMagnitude64fc[sl](nullptr, nullptr, 0),
         dspErrSize},
        {"magnitude null dst", dspslots::dspMagnitude64fc[sl](s, nullptr, 1), dspErrNullPtr},
        {"magnitude null src", dspslots::dspMagnitude64fc[sl](nullptr, d, 1), dspErrNullPtr},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
    EXPECT_TRUE(b.guardsIntact());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(b.bits(i), 0x5A5A5A5A5A5A5A5Aull) << "a refused call wrote";
}

TEST_P(VectorTest, MagnitudeIsTheVectorMathEntryOfTheSlot) {
    const int n = 33;
    std::vector<double> z = inputs(2 * n, 5, true);
    z[0] = 3.0, z[1] = -4.0;
    Doubles src(2 * n, 0), viaBody(n, 0), viaEntry(n, 0);
    src.assign(z);
    ASSERT_EQ(dspslots::dspMagnitude64fc[slot()](src.data(), viaBody.data(), n),
              dspslots::dspVecAbs64fc[slot()](src.data(), viaEntry.data(), n));
    EXPECT_EQ(viaBody.get(0), 5.0);
    for (int i = 0; i < n; ++i) EXPECT_EQ(viaBody.bits(i), viaEntry.bits(i)) << i;
}

DSP_INSTANTIATE_SLOTS(VectorTest);

// ---------------------------------------------------------------------------------------------
// Store strategies.

class VectorStrategyTest : public ::testing::Test {
protected:
    void SetUp() override {
        dspTestResetCpu();
        dspTestTraceReset();
    }
    void TearDown() override { dspTestResetCpu(); }
};

constexpr int kMiB = 1024 * 1024;

TEST_F(VectorStrategyTest, FillStreamsOnlyForArraysLargerThanTheCache) {
    struct Case {
        int slot;
        int count;
        size_t misalign;
        int cache;
        bool streams;
    };
    const Case cases[] = {
        // Slot 5: above 262144 values, 8-byte aligned, larger than the cache.
        {5, 300000, 0, 1 * kMiB, true},
        {5, 300000, 0, 8 * kMiB, false},
        {5, 262144, 0, 1 * kMiB, false},
        {5, 262145, 0, 1 * kMiB, true},
        {5, 300000, 8, 1 * kMiB, true},
        {5, 300000, 4, 1 * kMiB, false},
        // Slots 1 to 4: above 131072 values (or a dst off 4 bytes), larger than the cache.
        {1, 131073, 0, 1 * kMiB, true},
        {1, 131072, 0, 1 * kMiB, false},
        {2, 200000, 8, 1 * kMiB, true},
        {3, 200000, 0, 2 * kMiB, false},
        {4, 200000, 4, 1 * kMiB, true},
        {1, 40000, 2, 256 * 1024, true},
        {1, 40000, 4, 256 * 1024, false},
        {1, 30000, 2, 256 * 1024, false},
    };
    for (const Case& c : cases) {
        if (!dspSlotSupported(c.slot)) continue;
        SCOPED_TRACE(::testing::Message() << "slot " << c.slot << ", " << c.count << " values at +"
                                          << c.misalign << ", cache " << c.cache);
        dspTestSetCacheSize(dspOk, c.cache);
        dspTestTraceReset();
        Doubles d(c.count, c.misalign);
        ASSERT_EQ(dspslots::dspSet64f[c.slot](kSignallingNan, d.data(), c.count), dspOk);
        EXPECT_EQ(dspTestTraceCount(dspTraceFillStream), c.streams ? 1 : 0);
        EXPECT_TRUE(sameBits(d, std::vector<double>(c.count, kSignallingNan)));
    }
}

TEST_F(VectorStrategyTest, ProductAndScaleStrategies) {
    struct Case {
        int slot;
        int len;
        size_t misalign;
        bool streams, prefetches;
    };
    const Case cases[] = {
        {1, 5461 * 4, 0, true, false},       {1, 5461 * 4 - 1, 0, false, false},
        {1, 5461 * 4 + 1, 8, true, false},   {1, 5461 * 4, 8, false, false},
        {1, 40000, 3, false, false},         {1, 65540, 0, true, true},
        {1, 65536, 0, true, false},          {2, 10922 * 4, 0, true, false},
        {2, 10922 * 4 - 1, 0, false, false}, {3, 10922 * 4 + 3, 0, true, false},
        {2, 131076, 0, true, true},          {3, 131072, 0, true, false},
        {3, 131077, 8, true, true},          {4, 200000, 0, false, false},
        {5, 200000, 0, false, false},
    };
    for (const Case& c : cases) {
        if (!dspSlotSupported(c.slot)) continue;
        SCOPED_TRACE(::testing::Message()
                     << "slot " << c.slot << ", " << c.len << " at +" << c.misalign);
        const std::vector<double> a = inputs(c.len, 1, true), b = inputs(c.len, 2, false);
        Doubles s1(c.len, 0), s2(c.len, 0), d(c.len, c.misalign);
        s1.assign(a);
        s2.assign(b);
        dspTestTraceReset();
        ASSERT_EQ(dspslots::dspMul64f[c.slot](s1.data(), s2.data(), d.data(), c.len), dspOk);
        EXPECT_EQ(dspTestTraceCount(dspTraceMulStream), c.streams ? 1 : 0);
        std::vector<double> want(c.len);
        for (int i = 0; i < c.len; ++i) want[i] = a[i] * b[i];
        EXPECT_TRUE(sameBits(d, want));
        // The in-place scale counts its grouped part from the 16-byte boundary.
        d.assign(a);
        ASSERT_EQ(dspslots::dspMulConstInPlace64f[c.slot](0.75, d.data(), c.len), dspOk);
        EXPECT_EQ(dspTestTraceCount(dspTraceMulPrefetch), c.prefetches ? 1 : 0);
        for (int i = 0; i < c.len; ++i) want[i] = a[i] * 0.75;
        EXPECT_TRUE(sameBits(d, want));
    }
}

}  // namespace
