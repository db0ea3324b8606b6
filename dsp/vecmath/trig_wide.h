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
// Slot 5's high-accuracy kernels reduce to a half turn with fused multiply-adds (k * F1 and
// k * F2 exact, the rounding of their difference kept), carrying pi to some 140 bits, so that
// phases up to 2^22 stay on the vector path (HalfTurnMethod).
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
// High accuracy of slot 5 without a table: sin x = (-1)^k sin(r + t) with x = k pi + r + t and
// |r| <= pi/2, the cosine the same through a half-integer k (sign from k + 1/2), so that every
// lane runs one odd polynomial and nothing is selected. Where the result nears 1 the cubic term
// is almost half of it, and its rounding errors alone would cost up to 1.6 ulp: M = -r^3/8 is
// kept as the exact mh + ml and r + mh is added with its exact error, which leaves the
// polynomial's roundings only in M G, a twelfth of the result at most (sin r = r + M + M G(r^2),
// G in [0.17, 1/3]). The budget is then under 0.45 ulp before the last rounding.
constexpr double kPiF2Short = 0x1.1a62633p-53;        // 29 bits: k * F2 exact for |k| < 2^23
constexpr double kPiF3Short = 0x1.45c06e0e68948p-85;  // pi = kPiF1 + F2 + F3 to about 2^-140
// G on [0, (pi/2)^2]; its error moves the sine by under 2^-61 of its value (a weighted fit,
// with the coefficients rounded one at a time).
constexpr double kHalfTurnG[8] = {
    0x1.5555555555554p-2,  -0x1.11111111110c8p-4,  0x1.a01a01a014d7dp-10, -0x1.71de3a52a186fp-16,
    0x1.ae6454d50c68fp-23, -0x1.6123cd3a77346p-30, 0x1.ae4394ed4175ep-38, -0x1.8834b3555de01p-46};
// The weight of the tail t, where a few bits do: cos r ~ 1 - 0.42098 r^2 within 0.04 on
// [0, pi/2].
constexpr double kCosLinear = -0.42098;

// sin(r + err - k F3) for |r| <= pi/2 + 2^-20 and |err| <= 2^-52 |r|. G runs as its even and
// odd halves in r^4: shorter chains than one Horner sum, fewer products than Estrin's.
DSP_TRIG_INLINE V sinHalfTurn(V r, V err, V k) {
    const V z = r * r;
    const V zl = vfms(r, r, z);  // z's rounding error
    const V rq = vset(-0.125) * r;
    const V mh = rq * z;
    const V ml = vfma(rq, zl, vfms(rq, z, mh));  // mh + ml = -r^3/8
    const V y0 = r + mh;                         // |mh| <= |r|/3, so e0 is exact
    const V e0 = mh - (y0 - r);
    const V z2 = z * z;
    V ge = vfma(vset(kHalfTurnG[6]), z2, vset(kHalfTurnG[4]));
    V go = vfma(vset(kHalfTurnG[7]), z2, vset(kHalfTurnG[5]));
    ge = vfma(vfma(ge, z2, vset(kHalfTurnG[2])), z2, vset(kHalfTurnG[0]));
    go = vfma(vfma(go, z2, vset(kHalfTurnG[3])), z2, vset(kHalfTurnG[1]));
    const V g = vfma(go, z, ge);
    const V t = vfma(k, vset(-kPiF3Short), err);
    const V tail = vfma(t, vfma(z, vset(kCosLinear), vset(1.0)), e0) + ml;
    return y0 + vfma(mh, g, vfma(ml, g, tail));
}

template <bool kCosine>
struct HalfTurnMethod {
    static DSP_TRIG_INLINE V inRange(V ax) { return vlt(ax, vset(kHighBound)); }
    static DSP_TRIG_INLINE V one(V x, V ax) {
        V r, err, k, sign;
        if (kCosine) {
            // k = j + 1/2 with j = floor(|x|/pi); the sign is the parity of j + 1.
            const V j = vfloor(ax * vset(kInvPi));
            sign = vlowBitToSign(j + vset(kShifter + 1.0));
            k = j + vset(kHalf);
            // |x| - j F1 is exact, and so is what F1/2 takes from it, except below pi/4, where
            // e1 is the rounding error (F1/2 is then the larger term).
            const V r1 = vfma(j, vset(-kPiF1), ax);
            const V r2 = r1 - vset(0.5 * kPiF1);
            const V e1 = r1 - (r2 + vset(0.5 * kPiF1));
            const V p = k * vset(kPiF2Short);
            r = r2 - p;
            err = ((r2 - r) - p) + e1;
        } else {
            // k = nearest integer to |x|/pi; the sign is its parity with the sign of x.
            k = vfloor(vfma(ax, vset(kInvPi), vset(kHalf)));
            sign = vxor(vlowBitToSign(k + vset(kShifter)), x);
            const V r1 = vfma(k, vset(-kPiF1), ax);
            const V p = k * vset(kPiF2Short);
            r = r1 - p;
            // Where |r1| < |p| both are below 2^-31 and r is exact, so this is r's error.
            err = (r1 - r) - p;
        }
        return vxor(sinHalfTurn(r, err, k), vand(sign, vset(-0.0)));
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
#pragma GCC unroll 4
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
