// corvane-fx's command line: the generated signal's options, the chain of -e with the -p, -z and
// --disabled that follow each, the input, the registry folder and --list, and the class names the
// program knows.
#include "tools/corvane-fx/classes.h"
#include "tools/corvane-fx/options.h"
#include "tools/corvane-fx/platform.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace corvane::fx {
namespace {

ParseResult Parse(const std::vector<const char*>& args, Options* o, std::string* error) {
    std::vector<const char*> argv = {"corvane-fx"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

std::string Line(const std::vector<const char*>& args) {
    std::string s;
    for (const char* a : args) s += std::string(a) + " ";
    return s;
}

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
        Options o;
        std::string error;
        EXPECT_EQ(c.expected, Parse(c.args, &o, &error)) << Line(c.args);
        if (c.expected == ParseResult::Error) {
            EXPECT_NE(std::string::npos, error.find(c.errorFragment))
                << Line(c.args) << ": " << error;
        }
    }
    Options o;
    std::string error;
    ASSERT_EQ(ParseResult::Ok,
              Parse({"--output=x.wav", "--rate=48000", "--channels", "6", "--seconds", "0.5"}, &o,
                    &error));
    EXPECT_EQ("x.wav", o.output);
    EXPECT_EQ(48000u, o.signal.rate);
    EXPECT_EQ(6, o.signal.channels);
    EXPECT_EQ(0.5, o.signal.seconds);
    EXPECT_EQ(host::SignalKind::Tones, o.signal.kind);
}

TEST(FxChainOptions, RefusesMisplacedOrBadChainArgumentsNamingThem) {
    const struct {
        std::vector<const char*> args;
        const char* fragment;
    } cases[] = {
        {{"-o", "a.wav", "-p", "K=1"}, "-p K=1: a parameter must follow the -e"},
        {{"-o", "a.wav", "-z", "0:10"}, "-z 0:10: a zone must follow the -e"},
        {{"-o", "a.wav", "--disabled"}, "--disabled must follow the -e"},
        {{"-o", "a.wav", "-e", "NoSuchFilter5"},
         "-e NoSuchFilter5: unknown effect class 'NoSuchFilter5'"},
        {{"-o", "a.wav", "-e", "{1234}"}, "is not a CLSID"},
        {{"-o", "a.wav", "-e", "VolumeFilter5", "-p", "dBVolumeLevel=loud"},
         "-p dBVolumeLevel=loud: 'loud' is not"},
        {{"-o", "a.wav", "-e", "VolumeFilter5", "-z", "5"}, "-z 5: expected START:DURATION"},
        {{"-o", "a.wav", "-e", "VolumeFilter5", "-z", "-1:5"}, "-z -1:5"},
        {{"-i", "in.wav", "-o", "a.wav", "--seconds", "1"},
         "--seconds shapes the generated signal"},
        {{"--rate=8000", "-i", "in.wav", "-o", "a.wav"}, "--rate shapes the generated signal"},
        {{"-i", "", "-o", "a.wav"}, "input file name is empty"},
        {{"--list=yes"}, "'--list' takes no value"},
        {{"--disabled=1"}, "'--disabled' takes no value"},
        {{"--registry-root="},
         RegistryFolderRefusal() ? RegistryFolderRefusal() : "--registry-root needs a folder"},
        {{"-o", "a.wav", "-e"}, "'-e' needs a value"},
        {{"-o", "a.wav", ""}, "unknown option ''"},
        {{"-o", "a.wav", "in.wav"}, "unknown option 'in.wav'"},
    };
    for (const auto& c : cases) {
        Options o;
        std::string error;
        EXPECT_EQ(ParseResult::Error, Parse(c.args, &o, &error)) << Line(c.args);
        EXPECT_NE(std::string::npos, error.find(c.fragment)) << Line(c.args) << ": " << error;
    }
}

TEST(FxChainOptions, BuildsTheChainInOrderWithWhatFollowsEachEffect) {
    Options o;
    std::string error;
    ASSERT_EQ(ParseResult::Ok,
              Parse({"--input",     "in.wav",
                     "-o",          "out.wav",
                     "-e",          "VolumeFilter5",
                     "-p",          "dBVolumeLevel=-6.0",
                     "-p",          "SmoothEnabled=true",
                     "-z",          "0:1000",
                     "-z",          "2000:500.5",
                     "-e",          "echofilter5",
                     "--disabled",  "--effect={0f82ee33-1089-4d8a-b66a-776322dda7e1}",
                     "--param=K=1", "-p",
                     "K=2",         "--zone=1:2"},
                    &o, &error))
        << error;
    EXPECT_EQ("in.wav", o.input);
    EXPECT_EQ("out.wav", o.output);
    ASSERT_EQ(3u, o.effects.size());

    const EffectSetup& v = o.effects[0];
    EXPECT_TRUE(IsEqualCLSID(CLSID_VolumeFilter5, v.clsid));
    EXPECT_EQ("VolumeFilter5", v.label);
    EXPECT_TRUE(v.enabled);
    ASSERT_EQ(2u, v.params.Items().size());
    EXPECT_EQ("dBVolumeLevel", v.params.Items()[0].name);
    ASSERT_TRUE(std::holds_alternative<double>(v.params.Items()[0].value));
    EXPECT_EQ(-6.0, std::get<double>(v.params.Items()[0].value));
    EXPECT_EQ("SmoothEnabled", v.params.Items()[1].name);
    ASSERT_TRUE(std::holds_alternative<bool>(v.params.Items()[1].value));
    EXPECT_TRUE(std::get<bool>(v.params.Items()[1].value));
    ASSERT_EQ(2u, v.zones.size());
    EXPECT_EQ(0.0, v.zones[0].start);
    EXPECT_EQ(1000.0, v.zones[0].duration);
    EXPECT_EQ(2000.0, v.zones[1].start);
    EXPECT_EQ(500.5, v.zones[1].duration);

    const EffectSetup& e = o.effects[1];
    EXPECT_TRUE(IsEqualCLSID(CLSID_EchoFilter5, e.clsid));
    EXPECT_EQ("EchoFilter5", e.label);  // the class's own spelling, whatever the user typed
    EXPECT_FALSE(e.enabled);
    EXPECT_TRUE(e.params.Empty());
    EXPECT_TRUE(e.zones.empty());

    // A CLSID in any case names the known class; the later -p K replaces the earlier.
    const EffectSetup& m = o.effects[2];
    EXPECT_TRUE(IsEqualCLSID(CLSID_MedianFilter5, m.clsid));
    EXPECT_EQ("MedianFilter5", m.label);
    ASSERT_EQ(1u, m.params.Items().size());
    EXPECT_EQ("K", m.params.Items()[0].name);
    ASSERT_TRUE(std::holds_alternative<int32_t>(m.params.Items()[0].value));
    EXPECT_EQ(2, std::get<int32_t>(m.params.Items()[0].value));
    ASSERT_EQ(1u, m.zones.size());
}

// A registry folder of the user's choice on Linux; Windows has the system registry only.
TEST(FxChainOptions, TakesARegistryFolderWhereThePlatformHasOne) {
    for (const char* option : {"--registry-root=/tmp/reg", "--root=/tmp/reg"}) {
        Options o;
        std::string error;
        const ParseResult result = Parse({"--list", option}, &o, &error);
        if (RegistryFolderRefusal()) {
            EXPECT_EQ(ParseResult::Error, result) << option;
            EXPECT_NE(std::string::npos, error.find("system registry")) << error;
        } else {
            ASSERT_EQ(ParseResult::Ok, result) << option << ": " << error;
            EXPECT_EQ("/tmp/reg", o.registryRoot);
        }
    }
}

TEST(FxChainOptions, ListNeedsNoOutputAndAnUnknownClsidIsKeptForCom) {
    Options o;
    std::string error;
    ASSERT_EQ(ParseResult::Ok, Parse({"--list"}, &o, &error)) << error;
    EXPECT_TRUE(o.list);

    ASSERT_EQ(ParseResult::Ok,
              Parse({"-o", "a.wav", "-e", "{00000000-0000-0000-0000-000000000001}"}, &o, &error))
        << error;
    ASSERT_EQ(1u, o.effects.size());
    const GUID expected = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_TRUE(IsEqualCLSID(expected, o.effects[0].clsid));
    EXPECT_EQ("{00000000-0000-0000-0000-000000000001}", o.effects[0].label);
}

TEST(FxEffectClasses, ListsTheSeventeenClassesSortedWithTheirRegisteredIdentity) {
    const std::vector<EffectClass>& classes = EffectClasses();
    ASSERT_EQ(17u, classes.size());
    std::set<std::string> names;
    std::set<std::string> clsids;
    for (size_t i = 0; i < classes.size(); ++i) {
        names.insert(classes[i].name);
        clsids.insert(ClsidText(classes[i].clsid));
        if (i > 0) {
            EXPECT_LT(std::string(classes[i - 1].name), std::string(classes[i].name));
        }
        // Every class description but the channel map's reads "<name> Class".
        if (std::string(classes[i].name) != "AudioFilterNB5") {
            EXPECT_EQ(std::string(classes[i].name) + " Class", classes[i].description);
        }
    }
    EXPECT_EQ(17u, names.size());
    EXPECT_EQ(17u, clsids.size());
    // Literal CLSIDs, independent of the list the program expands.
    const struct {
        const char* name;
        const char* clsid;
    } known[] = {
        {"VolumeFilter5", "{27C5692D-C3BF-49D1-8F01-DB94CDAB70E8}"},
        {"AudioFilterNB5", "{BA9E70E5-3AE7-4CD3-8376-3C38AB927576}"},
        {"BandFilter5", "{338B487E-923B-496E-A10E-8FA4002EE4B0}"},
    };
    for (const auto& k : known) {
        CLSID clsid;
        std::string label, error;
        ASSERT_TRUE(ResolveEffectClass(k.name, &clsid, &label, &error)) << k.name;
        EXPECT_EQ(k.clsid, ClsidText(clsid));
        EXPECT_EQ(k.name, label);
        ASSERT_TRUE(ResolveEffectClass(k.clsid, &clsid, &label, &error)) << k.clsid;
        EXPECT_EQ(k.name, label);
    }
    // Short names and the full name in any case, and a CLSID without braces.
    const struct {
        const char* text;
        const char* label;  // nullptr: refused
    } forms[] = {
        {"volume", "VolumeFilter5"},
        {"VOLUMEFILTER5", "VolumeFilter5"},
        {"audionb", "AudioFilterNB5"},
        {"Audio", "AudioFilter5"},
        {"pitchshift", "PitchShiftFilter5"},
        {"27c5692d-c3bf-49d1-8f01-db94cdab70e8", "VolumeFilter5"},
        {"VolumeFilter", nullptr},
        {"Filter5", nullptr},
        {"", nullptr},
    };
    for (const auto& f : forms) {
        CLSID clsid;
        std::string label, error;
        EXPECT_EQ(f.label != nullptr, ResolveEffectClass(f.text, &clsid, &label, &error)) << f.text;
        const std::string shown = f.label ? label : error;
        EXPECT_NE(std::string::npos, shown.find(f.label ? f.label : "--list")) << f.text;
    }
}

}  // namespace
}  // namespace corvane::fx
