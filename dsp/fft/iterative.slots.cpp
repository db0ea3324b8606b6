// The iterative butterfly passes of slots 0 and 2: n complex values in bit-reversed order become
// their DFT in natural order, in place, by radix-4 decimation in time over the triple twiddle
// table (entry t = w^t, w^2t, w^3t of w = e^(-2 pi i / n), six doubles). One body serves both
// directions: the inverse multiplies by the conjugates of the same entries and turns by +i.
//
// The arithmetic is fixed operation by operation, so that slot 2 (double) and slot 0 (x87 at the
// caller's precision, on doubles in memory) give the same bits under a 53-bit control word:
//   first pass   four-point butterflies of consecutive groups, no twiddles;
//   n & 0xAAAAAAAA != 0 (not a power of 4): a radix-2 pass of span 4 with the eighth-turn factor
//                forms ((re + im) c, (im - re) c) and ((re - im)(-c), (im + re)(-c)), c and -c
//                from entry n/8; then radix-4 passes of span 8, 32, 128, 512;
//   otherwise    the span-4 pass written out from entry n/16 alone, then spans 16, 64, 256, 1024.
// A radix-4 pass multiplies the value at offset s by W2 and the one at 2s by W1 (offset s holds
// the sub-transform of the inputs congruent to 2 modulo 4). Passes run up to n = 4096.
#include "dsp/bits.h"
#include "dsp/fft/paths.h"
#include "dsp/fft/radix.h"
#include "dsp/slot.h"

namespace {

using C = Cx<FftReal>;

// Values of the caller's array, which may lie at any byte address.
DSP_FFT_INLINE C at(const double* x, int64_t k) {
    return {ld1(x + 2 * k), ld1(x + 2 * k + 1)};
}
DSP_FFT_INLINE void put(double* x, int64_t k, C v) {
    st1(x + 2 * k, static_cast<double>(v.re));
    st1(x + 2 * k + 1, static_cast<double>(v.im));
}
// The factor of a twiddle entry's pair p (0: W1, 1: W2, 2: W3).
DSP_FFT_INLINE C factorOf(const double* tw, int64_t entry, int pair) {
    return {tw[6 * entry + 2 * pair], tw[6 * entry + 2 * pair + 1]};
}

// One radix-4 butterfly at j, j + s, j + 2s, j + 3s with the factors given (b: W2, c: W1, d: W3).
template <Dir D, class Fb, class Fc, class Fd>
DSP_FFT_INLINE void butterfly(double* x, int64_t j, int64_t s, Fb b, Fc c, Fd d) {
    C x0 = at(x, j), x1 = b(at(x, j + s)), x2 = c(at(x, j + 2 * s)), x3 = d(at(x, j + 3 * s));
    radix4<D>(x0, x1, x2, x3);
    put(x, j, x0);
    put(x, j + s, x1);
    put(x, j + 2 * s, x2);
    put(x, j + 3 * s, x3);
}

const auto kNone = [](C v) { return v; };

template <Dir D>
void radix4Pass(double* x, int64_t n, int64_t s, const double* tw) {
    const int64_t step = n / (4 * s);
    for (int64_t b = 0; b < n; b += 4 * s) {
        butterfly<D>(x, b, s, kNone, kNone, kNone);
        for (int64_t j = 1; j < s; ++j) {
            const int64_t t = j * step;
            const C w1 = factorOf(tw, t, 0), w2 = factorOf(tw, t, 1), w3 = factorOf(tw, t, 2);
            butterfly<D>(
                x, b + j, s, [&](C v) { return twiddle<D>(v, w2); },
                [&](C v) { return twiddle<D>(v, w1); }, [&](C v) { return twiddle<D>(v, w3); });
        }
    }
}

template <Dir D>
void passes(double* x, int64_t n, const double* tw) {
    if (n < 4) return;
    for (int64_t g = 0; g < n; g += 4) butterfly<D>(x, g, 1, kNone, kNone, kNone);
    if (n & 0xAAAAAAAA) {
        if (n >= 8) {
            const FftReal c = tw[6 * (n / 8)], mc = tw[6 * (n / 8) + 1];
            for (int64_t g = 0; g < n; g += 8) {
                for (int q = 0; q < 4; ++q) {
                    const C a = at(x, g + q), v = at(x, g + q + 4);
                    const C b = q == 0   ? v
                                : q == 1 ? timesW8<D>(v, c)
                                : q == 2 ? rot<D>(v)
                                         : timesW8Cubed<D>(v, mc);
                    put(x, g + q, a + b);
                    put(x, g + q + 4, a - b);
                }
            }
        }
        for (int64_t s = 8; s <= 512 && 4 * s <= n; s *= 4) radix4Pass<D>(x, n, s, tw);
        return;
    }
    if (n >= 16) {
        // Span 4 from entry n/16: its first and third pairs, c and -c its third and fourth
        // doubles, and w^(9n/16) as its third pair with the parts exchanged.
        const int64_t e = n / 16;
        const C w1 = factorOf(tw, e, 0), w3 = factorOf(tw, e, 2), w9 = {w3.im, w3.re};
        const FftReal c = tw[6 * e + 2], mc = tw[6 * e + 3];
        const auto byC = [&](C v) { return timesW8<D>(v, c); };
        const auto byMinusC = [&](C v) { return timesW8Cubed<D>(v, mc); };
        for (int64_t b = 0; b < n; b += 16) {
            butterfly<D>(x, b, 4, kNone, kNone, kNone);
            butterfly<D>(
                x, b + 1, 4, byC, [&](C v) { return twiddle<D>(v, w1); },
                [&](C v) { return twiddle<D>(v, w3); });
            butterfly<D>(
                x, b + 2, 4, [](C v) { return rot<D>(v); }, byC, byMinusC);
            butterfly<D>(
                x, b + 3, 4, byMinusC, [&](C v) { return twiddle<D>(v, w3); },
                [&](C v) { return twiddle<D>(v, w9); });
        }
    }
    for (int64_t s = 16; s <= 1024 && 4 * s <= n; s *= 4) radix4Pass<D>(x, n, s, tw);
}

}  // namespace

extern "C" void DSP_CALL DSP_SLOT_NAME(dspFftButterflyPassesFwd)(double* data, int n,
                                                                 const double* twiddles) {
    passes<Dir::Fwd>(data, n, twiddles);
}

extern "C" void DSP_CALL DSP_SLOT_NAME(dspFftButterflyPassesInv)(double* data, int n,
                                                                 const double* twiddles) {
    passes<Dir::Inv>(data, n, twiddles);
}
