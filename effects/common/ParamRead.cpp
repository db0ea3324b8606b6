#include "effects/common/ParamRead.h"

#include <cmath>

double KeptValue(const ParamSpec& spec, double v) {
    switch (spec.scale) {
        case ParamScale::Percent:
            return v / 100.0;
        case ParamScale::Degrees:
            return std::fmod(v, 360.0) * 6.283185307179586 / 360.0;
        case ParamScale::AsIs:
            break;
    }
    return v;
}

bool ReadParamValue(const CBaseFilter* owner, const ParamSpec& spec, double* kept, bool single) {
    double value = 0.0;
    switch (spec.type) {
        case ParamType::Long: {
            LONG l = 0;
            if (FAILED(owner->GetParamLong(spec.key, &l))) return false;
            value = l;
            break;
        }
        case ParamType::Double:
            if (FAILED(owner->GetParamDouble(spec.key, &value))) return false;
            break;
        case ParamType::Bool: {
            VARIANT_BOOL b = 0;
            if (FAILED(owner->GetParamBool(spec.key, &b))) return false;
            value = b != 0 ? 1.0 : 0.0;
            break;
        }
    }
    if (!spec.TakesAnything() && !(value >= spec.lo && value <= spec.hi)) return false;
    const double k = KeptValue(spec, value);
    if (single && std::fabs(k) > FLT_MAX) return false;
    *kept = k;
    return true;
}
