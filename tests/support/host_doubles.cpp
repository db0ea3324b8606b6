#include "tests/support/host_doubles.h"

namespace corvane::testing {

namespace {

// A creator of the doubles' class table: the injected creation failure first, then the double.
template <class T>
host::ClassEntry DoubleEntry(const CLSID& clsid, std::shared_ptr<DoublesState> state) {
    return host::ClassEntry{clsid, [clsid, state](REFIID riid, void** ppv) -> HRESULT {
                                HRESULT hr = state->failures.CheckCreate(clsid);
                                if (FAILED(hr)) return hr;
                                T* obj = new T(state);
                                hr = obj->QueryInterface(riid, ppv);
                                obj->Release();
                                return hr;
                            }};
}

}  // namespace

HostDoubles::HostDoubles() : state_(std::make_shared<DoublesState>()) {
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    registration_ = classes_.Register({
        DoubleEntry<RecordingAudioBlock>(CLSID_AudioBuffer, state_),
        DoubleEntry<RecordingAudioFormat>(CLSID_AudioFormat, state_),
        DoubleEntry<RecordingAudioHelper>(CLSID_AudioHelper, state_),
        DoubleEntry<RecordingFilterGraphProvider>(CLSID_FilterGraphProvider, state_),
        DoubleEntry<RecordingWavSource>(CLSID_WavFileSource, state_),
        DoubleEntry<RecordingSignalSource>(CLSID_SignalSource, state_),
        DoubleEntry<RecordingEffectParams>(CLSID_EffectParams, state_),
        DoubleEntry<RecordingEffectZones>(CLSID_EffectZones, state_),
    });
}

HostDoubles::~HostDoubles() {
    classes_.Revoke();
    if (comInitialised_) CoUninitialize();
}

ComPtr<RecordingEffectParams> HostDoubles::NewParams(host::ParamStore store) {
    return ComPtr<RecordingEffectParams>(new RecordingEffectParams(state_, std::move(store)));
}

ComPtr<RecordingEffectZones> HostDoubles::NewZones() {
    return ComPtr<RecordingEffectZones>(new RecordingEffectZones(state_));
}

ComPtr<RecordingAudioHelper> HostDoubles::NewHelper() {
    return ComPtr<RecordingAudioHelper>(new RecordingAudioHelper(state_));
}

ComPtr<RecordingAudioBlock> HostDoubles::NewBlock(const AudioFormatValues& format, LONG bytes) {
    ComPtr<RecordingAudioBlock> b(new RecordingAudioBlock(state_, format));
    b->host::CAudioBlock::SetLength(bytes, -1);
    return b;
}

ComPtr<RecordingSignalSource> HostDoubles::NewSignalSource(const host::SignalSettings& settings) {
    return ComPtr<RecordingSignalSource>(new RecordingSignalSource(state_, settings));
}

ComPtr<RecordingWavSource> HostDoubles::NewWavSource(const std::string& path) {
    ComPtr<RecordingWavSource> s(new RecordingWavSource(state_));
    if (FAILED(s->Open(path))) s.Reset();
    return s;
}

}  // namespace corvane::testing
