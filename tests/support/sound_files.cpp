#include "tests/support/sound_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane::testing {

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "corvane_" + std::to_string(::getpid()) + "_" + name;
}

bool WriteWavDirectly(const std::string& path, int rate, int channels,
                      const std::vector<int16_t>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(nullptr, f) << path << ": " << sf_strerror(nullptr);
    if (!f) return false;
    const sf_count_t frames =
        static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
    const bool written = sf_writef_short(f, samples.data(), frames) == frames;
    const bool closed = sf_close(f) == 0;
    EXPECT_TRUE(written && closed) << path;
    return written && closed;
}

std::vector<int16_t> ReadWavDirectly(const std::string& path, SF_INFO* info) {
    *info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    EXPECT_NE(nullptr, f) << path << ": " << sf_strerror(nullptr);
    if (!f) return {};
    std::vector<int16_t> v(static_cast<size_t>(info->frames * info->channels));
    EXPECT_EQ(info->frames, sf_readf_short(f, v.data(), info->frames)) << path;
    sf_close(f);
    return v;
}

}  // namespace corvane::testing
