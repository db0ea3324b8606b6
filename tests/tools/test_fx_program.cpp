// corvane-fx end to end: the built program run as a user runs it, with effects created by COM
// from the built module, which corvane-reg registered per user in a registry of the test's own.
#include "platform/win32.h"
#include "corvane/corvane.h"
#include "tests/support/sound_files.h"
#include "tests/tools/fx_files.h"
#include "tests/tools/fx_program.h"
#include "tools/corvane-fx/classes.h"
#include "tools/corvane-fx/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace corvane::fx {
namespace {

using files::Contents;
using files::Entries;
using files::NewFolder;
using testing::ReadWavDirectly;
using testing::TempPath;
using testing::WriteWavDirectly;
namespace fs = std::filesystem;

// A signal that uses the whole 16-bit range, full-scale extremes included, and differs per
// channel: any lost, repeated, swapped or rescaled sample shows.
std::vector<int16_t> TestSamples(int frames, int channels) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * channels);
    uint32_t x = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = static_cast<int16_t>(x >> 16);
    }
    s[0] = -32768;
    s[1] = 32767;
    return s;
}

// The module is registered where the program finds it: on Linux in a registry folder of the
// suite's own, on Windows in the system registry.
class FxEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registry_ = new std::string();
        ASSERT_TRUE(RegisterBuiltModule(registry_));
    }
    static void TearDownTestSuite() {
        UnregisterBuiltModule(*registry_);
        delete registry_;
        registry_ = nullptr;
    }

    RunResult Fx(const std::string& args) {
        return RunProgram(CORVANE_FX_PATH,
                          (registry_->empty() ? "" : "--registry-root " + *registry_ + " ") + args);
    }

    static std::string* registry_;  // the registry folder; empty on Windows
};

std::string* FxEndToEnd::registry_ = nullptr;

TEST_F(FxEndToEnd, WritesTheDefaultSignal) {
    const std::string out = TempPath("default.wav");
    ASSERT_EQ(0, Fx("-o " + out).exitCode);
    SF_INFO info;
    std::vector<int16_t> s = ReadWavDirectly(out, &info);
    EXPECT_EQ(44100, info.samplerate);
    EXPECT_EQ(2, info.channels);
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_16, info.format);
    ASSERT_EQ(220500, info.frames);
    // 440 Hz on the left, 880 Hz on the right, half scale.
    for (size_t n = 0; n < 220500; n += 997) {
        for (int c = 0; c < 2; ++c) {
            double ref = 0.5 * 32767.0 *
                         std::sin(2.0 * M_PI * 440.0 * (c + 1) * static_cast<double>(n) / 44100.0);
            ASSERT_NEAR(ref, s[n * 2 + c], 1.0) << "frame " << n;
        }
    }
    std::remove(out.c_str());
}

TEST_F(FxEndToEnd, HonoursSecondsRateAndChannels) {
    const std::string out = TempPath("options.wav");
    ASSERT_EQ(0,
              Fx("--seconds 0.25 --rate 48000 --channels 3 --signal silence -o " + out).exitCode);
    SF_INFO info;
    std::vector<int16_t> s = ReadWavDirectly(out, &info);
    EXPECT_EQ(48000, info.samplerate);
    EXPECT_EQ(3, info.channels);
    EXPECT_EQ(12000, info.frames);
    EXPECT_EQ(std::vector<int16_t>(12000 * 3, 0), s);
    std::remove(out.c_str());
}

TEST_F(FxEndToEnd, FailsWithoutWritingOnBadInput) {
    const std::string out = TempPath("bad.wav");
    EXPECT_EQ(2, Fx("--channels 0 -o " + out).exitCode);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(2, Fx("--seconds").exitCode);
    EXPECT_EQ(1, Fx("-o " + TempPath("missing/dir/out.wav")).exitCode);
    EXPECT_EQ(0, Fx("--help").exitCode);
}

TEST_F(FxEndToEnd, ThreeDisabledEffectsGiveABitIdenticalFile) {
    const std::string dir = NewFolder("fx_disabled");
    const std::string in = dir + "/in.wav", out = dir + "/out.wav";
    // 1.2345 s at 48000 Hz: the last read is a partial block.
    ASSERT_TRUE(WriteWavDirectly(in, 48000, 2, TestSamples(59256, 2)));
    for (const char* block : {"100", "7.3"}) {
        RunResult r = Fx("-i " + in + " -o " + out + " --block " + block +
                         " -e VolumeFilter5 --disabled -p dBVolumeLevel=-12.0"
                         " -e MedianFilter5 --disabled -z 100:200 -e EchoFilter5 --disabled");
        ASSERT_EQ(0, r.exitCode) << r.output;
        EXPECT_NE(std::string::npos, r.output.find("through 3 effects")) << r.output;
        const std::string expected = Contents(in), got = Contents(out);
        EXPECT_EQ(expected.size(), got.size()) << "block " << block;
        EXPECT_TRUE(expected == got) << "block " << block << ": the files differ";
    }
    EXPECT_EQ(2u, Entries(dir).size());  // no temporary file left behind
}

