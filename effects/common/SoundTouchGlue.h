// What the stretch and pitch-shift effects share in driving SoundTouch (float samples): doubles in,
// everything the processor holds out, through one float buffer that grows as needed, and the end
// of a stream, at which the processor gives every frame it owes.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundtouch {
class SoundTouch;
}
class CBaseFilter;

namespace corvane {

// What a processor was given and gave back since it was made, in frames. By the end of the stream
// it owes lround(expected) frames in all, as SoundTouch counts them itself.
struct SoundTouchCounts {
    double expected = 0.0;  // frames put, each times the input-to-output ratio at its put
    int64_t received = 0;   // frames received
    int64_t Owed() const;   // frames still to come at the end of the stream
};

// Puts n interleaved doubles of `channels` channels (n / channels frames) into the processor, as
// floats through `floats`.
void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                SoundTouchCounts& counts, std::vector<float>& floats);

// Receives what the processor holds, at most maxFrames, into `floats` from float `from` on,
// growing it, and returns the floats it holds then (from + frames received x channels).
size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                  std::vector<float>& floats, size_t from = 0, int64_t maxFrames = INT64_MAX);

// Sets the processor's sample rate. A rate it refuses (SoundTouch runs up to 192000 Hz) fails the
// read that brought it: code 6, "Audio format unsupported.", reported through `owner` with its
// class's identity, and thrown.
void SetSampleRateOrFail(soundtouch::SoundTouch& processor, DWORD rate, const CBaseFilter& owner);

// The end of the stream: silence goes in until the processor holds every frame it owes, exactly
// those are received after float `from` of `floats`, and the processor is emptied; returns the
// floats `floats` holds then. (SoundTouch's own flush puts at most 25600 frames of silence, less
// than one sequence at a high tempo or rate, and drops the input it has not used.)
size_t ReceiveRest(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                   std::vector<float>& floats, size_t from);

}  // namespace corvane
