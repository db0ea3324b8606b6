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
// Frames of the mirror per put at the end of the input.
constexpr uint kTailFrames = 4096;
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
                SoundTouchCounts& counts, std::vector<float>& floats, MirroredTail* tail) {
    if (n <= 0 || channels <= 0) return;
    if (floats.size() < static_cast<size_t>(n)) floats.resize(static_cast<size_t>(n));
    std::transform(samples, samples + n, floats.begin(),
                   [](double x) { return static_cast<float>(x); });
    PutFloats(processor, floats.data(), static_cast<size_t>(n / channels), counts, tail);
}

void PutFloats(soundtouch::SoundTouch& processor, const float* samples, size_t frames,
               SoundTouchCounts& counts, MirroredTail* tail) {
    if (frames == 0) return;
    counts.expected += static_cast<double>(frames) * processor.getInputOutputSampleRatio();
    processor.putSamples(samples, static_cast<uint>(frames));
    if (tail != nullptr) tail->Keep(samples, frames);
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

size_t ReceiveThroughEnd(soundtouch::SoundTouch& processor, int channels, SoundTouchCounts& counts,
                         std::vector<float>& floats, size_t from, int64_t frames,
                         const double* following, int followingCount, MirroredTail& tail) {
    frames = std::max<int64_t>(frames, 0);
    const size_t perFrame = static_cast<size_t>(channels);
    std::vector<float> chunk(static_cast<size_t>(kTailFrames) * perFrame);
    // The input that follows, while the processor still lacks frames.
    const size_t followingFrames = following ? std::max(followingCount, 0) / perFrame : 0;
    for (size_t at = 0;
         at < followingFrames && frames > static_cast<int64_t>(processor.numSamples());) {
        const size_t n = std::min<size_t>(kTailFrames, followingFrames - at);
        std::transform(following + at * perFrame, following + (at + n) * perFrame, chunk.begin(),
                       [](double x) { return static_cast<float>(x); });
        PutFloats(processor, chunk.data(), n, counts, &tail);
        at += n;
    }
    if (frames > static_cast<int64_t>(processor.numSamples())) {
        // What is wanted comes out of the input still held and at most two sequences of the
        // mirror more; the bound ends the loop should the processor never get there.
        const double sequence = std::max(processor.getSetting(SETTING_INITIAL_LATENCY),
                                         processor.getSetting(SETTING_NOMINAL_INPUT_SEQUENCE));
        const double bound =
            frames / processor.getInputOutputSampleRatio() + 2.0 * sequence + kOwnFlushFrames;
        for (double put = 0.0; frames > static_cast<int64_t>(processor.numSamples()) && put < bound;
             put += kTailFrames) {
            tail.Next(chunk.data(), kTailFrames);
            PutFloats(processor, chunk.data(), kTailFrames, counts);
        }
    }
    const size_t taken = ReceiveAll(processor, channels, counts, floats, from, frames);
    processor.clear();
    return taken;
}

size_t MirroredIndex(int64_t i, size_t length) {
    if (length <= 1 || i <= 0) return 0;
    const int64_t period = 2 * (static_cast<int64_t>(length) - 1);
    const int64_t at = i % period;
    return static_cast<size_t>(at < static_cast<int64_t>(length) ? at : period - at);
}

void MirroredTail::Reset(size_t keepFrames, int channels) {
    m_kept.clear();
    m_first = 0;
    m_keepFrames = keepFrames;
    m_channels = std::max(channels, 1);
    m_given = 0;
}

void MirroredTail::Keep(const float* samples, size_t frames) {
    const size_t perFrame = static_cast<size_t>(m_channels);
    const size_t keep = std::min(frames, m_keepFrames);
    m_kept.insert(m_kept.end(), samples + (frames - keep) * perFrame, samples + frames * perFrame);
    const size_t held = (m_kept.size() - m_first) / perFrame;
    if (held > m_keepFrames) m_first += (held - m_keepFrames) * perFrame;
    // Erased once the dead front outgrows what is kept.
    if (m_first > m_kept.size() / 2) {
        m_kept.erase(m_kept.begin(), m_kept.begin() + static_cast<std::ptrdiff_t>(m_first));
        m_first = 0;
    }
    m_given = 0;
}

void MirroredTail::Next(float* out, size_t frames) {
    const size_t perFrame = static_cast<size_t>(m_channels);
    const size_t held = (m_kept.size() - m_first) / perFrame;
    if (held == 0) {
        std::fill(out, out + frames * perFrame, 0.0f);
        return;
    }
    // Frame i past the end is the kept frame as far before the last one.
    const float* kept = m_kept.data() + m_first;
    for (size_t f = 0; f < frames; ++f, ++m_given) {
        const size_t back = MirroredIndex(m_given + 1, held);
        const float* frame = kept + (held - 1 - back) * perFrame;
        std::copy(frame, frame + perFrame, out + f * perFrame);
    }
}

int SoundTouchReach(const soundtouch::SoundTouch& processor, DWORD rate, double extra) {
    const double reach = processor.getSetting(SETTING_INITIAL_LATENCY) +
                         processor.getSetting(SETTING_NOMINAL_INPUT_SEQUENCE) +
                         std::max(extra, 0.0);
    return static_cast<int>(std::min(std::ceil(reach), static_cast<double>(rate)));
}

double SoundTouchDelay(const soundtouch::SoundTouch& processor, double tempo) {
    const double sequence = processor.getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE);
    return (tempo - 1.0) * sequence / 2.0 * std::max(1.0, 2.0 - tempo);
}

}  // namespace corvane
