// The keys an effect reads, as a table: each row names the key, how the host holds it, the value
// the effect starts from, the range it accepts, what the effect keeps of it and the field that
// keeps it. One reader applies one rule to every row: a value that cannot be read, lies outside
// its range (NaN always does) or that its field cannot hold (a float beyond FLT_MAX) leaves the
// field as it was, the previous or default value; an array or list with one such entry is refused
// whole. The same rows describe the keys to the tests and to the user's documentation
// (effects/EffectKeys.h).
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <variant>
#include <vector>

// How the host holds the key's value.
enum class ParamType {
    Long,
    ULong,
    Double,
    Bool,
    DoubleArray,  // the bytes of an array value, 8 per double
    FloatArray,   // the bytes of an array value, 4 per float
    LongList,     // a list: its entry count, then entry i as an integer that defaults to i
};

// What the effect keeps of an accepted value.
enum class ParamScale {
    AsIs,
    Percent,   // 0 to 100 kept as the fraction v / 100
    Degrees,   // kept as radians with the whole turns dropped, so that any phase stays a phase
    Decibels,  // kept as the factor 10^(v / 20)
};

struct ParamSpec {
    LPCOLESTR key;
    ParamType type;
    // The value before the key is read, in the key's units; NaN for none (a double field then
    // says that the key was not given, an array or list stays empty).
    double def;
    // The accepted values, lo .. hi. -inf .. +inf takes anything, NaN included, for the few keys
    // whose users have always had it so, unless refusesNaN.
    double lo;
    double hi;
    ParamScale scale;
    // A level: this key in decibels is read first, and where it gives a number its factor stands
    // for the key's value.
    LPCOLESTR twin = nullptr;
    // One key per number n from 0: the name followed by n's decimal digits ("AudioOffset0").
    bool numbered = false;
    bool powerOfTwo = false;  // only the powers of two in lo .. hi
    bool aboveLo = false;     // lo itself is refused
    bool refusesNaN = false;  // -inf .. +inf, NaN refused
    // The key whose value the row's range or default follow (the row's bind says how); lo, hi
    // and def then describe the widest range and the default at that key's default.
    LPCOLESTR boundBy = nullptr;

    bool TakesAnything() const { return lo == -kInf && hi == kInf && !refusesNaN; }

    static constexpr double kInf = std::numeric_limits<double>::infinity();
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
};

// The usual rows: an integer in lo .. hi, a double in lo .. hi (finite by default), a percentage,
// degrees of any finite size, a boolean.
constexpr ParamSpec LongKey(LPCOLESTR key, double def, double lo = INT32_MIN, double hi = INT32_MAX,
                            ParamScale scale = ParamScale::AsIs) {
    return {key, ParamType::Long, def, lo, hi, scale};
}
constexpr ParamSpec DoubleKey(LPCOLESTR key, double def, double lo = -DBL_MAX,
                              double hi = DBL_MAX) {
    return {key, ParamType::Double, def, lo, hi, ParamScale::AsIs};
}
constexpr ParamSpec PercentKey(LPCOLESTR key, double def) {
    return {key, ParamType::Double, def, 0.0, 100.0, ParamScale::Percent};
}
constexpr ParamSpec DegreesKey(LPCOLESTR key, double def) {
    return {key, ParamType::Double, def, -DBL_MAX, DBL_MAX, ParamScale::Degrees};
}
constexpr ParamSpec BoolKey(LPCOLESTR key, bool def) {
    return {key, ParamType::Bool, def ? 1.0 : 0.0, 0.0, 1.0, ParamScale::AsIs};
}
// Any unsigned 32-bit value.
constexpr ParamSpec ULongKey(LPCOLESTR key, double def) {
    return {key, ParamType::ULong, def, 0.0, UINT32_MAX, ParamScale::AsIs};
}
// s with NaN refused where its range -inf .. +inf would take it.
constexpr ParamSpec NotNaN(ParamSpec s) {
    s.refusesNaN = true;
    return s;
}
// Any number but NaN, the infinities included.
constexpr ParamSpec NumberKey(LPCOLESTR key, double def) {
    return NotNaN(
        {key, ParamType::Double, def, -ParamSpec::kInf, ParamSpec::kInf, ParamScale::AsIs});
}
// A level as a factor (any number but NaN), or in decibels under the twin key, which wins.
constexpr ParamSpec LevelKey(LPCOLESTR decibelKey, LPCOLESTR factorKey, double def) {
    ParamSpec s = NumberKey(factorKey, def);
    s.twin = decibelKey;
    return s;
}
// An array value, each entry in lo .. hi; without a default.
constexpr ParamSpec ArrayKey(LPCOLESTR key, ParamType type, double lo = -DBL_MAX,
                             double hi = DBL_MAX, ParamScale scale = ParamScale::AsIs) {
    return {key, type, ParamSpec::kNone, lo, hi, scale};
}
constexpr ParamSpec Numbered(ParamSpec s) {
    s.numbered = true;
    return s;
}
constexpr ParamSpec PowerOfTwo(ParamSpec s) {
    s.powerOfTwo = true;
    return s;
}
constexpr ParamSpec AboveLo(ParamSpec s) {
    s.aboveLo = true;
    return s;
}
constexpr ParamSpec BoundBy(ParamSpec s, LPCOLESTR key) {
    s.boundBy = key;
    return s;
}

