// corvane-fx end to end: the built program run as a user runs it, with effects created by COM
// from the built module, which corvane-reg registered per user in a registry of the test's own.
#include "platform/win32.h"
#include "corvane/corvane.h"
#include "tests/support/sound_files.h"
#include "tests/tools/fx_files.h"
#include "tools/corvane-fx/classes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace corvane::fx {
namespace {

using files::Contents;
using files::Entries;
using files::NewFolder;
using testing::ReadWavDirectly;
using testing::TempPath;
using testing::WriteWavDirectly;

struct RunResult {
    int exitCode = -1;   // -1 when the program did not exit normally
    std::string output;  // stdout and stderr
};

RunResult RunProgram(const std::string& program, const std::string& args) {
    const std::string log = TempPath("fx_run.log");
    const std::string command = program + " " + args + " >" + log + " 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.output = Contents(log);
    std::remove(log.c_str());
    return r;
}

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

class FxEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registry_ = new std::string(NewFolder("fx_registry"));
        RunResult r =
            RunProgram(CORVANE_REG_PATH, "--user --root " + *registry_ + " " + CORVANE_MODULE_PATH);
        ASSERT_EQ(0, r.exitCode) << r.output;
    }
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + *registry_ + "'").c_str());
        delete registry_;
        registry_ = nullptr;
    }

    RunResult Fx(const std::string& args) {
        return RunProgram(CORVANE_FX_PATH, "--registry-root " + *registry_ + " " + args);
    }

    static std::string* registry_;
};

std::string* FxEndToEnd::registry_ = nullptr;

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
    // Engines of every shape: through the buffering helper per channel (Equalize), interleaved
    // (Volume, Echo), the channel map; parameters and zones that the framework reads. Only
    // classes still on the default channel filter pass audio through unchanged.
    RunResult r = Fx("-i " + in + " -o " + out +
                     " -e EqualizeFilter5 -p SmoothEnabled=true -p RSmoothTime=30 -z 200:500"
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
    RunResult r =
        Fx("--seconds 0.7 --signal sweep -o " + chained + " -e PitchShiftFilter5 -e InvertFilter5");
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
    std::vector<std::string> fragments;  // parts of the message
};

TEST_F(FxEndToEnd, FailuresSayWhatFailedExitNonZeroAndLeaveNoOutput) {
    const std::string dir = NewFolder("fx_failures");
    const std::string in = dir + "/in.wav";
    ASSERT_TRUE(WriteWavDirectly(in, 44100, 2, TestSamples(4410, 2)));
    const std::string emptyRegistry = NewFolder("fx_failures_registry");
    const std::string out = " -o " + dir + "/out.wav";
    const FailureCase cases[] = {
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
         "--registry-root " + emptyRegistry + " -i " + in + out + " -e VolumeFilter5",
         1,
         {"corvane-fx: cannot create effect 1 (VolumeFilter5): 0x80040154",
          "Class not registered"}},
        // A class that the process knows but that is no effect: the host's signal source.
        {"not an effect",
         "-i " + in + out + " -e VolumeFilter5 -e '" + ClsidText(CLSID_SignalSource) + "'",
         1,
         {"corvane-fx: cannot create effect 2 (" + ClsidText(CLSID_SignalSource) +
          "): 0x80004002"}},
        {"missing output folder",
         "-i " + in + " -e VolumeFilter5 -o " + dir + "/nowhere/out.wav",
         1,
         {"corvane-fx: cannot write " + dir + "/nowhere/out.wav: 0x80070003"}},
    };
    for (const FailureCase& c : cases) {
        RunResult r = Fx(c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << c.name << ": " << r.output;
        for (const std::string& f : c.fragments)
            EXPECT_NE(std::string::npos, r.output.find(f)) << c.name << ": " << r.output;
        EXPECT_EQ(std::vector<std::string>{"in.wav"}, Entries(dir)) << c.name;
    }
}

TEST_F(FxEndToEnd, AWriteFailureInTheMiddleRemovesThePartialOutput) {
    const std::string dir = NewFolder("fx_too_large");
    // A file-size limit of a few kilobytes fails the writes after the first blocks.
    RunResult r = RunProgram(
        "ulimit -f 16; " + std::string(CORVANE_FX_PATH),
        "--registry-root " + *registry_ + " --seconds 2 -o " + dir + "/out.wav -e VolumeFilter5");
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos,
              r.output.find("corvane-fx: writing " + dir + "/out.wav failed: 0x80004005"))
        << r.output;
    EXPECT_TRUE(Entries(dir).empty()) << Entries(dir).front();
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
