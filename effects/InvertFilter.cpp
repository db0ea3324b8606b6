#include "effects/InvertFilter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {

void InvertSamples(int16_t* x, int64_t n) {
    int64_t i = 0;
#if defined(__SSE2__)
    // Eight at a time: 0 - x with saturation is exactly this mapping.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        __m128i* at = reinterpret_cast<__m128i*>(x + i);
        _mm_storeu_si128(at, _mm_subs_epi16(zero, _mm_loadu_si128(at)));
    }
#endif
    for (; i < n; ++i) x[i] = static_cast<int16_t>(x[i] == INT16_MIN ? INT16_MAX : -x[i]);
}

}  // namespace corvane

CInvertFilter::~CInvertFilter() = default;

void CInvertFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                 LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples != nullptr) corvane::InvertSamples(samples, count);
}
