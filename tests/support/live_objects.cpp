#include "tests/support/live_objects.h"

#include "host/com_object.h"

#include <mutex>

namespace corvane::testing {

namespace {

class LiveObjectListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { before_ = host::LiveObjectCount(); }
    // Failures raised here count for the test that just ended.
    void OnTestEnd(const ::testing::TestInfo& info) override {
        ExpectNoLiveObjects(before_, info.name());
    }

private:
    long before_ = 0;
};

}  // namespace

void ExpectNoLiveObjects(long before, const char* when) {
    long now = host::LiveObjectCount();
    // Objects that an earlier test leaked were reported there; only this test's own are counted.
    long leaked = before > 0 ? now - before : now;
    EXPECT_LE(leaked, 0) << leaked << " host object(s) still alive at the end of " << when;
}

bool InstallLiveObjectListener() {
    static std::once_flag once;
    std::call_once(once, [] {
        ::testing::UnitTest::GetInstance()->listeners().Append(new LiveObjectListener());
    });
    return true;
}

}  // namespace corvane::testing
