// Edge cross-fader: quarter-sine fades checked against closed-form sine values.
#include "framework/CSmooth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kTol = 1e-12;
const double kSqrt2 = std::sqrt(2.0), kSqrt3 = std::sqrt(3.0), kSqrt6 = std::sqrt(6.0);

// sin(i * pi / 8) for i = 0..3 and sin(i * pi / 12) for i = 0..5, from exact identities.
const std::vector<double> kSin8 = {0.0, std::sqrt(2.0 - kSqrt2) / 2.0, kSqrt2 / 2.0,
                                   std::sqrt(2.0 + kSqrt2) / 2.0};
const std::vector<double> kSin12 = {0.0,          (kSqrt6 - kSqrt2) / 4.0, 0.5, kSqrt2 / 2.0,
                                    kSqrt3 / 2.0, (kSqrt6 + kSqrt2) / 4.0};

UINT Bytes(size_t doubles) {
    return static_cast<UINT>(doubles * sizeof(double));
}

TEST(Smooth, FreshObjectIsEmpty) {
    CSmooth s;
    EXPECT_EQ(s.HeadCount(), 0);
    EXPECT_EQ(s.TailCount(), 0);
    EXPECT_EQ(s.Stride(), 1);
    std::vector<double> block(8, 0.5);
    EXPECT_TRUE(s.ApplyLeftEdge(block.data(), Bytes(block.size())));
    EXPECT_TRUE(s.ApplyRightEdge(block.data(), Bytes(block.size())));
    EXPECT_EQ(block, std::vector<double>(8, 0.5));
}

TEST(Smooth, LeftEdgeReferenceVector) {
    CSmooth s;
    std::vector<double> head(4, 0.0), block(10, 1.0);
    ASSERT_TRUE(s.StoreHead(head.data(), Bytes(head.size()), Bytes(4)));
    ASSERT_TRUE(s.ApplyLeftEdge(block.data(), Bytes(block.size())));
    const double expected[10] = {
        0.0, 0.3826834323650898, 0.7071067811865476, 0.9238795325112867, 1, 1, 1, 1, 1, 1};
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(block[i], expected[i], kTol) << i;
}

TEST(Smooth, RightEdgeReferenceVector) {
    CSmooth s;
    std::vector<double> tail(4, 0.0), block(10, 1.0);
    ASSERT_TRUE(s.StoreTail(tail.data(), Bytes(tail.size()), Bytes(4)));
    ASSERT_TRUE(s.ApplyRightEdge(block.data(), Bytes(block.size())));
    const double expected[10] = {
        1, 1, 1, 1, 1, 1, 1.0, 0.6173165676349102, 0.2928932188134524, 0.0761204674887133};
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(block[i], expected[i], kTol) << i;
}

TEST(Smooth, MixesStoredAndProcessedValues) {
    // Non-trivial values on both sides: left = (1 - w) * kept + w * own, right = w * kept + (1 - w)
    // * own.
    CSmooth s;
    std::vector<double> kept = {0.8, -0.4, 0.2, 0.6};
    s.StoreHead(kept.data(), Bytes(4), Bytes(4));
    s.StoreTail(kept.data(), Bytes(4), Bytes(4));
    std::vector<double> left = {-0.5, 0.5, -0.25, 0.25, 0.9};
    std::vector<double> right = {0.9, -0.5, 0.5, -0.25, 0.25};
    s.ApplyLeftEdge(left.data(), Bytes(left.size()));
    s.ApplyRightEdge(right.data(), Bytes(right.size()));
    const std::vector<double> own = {-0.5, 0.5, -0.25, 0.25};
    for (int i = 0; i < 4; ++i) {
        const double w = kSin8[i];
        EXPECT_NEAR(left[i], (1 - w) * kept[i] + w * own[i], kTol) << i;
        EXPECT_NEAR(right[1 + i], w * kept[i] + (1 - w) * own[i], kTol) << i;
    }
    EXPECT_EQ(left[4], 0.9);
    EXPECT_EQ(right[0], 0.9);
}

TEST(Smooth, HeadLongerThanBlockFadesOverTheBlock) {
    CSmooth s;
    std::vector<double> head(10, 0.0), block(6, 1.0);
    s.StoreHead(head.data(), Bytes(head.size()), Bytes(10));
    EXPECT_EQ(s.HeadCount(), 10);
    s.ApplyLeftEdge(block.data(), Bytes(block.size()));
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(block[i], kSin12[i], kTol) << i;
}

TEST(Smooth, TailLongerThanBlockFadesOverTheBlock) {
    CSmooth s;
    std::vector<double> tail(10, 0.0), block(6, 1.0);
    s.StoreTail(tail.data(), Bytes(tail.size()), Bytes(10));
    s.ApplyRightEdge(block.data(), Bytes(block.size()));
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(block[i], 1.0 - kSin12[i], kTol) << i;
}

