// The effects' sample loops in every slot: phase inversion and the Q8 gain of each range against
// their plain 64-bit forms, and the FIR sums against the plain sum in the same order, bit for
// bit, over every length around the vector groups and touching nothing outside the range.
#include "tests/dsp/slots.h"

#include <cstdint>
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
