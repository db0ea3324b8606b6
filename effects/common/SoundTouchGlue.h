// What the stretch and pitch-shift effects share in driving SoundTouch (float samples): doubles in,
// everything the processor holds out, through one float buffer that grows as needed.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace corvane {

// Puts n interleaved doubles of `channels` channels (n / channels frames) into the processor, as
// floats through `floats`.
void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                std::vector<float>& floats);

// Receives everything the processor holds into `floats` from its start, growing it, and returns
// the number of floats received (frames x channels).
size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, std::vector<float>& floats);

}  // namespace corvane
