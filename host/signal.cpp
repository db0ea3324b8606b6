#include "host/signal.h"

#include <cmath>

namespace corvane::host {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxSeconds = 24.0 * 3600.0;

// splitmix64: a well-mixed hash of the sample's coordinates, so noise needs no running state.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int16_t Quantise(double v) {
    double s = std::nearbyint(v * 32767.0);
    if (s > 32767.0) s = 32767.0;
    if (s < -32768.0) s = -32768.0;
    return static_cast<int16_t>(s);
}

// Phase in radians of the exponential sweep at frame n; exact for every n (no accumulation).
double SweepPhase(const SignalSettings& settings, int64_t n, double f1) {
    double t = static_cast<double>(n) / settings.rate;
    double k = std::log(f1 / settings.frequency);
    if (k <= 0.0) return 2.0 * kPi * settings.frequency * t;
    double total = settings.seconds;
    return 2.0 * kPi * settings.frequency * total / k * std::expm1(t * k / total);
}

}  // namespace

HRESULT ValidateSignalSettings(const SignalSettings& settings) {
    if (settings.rate < 1 || settings.rate > 768000) return E_INVALIDARG;
    if (settings.channels < 1 || settings.channels > 32) return E_INVALIDARG;
    if (!(settings.seconds > 0.0) || !(settings.seconds <= kMaxSeconds)) return E_INVALIDARG;
    if (!(settings.amplitude >= 0.0) || !(settings.amplitude <= 1.0)) return E_INVALIDARG;
    if (settings.kind == SignalKind::Tones || settings.kind == SignalKind::Sweep) {
        if (!(settings.frequency > 0.0) || !(settings.frequency < settings.rate / 2.0))
            return E_INVALIDARG;
    }
    switch (settings.kind) {
        case SignalKind::Tones:
        case SignalKind::Sweep:
        case SignalKind::Noise:
        case SignalKind::Silence:
            return S_OK;
    }
    return E_INVALIDARG;
}

int64_t SignalFrames(const SignalSettings& settings) {
    return static_cast<int64_t>(std::trunc(settings.rate * settings.seconds + 0.0001));
}

void GenerateSignal(const SignalSettings& settings, int64_t first, int64_t frames, int16_t* dst) {
    const int64_t total = SignalFrames(settings);
    const int ch = settings.channels;
    const double sweepEnd = settings.rate / 2.0 - 1.0;
    for (int64_t i = 0; i < frames; ++i) {
        const int64_t n = first + i;
        int16_t* frame = dst + i * ch;
        if (n < 0 || n >= total || settings.kind == SignalKind::Silence) {
            for (int c = 0; c < ch; ++c) frame[c] = 0;
            continue;
        }
        switch (settings.kind) {
            case SignalKind::Tones:
                for (int c = 0; c < ch; ++c) {
                    // The phase is reduced per cycle in integers so that it keeps full precision
                    // however long the signal runs.
                    double f = settings.frequency * (c + 1);
                    double cycles = f * static_cast<double>(n) / settings.rate;
                    double phase = 2.0 * kPi * (cycles - std::floor(cycles));
                    frame[c] = Quantise(settings.amplitude * std::sin(phase));
                }
                break;
            case SignalKind::Sweep: {
                int16_t v =
                    Quantise(settings.amplitude * std::sin(SweepPhase(settings, n, sweepEnd)));
                for (int c = 0; c < ch; ++c) frame[c] = v;
                break;
            }
            case SignalKind::Noise:
                for (int c = 0; c < ch; ++c) {
                    uint64_t h = Mix(static_cast<uint64_t>(n) * 64u + static_cast<uint64_t>(c));
                    double u = static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
                    frame[c] = Quantise(settings.amplitude * u);
                }
                break;
            case SignalKind::Silence:
                break;
        }
    }
}

bool ParseSignalKind(const std::string& text, SignalKind* kind) {
    if (text == "tones")
        *kind = SignalKind::Tones;
    else if (text == "sweep")
        *kind = SignalKind::Sweep;
    else if (text == "noise")
        *kind = SignalKind::Noise;
    else if (text == "silence")
        *kind = SignalKind::Silence;
    else
        return false;
    return true;
}

}  // namespace corvane::host
