// Delay lines of the time-domain effects: their length from a time and a rate, computed in 64 bits,
// and their storage, zero-filled with spare room past the end.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <vector>

namespace corvane {

// The largest line a channel filter makes, in bytes: what one allocation of the 32-bit module can
// ever hold. A longer delay (hours of audio) is refused rather than allowed to exhaust memory.
inline constexpr int64_t kMaxDelayLineBytes = INT32_MAX;
// LineLength's answer for a length that no line can have (infinite, NaN or beyond any memory).
inline constexpr int64_t kUnmakeableLine = INT64_MAX;

// trunc(samples) as a line length: 0 and up, or kUnmakeableLine.
int64_t LineLength(double samples);

// Makes `line` a zero-filled line of `samples` + `spare` doubles (its old contents are dropped
// first). Throws E_OUTOFMEMORY when the line cannot be made (kUnmakeableLine, more than
// kMaxDelayLineBytes, or no memory); `line` is then empty.
void MakeDelayLine(std::vector<double>& line, int64_t samples, int spare);

}  // namespace corvane
