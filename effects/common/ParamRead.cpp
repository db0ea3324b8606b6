#include "effects/common/ParamRead.h"

#include "framework/BaseChannelFilter.h"
#include "framework/BaseFilterSupport.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

// The name of key `number` of a numbered key: the name followed by the number's decimal digits.
corvane::OleString NumberedKey(LPCOLESTR key, LONG number) {
    corvane::OleString digits;
    do {
        digits.insert(digits.begin(), static_cast<OLECHAR>(OLESTR('0') + number % 10));
        number /= 10;
    } while (number > 0);
    return corvane::OleString(key) + digits;
}

// The raw value of a scalar key as a double; false where it cannot be read.
bool ReadRaw(const ParamSource& src, ParamType type, LPCOLESTR key, double* value) {
    switch (type) {
        case ParamType::Long: {
            LONG l = 0;
            if (FAILED(corvane::ParamLong(src.Params(), key, &l))) return false;
            *value = l;
            return true;
        }
        case ParamType::ULong: {
            ULONG u = 0;
            if (FAILED(corvane::ParamULong(src.Params(), key, &u))) return false;
            *value = u;
            return true;
        }
        case ParamType::Double:
            return SUCCEEDED(corvane::ParamDouble(src.Params(), key, value));
        case ParamType::Bool: {
            VARIANT_BOOL b = 0;
            if (FAILED(corvane::ParamBool(src.Params(), key, &b))) return false;
            *value = b != 0 ? 1.0 : 0.0;
            return true;
        }
        default:
            return false;
    }
}

// v, accepted, as the field keeps it; false where the field cannot hold it.
bool Keep(const ParamSpec& spec, double v, bool single, double* kept) {
    if (!Accepts(spec, v)) return false;
    const double k = KeptValue(spec, v);
    if (single && std::fabs(k) > FLT_MAX) return false;
    *kept = k;
    return true;
}

// The values of an array key, 8 or 4 bytes each (trailing bytes of a partial entry are dropped).
bool ReadArray(const ParamSource& src, const ParamSpec& spec, std::vector<double>* values) {
    corvane::ComPtr<IStream> stream;
    if (FAILED(corvane::ParamStream(src.Params(), spec.key, stream.Put())) || !stream) return false;
    void* buffer = nullptr;
    const UINT64 size = CBaseChannelFilter::GetStreamSize(stream.Get());
    if (FAILED(CBaseChannelFilter::ReadStreamToBuffer(stream.Get(), &buffer))) return false;
    const std::unique_ptr<void, void (*)(void*)> owned(
        buffer, [](void* p) { HeapFree(GetProcessHeap(), 0, p); });
    const bool doubles = spec.type == ParamType::DoubleArray;
    const size_t width = doubles ? sizeof(double) : sizeof(float);
    values->resize(static_cast<size_t>(size / width));
    const BYTE* bytes = static_cast<const BYTE*>(buffer);
    for (size_t i = 0; i < values->size(); ++i) {
        if (doubles) {
            std::memcpy(&(*values)[i], bytes + i * width, width);
        } else {
            float f = 0.0f;
            std::memcpy(&f, bytes + i * width, width);
            (*values)[i] = f;
        }
    }
    return true;
}

// The entries of a list key: its count (above 0), then entry i as an integer, i where it cannot
// be read.
bool ReadList(const ParamSource& src, const ParamSpec& spec, std::vector<double>* values) {
    LONG count = 0;
    if (FAILED(corvane::ParamCount(src.Params(), spec.key, &count)) || count <= 0) return false;
    values->resize(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) {
        LONG entry = i;
        corvane::ParamLongDef(src.Params(), spec.key, i, &entry, i);
        (*values)[static_cast<size_t>(i)] = entry;
    }
    return true;
}

}  // namespace

double KeptValue(const ParamSpec& spec, double v) {
    switch (spec.scale) {
        case ParamScale::Percent:
            return v / 100.0;
        case ParamScale::Degrees:
            return std::fmod(v, 360.0) * 6.283185307179586 / 360.0;
        case ParamScale::Decibels:
            return std::pow(10.0, v / 20.0);
        case ParamScale::AsIs:
            break;
    }
    return v;
}

bool Accepts(const ParamSpec& spec, double v) {
    if (spec.TakesAnything()) return true;
    if (!(v >= spec.lo && v <= spec.hi) || (spec.aboveLo && v == spec.lo)) return false;
    if (spec.powerOfTwo) {
        const auto n = static_cast<int64_t>(v);
        if (n != v || n < 1 || (n & (n - 1)) != 0) return false;
    }
    return true;
}

bool ReadParamValue(const ParamSource& src, const ParamSpec& spec, double* kept, bool single,
                    LONG number) {
    corvane::OleString key, twin;
    if (spec.numbered) {
        key = NumberedKey(spec.key, number);
        if (spec.twin) twin = NumberedKey(spec.twin, number);
    } else {
        key = spec.key;
        if (spec.twin) twin = spec.twin;
    }
    double value = 0.0;
    // The level in decibels, where it gives a number, is the one that counts.
    if (spec.twin && ReadRaw(src, spec.type, twin.c_str(), &value) && !std::isnan(value)) {
        return Keep(spec, std::pow(10.0, value / 20.0), single, kept);
    }
    return ReadRaw(src, spec.type, key.c_str(), &value) && Keep(spec, value, single, kept);
}

bool ReadParamEntries(const ParamSource& src, const ParamSpec& spec, std::vector<double>* kept,
                      bool single) {
    std::vector<double> values;
    const bool read = spec.type == ParamType::LongList ? ReadList(src, spec, &values)
                                                       : ReadArray(src, spec, &values);
    if (!read) return false;
    for (double& v : values) {
        if (!Keep(spec, v, single, &v)) return false;
    }
    *kept = std::move(values);
    return true;
}
