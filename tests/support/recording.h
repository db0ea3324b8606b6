// Recording doubles of the host classes: each one is the real host class (same behaviour) that
// logs every interface call with its arguments and result in its DoublesState, and answers an
// injected failure instead of the call when the state's FailurePlan says so. Objects they create
// (blocks from a helper or a source, copies of parameters) are recording doubles of the same state.
//
// An injected failure leaves value out-parameters as the caller had them and sets interface
// out-parameters to NULL.
#pragma once

#include "host/host.h"
#include "tests/support/call_log.h"

#include <atomic>
#include <functional>
#include <memory>

namespace corvane::testing {

using host::AudioFormatValues;

// One recorded override: logs the call, then calls Base's method (unless a failure is injected).
#define CORVANE_RECORDED(Base, key, name, params, args)                                      \
    STDMETHODIMP name params override {                                                      \
        return this->RecordTuple(                                                            \
            #name, key, [&]() -> HRESULT { return Base::name args; }, std::make_tuple args); \
    }
// The same for a method with an interface out-parameter `out`, which is cleared first.
#define CORVANE_RECORDED_OUT(Base, key, name, params, args, out)                             \
    STDMETHODIMP name params override {                                                      \
        if (out) *out = nullptr;                                                             \
        return this->RecordTuple(                                                            \
            #name, key, [&]() -> HRESULT { return Base::name args; }, std::make_tuple args); \
    }

class RecordingAudioFormat : public host::CAudioFormat, public Recorder {
public:
    RecordingAudioFormat(std::shared_ptr<DoublesState> s,
                         const AudioFormatValues& v = AudioFormatValues())
        : CAudioFormat(v), Recorder(std::move(s), "AudioFormat") {}

    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetSampleFormat, (LONG * p), (p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetChannels, (LONG * p), (p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetSampleRate, (LONG * p), (p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetBlockAlign, (LONG * p), (p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetBitsPerSample, (LONG * p), (p))
    CORVANE_RECORDED_OUT(CAudioFormat, OLESTR(""), Clone, (IAudioFormat * *p), (p), p)
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), IsEqual, (IAudioFormat * o, VARIANT_BOOL* p), (o, p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), PutSampleFormat, (LONG f), (f))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetWaveFormat, (WAVEFORMATEX * p, LONG f), (p, f))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), PutWaveFormat, (const WAVEFORMATEX* p, LONG f),
                     (p, f))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), GetChannelLayout, (UINT64 * p), (p))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), PutChannelLayout, (UINT64 l), (l))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), PutChannels, (LONG c), (c))
    CORVANE_RECORDED(CAudioFormat, OLESTR(""), PutSampleRate, (LONG r), (r))
};

class RecordingAudioBlock : public host::CAudioBlock, public Recorder {
public:
    RecordingAudioBlock(std::shared_ptr<DoublesState> s,
                        const AudioFormatValues& v = AudioFormatValues())
        : CAudioBlock(v), Recorder(std::move(s), "AudioBuffer") {}

    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetFlags, (LONG * p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), PutFlags, (LONG f), (f))
    CORVANE_RECORDED_OUT(CAudioBlock, OLESTR(""), CreateBlock, (LONG m, IUnknown** p), (m, p), p)
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), SetLength, (LONG b, LONG f), (b, f))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), Write, (LONG o, const BYTE* s, LONG b), (o, s, b))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), Read, (BYTE * d, LONG o, LONG b), (d, o, b))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetCapacity, (LONG * p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetBuffer, (LONG a, LONG r, BYTE** p), (a, r, p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetBufferAndLength,
                     (LONG a, LONG r, BYTE** p, LONG* l), (a, r, p, l))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetLength, (LONG * p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), SetDataLength, (LONG b), (b))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetFrameCount, (LONG * p), (p))
    CORVANE_RECORDED_OUT(CAudioBlock, OLESTR(""), GetFormat, (IUnknown * *p), (p), p)
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), PutFormat, (IAudioFormat * f), (f))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), MarkStart, (LONG f), (f))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), MarkEnd, (LONG f), (f))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), IsStart, (VARIANT_BOOL * p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), IsEnd, (VARIANT_BOOL * p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetTime, (double* p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), PutTime, (double t), (t))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), GetDuration, (double* p), (p))
    CORVANE_RECORDED(CAudioBlock, OLESTR(""), PutDuration, (double d), (d))

