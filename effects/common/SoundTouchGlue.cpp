#include "effects/common/SoundTouchGlue.h"

#include "framework/BaseFilter.h"
#include "framework/exceptions.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <stdexcept>

namespace corvane {

namespace {
// Room made for each receive, in sample frames.
constexpr uint kReceiveFrames = 4096;
constexpr int kAudioFormatUnsupported = 6;
}  // namespace

void SetSampleRateOrFail(soundtouch::SoundTouch& processor, DWORD rate, const CBaseFilter& owner) {
    try {
        processor.setSampleRate(rate);
    } catch (const std::runtime_error&) {
        // Unchecked, the library's exception would leave the read as a bare E_FAIL.
        ThrowHr(owner.SetError(kAudioFormatUnsupported));
    }
}

void PutDoubles(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                std::vector<float>& floats) {
    if (n <= 0 || channels <= 0) return;
    if (floats.size() < static_cast<size_t>(n)) floats.resize(static_cast<size_t>(n));
    std::transform(samples, samples + n, floats.begin(),
                   [](double x) { return static_cast<float>(x); });
    const int frames = n / channels;
    if (frames > 0) processor.putSamples(floats.data(), static_cast<uint>(frames));
}

size_t ReceiveAll(soundtouch::SoundTouch& processor, int channels, std::vector<float>& floats) {
    size_t taken = 0;
    const size_t chunk = static_cast<size_t>(kReceiveFrames) * static_cast<size_t>(channels);
    for (;;) {
        // Only into the room there is: the processor is never asked for more than fits.
        if (floats.size() < taken + chunk) floats.resize(taken + chunk);
        const uint got = processor.receiveSamples(floats.data() + taken, kReceiveFrames);
        if (got == 0) return taken;
        taken += static_cast<size_t>(got) * static_cast<size_t>(channels);
    }
}

}  // namespace corvane
