// What the stretch and pitch-shift effects share in driving SoundTouch (float samples): doubles in,
// everything the processor holds out, through one float buffer that grows as needed.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <vector>

namespace soundtouch {
class SoundTouch;
}
class CBaseFilter;

namespace corvane {

// Puts n interleaved doubles of `channels` channels (n / channels frames) into the processor, as
// floats through `floats`.
void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                std::vector<float>& floats);

// Sets the processor's sample rate. A rate it refuses (SoundTouch runs up to 192000 Hz) fails the
// read that brought it: code 6, "Audio format unsupported.", reported through `owner` with its
// class's identity, and thrown.
void SetSampleRateOrFail(soundtouch::SoundTouch& processor, DWORD rate, const CBaseFilter& owner);

// Receives everything the processor holds into `floats` from its start, growing it, and returns
// the number of floats received (frames x channels).
size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, std::vector<float>& floats);

}  // namespace corvane
