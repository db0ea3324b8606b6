// The recording doubles: calls and arguments are logged, failures are injected where asked
// (getters, CreateBlock, creation of classes), sources block and call back, and the live-object
// check fails a test that leaves objects alive.
#include "platform/com_ptr.h"
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace corvane::testing {
namespace {

class Doubles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles_.Registered()) << std::hex << doubles_.Registration();
    }
    HostDoubles doubles_;
};

TEST_F(Doubles, RecordEveryCallWithItsArgumentsAndResult) {
    ComPtr<IAudioHelper> helper;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAudioHelper, helper.Out()));
    ComPtr<RecordingAudioBlock> block = doubles_.NewBlock(AudioFormatValues(), 4 * 4410);
    ASSERT_EQ(S_OK, helper->Append(0, static_cast<IAudioData*>(block.Get())));
    ComPtr<IAudioData> taken;
    ASSERT_EQ(S_OK, helper->TakeBlock(25.5, &taken));
    LONG len = 0;
    ASSERT_EQ(S_OK, taken->GetLength(&len));
    EXPECT_EQ(E_INVALIDARG, helper->TakeBlock(-1.0, &taken));

    const std::vector<Call> takes = doubles_.Log().Calls("TakeBlock");
    ASSERT_EQ(2u, takes.size()) << doubles_.Log().Dump();
    EXPECT_EQ("AudioHelper#1", takes[0].object);
    EXPECT_EQ((std::vector<std::string>{"25.5", "ptr"}), takes[0].args);
    EXPECT_EQ(S_OK, takes[0].result);
    EXPECT_TRUE(takes[0].done);
    EXPECT_EQ(E_INVALIDARG, takes[1].result);
    // The helper reads the appended block through its interface, and the block it hands out is a
    // recording double of the same log.
    const std::vector<Call> lengths = doubles_.Log().Calls("GetLength");
    ASSERT_EQ(1u, lengths.size());
    EXPECT_EQ("AudioBuffer#2", lengths[0].object);
    EXPECT_EQ(1u, doubles_.Log().Count("GetBufferAndLength"));
}

TEST_F(Doubles, InjectedGetterFailureLeavesTheTargetUnchanged) {
    ComPtr<RecordingEffectParams> params = doubles_.NewParams();
    ASSERT_EQ(S_OK, params->SetDouble(Bstr(OLESTR("Rate")), -1, 2.0));
    ASSERT_EQ(S_OK, params->SetDouble(Bstr(OLESTR("VolumeLevel")), -1, 0.5));
    doubles_.Failures().FailCall("GetDouble", E_OUTOFMEMORY, OLESTR("Rate"));

    double rate = 7.0, level = 7.0;
    EXPECT_EQ(E_OUTOFMEMORY, params->GetDouble(Bstr(OLESTR("Rate")), -1, &rate));
    EXPECT_EQ(7.0, rate);
    EXPECT_EQ(S_OK, params->GetDouble(Bstr(OLESTR("VolumeLevel")), -1, &level));
    EXPECT_EQ(0.5, level);

    // The engine keeps a duplicate: the copy records into the same log and fails alike.
    ComPtr<IEffectParams> copy;
    ASSERT_EQ(S_OK, params->Duplicate(2, &copy));
    EXPECT_EQ(E_OUTOFMEMORY, copy->GetDouble(Bstr(OLESTR("Rate")), -1, &rate));
    EXPECT_EQ(7.0, rate);
    const std::vector<Call> gets = doubles_.Log().Calls("GetDouble");
    ASSERT_EQ(3u, gets.size());
    EXPECT_EQ((std::vector<std::string>{"\"Rate\"", "-1", "ptr"}), gets[2].args);
    EXPECT_NE(gets[0].object, gets[2].object);
}

TEST_F(Doubles, FailuresCanBeLimitedAndDelayed) {
    ComPtr<RecordingEffectParams> params = doubles_.NewParams();
    params->SetLong(Bstr(OLESTR("nTapDelay")), -1, 5);
    doubles_.Failures().FailCall("GetLong", E_FAIL, OLESTR(""), /*times=*/1, /*skip=*/1);
    const HRESULT expected[] = {S_OK, E_FAIL, S_OK};
    for (HRESULT e : expected) {
        LONG v = -1;
        EXPECT_EQ(e, params->GetLong(Bstr(OLESTR("nTapDelay")), -1, &v));
        EXPECT_EQ(e == S_OK ? 5 : -1, v);
    }
}

TEST_F(Doubles, InjectedCreateBlockFailureGivesNoBlock) {
    ComPtr<RecordingAudioBlock> block = doubles_.NewBlock(AudioFormatValues(), 64);
    doubles_.Failures().FailCall("CreateBlock", E_OUTOFMEMORY, OLESTR(""), 1);
    IUnknown* created = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_OUTOFMEMORY, block->CreateBlock(2, &created));
    EXPECT_EQ(nullptr, created);
    ComPtr<IUnknown> next;
    EXPECT_EQ(S_OK, block->CreateBlock(2, &next));
    EXPECT_TRUE(next.As<IAudioBuffer>());
}

