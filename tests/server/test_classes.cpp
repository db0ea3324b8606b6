// The seventeen effect classes as a host gets them: created by CLSID after registration
// (CreateRegistered: through CoCreateInstance, the module loaded from the registered path, where
// COM activation reads the test's registry). Each object answers exactly its
// four interfaces and starts with the class's engine flags and every parameter at its default.
#include "tests/framework/com_shell_support.h"

#include "tests/server/server_support.h"
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

class RegisteredClass : public ::testing::TestWithParam<ExpectedClass> {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles_.Registered());
        ASSERT_EQ(MainModule().DllRegisterServer(), S_OK);
    }
    void TearDown() override { EXPECT_EQ(MainModule().DllUnregisterServer(), S_OK); }

    TempRegistry registry_;
    HostDoubles doubles_;  // the host classes the engines create (the buffering object)
};

TEST_P(RegisteredClass, CreatedByClsidWithItsInterfacesFlagsAndDefaults) {
    const ExpectedClass& want = GetParam();
    const LONG hostObjectsBefore = host::LiveObjectCount();
    ComPtr<IMediaSource> object;
    ASSERT_EQ(CreateRegistered(*want.clsid, IID_IMediaSource, object.Out()), S_OK);
    ASSERT_TRUE(object);
    // The channel map's engine keeps a filter-graph provider from its construction on.
    const bool keepsProvider = IsEqualCLSID(*want.clsid, CLSID_AudioFilterNB5);
    EXPECT_EQ(host::LiveObjectCount() - hostObjectsBefore, (want.useHelper ? 1 : 0) + keepsProvider)
        << "a new effect creates no host object but its buffering object (and a provider)";

    ExpectExactlyFourInterfaces(object.Get(), *want.iid);
    // The object was built from the same class template as this test sees it.
    ExpectFreshEngine(*want.engineOf(object.Get()), want);

    // Every class is creatable for each of its interfaces and for none other.
    for (const IID* iid : {&IID_IUnknown, &IID_IMediaBaseFilter, want.iid}) {
        ComPtr<IUnknown> itf;
        EXPECT_EQ(CreateRegistered(*want.clsid, *iid, itf.Out()), S_OK);
    }
    void* out = Sentinel();
    EXPECT_EQ(CreateRegistered(*want.clsid, IID_ISupportErrorInfo, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, RegisteredClass, ::testing::ValuesIn(ExpectedClasses()),
                         ClassName);

}  // namespace
}  // namespace corvane::testing
