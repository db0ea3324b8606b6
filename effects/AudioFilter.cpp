#include "effects/AudioFilter.h"

#include "framework/BaseFilter.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

using corvane::ComPtr;
using corvane::GraphOption;
using corvane::GraphSpec;

namespace {

constexpr int kFilterTypeEqualizer = 1;
constexpr int kFilterTypeGate = 2;
// Bands of smaller gain are left out of the equaliser's text.
constexpr double kSmallestBandGain = 0.001;

// Where the equaliser's and the gate's rows start in the table.
constexpr size_t kEqualizerRows = 1;
constexpr size_t kGateRows = 5;

}  // namespace

const ParamTable<CAudioChannelFilter>& CAudioChannelFilter::Params() {
    using C = CAudioChannelFilter;
    // The gate's settings must be finite: its own range check lets NaN through.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("FilterType"), 0), &C::m_filterType},
        {LongKey(OLESTR("EqualizerType"), 0), &C::m_equalizerType},
        {ArrayKey(OLESTR("FrequencyArray"), ParamType::DoubleArray), &C::m_frequencies},
        {ArrayKey(OLESTR("WidthArray"), ParamType::DoubleArray), &C::m_widths},
        {ArrayKey(OLESTR("dbGainArray"), ParamType::DoubleArray), &C::m_gains},
        {DoubleKey(OLESTR("LevelIn"), 1.0), &C::m_levelIn},
        {DoubleKey(OLESTR("Range"), 0.06125), &C::m_range},
        {DoubleKey(OLESTR("Threshold"), 0.125), &C::m_threshold},
        {DoubleKey(OLESTR("Ratio"), 2.0), &C::m_ratio},
        {DoubleKey(OLESTR("Attack"), 20.0), &C::m_attack},
        {DoubleKey(OLESTR("Release"), 250.0), &C::m_release},
        {DoubleKey(OLESTR("Makeup"), 1.0), &C::m_makeup},
        {DoubleKey(OLESTR("knee"), 2.828427125), &C::m_knee},
        {LongKey(OLESTR("Detection"), 1), &C::m_detection},
        {LongKey(OLESTR("Link"), 0), &C::m_link},
        {DoubleKey(OLESTR("LevelSC"), 1.0), &C::m_levelSideChain},
    };
    return rows;
}

CAudioChannelFilter::CAudioChannelFilter(CBaseFilter* owner)
    : CBaseChannelFilter(owner), m_provider(corvane::CreateFilterGraphProvider()) {
    corvane::FillFilterGraphApi(m_provider.Get());
}

CAudioChannelFilter::~CAudioChannelFilter() = default;

HRESULT CAudioChannelFilter::ResetChannel() {
    if (const HRESULT hr = CBaseChannelFilter::ResetChannel(); FAILED(hr)) return hr;
    m_passThrough = true;
    m_graph.Free();
    m_queued.clear();
    return S_OK;
}

HRESULT CAudioChannelFilter::LoadChannelParams() {
    if (const HRESULT hr = CBaseChannelFilter::LoadChannelParams(); FAILED(hr)) return hr;
    m_frequencies.clear();
    m_widths.clear();
    m_gains.clear();
    m_graph.Free();
    m_queued.clear();
    const ParamTable<CAudioChannelFilter>& rows = Params();
    if (!ReadParam(m_pOwner, this, rows[0])) return S_OK;
    Restart();
    if (m_filterType == kFilterTypeEqualizer) {
        ResetParams(this, rows, kEqualizerRows, kGateRows);
        ReadParams(m_pOwner, this, rows, kEqualizerRows, kGateRows);
        for (double g : m_gains) {
            if (g != 0.0) m_passThrough = false;
        }
        // A band whose gain as a factor a double cannot hold (beyond about 6000 dB either way;
        // the graph then puts out silence) has no filter: the table as a whole leaves the audio
        // untouched, as tables of different lengths do (an array with an entry that is not
        // finite is not read).
        for (double g : m_gains) {
            const double factor = std::pow(10.0, g / 20.0);
            if (!(factor > 0.0 && factor <= DBL_MAX)) m_passThrough = true;
        }
    } else if (m_filterType == kFilterTypeGate) {
        m_passThrough = false;
        ResetParams(this, rows, kGateRows);
        ReadParams(m_pOwner, this, rows, kGateRows);
    }
    BuildGraph();
    return S_OK;
}

