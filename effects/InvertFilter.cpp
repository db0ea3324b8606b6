#include "effects/InvertFilter.h"

namespace corvane {

void InvertSamples(int16_t* x, int64_t n) {
    // Eight at a time, the form a compiler turns into one saturating vector subtraction; the
    // rest one by one, with the same result.
    const auto invert = [](int16_t v) {
        return static_cast<int16_t>(v == INT16_MIN ? INT16_MAX : -v);
    };
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (int k = 0; k < 8; ++k) x[i + k] = invert(x[i + k]);
    }
    for (; i < n; ++i) x[i] = invert(x[i]);
}

}  // namespace corvane

CInvertFilter::~CInvertFilter() = default;

void CInvertFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                 LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples != nullptr) corvane::InvertSamples(samples, count);
}
