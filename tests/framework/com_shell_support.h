// What the COM shell's tests share: the module-lock counters that stand in for the module's, the
// class table as the tests expect it (written out independently of the code's list), the thread's
// error information, a scripted upstream media source that logs every call with its exact
// arguments, and a probe engine for the shell's own contracts.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "framework/ComShell.h"
#include "tests/framework/open_engine.h"
#include "host/com_object.h"
#include "server/classes.h"
#include "platform/com_ptr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace corvane::testing {

// The module-lock count as the counting hook that these tests install keeps it.
LONG ShellModuleLocks();

// A pointer value that nobody may dereference: an out-parameter preset to it shows whether a call
// cleared or replaced it.
inline IUnknown* Sentinel() {
    return reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x5EB7));
}

// IDispatch's IID, which no effect class answers.
inline constexpr IID kIID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- the class table as expected ----

struct ExpectedClass {
    const char* name;
    const CLSID* clsid;
    const IID* iid;  // class interface
    int scriptId;
    bool useHelper, perChannel, lengthChanges, followsRate;
    CBaseFilter* (*engineOf)(IMediaSource* object);  // the engine of an object of this class
};

// Objects may come from the loaded module, whose type information is hidden inside it: the
// sanitizer's dynamic-type check cannot see it, so it is left out where the tests reach into them.
#if defined(__GNUC__)
#define CORVANE_NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))
#else
#define CORVANE_NO_VPTR_CHECK
#endif

template <class Shell>
CORVANE_NO_VPTR_CHECK CBaseFilter* EngineOf(IMediaSource* object) {
    return &static_cast<Shell*>(object)->GetEngine();
}

// Object-map order, with the flags of each class.
inline const std::vector<ExpectedClass>& ExpectedClasses() {
    static const std::vector<ExpectedClass> classes = {
        {"AudioFilter5", &CLSID_AudioFilter5, &IID_IAudioFilter5, 120, 1, 1, 0, 0,
         &EngineOf<CAudioFilter5>},
        {"AudioFilterNB5", &CLSID_AudioFilterNB5, &IID_IAudioFilterNB5, 122, 0, 0, 0, 0,
         &EngineOf<CAudioFilterNB5>},
        {"BandFilter5", &CLSID_BandFilter5, &IID_IBandFilter5, 106, 1, 1, 0, 0,
         &EngineOf<CBandFilter5>},
        {"DelayFilter5", &CLSID_DelayFilter5, &IID_IDelayFilter5, 107, 1, 1, 0, 0,
         &EngineOf<CDelayFilter5>},
        {"EchoFilter5", &CLSID_EchoFilter5, &IID_IEchoFilter5, 108, 0, 0, 0, 0,
         &EngineOf<CEchoFilter5>},
        {"EqualizeFilter5", &CLSID_EqualizeFilter5, &IID_IEqualizeFilter5, 109, 1, 1, 0, 0,
         &EngineOf<CEqualizeFilter5>},
        {"FlangerFilter5", &CLSID_FlangerFilter5, &IID_IFlangerFilter5, 110, 1, 1, 0, 0,
         &EngineOf<CFlangerFilter5>},
        {"InvertFilter5", &CLSID_InvertFilter5, &IID_IInvertFilter5, 111, 0, 0, 0, 0,
         &EngineOf<CInvertFilter5>},
        {"MedianFilter5", &CLSID_MedianFilter5, &IID_IMedianFilter5, 121, 1, 1, 1, 0,
         &EngineOf<CMedianFilter5>},
        {"PitchShiftFilter5", &CLSID_PitchShiftFilter5, &IID_IPitchShiftFilter5, 112, 1, 1, 1, 0,
         &EngineOf<CPitchShiftFilter5>},
        {"ReverbFilter5", &CLSID_ReverbFilter5, &IID_IReverbFilter5, 113, 1, 1, 0, 0,
         &EngineOf<CReverbFilter5>},
        {"ReverseFilter5", &CLSID_ReverseFilter5, &IID_IReverseFilter5, 114, 0, 0, 0, 0,
         &EngineOf<CReverseFilter5>},
        {"SilenceFilter5", &CLSID_SilenceFilter5, &IID_ISilenceFilter5, 115, 1, 1, 0, 0,
         &EngineOf<CSilenceFilter5>},
        {"StretchFilter5", &CLSID_StretchFilter5, &IID_IStretchFilter5, 116, 1, 0, 1, 1,
         &EngineOf<CStretchFilter5>},
        {"VibratoFilter5", &CLSID_VibratoFilter5, &IID_IVibratoFilter5, 117, 1, 1, 0, 0,
         &EngineOf<CVibratoFilter5>},
        {"VolumeFilter5", &CLSID_VolumeFilter5, &IID_IVolumeFilter5, 118, 0, 0, 0, 0,
         &EngineOf<CVolumeFilter5>},
        {"WahWahFilter5", &CLSID_WahWahFilter5, &IID_IWahWahFilter5, 119, 1, 1, 0, 0,
         &EngineOf<CWahWahFilter5>},
    };
    return classes;
}