std::string CAudioChannelFilter::EqualizerParams() const {
    std::string text;
    const size_t bands = std::min({m_frequencies.size(), m_widths.size(), m_gains.size()});
    for (size_t i = 0; i < bands; ++i) {
        if (!(std::fabs(m_gains[i]) >= kSmallestBandGain)) continue;
        if (!text.empty()) text += '|';
        text += "c0 f=" + corvane::FixedText(m_frequencies[i]) +
                " w=" + corvane::FixedText(m_widths[i]) + " g=" + corvane::FixedText(m_gains[i]) +
                " t=" + std::to_string(m_equalizerType);
    }
    return text;
}

bool CAudioChannelFilter::BuildGraph() {
    m_graph.Free();
    m_queued.clear();
    const DWORD rate = m_pOwner->Format().nSamplesPerSec;
    const bool typed = m_filterType == kFilterTypeEqualizer || m_filterType == kFilterTypeGate;
    if (!typed || m_passThrough || !m_provider || rate == 0 || rate > INT_MAX) return false;
    if (m_filterType == kFilterTypeEqualizer && CountsDiffer()) return false;

    GraphSpec spec;
    spec.layout = AV_CH_LAYOUT_MONO;
    spec.channels = 1;
    spec.sampleRate = static_cast<int>(rate);
    spec.timeBase = AVRational{1, spec.sampleRate};
    if (m_filterType == kFilterTypeEqualizer) {
        spec.format = AV_SAMPLE_FMT_DBLP;
        spec.filter = "anequalizer";
        spec.options = {GraphOption::Text("params", EqualizerParams())};
    } else {
        spec.format = AV_SAMPLE_FMT_DBL;
        spec.filter = "agate";
        spec.options = {
            GraphOption::Number("level_in", m_levelIn),
            GraphOption::Number("range", m_range),
            GraphOption::Number("threshold", m_threshold),
            GraphOption::Number("ratio", m_ratio),
            GraphOption::Number("attack", m_attack),
            GraphOption::Number("release", m_release),
            GraphOption::Number("makeup", m_makeup),
            GraphOption::Number("knee", m_knee),
            GraphOption::Integer("detection", m_detection),
            GraphOption::Integer("link", m_link),
            GraphOption::Number("level_sc", m_levelSideChain),
        };
    }
    return m_graph.Build(corvane::ProcessFilterGraphApi(), spec);
}

void CAudioChannelFilter::RestartEffect() {
    Restart();
    BuildGraph();
}

int CAudioChannelFilter::ProcessChannel(int n, int) {
    if (n <= 0) return 0;
    const size_t blockBytes = static_cast<size_t>(n) * sizeof(double);
    BYTE* out = reinterpret_cast<BYTE*>(m_pOut);
    // Straight into the output while nothing waits in the queue (always, for a graph that hands
    // out every block).
    size_t written = 0;
    if (!m_graph.Ready() || !m_graph.Run(m_pIn, n, m_queued.empty() ? out : nullptr,
                                         m_queued.empty() ? blockBytes : 0, &written, &m_queued)) {
        // No graph runs (or it just failed): the channel passes through.
        m_queued.clear();
        std::memcpy(m_pOut, m_pIn, blockBytes);
        return n;
    }
    if (written == blockBytes) return n;
    if (written > 0) {
        // Fewer came out than went in: they go behind the queue's silence below.
        m_queued.insert(m_queued.begin(), out, out + written);
    }
    // Exactly n samples leave: what the graph has not handed out yet comes as a delay of silence.
    const size_t have = std::min(m_queued.size(), blockBytes);
    const size_t silence = blockBytes - have;
    std::memset(m_pOut, 0, silence);
    std::memcpy(reinterpret_cast<BYTE*>(m_pOut) + silence, m_queued.data(), have);
    m_queued.erase(m_queued.begin(), m_queued.begin() + static_cast<std::ptrdiff_t>(have));
    return n;
}

CAudioFilter::~CAudioFilter() = default;
