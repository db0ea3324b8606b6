// A test program for the live-object check itself: one test leaks a host object on purpose, the
// other releases everything. Run by test_recording_doubles, never registered with CTest.
#include "host/host.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

namespace {

TEST(LeakProbe, LeaksOneObject) {
    IEffectParams* p = nullptr;
    ASSERT_EQ(S_OK, corvane::host::CreateEffectParams(corvane::host::ParamStore(), &p));
    // Not released: the listener must fail this test.
}

TEST(LeakProbe, ReleasesEverything) {
    IEffectParams* p = nullptr;
    ASSERT_EQ(S_OK, corvane::host::CreateEffectParams(corvane::host::ParamStore(), &p));
    p->Release();
}

}  // namespace
