// The object lock: held across upstream calls, one per object, re-entrant on its thread, left when
// an engine operation throws; and the engine's own operations running through its virtual table.
#include "tests/framework/com_shell_support.h"

#include "tests/support/call_log.h"
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace corvane::testing {
namespace {

// How long a call that must wait is given to (wrongly) get through.
constexpr auto kBlockedWindow = std::chrono::milliseconds(50);

// An effect whose upstream source stops every get_videoTime at a gate until the test opens it.
class HeldEffect {
public:
    explicit HeldEffect(const CLSID& clsid) : object(CreateEffect(clsid)) {
        source->SetHook([this](const std::string& method) {
            if (method == "get_videoTime") gate.Pass();
        });
        gate.Close();
        object.As<IMediaBaseFilter>()->put_MediaSource(source.Get());
    }
    ~HeldEffect() {
        gate.Open();
        if (holder.joinable()) holder.join();
        source->SetHook(nullptr);
    }
    // Starts a call on another thread that takes the object lock and waits at the gate.
    void HoldLock() {
        holder = std::thread([this] {
            double t = 0;
            object->get_videoTime(0, &t);
        });
        ASSERT_TRUE(gate.WaitForWaiting(1, 10000));
    }

    ComPtr<ScriptedSource> source = NewScriptedSource();
    ComPtr<IMediaSource> object;
    Gate gate;
    std::thread holder;
};

class LockOfEffect : public ::testing::TestWithParam<ExpectedClass> {
protected:
    HostDoubles doubles_;
};

TEST_P(LockOfEffect, CallsWaitWhileAnotherThreadHoldsTheLockInAnUpstreamCall) {
    HeldEffect held(*GetParam().clsid);
    ASSERT_TRUE(held.object);
    held.HoldLock();

    // One kind of call each: engine, forward, the two methods with answers of their own, and the
    // filter interface's forwarded SetParam.
    IMediaSource* object = held.object.Get();
    ComPtr<IMediaBaseFilter> filter = held.object.As<IMediaBaseFilter>();
    const std::vector<std::function<void()>> calls = {
        [object] { object->put_audioTrack(2); },
        [object] {
            LONG n;
            object->get_audioTracksCount(&n);
        },
        [object] {
            IUnknown* out;
            object->SendCommandEx(1, nullptr, &out);
        },
        [object] { object->ResetBuffers(0, 0); },
        [&filter] {
            VARIANT_BOOL b;
            filter->get_EffectEnabled(&b);
        },
        [&filter] {
            VARIANT v;
            VariantInit(&v);
            filter->SetParam(nullptr, v);
        },
    };
    std::atomic<int> finished{0};
    std::vector<std::thread> waiting;
    for (const auto& call : calls) {
        waiting.emplace_back([&finished, call] {
            call();
            ++finished;
        });
    }
    std::this_thread::sleep_for(kBlockedWindow);
    EXPECT_EQ(finished.load(), 0) << "a call got through while the lock was held";

    // Interface queries, reference counting and the stream getters take no lock.
    RunOrAbort("a call that takes no lock", [object] {
        IUnknown* stream = nullptr;
        EXPECT_EQ(object->get_audioStream(0, 0, &stream), S_OK);
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, unknown.Out()), S_OK);
    });

    held.gate.Open();
    for (std::thread& t : waiting) t.join();
    EXPECT_EQ(finished.load(), static_cast<int>(calls.size()));
}

TEST_P(LockOfEffect, DifferentObjectsRunIndependently) {
    HeldEffect held(*GetParam().clsid);
    held.HoldLock();
    ComPtr<IMediaSource> other = CreateEffect(*GetParam().clsid);
    ComPtr<ScriptedSource> otherSource = NewScriptedSource();
    ASSERT_EQ(other.As<IMediaBaseFilter>()->put_MediaSource(otherSource.Get()), S_OK);
    RunOrAbort("a call on a second object", [&] {
        double t = 0;
        EXPECT_EQ(other->get_videoTime(0, &t), S_OK);
        EXPECT_EQ(other->SeekAudio(0, 0, 5.0), S_OK);
    });
    // get_videoTime; then the engine's seek: SeekAudio and get_audioTime.
    const std::vector<std::string> calls = otherSource->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].rfind("get_videoTime(", 0), 0u);
    EXPECT_EQ(calls[1].rfind("SeekAudio(", 0), 0u);
}

TEST_P(LockOfEffect, ReentrantCallFromTheUpstreamOnTheSameThreadGoesThrough) {
    ComPtr<IMediaSource> object = CreateEffect(*GetParam().clsid);
    ComPtr<IMediaBaseFilter> filter = object.As<IMediaBaseFilter>();
    ComPtr<ScriptedSource> source = NewScriptedSource();
    ASSERT_EQ(filter->put_MediaSource(source.Get()), S_OK);
    std::atomic<int> reentered{0};
    source->SetHook([&](const std::string& method) {
        if (method != "get_dataDuration") return;
        // Back into the effect from inside its upstream call: an engine call and a forward.
        VARIANT_BOOL enabled = 0;
        EXPECT_EQ(filter->get_EffectEnabled(&enabled), S_OK);
        LONG n = 0;
        EXPECT_EQ(object->get_dataTrack(&n), S_OK);
        ++reentered;
    });
    RunOrAbort("a re-entrant call", [&] {
        double d = 0;
        EXPECT_EQ(object->get_dataDuration(0, &d), S_OK);
    });
    EXPECT_EQ(reentered.load(), 1);
    source->SetHook(nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, LockOfEffect, ::testing::ValuesIn(ExpectedClasses()),
                         ClassName);

// ---- the probe engine ----

class ProbeShell : public ::testing::Test {
protected:
    void SetUp() override {
        Probe() = ProbeState();
        ASSERT_EQ(CProbeFilter5::CreateInstance(nullptr, IID_IMediaSource, object_.Out()), S_OK);
        filter_ = object_.As<IMediaBaseFilter>();
    }
    void TearDown() override { Probe() = ProbeState(); }

    ComPtr<IMediaSource> object_;
    ComPtr<IMediaBaseFilter> filter_;
};

TEST_F(ProbeShell, EngineOperationsRunTheEnginesOverrides) {
    double value = 0;
    EXPECT_EQ(object_->get_audioDuration(0, &value), S_OK);
    EXPECT_EQ(value, 4321.0);
    EXPECT_EQ(object_->get_audioTime(0, &value), S_FALSE);
    EXPECT_EQ(value, 12.5);
    EXPECT_EQ(filter_->InitFilter(nullptr), S_FALSE);
}

TEST_F(ProbeShell, LockIsLeftWhenAnEngineOperationThrows) {
    Probe().throwInOperations = true;
    double value = 0;
    EXPECT_EQ(object_->get_audioDuration(0, &value), E_OUTOFMEMORY);
    EXPECT_EQ(filter_->InitFilter(nullptr), ProbeEngine::kThrown);
    RunOrAbort("a call after an engine operation threw", [&] {
        VARIANT_BOOL enabled = 0;
        EXPECT_EQ(filter_->get_EffectEnabled(&enabled), S_OK);
        EXPECT_EQ(enabled, VARIANT_TRUE);
    });
}

}  // namespace
}  // namespace corvane::testing
