// Typed parameter values by key and index: the storage behind the host's parameter object.
// Plain C++ value type: copying a store copies every value and every nested list entry (a deep
// copy), which is what IEffectParams::Duplicate hands out.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace corvane::host {

class ParamStore;

// One value. The alternatives are the types a host hands to an effect: an array is kept as its
// raw bytes (32-bit floats or 64-bit doubles in native order, as the reader expects them); a list
// holds entries that are parameter sets themselves (e.g. the entries of "StrengthZone").
using ParamBytes = std::vector<BYTE>;
using ParamValue =
    std::variant<bool, int32_t, uint32_t, double, OleString, ParamBytes, std::vector<ParamStore>>;

// Index of the value that holds for the whole stream. Indices 0 and up are per-item values
// (e.g. per channel); a lookup at such an index falls back to the global value when the key has
// no value at that index.
inline constexpr LONG kGlobalIndex = -1;

class ParamStore {
public:
    // Stores v under (name, index), replacing what was there (of any type). index must be
    // kGlobalIndex or 0 and up; returns false for any other index or an empty name.
    bool Set(OleStringView name, LONG index, ParamValue v);
    // Removes the value at exactly (name, index); false when there was none.
    bool Remove(OleStringView name, LONG index);
    // Removes the values of name at every index; false when there was none.
    bool RemoveName(OleStringView name);
    // The distinct key names, in ascending order of their UTF-16 code units.
    std::vector<OleString> Names() const;
    void Clear() { values_.clear(); }

    // The value at (name, index), else for index >= 0 the global value, else nullptr. The pointer
    // stays valid until the store is changed. *served, when given, receives the index of the
    // value found (index or kGlobalIndex).
    const ParamValue* Find(OleStringView name, LONG index, LONG* served = nullptr) const;

    // The list under (name, global index); appends a new empty entry and returns it. A value of
    // another type under that key is replaced by a list. The reference is valid until the store
    // is changed.
    ParamStore& AddEntry(OleStringView name);
    // Entry i of the list under (name, global index), or nullptr.
    const ParamStore* Entry(OleStringView name, LONG i) const;
    ParamStore* Entry(OleStringView name, LONG i);

    size_t Size() const { return values_.size(); }
    bool operator==(const ParamStore& o) const { return values_ == o.values_; }
    bool operator!=(const ParamStore& o) const { return !(*this == o); }

private:
    using Key = std::pair<OleString, LONG>;
    std::map<Key, ParamValue, std::less<>> values_;
};

// Conversions a getter allows. Integers convert to each other when the value fits and widen to
// double exactly; nothing converts to or from bool, strings, arrays or lists. Each returns false
// (and leaves *out unchanged) on a type mismatch.
bool ConvertToLong(const ParamValue& v, LONG* out);
bool ConvertToULong(const ParamValue& v, ULONG* out);
bool ConvertToDouble(const ParamValue& v, double* out);

// Array values from typed data, kept as raw bytes.
ParamBytes FloatArray(const float* values, size_t count);
ParamBytes DoubleArray(const double* values, size_t count);

}  // namespace corvane::host
