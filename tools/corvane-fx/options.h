// Command line of corvane-fx.
#pragma once

#include "host/signal.h"
#include "tools/corvane-fx/params.h"

#include <string>
#include <vector>

namespace corvane::fx {

// One effect of the chain: -e NAME|{CLSID} and the -p, -z and --disabled that follow it.
struct EffectSetup {
    std::string label;  // the class name (or CLSID text) for messages
    CLSID clsid = GUID_NULL;
    bool enabled = true;           // --disabled: the effect passes its input through unchanged
    ParamSet params;               // -p KEY=VALUE
    std::vector<ZoneRange> zones;  // -z START:DURATION; none: the whole stream
};

struct Options {
    std::string output;           // -o FILE: the WAV file to write (required unless --list)
    std::string input;            // -i FILE: the sound file to read; empty: the generated signal
    host::SignalSettings signal;  // the generated input: --seconds, --rate, --channels, --signal,
                                  // --frequency, --amplitude (only without -i)
    double blockMs = 100.0;       // --block MS: the length of each read
    std::string registryRoot;     // --registry-root DIR; empty: the platform's default
    std::vector<EffectSetup> effects;  // the chain, from the input towards the output
    bool list = false;                 // --list: name the effect classes and stop
    bool help = false;                 // -h, --help
};

enum class ParseResult { Ok, Help, Error };

// Parses argv[1 ..]. Options take their value as the next argument, long ones also after '='
// (--rate=48000). On Error, *error says what is wrong and names the argument; every value is
// checked here, so a parsed Options runs without further checks of its syntax.
ParseResult ParseOptions(int argc, const char* const* argv, Options* out, std::string* error);

// The usage text, for --help.
std::string Usage(const char* program);

}  // namespace corvane::fx
