#include "effects/common/AudioFIRFilter.h"

#include "effects/common/FirDesign.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// A getter's answer: the value through a pointer that must not be NULL.
template <class T>
int32_t Answer(T value, T* out) {
    if (out == nullptr) return CAudioFIRFilter::kInvalidArgument;
    *out = value;
    return CAudioFIRFilter::kOk;
}

}  // namespace

CAudioFIRFilter::CAudioFIRFilter() {
    m_smooth.SetStride(1);
    m_filter.SetTapCount(kDefaultOrder);
    m_filter.ResetState();
}

CAudioFIRFilter::~CAudioFIRFilter() = default;

int32_t CAudioFIRFilter::Initialise() {
    m_dirty = true;
    if (m_bands.size() != m_gains.size() || m_bands.size() != m_weights.size()) {
        m_designCount = 0;
        return kInvalidArgument;
    }
    m_filter.ClearHistory();
    m_designCount = static_cast<int32_t>(m_bands.size());
    return kOk;
}

bool CAudioFIRFilter::CanDesign() const {
    const size_t count = static_cast<size_t>(m_designCount);
    return m_designCount > 0 && count <= m_bands.size() && count <= m_gains.size() &&
           count <= m_weights.size();
}

UINT CAudioFIRFilter::FadeSamples(LONG ms, float sampleRate, UINT limit) {
    // In single precision, as the fade times were always computed; compared before the
    // conversion, so that any time and rate give a count within the limit.
    const float samples = std::floor(static_cast<float>(ms) * sampleRate / 1000.0f);
    if (!(samples > 0.0f)) return 0;
    return samples >= static_cast<float>(limit) ? limit : static_cast<UINT>(samples);
}

int32_t CAudioFIRFilter::Process(const double* input, double* output, UINT lengthBytes, int last,
                                 int sampleRate) {
    if (input == nullptr || output == nullptr) return kInvalidArgument;
    const UINT n = lengthBytes / sizeof(double);
    const UINT bytes = n * static_cast<UINT>(sizeof(double));
    if (m_dirty && !CanDesign()) {
        // Nothing to design from: the block passes as it came, and the design waits.
        if (n > 0 && input != output) std::memmove(output, input, bytes);
        return kOk;
    }
    const float fs = static_cast<float>(sampleRate);
    if (m_dirty) {
        FirTaps taps(m_filter.TapCount());
        DesignFirFromBands(taps, m_bands.data(), m_gains.data(), m_weights.data(), m_designCount,
                           static_cast<double>(fs));
        m_filter.SetTaps(taps.taps.data(), taps.tapCount);
    }
    UINT head = 0, tail = 0;
    if (m_smoothChanges != 0) {
        const UINT limit = lengthBytes / 80;  // a tenth of the block
        if (last != 0) {
            tail = FadeSamples(m_rightFadeMs, fs, limit);
            if (tail > 0) m_smooth.StoreTail(input, bytes, tail * sizeof(double));
        }
        if (m_dirty) {
            head = FadeSamples(m_leftFadeMs, fs, limit);
            if (head > 0) m_smooth.StoreHead(input, bytes, head * sizeof(double));
        }
    }
    m_filter.ProcessBlock(input, output, static_cast<int>(n));
    if (head > 0) m_smooth.ApplyLeftEdge(output, bytes);
    if (tail > 0) m_smooth.ApplyRightEdge(output, bytes);
    m_dirty = false;
    return kOk;
}

int32_t CAudioFIRFilter::get_RightFadeTime(LONG* ms) {
    return Answer(m_rightFadeMs, ms);
}

int32_t CAudioFIRFilter::put_RightFadeTime(LONG ms) {
    m_rightFadeMs = ms;
    return kOk;
}

int32_t CAudioFIRFilter::get_LeftFadeTime(LONG* ms) {
    return Answer(m_leftFadeMs, ms);
}

int32_t CAudioFIRFilter::put_LeftFadeTime(LONG ms) {
    m_leftFadeMs = ms;
    return kOk;
}

int32_t CAudioFIRFilter::GetArray(const std::vector<float>& from, SAFEARRAY** to) {
    if (to == nullptr) return kInvalidArgument;
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(from.size()));
    if (array == nullptr) throw std::bad_alloc();
    if (!from.empty()) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return kInvalidArgument;
        }
        std::memcpy(data, from.data(), from.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    *to = array;
    return kOk;
}

int32_t CAudioFIRFilter::PutArray(SAFEARRAY* from, std::vector<float>* to) {
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0, upper = -1;
    if (from == nullptr || SafeArrayGetDim(from) != 1 || FAILED(SafeArrayGetVartype(from, &vt)) ||
        vt != VT_R4 || SafeArrayGetElemsize(from) != sizeof(float) ||
        FAILED(SafeArrayGetLBound(from, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(from, 1, &upper))) {
        return kInvalidArgument;
    }
    const int64_t count = static_cast<int64_t>(upper) - lower + 1;
    if (count < 0 || count > INT32_MAX) return kInvalidArgument;
    std::vector<float> copy(static_cast<size_t>(count));
    if (count > 0) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(from, &data))) return kInvalidArgument;
        std::memcpy(copy.data(), data, copy.size() * sizeof(float));
        SafeArrayUnaccessData(from);
    }
    to->swap(copy);
    return kOk;
}

int32_t CAudioFIRFilter::get_Bands(SAFEARRAY** bands) {
    return GetArray(m_bands, bands);
}

int32_t CAudioFIRFilter::put_Bands(SAFEARRAY* bands) {
    return PutArray(bands, &m_bands);
}

int32_t CAudioFIRFilter::get_Gains(SAFEARRAY** gains) {
    return GetArray(m_gains, gains);
}

int32_t CAudioFIRFilter::put_Gains(SAFEARRAY* gains) {
    const int32_t result = PutArray(gains, &m_gains);
    if (result == kOk) m_dirty = true;
    return result;
}

int32_t CAudioFIRFilter::get_Weights(SAFEARRAY** weights) {
    return GetArray(m_weights, weights);
}

int32_t CAudioFIRFilter::put_Weights(SAFEARRAY* weights) {
    return PutArray(weights, &m_weights);
}

int32_t CAudioFIRFilter::get_SmoothChanges(VARIANT_BOOL* on) {
    return Answer(m_smoothChanges, on);
}

int32_t CAudioFIRFilter::put_SmoothChanges(VARIANT_BOOL on) {
    m_smoothChanges = on;
    return kOk;
}

int32_t CAudioFIRFilter::get_Order(LONG* taps) {
    return Answer(static_cast<LONG>(m_filter.TapCount()), taps);
}

int32_t CAudioFIRFilter::put_Order(LONG taps) {
    m_filter.SetTapCount(std::max(taps, kMinOrder));
    m_filter.ResetState();
    // The new taps are designed at the next block; until then none would be valid.
    m_dirty = true;
    return kOk;
}
