// Vector sine and cosine kernels of the SSE and AVX slots, written once against
// the vector vocabulary (dsp/vec.h) and compiled per slot.
//
// Methods (the elements of one lane never influence another lane's value, except where a whole
// group is sent down a slow path, which then gives every lane a valid, if differently rounded,
// result):
//  - table, step pi/256 (sine and cosine of slot 1, and the large-argument path of the
//    standard-accuracy kernels): reduction by the rounding shifter below 65536.0035, by the
//    window of 1/(2 pi) above it; sin/cos of the table point plus short polynomials.
//  - table, step pi/64 (high accuracy, slots 2 to 5): the same below 90112, a one-element
//    routine above it.
//  - whole multiples of pi and one odd polynomial (standard accuracy: degree 15, pi in four
//    parts; fastest: degree 9, pi in three parts); the cosine as sin(x + pi/2) through
//    half-integer multiples of pi.
// Group sizes follow the kernels' table entries; the last n mod group elements are each run
// alone in a group padded with zeros, which take every fast path and report nothing.
#pragma once

#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/fused.h"
#include "dsp/vecmath/trig_scalar.h"
#include "dsp/vecmath/vecmath.h"

namespace {

constexpr double kBoundE = 90112.0;  // |x| at or above: the pi/64 kernels' element routine

// The low bits (mask) of each lane's bit pattern, as row indices.
inline void vrowIndex(V t, uint64_t mask, int* idx) {
    uint64_t b[kLanes];
    vlaneBits(t, b);
    for (int l = 0; l < kLanes; ++l) idx[l] = static_cast<int>(b[l] & mask);
}

// Column `col` of rows idx[0..kLanes-1] of a table of four-double rows.
inline V vgatherColumn(const double (*table)[4], const int* idx, int col) {
    double t[kLanes];
    for (int l = 0; l < kLanes; ++l) t[l] = table[idx[l]][col];
    return vloadu(t);
}

// Kernel arguments and running status of one call.
struct TrigCall {
    const double* src;
    double* dst;
    int status;
};

// Stores v as element i's result, tells the hook (status 19, the kernel's name), and returns
// what the hook left there.
inline double reportDomain(TrigCall& c, int i, double v, const char* name) {
    st1(c.dst + i, v);
    dspVecMathErrorHook(dspWarnDomain, i, c.src, c.src, c.dst, c.dst, name);
    c.status = dspWarnDomain;
    return ld1(c.dst + i);
}

// The special-value rule of an element whose exponent field is all ones.
inline double nonFiniteResult(TrigCall& c, int i, double x, const char* name) {
    if (dabs(x) == __builtin_inf()) return reportDomain(c, i, x * 0.0, name);
    return x * x;
}

// ---------------------------------------------------------------------------------------------
// Table reconstruction with step pi/256.

// f(p_j + r + rlo) for |r| <= pi/512, f the sine (dspSinTablePi256) or the cosine
// (dspCosTablePi256): as f(p) cos r + f'(p) sin r, with degree-5/6 polynomials. The rows of both
// tables hold f'(p) - c, c, f(p) and f's tail, so one reconstruction serves both.
inline V fromTable256(const double (*table)[4], V r, V rlo, const int* j) {
    const V t0 = vgatherColumn(table, j, 0), t1 = vgatherColumn(table, j, 1);
    const V t2 = vgatherColumn(table, j, 2), t3 = vgatherColumn(table, j, 3);
    const V z = r * r;
    const V sp = (madd(vset(kBS2), z, vset(kBS1)) * z) * r;
    const V cp = madd(madd(vset(kBC3), z, vset(kBC2)), z, vset(kBC1)) * z;
    const V cosp = t0 + t1;
    const V h = t2 + r * t1;
    const V g = t0 * r + h;
    const V w1 = (t2 - h) + r * t1;
    const V w2 = (h - g) + t0 * r;
    const V v = t3 + rlo * (cosp - r * t2);
    return g + ((((w1 + w2) + sp * cosp) + cp * t2) + v);
}

// Window reduction of every lane (|x| for the sine, signed x for the cosine).
template <bool kSigned>
inline void windowLanes(V x, V& r, V& rlo, int* j) {
    double xl[kLanes], rl[kLanes], ll[kLanes];
    vlanes(x, xl);
    for (int l = 0; l < kLanes; ++l) {
        if (kSigned) {
            windowReduceSigned(xl[l], j[l], rl[l], ll[l]);
        } else {
            windowReduce(xl[l], j[l], rl[l], ll[l]);
        }
    }
    r = vloadu(rl);
    rlo = vloadu(ll);
}

// sin|x| (kCosine false, x = |x|) or cos x by the pi/256 table, reduced by the shifter (kWindow
// false) or the window.
template <bool kCosine, bool kWindow>
inline V table256(V x) {
    V r, rlo;
    int j[kLanes];
    if (kWindow) {
        windowLanes<kCosine>(x, r, rlo, j);
    } else {
        const V s = x * vset(kK256) + vset(kShifter);
        const V k = s - vset(kShifter);
        vrowIndex(s, 511, j);
        const V r1 = x - k * vset(kP256a);
        r = r1 - k * vset(kP256b);
        rlo = ((r1 - r) - k * vset(kP256b)) - k * vset(kP256c);
    }
    return fromTable256(kCosine ? dspCosTablePi256 : dspSinTablePi256, r, rlo, j);
}

// ---------------------------------------------------------------------------------------------
// Table with step pi/64 (high accuracy; |x| < 90112).

// f(p_j + r + t) from the columns of row j of dspSinTablePi64 (f the sine) or dspCosTablePi64
// (the cosine), as f(p) cos r + f'(p) sin r. The rows of both tables hold f'(p) - c, f(p), f's
// tail and c, so one reconstruction serves both.
inline __attribute__((always_inline)) V fromColumns64(V r, V t, V r0, V rs, V rt, V rc) {
    const V z = r * r;
    const V sp = (madd(madd(vset(kTS3), z, vset(kTS2)), z, vset(kTS1)) * z) * r;
    const V cp = madd(madd(vset(kTC3), z, vset(kTC2)), z, vset(kTC1)) * z;
    const V cosp = r0 + rc;
    const V h = rs + rc * r;
    const V g = r0 * r + h;
    const V w1 = rc * r + (rs - h);
    const V w2 = r0 * r + (h - g);
    const V v = t * (cosp - rs * r);
    return g + ((((w1 + (v + rt)) + w2) + sp * cosp) + cp * rs);
}

// sin|x| (kCosine false, x = |x|) or cos x by the pi/64 table.
template <bool kCosine>
inline V table64(V x) {
    const double(*table)[4] = kCosine ? dspCosTablePi64 : dspSinTablePi64;
    const V s = x * vset(kK64) + vset(kShifter);
    const V k = s - vset(kShifter);
    int j[kLanes];
    vrowIndex(s, 127, j);
    const V r1 = x - k * vset(kP64a);
    const V r = r1 - k * vset(kP64b);
    const V t = ((r1 - r) - k * vset(kP64b)) - k * vset(kP64c);
    return fromColumns64(r, t, vgatherColumn(table, j, 0), vgatherColumn(table, j, 1),
                         vgatherColumn(table, j, 2), vgatherColumn(table, j, 3));
}

// ---------------------------------------------------------------------------------------------
// Whole multiples of pi and one odd polynomial.

// r + (z * P(z)) * r, P of degree 4 (fastest) or 7 (standard) in z = r*r.
template <bool kStandard, bool kCosine>
inline V oddPolynomial(V r) {
    const V z = r * r;
    V p;
    if (kStandard) {
        if (kCosine) {
            p = madd(
                madd(madd(madd(madd(madd(vset(kCc7), z, vset(kCc6)), z, vset(kCc5)), z, vset(kCc4)),
                          z, vset(kCc3)),
                     z, vset(kCc2)),
                z, vset(kCc1));
        } else {
            p = madd(
                madd(madd(madd(madd(madd(vset(kDc7), z, vset(kDc6)), z, vset(kDc5)), z, vset(kDc4)),
                          z, vset(kDc3)),
                     z, vset(kDc2)),
                z, vset(kDc1));
        }
    } else {
        p = madd(madd(madd(vset(kCA4), z, vset(kCA3)), z, vset(kCA2)), z, vset(kCA1));
    }
    return madd(p * z, r, r);
}

// sin|x| for |x| <= 2^24 (lanes beyond it get meaningless values).
template <bool kStandard>
inline V sinMultiplesOfPi(V ax) {
    const V s = ax * vset(kInvPi) + vset(kShifter);
    const V k = s - vset(kShifter);
    V r = (ax - k * vset(kQ1)) - k * vset(kQ2);
    if (kStandard) {
        r = (r - k * vset(kD3)) - k * vset(kD4);
    } else {
        r = r - k * vset(kQ3);
    }
    return oddPolynomial<kStandard, false>(vxor(r, vlowBitToSign(s)));
}

// cos x = sin(|x| + pi/2) through half-integer multiples of pi, for |x| + pi/2 <= 2^23. The
// cosine is even, and reducing |x| keeps cos(-x) and cos(x) the same bits: x + pi/2 and
// -x + pi/2 round differently and can pick neighbouring multiples of pi next to a multiple of pi.
template <bool kStandard>
inline V cosShiftedSine(V xs) {
    const V x = vabs(xs);
    const V u = x + vset(kPiOver2);
    const V t = u * vset(kInvPi) + vset(kShifter);
    const V nn = (t - vset(kShifter)) - vset(kHalf);
    V r = (x - nn * vset(kQ1)) - nn * vset(kQ2);
    if (kStandard) {
        r = (r - nn * vset(kD3)) - nn * vset(kD4);
    } else {
        r = r - nn * vset(kQ3);
    }
    return vxor(oddPolynomial<kStandard, true>(r), vlowBitToSign(t));
}

// ---------------------------------------------------------------------------------------------
// Group drivers. Each reads kGroup inputs (count of them valid, the rest zero) into registers
// before it stores anything, so src may equal dst.

template <int kGroup>
struct Group {
    static constexpr int kVecs = kGroup / kLanes;
    double x[kGroup];
    double y[kGroup];

