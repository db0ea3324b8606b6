// The keys an effect reads, as a table: each row names the key, how the host holds it, the value
// the effect starts from, the range it accepts, what the effect keeps of it and the field that
// keeps it. One reader applies one rule to every row: a value that cannot be read, lies outside
// its range (NaN always does) or that its field cannot hold (a float beyond FLT_MAX) leaves the
// field as it was, the previous or default value. The same rows describe the keys to the tests
// and to the user's documentation (effects/EffectKeys.h).
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
enum class ParamType { Long, Double, Bool };

// What the effect keeps of an accepted value.
enum class ParamScale {
    AsIs,
    Percent,  // 0 to 100 kept as the fraction v / 100
    Degrees,  // kept as radians with the whole turns dropped, so that any phase stays a phase
};

struct ParamSpec {
    LPCOLESTR key;
    ParamType type;
    double def;  // the value before the key is read, in the key's units
    // The accepted values, lo .. hi. -inf .. +inf takes anything, NaN included, for the few keys
    // whose users have always had it so.
    double lo;
    double hi;
    ParamScale scale;

    bool TakesAnything() const { return lo == -kInf && hi == kInf; }

    static constexpr double kInf = std::numeric_limits<double>::infinity();
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

// v as the row's field keeps it.
double KeptValue(const ParamSpec& spec, double v);

// The key's value as the effect keeps it into *kept, or false (*kept untouched) where it cannot be
// read or is refused. single: the field holds single precision.
bool ReadParamValue(const CBaseFilter* owner, const ParamSpec& spec, double* kept,
                    bool single = false);

// A row of an effect's table: the key and the member of T that keeps it.
template <class T>
struct ParamRow {
    ParamSpec spec;
    std::variant<int32_t T::*, float T::*, double T::*, bool T::*> field;
};

template <class T>
using ParamTable = std::vector<ParamRow<T>>;

// Reads one row into target's field; false where the field kept its value.
template <class T>
bool ReadParam(const CBaseFilter* owner, T* target, const ParamRow<T>& row) {
    return std::visit(
        [&](auto member) {
            using Field = std::remove_reference_t<decltype(target->*member)>;
            double kept = 0.0;
            if (!ReadParamValue(owner, row.spec, &kept, std::is_same_v<Field, float>)) return false;
            target->*member = static_cast<Field>(kept);
            return true;
        },
        row.field);
}

// Reads the rows first .. last (the whole table without them).
template <class T>
void ReadParams(const CBaseFilter* owner, T* target, const ParamTable<T>& rows, size_t first = 0,
                size_t last = SIZE_MAX) {
    for (size_t i = first; i < rows.size() && i < last; ++i) ReadParam(owner, target, rows[i]);
}

// Sets the fields of the rows first .. last to their defaults.
template <class T>
void ResetParams(T* target, const ParamTable<T>& rows, size_t first = 0, size_t last = SIZE_MAX) {
    for (size_t i = first; i < rows.size() && i < last; ++i) {
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(target->*member)>;
                target->*member = static_cast<Field>(KeptValue(rows[i].spec, rows[i].spec.def));
            },
            rows[i].field);
    }
}

// The descriptions of a table's keys, each range narrowed to what its field holds.
template <class T>
std::vector<ParamSpec> KeysOf(const ParamTable<T>& rows) {
    std::vector<ParamSpec> keys;
    for (const ParamRow<T>& row : rows) {
        ParamSpec spec = row.spec;
        if (std::holds_alternative<float T::*>(row.field) && spec.scale == ParamScale::AsIs) {
            spec.lo = std::fmax(spec.lo, -FLT_MAX);
            spec.hi = std::fmin(spec.hi, FLT_MAX);
        }
        keys.push_back(spec);
    }
    return keys;
}
