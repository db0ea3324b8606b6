// Bit-reversal permutations of slots 0 and 2 by the pair-format table. A pair (i, j) of the
// table settles the eight values whose middle bits are i or j (lowest and highest bit swapped),
// a fixed point, i = 0 first, the four values of one middle index. Values move as raw bits, never
// through floating point, so every payload survives: 32-bit words in slot 0, 64-bit in slot 2.
#include "dsp/fft/builders.h"
#include "dsp/slot.h"

#include <string.h>

#include <type_traits>

namespace {

using Word = std::conditional_t<DSP_SLOT == 0, uint32_t, uint64_t>;
constexpr int kWords = 16 / sizeof(Word);

// One complex value (16 bytes) as raw words.
struct Value {
    Word w[kWords];
};

inline Value load(const double* base, int64_t index) {
    Value v;
    memcpy(v.w, base + 2 * index, sizeof v.w);
    return v;
}
inline void store(double* base, int64_t index, const Value& v) {
    memcpy(base + 2 * index, v.w, sizeof v.w);
}
inline void exchange(double* base, int64_t a, int64_t b) {
    const Value x = load(base, a), y = load(base, b);
    store(base, a, y);
    store(base, b, x);
}

// The fixed points after the pairs: the 0 word that ends the pairs stands for i = 0, then the
// words up to the next 0.
template <typename Fn>
void forEachFixedPoint(const int32_t* t, Fn fn) {
    fn(0);
    for (++t; *t != 0; ++t) fn(int64_t(*t >> 1));
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
    if (n < 4) return;
    const int64_t h = n / 2;
    const int32_t* t = table;
    for (; t[0] > 0; t += 2) {
        const int64_t e = t[0] >> 1, f = t[1] >> 1;
        exchange(data, e, f);
        exchange(data, e + 1, h + f);
        exchange(data, h + e, f + 1);
        exchange(data, h + e + 1, h + f + 1);
    }
    forEachFixedPoint(t, [&](int64_t e) { exchange(data, e + 1, h + e); });
}

}  // extern "C"
