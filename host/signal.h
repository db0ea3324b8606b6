// Generated test signals. Every sample is a function of its absolute frame index, so a signal read
// in blocks of any size, or after any seek, gives the same samples as one read of the whole.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

namespace corvane::host {

enum class SignalKind {
    Tones,    // channel c: sine at frequency x (c + 1)
    Sweep,    // exponential sweep from frequency to rate / 2 - 1 over the whole duration
    Noise,    // white noise from a hash of (frame, channel): reproducible at every position
    Silence,  // all zero
};

struct SignalSettings {
    SignalKind kind = SignalKind::Tones;
    DWORD rate = 44100;        // frames per second, 1 .. 768000
    WORD channels = 2;         // 1 .. 32
    double seconds = 5.0;      // duration, > 0 and at most 24 hours
    double frequency = 440.0;  // Hz, > 0 and below rate / 2
    double amplitude = 0.5;    // peak, 0 .. 1 of full scale
};

// S_OK when every field is inside its range, else E_INVALIDARG.
HRESULT ValidateSignalSettings(const SignalSettings& settings);
// Whole frames of the signal: trunc(rate x seconds + 0.0001).
int64_t SignalFrames(const SignalSettings& settings);
// Writes frames interleaved 16-bit frames starting at frame `first` to dst (frames x channels
// values). Frames past the end are written as silence. settings must be valid.
void GenerateSignal(const SignalSettings& settings, int64_t first, int64_t frames, int16_t* dst);

// Parses "tones", "sweep", "noise", "silence"; false for anything else.
bool ParseSignalKind(const std::string& text, SignalKind* kind);

}  // namespace corvane::host
