#include "tools/corvane-fx/options.h"

#include "tools/corvane-fx/classes.h"
#include "tools/corvane-fx/platform.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace corvane::fx {

namespace {

bool ParseNumber(const std::string& text, double* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool ParseWhole(const std::string& text, double lo, double hi, long* out) {
    double v;
    if (!ParseNumber(text, &v) || v != std::floor(v) || v < lo || v > hi) return false;
    *out = static_cast<long>(v);
    return true;
}

enum class Kind { Flag, Value };

struct OptionInfo {
    std::string_view shortName;  // may be empty
    std::string_view longName;
    Kind kind;
    bool signalOption;  // shapes the generated signal, so it conflicts with -i
};

constexpr OptionInfo kOptions[] = {
    {"-h", "--help", Kind::Flag, false},
    {"", "--list", Kind::Flag, false},
    {"", "--disabled", Kind::Flag, false},
    {"-o", "--output", Kind::Value, false},
    {"-i", "--input", Kind::Value, false},
    {"", "--registry-root", Kind::Value, false},
    {"-e", "--effect", Kind::Value, false},
    {"-p", "--param", Kind::Value, false},
    {"-z", "--zone", Kind::Value, false},
    {"", "--block", Kind::Value, false},
    // The older spelling of --registry-root, as corvane-reg takes it too.
    {"", "--root", Kind::Value, false},
    {"", "--seconds", Kind::Value, true},
    {"", "--rate", Kind::Value, true},
    {"", "--channels", Kind::Value, true},
    {"", "--signal", Kind::Value, true},
    {"", "--frequency", Kind::Value, true},
    {"", "--amplitude", Kind::Value, true},
};

const OptionInfo* FindOption(const std::string& name) {
    for (const OptionInfo& o : kOptions) {
        if ((!o.shortName.empty() && name == o.shortName) || name == o.longName) return &o;
    }
    return nullptr;
}

// Applies one option with its value to o; false with *error when the value is refused.
bool Apply(const OptionInfo& opt, const std::string& value, Options* o, std::string* error) {
    const std::string_view given = opt.longName;
    const std::string_view name = given == "--root" ? "--registry-root" : given;
    long whole = 0;
    double number = 0.0;
    auto fail = [&](const std::string& why) {
        *error = why;
        return false;
    };
    auto current = [&]() -> EffectSetup* {
        return o->effects.empty() ? nullptr : &o->effects.back();
    };
    if (name == "--help") {
        o->help = true;
    } else if (name == "--list") {
        o->list = true;
    } else if (name == "--disabled") {
        if (!current()) return fail("--disabled must follow the -e it applies to");
        current()->enabled = false;
    } else if (name == "--output") {
        if (value.empty()) return fail("the output file name is empty");
        o->output = value;
    } else if (name == "--input") {
        if (value.empty()) return fail("the input file name is empty");
        o->input = value;
    } else if (name == "--registry-root") {
        if (const char* refusal = RegistryFolderRefusal())
            return fail(std::string(given) + ": " + refusal);
        if (value.empty()) return fail(std::string(given) + " needs a folder");
        o->registryRoot = value;
    } else if (name == "--effect") {
        EffectSetup e;
        std::string why;
        if (!ResolveEffectClass(value, &e.clsid, &e.label, &why))
            return fail("-e " + Excerpt(value) + ": " + why);
        o->effects.push_back(std::move(e));
    } else if (name == "--param") {
        if (!current())
            return fail("-p " + Excerpt(value) + ": a parameter must follow the -e it applies to");
        Param p;
        std::string why;
        size_t at = 0;
        if (!ParseParam(value, &p, &why, &at)) return fail("-p " + Excerpt(value, at) + ": " + why);
        current()->params.Set(std::move(p));
    } else if (name == "--zone") {
        if (!current())
            return fail("-z " + Excerpt(value) + ": a zone must follow the -e it applies to");
        ZoneRange z;
        std::string why;
        if (!ParseZone(value, &z, &why)) return fail("-z " + Excerpt(value) + ": " + why);
        current()->zones.push_back(z);
    } else if (name == "--seconds") {
        if (!ParseNumber(value, &number) || !(number > 0.0) || number > 86400.0) {
            return fail("--seconds needs a number above 0 and at most 86400");
        }
        o->signal.seconds = number;
    } else if (name == "--rate") {
        if (!ParseWhole(value, 1000, 768000, &whole))
            return fail("--rate needs a whole number from 1000 to 768000");
        o->signal.rate = static_cast<DWORD>(whole);
    } else if (name == "--channels") {
        if (!ParseWhole(value, 1, 32, &whole))
            return fail("--channels needs a whole number from 1 to 32");
        o->signal.channels = static_cast<WORD>(whole);
    } else if (name == "--signal") {
        if (!host::ParseSignalKind(value, &o->signal.kind)) {
            return fail("--signal needs one of tones, sweep, noise, silence");
        }
    } else if (name == "--frequency") {
        if (!ParseNumber(value, &number) || !(number > 0.0))
            return fail("--frequency needs a number above 0");
        o->signal.frequency = number;
    } else if (name == "--amplitude") {
        if (!ParseNumber(value, &number) || number < 0.0 || number > 1.0) {
            return fail("--amplitude needs a number from 0 to 1");
        }
        o->signal.amplitude = number;
    } else if (name == "--block") {
        if (!ParseNumber(value, &number) || !(number > 0.0) || number > 60000.0) {
            return fail("--block needs a number of milliseconds above 0 and at most 60000");
        }
        o->blockMs = number;
    }
    return true;
}

}  // namespace

ParseResult ParseOptions(int argc, const char* const* argv, Options* out, std::string* error) {
    Options o;
    std::string signalOption;  // the first option that shapes the generated signal
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string name = arg, value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inlineValue = true;
            }
        }
        const OptionInfo* opt = FindOption(name);
        if (!opt) {
            *error = "unknown option '" + Excerpt(arg) + "'";
            return ParseResult::Error;
        }
        if (opt->kind == Kind::Flag && inlineValue) {
            *error = "option '" + Excerpt(name) + "' takes no value";
            return ParseResult::Error;
        }
        if (opt->kind == Kind::Value && !inlineValue) {
            if (i + 1 >= argc) {
                *error = "option '" + name + "' needs a value";
                return ParseResult::Error;
            }
            value = argv[++i];
        }
        if (opt->signalOption && signalOption.empty()) signalOption = name;
        if (!Apply(*opt, value, &o, error)) return ParseResult::Error;
    }
    if (o.help) {
        *out = o;
        return ParseResult::Help;
    }
    if (o.list) {
        *out = o;
        return ParseResult::Ok;
    }
    if (o.output.empty()) {
        *error = "no output file: give -o FILE";
        return ParseResult::Error;
    }
    if (!o.input.empty() && !signalOption.empty()) {
        *error = signalOption + " shapes the generated signal and cannot be used with -i";
        return ParseResult::Error;
    }
    // Ranges that depend on two options at once.
    if (FAILED(host::ValidateSignalSettings(o.signal))) {
        *error = "--frequency must lie below half the rate (" + std::to_string(o.signal.rate / 2) +
                 " Hz)";
        return ParseResult::Error;
    }
    *out = o;
    return ParseResult::Ok;
}