// Where keys are read: the parameter object of a channel filter's engine, or a parameter object
// itself (an engine's own, a zone's); every row is read alike from either. Held for one read:
// the engine's object is taken when the source is made.
class ParamSource {
public:
    // Not explicit: the readers take the engine or the parameter object itself.
    ParamSource(const CBaseFilter* owner) : m_params(owner ? owner->ParamObject() : nullptr) {}
    ParamSource(IEffectParams* params) : m_params(params) {}

    IEffectParams* Params() const { return m_params; }  // nullable; not owned

private:
    IEffectParams* m_params;
};

// v as the row's field keeps it.
double KeptValue(const ParamSpec& spec, double v);

// Whether v is one of the values the row accepts.
bool Accepts(const ParamSpec& spec, double v);

// The key's value (key `number` of a numbered key) as the effect keeps it into *kept, or false
// (*kept untouched) where it cannot be read or is refused. single: the field holds single
// precision. Throws E_OUTOFMEMORY when a key name cannot be allocated.
bool ReadParamValue(const ParamSource& src, const ParamSpec& spec, double* kept,
                    bool single = false, LONG number = -1);

// The entries of an array or list row as the effect keeps them, or false (*kept untouched).
bool ReadParamEntries(const ParamSource& src, const ParamSpec& spec, std::vector<double>* kept,
                      bool single);

// A row of an effect's table: the key and the member of T that keeps it.
template <class T>
struct ParamRow {
    ParamSpec spec;
    std::variant<int32_t T::*, uint32_t T::*, float T::*, double T::*, bool T::*,
                 std::vector<double> T::*, std::vector<float> T::*, std::vector<int32_t> T::*>
        field;
    // For a row bound by another key: narrows the range or sets the default from the fields read
    // before this row.
    void (*bind)(const T& target, ParamSpec* spec) = nullptr;

    ParamSpec Bound(const T& target) const {
        ParamSpec s = spec;
        if (bind) bind(target, &s);
        return s;
    }
};

template <class T>
using ParamTable = std::vector<ParamRow<T>>;

template <class F>
struct IsVectorField : std::false_type {};
template <class E>
struct IsVectorField<std::vector<E>> : std::true_type {};

// Reads one row (key `number` of a numbered row) into target's field; false where the field kept
// its value.
template <class T>
bool ReadParam(const ParamSource& src, T* target, const ParamRow<T>& row, LONG number = -1) {
    const ParamSpec spec = row.Bound(*target);
    return std::visit(
        [&](auto member) {
            using Field = std::remove_reference_t<decltype(target->*member)>;
            if constexpr (IsVectorField<Field>::value) {
                using Entry = typename Field::value_type;
                std::vector<double> kept;
                if (!ReadParamEntries(src, spec, &kept, std::is_same_v<Entry, float>)) return false;
                Field& entries = target->*member;
                entries.resize(kept.size());
                for (size_t i = 0; i < kept.size(); ++i) entries[i] = static_cast<Entry>(kept[i]);
            } else {
                double kept = 0.0;
                if (!ReadParamValue(src, spec, &kept, std::is_same_v<Field, float>, number)) {
                    return false;
                }
                target->*member = static_cast<Field>(kept);
            }
            return true;
        },
        row.field);
}

// Sets the field of one row to its default: none empties an array; an integer or boolean field
// has a default always.
template <class T>
void ResetParam(T* target, const ParamRow<T>& row) {
    const ParamSpec spec = row.Bound(*target);
    std::visit(
        [&](auto member) {
            using Field = std::remove_reference_t<decltype(target->*member)>;
            if constexpr (IsVectorField<Field>::value) {
                (target->*member).clear();
            } else if (std::is_floating_point_v<Field> || !std::isnan(spec.def)) {
                target->*member = static_cast<Field>(KeptValue(spec, spec.def));
            }
        },
        row.field);
}

// Reads the rows first .. last (the whole table without them).
template <class T>
void ReadParams(const ParamSource& src, T* target, const ParamTable<T>& rows, size_t first = 0,
                size_t last = SIZE_MAX) {
    for (size_t i = first; i < rows.size() && i < last; ++i) ReadParam(src, target, rows[i]);
}

// Sets the fields of the rows first .. last to their defaults.
template <class T>
void ResetParams(T* target, const ParamTable<T>& rows, size_t first = 0, size_t last = SIZE_MAX) {
    for (size_t i = first; i < rows.size() && i < last; ++i) ResetParam(target, rows[i]);
}

// Resets and reads row after row, so that a row bound by another key starts from the default
// that the value just read gives it.
template <class T>
void ResetAndReadParams(const ParamSource& src, T* target, const ParamTable<T>& rows) {
    for (const ParamRow<T>& row : rows) {
        ResetParam(target, row);
        ReadParam(src, target, row);
    }
}

// The descriptions of a table's keys, each range narrowed to what its field holds.
template <class T>
std::vector<ParamSpec> KeysOf(const ParamTable<T>& rows) {
    std::vector<ParamSpec> keys;
    for (const ParamRow<T>& row : rows) {
        ParamSpec spec = row.spec;
        const bool single = std::holds_alternative<float T::*>(row.field) ||
                            std::holds_alternative<std::vector<float> T::*>(row.field);
        if (single && spec.scale == ParamScale::AsIs) {
            spec.lo = std::fmax(spec.lo, -FLT_MAX);
            spec.hi = std::fmin(spec.hi, FLT_MAX);
        }
        keys.push_back(spec);
    }
    return keys;
}
