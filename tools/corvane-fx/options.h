// Command line of corvane-fx.
#pragma once

#include "host/signal.h"

#include <string>

namespace corvane::fx {

struct Options {
    std::string output;        // -o FILE: the WAV file to write (required)
    host::SignalSettings signal;   // the generated input: --seconds, --rate, --channels, --signal,
                               // --frequency, --amplitude
    double blockMs = 100.0;    // --block MS: the length of each read
    bool help = false;         // -h, --help
};

enum class ParseResult { Ok, Help, Error };

// Parses argv[1 ..]. Options take their value as the next argument or after '=' (--rate=48000).
// On Error, *error says what is wrong; every value is range-checked here, so a parsed Options
// runs without further checks.
ParseResult ParseOptions(int argc, const char* const* argv, Options* out, std::string* error);

// The usage text, for --help and after an error.
std::string Usage(const char* program);

}  // namespace corvane::fx