std::string Usage(const char* program) {
    return std::string("usage: ") + program +
           " [-i IN.wav] -o OUT.wav [--registry-root DIR] [--block MS]\n"
           "       [-e NAME|{CLSID} [--disabled] [-p KEY=VALUE]... [-z START:DURATION]...]...\n"
           "       " +
           program +
           " --list [--registry-root DIR]\n"
           "\n"
           "Reads IN.wav (any format libsndfile reads, as 16-bit samples) or, without -i, a "
           "generated\n"
           "test signal, runs it through the effects in the order given and writes OUT.wav as "
           "16-bit\n"
           "PCM. OUT.wav appears only when everything succeeded.\n"
           "\n"
           "  -i, --input FILE        the sound file to read\n"
           "  -o, --output FILE       the WAV file to write (a link: its target; a device or\n"
           "                          FIFO: written into as a WAV stream)\n"
           "  -e, --effect NAME       add an effect, by class name or short name in any case\n"
           "                          (see --list), or by CLSID\n"
           "      --disabled          the last -e passes its input through unchanged\n"
           "  -p, --param KEY=VALUE   a parameter of the last -e; KEY[N]=VALUE sets index N\n"
           "  -z, --zone START:DUR    a zone of the last -e in ms (the effect interval spans its\n"
           "                          zones; none: the whole stream)\n" +
           (RegistryFolderRefusal()
                ? "      --registry-root DIR not on Windows: the module is found through the\n"
                  "                          system registry, where regsvr32 registers it\n"
                : "      --registry-root DIR where the registered module is found (--root DIR is "
                  "the\n"
                  "                          same; default: $CORVANE_REGISTRY_ROOT, else the "
                  "user's\n"
                  "                          data folder)\n") +
           "      --block MS          length of each read (default 100, at most 60000)\n"
           "      --list              name the effect classes and whether they are registered\n"
           "  Generated signal (without -i; default 5 s of tones at 440 Hz x channel number,\n"
           "  44100 Hz, 2 channels, amplitude 0.5):\n"
           "      --seconds S  --rate HZ  --channels N  --signal tones|sweep|noise|silence\n"
           "      --frequency HZ  --amplitude A\n"
           "\n"
           "VALUE: true | false | 12 (integer) | -6.5 or 1e3 (double) | 'text' | \"text\" | "
           "str:text\n"
           "       f32:[1,2.5] | f64:[1,2.5] | "
           "[{EffectStart=0,EffectDuration=1000,LeftStrength=0.5},{..}]\n"
           "After the run a warning names every -p value that its effect never read or read as\n"
           "another type.\n"
           "Example: " +
           program + " -i in.wav -o out.wav -e VolumeFilter5 -p dBVolumeLevel=-6.0 -z 1000:2000\n";
}

}  // namespace corvane::fx