TEST_F(FxEndToEnd, EnabledEffectsWithTheDefaultChannelFilterPassAudioThrough) {
    const std::string dir = NewFolder("fx_enabled");
    const std::string in = dir + "/in.wav", out = dir + "/out.wav";
    const std::vector<int16_t> samples = TestSamples(30011, 3);
    ASSERT_TRUE(WriteWavDirectly(in, 22050, 3, samples));
    // Engines of every shape: through the buffering helper per channel (the gate and equaliser
    // without a filter type), interleaved (Volume, Echo), the channel map; parameters and zones
    // that the framework reads. Without settings of their own they pass the audio unchanged (edge
    // cross-fades would not: a fade between two equal signals may round a sample down by one).
    RunResult r = Fx("-i " + in + " -o " + out +
                     " -e AudioFilter5 -p FilterType=3 -p RSmoothTime=30 -z 200:500"
                     " -e VolumeFilter5 -p UseStrengthPerCh=true"
                     " -p 'StrengthZone=[{EffectStart=0,EffectDuration=300,LeftStrength=0.5}]'"
                     " -e EchoFilter5 -e AudioFilterNB5 -e AudioFilter5 --block 33");
    ASSERT_EQ(0, r.exitCode) << r.output;
    SF_INFO info;
    std::vector<int16_t> got = ReadWavDirectly(out, &info);
    EXPECT_EQ(22050, info.samplerate);
    EXPECT_EQ(3, info.channels);
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_16, info.format);
    ASSERT_EQ(samples.size(), got.size());
    size_t differing = 0;
    for (size_t i = 0; i < samples.size(); ++i) differing += samples[i] != got[i];
    EXPECT_EQ(0u, differing);
}

TEST_F(FxEndToEnd, GeneratedSignalComesOutOfAnEnabledChainUnchanged) {
    const std::string dir = NewFolder("fx_generated");
    const std::string plain = dir + "/plain.wav", chained = dir + "/chained.wav";
    ASSERT_EQ(0, Fx("--seconds 0.7 --signal sweep -o " + plain).exitCode);
    // Two inverts give the signal back (it never reaches -32768, which has no negation).
    RunResult r = Fx("--seconds 0.7 --signal sweep -o " + chained +
                     " -e AudioFilter5 -e InvertFilter5 -e InvertFilter5");
    ASSERT_EQ(0, r.exitCode) << r.output;
    SF_INFO a, b;
    std::vector<int16_t> x = ReadWavDirectly(plain, &a), y = ReadWavDirectly(chained, &b);
    EXPECT_EQ(30870, a.frames);
    EXPECT_EQ(a.frames, b.frames);
    EXPECT_TRUE(x == y);
}

struct FailureCase {
    const char* name;
    std::string args;
    int exitCode;
    std::vector<std::string> fragments;    // parts of the message
    std::vector<std::string> absent = {};  // what must not be printed
    std::string piped = "";                // a file the shell pipes into the program
};

