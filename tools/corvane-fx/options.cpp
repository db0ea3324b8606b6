#include "tools/corvane-fx/options.h"

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

}  // namespace

ParseResult ParseOptions(int argc, const char* const* argv, Options* out, std::string* error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inlineValue = true;
            }
        }
        static const std::string_view kKnown[] = {"-o", "--output", "--seconds", "--rate", "--channels",
                                                  "--signal", "--frequency", "--amplitude", "--block"};
        bool known = false;
        for (auto k : kKnown) known = known || name == k;
        if (!known) {
            *error = "unknown option '" + arg + "'";
            return ParseResult::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                *error = "option '" + name + "' needs a value";
                return ParseResult::Error;
            }
            value = argv[++i];
        }
        long whole = 0;
        double number = 0.0;
        if (name == "-o" || name == "--output") {
            if (value.empty()) {
                *error = "the output file name is empty";
                return ParseResult::Error;
            }
            o.output = value;
        } else if (name == "--seconds") {
            if (!ParseNumber(value, &number) || !(number > 0.0) || number > 86400.0) {
                *error = "--seconds needs a number above 0 and at most 86400";
                return ParseResult::Error;
            }
            o.signal.seconds = number;
        } else if (name == "--rate") {
            if (!ParseWhole(value, 1000, 768000, &whole)) {
                *error = "--rate needs a whole number from 1000 to 768000";
                return ParseResult::Error;
            }
            o.signal.rate = static_cast<DWORD>(whole);
        } else if (name == "--channels") {
            if (!ParseWhole(value, 1, 32, &whole)) {
                *error = "--channels needs a whole number from 1 to 32";
                return ParseResult::Error;
            }
            o.signal.channels = static_cast<WORD>(whole);
        } else if (name == "--signal") {
            if (!host::ParseSignalKind(value, &o.signal.kind)) {
                *error = "--signal needs one of tones, sweep, noise, silence";
                return ParseResult::Error;
            }
        } else if (name == "--frequency") {
            if (!ParseNumber(value, &number) || !(number > 0.0)) {
                *error = "--frequency needs a number above 0";
                return ParseResult::Error;
            }
            o.signal.frequency = number;
        } else if (name == "--amplitude") {
            if (!ParseNumber(value, &number) || number < 0.0 || number > 1.0) {
                *error = "--amplitude needs a number from 0 to 1";
                return ParseResult::Error;
            }
            o.signal.amplitude = number;
        } else if (name == "--block") {
            if (!ParseNumber(value, &number) || !(number > 0.0) || number > 60000.0) {
                *error = "--block needs a number of milliseconds above 0 and at most 60000";
                return ParseResult::Error;
            }
            o.blockMs = number;
        }
    }
    if (o.help) {
        *out = o;
        return ParseResult::Help;
    }
    if (o.output.empty()) {
        *error = "no output file: give -o FILE";
        return ParseResult::Error;
    }
    // Ranges that depend on two options at once.
    if (FAILED(host::ValidateSignalSettings(o.signal))) {
        *error = "--frequency must lie below half the rate (" + std::to_string(o.signal.rate / 2) + " Hz)";
        return ParseResult::Error;
    }
    *out = o;
    return ParseResult::Ok;
}

std::string Usage(const char* program) {
    return std::string("usage: ") + program +
           " -o FILE [--seconds S] [--rate HZ] [--channels N] [--signal tones|sweep|noise|silence]\n"
           "       [--frequency HZ] [--amplitude A] [--block MS]\n"
           "Generates a test signal (default: 5 s of tones at 440 Hz x channel number, 44100 Hz,\n"
           "2 channels, amplitude 0.5) and writes it to FILE as 16-bit PCM WAV.\n";
}

}  // namespace corvane::fx