// The engine of a new object of class `want`: the class's identity and flags, the buffering object
// exactly with UseHelper, and every parameter at its default.
CORVANE_NO_VPTR_CHECK inline void ExpectFreshEngine(const CBaseFilter& e,
                                                    const ExpectedClass& want) {
    using O = test::Open<>;
    SCOPED_TRACE(want.name);
    EXPECT_EQ(e.*&O::m_bUseHelper, want.useHelper);
    EXPECT_EQ(e.*&O::m_bPerChannel, want.perChannel);
    EXPECT_EQ(e.*&O::m_bLengthChanges, want.lengthChanges);
    EXPECT_EQ(e.*&O::m_bFollowsRate, want.followsRate);
    EXPECT_EQ(e.*&O::m_pHelper != nullptr, want.useHelper)
        << "the buffering object exists exactly with UseHelper";
    EXPECT_TRUE(IsEqualCLSID(e.*&O::m_clsid, *want.clsid));
    EXPECT_TRUE(IsEqualIID(e.*&O::m_iid, *want.iid));

    EXPECT_EQ(e.*&O::m_pSource, nullptr);
    EXPECT_EQ(e.*&O::m_pParams, nullptr);
    EXPECT_EQ(e.*&O::m_pZones, nullptr);
    EXPECT_EQ(e.*&O::m_pFormat, nullptr);
    EXPECT_EQ(e.ChannelFilterCount(), 0u);
    const EngineWaveFormat& wfx = e.*&O::m_wfx;
    EXPECT_EQ(wfx.nChannels, 2);
    EXPECT_EQ(wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(wfx.nBlockAlign, 4);
    EXPECT_EQ(e.*&O::m_channelLayout, 3u);
    EXPECT_EQ(e.*&O::m_level, 1.0);
    EXPECT_EQ(e.*&O::m_rate, 1.0);
    EXPECT_EQ(e.*&O::m_smoothEnabled, 0);
    EXPECT_EQ(e.*&O::m_rSmoothTime, 20);
    EXPECT_EQ(e.*&O::m_lSmoothTime, 20);
    for (UINT bytes : {e.*&O::m_rSmoothBytes, e.*&O::m_lSmoothBytes, e.*&O::m_rSmoothScaledBytes,
                       e.*&O::m_lSmoothScaledBytes}) {
        EXPECT_EQ(bytes, 3528u);  // 20 ms of 44100 Hz stereo 16-bit
    }
    EXPECT_TRUE(e.*&O::m_bEnabled);
    EXPECT_FALSE(e.*&O::m_bExplicitInterval);
    EXPECT_TRUE(e.*&O::m_bFirstBlock);
    EXPECT_EQ(e.*&O::m_position, 0.0);
    const StrengthSettings& strength = e.*&O::m_strength;
    EXPECT_FALSE(strength.bUseStrengthPerCh);
    EXPECT_TRUE(strength.zones.empty());
    EXPECT_EQ(strength.current.leftStrength, 1.0);
    EXPECT_EQ(strength.current.rightStrength, 1.0);
    EXPECT_EQ(strength.current.centerStrength, 1.0);
}

inline std::string ClassName(const ::testing::TestParamInfo<ExpectedClass>& info) {
    return info.param.name;
}

// The table entry of a CLSID (fails the test when there is none).
inline const ClassEntry* FindEntry(const CLSID& clsid) {
    size_t count = 0;
    const ClassEntry* table = GetClassTable(&count);
    for (size_t i = 0; i < count; ++i) {
        if (IsEqualCLSID(*table[i].clsid, clsid)) return &table[i];
    }
    ADD_FAILURE() << "class missing from the class table";
    return nullptr;
}

// QueryInterface of an effect object: IUnknown (the IMediaSource pointer), IMediaSource,
// IMediaBaseFilter and the class interface, all of one identity; nothing else.
inline void ExpectExactlyFourInterfaces(IMediaSource* object, const IID& classIid) {
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(static_cast<void*>(identity), static_cast<void*>(object))
        << "IUnknown is the IMediaSource pointer";
    identity->Release();

    for (const IID* iid : {&IID_IUnknown, &IID_IMediaSource, &IID_IMediaBaseFilter, &classIid}) {
        ComPtr<IUnknown> itf;
        ASSERT_EQ(object->QueryInterface(*iid, itf.Out()), S_OK);
        ASSERT_TRUE(itf);
        // Every interface leads back to the same identity.
        ComPtr<IUnknown> back;
        ASSERT_EQ(itf->QueryInterface(IID_IUnknown, back.Out()), S_OK);
        EXPECT_EQ(static_cast<void*>(back.Get()), static_cast<void*>(object));
    }

    // Foreign IIDs, another class's interface included.
    const IID& otherClass =
        IsEqualIID(classIid, IID_IBandFilter5) ? IID_IEchoFilter5 : IID_IBandFilter5;
    for (const IID* iid : {&kIID_IDispatch, &IID_ISupportErrorInfo, &otherClass, &IID_IAudioData,
                           &IID_IVolumeFilter5}) {
        if (IsEqualIID(*iid, classIid)) continue;
        void* out = Sentinel();
        EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(object->QueryInterface(IID_IMediaSource, nullptr), E_POINTER);
}

// A new unaggregated object of the class, as its IMediaSource (empty on failure).
inline ComPtr<IMediaSource> CreateEffect(const CLSID& clsid) {
    ComPtr<IMediaSource> object;
    const ClassEntry* entry = FindEntry(clsid);
    if (entry != nullptr) {
        EXPECT_EQ(entry->createInstance(nullptr, IID_IMediaSource, object.Out()), S_OK);
    }
    return object;
}

// ---- the thread's error information ----

struct ErrorInfoSeen {
    bool present = false;
    OleString description;
    GUID guid{};
};

// Takes the thread's error information (GetErrorInfo clears it).
inline ErrorInfoSeen TakeErrorInfo() {
    ErrorInfoSeen seen;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        seen.present = true;
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr) {
            seen.description.assign(text, SysStringLen(text));
        }
        SysFreeString(text);
        info->GetGUID(&seen.guid);
        info->Release();
    }
    return seen;
}

