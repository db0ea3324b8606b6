// Every numeric key that an effect class reads, set to values a careless or hostile host may hand
// over (NaN, the infinities, 0, -1, the extremes of the type), on a short mono stream at 8000 Hz
// and a stereo one at 44100 Hz. The effect either refuses with a failed read, or ends the stream
// with as many samples as it gives without the key (the key never changes the length); a NaN is
// ignored, or the effect leaves the audio untouched: NaN never reaches the output, where the block
// loop would write it as silence. An array entry out of range leaves the audio untouched.
#include "tests/effects/harness.h"

#include "effects/EffectKeys.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <list>
#include <map>
#include <optional>

namespace corvane::testing {
namespace {

// How the key holds its value.
enum class Kind {
    Double,       // a double
    Long,         // a 32-bit integer
    ULong,        // an unsigned 32-bit integer
    DoubleArray,  // element 0 of the base's array of doubles
    FloatArray,   // element 0 of the base's array of floats
    ZoneEntry,    // a key of the one entry of "StrengthZone"
    ListEntry,    // the value at index 0 of a list with one entry per channel
};

struct HostileKey {
    const char* effect;  // the class's name as the class table describes it
    const OLECHAR* key;
    Kind kind;
    Params base;  // what makes the key matter (the key itself is set on top)
    // Values outside lo .. hi are documented as ignored: the output is what it is without the key.
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
    std::vector<double> more = {};  // values beside the common ones that have done harm
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> ValuesOf(Kind kind) {
    switch (kind) {
        case Kind::Long:
        case Kind::ListEntry:
            return {0.0, -1.0, INT32_MAX, INT32_MIN};
        case Kind::ULong:
            return {0.0, UINT32_MAX};
        case Kind::FloatArray:
            return {kNaN, kInf, -kInf, 0.0, -1.0, FLT_MAX, -FLT_MAX};
        default:
            return {kNaN, kInf, -kInf, 0.0, -1.0, 1e300, -1e300};
    }
}

host::ParamBytes Doubles(std::vector<double> v) {
    return host::DoubleArray(v.data(), v.size());
}

host::ParamBytes Floats(std::vector<float> v) {
    return host::FloatArray(v.data(), v.size());
}

// base with the key at value on top; without a value, base without the key (for a list or a zone
// entry: the entry without it).
Params WithValue(const HostileKey& row, std::optional<double> given, int channels) {
    Params p = row.base;
    if (row.kind == Kind::DoubleArray || row.kind == Kind::FloatArray) {
        // The base's array with element 0 replaced.
        const auto* bytes = std::get_if<host::ParamBytes>(p.store.Find(row.key, -1));
        if (!bytes) return p;
        host::ParamBytes changed = *bytes;
        if (given && row.kind == Kind::DoubleArray) std::memcpy(changed.data(), &*given, 8);
        const float f = static_cast<float>(given.value_or(0.0));
        if (given && row.kind == Kind::FloatArray) std::memcpy(changed.data(), &f, 4);
        p.Set(row.key, changed);
        return p;
    }
    p.store.RemoveName(row.key);
    const double value = given.value_or(0.0);
    if (!given && row.kind != Kind::ZoneEntry && row.kind != Kind::ListEntry) return p;
    switch (row.kind) {
        case Kind::Double:
            p.Set(row.key, value);
            break;
        case Kind::Long:
            p.Set(row.key, static_cast<int32_t>(value));
            break;
        case Kind::ULong:
            p.Set(row.key, static_cast<uint32_t>(value));
            break;
        case Kind::DoubleArray:
        case Kind::FloatArray:
            break;
        case Kind::ZoneEntry:
            p.Set(OLESTR("UseStrengthPerCh"), true);
            p.store.AddEntry(OLESTR("StrengthZone"));
            if (given) p.store.Entry(OLESTR("StrengthZone"), 0)->Set(row.key, -1, value);
            break;
        case Kind::ListEntry:
            for (int i = 0; i < channels; ++i) {
                p.store.AddEntry(row.key);
                p.store.Set(row.key, i, static_cast<int32_t>(i));
            }
            if (given) p.store.Set(row.key, 0, static_cast<int32_t>(value));
            break;
    }
    return p;
}

std::string Utf8(const OLECHAR* s);

// Key 0 of a numbered key, kept for the whole run.
const OLECHAR* Numbered(const OLECHAR* key) {
    static std::list<std::basic_string<OLECHAR>> names;
    names.push_back(std::basic_string<OLECHAR>(key) + OLESTR("0"));
    return names.back().c_str();
}

Params P(std::initializer_list<std::pair<const OLECHAR*, host::ParamValue>> values) {
    Params p;
    for (const auto& [key, value] : values) p.Set(key, value);
    return p;
}

std::vector<HostileKey> AllKeys() {
    using K = Kind;
    const Params none;
    const Params smooth = P({{OLESTR("SmoothEnabled"), true}});
    const Params strengths = P({{OLESTR("UseStrengthPerCh"), true}});
    const Params band = P({{OLESTR("FilterType"), 7},
                           {OLESTR("Frequency"), 1000.0},
                           {OLESTR("Steepness"), 70.7},
                           {OLESTR("dbGain"), 6.0}});
    const Params reverb = P({{OLESTR("DelayTime"), 30.0},
                             {OLESTR("ReverbrationGain"), 50.0},
                             {OLESTR("FeedBackGain"), 40.0},
                             {OLESTR("MixDepth"), 50.0}});
    const Params delay = P(
        {{OLESTR("DelayTime"), 20.0}, {OLESTR("FeedBackGain"), 40.0}, {OLESTR("MixDepth"), 50.0}});
    const Params flanger = P({{OLESTR("EffectType"), 3},
                              {OLESTR("SweepDepth"), 50.0},
                              {OLESTR("SweepRate"), 30.0},
                              {OLESTR("FeedBackGain"), 30.0},
                              {OLESTR("MixDepth"), 50.0}});
    const Params vibrato = P({{OLESTR("SweepFrequency"), 5.0}, {OLESTR("SweepDepth"), 50.0}});
    const Params volumeRamp = P({{OLESTR("dBStartLevel"), -6.0}, {OLESTR("dBEndLevel"), 0.0}});
    const Params echo = P({{OLESTR("ReflectionsNumber"), 1}, {OLESTR("AudioOffset0"), 20.0}});
    const Params eq = P({{OLESTR("FilterType"), 1},
                         {OLESTR("FrequencyArray"), Doubles({100.0, 1000.0, 4000.0})},
                         {OLESTR("WidthArray"), Doubles({50.0, 300.0, 1000.0})},
                         {OLESTR("dbGainArray"), Doubles({6.0, -4.0, 3.0})}});
    const Params gate = P({{OLESTR("FilterType"), 2}});
    const Params equalize = P({{OLESTR("FrequencyArray"), Floats({1000.0f, 4000.0f})},
                               {OLESTR("dbGainArray"), Floats({6.0f, -6.0f})}});
    const Params median = P({{OLESTR("MaskSize"), 3}, {OLESTR("FFTBlockSize"), 256}});
    std::vector<HostileKey> rows = {
        // The framework's keys, read by every class.
        {"InvertFilter5", OLESTR("dBVolumeLevel"), K::Double, none},
        {"InvertFilter5", OLESTR("VolumeLevel"), K::Double, none},
        {"InvertFilter5", OLESTR("Rate"), K::Double, none},
        {"InvertFilter5", OLESTR("RSmoothTime"), K::Long, smooth},
        {"InvertFilter5", OLESTR("LSmoothTime"), K::Long, smooth},
        {"InvertFilter5", OLESTR("LeftStrength"), K::Double, strengths},
        {"InvertFilter5", OLESTR("CenterStrength"), K::Double, strengths},
        {"InvertFilter5", OLESTR("RightStrengthEnd"), K::Double, strengths},
        {"InvertFilter5", OLESTR("EffectStart"), K::ZoneEntry, none},
        {"InvertFilter5", OLESTR("EffectDuration"), K::ZoneEntry, none},
        {"InvertFilter5", OLESTR("LeftStrength"), K::ZoneEntry, none},
        {"SilenceFilter5", OLESTR("VolumeLevel"), K::Double, none},
        // Beyond the row of its table: a gain whose factor a double cannot hold.
        {"AudioFilter5", OLESTR("dbGainArray"), K::DoubleArray, eq, -6000.0, 6000.0, {1e30, -1e30}},
    };
    // The keys of the effects' tables, with what makes each matter, probed just past each end of
    // its range and with values that have done harm to one key or another.
    const std::map<std::string, Params> bases = {
        {"BandFilter5", band},         {"ReverbFilter5", reverb},
        {"DelayFilter5", delay},       {"FlangerFilter5", flanger},
        {"VibratoFilter5", vibrato},   {"AudioFilter5", gate},
        {"MedianFilter5", median},     {"EchoFilter5", echo},
        {"EqualizeFilter5", equalize}, {"AudioFilterNB5", P({{OLESTR("FilterType"), 3}})}};
    const std::map<ParamType, K> kinds = {{ParamType::Long, K::Long},
                                          {ParamType::ULong, K::ULong},
                                          {ParamType::Double, K::Double},
                                          {ParamType::DoubleArray, K::DoubleArray},
                                          {ParamType::FloatArray, K::FloatArray},
                                          {ParamType::LongList, K::ListEntry}};
    for (const EffectKeys& table : EffectKeyTables()) {
        for (const ParamSpec& spec : table.keys) {
            if (spec.type == ParamType::Bool) continue;
            const K kind = kinds.at(spec.type);
            const std::string key = Utf8(spec.key);
            const bool equalizer = key == "FilterType" || key == "EqualizerType" ||
                                   key.find("Array") != std::string::npos;
            const bool ramp =
                key.rfind("dBStart", 0) == 0 || key.rfind("dBEnd", 0) == 0 || key == "VolumeScale";
            // A numbered key is probed as key 0, a level under both of its names.
            const Params base = std::string(table.effect) == "AudioFilter5" && equalizer ? eq
                                : std::string(table.effect) == "VolumeFilter5" && ramp ? volumeRamp
                                : bases.count(table.effect) ? bases.at(table.effect)
                                                            : none;
            const double step = spec.type == ParamType::Long ? 1.0 : 0.5;
            const double half = spec.lo > 0.0 ? spec.lo / 2 : kNaN;  // toward 0 from a least
            const double top = kind == K::FloatArray                                      ? FLT_MAX
                               : spec.type == ParamType::Double || kind == K::DoubleArray ? DBL_MAX
                                                                                          : 2e9;
            for (LPCOLESTR name : {spec.key, spec.twin}) {
                if (name == nullptr) continue;
                HostileKey row{table.effect, spec.numbered ? Numbered(name) : name, kind, base};
                if (!spec.TakesAnything()) {
                    row.lo = spec.aboveLo ? std::nextafter(spec.lo, kInf) : spec.lo;
                    row.hi = spec.hi;
                }
                for (double v : {spec.lo - step, half, spec.hi + step, spec.hi * 10, 1e20, 65536.0,
                                 1e-39, 1e-46, -50.0, 150.0, 1e9}) {
                    const bool unsignedValue = v >= 0.0 && v <= UINT32_MAX;
                    if (std::fabs(v) <= top && (kind != K::ULong || unsignedValue)) {
                        row.more.push_back(v);
                    }
                }
                rows.push_back(row);
            }
        }
    }
    return rows;
}

// The format that the reversing effect asks of its input is the host's to fill in, where the
// parameters do not give it.
Params WithFormat(Params p, const Signal& in) {
    if (!p.store.Find(OLESTR("nSamplesPerSec"), -1)) p.Set(OLESTR("nSamplesPerSec"), in.Rate());
    if (!p.store.Find(OLESTR("nChannels"), -1)) p.Set(OLESTR("nChannels"), in.Channels());
    return p;
}

EffectSetup SetupNamed(const std::string& name) {
    for (EffectSetup& setup : AllEffects()) {
        if (setup.name == name) return setup;
    }
    ADD_FAILURE() << "no class " << name << " in the class table";
    return EffectSetup();
}

std::string Utf8(const OLECHAR* s) {
    std::string out;
    for (; *s; ++s) out.push_back(static_cast<char>(*s));
    return out;
}

std::ostream& operator<<(std::ostream& os, const HostileKey& row) {
    return os << row.effect << "_" << Utf8(row.key);
}

class HostileKeys : public EffectHarness, public ::testing::WithParamInterface<HostileKey> {};

TEST_P(HostileKeys, RefusedOrIgnoredWithoutHarm) {
    const HostileKey& row = GetParam();
    const ReadPlan& plan = AllReadPlans()[1];
    for (const auto& [channels, rate] : {std::pair{1, 8000}, std::pair{2, 44100}}) {
        const Signal in = VariedSignal(channels, rate, 200.0);
        EffectSetup setup = SetupNamed(row.effect);
        setup.mayRefuse = true;
        setup.params = WithFormat(WithValue(row, std::nullopt, channels), in);
        const RunOutput baseline = Run(setup, in, plan);
        ASSERT_EQ(baseline.hr, S_OK) << std::hex << baseline.hr;
        ASSERT_TRUE(baseline.ended);
        std::vector<double> values = ValuesOf(row.kind);
        values.insert(values.end(), row.more.begin(), row.more.end());
        for (const double value : values) {
            SCOPED_TRACE(::testing::Message()
                         << row << " = " << value << ", " << channels << " channels at " << rate);
            setup.params = WithFormat(WithValue(row, value, channels), in);
            const RunOutput out = Run(setup, in, plan);
            if (FAILED(out.hr)) continue;  // refused
            EXPECT_TRUE(out.ended) << "no end of stream after " << out.reads << " reads";
            EXPECT_EQ(out.samples.size(), baseline.samples.size());
            if (!(value >= row.lo && value <= row.hi) && !std::isnan(value)) {
                const bool entry = row.kind == Kind::DoubleArray || row.kind == Kind::FloatArray;
                EXPECT_EQ(out.samples, entry ? in.samples : baseline.samples)
                    << "a value out of range not ignored";
            }
            if (std::isnan(value)) {
                EXPECT_TRUE(out.samples == baseline.samples || out.samples == in.samples)
                    << "a NaN neither ignored nor leaving the audio untouched";
            }
        }
    }
}

// Values that the effects ignore, named here and not taken from the key tables, so that a range
// widened in a table cannot widen the test with it: each gives the output of the key left unset.
TEST_F(EffectHarness, ValuesOutOfRangeGiveTheOutputOfTheKeyUnset) {
    const Params delay = P({{OLESTR("DelayTime"), 20.0}, {OLESTR("MixDepth"), 50.0}});
    const Params flanger = P({{OLESTR("SweepDepth"), 50.0}, {OLESTR("MixDepth"), 50.0}});
    const std::pair<HostileKey, double> rows[] = {
        {{"DelayFilter5", OLESTR("FeedBackGain"), Kind::Double, delay}, 150.0},
        {{"DelayFilter5", OLESTR("FeedBackGain"), Kind::Double, delay}, -50.0},
        {{"FlangerFilter5", OLESTR("DelayRate"), Kind::Double, flanger}, 150.0},
        {{"WahWahFilter5", OLESTR("Depth"), Kind::Long, Params()}, 150.0},
        {{"WahWahFilter5", OLESTR("WahFreqOffset"), Kind::Long, Params()}, -150.0},
        {{"WahWahFilter5", OLESTR("Resonance"), Kind::Double, Params()}, 1e-39},
    };
    const Signal in = VariedSignal(2, 44100, 200.0);
    for (const auto& [row, value] : rows) {
        EffectSetup setup = SetupNamed(row.effect);
        setup.params = WithValue(row, std::nullopt, 2);
        const RunOutput unset = Run(setup, in, AllReadPlans()[1]);
        ASSERT_TRUE(unset.hr == S_OK && unset.ended) << row;
        setup.params = WithValue(row, value, 2);
        EXPECT_EQ(Run(setup, in, AllReadPlans()[1]).samples, unset.samples) << row << " " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKey, HostileKeys, ::testing::ValuesIn(AllKeys()),
                         [](const auto& info) {
                             std::ostringstream name;
                             name << info.param;
                             std::string s = name.str();
                             return s + "_" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace corvane::testing