protected:
    CAudioBlock* NewBlock(const AudioFormatValues& f) override {
        return new RecordingAudioBlock(State(), f);
    }
};

class RecordingAudioHelper : public host::CAudioHelper, public Recorder {
public:
    explicit RecordingAudioHelper(std::shared_ptr<DoublesState> s)
        : Recorder(std::move(s), "AudioHelper") {}

    CORVANE_RECORDED_OUT(CAudioHelper, OLESTR(""), GetFormat, (IUnknown * *p), (p), p)
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), PutFormat, (IAudioFormat * f), (f))
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), GetLength, (LONG * p), (p))
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), GetBlockCount, (LONG * p), (p))
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), GetDuration, (double* p), (p))
    CORVANE_RECORDED_OUT(CAudioHelper, OLESTR(""), TakeAudio, (LONG f, double d, IUnknown** p),
                         (f, d, p), p)
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), Append, (LONG f, IUnknown* b), (f, b))
    CORVANE_RECORDED(CAudioHelper, OLESTR(""), Reset, (LONG f), (f))
    CORVANE_RECORDED_OUT(CAudioHelper, OLESTR(""), TakeBlock, (double d, IAudioData** p), (d, p), p)

protected:
    host::CAudioBlock* NewBlock(const AudioFormatValues& f) override {
        return new RecordingAudioBlock(State(), f);
    }
};

class RecordingEffectParams : public host::CEffectParams, public Recorder {
public:
    explicit RecordingEffectParams(std::shared_ptr<DoublesState> s,
                                   host::ParamStore store = host::ParamStore())
        : CEffectParams(std::move(store)), Recorder(std::move(s), "EffectParams") {}

    CORVANE_RECORDED(CEffectParams, OLESTR(""), Clear, (), ())
    CORVANE_RECORDED(CEffectParams, KeyOf(n), Remove, (BSTR n), (n))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), Exists, (BSTR n, LONG i, VARIANT_BOOL* p), (n, i, p))
    CORVANE_RECORDED(CEffectParams, OLESTR(""), GetNameCount, (LONG * p), (p))
    CORVANE_RECORDED(CEffectParams, OLESTR(""), GetName, (LONG i, BSTR* p), (i, p))
    CORVANE_RECORDED_OUT(CEffectParams, OLESTR(""), Duplicate, (LONG m, IEffectParams** p), (m, p),
                         p)
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetCount, (BSTR n, LONG* p), (n, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), AddZone, (BSTR n, IEffectParams* e), (n, e))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetBool, (BSTR n, LONG i, VARIANT_BOOL v), (n, i, v))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetLong, (BSTR n, LONG i, LONG v), (n, i, v))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetULong, (BSTR n, LONG i, ULONG v), (n, i, v))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetDouble, (BSTR n, LONG i, double v), (n, i, v))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetBool, (BSTR n, LONG i, VARIANT_BOOL* p), (n, i, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetString, (BSTR n, LONG i, BSTR v), (n, i, v))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), SetStream, (BSTR n, LONG i, const BYTE* d, ULONG b),
                     (n, i, d, b))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetLongDef, (BSTR n, LONG i, LONG d, LONG* p),
                     (n, i, d, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetLong, (BSTR n, LONG i, LONG* p), (n, i, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetULong, (BSTR n, LONG i, ULONG* p), (n, i, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetDoubleDef, (BSTR n, LONG i, double d, double* p),
                     (n, i, d, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetDouble, (BSTR n, LONG i, double* p), (n, i, p))
    CORVANE_RECORDED(CEffectParams, KeyOf(n), GetString, (BSTR n, LONG i, BSTR* p), (n, i, p))
    CORVANE_RECORDED_OUT(CEffectParams, KeyOf(n), GetZone,
                         (BSTR n, LONG i, LONG m, IEffectParams** p), (n, i, m, p), p)
    CORVANE_RECORDED_OUT(CEffectParams, KeyOf(n), GetStream, (BSTR n, LONG i, LONG m, IStream** p),
                         (n, i, m, p), p)

protected:
    CEffectParams* NewParams(host::ParamStore store) override {
        return new RecordingEffectParams(State(), std::move(store));
    }
};

class RecordingEffectZones : public host::CEffectZones, public Recorder {
public:
    explicit RecordingEffectZones(std::shared_ptr<DoublesState> s)
        : Recorder(std::move(s), "EffectZones") {}

    CORVANE_RECORDED(CEffectZones, OLESTR(""), get_Enabled, (VARIANT_BOOL * p), (p))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), put_Enabled, (VARIANT_BOOL v), (v))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), GetZoneEnabled, (LONG id, VARIANT_BOOL* p), (id, p))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), PutZoneEnabled, (LONG id, VARIANT_BOOL v), (id, v))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), GetCount, (LONG * p), (p))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), GetZoneId, (LONG i, LONG* p), (i, p))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), GetZoneTime, (LONG id, double* s, double* d),
                     (id, s, d))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), PutZoneTime, (LONG id, double s, double d),
                     (id, s, d))
    CORVANE_RECORDED_OUT(CEffectZones, OLESTR(""), GetZoneParams, (LONG id, IUnknown** p), (id, p),
                         p)
    CORVANE_RECORDED(CEffectZones, OLESTR(""), AddZone,
                     (double s, double d, VARIANT_BOOL e, IUnknown* p, LONG* id), (s, d, e, p, id))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), RemoveZone, (LONG id), (id))
    CORVANE_RECORDED(CEffectZones, OLESTR(""), Clear, (), ())
};

