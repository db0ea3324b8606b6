#include "tests/effects/soundtouch_reference.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace corvane::testing {

namespace {

// The processor's output for `in` (interleaved, `channels` channels), at most `frames` frames.
std::vector<float> RunOn(soundtouch::SoundTouch& st, int channels, size_t frames,
                         const std::vector<float>& in) {
    st.putSamples(in.data(), static_cast<uint>(in.size() / static_cast<size_t>(channels)));
    std::vector<float> out(frames * static_cast<size_t>(channels));
    out.resize(st.receiveSamples(out.data(), static_cast<uint>(frames)) *
               static_cast<size_t>(channels));
    return out;
}

// The level of samples [from, to) of the output, dB.
double LevelDb(const std::vector<int16_t>& x, size_t from, size_t to) {
    double e = 0.0;
    for (size_t k = from; k < to; ++k) e += static_cast<double>(x[k]) * x[k];
    return 10.0 * std::log10(e / static_cast<double>(to - from));
}

}  // namespace

std::vector<float> SoundTouchRun(const StretchSettings& s, int channels, int rate,
                                 const std::vector<float>& in, size_t following) {
    soundtouch::SoundTouch st;
    st.setChannels(static_cast<uint>(channels));
    st.setTempo(s.tempo);
    st.setRate(s.rate);
    st.setPitchSemiTones(static_cast<double>(static_cast<float>(s.pitch)));
    st.setSetting(SETTING_USE_QUICKSEEK, 0);
    st.setSetting(SETTING_USE_AA_FILTER, s.antialiasing);
    if (s.mode == 1) {
        st.setSetting(SETTING_SEQUENCE_MS, 40);
        st.setSetting(SETTING_SEEKWINDOW_MS, 15);
        st.setSetting(SETTING_OVERLAP_MS, 8);
    }
    st.setSampleRate(static_cast<uint>(rate));
    // As many frames as SoundTouch's own flush would give for the interval.
    const double frames =
        static_cast<double>(in.size() / channels - following) * (1.0 / (s.tempo * s.rate));
    return RunOn(st, channels, static_cast<size_t>(std::llround(frames)), in);
}

std::vector<float> PitchReferenceRun(const std::vector<float>& in, int rate, double tempo,
                                     double pitch, size_t following) {
    soundtouch::SoundTouch st;
    st.setChannels(1);
    st.setSampleRate(static_cast<uint>(rate));
    if (pitch > 0.0) {
        st.setPitch(pitch);
    } else {
        st.setTempo(tempo);
    }
    // Made for two channels, its rate stage holds twice the silence it delays the sound by for
    // one: cleared now, it holds as much, and the run is aligned with its input.
    st.clear();
    const double frames = static_cast<double>(in.size() - following) / (pitch > 0.0 ? 1.0 : tempo);
    return RunOn(st, 1, static_cast<size_t>(std::llround(frames)), in);
}

std::vector<int16_t> StretchFrom(const StretchSettings& s, const Signal& in, int64_t first,
                                 int64_t end) {
    const size_t channels = static_cast<size_t>(in.Channels()), following = in.Frames() - end;
    std::vector<float> x(in.samples.size() - first * channels);
    for (size_t i = 0; i < x.size(); ++i) x[i] = in.samples[first * channels + i] / 32768.0f;
    const std::vector<float> y = SoundTouchRun(s, in.Channels(), in.Rate(), x, following);
    std::vector<int16_t> out;
    for (const float v : y) out.push_back(ToPcm16(v));
    // Past an ending of the effect's own, the frames after the interval are not where they'd be.
    if (out.size() + following * channels == StretchedSamples(s, in, first, end))
        out.insert(out.end(), in.samples.begin() + end * channels, in.samples.end());
    return out;
}

size_t StretchedSamples(const StretchSettings& s, const Signal& in, int64_t first, int64_t end) {
    const double frames = static_cast<double>(end - first) / (s.tempo * s.rate);
    return (static_cast<size_t>(std::llround(frames)) + in.Frames() - end) * in.Channels();
}

void SoundTouchHarness::ExpectWithEnding(const EffectSetup& setup, const Signal& in,
                                         const std::vector<int16_t>& want, size_t total,
                                         const SeekPoint* seek) {
    const std::vector<int16_t> got = Run(setup, in, AllReadPlans()[0], seek).samples;
    ASSERT_EQ(got.size(), total);
    ASSERT_LE(want.size(), got.size());
    EXPECT_TRUE(SamplesNear({got.begin(), got.begin() + want.size()}, want, 0));
    const size_t ms = static_cast<size_t>(in.Rate() / 1000 * in.Channels());
    const size_t end = want.size(), n = std::max(got.size() - end, 10 * ms);
    if (end < got.size() && n < got.size()) {
        size_t quiet = 0;
        for (size_t k = end; k < got.size() && quiet < ms; ++k)
            quiet = std::abs(got[k]) < 64 ? quiet + 1 : 0;
        EXPECT_LT(quiet, ms) << "a silent run in the ending";
        EXPECT_NEAR(LevelDb(got, got.size() - n, got.size()), LevelDb(got, 0, got.size() - n), 1.0);
    }
    ExpectOutput(setup, in, got, 0, seek);
}

}  // namespace corvane::testing