TEST_F(FxEndToEnd, FailuresSayWhatFailedExitNonZeroAndLeaveNoOutput) {
    const std::string dir = NewFolder("fx_failures");
    const std::string in = dir + "/in.wav";
    ASSERT_TRUE(WriteWavDirectly(in, 44100, 2, TestSamples(4410, 2)));
    const std::string out = " -o " + dir + "/out.wav";
    const std::string odd = NewFolder("fx_failures_inputs");
    ASSERT_TRUE(testing::WriteWavChunks(odd + "/mpeg.wav", testing::Mpeg3FormatChunk(), 1600));
    ASSERT_TRUE(testing::WriteWavChunks(odd + "/rate0.wav", testing::ZeroRateFormatChunk(), 1600));
    // A class that is not registered: on Linux the volume in an empty registry folder, on Windows
    // (whose registry the suite shares) a class that nothing registers.
    std::string unregistered = "-e VolumeFilter5", unregisteredLabel = "VolumeFilter5";
    std::string registryWords = RegistryName();
    if (!registry_->empty()) {
        registryWords = NewFolder("fx_failures_registry");
        unregistered = "--registry-root " + registryWords + " " + unregistered;
    } else {
        GUID g;
        ASSERT_EQ(S_OK, CoCreateGuid(&g));
        unregisteredLabel = ClsidText(g);
        unregistered = "-e " + unregisteredLabel;
    }
    std::vector<FailureCase> cases = {
        {"bad class name",
         "-i " + in + out + " -e NoSuchFilter5",
         2,
         {"corvane-fx: -e NoSuchFilter5: unknown effect class 'NoSuchFilter5'", "--list"}},
        {"bad parameter",
         "-i " + in + out + " -e VolumeFilter5 -p dBVolumeLevel=loud",
         2,
         {"corvane-fx: -p dBVolumeLevel=loud: 'loud' is not", "(at character 15)"}},
        {"bad list",
         "-i " + in + out + " -e VolumeFilter5 -p 'StrengthZone=[{EffectStart=0'",
         2,
         {"-p StrengthZone=[{EffectStart=0:", "expected ',' or '}'"}},
        {"bad zone",
         "-i " + in + out + " -e VolumeFilter5 -z 10",
         2,
         {"-z 10: expected START:DURATION"}},
        {"missing file",
         "-i " + dir + "/missing.wav" + out + " -e VolumeFilter5",
         1,
         {"corvane-fx: cannot read " + dir + "/missing.wav: 0x80070002"}},
        {"class not registered",
         "-i " + in + out + " " + unregistered,
         1,
         {"corvane-fx: cannot create effect 1 (" + unregisteredLabel + "): 0x80040154",
          "Class not registered in " + registryWords + " ("}},
        // A class that the process knows but that is no effect: the host's signal source.
        {"not an effect",
         "-i " + in + out + " -e VolumeFilter5 -e '" + ClsidText(CLSID_SignalSource) + "'",
         1,
         {"corvane-fx: cannot create effect 2 (" + ClsidText(CLSID_SignalSource) +
          "): 0x80004002"}},
        // Without an MPEG codec (the Windows build) the format itself is unknown.
        {"MPEG data that cannot be decoded",
         "-i " + odd + "/mpeg.wav" + out,
         1,
         {"corvane-fx: cannot read " + odd +
          "/mpeg.wav: 0x80004005 unsupported or damaged audio file: " +
          (testing::LibraryHasFormat(SF_FORMAT_MPEG)
               ? "its audio data cannot be decoded"
               : "File contains data in an unimplemented format")},
         {"Note:", "does not exist"}},
        {"sample rate 0",
         "-i " + odd + "/rate0.wav" + out,
         1,
         {"cannot read " + odd +
          "/rate0.wav: 0x80004005 unsupported or damaged audio file: the "
          "header gives no sample rate or no channels"},
         {"SF_INFO"}},
        // A delay past the end of 2 hours of audio: its lines would hold 2 hours, beyond 2 GiB.
        {"a read that fails in an effect",
         "--seconds 7200" + out + " -e VolumeFilter5 -e DelayFilter5 -p DelayTime=1e10",
         1,
         {"corvane-fx: reading from effect 2 (DelayFilter5) failed: 0x8007000E"}},
        {"missing output folder",
         "-i " + in + " -e VolumeFilter5 -o " + dir + "/nowhere/out.wav",
         1,
         {"corvane-fx: cannot write " + dir + "/nowhere/out.wav: 0x80070003"}},
    };
    if (!registry_->empty()) {
        // A copy of the test's registry folder whose user hive is damaged at its end.
        const std::string damaged = NewFolder("fx_failures_damaged");
        fs::copy_file(*registry_ + "/user.hive", damaged + "/user.hive");
        std::ofstream(damaged + "/user.hive", std::ios::app) << "garbage{{\n";
        cases.push_back({"damaged hive",
                         "--registry-root " + damaged + " -i " + in + out + " -e VolumeFilter5",
                         1,
                         {"cannot create effect 1 (VolumeFilter5): 0x80040150 the user hive " +
                          damaged + "/user.hive is damaged (line "}});
        cases.push_back({"reverse on a pipe",
                         "-i /dev/fd/3" + out +
                             " -e ReverseFilter5 3<&0",  // the pipe, before stdin's </dev/null
                         1,
                         {"effect 1 (ReverseFilter5) failed: 0x80004005 /dev/fd/3 cannot be "
                          "repositioned",
                          "save the audio to a file"},
                         {},
                         in});
        cases.push_back({"damaged hive, list",
                         "--registry-root " + damaged + " --list",
                         1,
                         {"corvane-fx: cannot read the registry: the user hive " + damaged +
                          "/user.hive is damaged (line "},
                         {"None is registered"}});
    }
    for (const FailureCase& c : cases) {
        RunResult r = c.piped.empty() ? Fx(c.args)
                                      : RunProgram("cat " + c.piped + " | " CORVANE_FX_PATH,
                                                   "--registry-root " + *registry_ + " " + c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.name << ": " << r.output;
        for (const std::string& f : c.fragments)
            EXPECT_NE(std::string::npos, r.output.find(f)) << c.name << ": " << r.output;
        for (const std::string& f : c.absent)
            EXPECT_EQ(std::string::npos, r.output.find(f)) << c.name << ": " << r.output;
        EXPECT_EQ(std::vector<std::string>{"in.wav"}, Entries(dir)) << c.name;
    }
}

struct OptionCase {
    const char* name;
    std::string args;
    int exitCode;
    std::vector<std::string> present;  // parts of the output
    std::vector<std::string> absent;
};

// The command line as a newcomer writes it, and what the program tells of values no effect used.
TEST_F(FxEndToEnd, NamesOptionsAndUnusedParametersAsAUserExpects) {
    const std::string dir = NewFolder("fx_options");
    const std::string out = " -o " + dir + "/out.wav --seconds 0.2";
    const std::string as = std::string(3000, 'a'), empty = dir + "/empty.wav";
    ASSERT_TRUE(WriteWavDirectly(empty, 44100, 2, {}));
    std::string numbers;
    for (int i = 0; i < 2000; ++i) numbers += "1,";
    std::vector<OptionCase> cases = {
        {"short names in any case, a CLSID without braces",
         out + " -e volume -e Echo -e BAND -e audionb -e 338b487e-923b-496e-a10e-8fa4002ee4b0",
         0,
         {"through 5 effects"},
         {"warning"}},
        {"values no effect used, per effect",
         out + " -e band -p FilterType=4.0 -p NoSuchKey=1 -p Steepness[3]=70.7"
               " -e volume -p \"dBVolumeLevel='loud'\" -e Echo --disabled -p Foo=1"
               " -e volume -p UseStrengthPerCh=true"
               " -p 'StrengthZone=[{EffectStart=0,EffectDuration=100,LeftStrength=0.5,Bogus=3}]'",
         0,
         {"corvane-fx: warning: BandFilter5 read FilterType as an integer; 4 is a number",
          "warning: BandFilter5 never read NoSuchKey",
          "warning: BandFilter5 never read Steepness[3]",
          "warning: VolumeFilter5 (effect 2) read dBVolumeLevel as a number; 'loud' is text",
          "warning: VolumeFilter5 (effect 4) never read StrengthZone[0].Bogus",
          "through 4 effects"},
         {"Foo", "EffectStart", "LeftStrength", "UseStrengthPerCh"}},
        {"a stretch on more than 16 channels",
         out + " --channels 17 -e StretchFilter5 -p Rate=0.5 -e StretchFilter5 --disabled",
         0,
         {"warning: StretchFilter5 (effect 1) passed the audio through unchanged: SoundTouch "
          "takes at most 16 channels, and its input has 17"},
         {"(effect 2)", "runs at Rate"}},
        {"a stretch on 16 channels through its anti-alias filter",
         out + " --channels 16 -e StretchFilter5 -e StretchFilter5 -p Antialiasing=0",
         0,
         {"(effect 1) passed the audio through unchanged: SoundTouch takes at most 15 channels "
          "through its anti-alias filter (Antialiasing=0 turns it off), and its input has 16"},
         {"(effect 2)"}},
        {"an input without audio",
         " -o " + dir + "/out.wav -i " + empty + " -e band -p FilterType=1 -e volume -p Nokey=1",
         0,
         {"warning: no audio was read: " + empty + " holds no frames"},
         {"never read"}},
        {"blocks shorter than a frame",
         out + " --block 0.01 -e band",
         0,
         {"wrote 8820 frames"},
         {"warning"}},
        {"a long value is cut, with the position",
         out + " -e volume -p K=" + as,
         2,
         {"-p K=aaaaaaaa", "... (3002 characters): '", "(at character 3)"},
         {as.substr(0, 200)}},
        {"a fault far into a value shows its surroundings",
         out + " -e volume -p 'K=f64:[" + numbers + "x]'",
         2,
         {"1,1,x] (4009 characters)", "(at character 4008)"},
         {numbers.substr(0, 200)}},
        {"a long unknown option is cut",
         out + " --" + as,
         2,
         {"(3002 characters)"},
         {as.substr(0, 200)}},
    };
    if (RegistryFolderRefusal()) {
        cases.push_back({"no registry folder to choose",
                         out + " --root " + dir + " -e volume",
                         2,
                         {"corvane-fx: --root: Windows keeps registrations in the system registry"},
                         {"wrote"}});
    } else {
        // The later folder option wins; --root is corvane-reg's older spelling.
        const std::string empty = NewFolder("fx_options_registry");
        cases.push_back({"--root names the folder searched",
                         out + " --root " + empty + " -e volume",
                         1,
                         {"Class not registered in " + empty + " (", "--registry-root " + empty},
                         {"or give --registry-root"}});
    }
    for (const OptionCase& c : cases) {
        const RunResult r = Fx(c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.name << ": " << r.output;
        for (const std::string& f : c.present)
            EXPECT_NE(std::string::npos, r.output.find(f)) << c.name << ": " << f << "\n"
                                                           << r.output;
        for (const std::string& f : c.absent)
            EXPECT_EQ(std::string::npos, r.output.find(f)) << c.name << ": " << r.output;
    }
}

TEST_F(FxEndToEnd, AFailureKeepsAnOlderOutputFileAsItWas) {
    const std::string dir = NewFolder("fx_keep");
    const std::string out = dir + "/out.wav";
    std::ofstream(out, std::ios::binary) << "older";
    RunResult r = Fx("-i " + dir + "/missing.wav -o " + out);
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_EQ("older", Contents(out));
    EXPECT_EQ(std::vector<std::string>{"out.wav"}, Entries(dir));
    // A successful run replaces it.
    r = Fx("--seconds 0.1 -o " + out + " -e VolumeFilter5");
    ASSERT_EQ(0, r.exitCode) << r.output;
    SF_INFO info;
    EXPECT_EQ(8820u, ReadWavDirectly(out, &info).size());
}

// An existing output is replaced whether it is named relatively, in full or through a folder
// whose name is not ASCII, and no temporary file stays behind.
TEST_F(FxEndToEnd, ReplacesAnExistingOutputHoweverItIsNamed) {
    const std::string dir = NewFolder("fx_replace"), odd = "\xC3\xA9t\xC3\xA9 \xE2\x99\xAA";
    ASSERT_TRUE(fs::create_directory(fs::u8path(dir + "/" + odd)));
    const std::string args = "' --seconds 0.1 -e VolumeFilter5 -p dBVolumeLevel=-6.0";
    ASSERT_EQ(0, Fx("-o '" + dir + "/ref.wav" + args).exitCode);
    const std::string want = Contents(dir + "/ref.wav");
    const fs::path home = fs::current_path();
    fs::current_path(fs::u8path(dir));
    for (const std::string& out : {std::string("out.wav"), dir + "/abs.wav", odd + "/out.wav"}) {
        std::ofstream(fs::u8path(out), std::ios::binary) << "older";
        const RunResult r = Fx("-o '" + out + args);
        EXPECT_EQ(0, r.exitCode) << r.output;
        std::ifstream f(fs::u8path(out), std::ios::binary);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(f), {}) == want) << out;
    }
    fs::current_path(home);
    EXPECT_EQ(Entries(dir + "/" + odd), std::vector<std::string>{"out.wav"});
    EXPECT_EQ(Entries(dir).size(), 4u) << "out.wav, abs.wav, ref.wav and the folder";
}