TEST(Smooth, StrideTwoFadesEachChannelOverFourFrames) {
    CSmooth s;
    s.SetStride(2);
    std::vector<double> head(8, 0.0), block(12, 1.0);
    block[1] = block[3] = block[5] = block[7] = 2.0;  // channel 1 holds 2, channel 0 holds 1
    s.StoreHead(head.data(), Bytes(head.size()), Bytes(8));
    s.ApplyLeftEdge(block.data(), Bytes(block.size()));
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(block[2 * i], kSin8[i], kTol) << i;
        EXPECT_NEAR(block[2 * i + 1], 2.0 * kSin8[i], kTol) << i;
    }
    for (int k = 8; k < 12; ++k) EXPECT_EQ(block[k], 1.0);
}

TEST(Smooth, StrideTwoRightEdge) {
    CSmooth s;
    s.SetStride(2);
    std::vector<double> tail(8, 0.0), block(12, 1.0);
    s.StoreTail(tail.data(), Bytes(tail.size()), Bytes(8));
    s.ApplyRightEdge(block.data(), Bytes(block.size()));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(block[k], 1.0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(block[4 + 2 * i], 1.0 - kSin8[i], kTol) << i;
        EXPECT_NEAR(block[5 + 2 * i], 1.0 - kSin8[i], kTol) << i;
    }
}

TEST(Smooth, StrideLeavesSamplesPastWholeFramesUnchanged) {
    // 7 doubles at stride 3: two whole frames fade (over 2 frames each), the 7th stays.
    CSmooth s;
    s.SetStride(3);
    std::vector<double> head(7, 0.0), block(9, 1.0);
    s.StoreHead(head.data(), Bytes(7), Bytes(7));
    s.ApplyLeftEdge(block.data(), Bytes(block.size()));
    const double w1 = kSqrt2 / 2.0;  // sin(pi / 4)
    const double expected[9] = {0, 0, 0, w1, w1, w1, 1, 1, 1};
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(block[k], expected[k], kTol) << k;
}

TEST(Smooth, StoreTailKeepsTheLastBytesOfTheBlock) {
    CSmooth s;
    std::vector<double> block = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    s.StoreTail(block.data(), 80, 16);
    ASSERT_EQ(s.TailCount(), 2);
    EXPECT_EQ(s.Tail()[0], 8.0);
    EXPECT_EQ(s.Tail()[1], 9.0);
}

// Asking for more bytes than the block holds keeps only the block (the copy must not read
// past it: the sanitizer build checks that).
TEST(Smooth, StoreClampsRequestsToTheBlock) {
    struct Case {
        UINT blockDoubles, askDoubles;
        int kept;
    };
    const Case cases[] = {{2, 10, 2}, {3, 3, 3}, {4, 0, 0}, {0, 5, 0}};
    for (const Case& c : cases) {
        std::vector<double> block(c.blockDoubles);
        for (UINT k = 0; k < c.blockDoubles; ++k) block[k] = 10.0 + k;
        CSmooth s;
        s.StoreHead(block.data(), Bytes(c.blockDoubles), Bytes(c.askDoubles));
        s.StoreTail(block.data(), Bytes(c.blockDoubles), Bytes(c.askDoubles));
        ASSERT_EQ(s.HeadCount(), c.kept) << c.blockDoubles << "/" << c.askDoubles;
        ASSERT_EQ(s.TailCount(), c.kept);
        for (int k = 0; k < c.kept; ++k) {
            EXPECT_EQ(s.Head()[k], block[k]);
            EXPECT_EQ(s.Tail()[k], block[c.blockDoubles - c.kept + k]);
        }
    }
}

TEST(Smooth, CopiesStayUntilReplaced) {
    CSmooth s;
    std::vector<double> first(4, 0.0), second(4, 2.0);
    s.StoreHead(first.data(), Bytes(4), Bytes(4));
    std::vector<double> a(4, 1.0), b(4, 1.0);
    s.ApplyLeftEdge(a.data(), Bytes(4));
    s.ApplyLeftEdge(b.data(), Bytes(4));
    EXPECT_EQ(a, b);
    s.StoreHead(second.data(), Bytes(4), Bytes(4));
    std::vector<double> c(4, 1.0);
    s.ApplyLeftEdge(c.data(), Bytes(4));
    EXPECT_NEAR(c[0], 2.0, kTol);
    EXPECT_NEAR(c[1], 2.0 * (1 - kSin8[1]) + kSin8[1], kTol);
}

}  // namespace
