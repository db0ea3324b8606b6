#include "effects/EchoFilter.h"

#include "framework/BaseFilterSupport.h"

#include <algorithm>
#include <cmath>

using corvane::ComPtr;

namespace {

ComPtr<IAudioBuffer> NewBuffer(HRESULT* hr) {
    void* created = nullptr;
    *hr = CoCreateInstance(CLSID_AudioBuffer, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioBuffer,
                           &created);
    ComPtr<IAudioBuffer> buffer = ComPtr<IAudioBuffer>::Attach(static_cast<IAudioBuffer*>(created));
    if (SUCCEEDED(*hr) && !buffer) *hr = E_POINTER;
    if (FAILED(*hr)) buffer.Reset();
    return buffer;
}

}  // namespace

CEchoFilter::Reflection::~Reflection() {
    DropDelayed();
    if (queue) queue->Release();
}

void CEchoFilter::Reflection::DropDelayed() {
    IAudioData* block = delayed;
    delayed = nullptr;
    delayedSamples = nullptr;
    delayedCount = 0;
    if (block) block->Release();
}

CEchoFilter::~CEchoFilter() = default;

int32_t CEchoFilter::GainOf(double factor) {
    const double q = std::floor(factor * 65536.0 + 0.5);
    const double g = std::floor((q + 128.0) / 256.0);
    if (!(g > -2147483648.0)) return INT32_MIN;
    if (g >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(g);
}

void CEchoFilter::DropReflections() {
    m_reflections.clear();
}

const ParamTable<CEchoFilter>& CEchoFilter::Params() {
    using C = CEchoFilter;
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("ReflectionsNumber"), 0), &C::m_reflectionCount},
    };
    return rows;
}

const ParamTable<CEchoFilter::ReflectionKeys>& CEchoFilter::ReflectionParams() {
    using K = ReflectionKeys;
    static const ParamTable<K> rows = {
        {Numbered(
             AboveLo(DoubleKey(OLESTR("AudioOffset"), ParamSpec::kNone, 0.1, ParamSpec::kInf))),
         &K::offset},
        {Numbered(LevelKey(OLESTR("dBVolumeLevel"), OLESTR("VolumeLevel"), 1.0)), &K::factor},
    };
    return rows;
}

HRESULT CEchoFilter::ResetParams() {
    if (const HRESULT hr = CBaseFilter::ResetParams(); FAILED(hr)) return hr;
    ::ResetParams(this, Params());
    DropReflections();
    return S_OK;
}

HRESULT CEchoFilter::LoadParams() {
    if (const HRESULT hr = CBaseFilter::LoadParams(); FAILED(hr)) return hr;
    ReadParams(m_pParams.Get(), this, Params());
    const ParamTable<ReflectionKeys>& rows = ReflectionParams();
    const LONG count = std::min<LONG>(m_reflectionCount, kMaxReflections);
    for (LONG i = 0; i < count; ++i) {
        ReflectionKeys keys;
        // Without its delay there is no reflection i, and its level is not read.
        if (!ReadParam(m_pParams.Get(), &keys, rows[0], i)) continue;
        ReadParam(m_pParams.Get(), &keys, rows[1], i);
        auto r = std::make_unique<Reflection>();
        r->offset = keys.offset;
        r->gain = GainOf(keys.factor);
        void* queue = nullptr;
        r->queueResult = CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IAudioHelper, &queue);
        r->queue = static_cast<IAudioHelper*>(queue);
        if (SUCCEEDED(r->queueResult) && r->queue == nullptr) r->queueResult = E_POINTER;
        m_reflections.push_back(std::move(r));
    }
    m_primeDue = true;
    return S_OK;
}

HRESULT CEchoFilter::ResetStream() {
    if (const HRESULT hr = CBaseFilter::ResetStream(); FAILED(hr)) return hr;
    for (const auto& r : m_reflections) {
        if (r->queue) r->queue->Reset(0);
        r->DropDelayed();
    }
    m_primeDue = true;
    return S_OK;
}

HRESULT CEchoFilter::BuildChannelFilters() {
    if (const HRESULT hr = CWholeBlockFilter::BuildChannelFilters(); FAILED(hr)) return hr;
    m_primeDue = true;
    return S_OK;
}

HRESULT CEchoFilter::OnBeforeRead() {
    for (const auto& r : m_reflections) r->DropDelayed();
    return S_OK;
}

