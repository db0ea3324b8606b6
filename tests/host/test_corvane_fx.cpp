// corvane-fx: its command line, and the program itself writing the generated signal to a WAV file.
#include "tools/corvane-fx/options.h"
#include "tests/support/live_objects.h"
#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace corvane::fx {
namespace {

using testing::ReadWavDirectly;
using testing::TempPath;

struct ParseCase {
    std::vector<const char*> args;
    ParseResult expected;
    const char* errorFragment;  // a fragment of the error text, for Error
};

TEST(FxOptions, ParsesValidCommandLinesAndNamesWhatIsWrong) {
    const ParseCase cases[] = {
        {{"-o", "a.wav"}, ParseResult::Ok, ""},
        {{"--output=a.wav", "--rate=48000", "--channels", "6", "--seconds", "0.5"},
         ParseResult::Ok,
         ""},
        {{"--signal", "sweep", "-o", "a.wav", "--frequency", "20", "--amplitude", "1"},
         ParseResult::Ok,
         ""},
        {{"--help"}, ParseResult::Help, ""},
        {{}, ParseResult::Error, "no output file"},
        {{"-o"}, ParseResult::Error, "needs a value"},
        {{"-o", "a.wav", "--bogus", "1"}, ParseResult::Error, "unknown option '--bogus'"},
        {{"-o", "a.wav", "--rate", "999"}, ParseResult::Error, "--rate"},
        {{"-o", "a.wav", "--rate", "44100.5"}, ParseResult::Error, "--rate"},
        {{"-o", "a.wav", "--channels", "0"}, ParseResult::Error, "--channels"},
        {{"-o", "a.wav", "--channels", "33"}, ParseResult::Error, "--channels"},
        {{"-o", "a.wav", "--seconds", "0"}, ParseResult::Error, "--seconds"},
        {{"-o", "a.wav", "--seconds", "5x"}, ParseResult::Error, "--seconds"},
        {{"-o", "a.wav", "--seconds", "nan"}, ParseResult::Error, "--seconds"},
        {{"-o", "a.wav", "--signal", "pink"}, ParseResult::Error, "--signal"},
        {{"-o", "a.wav", "--amplitude", "1.5"}, ParseResult::Error, "--amplitude"},
        {{"-o", "a.wav", "--rate", "8000", "--frequency", "4000"},
         ParseResult::Error,
         "half the rate"},
        {{"-o", ""}, ParseResult::Error, "empty"},
    };
    for (const ParseCase& c : cases) {
        std::vector<const char*> argv = {"corvane-fx"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Options o;
        std::string error;
        std::string line;
        for (const char* a : c.args) line += std::string(a) + " ";
        EXPECT_EQ(c.expected, ParseOptions(static_cast<int>(argv.size()), argv.data(), &o, &error))
            << line;
        if (c.expected == ParseResult::Error) {
            EXPECT_NE(std::string::npos, error.find(c.errorFragment)) << line << ": " << error;
        }
    }
    Options o;
    std::string error;
    const char* argv[] = {"corvane-fx", "--output=x.wav", "--rate=48000", "--channels",
                          "6",          "--seconds",      "0.5"};
    ASSERT_EQ(ParseResult::Ok, ParseOptions(7, argv, &o, &error));
    EXPECT_EQ("x.wav", o.output);
    EXPECT_EQ(48000u, o.signal.rate);
    EXPECT_EQ(6, o.signal.channels);
    EXPECT_EQ(0.5, o.signal.seconds);
    EXPECT_EQ(host::SignalKind::Tones, o.signal.kind);
}

// Runs the program with args; its exit code, or -1 when it did not exit normally.
int RunFx(const std::string& args) {
    const std::string command = std::string(CORVANE_FX_PATH) + " " + args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FxProgram, WritesTheDefaultSignal) {
    const std::string out = TempPath("default.wav");
    ASSERT_EQ(0, RunFx("-o " + out));
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

TEST(FxProgram, HonoursSecondsRateAndChannels) {
    const std::string out = TempPath("options.wav");
    ASSERT_EQ(0, RunFx("--seconds 0.25 --rate 48000 --channels 3 --signal silence -o " + out));
    SF_INFO info;
    std::vector<int16_t> s = ReadWavDirectly(out, &info);
    EXPECT_EQ(48000, info.samplerate);
    EXPECT_EQ(3, info.channels);
    EXPECT_EQ(12000, info.frames);
    EXPECT_EQ(std::vector<int16_t>(12000 * 3, 0), s);
    std::remove(out.c_str());
}

TEST(FxProgram, FailsWithoutWritingOnBadInput) {
    const std::string out = TempPath("bad.wav");
    EXPECT_EQ(2, RunFx("--channels 0 -o " + out));
    EXPECT_NE(0, access(out.c_str(), F_OK));
    EXPECT_EQ(2, RunFx("--seconds"));
    EXPECT_EQ(1, RunFx("-o " + TempPath("missing/dir/out.wav")));
    EXPECT_EQ(0, RunFx("--help"));
}

}  // namespace
}  // namespace corvane::fx
