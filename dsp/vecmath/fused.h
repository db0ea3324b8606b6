// The multiply-add of the vector-math kernels: slot 5 asks for the fused form (one rounding) by
// calling vfma; every other slot rounds the product and the sum. A kernel writes madd only where
// its method allows either; everywhere else it writes a * b + c.
#pragma once

#include "dsp/vec.h"

namespace {

#if DSP_SLOT == 5
constexpr bool kFusedSlot = true;
inline V madd(V a, V b, V c) {
    return vfma(a, b, c);
}
#else
constexpr bool kFusedSlot = false;
inline V madd(V a, V b, V c) {
    return a * b + c;
}
#endif

}  // namespace
