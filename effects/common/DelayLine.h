// Delay lines of the time-domain effects: their length from a time and a rate, computed in 64 bits,
// and their storage, zero-filled, no more of it than can return.
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

// A circular line of Length() positions, written in order from position 0 once made: what is
// written at position p returns when the position comes round to p again, Length() samples later.
// Until then a position has nothing to deliver (silence), so the line stores only the positions
// reached since it was made empty: a delay longer than the audio that runs through it before the
// next restart costs that audio, not the delay. A line read anywhere from the start (the
// flanger's) is stored whole: Make(length, length).
class DelayLine {
public:
    // An empty line of `length` positions (kUnmakeableLine for a delay beyond any memory), of which
    // min(length, expected) are stored now: `expected` is how many samples the line should take
    // before it is made empty again (0 when unknown). Throws E_OUTOFMEMORY when the stored part
    // cannot be made (more than kMaxDelayLineBytes, or no memory); the line is then empty with no
    // positions.
    void Make(int64_t length, int64_t expected);
    // An empty line of `length` positions of which none is stored yet: Reach stores them as the
    // audio comes, twice as many at a time, though no more than min(length, expected) until the
    // audio goes past `expected` (0: unknown). Its memory follows the audio read, not the length
    // a source announces, which for a stream of unknown length is no length at all.
    void MakeGrowing(int64_t length, int64_t expected);
    // Stores every position below min(end, Length()), those stored before keeping what they hold.
    // Throws as Make does, only when those positions themselves do not fit.
    void Reach(int64_t end);
    // No positions, no storage.
    void Clear();

    int64_t Length() const { return m_length; }
    // The stored positions 0 .. Reach's end - 1.
    double* Data() { return m_store.data(); }

private:
    void Store(int64_t count);

    std::vector<double> m_store;  // positions 0 .. size - 1
    int64_t m_length = 0;
    int64_t m_expected = 0;  // what Reach grows towards before the audio passes it; 0: the length
};

}  // namespace corvane