inline void ClearErrorInfo() {
    SetErrorInfo(0, nullptr);
}

// ---- a scripted upstream source ----

// Arguments as the scripted source logs them: numbers in decimal (doubles with 17 digits),
// pointers as addresses, an interface out-parameter with the value it held on entry, a BSTR with
// its text, a VARIANT with its type and 32-bit value.
inline std::string ArgText(BSTR s) {
    std::ostringstream out;
    out << static_cast<const void*>(s) << ":\"";
    for (UINT i = 0; s != nullptr && i < SysStringLen(s); ++i) out << static_cast<char>(s[i]);
    out << '"';
    return out.str();
}
inline std::string ArgText(const VARIANT& v) {
    return "vt" + std::to_string(v.vt) + ":" + std::to_string(v.lVal);
}
inline std::string ArgText(IUnknown** p) {
    std::ostringstream out;
    out << static_cast<const void*>(p);
    if (p != nullptr) out << "->" << static_cast<const void*>(*p);
    return out.str();
}
template <class T>
std::string ArgText(T v) {
    std::ostringstream out;
    if constexpr (std::is_pointer_v<T>) {
        out << static_cast<const void*>(v);
    } else if constexpr (std::is_floating_point_v<T>) {
        out.precision(17);
        out << v;
    } else {
        out << +v;
    }
    return out.str();
}

// "name(a,b,c)" with the arguments as above.
template <class... A>
std::string CallText(const char* name, const A&... args) {
    std::string text = std::string(name) + "(";
    bool first = true;
    ((text += (first ? "" : ",") + ArgText(args), first = false), ...);
    return text + ")";
}

// An IMediaSource (and no filter) whose every method logs its call, runs the hook and answers the
// scripted result without touching its arguments.
class ScriptedSource : public host::ComObject<IMediaSource> {
public:
#define CORVANE_SCRIPTED_UNPAREN(...) __VA_ARGS__
#define CORVANE_SCRIPTED_TEXT(name, args) CallText(#name, CORVANE_SCRIPTED_UNPAREN args)
#define CORVANE_SCRIPTED_METHOD(name, params, args)              \
    STDMETHODIMP name params override {                          \
        return Answer(#name, CORVANE_SCRIPTED_TEXT(name, args)); \
    }
    CORVANE_IMEDIASOURCE_METHODS(CORVANE_SCRIPTED_METHOD)
#undef CORVANE_SCRIPTED_METHOD
#undef CORVANE_SCRIPTED_TEXT
#undef CORVANE_SCRIPTED_UNPAREN

    // Every method answers hr from now on.
    void SetResult(HRESULT hr) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_result = hr;
    }
    // Runs at the start of every call with the method's name (outside the log's lock).
    void SetHook(std::function<void(const std::string& method)> hook) {
        std::lock_guard<std::mutex> g(m_mutex);
        m_hook = std::move(hook);
    }
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> g(m_mutex);
        return m_calls;
    }
    void ClearCalls() {
        std::lock_guard<std::mutex> g(m_mutex);
        m_calls.clear();
    }

