// The constant tables of the vector sine, cosine and magnitude, recomputed independently in
// quad precision from their rules.
#include "tests/dsp/test_vecmath_support.h"

namespace {

using namespace vmtest;

const __float128 kPiQ = acosq(static_cast<__float128>(-1));

double nearestPow2(__float128 v) {
    if (v == 0) return 0.0;
    int e;
    frexpq(fabsq(v), &e);  // |v| in [2^(e-1), 2^e)
    const __float128 lo = ldexpq(static_cast<__float128>(1), e - 1);
    const __float128 p = fabsq(v) < lo * static_cast<__float128>(1.5) ? lo : 2 * lo;
    return static_cast<double>(v > 0 ? p : -p);
}

// t rounded (or truncated toward zero) to 24 significant bits.
double round24(__float128 t, bool truncate) {
    if (t == 0) return 0.0;
    int e;
    frexpq(fabsq(t), &e);
    const __float128 q = ldexpq(static_cast<__float128>(1), e - 24);
    const __float128 n = truncate ? truncq(t / q) : roundq(t / q);
    return static_cast<double>(n * q);
}

struct TableCase {
    const char* name;
    const double (*rows)[4];
    int count, den;
    bool cosineTable;  // columns stand for (-sin p, cos p) instead of (cos p, sin p)
    int order[4];      // column of: pair part, power of two, head, tail
    bool truncated;
};

const TableCase kTables[] = {
    {"dspSinTablePi32", dspSinTablePi32, 64, 32, false, {0, 3, 1, 2}, false},
    {"dspSinTablePi64", dspSinTablePi64, 128, 64, false, {0, 3, 1, 2}, false},
    {"dspSinTablePi256", dspSinTablePi256, 512, 256, false, {0, 1, 2, 3}, true},
    {"dspCosTablePi256", dspCosTablePi256, 512, 256, true, {0, 1, 2, 3}, true},
    {"dspCosTablePi64", dspCosTablePi64, 128, 64, true, {0, 3, 1, 2}, false},
};

// Every row against its rule; rows at the quarter points hold exact zeros, compared by value.
TEST(VecMathTables, EveryRowFollowsItsRule) {
    for (const TableCase& t : kTables) {
        SCOPED_TRACE(t.name);
        for (int j = 0; j < t.count; ++j) {
            __float128 sv, cv;
            if (j % (t.den / 2) == 0) {  // quarter points: exact zeros and ones
                const int q = (j / (t.den / 2)) % 4;
                const int sinOf[4] = {0, 1, 0, -1}, cosOf[4] = {1, 0, -1, 0};
                sv = sinOf[q];
                cv = cosOf[q];
            } else {
                const __float128 p = kPiQ * j / t.den;
                sv = sinq(p);
                cv = cosq(p);
            }
            const __float128 pairValue = t.cosineTable ? -sv : cv;
            const __float128 headValue = t.cosineTable ? cv : sv;
            const double* row = t.rows[j];
            const double pw = nearestPow2(pairValue);
            const double head = static_cast<double>(headValue);
            EXPECT_EQ(row[t.order[1]], pw) << "row " << j;
            EXPECT_EQ(row[t.order[0]], static_cast<double>(pairValue - pw)) << "row " << j;
            EXPECT_EQ(row[t.order[2]], head) << "row " << j;
            EXPECT_EQ(row[t.order[3]], round24(headValue - head, t.truncated)) << "row " << j;
        }
    }
}

TEST(VecMathTables, TellingRowsOfTheSineTables) {
    const double c32[16] = {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.25, 0.25, 0.125};
    for (int j = 0; j < 16; ++j) EXPECT_EQ(dspSinTablePi32[j][3], c32[j]) << j;
    for (int j = 0; j < 32; ++j) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(dspSinTablePi32[j + 32][c], -dspSinTablePi32[j][c]) << j;
    }
    const double row16[4] = {0, 1, 0, -0.0}, row48[4] = {-0.0, -1, 0, -0.0};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(dspSinTablePi32[16][c], row16[c]);
        EXPECT_EQ(dspSinTablePi32[48][c], row48[c]);
    }
    for (int j = 0; j <= 58; ++j) EXPECT_EQ(dspSinTablePi256[j][1], 1.0) << j;
    EXPECT_EQ(dspSinTablePi256[59][1], 0.5);
    EXPECT_EQ(dspSinTablePi256[127][1], 0.015625);
}

