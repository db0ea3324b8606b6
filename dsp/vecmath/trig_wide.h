// Vector sine and cosine kernels of the AVX slots (4 and 5).
//
// The methods are those of trig_simd.h; what differs is how values flow, so that the speed does
// not hang on what the optimiser makes of small stack arrays:
//  - sixteen elements (four vectors) are read into registers; one range test per vector, folded
//    into one mask per group, decides whether the group needs anything but the vector path;
//  - every stage (reduction, table fetch, reconstruction) runs on all four vectors before the
//    next starts, and table columns come from four 32-byte row loads and a 4x4 transpose (slot
//    4; slot 5's high-accuracy kernels need no table);
//  - only a vector holding a flagged lane (beyond the fast range, infinite or NaN) goes to
//    memory, and only its flagged lanes get the large-argument or special-value result; the other
//    lanes keep their vector results, so an element's result never depends on its neighbours.
// Slot 5's high-accuracy kernels reduce to a quarter turn with fused multiply-adds (k * F1 exact,
// the product with F2 kept with its error term), carrying pi/2 to some 160 bits, so that phases
// up to 2^22 stay on the vector path (QuadrantMethod).
#pragma once

#include "dsp/vecmath/trig_simd.h"

#define DSP_TRIG_INLINE inline __attribute__((always_inline))