private:
    HRESULT Answer(const char* method, std::string text) {
        std::function<void(const std::string&)> hook;
        HRESULT hr;
        {
            std::lock_guard<std::mutex> g(m_mutex);
            m_calls.push_back(std::move(text));
            hook = m_hook;
            hr = m_result;
        }
        if (hook) hook(method);
        return hr;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::function<void(const std::string&)> m_hook;
    HRESULT m_result = S_OK;
};

inline ComPtr<ScriptedSource> NewScriptedSource() {
    return ComPtr<ScriptedSource>(new ScriptedSource());
}

// ---- the forwarded methods, with the arguments a test passes ----

// Variables a forwarded call passes by address; unk starts as the sentinel.
struct CallOuts {
    CallOuts() {
        VariantInit(&var);
        var.vt = VT_I4;
        var.lVal = 42;
    }
    LONG l = 11;
    double d = 2.5;
    VARIANT_BOOL b = 7;
    IUnknown* unk = Sentinel();
    IUnknown* token = Sentinel();  // an interface passed in; never dereferenced
    VARIANT var;                   // VT_I4, no resources
    BSTR name = SysAllocString(OLESTR("Rate"));
    ~CallOuts() { SysFreeString(name); }
    CallOuts(const CallOuts&) = delete;
    CallOuts& operator=(const CallOuts&) = delete;
};

// One forwarded IMediaSource method: call makes the call on s and writes into *expect the call
// the upstream source must see. clearsOut: the out-parameter holds NULL after a call that failed
// without an upstream source.
struct ForwardedCall {
    const char* name;
    std::function<HRESULT(IMediaSource* s, CallOuts& o, std::string* expect)> call;
    bool clearsOut;
};

