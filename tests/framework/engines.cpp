#include "tests/framework/engines.h"

#include "framework/BaseFilterSupport.h"

#include <algorithm>

namespace corvane::test {

const GUID kTestClsid = {
    0x5b1e2a7c, 0x31d4, 0x4f0e, {0x9a, 0x61, 0x0c, 0x7e, 0x52, 0x18, 0xd3, 0x44}};
const GUID kTestIid = {
    0x8e93c4f2, 0x6a0b, 0x4b57, {0xb1, 0x2d, 0x77, 0x40, 0x9e, 0x3c, 0x05, 0xa8}};

HRESULT RecordingChannelFilter::ResetChannel() {
    ++resets;
    return S_OK;
}

HRESULT RecordingChannelFilter::LoadChannelParams() {
    ++loads;
    loadResult = corvane::ParamDouble(m_pOwner->ParamObject(), OLESTR("TestGain"), &loadedGain);
    return loadAnswer;
}

int IdentityFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    std::copy(m_pIn, m_pIn + n, m_pOut);
    return n;
}

int GainFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    const double g = m_gain * loadedGain;
    for (int k = 0; k < n; ++k) m_pOut[k] = m_pIn[k] * g;
    return n;
}

int LatencyFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    const int out = std::max(0, n - m_latency);
    for (int k = 0; k < out; ++k) m_pOut[k] = m_pIn[k] * m_gain;
    return out;
}

int ZeroFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    return 0;
}

int LengthFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    const int out = std::max(0, m_count(n));
    EnsureOutputBuffer(out);
    for (int k = 0; k < out; ++k) m_pOut[k] = k < n ? m_pIn[k] : m_fill;
    return out;
}

int ConstantFilter::ProcessChannel(int n, int last) {
    Record(n, last);
    std::fill(m_pOut, m_pOut + n, m_value);
    return n;
}

TestEngine::TestEngine(BYTE useHelper, BYTE perChannel, Factory factory)
    : Open(kTestClsid, kTestIid, useHelper, perChannel), m_factory(std::move(factory)) {}

std::unique_ptr<CBaseChannelFilter> TestEngine::CreateChannelFilter() {
    // BuildChannelFilters appends each filter right after creating it.
    const int index = static_cast<int>(ChannelFilterCount());
    if (!m_factory) return std::make_unique<IdentityFilter>(this);
    return std::unique_ptr<CBaseChannelFilter>(m_factory(index, this));
}

void RecorderEngine::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                  LONG last, IAudioData** out) {
    BlockCall call{totalBytes, offsetBytes, count, last, m_blockStart, {}};
    IAudioData* block = nullptr;
    if (data) data->QueryInterface(IID_IAudioData, reinterpret_cast<void**>(&block));
    if (block) {
        BYTE* bytes = nullptr;
        if (SUCCEEDED(block->GetBuffer(kBufferRead, 0, &bytes)) && bytes) {
            const int16_t* s = reinterpret_cast<const int16_t*>(bytes + offsetBytes);
            call.samples.assign(s, s + count);
        }
    }
    blocks.push_back(std::move(call));
    *out = block;
}

}  // namespace corvane::test

namespace corvane::test {

ComPtr<TableSource> EngineTest::Attach(const AudioFormatValues& format,
                                       std::vector<int16_t> samples) {
    ComPtr<TableSource> source(new TableSource(doubles.State(), format, std::move(samples)));
    EXPECT_EQ(engine->PutMediaSource(static_cast<IMediaSource*>(source.Get())), S_OK);
    return source;
}

HRESULT EngineTest::Configure(const Params& params) {
    ComPtr<testing::RecordingEffectParams> p = doubles.NewParams(params.store);
    return engine->PutEffectParams(static_cast<IEffectParams*>(p.Get()));
}

HRESULT EngineTest::Zones(const std::vector<std::tuple<double, double, bool>>& zones,
                          bool listEnabled) {
    ComPtr<testing::RecordingEffectZones> z = doubles.NewZones();
    for (const auto& [start, duration, enabled] : zones) {
        host::ZoneValues v;
        v.start = start;
        v.duration = duration;
        v.enabled = enabled;
        LONG id = 0;
        z->Add(v, &id);
    }
    z->host::CEffectZones::put_Enabled(listEnabled ? VARIANT_TRUE : VARIANT_FALSE);
    return engine->PutEffectZones(static_cast<IEffectZones*>(z.Get()));
}

HRESULT EngineTest::Read(double ms, IUnknown** block) {
    return engine->ReadAudio(0, 0, ms, block);
}

}  // namespace corvane::test
