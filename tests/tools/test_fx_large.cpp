// An output past WAV's 4 GiB: corvane-fx writes an RF64 file whose header holds the true size,
// and the samples beyond the 4 GiB mark are where they belong. Runs under the `large` label
// only (about 4.3 GB of disk for ten to twenty seconds); the file is removed afterwards.
#include "host/signal.h"
#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <vector>

namespace {

// Removes the file however the test ends.
struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { std::remove(path.c_str()); }
};

TEST(FxLargeOutput, PastFourGibTheFileIsRf64WithItsTrueSize) {
    corvane::host::SignalSettings s;
    s.kind = corvane::host::SignalKind::Noise;
    s.rate = 192000;
    s.channels = 32;
    s.seconds = 350.0;  // 4,300,800,000 bytes of samples
    const int64_t frames = corvane::host::SignalFrames(s);
    const uint64_t bytes = static_cast<uint64_t>(frames) * s.channels * 2;
    ASSERT_GT(bytes, uint64_t{1} << 32);

    const std::string path = corvane::testing::TempPath("large_output.wav");
    const std::string dir = path.substr(0, path.rfind('/') + 1);
    struct statvfs fs;
    ASSERT_EQ(0, statvfs(dir.c_str(), &fs)) << dir;
    const uint64_t free = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
    const uint64_t need = bytes + (uint64_t{512} << 20);
    if (free < need)
        GTEST_SKIP() << "needs " << need / 1000000 << " MB free in " << dir << ", has "
                     << free / 1000000 << " MB";
    RemoveAtEnd guard{path};

    const std::string command = std::string(CORVANE_FX_PATH) +
                                " --signal noise --rate 192000 --channels 32 --seconds 350 -o " +
                                path + " >/dev/null </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

    FILE* raw = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, raw);
    char magic[4] = {};
    ASSERT_EQ(4u, std::fread(magic, 1, 4, raw));
    std::fclose(raw);
    EXPECT_EQ("RF64", std::string(magic, 4));

    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(nullptr, f) << sf_strerror(nullptr);
    EXPECT_EQ(SF_FORMAT_RF64 | SF_FORMAT_PCM_16, info.format);
    EXPECT_EQ(frames, info.frames);
    EXPECT_EQ(192000, info.samplerate);
    EXPECT_EQ(32, info.channels);
    // Frames across the 4 GiB mark of the data, and the last ones, against the generator.
    const int64_t mark = static_cast<int64_t>((uint64_t{1} << 32) / (s.channels * 2));
    for (int64_t first : {mark - 100, frames - 100}) {
        std::vector<int16_t> got(200 * s.channels, 0), want(200 * s.channels, 0);
        const int64_t n = std::min<int64_t>(200, frames - first);
        ASSERT_EQ(first, sf_seek(f, first, SEEK_SET));
        ASSERT_EQ(n, sf_readf_short(f, got.data(), n));
        corvane::host::GenerateSignal(s, first, n, want.data());
        EXPECT_TRUE(got == want) << "frames from " << first;
    }
    sf_close(f);
}

}  // namespace