TEST(VecMathTables, InverseTwoPiWindows) {
    // Rows below 886 are zero; row 886 is floor(8 / (2 pi)) = 1.
    for (int e = 0; e < 886; ++e)
        ASSERT_EQ(dspInvTwoPiWindows[e][0] | dspInvTwoPiWindows[e][1] | dspInvTwoPiWindows[e][2],
                  0u)
            << e;
    EXPECT_EQ(dspInvTwoPiWindows[886][2], 1u);
    // Row 883 + 64k + 64 starts with floor(2^64k... ): its top word for k = 2 is
    // floor(2^64 / (2 pi)), and its second word the next 64 bits of 1/(2 pi).
    const __float128 inv = 1 / (2 * kPiQ);
    const __float128 top = floorq(ldexpq(inv, 64));
    EXPECT_EQ(dspInvTwoPiWindows[883 + 192][0], static_cast<uint64_t>(top));
    const __float128 next = floorq(ldexpq(ldexpq(inv, 64) - top, 48));  // 48 more bits
    EXPECT_EQ(dspInvTwoPiWindows[883 + 192][1] >> 16, static_cast<uint64_t>(next));
    // Each row is the previous one shifted left by one bit with the next bit of 1/(2 pi).
    for (int e = 886; e < 2047; ++e) {
        const uint64_t* a = dspInvTwoPiWindows[e];
        const uint64_t* b = dspInvTwoPiWindows[e + 1];
        ASSERT_EQ(b[0], (a[0] << 1) | (a[1] >> 63)) << e;
        ASSERT_EQ(b[1], (a[1] << 1) | (a[2] >> 63)) << e;
        ASSERT_EQ(b[2] >> 1, a[2] & 0x7FFFFFFFFFFFFFFFull) << e;
    }
}

TEST(VecMathTables, FourOverPiPieces) {
    EXPECT_EQ(dspFourOverPiPieces[0], 0.0);
    EXPECT_EQ(dspFourOverPiPieces[50], 0.0);
    EXPECT_EQ(dspFourOverPiPieces[51], 0.0);
    const __float128 want = ldexpq(4 / kPiQ, 200);
    __float128 sum = 0;
    for (int i = 1; i <= 6; ++i) sum += dspFourOverPiPieces[i];
    EXPECT_LE(static_cast<double>(fabsq(sum - want) / want), 0x1p-110);
    EXPECT_GE(dspFourOverPiPieces[1], 0x1p200);
    EXPECT_LT(dspFourOverPiPieces[1], 0x1p201);
    for (int i = 1; i <= 49; ++i) {
        const double p = dspFourOverPiPieces[i];
        ASSERT_GE(p, 0.0);
        // At most 25 significant bits, all within the piece's own 25-bit slot 2^(176-25(i-1)).
        const double scaled = std::ldexp(p, -(176 - 25 * (i - 1)));
        ASSERT_EQ(scaled, std::floor(scaled)) << i;
        ASSERT_LT(scaled, 0x1p25) << i;
    }
}

TEST(VecMathTables, ReciprocalSquareRootSeeds) {
    EXPECT_EQ(dspRsqrtSeedTable[0], 1.0);
    EXPECT_EQ(dspRsqrtSeedTable[256], 0.70703125);
    EXPECT_EQ(dspRsqrtSeedTable[511], 0.50048828125);
    for (int i = 0; i < 512; ++i) {
        const __float128 x =
            static_cast<__float128>(1 << (i / 256)) * (1 + static_cast<__float128>(i % 256) / 256);
        const __float128 exact = 1 / sqrtq(x);
        EXPECT_EQ(dspRsqrtSeedTable[i], static_cast<double>(roundq(exact * 2048) / 2048)) << i;
    }
}

}  // namespace
