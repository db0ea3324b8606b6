// The graph-based noise gate and parametric equaliser: each channel runs through its own filter
// graph over one mono channel of doubles, "agate" ("FilterType" 2) or "anequalizer" with one band
// per entry of "FrequencyArray", "WidthArray" and "dbGainArray" ("FilterType" 1). Any other type,
// an equaliser whose gains are all 0 dB, arrays of different lengths, a value that is not finite or
// a gain whose factor a double cannot hold, no provider and a graph that cannot be built pass the
// channel through untouched. A block always comes back as long as it went
// in; the graph is built again, from a zero time stamp, at every seek.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/FilterGraph.h"
#include "framework/BaseChannelFilter.h"

#include <cstdint>
#include <string>
#include <vector>

class CAudioChannelFilter : public CBaseChannelFilter {
public:
    // Creates this filter's provider and fills the process's entry table through it.
    explicit CAudioChannelFilter(CBaseFilter* owner);
    ~CAudioChannelFilter() override;

    // Its single-valued keys: "FilterType", "EqualizerType" (the equaliser's), then the gate's.
    static const ParamTable<CAudioChannelFilter>& Params();

    // Pass-through on, the graph freed.
    HRESULT ResetChannel() override;
    // "FilterType" (1 or 2; when it cannot be read nothing else is), "EqualizerType" and the three
    // arrays (64-bit doubles) for type 1, the eleven gate options, each at its default unless
    // given, for type 2; then builds the graph. Throws E_OUTOFMEMORY when a key name cannot be
    // allocated.
    HRESULT LoadChannelParams() override;
    // Returns n: the graph's output, or the input where no graph runs.
    int ProcessChannel(int n, int last) override;
    // After a seek: the restart flag set, the graph of types 1 and 2 built again.
    void RestartEffect();

    // The "params" text of the equaliser graph: one "c0 f=%lf w=%lf g=%lf t=%d" entry per band
    // whose |gain| is at least 0.001 dB, joined by "|".
    std::string EqualizerParams() const;
    // Graph output held back for the next block (samples); agate and anequalizer hand out a block
    // for every block, so it stays empty.
    size_t QueuedSamples() const { return m_queued.size() / sizeof(double); }
    bool GraphReady() const { return m_graph.Ready(); }

protected:
    // The graph of the loaded type; false (no graph) where none runs.
    bool BuildGraph();
    bool CountsDiffer() const {
        return m_widths.size() != m_frequencies.size() || m_gains.size() != m_frequencies.size();
    }

    corvane::ComPtr<IFilterGraphProvider> m_provider;  // null when the host has none
    corvane::FilterGraph m_graph;
    std::vector<uint8_t> m_queued;  // graph output (doubles) not yet handed on
    int32_t m_filterType = 0;       // "FilterType"
    int32_t m_equalizerType = 0;    // "EqualizerType": the t of every band
    std::vector<double> m_frequencies, m_widths, m_gains;  // Hz, Hz, dB
    bool m_passThrough = true;
    double m_levelIn = 1.0;         // "LevelIn"
    double m_range = 0.06125;       // "Range"
    double m_threshold = 0.125;     // "Threshold"
    double m_ratio = 2.0;           // "Ratio"
    double m_attack = 20.0;         // "Attack", ms
    double m_release = 250.0;       // "Release", ms
    double m_makeup = 1.0;          // "Makeup"
    double m_knee = 2.828427125;    // "knee"
    int32_t m_detection = 1;        // "Detection"
    int32_t m_link = 0;             // "Link"
    double m_levelSideChain = 1.0;  // "LevelSC"
};

class CAudioFilter : public CChannelEngine<CAudioChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CAudioFilter() override;
};
