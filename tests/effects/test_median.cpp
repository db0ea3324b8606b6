// The median effect. Its keys and framing on one channel filter; refused values; allocations
// that fail; a channel whose transforms are refused passes its input through. Then the channel
// filter against a plain whole-signal model (zeros in front, naive DFT in long double, per bin the
// causal median by nth_element, naive inverse, overlap-add, drop, trim) over masks, windows,
// overlaps, bin ranges and block splits; and the effect through its COM class: a steady tone,
// clicks on it and on silence, a burst that lasts, every layout, strengths and a seek.
#include "tests/effects/harness.h"

#include "corvane/dsp.h"
#include "effects/MedianFilter.h"
#include "effects/common/SpectralWindow.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <utility>

namespace corvane::testing {
namespace {

using Channel = std::vector<double>;
using Complex = std::complex<long double>;

// ---------------------------------------------------------------------------------------------
// Transforms

// Radix-2 DFT in long double (n a power of two); sign -1 forward, +1 inverse (unscaled).
void Dft(std::vector<Complex>& a, int sign) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    const long double pi = 3.141592653589793238462643383279502884L;
    for (size_t len = 2; len <= n; len <<= 1) {
        for (size_t k = 0; k < len / 2; ++k) {
            const long double angle = sign * 2.0L * pi * k / len;
            const Complex w(std::cos(angle), std::sin(angle));
            for (size_t i = 0; i < n; i += len) {
                const Complex u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The model

struct Config {
    int maskSize = 7;
    int blockSize = 2048;
    int overlapMode = 1;
    double overlapSize = 0.5;
    int startBin = 0, endBin = -1;  // -1: every bin
    int windowType = 1;
};

Params ParamsOf(const Config& c) {
    Params p;
    p.Set(OLESTR("MaskSize"), c.maskSize)
        .Set(OLESTR("FFTBlockSize"), c.blockSize)
        .Set(OLESTR("OverlapMode"), c.overlapMode)
        .Set(OLESTR("OverlapSize"), c.overlapSize)
        .Set(OLESTR("StartBin"), c.startBin)
        .Set(OLESTR("WindowType"), c.windowType);
    if (c.endBin >= 0) p.Set(OLESTR("EndBin"), c.endBin);
    return p;
}

// The effect on a whole channel, written plainly from its definition.
Channel MedianModel(const Config& c, const Channel& x) {
    const int n = c.blockSize, half = n / 2;
    const int mask = std::min(2 * c.maskSize - 1, 2048);
    const int m = mask % 2 ? mask : mask - 1;  // the running median's window
    // Framing.
    double size = c.overlapSize;
    std::vector<double> w(static_cast<size_t>(n), 1.0);
    if (c.windowType != 0) MakeWindow(c.windowType, w.data(), n, nullptr);
    if (c.overlapMode == 1) MakeWindow(c.windowType, nullptr, n, &size);
    int overlap = c.overlapMode < 1 ? 0 : static_cast<int>(std::lround(n * size));
    double factor = 1.0;
    int hop = n;
    if (overlap >= 1) {
        factor = static_cast<double>(n - overlap) / n;
        hop = n - overlap;
    }
    const int skip = static_cast<int>(std::lround(1.0 / factor));
    const int first = std::clamp(c.startBin, 0, half + 1);
    const int end = std::clamp(c.endBin < 0 ? half + 1 : c.endBin, first, half + 1);
    long double windowSum = 0.0L;
    for (double v : w) windowSum += v;

    // N zeros in front; frames every hop while they hold a sample.
    Channel v(static_cast<size_t>(n), 0.0);
    v.insert(v.end(), x.begin(), x.end());
    const int64_t length = static_cast<int64_t>(v.size());
    std::vector<std::vector<Complex>> spectra;
    std::vector<std::vector<long double>> mags;
    for (int64_t start = 0; start < length; start += hop) {
        std::vector<Complex> a(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const int64_t at = start + i;
            a[static_cast<size_t>(i)] = at < length ? v[static_cast<size_t>(at)] * w[i] : 0.0;
        }
        Dft(a, -1);
        std::vector<long double> mag(static_cast<size_t>(half + 1));
        for (int b = 0; b <= half; ++b) mag[static_cast<size_t>(b)] = std::abs(a[b]);
        spectra.push_back(std::move(a));
        mags.push_back(std::move(mag));
    }
    const int frames = static_cast<int>(spectra.size());
    // Per bin, the causal median of the last m magnitudes; before the first frame that takes
    // part, that frame's own magnitude.
    for (int b = first; b < end; ++b) {
        for (int f = skip; f < frames; ++f) {
            std::vector<long double> window;
            for (int k = f - m + 1; k <= f; ++k) window.push_back(mags[std::max(k, skip)][b]);
            std::nth_element(window.begin(), window.begin() + m / 2, window.end());
            const long double mag = mags[f][b], full = window[static_cast<size_t>(m / 2)];
            const long double med = int64_t{f} * hop + n > length ? std::min(full, mag) : full;
            if (mag > CMedianChannelFilter::kMinMagnitude) {
                spectra[f][b] *= med / mag;
                if (b > 0 && b < half) spectra[f][n - b] = std::conj(spectra[f][b]);
            }
        }
    }
    // Inverse, overlap-add, drop N, trim.
    std::vector<long double> sum(static_cast<size_t>(length + 2 * n), 0.0L);
    for (int f = 0; f < frames; ++f) {
        std::vector<Complex>& a = spectra[f];
        a[0] = a[0].real();
        a[half] = a[half].real();
        Dft(a, +1);
        for (int i = 0; i < n; ++i) {
            sum[static_cast<size_t>(f) * hop + i] += a[i].real() / windowSum;
        }
    }
    Channel y(x.size());
    for (size_t i = 0; i < y.size(); ++i) {
        y[i] = static_cast<double>(sum[i + static_cast<size_t>(n)] * factor);
    }
    return y;
}

// A test signal: noise with clicks, in [-0.5, 0.5].
Channel Noisy(size_t length) {
    Channel x(length);
    uint32_t state = 12345;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        x[i] = 0.3 * ((state >> 8) / 16777216.0 - 0.5) + 0.2 * std::sin(0.05 * i);
        if (i % 397 == 50) x[i] = 0.5;
    }
    return x;
}

// ---------------------------------------------------------------------------------------------
// One channel filter

// The library entry point a Probe refuses as an order not built (-15) would be.
enum class Refused { kNothing, kSizeQuery, kSetUp, kForward, kInverse };

// The channel filter with its allocations countable, an allocation failure and a refused
// transform injectable.
class Probe : public CMedianChannelFilter {
public:
    using CMedianChannelFilter::CMedianChannelFilter;

    // Runs one block (last: the stream ends with it), as the block loop does.
    Channel Run(const Channel& x, bool last) {
        const int n = static_cast<int>(x.size());
        EnsureBuffers(n);
        std::copy(x.begin(), x.end(), m_pIn);
        const int got = ProcessChannel(n, last ? 1 : 0);
        m_bRestart = false;
        return Channel(m_pOut, m_pOut + std::max(got, 0));
    }
    // The whole signal in blocks of `block` samples (0: in one).
    Channel RunAll(const Channel& x, size_t block) {
        if (block == 0) block = x.size();
        Channel y;
        for (size_t at = 0; at < x.size(); at += block) {
            const size_t end = std::min(x.size(), at + block);
            const Channel part = Run(Channel(x.begin() + at, x.begin() + end), end == x.size());
            y.insert(y.end(), part.begin(), part.end());
        }
        return y;
    }

    int allocations = 0;
    int failAt = -1;  // this allocation fails
    Refused refused = Refused::kNothing;

protected:
    void* AllocateBlock(size_t bytes) override {
        if (allocations++ == failAt) return nullptr;
        return CMedianChannelFilter::AllocateBlock(bytes);
    }
    DspStatus TransformSizes(int order, int* spec, int* setup, int* work) override {
        if (refused == Refused::kSizeQuery) return dspErrFftOrder;
        return CMedianChannelFilter::TransformSizes(order, spec, setup, work);
    }
    DspStatus TransformSetUp(DspFftSpecReal64f** spec, int order, BYTE* mem, BYTE* setup) override {
        if (refused == Refused::kSetUp) return dspErrFftOrder;
        return CMedianChannelFilter::TransformSetUp(spec, order, mem, setup);
    }
    DspStatus Forward(const double* src, double* dst, const DspFftSpecReal64f* spec,
                      BYTE* work) override {
        if (refused == Refused::kForward) return dspErrFftOrder;
        return CMedianChannelFilter::Forward(src, dst, spec, work);
    }
    DspStatus Inverse(const double* src, double* dst, const DspFftSpecReal64f* spec,
                      BYTE* work) override {
        if (refused == Refused::kInverse) return dspErrFftOrder;
        return CMedianChannelFilter::Inverse(src, dst, spec, work);
    }
};

using Rig = ChannelRig<CMedianFilter, Probe>;

class MedianChannel : public EffectHarness {};

TEST_F(MedianChannel, KeysAndFraming) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        Params params;
        int mask, batch, n, order, overlap, hop;
        double factor;
        int start, end, skip;
    };
    const auto with = [](auto key, auto value) { return Params().Set(key, value); };
    const Case cases[] = {
        {"defaults", Params(), 13, 26, 2048, 11, 1024, 1024, 0.5, 0, 1025, 2},
        {"rectangular", with(OLESTR("WindowType"), 0), 13, 26, 2048, 11, 0, 2048, 1.0, 0, 1025, 1},
        {"flat top", with(OLESTR("WindowType"), 7), 13, 26, 2048, 11, 1722, 326, 326.0 / 2048, 0,
         1025, 6},
        {"MaskSize 2000", with(OLESTR("MaskSize"), 2000), 2048, 4096, 2048, 11, 1024, 1024, 0.5, 0,
         1025, 2},
        {"MaskSize 1", with(OLESTR("MaskSize"), 1), 1, 2, 2048, 11, 1024, 1024, 0.5, 0, 1025, 2},
        {"StartBin above EndBin", Params().Set(OLESTR("StartBin"), 30).Set(OLESTR("EndBin"), 20),
         13, 26, 2048, 11, 1024, 1024, 0.5, 30, 30, 2},
        {"bins clamped", Params().Set(OLESTR("StartBin"), -5).Set(OLESTR("EndBin"), 5000), 13, 26,
         2048, 11, 1024, 1024, 0.5, 0, 1025, 2},
        {"OverlapMode 0 ignores the window",
         Params().Set(OLESTR("OverlapMode"), 0).Set(OLESTR("WindowType"), 1), 13, 26, 2048, 11, 0,
         2048, 1.0, 0, 1025, 1},
        {"OverlapSize 0.25",
         Params().Set(OLESTR("OverlapMode"), 2).Set(OLESTR("OverlapSize"), 0.25), 13, 26, 2048, 11,
         512, 1536, 0.75, 0, 1025, 1},
        {"FFTBlockSize 16", with(OLESTR("FFTBlockSize"), 16), 13, 26, 16, 4, 8, 8, 0.5, 0, 9, 2},
        {"FFTBlockSize 65536", with(OLESTR("FFTBlockSize"), 65536), 13, 26, 65536, 16, 32768, 32768,
         0.5, 0, 32769, 2},
        // Refused values keep what was there.
        {"MaskSize 0", with(OLESTR("MaskSize"), 0), 13, 26, 2048, 11, 1024, 1024, 0.5, 0, 1025, 2},
        {"MaskSize -3", with(OLESTR("MaskSize"), -3), 13, 26, 2048, 11, 1024, 1024, 0.5, 0, 1025,
         2},
        {"MaskSize 2^30 + 5", with(OLESTR("MaskSize"), (1 << 30) + 5), 2048, 4096, 2048, 11, 1024,
         1024, 0.5, 0, 1025, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(doubles, c.params, 44100);
        const Probe& f = rig.channel;
        EXPECT_EQ(f.Mask(), c.mask);
        EXPECT_EQ(f.Batch(), c.batch);
        EXPECT_EQ(f.BlockSize(), c.n);
        EXPECT_EQ(f.Order(), c.order);
        EXPECT_EQ(f.Overlap(), c.overlap);
        EXPECT_EQ(f.Hop(), c.hop);
        EXPECT_DOUBLE_EQ(f.OutputFactor(), c.factor);
        EXPECT_EQ(f.StartBin(), c.start);
        EXPECT_EQ(f.EndBin(), c.end);
        EXPECT_EQ(f.BinCount(), c.end - c.start);
        EXPECT_EQ(f.LeadingFrames(), c.skip);
    }
    // Refused overlaps and block sizes: the frames would never advance, run outside their
    // buffers or fall out of step with the window. The defaults stay, and a stream through the
    // filter ends.
    const auto overlapSize = [](double v) {
        return Params().Set(OLESTR("OverlapMode"), 2).Set(OLESTR("OverlapSize"), v);
    };
    const auto blockSize = [](int v) {
        return Params().Set(OLESTR("OverlapMode"), 2).Set(OLESTR("FFTBlockSize"), v);
    };
    const std::pair<const char*, Params> refused[] = {
        {"OverlapSize 1 - 1/8192", overlapSize(1.0 - 1.0 / 8192)},
        {"OverlapSize 1", overlapSize(1.0)},
        {"OverlapSize 1.5", overlapSize(1.5)},
        {"OverlapSize -0.1", overlapSize(-0.1)},
        {"OverlapSize NaN", overlapSize(nan)},
        {"OverlapSize 1e300", overlapSize(1e300)},
        {"FFTBlockSize 3000", blockSize(3000)},
        {"FFTBlockSize 1", blockSize(1)},
        {"FFTBlockSize 0", blockSize(0)},
        {"FFTBlockSize 131072", blockSize(131072)},
        {"FFTBlockSize -2048", blockSize(-2048)},
    };
    for (const auto& [name, params] : refused) {
        SCOPED_TRACE(name);
        Rig rig(doubles, params, 44100);
        EXPECT_EQ(rig.channel.BlockSize(), 2048);
        EXPECT_EQ(rig.channel.EndBin(), 1025);
        EXPECT_DOUBLE_EQ(rig.channel.OverlapSize(), 0.5);
        EXPECT_EQ(rig.channel.Hop(), 1024);
        EXPECT_EQ(rig.channel.Run(Noisy(5000), true).size(), 5000u);
    }
}

TEST_F(MedianChannel, FailedAllocationsRaiseOutOfMemoryAndRecover) {
    const Config c{3, 16, 1, 0.5, 0, -1, 1};
    const Channel x = Noisy(300);
    Rig counting(doubles, ParamsOf(c), 44100);
    const Channel whole = counting.channel.Run(x, true);
    const int total = counting.channel.allocations;
    ASSERT_GT(total, 10);
    for (int k = 0; k < total; ++k) {
        SCOPED_TRACE(::testing::Message() << "allocation " << k << " of " << total);
        Rig rig(doubles, ParamsOf(c), 44100);
        rig.channel.failAt = k;
        HRESULT hr = S_OK;
        try {
            rig.channel.Run(x, true);
        } catch (HRESULT thrown) {
            hr = thrown;
        }
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        // The next block builds what is missing and gives what a fresh filter gives.
        rig.channel.Restart();
        EXPECT_EQ(rig.channel.Run(x, true), whole);
    }
}

TEST_F(MedianChannel, RefusedTransformPassesTheInputThrough) {
    // Without the transforms the spectra would stay unset: the input passes through, count
    // unchanged. Once the library answers again, the next restart (a seek) filters.
    const std::pair<const char*, Refused> refusals[] = {{"size query", Refused::kSizeQuery},
                                                        {"set-up", Refused::kSetUp},
                                                        {"forward", Refused::kForward},
                                                        {"inverse", Refused::kInverse}};
    const Channel x = Noisy(5000);
    for (int n : {16, 2048}) {
        const Params params = Params().Set(OLESTR("FFTBlockSize"), n);
        Rig fresh(doubles, params, 44100);
        const Channel filtered = fresh.channel.RunAll(x, 0);
        for (const auto& [name, refused] : refusals) {
            SCOPED_TRACE(::testing::Message() << "N " << n << ", refused " << name);
            Rig rig(doubles, params, 44100);
            rig.channel.refused = refused;
            Channel y = rig.channel.Run(Channel(x.begin(), x.begin() + 1234), false);
            EXPECT_TRUE(rig.channel.PassingThrough());
            const Channel rest = rig.channel.Run(Channel(x.begin() + 1234, x.end()), true);
            y.insert(y.end(), rest.begin(), rest.end());
            EXPECT_EQ(y, x);
            rig.channel.refused = Refused::kNothing;
            rig.channel.Restart();
            EXPECT_EQ(rig.channel.RunAll(x, 0), filtered);
            EXPECT_FALSE(rig.channel.PassingThrough());
        }
    }
}

// Bins of a magnitude up to kMinMagnitude are left as they are. An impulse in the fourth of
// 8-sample frames (the first two silent ones take part): each of its bins has that height, and
// their running median over three frames is 0.
TEST_F(MedianChannel, BinsUpToTheSmallestMagnitudeStay) {
    const double edge = CMedianChannelFilter::kMinMagnitude;
    const struct {
        double height;
        bool stays;
    } cases[] = {{edge, true}, {edge / 2, true}, {std::nextafter(edge, 1.0), false}};
    const Params params = Params()
                              .Set(OLESTR("FFTBlockSize"), 8)
                              .Set(OLESTR("WindowType"), 0)
                              .Set(OLESTR("OverlapMode"), 0)
                              .Set(OLESTR("MaskSize"), 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.height);
        Rig rig(doubles, params, 44100);
        Channel x(32, 0.0);
        x[16] = c.height;
        const Channel y = rig.channel.Run(x, true);
        ASSERT_EQ(y.size(), x.size());
        EXPECT_NEAR(y[16], c.stays ? c.height : 0.0, edge * 1e-6);
    }
}

// Frames of 8, 16 and 64 samples.
class MedianModelCheck : public MedianChannel, public ::testing::WithParamInterface<int> {};

TEST_P(MedianModelCheck, MatchesTheModel) {
    const int n = GetParam();
    const Channel x = Noisy(5000);
    int runs = 0;
    {
        for (int maskSize : {1, 2, 4}) {
            for (int windowType : {0, 1, 7, 16}) {
                for (int mode : {0, 1, 2}) {
                    for (bool someBins : {false, true}) {
                        Config c;
                        c.blockSize = n;
                        c.maskSize = maskSize;
                        c.windowType = windowType;
                        c.overlapMode = mode;
                        c.overlapSize = 0.25;
                        if (someBins) c.startBin = 3, c.endBin = 20;
                        const Channel want = MedianModel(c, x);
                        for (size_t block : {size_t{1}, size_t{37}, size_t{4410}, size_t{0}}) {
                            SCOPED_TRACE(::testing::Message()
                                         << "N " << n << " mask " << 2 * maskSize - 1 << " window "
                                         << windowType << " mode " << mode << " bins "
                                         << (someBins ? "3..20" : "all") << " block " << block);
                            Rig rig(doubles, ParamsOf(c), 44100);
                            const Channel got = rig.channel.RunAll(x, block);
                            ASSERT_EQ(got.size(), want.size());
                            double worst = 0.0;
                            for (size_t i = 0; i < got.size(); ++i) {
                                worst = std::max(worst, std::fabs(got[i] - want[i]));
                            }
                            ASSERT_LE(worst, 1e-9);
                            // After its last block the filter starts over by itself.
                            if (block == 37) {
                                ASSERT_EQ(rig.channel.RunAll(x, block), got);
                            }
                            ++runs;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(runs, 288);
}

INSTANTIATE_TEST_SUITE_P(FrameLengths, MedianModelCheck, ::testing::Values(8, 16, 64));

// ---------------------------------------------------------------------------------------------
// Through the COM class

class MedianEffect : public EffectHarness {
protected:
    // One channel at 44100 Hz of these values.
    static Signal Mono(const Channel& x) {
        Signal s = VariedSignal(1, 44100, 0.0);
        s.samples.clear();
        for (double v : x) s.samples.push_back(ToPcm16(v));
        return s;
    }
    Channel Through(const EffectSetup& setup, const Channel& x) {
        const RunOutput out = Run(setup, Mono(x), AllReadPlans()[1]);
        EXPECT_EQ(out.hr, S_OK);
        EXPECT_TRUE(out.ended);
        Channel y;
        for (int16_t v : out.samples) y.push_back(v / 32768.0);
        return y;
    }
};

double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}

double Rms(const Channel& x, size_t from, size_t to) {
    double s = 0.0;
    for (size_t i = from; i < to; ++i) s += x[i] * x[i];
    return std::sqrt(s / static_cast<double>(to - from));
}

// A sine centred on bin `bin` of 2048-sample frames, amplitude a, over `length` samples.
Channel BinSine(int bin, double a, size_t length) {
    Channel x(length);
    for (size_t i = 0; i < length; ++i)
        x[i] = a * std::sin(2.0 * 3.14159265358979323846 * bin * i / 2048.0);
    return x;
}

TEST_F(MedianEffect, ToneStaysClicksGoBurstsStay) {
    const size_t length = 44100 * 3;
    const Channel tone = BinSine(64, 0.25, length);
    for (int windowType : {0, 1}) {
        SCOPED_TRACE(windowType == 0 ? "rectangular" : "Hann, 50 %");
        EffectSetup setup = Effect(CLSID_MedianFilter5);
        setup.params.Set(OLESTR("WindowType"), windowType);
        const Channel clean = Through(setup, tone);
        ASSERT_EQ(clean.size(), length);
        // The steady part: away from the start and the end of the stream.
        EXPECT_NEAR(Db(Rms(clean, 8192, length - 8192) / Rms(tone, 8192, length - 8192)), 0.0, 0.1);

        // A one-sample click in the middle.
        Channel clicked = tone;
        const size_t at = length / 2 + 123;
        clicked[at] += 0.5;
        const Channel out = Through(setup, clicked);
        ASSERT_EQ(out.size(), length);
        double left = 0.0;
        for (size_t i = 0; i < length; ++i) left += (out[i] - clean[i]) * (out[i] - clean[i]);
        EXPECT_LE(Db(std::sqrt(left) / 0.5), -20.0);

        // A burst in another bin that lasts mask frames takes over the median: it stays.
        Channel burst = tone;
        const size_t from = 40 * 2048, to = from + 13 * 2048;
        const Channel other = BinSine(300, 0.2, length);
        for (size_t i = from; i < to; ++i) burst[i] += other[i];
        const Channel kept = Through(setup, burst);
        ASSERT_EQ(kept.size(), length);
        Channel diff(length), want(length);
        for (size_t i = 0; i < length; ++i) diff[i] = kept[i] - clean[i], want[i] = other[i];
        const size_t settled = from + 8 * 2048;
        EXPECT_NEAR(Db(Rms(diff, settled, to - 2048) / Rms(want, settled, to - 2048)), 0.0, 1.0);
    }
    // A click on silence vanishes.
    Channel silence(44100, 0.0);
    silence[20000] = 0.5;
    const Channel quiet = Through(Effect(CLSID_MedianFilter5), silence);
    ASSERT_EQ(quiet.size(), silence.size());
    for (double v : quiet) ASSERT_LT(std::fabs(v), 2.0 / 32768.0);
}

// At the defaults, and with frames of 8 samples.
class MedianLayouts : public MedianEffect, public ::testing::WithParamInterface<int> {};

TEST_P(MedianLayouts, EveryLayoutStrengthsAndSeek) {
    Config c;  // the defaults but the frame length
    c.blockSize = GetParam();
    const Model model = PerChannelModel([c](const Channel& x, int) { return MedianModel(c, x); });
    EffectSetup setup = Effect(CLSID_MedianFilter5);
    setup.params.Set(OLESTR("FFTBlockSize"), c.blockSize);
    // Length out = in for every layout, inside zones the rest in place.
    ExpectModelInEveryLayout(setup, model, 1, nullptr, c.blockSize);
    {
        SCOPED_TRACE("left strength 0");
        EffectSetup dryLeft = setup;
        SetStrengths(dryLeft.params, 0.0, 1.0, 1.0);
        const Signal in = VariedSignal(2, 16000, 700.0);
        ExpectOutput(dryLeft, in, Expected(in, {}, WithStrengths(model, 0.0, 1.0, 1.0)), 1);
    }
    {
        SCOPED_TRACE("zone 1000:2000");
        EffectSetup zoned = setup;
        zoned.zones = {{1000.0, 2000.0}};
        const Signal in = VariedSignal(2, 8000, 4000.0);
        ExpectOutput(zoned, in, Expected(in, zoned.zones, model, c.blockSize), 1);
    }
    for (const double to : {0.0, 210.0}) {
        SCOPED_TRACE(::testing::Message() << "seek to " << to);
        const Signal in = VariedSignal(2, 16000, 700.0);
        Signal rest = in;
        rest.samples.erase(rest.samples.begin(),
                           rest.samples.begin() + static_cast<size_t>(to * 16) * 2);
        const SeekPoint seek{300.0, to};
        ExpectOutput(setup, in, model(rest), 1, &seek);
    }
}

INSTANTIATE_TEST_SUITE_P(FrameLengths, MedianLayouts, ::testing::Values(8, 2048));

}  // namespace
}  // namespace corvane::testing
