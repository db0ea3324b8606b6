// The sound-file reader and writer against files written and read with libsndfile directly:
// full-scale conversion of every encoding, files cut short, the reasons of refusals, and the
// container that large outputs need.
#include "host/host.h"
#include "host/sound_file.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"
#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace corvane::host {
namespace {

using corvane::Bstr;
using corvane::ComPtr;
using testing::TempPath;
namespace fs = std::filesystem;

// Writes one channel of doubles (full scale 1.0) in the given libsndfile format.
void WriteDoubles(const std::string& path, int format, const std::vector<double>& values) {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, f) << sf_strerror(nullptr);
    ASSERT_EQ(static_cast<sf_count_t>(values.size()),
              sf_writef_double(f, values.data(), static_cast<sf_count_t>(values.size())));
    sf_close(f);
}

std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<int16_t> ReadAll(SoundFileReader* r) {
    std::vector<int16_t> v(static_cast<size_t>(r->Frames()) * r->Channels());
    int64_t got = 0;
    EXPECT_EQ(S_OK, r->Read(v.data(), r->Frames(), &got));
    v.resize(static_cast<size_t>(got) * r->Channels());
    return v;
}

TEST(SoundFileReader, ScalesRoundsAndClipsFloatingPointSamples) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int16_t out;
    } cases[] = {
        {0.5, 16384},
        {-0.5, -16384},
        {1.0, 32767},
        {-1.0, -32768},
        {1.5, 32767},
        {-1.5, -32768},
        {inf, 32767},
        {-inf, -32768},
        {std::nan(""), 0},
        {100.6 / 32768, 101},
        {-100.6 / 32768, -101},
        {100.4 / 32768, 100},
        {32766.7 / 32768, 32767},
        {-32767.7 / 32768, -32768},
        {1e-9, 0},
    };
    std::vector<double> values;
    for (const auto& c : cases) values.push_back(c.in);
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_DOUBLE}) {
        const std::string path = TempPath("float.wav");
        WriteDoubles(path, format, values);
        std::unique_ptr<SoundFileReader> r;
        ASSERT_EQ(S_OK, SoundFileReader::Open(path, &r));
        const std::vector<int16_t> got = ReadAll(r.get());
        ASSERT_EQ(values.size(), got.size());
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(cases[i].out, got[i]) << "format " << std::hex << format << ": " << values[i];
        std::remove(path.c_str());
    }
}

TEST(SoundFileReader, ReadsLongRequestsWhole) {
    // More frames than one piece of the conversion, across its boundaries.
    const std::string path = TempPath("long.wav");
    std::vector<int16_t> samples(3 * 20000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 7919);
    ASSERT_TRUE(testing::WriteWavDirectly(path, 44100, 3, samples));
    std::unique_ptr<SoundFileReader> r;
    ASSERT_EQ(S_OK, SoundFileReader::Open(path, &r));
    EXPECT_EQ(samples, ReadAll(r.get()));
    std::remove(path.c_str());
}

// Reads the source to its end in blocks of 10 ms.
void ReadToEnd(IMediaSource* src) {
    for (int i = 0; i < 100000; ++i) {
        ComPtr<IUnknown> block;
        ASSERT_EQ(S_OK, src->ReadAudio(-1, 0, 10.0, &block));
        if (!block) return;
    }
    FAIL() << "the source did not end";
}

