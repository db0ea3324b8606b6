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

namespace {
// put x ratio, bounded beyond any count a block can carry, so that no conversion leaves range.
double Expected(const SoundTouchCounts& counts) {
    return std::clamp(static_cast<double>(counts.put) * counts.ratio, 0.0, 4e18);
}
}  // namespace

int64_t SoundTouchCounts::Owed() const {
    return std::max<int64_t>(std::llround(Expected(*this)) - received, 0);
}

int64_t SoundTouchCounts::Allowed() const {
    return std::max<int64_t>(static_cast<int64_t>(std::floor(Expected(*this))) - received, 0);
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
    if (counts.ratio == 0.0) counts.ratio = processor.getInputOutputSampleRatio();
    counts.put += static_cast<int64_t>(frames);
    processor.putSamples(samples, static_cast<uint>(frames));
    if (tail != nullptr) tail->Keep(samples, frames);
}

void LeadIn::Reset(int64_t frames) {
    m_frames = std::max<int64_t>(frames, 0);
    m_held.clear();
}

void LeadIn::Put(soundtouch::SoundTouch& processor, const double* samples, int n, int channels,
                 bool last, SoundTouchCounts& leadCounts, SoundTouchCounts& counts,
                 std::vector<float>& floats, MirroredTail* tail) {
    if (m_frames == 0) {
        PutDoubles(processor, samples, n, channels, counts, floats, tail);
        return;
    }
    const size_t perFrame = static_cast<size_t>(std::max(channels, 1));
    if (n > 0) m_held.insert(m_held.end(), samples, samples + n);
    const size_t frames = m_held.size() / perFrame;
    if (static_cast<int64_t>(frames) <= m_frames && !last) return;
    if (frames > 0) {
        std::vector<float> lead(static_cast<size_t>(m_frames) * perFrame);
        for (int64_t i = 0; i < m_frames; ++i) {
            const double* frame = m_held.data() + MirroredIndex(m_frames - i, frames) * perFrame;
            std::transform(frame, frame + perFrame, lead.begin() + i * perFrame,
                           [](double x) { return static_cast<float>(x); });
        }
        PutFloats(processor, lead.data(), static_cast<size_t>(m_frames), leadCounts);
        PutDoubles(processor, m_held.data(), static_cast<int>(frames * perFrame), channels, counts,
                   floats, tail);
    }
    Reset(0);
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
                         const double* following, int followingCount, MirroredTail& tail,
                         int64_t skip) {
    frames = std::max<int64_t>(frames, 0);
    skip = std::max<int64_t>(skip, 0);
    const int64_t wanted = frames + skip;
    const size_t perFrame = static_cast<size_t>(channels);
    std::vector<float> chunk(static_cast<size_t>(kTailFrames) * perFrame);
    // The input that follows, while the processor still lacks frames.
    const size_t followingFrames = following ? std::max(followingCount, 0) / perFrame : 0;
    for (size_t at = 0;
         at < followingFrames && wanted > static_cast<int64_t>(processor.numSamples());) {
        const size_t n = std::min<size_t>(kTailFrames, followingFrames - at);
        std::transform(following + at * perFrame, following + (at + n) * perFrame, chunk.begin(),
                       [](double x) { return static_cast<float>(x); });
        PutFloats(processor, chunk.data(), n, counts, &tail);
        at += n;
    }
    if (wanted > static_cast<int64_t>(processor.numSamples())) {
        // What is wanted comes out of the input still held and at most two sequences of the
        // mirror more; the bound ends the loop should the processor never get there.
        const double sequence = std::max(processor.getSetting(SETTING_INITIAL_LATENCY),
                                         processor.getSetting(SETTING_NOMINAL_INPUT_SEQUENCE));
        const double bound =
            wanted / processor.getInputOutputSampleRatio() + 2.0 * sequence + kOwnFlushFrames;
        for (double put = 0.0; wanted > static_cast<int64_t>(processor.numSamples()) && put < bound;
             put += kTailFrames) {
            tail.Next(chunk.data(), kTailFrames);
            PutFloats(processor, chunk.data(), kTailFrames, counts);
        }
    }
    DropFrames(processor, skip);
    const size_t taken = ReceiveAll(processor, channels, counts, floats, from, frames);
    // What the processor made past the end is not the stream's, nor is what went in to push it
    // out: an end met again before a new run owes nothing for them.
    processor.clear();
    counts.put = counts.received = 0;
    return taken;
}

int64_t DropFrames(soundtouch::SoundTouch& processor, int64_t frames) {
    const int64_t held = static_cast<int64_t>(processor.numSamples());
    const int64_t n = std::clamp<int64_t>(frames, 0, held);
    // SoundTouch's receive without a buffer drops what it would have handed out.
    return n > 0 ? static_cast<int64_t>(processor.receiveSamples(static_cast<uint>(n))) : 0;
}

StartCorrection LateStartOf(const soundtouch::SoundTouch& processor, DWORD sampleRate, double rate,
                            double tempo) {
    StartCorrection c;
    if (!(rate > 0.0 && rate < 1.0 && tempo > 0.0) ||
        processor.getSetting(SETTING_USE_AA_FILTER) == 0) {
        return c;
    }
    const double taps = processor.getSetting(SETTING_AA_FILTER_LENGTH);
    const double late = taps / 2.0 * (1.0 / rate - 1.0);
    if (late * 1000.0 < static_cast<double>(sampleRate)) return c;
    // Above tempo 1 the stretch plays the silence at the input's speed but skips input between
    // its sequences: the input before the sound must be long enough that its share of output
    // covers the silence.
    const double lead = tempo > 1.0 ? std::ceil(rate * late * (tempo - 1.0)) : 0.0;
    c.leadIn = static_cast<int64_t>(lead);
    c.drop = std::llround((late + lead / rate) / tempo);
    return c;
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
