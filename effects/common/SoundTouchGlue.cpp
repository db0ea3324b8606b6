#include "effects/common/SoundTouchGlue.h"

#include "framework/BaseFilter.h"
#include "framework/error_support.h"
#include "platform/exceptions.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace corvane {

namespace {
// Room made for each receive, in sample frames.
constexpr uint kReceiveFrames = 4096;
// Frames of silence per put at the end of the stream.
constexpr uint kSilenceFrames = 4096;
// The silence SoundTouch's own flush allows itself, in frames.
constexpr double kOwnFlushFrames = 25600.0;
}  // namespace

void SetSampleRateOrFail(soundtouch::SoundTouch& processor, DWORD rate, const CBaseFilter& owner) {
    try {
        processor.setSampleRate(rate);
    } catch (const std::runtime_error&) {
        // Unchecked, the library's exception would leave the read as a bare E_FAIL.
        ThrowHr(owner.SetError(kAudioFormatUnsupported));
    }
}

int64_t SoundTouchCounts::Owed() const {
    // Beyond any count a block can carry, and never a conversion out of range.
    const double total = std::min(expected, 4e18);
    return total > 0.0 ? std::max<int64_t>(std::llround(total) - received, 0) : 0;
}

void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                SoundTouchCounts& counts, std::vector<float>& floats) {
    if (n <= 0 || channels <= 0) return;
    if (floats.size() < static_cast<size_t>(n)) floats.resize(static_cast<size_t>(n));
    std::transform(samples, samples + n, floats.begin(),
                   [](double x) { return static_cast<float>(x); });
    const int frames = n / channels;
    if (frames <= 0) return;
    counts.expected += frames * processor.getInputOutputSampleRatio();
    processor.putSamples(floats.data(), static_cast<uint>(frames));
}

size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                  std::vector<float>& floats, size_t from, int64_t maxFrames) {
    size_t taken = from;
    const size_t perFrame = static_cast<size_t>(channels);
    while (maxFrames > 0) {
        const uint frames = static_cast<uint>(std::min<int64_t>(kReceiveFrames, maxFrames));
        // Only into the room there is: the processor is never asked for more than fits.
        if (floats.size() < taken + frames * perFrame) floats.resize(taken + frames * perFrame);
        const uint got = processor.receiveSamples(floats.data() + taken, frames);
        if (got == 0) break;
        taken += static_cast<size_t>(got) * perFrame;
        counts.received += got;
        maxFrames -= got;
    }
    return taken;
}

size_t ReceiveRest(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                   std::vector<float>& floats, size_t from) {
    const int64_t owed = counts.Owed();
    if (owed > static_cast<int64_t>(processor.numSamples())) {
        // What is owed comes out of the input still held and at most two sequences of silence
        // more; the bound ends the loop should the processor never get there.
        const double sequence = std::max(processor.getSetting(SETTING_INITIAL_LATENCY),
                                         processor.getSetting(SETTING_NOMINAL_INPUT_SEQUENCE));
        const double bound =
            owed / processor.getInputOutputSampleRatio() + 2.0 * sequence + kOwnFlushFrames;
        const std::vector<float> silence(static_cast<size_t>(kSilenceFrames) * channels, 0.0f);
        for (double put = 0.0; owed > static_cast<int64_t>(processor.numSamples()) && put < bound;
             put += kSilenceFrames) {
            processor.putSamples(silence.data(), kSilenceFrames);
        }
    }
    const size_t taken = ReceiveAll(processor, channels, counts, floats, from, owed);
    processor.clear();
    return taken;
}

}  // namespace corvane
