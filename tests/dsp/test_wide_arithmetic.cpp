// The portable 128-bit arithmetic of the large-argument reductions against the compiler's own
// 128-bit integers (the form the reductions were first written in), bit for bit.
#include "dsp/bits.h"
#include "dsp/vecmath/trig_scalar.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using u128 = unsigned __int128;

u128 wide(U128 v) {
    return (static_cast<u128>(v.hi) << 64) | v.lo;
}

// Edge words and random ones.
std::vector<uint64_t> words() {
    std::vector<uint64_t> w = {0,
                               1,
                               2,
                               0xFFFFFFFFull,
                               1ull << 32,
                               ~0ull,
                               ~0ull - 1,
                               0x8000000000000000ull,
                               0x7FFFFFFFFFFFFFFFull,
                               0xFFFFFFFF00000000ull,
                               0x00000000FFFFFFFFull,
                               0x0010000000000000ull};
    std::mt19937_64 rng(7);
    for (int i = 0; i < 2000; ++i) w.push_back(rng() >> (rng() % 64));
    return w;
}

TEST(WideArithmetic, ProductAndShiftEqualNative128Bits) {
    const std::vector<uint64_t> w = words();
    for (size_t i = 0; i < w.size(); ++i) {
        for (size_t j = i; j < w.size(); j += 1 + i % 37) {
            const u128 want = static_cast<u128>(w[i]) * w[j];
            const U128 got = mul64x64(w[i], w[j]);
            ASSERT_TRUE(wide(got) == want) << w[i] << " * " << w[j];
            const int n = static_cast<int>((i + j) % 128);
            ASSERT_TRUE(wide(shr128(got, n)) == (want >> n)) << "shift " << n;
        }
    }
}

// The former accumulation step of the reduction by 4/pi, on native 128-bit integers.
void addShiftedNative(uint64_t limb[4], u128 v, int pos) {
    if (pos >= 256 || v == 0) return;
    if (pos < 0) {
        if (pos <= -128) return;
        v >>= -pos;
        pos = 0;
    }
    const int at = pos / 64, sh = pos % 64;
    const uint64_t w[3] = {static_cast<uint64_t>(v << sh),
                           static_cast<uint64_t>(sh ? (v >> (64 - sh)) : (v >> 64)),
                           static_cast<uint64_t>(sh ? (v >> (128 - sh)) : 0)};
    uint64_t carry = 0;
    for (int i = at, k = 0; i < 4; ++i, ++k) {
        const uint64_t add = k < 3 ? w[k] : 0;
        const uint64_t s1 = limb[i] + add;
        const uint64_t s2 = s1 + carry;
        carry = static_cast<uint64_t>(s1 < add) + static_cast<uint64_t>(s2 < carry);
        limb[i] = s2;
    }
}

TEST(WideArithmetic, ShiftedAccumulationEqualsNative128Bits) {
    std::mt19937_64 rng(11);
    Fixed256 acc;
    uint64_t want[4] = {0, 0, 0, 0};
    for (int i = 0; i < 20000; ++i) {
        // Products of a 53-bit significand and a piece of up to 27 bits, as the reduction makes.
        const uint64_t a = rng() >> 11, b = rng() >> (37 + rng() % 27);
        const int pos = static_cast<int>(rng() % 400) - 140;
        acc.addShifted(mul64x64(a, b), pos);
        addShiftedNative(want, static_cast<u128>(a) * b, pos);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(acc.limb[k], want[k]) << "step " << i;
    }
}

}  // namespace