#if !defined(_WIN32)
// Reads a descriptor on a thread until the run is over: `holder`, a writer of the test's own,
// keeps the reader from an end of file until Finish closes it.
struct HeldReader {
    std::string bytes;
    std::thread thread;
    int holder = -1;
    void Start(int from, int writer) {
        holder = writer;
        thread = std::thread([this, from] {
            char b[4096];
            for (ssize_t n; (n = ::read(from, b, sizeof b)) > 0;) bytes.append(b, n);
            close(from);
        });
    }
    // A FIFO, opened without waiting for a writer.
    void StartOnFifo(const std::string& fifo) {
        const int from = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        fcntl(from, F_SETFL, 0);
        Start(from, open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
    }
    std::string Finish() {
        if (thread.joinable()) {
            close(holder);
            thread.join();
        }
        return bytes;
    }
};
#endif

// Only a regular file is replaced: a link leads to the file replaced, a device or FIFO is written
// into as a WAV stream (a regular output's bytes, its RIFF and data sizes all ones), a folder is
// refused. Each keeps its kind, and nothing is left beside it.
TEST_F(FxEndToEnd, ReplacesOnlyRegularFilesAndWritesIntoDevicesAndFifos) {
    const std::string dir = NewFolder("fx_special"), args = " --seconds 0.2 -e VolumeFilter5";
    ASSERT_EQ(0, Fx("-o " + dir + "/ref.wav" + args).exitCode);
    const std::string file = Contents(dir + "/ref.wav");
    std::string stream = file;
    stream.replace(4, 4, 4, '\xFF').replace(40, 4, 4, '\xFF');
    std::ofstream(dir + "/old.wav") << "older";
    std::ofstream(dir + "/target.wav") << "older";
    ASSERT_TRUE(fs::create_directory(dir + "/folder"));
    struct Row {
        std::string output, message, read, want;  // read: where the output lands
        int exitCode = 0;
        std::string more = "";
    };
    std::vector<Row> rows = {{dir + "/old.wav", "wrote", dir + "/old.wav", file},
                             {dir + "/folder", "it is a folder", "", "", 1}};
#if defined(_WIN32)
    // Wine's CreateSymbolicLinkW makes nothing; a Windows without the privilege refuses.
    CreateSymbolicLinkW(Utf8ToOle(dir + "/link.wav").c_str(), OLESTR("target.wav"), 2);
    const DWORD link = GetFileAttributesW(Utf8ToOle(dir + "/link.wav").c_str());
    const bool linked = link != INVALID_FILE_ATTRIBUTES && (link & FILE_ATTRIBUTE_REPARSE_POINT);
    rows.push_back({dir + "/NUL", "wrote", "", ""});
#else
    const bool linked = symlink("target.wav", (dir + "/link.wav").c_str()) == 0;
    ASSERT_EQ(0, mkfifo((dir + "/fifo").c_str(), 0600));
    rows.push_back({dir + "/fifo", "wrote", dir + "/fifo", stream});
    if (mknod((dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        rows.push_back({dir + "/null", "wrote", "", ""});
    } else {
        std::printf("no device rows: mknod: %s\n", std::strerror(errno));
    }
#endif
    if (linked)
        rows.push_back({dir + "/link.wav", "wrote", dir + "/target.wav", file});
    else
        std::printf("no link row: no symbolic link can be made here\n");
    const size_t entries = Entries(dir).size();
    for (const Row& r : rows) {
        const fs::file_type kind = fs::symlink_status(r.output).type();
        std::string got;
#if !defined(_WIN32)
        HeldReader reader;
        if (kind == fs::file_type::fifo) reader.StartOnFifo(r.read);
#endif
        const RunResult run = Fx("-o " + r.output + args + r.more);
#if !defined(_WIN32)
        got = reader.Finish();
#endif
        EXPECT_EQ(r.exitCode, run.exitCode) << r.output << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(r.message)) << r.output << ": " << run.output;
        // Stops before a row that would write a day of audio where the device was.
        ASSERT_EQ(kind, fs::symlink_status(r.output).type()) << r.output;
        if (kind != fs::file_type::fifo && !r.read.empty()) got = Contents(r.read);
        EXPECT_TRUE(got == r.want) << r.output << ": " << got.size() << " bytes";
        EXPECT_EQ(entries, Entries(dir).size()) << r.output;
    }
    EXPECT_TRUE(fs::is_empty(dir + "/folder"));
    fs::remove_all(dir);
}

// Names are UTF-8 on every platform: Windows hands the program its arguments in the system's
// code page unless it asks for them as they were given.
TEST_F(FxEndToEnd, ReadsAndWritesFilesWhoseNamesAreNotAscii) {
    const std::string dir = NewFolder("fx_names");
    const std::string in = dir + "/\xC3\xA9t\xC3\xA9 in.wav",
                      out = dir + "/sortie \xE2\x99\xAA.wav";
    ASSERT_TRUE(WriteWavDirectly(dir + "/plain.wav", 8000, 1, TestSamples(8000, 1)));
    fs::rename(fs::u8path(dir + "/plain.wav"), fs::u8path(in));
    const RunResult r = Fx("-i '" + in + "' -o '" + out + "' -e VolumeFilter5 --disabled");
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("wrote 8000 frames")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find(out)) << r.output;
    const auto bytes = [](const std::string& path) {
        std::ifstream f(fs::u8path(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(bytes(in).size(), 16044u);
    EXPECT_TRUE(bytes(in) == bytes(out));
}

#if !defined(_WIN32)
// The shell's limit on file sizes, and SoX: Linux only.

TEST_F(FxEndToEnd, AWriteFailureInTheMiddleRemovesThePartialOutput) {
    const std::string dir = NewFolder("fx_too_large");
    // A file-size limit of a few kilobytes fails the writes after the first blocks.
    RunResult r = RunProgram(
        "ulimit -f 16; " + std::string(CORVANE_FX_PATH),
        "--registry-root " + *registry_ + " --seconds 2 -o " + dir + "/out.wav -e VolumeFilter5");
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("corvane-fx: writing " + dir +
                                               "/out.wav failed: 0x800700DF File too large"))
        << r.output;
    EXPECT_TRUE(Entries(dir).empty()) << Entries(dir).front();
}

int Sh(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Every encoding reaches the chain at full scale: a sine of amplitude 0.5 (-6.02 dBFS) made by
// SoX comes out of a chain without effects with its peak at 16384 (+-1), and every sample
// within 1 of SoX's own 16-bit reading of the file (the companded encodings cannot hold 16384
// itself); the rate and the channel count stay.
TEST_F(FxEndToEnd, EveryInputEncodingReachesTheChainAtFullScale) {
    const struct {
        const char* name;
        const char* encoding;  // SoX's output options
        const char* extension;
        int rate, channels;
        bool linear;
    } cases[] = {
        {"8-bit unsigned", "-e unsigned-integer -b 8", "wav", 8000, 1, true},
        {"16-bit", "-e signed-integer -b 16", "wav", 44100, 2, true},
        {"24-bit", "-e signed-integer -b 24", "wav", 48000, 3, true},
        {"32-bit integer", "-e signed-integer -b 32", "wav", 96000, 2, true},
        {"32-bit float", "-e floating-point -b 32", "wav", 44100, 2, true},
        {"64-bit float", "-e floating-point -b 64", "wav", 22050, 1, true},
        {"A-law", "-e a-law", "wav", 8000, 1, false},
        {"mu-law", "-e mu-law", "wav", 8000, 2, false},
        {"FLAC 24-bit", "-b 24", "flac", 32000, 2, true},
        {"AIFF 16-bit", "-b 16", "aiff", 11025, 1, true},
    };
    const std::string dir = NewFolder("fx_encodings");
    for (const auto& c : cases) {
        const std::string in = dir + "/in." + c.extension, ref = dir + "/ref.wav",
                          out = dir + "/out.wav";
        // Over half a second some sample of the 440 Hz sine lies within 0.4 of a 16-bit step
        // of its crest at every rate here. No dither (-D).
        ASSERT_EQ(
            0, Sh("sox -D -n -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) +
                  " " + c.encoding + " " + in + " synth 0.5 sine 440 vol 0.5"))
            << c.name;
        ASSERT_EQ(0, Sh("sox -D " + in + " -e signed-integer -b 16 " + ref)) << c.name;
        RunResult r = Fx("-i " + in + " -o " + out);
        ASSERT_EQ(0, r.exitCode) << c.name << ": " << r.output;
        SF_INFO info, refInfo;
        const std::vector<int16_t> got = ReadWavDirectly(out, &info);
        const std::vector<int16_t> want = ReadWavDirectly(ref, &refInfo);
        EXPECT_EQ(c.rate, info.samplerate) << c.name;
        EXPECT_EQ(c.channels, info.channels) << c.name;
        ASSERT_EQ(want.size(), got.size()) << c.name;
        int worst = 0, peak = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            worst = std::max(worst, std::abs(got[i] - want[i]));
            peak = std::max(peak, std::abs(static_cast<int>(got[i])));
        }
        EXPECT_LE(worst, 1) << c.name;
        if (c.linear) {
            EXPECT_NEAR(16384, peak, 1) << c.name;
        }
    }
}

// What a user of the program meets around the audio itself: a replaced file keeps its mode, a
// file cut short is read as far as it goes and said to be, and chains that hold their output
// back for seconds still finish with all of it.
TEST_F(FxEndToEnd, ReplacedCutAndSlowStartingRunsFinishAsAUserExpects) {
    const std::string dir = NewFolder("fx_user_cases");
    const std::string in = dir + "/in.wav", cut = dir + "/cut.wav", out = dir + "/out.wav";
    ASSERT_EQ(0, Sh("sox -D -n -r 44100 -c 2 -b 16 " + in + " synth 3 sine 440 vol 0.5"));
    ASSERT_EQ(0, Sh("cp " + in + " " + cut));
    ASSERT_EQ(0, truncate(cut.c_str(), 1000));
    // A FLAC stream that loses its last 100 bytes no longer decodes to its end.
    const std::string cutFlac = dir + "/cut.flac";
    ASSERT_EQ(0, Sh("sox " + in + " " + cutFlac));
    struct stat flac;
    ASSERT_EQ(0, stat(cutFlac.c_str(), &flac));
    ASSERT_EQ(0, truncate(cutFlac.c_str(), flac.st_size - 100));
    auto frames = [&]() {
        SF_INFO info;
        ReadWavDirectly(out, &info);
        return info.frames;
    };
    auto mode = [&]() {
        struct stat st;
        return stat(out.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    const struct {
        const char* name;
        int oldMode;  // of an output file already there; -1: none
        std::string args;
        std::string message;  // a part of what the program prints
        int64_t frames;       // -1: not checked
        int mode;
    } cases[] = {
        {"replaced 600", 0600, "-i " + in, "wrote 132300 frames", 132300, 0600},
        {"replaced 640", 0640, "-i " + in + " -e VolumeFilter5", "wrote", 132300, 0640},
        {"cut input", -1, "-i " + cut,
         "corvane-fx: warning: " + cut + " ends after 239 of 132300 frames", 239, -2},
        {"cut FLAC", -1, "-i " + cutFlac, "frames (the rest cannot be decoded: ", -1, -2},
        // The median keeps the length but gives its first audio only after 1.2 s of input, with
        // MaskSize 20 after 3.6 s: past the end, so that everything comes with the last read. The
        // stretch delivers nothing for its first dozens of 5 ms blocks, then twice the input.
        {"median on 3 s", -1, "-i " + in + " -e MedianFilter5", "wrote 132300 frames", 132300, -2},
        {"median over 39 frames on 3 s", -1, "-i " + in + " -e MedianFilter5 -p MaskSize=20",
         "wrote 132300 frames", 132300, -2},
        {"stretch on 3 s", -1,
         "-i " + in + " -e StretchFilter5 -p TempoRate=0.5 -p Rate=2.0 --block 5",
         "wrote 264600 frames", 264600, -2},
    };
    for (const auto& c : cases) {
        std::remove(out.c_str());
        if (c.oldMode >= 0) {
            std::ofstream(out, std::ios::binary) << "older";
            ASSERT_EQ(0, chmod(out.c_str(), static_cast<mode_t>(c.oldMode)));
        }
        RunResult r = Fx(c.args + " -o " + out);
        EXPECT_EQ(0, r.exitCode) << c.name << ": " << r.output;
        EXPECT_NE(std::string::npos, r.output.find(c.message)) << c.name << ": " << r.output;
        if (c.frames >= 0) {
            EXPECT_EQ(c.frames, frames()) << c.name;
        }
        if (c.mode != -2) {
            EXPECT_EQ(c.mode, mode()) << c.name;
        }
    }
}

// Names that are not what they were when the program looked, or not the user's to follow: each
// row's run waits for its input (a FIFO) while `during` changes the output's name.
TEST_F(FxEndToEnd, WritesOnlyWhereItsUserCouldWhateverTheNameBecomes) {
    const std::string dir = NewFolder("fx_names_change"), in = dir + "/in.wav", err = dir + "/err";
    const std::string hold = dir + "/hold", link = dir + "/shared/out.wav";
    ASSERT_EQ(0, Fx("--seconds 0.2 -o " + in).exitCode);
    ASSERT_EQ(0, Fx("-i " + in + " -o " + dir + "/ref.wav").exitCode);
    const std::string ref = Contents(dir + "/ref.wav");
    const std::string stream = std::string(ref).replace(4, 4, 4, '\xFF').replace(40, 4, 4, '\xFF');
    ASSERT_EQ(0, mkfifo(hold.c_str(), 0600));
    // Another user's link in a sticky folder that anyone may write to, onto a private file.
    ASSERT_TRUE(fs::create_directory(dir + "/shared"));
    ASSERT_EQ(0, chmod((dir + "/shared").c_str(), 01777));
    std::ofstream(dir + "/victim") << "secret";
    const pid_t child = geteuid() == 0 ? fork() : -1;
    if (child == 0) _exit(setgid(65534) || setuid(65534) || symlink("../victim", link.c_str()));
    int status = 1;
    if (child > 0) waitpid(child, &status, 0);
    HeldReader fifoRead;
    const std::string fifo = dir + "/fifo.wav", older = dir + "/older.wav";
    const int gone = open((dir + "/gone.wav").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(0, unlink((dir + "/gone.wav").c_str()));
    ASSERT_EQ(0, mkfifo(older.c_str(), 0600));
    struct Row {
        const char* name;
        std::string prefix, args;  // the shell's words before the program, and its arguments
        int exitCode;
        std::string message;
        std::function<std::string(const RunResult&)> got = nullptr;
        std::string want = "";
        std::function<void()> during = nullptr;  // while the run waits for its input
    };
    std::vector<Row> rows = {
        {"a FIFO made at the name before the finished file takes it", "", "-o " + fifo, 0, "wrote",
         [&](auto&) { return fifoRead.Finish(); }, ref,
         [&] {
             ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
             fifoRead.StartOnFifo(fifo);
         }},
        {"a FIFO swapped for a regular file before the first block, in a failing run",
         "ulimit -f 16; ", "-o " + older, 1, "File too large",
         [&](auto&) { return Contents(older); }, "older",
         [&] {
             fs::remove(older);
             std::ofstream(older) << "older";
         }},
        {"/dev/fd/N onto a deleted file", "", "-i " + in + " -o /dev/fd/" + std::to_string(gone), 0,
         "wrote", [&](auto&) { return Contents("/proc/self/fd/" + std::to_string(gone)); }, ref},
        {"a folder before the input is read", "",
         "-i " + dir + "/missing.wav -o " + dir + " -e ReverseFilter5", 1, "it is a folder"},
        {"a file where the temporary folder should be", "",
         "-i " + in + " -o " + dir + "/o.wav -e ReverseFilter5 -p TempPath=str:" + in + "/", 1,
         "(temporary files in " + in + "/: Not a directory)"},
        {"a reader that stops early", "{ { ",
         "--seconds 5 -o /dev/stdout 2>&3; echo \"exit $?\" >&3; } 3>&2 | head -c 1000 >/dev/null; "
         "}",
         0, "Broken pipe\nexit 1"},
        {"the standard output holds the stream alone", "{ ",
         "-i " + in + " -o /dev/stdout 2>" + err + " | cat; }", 0, "RIFF",
         [&](const RunResult& r) { return r.output + Contents(err).substr(0, 17); },
         stream + "corvane-fx: wrote"},
    };
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        rows.push_back({"another user's link in a sticky folder", "", "-i " + in + " -o " + link, 1,
                        "cannot follow the link " + link + ": it belongs to user 65534",
                        [&](auto&) { return Contents(dir + "/victim"); }, "secret"});
    } else {
        std::printf("no sticky-folder row: only root can make a link as another user\n");
    }
    for (const Row& r : rows) {
        RunResult run;
        std::thread fx([&] {
            run = RunProgram(r.prefix + CORVANE_FX_PATH, "--registry-root " + *registry_ + " " +
                                                             (r.during ? "-i " + hold + " " : "") +
                                                             r.args);
        });
        if (r.during) {
            const int feed = open(hold.c_str(), O_WRONLY | O_CLOEXEC);  // the run is at its input
            r.during();
            const std::string bytes = Contents(in);
            EXPECT_EQ(ssize_t(bytes.size()), write(feed, bytes.data(), bytes.size()));
            close(feed);
        }
        fx.join();
        EXPECT_EQ(r.exitCode, run.exitCode) << r.name << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(r.message)) << r.name << ": " << run.output;
        if (r.got) {
            EXPECT_TRUE(r.got(run) == r.want) << r.name;
        }
        for (const std::string& e : Entries(dir))
            EXPECT_TRUE(e[0] != '.' && e.find("deleted") == e.npos) << r.name << " left " << e;
    }
    close(gone);
}

#endif

TEST_F(FxEndToEnd, ListNamesTheClassesAndWhetherTheyAreRegistered) {
    RunResult r = Fx("--list");
    ASSERT_EQ(0, r.exitCode) << r.output;
    for (const char* name :
         {"AudioFilter5", "AudioFilterNB5", "BandFilter5", "DelayFilter5", "EchoFilter5",
          "EqualizeFilter5", "FlangerFilter5", "InvertFilter5", "MedianFilter5",
          "PitchShiftFilter5", "ReverbFilter5", "ReverseFilter5", "SilenceFilter5",
          "StretchFilter5", "VibratoFilter5", "VolumeFilter5", "WahWahFilter5"}) {
        EXPECT_NE(std::string::npos, r.output.find(std::string("  ") + name + " ")) << name;
    }
    EXPECT_NE(std::string::npos,
              r.output.find("{27C5692D-C3BF-49D1-8F01-DB94CDAB70E8}  registered"))
        << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("not registered")) << r.output;
    if (registry_->empty()) return;

    // The registry folder also comes from the environment.
    const std::string empty = NewFolder("fx_list_empty");
    r = RunProgram("CORVANE_REGISTRY_ROOT=" + empty + " " + CORVANE_FX_PATH, "--list");
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos,
              r.output.find("{27C5692D-C3BF-49D1-8F01-DB94CDAB70E8}  not registered"))
        << r.output;
    EXPECT_NE(std::string::npos, r.output.find("corvane-reg --user")) << r.output;
}

}  // namespace
}  // namespace corvane::fx