namespace {

constexpr int kFlight = 4;                    // vectors in flight
constexpr int kWideGroup = kFlight * kLanes;  // elements per group

#if DSP_SLOT == 5
constexpr double kHighBound = 0x1p22;  // |x| below: the vector path of the high-accuracy kernels
// pi = kPiF1 + kPiF2 + kPiF3 to about 2^-160. For |x| <= 2^24 and a whole or half-integer k,
// x - k * kPiF1 is a double (at most pi/2 in size, on the grid of 2^-52), so the first fused
// step is exact.
constexpr double kPiF1 = 0x1.921fb54442d18p+1;
constexpr double kPiF2 = 0x1.1a62633145c07p-53;
constexpr double kPiF3 = -0x1.f1976b7ed8fbcp-109;

DSP_TRIG_INLINE V reducePi(V x, V k) {
    const V r = vfma(k, vset(-kPiF1), x);
    return vfma(k, vset(-kPiF3), vfma(k, vset(-kPiF2), r));
}

// The standard-accuracy sine and cosine of slot 5: the method of sinMultiplesOfPi and
// cosShiftedSine with the fused reduction.
DSP_TRIG_INLINE V sinStandard5(V ax) {
    // The multiple is chosen as sinMultiplesOfPi chooses it (product rounded, then the sum).
    const V s = ax * vset(kInvPi) + vset(kShifter);
    const V r = reducePi(ax, s - vset(kShifter));
    return oddPolynomial<true, false>(vxor(r, vlowBitToSign(s)));
}

DSP_TRIG_INLINE V cosStandard5(V ax) {
    const V t = (ax + vset(kPiOver2)) * vset(kInvPi) + vset(kShifter);
    const V nn = (t - vset(kShifter)) - vset(kHalf);
    return vxor(oddPolynomial<true, true>(reducePi(ax, nn)), vlowBitToSign(t));
}
#else
constexpr double kHighBound = kBoundE;
#endif

struct Reduced {
    V r, t, s;  // reduced argument r + t, and the shifter sum whose low bits index the table
};

// k = nearest integer to |x| * 64/pi, r + t = |x| - k pi/64.
DSP_TRIG_INLINE Reduced reduce64(V ax) {
    const V s = ax * vset(kK64) + vset(kShifter);
    const V k = s - vset(kShifter);
    const V r1 = ax - k * vset(kP64a);
    const V r = r1 - k * vset(kP64b);
    const V t = ((r1 - r) - k * vset(kP64b)) - k * vset(kP64c);
    return {r, t, s};
}

struct Columns {
    V c0, c1, c2, c3;
};

// Rows (low 7 bits of each lane of s) of a 128-row table, as its four columns.
DSP_TRIG_INLINE Columns fetchRows(const double (*table)[4], V s) {
    Columns q = {vload(table[vlowWord<0>(s) & 127]), vload(table[vlowWord<1>(s) & 127]),
                 vload(table[vlowWord<2>(s) & 127]), vload(table[vlowWord<3>(s) & 127])};
    vtranspose4(q.c0, q.c1, q.c2, q.c3);
    return q;
}

// f(p_j + r + t) from the columns of row j of dspSinTablePi64 (f the sine) or dspCosTablePi64
// (the cosine); one reconstruction serves both, as fromColumns64 does.
DSP_TRIG_INLINE V fromRows64(const Reduced& d, const Columns& q) {
    return fromColumns64(d.r, d.t, q.c0, q.c1, q.c2, q.c3);
}

// ---------------------------------------------------------------------------------------------
// The methods. Each names its fast range (inRange: all ones where the lane's vector result
// stands; false for NaN), its vector results for four vectors, and the result of one flagged
// finite element.

// High accuracy: the pi/64 table.
template <bool kCosine>
struct HighMethod {
    static DSP_TRIG_INLINE V inRange(V ax) { return vlt(ax, vset(kHighBound)); }
    static DSP_TRIG_INLINE void eval(const V* x, const V* ax, V* y) {
        Reduced d[kFlight];
        Columns q[kFlight];
#pragma GCC unroll 4
        for (int v = 0; v < kFlight; ++v) d[v] = reduce64(ax[v]);
#pragma GCC unroll 4
        for (int v = 0; v < kFlight; ++v)
            q[v] = fetchRows(kCosine ? dspCosTablePi64 : dspSinTablePi64, d[v].s);
#pragma GCC unroll 4
        for (int v = 0; v < kFlight; ++v) {
            y[v] = kCosine ? fromRows64(d[v], q[v]) : vxor(fromRows64(d[v], q[v]), vsign(x[v]));
        }
    }
    static double slow(double x) {
        return kCosine ? dspCosLargeArg(x) : dspSinLargeArg(x);
    }
};

#if DSP_SLOT == 5
// High accuracy of slot 5 without a table: k = nearest integer to |x| * 2/pi, r + t = |x| - k pi/2
// (|r| <= pi/4) by the fused reduction of reduce64 with pi/2 in three parts, then sin(r + t) and
// cos(r + t) by polynomials that stay within 2^-57 of the functions on [-pi/4, pi/4], and the
// quadrant k mod 4 (k + 1 for the cosine) picks one and its sign. The sine's final sum adds a
// term at most a tenth of r to r, the cosine's adds the tail of 1 - r^2/2 (with the exact error
// of its one rounding) to that sum: under 0.85 ulp at worst, no gather and no transpose.
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kPio2F1 = 0x1.921fb54442d18p+0;  // pi/2 = F1 + F2 + F3 to about 2^-161
constexpr double kPio2F2 = 0x1.1a62633145c07p-54;
constexpr double kPio2F3 = -0x1.f1976b7ed8fbcp-110;
// sin r = r + r^3 (S0 + S1 z + ... + S5 z^5), cos r = 1 - z/2 + z^2 (C0 + ... + C5 z^5), z = r^2.
constexpr double kQuadS[6] = {-0x1.5555555555549p-3, 0x1.111111110f8a6p-7,   -0x1.a01a019c161d5p-13,
                              0x1.71de357b1fe7dp-19, -0x1.ae5e68a2b9cebp-26, 0x1.5d93a5acfd57cp-33};
constexpr double kQuadC[6] = {0x1.555555555554cp-5,  -0x1.6c16c16c15177p-10,
                              0x1.a01a019cb1590p-16, -0x1.27e4f809c52adp-22,
                              0x1.1ee9ebdb4b1c4p-29, -0x1.8fae9be8838d4p-37};

DSP_TRIG_INLINE V quadPolynomial(const double (&c)[6], V z) {
    V p = vfma(vset(c[5]), z, vset(c[4]));
    p = vfma(p, z, vset(c[3]));
    p = vfma(p, z, vset(c[2]));
    p = vfma(p, z, vset(c[1]));
    return vfma(p, z, vset(c[0]));
}

template <bool kCosine>
struct QuadrantMethod {
    static DSP_TRIG_INLINE V inRange(V ax) { return vlt(ax, vset(kHighBound)); }
    static DSP_TRIG_INLINE V one(V x, V ax) {
        const V s = vfma(ax, vset(kTwoOverPi), vset(kShifter));
        const V k = s - vset(kShifter);
        const V r1 = vfma(k, vset(-kPio2F1), ax);  // exact
        const V p = k * vset(kPio2F2);
        const V pe = vfms(k, vset(kPio2F2), p);  // p's rounding error, exact
        const V r = r1 - p;
        // Two-sum of r1 and -p: either may be the larger.
        const V bb = r - r1;
        const V err = (r1 - (r - bb)) - (p + bb);
        const V t = vfma(k, vset(-kPio2F3), err - pe);
        const V z = r * r;
        // sin(r + t) = r + (z (r S(z) - t/2) + t).
        const V sinr = r + vfma(z, vfma(r, quadPolynomial(kQuadS, z), vset(-0.5) * t), t);
        // cos(r + t) = h + (w - r t + z^2 C(z)): h = 1 - r^2/2 rounded once, w its error.
        const V halfR = vset(-0.5) * r;
        const V h = vfma(halfR, r, vset(1.0));
        const V w = vfma(halfR, r, vset(1.0) - h);
        const V cosr = h + vfms(z * z, quadPolynomial(kQuadC, z), vfms(t, r, w));
        // Quadrant k mod 4 (k + 1 for the cosine): odd takes the cosine, 2 and 3 the negative;
        // the sine also takes the sign of x.
        const V q = kCosine ? s + vset(1.0) : s;
        const V y = vselectBySign(vlowBitToSign(q), sinr, cosr);
        return vxor(y, kCosine ? vbitToSign<1>(q) : vsign(vxor(vbitToSign<1>(q), x)));
    }
    static DSP_TRIG_INLINE void eval(const V* x, const V* ax, V* y) {
#pragma GCC unroll 4
        for (int v = 0; v < kFlight; ++v) y[v] = one(x[v], ax[v]);
    }
    static double slow(double x) {
        return kCosine ? dspCosLargeArg(x) : dspSinLargeArg(x);
    }
};
#endif

// Whole multiples of pi and the degree-15 (kStandard) or degree-9 polynomial: the fast range and
// the vector results of the standard-accuracy and the fastest methods.
template <bool kCosine, bool kStandard>
struct MultiplesOfPiMethod {
    static DSP_TRIG_INLINE V inRange(V ax) {
        return kCosine ? vle(ax + vset(kPiOver2), vset(kTwo23)) : vle(ax, vset(kTwo24));
    }
    static DSP_TRIG_INLINE V one(V x, V ax) {
#if DSP_SLOT == 5
        if (kStandard) return kCosine ? cosStandard5(ax) : vxor(sinStandard5(ax), vsign(x));
#endif
        return kCosine ? cosShiftedSine<kStandard>(x)
                       : vxor(sinMultiplesOfPi<kStandard>(ax), vsign(x));
    }
    static DSP_TRIG_INLINE void eval(const V* x, const V* ax, V* y) {
#pragma GCC unroll 4
        for (int v = 0; v < kFlight; ++v) y[v] = one(x[v], ax[v]);
    }
};

// Standard accuracy: beyond the fast range, the window reduction and the pi/256 table.
template <bool kCosine>
struct StandardMethod : MultiplesOfPiMethod<kCosine, true> {
    static double slow(double x) {
        double out[kLanes];
        if (kCosine) {
            vlanes(table256<true, true>(vset(x)), out);
        } else {
            vlanes(vxor(table256<false, true>(vset(dabs(x))), vsign(vset(x))), out);
        }
        return out[0];
    }
};

// Fastest: beyond the fast range, the element routines.
template <bool kCosine>
struct FastestMethod : MultiplesOfPiMethod<kCosine, false> {
    static double slow(double x) {
        double r;
        if (kCosine) {
            cosElementFast(x, &r);
        } else {
            sinElementFast(x, &r);
        }
        return r;
    }
};

// ---------------------------------------------------------------------------------------------
// The group driver.

// The flagged lanes of the vector of inputs at in (element base of the call), whose vector
// results are y. The inputs are read again rather than kept in registers through the group:
// nothing has been stored yet, so they are still there even when out is in.
template <class Method>
__attribute__((noinline)) V fixLanes(TrigCall& c, int base, const double* in, V y,
                                     const char* name) {
    constexpr int kAll = (1 << kLanes) - 1;
    const V x = vloadu(in);
    const int flagged = vmovemask(Method::inRange(vabs(x))) ^ kAll;
    if (!flagged) return y;
    double xs[kLanes], ys[kLanes];
    vlanes(x, xs);
    vlanes(y, ys);
    for (int l = 0; l < kLanes; ++l) {
        if (!(flagged >> l & 1)) continue;
        ys[l] = biasedExponent(xs[l]) == 0x7FF ? nonFiniteResult(c, base + l, xs[l], name)
                                               : Method::slow(xs[l]);
    }
    return vloadu(ys);
}

// kWideGroup elements from in to out; base is the index of in[0] in the call (for the hook).
// All inputs are in registers before anything is stored, so in may equal out.
template <class Method>
DSP_TRIG_INLINE void wideGroup(TrigCall& c, int base, const double* in, double* out,
                               const char* name) {
    constexpr int kAll = (1 << kLanes) - 1;
    V x[kFlight], ax[kFlight], y[kFlight];
    V all;
#pragma GCC unroll 4
    for (int v = 0; v < kFlight; ++v) {
        x[v] = vloadu(in + kLanes * v);
        ax[v] = vabs(x[v]);
        const V ok = Method::inRange(ax[v]);
        all = v == 0 ? ok : vand(all, ok);
    }
    Method::eval(x, ax, y);
    if (__builtin_expect(vmovemask(all) != kAll, 0)) {
        for (int v = 0; v < kFlight; ++v)
            y[v] = fixLanes<Method>(c, base + kLanes * v, in + kLanes * v, y[v], name);
    }
#pragma GCC unroll 4
    for (int v = 0; v < kFlight; ++v) vstoreu(out + kLanes * v, y[v]);
}

// The frame: checks, control state, whole groups, and the last n mod 16 elements as one group
// padded with zeros (which take the vector path and report nothing).
template <class Method>
DspStatus wideKernel(const double* src, double* dst, int n, const char* name) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<false, true> fp(0);
    TrigCall c{src, dst, dspOk};
    int i = 0;
    for (; i + kWideGroup <= n; i += kWideGroup) wideGroup<Method>(c, i, src + i, dst + i, name);
    if (i < n) {
        const size_t bytes = sizeof(double) * static_cast<size_t>(n - i);
        alignas(32) double in[kWideGroup] = {}, out[kWideGroup];
        memcpy(in, src + i, bytes);
        wideGroup<Method>(c, i, in, out, name);
        memcpy(dst + i, out, bytes);
    }
    fp.leave();
    return c.status;
}

}  // namespace