    Group(const double* src, int count) {
        for (int l = 0; l < kGroup; ++l) x[l] = l < count ? ld1(src + l) : 0.0;
    }
    V in(int v) const { return vloadu(x + kLanes * v); }
    void out(int v, V a) { vstoreu(y + kLanes * v, a); }
    void store(double* dst, int count) const {
        memcpy(dst, y, sizeof(double) * static_cast<size_t>(count));
    }
};

// Lanes of x whose |x| is not <= bound (NaN included), as a bit per lane.
inline int outsideMask(V ax, double bound) {
    return vmovemask(vle(ax, vset(bound))) ^ ((1 << kLanes) - 1);
}

// High-accuracy slot-1 sine and cosine (pi/256 table): a group with an element beyond the fast
// range is reduced through the window entirely; infinities and NaNs are fixed up afterwards.
template <bool kCosine, int kGroup>
void groupTable256(TrigCall& c, int base, int count, const char* name) {
    Group<kGroup> g(c.src + base, count);
    int outside = 0;
    for (int v = 0; v < g.kVecs; ++v) outside |= outsideMask(vabs(g.in(v)), kBoundB);
    for (int v = 0; v < g.kVecs; ++v) {
        const V x = g.in(v);
        V res;
        if (kCosine) {
            res = outside ? table256<true, true>(x) : table256<true, false>(x);
        } else {
            const V ax = vabs(x);
            res = vxor(outside ? table256<false, true>(ax) : table256<false, false>(ax), vsign(x));
        }
        g.out(v, res);
    }
    for (int l = 0; l < count; ++l) {
        if (biasedExponent(g.x[l]) == 0x7FF) g.y[l] = nonFiniteResult(c, base + l, g.x[l], name);
    }
    g.store(c.dst + base, count);
}

// High-accuracy pi/64 kernels: a group with an element at or above 90112 (or not finite) is
// done element by element, those elements by the one-element routine. kSharedRoutine selects the
// routine of the slot-2/3 kernels (it reports with the kernel's name itself); otherwise the
// kernel reports infinities with its own name and sends large finite elements to
// dspSinLargeArg / dspCosLargeArg.
template <bool kCosine, bool kSharedRoutine, int kGroup>
void groupTable64(TrigCall& c, int base, int count, const char* name) {
    Group<kGroup> g(c.src + base, count);
    int outside = 0;
    for (int v = 0; v < g.kVecs; ++v) {
        const V x = g.in(v);
        outside |= vmovemask(vlt(vabs(x), vset(kBoundE))) ^ ((1 << kLanes) - 1);
        g.out(v, kCosine ? table64<true>(x) : vxor(table64<false>(vabs(x)), vsign(x)));
    }
    if (!outside) {
        g.store(c.dst + base, count);
        return;
    }
    for (int l = 0; l < count; ++l) {
        const int i = base + l;
        const double x = g.x[l];
        if (!(dabs(x) >= kBoundE || biasedExponent(x) == 0x7FF)) {
            st1(c.dst + i, g.y[l]);
        } else if (kSharedRoutine) {
            if (kCosine) {
                dspVecMathSpecialValueCos64f(i, c.src, c.dst, &c.status, name);
            } else {
                dspVecMathSpecialValueSin64f(i, c.src, c.dst, &c.status, name);
            }
        } else if (biasedExponent(x) == 0x7FF) {
            st1(c.dst + i, nonFiniteResult(c, i, x, name));
        } else {
            st1(c.dst + i, kCosine ? dspCosLargeArg(x) : dspSinLargeArg(x));
        }
    }
}

// Fastest kernels: elements beyond the fast range (and NaNs) are recomputed by the element
// routine; an infinity is reported by the kernel.
template <bool kCosine, int kGroup>
void groupFastest(TrigCall& c, int base, int count, const char* name) {
    Group<kGroup> g(c.src + base, count);
    int outside[Group<kGroup>::kVecs];
    for (int v = 0; v < g.kVecs; ++v) {
        const V x = g.in(v);
        if (kCosine) {
            outside[v] = outsideMask(vabs(x) + vset(kPiOver2), kTwo23);
            g.out(v, cosShiftedSine<false>(x));
        } else {
            const V ax = vabs(x);
            outside[v] = outsideMask(ax, kTwo24);
            g.out(v, vxor(sinMultiplesOfPi<false>(ax), vsign(x)));
        }
    }
    for (int v = 0; v < g.kVecs; ++v) {
        for (int l = 0; l < kLanes; ++l) {
            const int k = kLanes * v + l;
            if (!(outside[v] >> l & 1) || k >= count) continue;
            double r;
            const int st = kCosine ? cosElementFast(g.x[k], &r) : sinElementFast(g.x[k], &r);
            if (st != dspOk) r = reportDomain(c, base + k, r, name);
            g.y[k] = r;
        }
    }
    g.store(c.dst + base, count);
}

// Standard-accuracy kernels. Sine: elements beyond 2^24 (and NaNs) take the window reduction
// and the pi/256 table, blended lane by lane. Cosine: a group with such an element is done
// entirely by the slot-1 table method. Then infinities and NaNs get the special-value rule.
template <bool kCosine, int kGroup>
void groupStandard(TrigCall& c, int base, int count, const char* name) {
    Group<kGroup> g(c.src + base, count);
    if (kCosine) {
        int outside = 0;
        for (int v = 0; v < g.kVecs; ++v)
            outside |= outsideMask(vabs(g.in(v)) + vset(kPiOver2), kTwo23);
        for (int v = 0; v < g.kVecs; ++v) {
            g.out(v, outside ? table256<true, true>(g.in(v)) : cosShiftedSine<true>(g.in(v)));
        }
    } else {
        for (int v = 0; v < g.kVecs; ++v) {
            const V x = g.in(v), ax = vabs(x);
            V res = sinMultiplesOfPi<true>(ax);
            const V beyond = vle(ax, vset(kTwo24));
            if (vmovemask(beyond) != (1 << kLanes) - 1)
                res = vselect(beyond, table256<false, true>(ax), res);
            g.out(v, vxor(res, vsign(x)));
        }
    }
    for (int l = 0; l < count; ++l) {
        if (biasedExponent(g.x[l]) == 0x7FF) g.y[l] = nonFiniteResult(c, base + l, g.x[l], name);
    }
    g.store(c.dst + base, count);
}

// The frame of every kernel: checks, control state, groups, tail elements one at a time.
template <int kGroup, bool kX87, typename GroupFn>
DspStatus trigKernel(const double* src, double* dst, int n, GroupFn fn) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<kX87, true> fp(kX87TargetTrig);
    TrigCall c{src, dst, dspOk};
    int i = 0;
    for (; i + kGroup <= n; i += kGroup) fn(c, i, kGroup);
    for (; i < n; ++i) fn(c, i, 1);
    fp.leave();
    return c.status;
}

}  // namespace
