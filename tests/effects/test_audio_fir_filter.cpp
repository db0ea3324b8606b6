// The FIR filter object: when it redesigns (against the design routine run directly), its fades
// (against the quarter-sine mix of dry and filtered samples), block independence, and the arrays
// it takes and refuses.
#include "effects/common/AudioFIRFilter.h"
#include "effects/common/FirDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.141592653589793;

// Two bands of a low-pass and, as gains, a shelf: 3 entries per band, -1 between.
const std::vector<float> kBands = {0, 4000, -1, 6000, 22050};
const std::vector<float> kGains = {1, 1, -1, 0.1f, 0.1f};
const std::vector<float> kOtherGains = {0.5f, 0.5f, -1, 1, 1};
const std::vector<float> kWeights = {1, 1, -1, 10, 10};

// A one-dimensional VT_R4 array of the values from lower bound `lower`; the test destroys it.
struct Array {
    explicit Array(const std::vector<float>& v, LONG lower = 0) {
        SAFEARRAYBOUND bound = {static_cast<ULONG>(v.size()), lower};
        sa = SafeArrayCreate(VT_R4, 1, &bound);
        void* data = nullptr;
        if (!v.empty() && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
            std::copy(v.begin(), v.end(), static_cast<float*>(data));
            SafeArrayUnaccessData(sa);
        }
    }
    ~Array() { SafeArrayDestroy(sa); }
    SAFEARRAY* sa;
};

std::vector<float> Read(SAFEARRAY* sa) {
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(sa, 1, &lower);
    SafeArrayGetUBound(sa, 1, &upper);
    EXPECT_EQ(lower, 0);
    std::vector<float> v(static_cast<size_t>(upper - lower + 1));
    void* data = nullptr;
    if (!v.empty() && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
        std::copy_n(static_cast<float*>(data), v.size(), v.begin());
        SafeArrayUnaccessData(sa);
    }
    SafeArrayDestroy(sa);
    return v;
}

// Sets the three arrays and initialises.
void Load(CAudioFIRFilter& f, const std::vector<float>& gains = kGains) {
    ASSERT_EQ(f.put_Bands(Array(kBands).sa), 0);
    ASSERT_EQ(f.put_Gains(Array(gains).sa), 0);
    ASSERT_EQ(f.put_Weights(Array(kWeights).sa), 0);
    ASSERT_EQ(f.Initialise(), 0);
}

std::vector<double> Designed(int taps, const std::vector<float>& gains = kGains) {
    FirTaps t(taps);
    DesignFirFromBands(t, kBands.data(), gains.data(), kWeights.data(),
                       static_cast<int>(kBands.size()), kRate);
    return std::vector<double>(t.taps.begin(), t.taps.begin() + taps);
}

std::vector<double> Taps(const CAudioFIRFilter& f) {
    return std::vector<double>(f.Section().Taps(), f.Section().Taps() + f.Section().TapCount());
}

std::vector<double> Noise(size_t n, unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<double> x(n);
    for (double& v : x) v = u(gen);
    return x;
}

std::vector<double> Filter(CAudioFIRFilter& f, const std::vector<double>& x, int last = 0) {
    std::vector<double> y(x.size(), -9.0);
    EXPECT_EQ(f.Process(x.data(), y.data(), static_cast<UINT>(x.size() * 8), last, kRate), 0);
    return y;
}

// y[n] = sum of h[k] x[n-k] over the whole signal from silence, with taps[n] the taps at n.
std::vector<double> Convolve(const std::vector<double>& x,
                             const std::vector<const std::vector<double>*>& taps) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n) {
        const std::vector<double>& h = *taps[n];
        for (size_t k = 0; k < h.size() && k <= n; ++k) y[n] += h[k] * x[n - k];
    }
    return y;
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tol) << "at " << i;
}

