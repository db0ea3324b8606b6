#include "effects/common/DelayLine.h"
#include <gtest/gtest.h>

// Near the 2^31 - 1 byte cap, doubling would ask for more than the cap while what is reached fits:
// the line grows to what fits, keeping what it holds (gigabytes: a `large` program).
TEST(DelayLine, GrowsToWhatFitsNearTheCap) {
    const int64_t cap = corvane::kMaxDelayLineBytes / static_cast<int64_t>(sizeof(double));
    corvane::DelayLine line;
    line.MakeGrowing(cap + 10, 0);
    line.Reach(cap / 2 + 1);
    line.Data()[cap / 2] = 0.5;
    line.Reach(cap / 2 + 2);  // a throw fails the test
    EXPECT_EQ(0.5, line.Data()[cap / 2]);
    EXPECT_THROW(line.Reach(cap + 1), HRESULT);
}
