#include "effects/common/DelayLine.h"

#include "platform/exceptions.h"

#include <cmath>
#include <new>

namespace corvane {

int64_t LineLength(double samples) {
    // Beyond 2^62 no line exists; the bound keeps the conversion defined.
    if (!(samples >= 0.0)) return std::isnan(samples) ? kUnmakeableLine : 0;
    if (!(samples < 4611686018427387904.0)) return kUnmakeableLine;
    return static_cast<int64_t>(samples);
}

void MakeDelayLine(std::vector<double>& line, int64_t samples, int spare) {
    std::vector<double>().swap(line);
    const int64_t limit = kMaxDelayLineBytes / static_cast<int64_t>(sizeof(double));
    if (samples < 0 || spare < 0 || samples > limit - spare) ThrowHr(E_OUTOFMEMORY);
    try {
        line.assign(static_cast<size_t>(samples + spare), 0.0);
    } catch (const std::bad_alloc&) {
        ThrowHr(E_OUTOFMEMORY);
    }
}

}  // namespace corvane
