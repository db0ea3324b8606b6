// The reads of an effect's own keys, one per rule a key's value must meet. Each reads the key
// (index -1) from the engine's parameters and stores it only when it can be read and meets the
// rule (NaN never does); otherwise the target keeps the value it had, the previous or default
// one, and the read answers false. A value that its field cannot hold (a float beyond FLT_MAX) is
// refused like one outside its range.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

// A double in lo .. hi.
inline bool ReadParamIn(const CBaseFilter* owner, LPCOLESTR key, double lo, double hi, double* v) {
    double value = 0.0;
    if (FAILED(owner->GetParamDouble(key, &value)) || !(value >= lo && value <= hi)) return false;
    *v = value;
    return true;
}

// Any finite double.
inline bool ReadFiniteParam(const CBaseFilter* owner, LPCOLESTR key, double* v) {
    return ReadParamIn(owner, key, -std::numeric_limits<double>::max(),
                       std::numeric_limits<double>::max(), v);
}

// A double in lo .. hi, kept in single precision (so never beyond +-FLT_MAX).
inline bool ReadFloatIn(const CBaseFilter* owner, LPCOLESTR key, double lo, double hi, float* v) {
    double value = 0.0;
    if (!ReadParamIn(owner, key, std::fmax(lo, -FLT_MAX), std::fmin(hi, FLT_MAX), &value)) {
        return false;
    }
    *v = static_cast<float>(value);
    return true;
}

// A percentage 0 .. 100, kept as the fraction v / 100 in single precision.
inline bool ReadPercent(const CBaseFilter* owner, LPCOLESTR key, float* fraction) {
    double value = 0.0;
    if (!ReadParamIn(owner, key, 0.0, 100.0, &value)) return false;
    *fraction = static_cast<float>(value / 100.0);
    return true;
}

// Degrees of any finite size, kept as radians in single precision with the whole turns dropped,
// so that a phase of any size stays a phase.
inline bool ReadDegrees(const CBaseFilter* owner, LPCOLESTR key, float* radians) {
    double value = 0.0;
    if (!ReadFiniteParam(owner, key, &value)) return false;
    *radians = static_cast<float>(std::fmod(value, 360.0) * 6.283185307179586 / 360.0);
    return true;
}

// A 32-bit integer in lo .. hi.
inline bool ReadLongIn(const CBaseFilter* owner, LPCOLESTR key, int32_t lo, int32_t hi,
                       int32_t* v) {
    LONG value = 0;
    if (FAILED(owner->GetParamLong(key, &value)) || value < lo || value > hi) return false;
    *v = static_cast<int32_t>(value);
    return true;
}