TEST(AudioFIRFilter, Defaults) {
    CAudioFIRFilter f;
    LONG order = 0, left = 0, right = 0;
    VARIANT_BOOL smooth = 0;
    EXPECT_EQ(f.get_Order(&order), 0);
    EXPECT_EQ(f.get_LeftFadeTime(&left), 0);
    EXPECT_EQ(f.get_RightFadeTime(&right), 0);
    EXPECT_EQ(f.get_SmoothChanges(&smooth), 0);
    EXPECT_EQ(order, 50);
    EXPECT_EQ(left, 20);
    EXPECT_EQ(right, 20);
    EXPECT_EQ(smooth, VARIANT_TRUE);
    EXPECT_TRUE(f.Dirty());
    EXPECT_EQ(f.put_Order(5), 0);
    EXPECT_EQ(f.get_Order(&order), 0);
    EXPECT_EQ(order, 10);
    EXPECT_EQ(f.get_Order(nullptr), 8);
    EXPECT_EQ(f.get_SmoothChanges(nullptr), 8);
    EXPECT_EQ(f.get_Bands(nullptr), 8);
}

TEST(AudioFIRFilter, FadesAfterARedesignAndAtTheLastBlock) {
    // Head and tail fade from the dry input into the filtered output over
    // min(floor(20 ms x fs), block / 10) samples each.
    for (size_t n : {size_t{44100}, size_t{1000}}) {
        SCOPED_TRACE(n);
        const size_t fade = n == 44100 ? 882 : 100;
        const std::vector<double> x = Noise(n);
        CAudioFIRFilter plain, faded;
        Load(plain);
        Load(faded);
        plain.put_SmoothChanges(VARIANT_FALSE);
        const std::vector<double> filtered = Filter(plain, x, 1);
        const std::vector<double> y = Filter(faded, x, 1);
        std::vector<double> want = filtered;
        for (size_t i = 0; i < fade; ++i) {
            const double w = std::sin(static_cast<double>(i) * kPi / (2.0 * fade));
            want[i] = (1.0 - w) * x[i] + w * filtered[i];
            const size_t t = n - fade + i;
            want[t] = w * x[t] + (1.0 - w) * filtered[t];
        }
        ExpectNear(y, want, 1e-15);
        // Neither dirty nor last: no fade at all.
        const std::vector<double> x2 = Noise(n, 2);
        ExpectNear(Filter(faded, x2), Filter(plain, x2), 0.0);
    }
}

TEST(AudioFIRFilter, OnlyGainsAndInitialiseRedesign) {
    CAudioFIRFilter f;
    Load(f);
    const std::vector<double> x = Noise(64);
    Filter(f, x);
    EXPECT_EQ(Taps(f), Designed(50));
    EXPECT_FALSE(f.Dirty());
    // New bands and weights wait for the next redesign.
    EXPECT_EQ(f.put_Bands(Array({0, 1000, -1, 3000, 22050}).sa), 0);
    EXPECT_EQ(f.put_Weights(Array({1, 1, -1, 1, 1}).sa), 0);
    EXPECT_FALSE(f.Dirty());
    Filter(f, x);
    EXPECT_EQ(Taps(f), Designed(50));
    EXPECT_EQ(f.put_Bands(Array(kBands).sa), 0);
    EXPECT_EQ(f.put_Weights(Array(kWeights).sa), 0);
    EXPECT_EQ(f.put_Gains(Array(kOtherGains).sa), 0);
    EXPECT_TRUE(f.Dirty());
    Filter(f, x);
    EXPECT_EQ(Taps(f), Designed(50, kOtherGains));
    // A mismatched Initialise answers 8 and still marks a redesign.
    EXPECT_EQ(f.put_Weights(Array({1, 1, 1}).sa), 0);
    EXPECT_EQ(f.Initialise(), 8);
    EXPECT_TRUE(f.Dirty());
}

TEST(AudioFIRFilter, WithoutFadesTheTapsSwitchAtTheBlockBoundary) {
    CAudioFIRFilter f;
    f.put_SmoothChanges(VARIANT_FALSE);
    Load(f);
    const std::vector<double> x = Noise(300);
    const std::vector<double> a(x.begin(), x.begin() + 150), b(x.begin() + 150, x.end());
    std::vector<double> y = Filter(f, a);
    f.put_Gains(Array(kOtherGains).sa);
    const std::vector<double> y2 = Filter(f, b, 1);
    y.insert(y.end(), y2.begin(), y2.end());
    const std::vector<double> first = Designed(50), second = Designed(50, kOtherGains);
    std::vector<const std::vector<double>*> taps(300, &first);
    std::fill(taps.begin() + 150, taps.end(), &second);
    ExpectNear(y, Convolve(x, taps), 1e-14);
}