// A file whose data was cut: the reader delivers what is there and tells what the header
// declared (and, for a compressed stream that no longer decodes, why); so does the file source,
// through its properties.
TEST(SoundFileReader, TellsHowManyFramesTheHeaderOfACutFileDeclared) {
    const struct {
        const char* name;
        int format;
        int channels;
        int64_t keepBytes;         // of the file; 0 keeps it whole, below 0 cuts that many bytes
        int64_t frames, declared;  // frames -1: whatever libsndfile finds before the cut
    } cases[] = {
        {"whole.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 0, 4410, 4410},
        {"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1000, 239, 4410},
        {"cut24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 3, 1000, 106, 4410},
        {"cutfloat.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 1, 2000, -1, 4410},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 1000, -1, 4410},
        // The second FLAC frame (of 4096 and 314 samples) loses its end.
        {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, -4, 4096, 4410},
    };
    for (const auto& c : cases) {
        if (!testing::LibraryHasFormat(c.format & SF_FORMAT_TYPEMASK)) continue;
        const std::string path = TempPath(c.name);
        {
            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = c.channels;
            info.format = c.format;
            SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
            ASSERT_NE(nullptr, f) << c.name;
            std::vector<double> zeros(4410 * c.channels, 0.25);
            sf_writef_double(f, zeros.data(), 4410);
            sf_close(f);
        }
        if (c.keepBytes != 0) {
            const auto size = static_cast<int64_t>(fs::file_size(path));
            fs::resize_file(
                path, static_cast<uintmax_t>(c.keepBytes > 0 ? c.keepBytes : size + c.keepBytes));
        }
        const bool compressed = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
        std::unique_ptr<SoundFileReader> r;
        ASSERT_EQ(S_OK, SoundFileReader::Open(path, &r)) << c.name;
        EXPECT_EQ(c.declared, r->DeclaredFrames()) << c.name;
        const std::vector<int16_t> got = ReadAll(r.get());
        const int64_t delivered = static_cast<int64_t>(got.size()) / c.channels;
        if (c.frames >= 0) {
            EXPECT_EQ(c.frames, delivered) << c.name;
        }
        EXPECT_LT(delivered, c.keepBytes != 0 ? c.declared : c.declared + 1) << c.name;
        EXPECT_EQ(compressed && c.keepBytes != 0, !r->DecodeFailure().empty()) << c.name;
        for (int16_t v : got) ASSERT_EQ(8192, v) << c.name;
        r.reset();

        ComPtr<IMediaSource> src;
        ASSERT_EQ(S_OK, OpenWavFileSource(path, &src));
        ReadToEnd(src.Get());
        VARIANT frames, declared;
        VariantInit(&frames);
        VariantInit(&declared);
        ASSERT_EQ(S_OK, src->GetParam(Bstr(OLESTR("FrameCount")), &frames));
        ASSERT_EQ(S_OK, src->GetParam(Bstr(OLESTR("DeclaredFrameCount")), &declared));
        EXPECT_EQ(VT_I8, frames.vt);
        EXPECT_EQ(delivered, frames.llVal) << c.name;
        EXPECT_EQ(c.declared, declared.llVal) << c.name;
        std::remove(path.c_str());
    }
}

// The descriptor that the C library would hand out next, the lowest free one: a file left open
// moves it.
int NextDescriptor() {
    const int fd = dup(2);
    if (fd >= 0) close(fd);
    return fd;
}

// The reader meets a file that it may not open: on Linux one in a folder that it may not enter
// (run in a child process as an ordinary user when the test runs as root, which reads any file),
// on Windows one that another handle holds open without sharing it.
void ExpectAccessDeniedSaidSo(const std::string& dir) {
    const std::string path = dir + "/locked/in.wav";
    ASSERT_TRUE(fs::create_directory(dir + "/locked"));
    ASSERT_TRUE(testing::WriteWavDirectly(path, 8000, 1, std::vector<int16_t>(80)));
    const auto denied = [](const std::string& file) {
        std::unique_ptr<SoundFileReader> r;
        std::string why;
        const HRESULT hr = SoundFileReader::Open(file, &r, &why);
        return hr == E_ACCESSDENIED && why == "Permission denied";
    };
#if defined(_WIN32)
    const HANDLE held = CreateFileW(Utf8ToOle(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_TRUE(denied(path));
    CloseHandle(held);
#else
    fs::permissions(dir + "/locked", fs::perms::owner_all);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        _exit(denied(path) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}

TEST(SoundFileReader, NamesWhyAFileCannotBeReadAndKeepsDecodersQuiet) {
    const std::string dir = TempPath("refusals");
    fs::remove_all(dir);
    ASSERT_TRUE(fs::create_directory(dir));
    const std::string mpeg = dir + "/mpeg.wav", rate0 = dir + "/rate0.wav";
    const std::string text = dir + "/text.wav";
    ASSERT_TRUE(testing::WriteWavChunks(mpeg, testing::Mpeg3FormatChunk(), 1600));
    ASSERT_TRUE(testing::WriteWavChunks(rate0, testing::ZeroRateFormatChunk(), 1600));
    std::ofstream(text, std::ios::binary) << "this is not a sound file at all";
    const struct {
        std::string path;
        HRESULT hr;
        std::string reason;
    } cases[] = {
        {dir + "/missing.wav", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
         "No such file or directory"},
        {dir, HRESULT_FROM_WIN32(ERROR_DIRECTORY), "Is a directory"},
        {mpeg, E_FAIL,
         testing::LibraryHasFormat(SF_FORMAT_MPEG)
             ? "unsupported or damaged audio file: its audio data cannot be decoded"
             : "unsupported or damaged audio file: File contains data in an unimplemented format"},
        {rate0, E_FAIL,
         "unsupported or damaged audio file: the header gives no sample rate or no "
         "channels"},
        {text, E_FAIL, "unsupported or damaged audio file: "},
    };
    // Everything written on stderr meanwhile goes to a file.
    const std::string log = TempPath("stderr.log");
    const int next = NextDescriptor();
    std::fflush(stderr);
    const int saved = dup(2);
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(logFd, 0);
    dup2(logFd, 2);
    close(logFd);
    for (const auto& c : cases) {
        std::unique_ptr<SoundFileReader> r;
        std::string why;
        EXPECT_EQ(c.hr, SoundFileReader::Open(c.path, &r, &why)) << c.path;
        EXPECT_FALSE(r) << c.path;
        EXPECT_EQ(0u, why.find(c.reason)) << c.path << ": " << why;
        EXPECT_GT(why.size(), c.reason.size() - 1) << c.path;
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ("", Bytes(log));
    std::remove(log.c_str());
    EXPECT_EQ(next, NextDescriptor()) << "a refused file stays open";

    ExpectAccessDeniedSaidSo(dir);
    fs::remove_all(dir);
}

TEST(WavWriter, TakesRf64WhereTheDataMayOutgrowWav) {
    const struct {
        int64_t expected;
        WavContainer container;
    } cases[] = {
        {-1, WavContainer::Rf64},  // unknown
        {0, WavContainer::Wav},
        {1000000, WavContainer::Wav},
        {static_cast<int64_t>(kWavMaxDataBytes / 2) - 1, WavContainer::Wav},
        {static_cast<int64_t>(kWavMaxDataBytes / 2), WavContainer::Rf64},
        {static_cast<int64_t>(kWavMaxDataBytes), WavContainer::Rf64},
        {int64_t{5} << 30, WavContainer::Rf64},
    };
    for (const auto& c : cases) EXPECT_EQ(c.container, ContainerForData(c.expected)) << c.expected;
    // WAV's data may not pass 4 GiB less its header: the RIFF size would wrap.
    EXPECT_EQ(0xFFFFFFFFull, kWavMaxDataBytes + 44);

    // An RF64 file that stays small is finished as a WAV file with the same samples.
    const std::string path = TempPath("small_rf64.wav");
    std::unique_ptr<WavWriter> w;
    ASSERT_EQ(S_OK, WavWriter::Create(path, 48000, 2, WavContainer::Rf64, &w));
    const std::vector<int16_t> samples = {1, -2, 3, -4, 32767, -32768};
    ASSERT_EQ(S_OK, w->Write(samples.data(), 3));
    ASSERT_EQ(S_OK, w->Close());
    EXPECT_EQ("RIFF", Bytes(path).substr(0, 4));
    SF_INFO info;
    EXPECT_EQ(samples, testing::ReadWavDirectly(path, &info));
    EXPECT_EQ(48000, info.samplerate);
    std::remove(path.c_str());
}

// The check comes before anything is written, so a short buffer serves for any count; a refusal
// loses nothing written before it and leaves the writer usable.
TEST(WavWriter, RefusesDataPastWhatWavCanHold) {
    const struct {
        const char* name;
        int64_t frames;
    } cases[] = {
        {"one frame past", static_cast<int64_t>(kWavMaxDataBytes / 4) - 3 + 1},
        {"bytes that wrap 64 bits", int64_t{1} << 62},
        {"the largest count", std::numeric_limits<int64_t>::max()},
    };
    const std::string path = TempPath("limit.wav");
    std::unique_ptr<WavWriter> w;
    ASSERT_EQ(S_OK, WavWriter::Create(path, 8000, 2, WavContainer::Wav, &w));
    const std::vector<int16_t> samples = {1, -2, 3, -4, 5, -6};
    ASSERT_EQ(S_OK, w->Write(samples.data(), 3));
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
                  w->Write(samples.data(), c.frames, &why))
            << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
    }
    ASSERT_EQ(S_OK, w->Write(samples.data(), 3));
    ASSERT_EQ(S_OK, w->Close());
    SF_INFO info;
    std::vector<int16_t> twice = samples;
    twice.insert(twice.end(), samples.begin(), samples.end());
    EXPECT_EQ(twice, testing::ReadWavDirectly(path, &info));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace corvane::host