HRESULT CEchoFilter::Prime(Reflection& r) {
    if (r.queue == nullptr) return FAILED(r.queueResult) ? r.queueResult : E_POINTER;
    HRESULT hr = r.queue->Reset(0);
    if (FAILED(hr)) return hr;
    const double frames =
        std::trunc(static_cast<double>(m_wfx.nSamplesPerSec) * r.offset / 1000.0 + 0.0001);
    const double bytes = frames * m_wfx.nBlockAlign;
    // A delay longer than one block of the host can hold cannot be primed.
    if (!(bytes <= 2147483647.0)) return E_OUTOFMEMORY;
    if (bytes < 1.0) return S_OK;
    ComPtr<IAudioBuffer> silence = NewBuffer(&hr);
    if (FAILED(hr)) return hr;
    hr = silence->PutFormat(m_pFormat.Get());
    if (SUCCEEDED(hr)) hr = silence->SetLength(static_cast<LONG>(bytes), -1);
    if (SUCCEEDED(hr)) hr = r.queue->Append(0, silence.Get());
    return hr;
}

HRESULT CEchoFilter::OnBlockFormat() {
    if (!m_bFirstBlock && !m_primeDue) return S_OK;
    m_primeDue = false;
    m_primeFailure = S_OK;
    for (const auto& r : m_reflections) {
        const HRESULT hr = Prime(*r);
        if (FAILED(hr) && SUCCEEDED(m_primeFailure)) m_primeFailure = hr;
    }
    return S_OK;
}

HRESULT CEchoFilter::Delay(Reflection& r, const int16_t* samples, LONG count) {
    if (r.queue == nullptr) return FAILED(r.queueResult) ? r.queueResult : E_POINTER;
    const LONG bytes = 2 * count;
    HRESULT hr = S_OK;
    ComPtr<IAudioBuffer> copy = NewBuffer(&hr);
    if (FAILED(hr)) return hr;
    hr = copy->PutFormat(m_pFormat.Get());
    if (SUCCEEDED(hr)) hr = copy->SetLength(bytes, 0);
    if (SUCCEEDED(hr)) hr = copy->Write(0, reinterpret_cast<const BYTE*>(samples), bytes);
    if (SUCCEEDED(hr)) hr = r.queue->Append(0, copy.Get());
    if (FAILED(hr)) return hr;
    copy.Reset();

    ComPtr<IUnknown> taken;
    hr = r.queue->TakeAudio(0, BytesToMs(bytes), taken.Put());
    if (FAILED(hr)) return hr;
    // An empty queue gives no block: this reflection adds nothing to the block.
    ComPtr<IAudioData> delayed = taken.As<IAudioData>();
    if (!delayed) return S_OK;
    BYTE* buffer = nullptr;
    LONG length = 0;
    hr = delayed->GetBufferAndLength(corvane::kBufferRead, 0, &buffer, &length);
    if (FAILED(hr)) return hr;
    if (buffer == nullptr || length < 2) return S_OK;
    r.DropDelayed();
    r.delayedSamples = reinterpret_cast<const int16_t*>(buffer);
    r.delayedCount = length / 2;
    r.delayed = delayed.Detach();
    return S_OK;
}

void CEchoFilter::Mix(int16_t* x, LONG n) {
    m_sums.resize(static_cast<size_t>(n));
    int64_t* sums = m_sums.data();
    for (LONG i = 0; i < n; ++i) sums[i] = int64_t{x[i]} * 256;
    for (const auto& r : m_reflections) {
        if (r->delayedSamples == nullptr) continue;
        const int64_t g = r->gain;
        const int16_t* d = r->delayedSamples;
        const LONG m = std::min(n, r->delayedCount);
        for (LONG i = 0; i < m; ++i) sums[i] += g * d[i];
    }
    for (LONG i = 0; i < n; ++i) {
        x[i] = static_cast<int16_t>(std::clamp<int64_t>((sums[i] + 128) >> 8, -32768, 32767));
    }
}

void CEchoFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG,
                               IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples == nullptr) return;
    // Audio without its echo, or with an echo at the wrong time, is no output of the effect.
    if (FAILED(m_primeFailure)) {
        FailBlock(m_primeFailure);
        return;
    }
    for (const auto& r : m_reflections) {
        const HRESULT hr = Delay(*r, samples, count);
        if (FAILED(hr)) {
            FailBlock(hr);
            return;
        }
    }
    Mix(samples, count);
}