TEST(AudioFIRFilter, TwoBlocksOfOneHundredAreOneOfTwoHundred) {
    const std::vector<double> x = Noise(200);
    CAudioFIRFilter whole, split;
    for (CAudioFIRFilter* f : {&whole, &split}) {
        f->put_SmoothChanges(VARIANT_FALSE);
        Load(*f);
    }
    std::vector<double> y = Filter(split, {x.begin(), x.begin() + 100});
    const std::vector<double> y2 = Filter(split, {x.begin() + 100, x.end()});
    y.insert(y.end(), y2.begin(), y2.end());
    EXPECT_EQ(y, Filter(whole, x));
}

TEST(AudioFIRFilter, NoUsableDesignCopiesTheInput) {
    // Never initialised; then a failed Initialise after arrays shrank under a design count of 10.
    const std::vector<double> x = Noise(500);
    CAudioFIRFilter f;
    EXPECT_EQ(Filter(f, x), x);
    const std::vector<float> ten = {0, 100, 200, 300, 400, 500, 600, 700, 800, 900};
    EXPECT_EQ(f.put_Bands(Array(ten).sa), 0);
    EXPECT_EQ(f.put_Gains(Array(std::vector<float>(10, 1.0f)).sa), 0);
    EXPECT_EQ(f.put_Weights(Array(std::vector<float>(10, 1.0f)).sa), 0);
    EXPECT_EQ(f.Initialise(), 0);
    EXPECT_EQ(f.put_Bands(Array({0, 100, 200, 300, 400}).sa), 0);
    EXPECT_EQ(f.put_Gains(Array({1, 1, 1, 1, 1}).sa), 0);
    EXPECT_EQ(f.put_Weights(Array({1, 1, 1, 1}).sa), 0);
    EXPECT_EQ(f.Initialise(), 8);
    EXPECT_EQ(Filter(f, x), x);
    // Without a new Initialise the shorter arrays are never designed over.
    EXPECT_EQ(f.put_Weights(Array({1, 1, 1, 1, 1}).sa), 0);
    EXPECT_EQ(Filter(f, x), x);
}

TEST(AudioFIRFilter, NewOrderIsDesignedAtTheNextBlock) {
    CAudioFIRFilter f;
    f.put_SmoothChanges(VARIANT_FALSE);
    Load(f);
    const std::vector<double> x = Noise(400);
    Filter(f, x);
    EXPECT_EQ(f.put_Order(60), 0);
    EXPECT_TRUE(f.Dirty());
    const std::vector<double> y = Filter(f, x);
    const std::vector<double> h = Designed(60);
    EXPECT_EQ(Taps(f), h);
    // From silence: the history went with the old order.
    ExpectNear(y, Convolve(x, std::vector<const std::vector<double>*>(x.size(), &h)), 1e-14);
}

TEST(AudioFIRFilter, ArraysOfAnyLowerBoundInOthersRefused) {
    CAudioFIRFilter f;
    EXPECT_EQ(f.put_Bands(Array({1, 2, 3}, 7).sa), 0);
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(f.get_Bands(&out), 0);
    EXPECT_EQ(Read(out), (std::vector<float>{1, 2, 3}));
    ASSERT_EQ(f.get_Weights(&out), 0);
    EXPECT_TRUE(Read(out).empty());

    SAFEARRAYBOUND square[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* twoD = SafeArrayCreate(VT_R4, 2, square);
    SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 3);
    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 0, 3);
    for (SAFEARRAY* bad : {twoD, doubles, longs, static_cast<SAFEARRAY*>(nullptr)}) {
        EXPECT_EQ(f.put_Bands(bad), 8);
        EXPECT_EQ(f.put_Gains(bad), 8);
        EXPECT_EQ(f.put_Weights(bad), 8);
    }
    for (SAFEARRAY* sa : {twoD, doubles, longs}) SafeArrayDestroy(sa);
    ASSERT_EQ(f.get_Bands(&out), 0);
    EXPECT_EQ(Read(out), (std::vector<float>{1, 2, 3}));
}

}  // namespace
