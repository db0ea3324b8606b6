// The FIR sums' bodies against the plain sum in the same order, bit for bit: the baseline body,
// the AVX body where the processor has it, and the one the filter section uses.
#include "effects/common/FirSums.h"

#include "corvane/dsp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace corvane::testing {
namespace {

TEST(FirSums, EveryBodyAddsInTheOrderOfThePlainSum) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<std::pair<const char*, FirSumsFunction>> bodies = {{"baseline", &FirSumsBaseline},
                                                                   {"chosen", FirSums()}};
    if (kFirSumsAvx != nullptr && dspCheckCpuFeatures(dspFeatAvx | dspFeatAvxOs) == 1) {
        bodies.push_back({"avx", kFirSumsAvx});
    }
    for (size_t taps : {1u, 3u, 80u, 81u}) {
        for (int count : {0, 1, 7, 8, 15, 16, 17, 1000}) {
            std::vector<double> h(taps), x(taps - 1 + static_cast<size_t>(count));
            for (double& v : h) v = value(random);
            for (double& v : x) v = value(random);
            const double* at = x.data() + taps - 1;
            std::vector<double> want(static_cast<size_t>(count));
            for (int n = 0; n < count; ++n) {
                double acc = 0.0;
                for (size_t k = 0; k < taps; ++k) acc += h[k] * at[n - static_cast<int>(k)];
                want[static_cast<size_t>(n)] = acc;
            }
            for (const auto& [name, body] : bodies) {
                std::vector<double> got(static_cast<size_t>(count) + 1, 123.0);
                body(h.data(), taps, at, got.data(), count);
                EXPECT_EQ(got.back(), 123.0) << name << ": wrote past the end";
                got.pop_back();
                EXPECT_EQ(got, want) << name << ", " << taps << " taps, " << count << " outputs";
            }
        }
    }
}

}  // namespace
}  // namespace corvane::testing
