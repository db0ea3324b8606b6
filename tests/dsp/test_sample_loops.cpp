// The effects' sample loops in every slot: phase inversion and the Q8 gain of each range against
// their plain 64-bit forms, the reversal of frames against std::reverse, a channel's samples to
// doubles and back against the plain arithmetic, and the FIR sums against the plain sum in the
// same order, bit for bit, over every length around the vector groups and touching nothing
// outside the range.
#include "tests/dsp/slots.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

int16_t saturated(int64_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

class SampleLoops : public DspSlotTest {};

TEST_P(SampleLoops, EveryLengthAgainstThePlainForm) {
    struct Row {
        std::string what;
        std::function<void(int16_t*, int64_t)> run;
        std::function<int16_t(int16_t)> want;
    };
    const int s = slot();
    const auto gain = [s](int32_t g) {
        return Row{"gain " + std::to_string(g),
                   [s, g](int16_t* x, int64_t n) { dspslots::dspMulQ8InPlace16s[s](x, n, g); },
                   [g](int16_t v) { return saturated((int64_t{v} * g + 128) >> 8); }};
    };
    const Row rows[] = {
        {"negate", [s](int16_t* x, int64_t n) { dspslots::dspNegateInPlace16s[s](x, n); },
         [](int16_t v) { return saturated(-int64_t{v}); }},
        gain(256),
        gain(-181),
        gain(32767),
        gain(-32768),
        gain(40000),
        gain(-65535),
        gain(70000),
        gain(INT32_MIN),
        gain(INT32_MAX)};
    std::mt19937 random(3);
    std::vector<int16_t> in(48);
    for (int16_t& v : in) v = static_cast<int16_t>(random());
    const int16_t extremes[] = {-32768, 32767, -32767, 0, -1, 1, 255, -256};
    std::copy(std::begin(extremes), std::end(extremes), in.begin() + 3);
    for (const Row& row : rows)
        for (int n = 0; n <= 33; ++n) {
            std::vector<int16_t> x = in;
            row.run(x.data() + 3, n);
            for (int i = 0; i < 48; ++i)
                ASSERT_EQ(x[i], i >= 3 && i < 3 + n ? row.want(in[i]) : in[i])
                    << row.what << ", length " << n << " at " << i;
        }
}
DSP_INSTANTIATE_SLOTS_OF(SampleLoops, dspslots::dspNegateInPlace16s);

TEST_P(SampleLoops, ReverseFramesAgainstStdReverse) {
    std::mt19937 random(5);
    for (int channels : {1, 2, 3, 6})
        for (int frames = 0; frames <= 37; ++frames) {
            std::vector<int16_t> x(static_cast<size_t>((frames + 2) * channels));
            for (int16_t& v : x) v = static_cast<int16_t>(random());
            std::vector<std::vector<int16_t>> want;
            for (int f = 0; f < frames + 2; ++f)
                want.emplace_back(x.begin() + f * channels, x.begin() + (f + 1) * channels);
            std::reverse(want.begin() + 1, want.begin() + 1 + frames);  // frame 0, last: guards
            dspslots::dspReverseFrames16s[slot()](x.data() + channels, frames, channels);
            for (int f = 0; f < frames + 2; ++f)
                ASSERT_EQ(
                    std::vector<int16_t>(x.begin() + f * channels, x.begin() + (f + 1) * channels),
                    want[static_cast<size_t>(f)])
                    << channels << " channels, " << frames << " frames, frame " << f;
        }
}

class SampleConversions : public DspSlotTest {};

// Every stride and length around the groups, the channel at each place of its frame, with values
// on each of the narrowing's rules; nothing between or beyond the channel's samples changes.
TEST_P(SampleConversions, OneChannelBothWaysAgainstThePlainArithmetic) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double special[] = {nan, inf, -inf, 1.0, -1.0, -0.0, 0.99999999, -1.00001, 1e300};
    std::mt19937 random(11);
    std::uniform_real_distribution<double> level(-1.2, 1.2);
    for (int stride : {1, 2, 3})
        for (int n = 0; n <= 21; ++n)
            for (int channel = 0; channel < stride; ++channel) {
                const size_t total = static_cast<size_t>(n * stride + 8);
                std::vector<int16_t> samples(total);
                for (int16_t& v : samples) v = static_cast<int16_t>(random());
                std::vector<double> wide(static_cast<size_t>(n) + 1, 7.0);
                dspslots::dspWidenStrided16s64f[slot()](samples.data() + channel, stride,
                                                        wide.data(), n);
                ASSERT_EQ(wide.back(), 7.0) << "wrote past the end";
                for (int k = 0; k < n; ++k)
                    ASSERT_EQ(wide[k], samples[channel + k * stride] / 32768.0)
                        << "widen, stride " << stride << ", length " << n << " at " << k;
                std::vector<double> out(static_cast<size_t>(n));
                for (int k = 0; k < n; ++k) out[k] = k % 3 == 1 ? special[k % 9] : level(random);
                for (double scale : {32768.0, 16384.5}) {
                    std::vector<int16_t> got = samples, want = samples;
                    for (int k = 0; k < n; ++k) {
                        const double v = std::trunc(scale * out[k]);
                        want[channel + k * stride] = static_cast<int16_t>(
                            std::isnan(v) ? 0 : std::max(-32768.0, std::min(32767.0, v)));
                    }
                    dspslots::dspNarrowStrided64f16s[slot()](out.data(), scale,
                                                             got.data() + channel, stride, n);
                    ASSERT_EQ(got, want) << "narrow, stride " << stride << ", length " << n
                                         << ", channel " << channel << ", scale " << scale;
                }
            }
}
DSP_INSTANTIATE_SLOTS_OF(SampleConversions, dspslots::dspWidenStrided16s64f);

class FirSums : public DspSlotTest {};

TEST_P(FirSums, AddInTheOrderOfThePlainSum) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (size_t taps : {1u, 3u, 80u, 81u})
        for (int count : {0, 1, 7, 8, 15, 16, 17, 1000}) {
            std::vector<double> h(taps), x(taps - 1 + static_cast<size_t>(count));
            for (double& v : h) v = value(random);
            for (double& v : x) v = value(random);
            const double* at = x.data() + taps - 1;
            std::vector<double> want(static_cast<size_t>(count));
            for (int n = 0; n < count; ++n)
                for (size_t k = 0; k < taps; ++k) want[n] += h[k] * at[n - static_cast<int>(k)];
            std::vector<double> got(static_cast<size_t>(count) + 1, 123.0);
            dspslots::dspFirSums64f[slot()](h.data(), taps, at, got.data(), count);
            EXPECT_EQ(got.back(), 123.0) << "wrote past the end";
            got.pop_back();
            EXPECT_EQ(got, want) << taps << " taps, " << count << " outputs";
        }
}
DSP_INSTANTIATE_SLOTS_OF(FirSums, dspslots::dspFirSums64f);

}  // namespace
