#include "effects/AudioFilterNB.h"

#include "framework/BaseFilterSupport.h"

#include <bitset>
#include <climits>

using corvane::GraphOption;
using corvane::GraphSpec;

namespace {
constexpr int kFilterTypeChannelMap = 3;
}  // namespace

CAudioFilterNB::CAudioFilterNB(GUID clsid, GUID iid, BYTE useHelper, BYTE perChannel)
    : CWholeBlockFilter(clsid, iid, useHelper, perChannel),
      m_provider(corvane::CreateFilterGraphProvider()) {
    corvane::FillFilterGraphApi(m_provider.Get());
}

CAudioFilterNB::~CAudioFilterNB() = default;

const ParamTable<CAudioFilterNB>& CAudioFilterNB::Params() {
    using C = CAudioFilterNB;
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("FilterType"), 0), &C::m_filterType},
        {ArrayKey(OLESTR("MapArray"), ParamType::LongList, INT32_MIN, INT32_MAX), &C::m_map},
    };
    return rows;
}

HRESULT CAudioFilterNB::LoadParams() {
    if (const HRESULT hr = CWholeBlockFilter::LoadParams(); FAILED(hr)) return hr;
    m_map.clear();
    m_graph.Free();
    // Without a type the one read before stays; the map is read for the channel map alone.
    const ParamTable<CAudioFilterNB>& rows = Params();
    if (!ReadParam(m_pParams.Get(), this, rows[0])) return S_OK;
    if (m_filterType != kFilterTypeChannelMap) return S_OK;
    ReadParam(m_pParams.Get(), this, rows[1]);
    // Before the first block the stream's format is not known: the graph waits for it.
    if (m_pFormat != nullptr) BuildGraph();
    return S_OK;
}

HRESULT CAudioFilterNB::BuildChannelFilters() {
    if (const HRESULT hr = CWholeBlockFilter::BuildChannelFilters(); FAILED(hr)) return hr;
    BuildGraph();
    return S_OK;
}

HRESULT CAudioFilterNB::OnReset() {
    BuildGraph();
    return S_OK;
}

HRESULT CAudioFilterNB::OnSeek() {
    BuildGraph();
    return S_OK;
}

std::string CAudioFilterNB::MapText(int channels) const {
    if (channels == 1) return "0";
    std::string text;
    for (size_t i = 0; i < m_map.size(); ++i) {
        if (i > 0) text += '|';
        text += std::to_string(m_map[i]);
    }
    return text;
}

UINT64 CAudioFilterNB::GraphLayout(UINT64 layout, int channels) {
    if (channels < 1 || channels > 63) return 0;
    if (static_cast<int>(std::bitset<64>(layout).count()) == channels) return layout;
    if (channels <= 8) return DefaultChannelLayout(0, channels);
    return (UINT64{1} << channels) - 1;
}

bool CAudioFilterNB::BuildGraph() {
    m_graph.Free();
    const int channels = m_wfx.nChannels;
    const DWORD rate = m_wfx.nSamplesPerSec;
    if (m_filterType != kFilterTypeChannelMap || !m_provider || rate == 0 || rate > INT_MAX) {
        return false;
    }
    if (channels > 1) {
        // One entry per output channel, each an input channel of this stream.
        if (m_map.size() != static_cast<size_t>(channels)) return false;
        for (int32_t entry : m_map) {
            if (entry < 0 || entry >= channels) return false;
        }
    }
    GraphSpec spec;
    spec.format = AV_SAMPLE_FMT_S16;
    spec.layout = GraphLayout(m_channelLayout, channels);
    spec.channels = channels;
    spec.sampleRate = static_cast<int>(rate);
    spec.timeBase = AVRational{channels, spec.sampleRate};
    spec.filter = "channelmap";
    spec.options = {GraphOption::Text("map", MapText(channels))};
    if (spec.layout == 0) return false;
    return m_graph.Build(corvane::ProcessFilterGraphApi(), spec);
}

void CAudioFilterNB::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                  LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples == nullptr || !m_graph.Ready()) return;
    // Only whole frames go through the graph; a partial frame at the end stays as it is.
    const int channels = m_wfx.nChannels;
    const int frames = count / channels;
    const size_t processed = static_cast<size_t>(frames) * static_cast<size_t>(channels) * 2;
    // The graph's output goes straight back where its input came from.
    BYTE* place = reinterpret_cast<BYTE*>(samples);
    size_t written = 0;
    m_output.clear();
    if (!m_graph.Run(place, frames, place, processed, &written, &m_output)) {
        return;  // the graph is gone, the block untouched
    }
    // Nothing out yet leaves the block as it was. The map moves samples between channels, never
    // in time: any other amount cannot be placed.
    if (written != 0 && (written != processed || !m_output.empty())) FailBlock(E_UNEXPECTED);
}
