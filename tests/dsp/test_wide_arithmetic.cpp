// The portable 128-bit arithmetic of the large-argument reductions and their 256-bit fixed-point
// accumulator against the compiler's own 128-bit integers, bit for bit.
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

// The accumulator's sum in two native halves: each step adds floor(v * 2^pos) modulo 2^256.
struct Native256 {
    u128 lo = 0, hi = 0;

    void add(u128 v, int pos) {
        if (pos < 0) {
            v = pos > -128 ? v >> -pos : 0;
            pos = 0;
        }
        const u128 addLo = pos < 128 ? v << pos : 0;
        const u128 addHi = pos == 0    ? 0
                           : pos < 128 ? v >> (128 - pos)
                           : pos < 256 ? v << (pos - 128)
                                       : 0;
        lo += addLo;
        hi += addHi + (lo < addLo ? 1 : 0);
    }
};

TEST(WideArithmetic, ShiftedAccumulationEqualsNative256Bits) {
    std::mt19937_64 rng(11);
    Fixed256 acc;
    Native256 want;
    for (int i = 0; i < 20000; ++i) {
        // Products of a 53-bit significand and a piece of up to 27 bits, as the reduction makes.
        const uint64_t a = rng() >> 11, b = rng() >> (37 + rng() % 27);
        const int pos = static_cast<int>(rng() % 400) - 140;
        acc.addShifted(mul64x64(a, b), pos);
        want.add(static_cast<u128>(a) * b, pos);
        ASSERT_TRUE(wide({acc.limb[0], acc.limb[1]}) == want.lo) << "step " << i;
        ASSERT_TRUE(wide({acc.limb[2], acc.limb[3]}) == want.hi) << "step " << i;
    }
}

}  // namespace
