// The graph effects' oracle: FFmpeg's audio filter graph built directly with its own graph parser
// (abuffer -> the filters given as text -> abuffersink), linked into the tests, never through the
// module's entry table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace corvane::testing {

// Runs `frames` sample frames of `samples` (packed, or planar with one channel) through
// "abuffer -> filters -> abuffersink", fed in blocks of blockFrames (0: one block), and returns
// every byte the sink yields. Fails the test (and returns nothing) when the graph cannot be built.
std::vector<uint8_t> RunGraphDirect(const std::string& filters, AVSampleFormat format,
                                    uint64_t layout, int channels, int rate, const void* samples,
                                    int64_t frames, int64_t blockFrames = 0);

// One channel of doubles through "filter,aformat" as the gate and equaliser build it (mono, the
// given double format, the rate as the aformat's).
std::vector<double> GraphOnChannel(const std::string& filter, AVSampleFormat format,
                                   const std::vector<double>& x, int rate);

}  // namespace corvane::testing