// Creation of the helper and buffer classes fails as often as asked, then works again.
TEST_F(Doubles, InjectedCreationFailures) {
    doubles_.Failures().FailCreate(CLSID_AudioHelper, E_OUTOFMEMORY, 1);
    doubles_.Failures().FailCreate(CLSID_AudioBuffer, E_ACCESSDENIED);
    ComPtr<IUnknown> obj;
    EXPECT_EQ(E_OUTOFMEMORY, CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IAudioHelper, obj.Out()));
    EXPECT_FALSE(obj);
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAudioHelper, obj.Out()));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(E_ACCESSDENIED, CoCreateInstance(CLSID_AudioBuffer, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IAudioBuffer, obj.Out()));
    }
    doubles_.Failures().Clear();
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_AudioBuffer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAudioBuffer, obj.Out()));
}

TEST_F(Doubles, SourceBlocksAtItsGateUntilOpened) {
    ComPtr<RecordingSignalSource> src = doubles_.NewSignalSource();
    src->ReadGate().Close();
    HRESULT readResult = E_UNEXPECTED;
    std::thread reader([&] {
        IUnknown* block = nullptr;
        readResult = src->ReadAudio(-1, 0, 100.0, &block);
        if (block) block->Release();
    });
    ASSERT_TRUE(src->ReadGate().WaitForWaiting(1, 10000));
    std::vector<Call> reads = doubles_.Log().Calls("ReadAudio");
    ASSERT_EQ(1u, reads.size());
    EXPECT_FALSE(reads[0].done);  // begun, held at the gate
    // Other calls go on while the read waits.
    double t = -1;
    EXPECT_EQ(S_OK, src->get_audioTime(-1, &t));
    src->ReadGate().Open();
    reader.join();
    EXPECT_EQ(S_OK, readResult);
    reads = doubles_.Log().Calls("ReadAudio");
    EXPECT_TRUE(reads[0].done);
    EXPECT_EQ((std::vector<std::string>{"-1", "0", "100", "ptr"}), reads[0].args);
}

TEST_F(Doubles, SourceCallsBackBeforeEachRead) {
    ComPtr<RecordingSignalSource> src = doubles_.NewSignalSource();
    std::vector<double> timesSeen;
    // The hook calls back into the source it belongs to; nothing may deadlock.
    src->SetReadHook([&](int read) {
        double t = -1;
        EXPECT_EQ(S_OK, src->get_audioTime(-1, &t));
        timesSeen.push_back(read * 1000.0 + t);
    });
    for (int i = 0; i < 3; ++i) {
        ComPtr<IUnknown> block;
        ASSERT_EQ(S_OK, src->ReadAudio(-1, 0, 100.0, &block));
    }
    EXPECT_EQ((std::vector<double>{0.0, 1100.0, 2200.0}), timesSeen);
    // The callback's calls are logged between the reads.
    std::vector<Call> calls = doubles_.Log().Calls();
    ASSERT_GE(calls.size(), 6u);
    EXPECT_EQ("ReadAudio", calls[0].method);
    EXPECT_EQ("get_audioTime", calls[1].method);
}

// The check that the listener runs at the end of every test.
TEST(LiveObjectCheck, FailsWhileAnObjectIsAlive) {
    const long before = host::LiveObjectCount();
    ComPtr<IEffectZones> zones;
    ASSERT_EQ(S_OK, host::CreateEffectZones(&zones));
    EXPECT_NONFATAL_FAILURE(ExpectNoLiveObjects(before, "this check"),
                            "1 host object(s) still alive");
    zones.Reset();
    ExpectNoLiveObjects(before, "this check");  // nothing alive any more: no failure
}

// End to end: a test program whose one test leaks an object fails, and says why.
TEST(LiveObjectCheck, ListenerFailsATestThatLeaks) {
    // The probe leaks on purpose; the sanitizer's own leak report would only repeat it.
    static char noLeakReport[] = "ASAN_OPTIONS=detect_leaks=0";
    putenv(noLeakReport);
    const std::string command = std::string("\"") + CORVANE_LEAK_PROBE_PATH + "\" 2>&1";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string output;
    char buf[512];
    while (std::fgets(buf, sizeof(buf), p)) output += buf;
    int status = pclose(p);
    EXPECT_NE(0, status) << output;
    EXPECT_NE(std::string::npos,
              output.find("host object(s) still alive at the end of LeaksOneObject"))
        << output;
    EXPECT_NE(std::string::npos, output.find("[  FAILED  ] LeakProbe.LeaksOneObject")) << output;
    EXPECT_NE(std::string::npos, output.find("[       OK ] LeakProbe.ReleasesEverything"))
        << output;
}

}  // namespace
}  // namespace corvane::testing