class RecordingFilterGraphProvider : public host::CFilterGraphProvider, public Recorder {
public:
    explicit RecordingFilterGraphProvider(std::shared_ptr<DoublesState> s)
        : Recorder(std::move(s), "FilterGraphProvider") {}

    CORVANE_RECORDED(CFilterGraphProvider, OLESTR(""), FillApi, (LONG v, LONG f, void* t),
                     (v, f, t))
};

// What a source does before each ReadAudio: runs the read hook (it may call back into whoever is
// reading, e.g. an effect), then waits at the read gate while it is closed.
template <class Base>
class SourceHooks : public Base {
public:
    using Base::Base;

    // Called with the 0-based number of the read, outside the source's lock.
    void SetReadHook(std::function<void(int read)> hook) {
        std::lock_guard<std::mutex> g(hookLock_);
        hook_ = std::move(hook);
    }
    Gate& ReadGate() { return gate_; }

    STDMETHODIMP ReadAudio(LONG Stream, LONG Flags, double Duration,
                           IUnknown** pAudioData) override {
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> g(hookLock_);
            hook = hook_;
        }
        int n = reads_++;
        if (hook) hook(n);
        gate_.Pass();
        return Base::ReadAudio(Stream, Flags, Duration, pAudioData);
    }

private:
    std::mutex hookLock_;
    std::function<void(int)> hook_;
    std::atomic<int> reads_{0};
    Gate gate_;
};

// A recording source over Base (host::CSignalSource or host::CWavFileSource): every one of the
// 44 IMediaSource methods is logged, with ReadAudio's hook and gate of SourceHooks.
template <class Base>
class RecordingSourceT : public SourceHooks<Base>, public Recorder {
public:
    template <class... Args>
    explicit RecordingSourceT(std::shared_ptr<DoublesState> s, Args&&... args)
        : SourceHooks<Base>(std::forward<Args>(args)...), Recorder(std::move(s), "MediaSource") {}

#define CORVANE_RECORD_SOURCE(name, params, args) \
    CORVANE_RECORDED(SourceHooks<Base>, OLESTR(""), name, params, args)
    CORVANE_IMEDIASOURCE_METHODS(CORVANE_RECORD_SOURCE)
#undef CORVANE_RECORD_SOURCE

protected:
    host::CAudioBlock* NewBlock(const AudioFormatValues& f) override {
        return new RecordingAudioBlock(State(), f);
    }
};

using RecordingSignalSource = RecordingSourceT<host::CSignalSource>;
using RecordingWavSource = RecordingSourceT<host::CWavFileSource>;

}  // namespace corvane::testing
