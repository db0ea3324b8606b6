#include "tests/effects/soundtouch_reference.h"

#include <soundtouch/SoundTouch.h>

#include <cmath>

namespace corvane::testing {

namespace {

// The processor's first `frames` frames of output for `in` (interleaved, `channels` channels)
// followed by `in` mirrored about its last frame, back and forth: how the effects end their
// interval (`in` being the interval and what follows it).
std::vector<float> RunWithMirroredEnd(soundtouch::SoundTouch& st, int channels, size_t frames,
                                      const std::vector<float>& in) {
    const size_t n = in.size() / static_cast<size_t>(channels);
    st.putSamples(in.data(), static_cast<uint>(n));
    for (size_t i = 1; n > 0 && st.numSamples() < frames; ++i) {
        const size_t period = n > 1 ? 2 * (n - 1) : 1, at = i % period;
        st.putSamples(&in[(n - 1 - (at < n ? at : period - at)) * channels], 1);
    }
    std::vector<float> out(frames * static_cast<size_t>(channels));
    out.resize(st.receiveSamples(out.data(), static_cast<uint>(frames)) *
               static_cast<size_t>(channels));
    return out;
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
    return RunWithMirroredEnd(st, channels, static_cast<size_t>(std::llround(frames)), in);
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
    return RunWithMirroredEnd(st, 1, static_cast<size_t>(std::llround(frames)), in);
}

std::vector<int16_t> StretchFrom(const StretchSettings& s, const Signal& in, int64_t first,
                                 int64_t end) {
    const size_t channels = static_cast<size_t>(in.Channels());
    std::vector<float> x(in.samples.size() - first * channels);
    for (size_t i = 0; i < x.size(); ++i) x[i] = in.samples[first * channels + i] / 32768.0f;
    const std::vector<float> y = SoundTouchRun(s, in.Channels(), in.Rate(), x, in.Frames() - end);
    std::vector<int16_t> out(y.size());
    for (size_t i = 0; i < y.size(); ++i) out[i] = ToPcm16(y[i]);
    out.insert(out.end(), in.samples.begin() + end * channels, in.samples.end());
    return out;
}

Model StretchModel(const StretchSettings& s) {
    return [s](const Signal& in) { return StretchFrom(s, in, 0, in.Frames()); };
}

}  // namespace corvane::testing
