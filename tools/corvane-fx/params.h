// The KEY=VALUE syntax of corvane-fx: effect parameters and zones as the command line gives
// them, typed by how they are written, and their transfer to the host's parameter object.
// docs/corvane-fx.md is the user's description of the syntax.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvane::host {
class ParamReads;
}

namespace corvane::fx {

class ParamSet;

// One value, typed by its spelling: true/false; a whole number (int32, or uint32 above the
// int32 range); a number with a point or an exponent (double); a quoted or str: text (UTF-8);
// f32:[..] and f64:[..] arrays; [{..},{..}] lists of parameter sets.
using ParamValue = std::variant<bool, int32_t, uint32_t, double, std::string, std::vector<float>,
                                std::vector<double>, std::vector<ParamSet>>;

struct Param {
    std::string name;  // the key, case kept; never empty
    LONG index = -1;   // -1: the value for the whole stream; 0 and up: KEY[N]
    ParamValue value;
};

// The parameters of one effect (or one list entry) in the order given. A key at the same index
// is held once: Set replaces it.
class ParamSet {
public:
    void Set(Param p);
    const Param* Find(std::string_view name, LONG index) const;
    const std::vector<Param>& Items() const { return items_; }
    bool Empty() const { return items_.empty(); }

    // Same keys, indices and values in the same order.
    bool operator==(const ParamSet& o) const;
    bool operator!=(const ParamSet& o) const { return !(*this == o); }

private:
    std::vector<Param> items_;
};

inline bool operator==(const Param& a, const Param& b) {
    return a.name == b.name && a.index == b.index && a.value == b.value;
}
inline bool ParamSet::operator==(const ParamSet& o) const {
    return items_ == o.items_;
}

// An interval of the effect in milliseconds from the start of the stream.
struct ZoneRange {
    double start = 0.0;     // finite, >= 0
    double duration = 0.0;  // finite, >= 0
};

// Parses one -p argument. On failure returns false and *error says what is wrong and at which
// character (counted from 1) of text; *errorAt, when given, receives that position from 0.
bool ParseParam(std::string_view text, Param* out, std::string* error, size_t* errorAt = nullptr);

// What to tell the user of the values of set after the effect `who` ran, from what it asked of
// its parameter object: "who never read KEY" for a value nothing asked for, "who read KEY as a
// number; 'loud' is text" for one asked for only as a type that it cannot give. A list that was
// read is checked entry by entry (LIST[i].KEY). Empty when every value was read.
std::vector<std::string> UnreadParamWarnings(const std::string& who, const ParamSet& set,
                                             const host::ParamReads& reads);

// text as a message echoes it: whole up to kExcerptChars characters; a longer text is cut to its
// start and, when at lies further in, the part around position at, with its length in
// characters ("abc... (120000 characters)"). Cuts fall between UTF-8 sequences.
constexpr size_t kExcerptChars = 60;
std::string Excerpt(std::string_view text, size_t at = std::string_view::npos);

// Parses one -z argument, START:DURATION. On failure returns false with *error.
bool ParseZone(std::string_view text, ZoneRange* out, std::string* error);

// Stores every value of set in target through its setters; a list's entries are new parameter
// objects created by CoCreateInstance(CLSID_EffectParams) and appended with AddZone, so the host
// classes must be registered. Arrays are stored as their native bytes. On failure returns the
// setter's HRESULT and *failedKey names the key (an entry's key as LIST[i].KEY).
HRESULT ApplyParams(const ParamSet& set, IEffectParams* target, std::string* failedKey);

}  // namespace corvane::fx
