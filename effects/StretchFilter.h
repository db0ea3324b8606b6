// The stretch effect: tempo ("TempoRate"), playback rate ("RateRate") and pitch ("PitchShift",
// semitones) of the effect interval changed independently by SoundTouch, one processor over the
// interleaved block of all channels. The interval's length becomes its length / (TempoRate x
// RateRate), and the engine's rate (positions, duration, how much input is read) follows from
// these keys whatever "Rate" says. Each block returns what SoundTouch delivers; the block that
// ends the interval gives every frame still owed, pushed out of the processor by the input that
// follows the interval (its output past the interval's share is dropped) and, past the stream's
// end, by the input mirrored about its end: never by silence, so that the interval sounds to its
// end. A channel count SoundTouch cannot take (more than 16, or 16 through its anti-alias
// filter) passes the audio through, at a rate of 1.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "effects/common/SoundTouchGlue.h"
#include "framework/BaseChannelFilter.h"
#include "framework/BaseFilter.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

class CStretchChannelFilter : public CBaseChannelFilter {
public:
    // Limits of "TempoRate" and "RateRate": a factor outside them (or not finite) is ignored.
    // SoundTouch makes no progress at 0, and a tiny factor would multiply the audio without
    // bound.
    static constexpr double kSmallestFactor = 0.01;
    static constexpr double kLargestFactor = 100.0;
    // "PitchShift" beyond five octaves either way is ignored.
    static constexpr double kLargestPitchShift = 60.0;

    // Its keys: "TempoRate", "RateRate" (factors), "PitchShift" (semitones), "Mode",
    // "Antialiasing" (integers).
    static const ParamTable<CStretchChannelFilter>& Params();
    // 1 / ("TempoRate" x "RateRate") of the owner's parameters, each 1.0 where it is missing or
    // ignored.
    static double LengthFactorOf(const CBaseFilter* owner);

    explicit CStretchChannelFilter(CBaseFilter* owner);
    ~CStretchChannelFilter() override;

    // The keys at their defaults, then a new processor.
    HRESULT ResetChannel() override;
    // The keys, then a new processor.
    HRESULT LoadChannelParams() override;
    // Returns the samples SoundTouch delivers for these (at the last block, all it owes);
    // without a processor the block itself. A sample rate that SoundTouch refuses (above
    // 192000 Hz) fails the read with code 6, "Audio format unsupported.".
    int ProcessChannel(int n, int last) override;

    // The frames that follow the interval which push out what the processor owes at its end.
    int LookAheadFrames() const override;

    // A new processor with the current settings (none when SoundTouch refuses the channel count).
    void Rebuild();
    // The processor's channel count set to the stream's, once the stream's format is known.
    void FollowChannelCount();
    // How many times longer the output is than the input: 1 / (TempoRate x RateRate), or 1 while
    // the audio passes through.
    double LengthFactor() const;

protected:
    int ChannelCount() const;
    // The effective rate and tempo SoundTouch runs at: the pitch moves from the tempo to the rate.
    double EffectiveRate() const;
    double EffectiveTempo() const;
    // Where the interval's sound would start late (see corvane::LateStartOf): what cancels it.
    corvane::StartCorrection StartCorrectionOf(const soundtouch::SoundTouch& processor) const;
    // A processor with the current settings for this channel count, its sample rate not yet set;
    // SoundTouch's exception for a channel count it refuses.
    std::unique_ptr<soundtouch::SoundTouch> NewProcessor(int channels) const;

    double m_tempoRate = 1.0;    // "TempoRate"
    double m_rateRate = 1.0;     // "RateRate"
    double m_pitchShift = 0.0;   // "PitchShift", semitones
    int32_t m_mode = 0;          // "Mode": 1 fixes the stretching windows (40, 15, 8 ms)
    int32_t m_antialiasing = 1;  // "Antialiasing"
    DWORD m_sampleRate = 0;      // the rate last given to the processor
    int m_processorChannels = 0;
    std::unique_ptr<soundtouch::SoundTouch> m_processor;
    corvane::SoundTouchCounts m_counts;  // of m_processor
    corvane::MirroredTail m_tail;        // what goes into m_processor past the end of its input
    // At the start of a run (see corvane::LateStartOf): the lead-in, and the output still to drop.
    corvane::LeadIn m_leadIn;
    int64_t m_drop = 0;
    std::vector<float> m_floats;  // samples on their way in and out of the processor
};

class CStretchFilter : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ false,
                                             /*lengthChanges*/ true, /*followsRate*/ true};

    using CBaseFilter::CBaseFilter;
    ~CStretchFilter() override;

    std::unique_ptr<CBaseChannelFilter> CreateChannelFilter() override;
    // Both: the restart flag set and a new processor for every channel filter.
    HRESULT OnReset() override;
    HRESULT OnSeek() override;
    // At the first block: the processor takes the stream's channel count.
    HRESULT OnBlockFormat() override;
    // Both end with the framework's rate set to the length factor of the processors in force
    // (before there are any, of the keys).
    HRESULT LoadParams() override;
    HRESULT BuildChannelFilters() override;

private:
    void RestartChannels();
    void FollowFactors();
};