#define CORVANE_FORWARDED_CALL(name, ...)                                      \
    ForwardedCall {                                                            \
#name,                                                                       \
            [](IMediaSource* s, CallOuts& o, std::string* e) {                       \
                (void)o;                                                             \
                *e = CallText(#name, __VA_ARGS__);                                   \
                return s->name(__VA_ARGS__);                                         \
            },                                                                       \
            false \
    }
// ReadVideo and ReadData: the upstream source sees the out-parameter already cleared.
#define CORVANE_FORWARDED_READ(name)                                           \
    ForwardedCall {                                                            \
#name,                                                                       \
            [](IMediaSource* s, CallOuts& o, std::string* e) {                       \
                IUnknown* before = o.unk;                                            \
                o.unk = nullptr;                                                     \
                *e = CallText(#name, LONG(3), LONG(5), &o.unk);                      \
                o.unk = before;                                                      \
                return s->name(3, 5, &o.unk);                                        \
            },                                                                       \
            true \
    }

// The thirty-two IMediaSource methods that go to the upstream source unchanged.
inline const std::vector<ForwardedCall>& ForwardedCalls() {
    static const std::vector<ForwardedCall> calls = {
        CORVANE_FORWARDED_CALL(get_videoTracksCount, &o.l),
        CORVANE_FORWARDED_CALL(put_videoTracksCount, LONG(-2)),
        CORVANE_FORWARDED_CALL(get_audioTracksCount, &o.l),
        CORVANE_FORWARDED_CALL(put_audioTracksCount, LONG(3)),
        CORVANE_FORWARDED_CALL(get_dataTracksCount, &o.l),
        CORVANE_FORWARDED_CALL(put_dataTracksCount, LONG(4)),
        CORVANE_FORWARDED_CALL(get_videoTrack, &o.l),
        CORVANE_FORWARDED_CALL(put_videoTrack, LONG(5)),
        CORVANE_FORWARDED_CALL(get_audioTrack, &o.l),
        CORVANE_FORWARDED_CALL(get_dataTrack, &o.l),
        CORVANE_FORWARDED_CALL(put_dataTrack, LONG(6)),
        CORVANE_FORWARDED_CALL(get_IsSeekable, LONG(1), LONG(0x30000), &o.b),
        CORVANE_FORWARDED_CALL(SeekVideo, LONG(2), LONG(7), 1234.5),
        CORVANE_FORWARDED_CALL(SeekData, LONG(3), LONG(8), -0.25),
        CORVANE_FORWARDED_CALL(SkipVideo, LONG(4), LONG(9), 1e-300),
        CORVANE_FORWARDED_CALL(SkipData, LONG(5), LONG(10), 3e12),
        CORVANE_FORWARDED_READ(ReadVideo),
        CORVANE_FORWARDED_READ(ReadData),
        CORVANE_FORWARDED_CALL(get_videoDuration, LONG(6), &o.d),
        CORVANE_FORWARDED_CALL(get_dataDuration, LONG(7), &o.d),
        CORVANE_FORWARDED_CALL(get_videoTime, LONG(8), &o.d),
        CORVANE_FORWARDED_CALL(get_dataTime, LONG(9), &o.d),
        CORVANE_FORWARDED_CALL(get_videoFormat, LONG(10), &o.unk),
        CORVANE_FORWARDED_CALL(put_videoFormat, LONG(11), o.token),
        CORVANE_FORWARDED_CALL(get_audioFormat, LONG(12), &o.unk),
        CORVANE_FORWARDED_CALL(get_dataFormat, LONG(13), &o.unk),
        CORVANE_FORWARDED_CALL(put_dataFormat, LONG(14), o.token),
        CORVANE_FORWARDED_CALL(get_videoTransform, LONG(15), &o.unk),
        CORVANE_FORWARDED_CALL(get_audioTransform, LONG(16), &o.unk),
        CORVANE_FORWARDED_CALL(get_dataTransform, LONG(17), &o.unk),
        CORVANE_FORWARDED_CALL(SetParam, o.name, o.var),
        CORVANE_FORWARDED_CALL(GetParam, o.name, &o.var),
    };
    return calls;
}

#undef CORVANE_FORWARDED_CALL
#undef CORVANE_FORWARDED_READ

// ---- a probe engine for the shell's own contracts ----

struct ProbeState {
    int resets = 0;  // ResetParams calls
    bool lengthChangesAtReset = false;
    bool followsRateAtReset = false;
    bool throwInConstructor = false;
    bool throwInReset = false;
    bool throwInOperations = false;  // InitFilter throws an HRESULT, GetAudioDuration bad_alloc
};
inline ProbeState& Probe() {
    static ProbeState state;
    return state;
}

class ProbeEngine : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ false, /*perChannel*/ false,
                                             /*lengthChanges*/ true, /*followsRate*/ true};
    static constexpr HRESULT kThrown = _HR(0x8004DEAD);
    ProbeEngine(GUID clsid, GUID iid, BYTE useHelper, BYTE perChannel)
        : CBaseFilter(clsid, iid, useHelper, perChannel) {
        if (Probe().throwInConstructor) ThrowHr(kThrown);
    }
    HRESULT ResetParams() override {
        ++Probe().resets;
        Probe().lengthChangesAtReset = m_bLengthChanges;
        Probe().followsRateAtReset = m_bFollowsRate;
        if (Probe().throwInReset) throw std::bad_alloc();
        return CBaseFilter::ResetParams();
    }
    HRESULT InitFilter(IUnknown*) override {
        if (Probe().throwInOperations) ThrowHr(kThrown);
        return S_FALSE;
    }
    HRESULT GetAudioDuration(LONG, double* pVal) override {
        if (Probe().throwInOperations) throw std::bad_alloc();
        *pVal = 4321.0;
        return S_OK;
    }
    HRESULT GetAudioTime(LONG, double* pVal) override {
        *pVal = 12.5;
        return S_FALSE;
    }
};

struct ProbeTraits {
    using Engine = ProbeEngine;
    using Interface = IEchoFilter5;
    static const CLSID& Clsid() { return CLSID_EchoFilter5; }
    static constexpr int kScriptId = 108;
};
using CProbeFilter5 = CEffectFilter5<ProbeTraits>;

// ---- running with a deadline ----

// Runs f on another thread and waits for it. A call that has not returned within the deadline is
// taken for a deadlock: the blocked thread cannot be recovered, so the program ends.
inline void RunOrAbort(const char* what, std::function<void()> f, int deadlineMs = 10000) {
    std::packaged_task<void()> task(std::move(f));
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(std::chrono::milliseconds(deadlineMs)) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return within %d ms: deadlock\n", what, deadlineMs);
        std::fflush(stderr);
        std::abort();
    }
    worker.join();
    done.get();
}

}  // namespace corvane::testing
