// Bit-reversal permutations of slots 0 and 2 by the pair-format table. A pair (i, j) of the
// table settles the eight values whose middle bits are i or j (lowest and highest bit swapped),
// a fixed point, i = 0 first, the four values of one middle index. Values move as raw bits, never
// through floating point, so every payload survives: 32-bit words in slot 0, 64-bit in slot 2.
#include "dsp/fft/builders.h"
#include "dsp/fft/pair_permute.h"
#include "dsp/slot.h"

#include <string.h>

#include <type_traits>

namespace {

using Word = std::conditional_t<DSP_SLOT == 0, uint32_t, uint64_t>;
using Value = PairValue<Word>;

inline Value load(const double* base, int64_t index) {
    return pairLoad<Word>(base, index);
}
inline void store(double* base, int64_t index, const Value& v) {
    pairStore<Word>(base, index, v);
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspBitReversePermute)(const double* src, double* dst, int n,
                                                  const int32_t* table) {
    if (n < 8) {
        store(dst, 0, load(src, 0));
        store(dst, n - 1, load(src, n - 1));
        if (n > 2) {
            store(dst, 2, load(src, 1));
            store(dst, 1, load(src, 2));
        }
        return;
    }
    const int64_t h = n / 2;
    const int32_t* t = table;
    for (; t[0] > 0; t += 2) {
        const int64_t e = t[0] >> 1, f = t[1] >> 1;
        store(dst, f, load(src, e));
        store(dst, f + 1, load(src, h + e));
        store(dst, e, load(src, f));
        store(dst, e + 1, load(src, h + f));
        store(dst, h + f, load(src, e + 1));
        store(dst, h + f + 1, load(src, h + e + 1));
        store(dst, h + e, load(src, f + 1));
        store(dst, h + e + 1, load(src, h + f + 1));
    }
    forEachFixedPoint(t, [&](int64_t e) {
        store(dst, e, load(src, e));
        store(dst, e + 1, load(src, h + e));
        store(dst, h + e, load(src, e + 1));
        store(dst, h + e + 1, load(src, h + e + 1));
    });
}

void DSP_CALL DSP_SLOT_NAME(dspBitReversePermuteInPlace)(double* data, int n,
                                                         const int32_t* table) {
    pairPermuteInPlace<Word>(data, n, table);
}

}  // extern "C"
