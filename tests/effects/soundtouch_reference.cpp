#include "tests/effects/soundtouch_reference.h"

#include <soundtouch/SoundTouch.h>

namespace corvane::testing {

std::vector<float> SoundTouchRun(const StretchSettings& s, int channels, int rate,
                                 const std::vector<float>& in) {
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
    st.putSamples(in.data(), static_cast<uint>(in.size() / channels));
    st.flush();
    std::vector<float> out;
    std::vector<float> chunk(4096 * static_cast<size_t>(channels));
    while (uint got = st.receiveSamples(chunk.data(), 4096)) {
        out.insert(out.end(), chunk.begin(), chunk.begin() + got * channels);
    }
    return out;
}

std::vector<float> PitchReferenceRun(const std::vector<float>& in, int rate, double tempo,
                                     double pitch) {
    soundtouch::SoundTouch st;
    st.setChannels(1);
    st.setSampleRate(static_cast<uint>(rate));
    if (pitch > 0.0) {
        st.setPitch(pitch);
    } else {
        st.setTempo(tempo);
    }
    st.putSamples(in.data(), static_cast<uint>(in.size()));
    st.flush();
    std::vector<float> out;
    std::vector<float> chunk(4096);
    while (uint got = st.receiveSamples(chunk.data(), 4096)) {
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
    return out;
}

Model StretchModel(const StretchSettings& s) {
    return [s](const Signal& in) {
        std::vector<float> x(in.samples.size());
        for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(in.samples[i] / 32768.0);
        const std::vector<float> y = SoundTouchRun(s, in.Channels(), in.Rate(), x);
        std::vector<int16_t> out(y.size());
        for (size_t i = 0; i < y.size(); ++i) out[i] = ToPcm16(y[i]);
        return out;
    };
}

}  // namespace corvane::testing
