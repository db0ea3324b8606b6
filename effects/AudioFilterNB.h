// The graph-based channel map: "FilterType" 3 reorders or duplicates the channels of the
// interleaved 16-bit block by "MapArray", one entry per output channel naming the input channel
// it takes ("channelmap" with "map" = the entries joined by "|"; a mono block always gets "0").
// A map is used only when it has one entry per channel, each naming an existing channel; otherwise,
// for any other type, without a provider and when the graph cannot be built, the audio passes
// untouched. The graph is built at the first block and again after every seek.
#pragma once

#include "platform/win32.h"

#include "effects/common/FilterGraph.h"
#include "effects/common/ParamRead.h"
#include "effects/common/WholeBlock.h"

#include <cstdint>
#include <string>
#include <vector>

class CAudioFilterNB : public CWholeBlockFilter {
public:
    // Creates the engine's provider and fills the process's entry table through it.
    CAudioFilterNB(GUID clsid, GUID iid, BYTE useHelper, BYTE perChannel);
    ~CAudioFilterNB() override;

    // "FilterType" and "MapArray" (its entry count, then entry i as an integer with default i).
    static const ParamTable<CAudioFilterNB>& Params();

    // The framework keys, then "FilterType" and, for type 3, "MapArray".
    HRESULT LoadParams() override;
    // No channel filters: the graph for the stream's format.
    HRESULT BuildChannelFilters() override;
    HRESULT OnReset() override;
    HRESULT OnSeek() override;
    // Runs the whole frames of `count` words from offsetBytes through the graph and writes them
    // back in place; the bytes before and after stay. Without a graph the block passes untouched.
    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;

    // The "map" text for `channels` channels: the entries as "%d" joined by "|", "0" for mono.
    std::string MapText(int channels) const;
    // The channel mask the graph uses: the stream's when it has a bit per channel, else the
    // default for the count (above 8 channels the lowest `channels` bits); 0 when none exists.
    static UINT64 GraphLayout(UINT64 layout, int channels);
    bool GraphReady() const { return m_graph.Ready(); }

protected:
    // The graph for the current format; false (no graph) where the map cannot be used.
    bool BuildGraph();

    corvane::ComPtr<IFilterGraphProvider> m_provider;  // null when the host has none
    corvane::FilterGraph m_graph;
    std::vector<uint8_t> m_output;  // the graph's output of the current block
    int32_t m_filterType = 0;       // "FilterType"
    std::vector<int32_t> m_map;     // "MapArray": output channel -> input channel
};
