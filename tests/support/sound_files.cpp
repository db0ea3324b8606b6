#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <fstream>
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

bool LibraryHasFormat(int major) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 &&
            info.format == major)
            return true;
    }
    return false;
}

namespace {

std::string Le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

}  // namespace

bool WriteWavChunks(const std::string& path, const std::string& fmt, size_t dataBytes) {
    const std::string body = "WAVEfmt " + Le(static_cast<uint32_t>(fmt.size()), 4) + fmt + "data" +
                             Le(static_cast<uint32_t>(dataBytes), 4) + std::string(dataBytes, '\0');
    std::ofstream f(path, std::ios::binary);
    f << "RIFF" << Le(static_cast<uint32_t>(body.size()), 4) << body;
    return static_cast<bool>(f);
}

std::string Mpeg3FormatChunk() {
    // WAVEFORMATEX (tag 0x55, mono, 8000 Hz, 2000 bytes/s, align 1, 0 bits, 12 more bytes), then
    // MPEGLAYER3WAVEFORMAT's id, flags, block size, frames per block and codec delay.
    return Le(0x55, 2) + Le(1, 2) + Le(8000, 4) + Le(2000, 4) + Le(1, 2) + Le(0, 2) + Le(12, 2) +
           Le(1, 2) + Le(2, 4) + Le(104, 2) + Le(1, 2) + Le(1393, 2);
}

std::string ZeroRateFormatChunk() {
    return Le(1, 2) + Le(1, 2) + Le(0, 4) + Le(0, 4) + Le(2, 2) + Le(16, 2);
}

}  // namespace corvane::testing
