// Shared by the vector-math tests: the list of every kernel with what the tests expect of it,
// quad-precision references, ulp distances, a recording error hook and the floating-point state
// (read and set through the kernels' own helpers of dsp/vecmath/fpenv.h).
#pragma once

#include "dsp/bits.h"
#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/vecmath.h"
#include "tests/dsp/slots.h"

#include <gtest/gtest.h>

extern "C" {
#include <quadmath.h>
}

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace vmtest {

enum class Fn { Magnitude, Sine, Cosine };

// Accuracy classes, named after the bound each must hold (relative to the exact value).
enum class Bound {
    Ulp1,     // within 1 ulp
    Ulp2,     // within 2 ulp
    Ulp4,     // within 4 ulp
    Abs1e8,   // absolute error below 1e-8 (fastest sine/cosine, fast range)
    Rel2m28,  // relative error below 2^-28 (fastest magnitude)
};

struct KernelInfo {
    const char* label;
    DspVecMathKernel fn;
    Fn function;
    int cpuSlot;
    int group;  // elements per pass (0: one at a time)
    Bound bound;
    double fastRange;  // the bound holds for |x| up to here (sine and cosine; inf: everywhere)
    const char* hookName;
    bool x87;  // computes on, or sets up, the x87 unit
    bool sse;  // sets up MXCSR
};

inline const std::vector<KernelInfo>& allKernels() {
    const double inf = INFINITY;
    static const std::vector<KernelInfo> list = {
        {"abs_s0", dspVecAbs64fcKernel_s0, Fn::Magnitude, 0, 0, Bound::Ulp1, inf, "", true, false},
        {"abs_s1", dspVecAbs64fcKernel_s1, Fn::Magnitude, 1, 4, Bound::Ulp1, inf, "", true, true},
        {"abs_s2a0", dspVecAbs64fcKernel_s2a0, Fn::Magnitude, 2, 8, Bound::Ulp2, inf, "", false,
         true},
        {"abs_s2a1", dspVecAbs64fcKernel_s2a1, Fn::Magnitude, 2, 4, Bound::Ulp1, inf, "", false,
         true},
        {"abs_s2a2", dspVecAbs64fcKernel_s2a2, Fn::Magnitude, 2, 8, Bound::Rel2m28, inf, "", false,
         true},
        {"abs_s4a0", dspVecAbs64fcKernel_s4a0, Fn::Magnitude, 4, 16, Bound::Ulp2, inf, "", false,
         true},
        {"abs_s4a1", dspVecAbs64fcKernel_s4a1, Fn::Magnitude, 4, 16, Bound::Ulp1, inf, "", false,
         true},
        {"abs_s4a2", dspVecAbs64fcKernel_s4a2, Fn::Magnitude, 4, 16, Bound::Rel2m28, inf, "", false,
         true},
        {"abs_s5a0", dspVecAbs64fcKernel_s5a0, Fn::Magnitude, 5, 16, Bound::Ulp2, inf, "", false,
         true},
        {"abs_s5a1", dspVecAbs64fcKernel_s5a1, Fn::Magnitude, 5, 16, Bound::Ulp1, inf, "", false,
         true},
        {"abs_s5a2", dspVecAbs64fcKernel_s5a2, Fn::Magnitude, 5, 16, Bound::Rel2m28, inf, "", false,
         true},

        {"sin_s0", dspVecSin64fKernel_s0, Fn::Sine, 0, 0, Bound::Ulp1, inf, "vdSin", true, false},
        {"sin_s1a1", dspVecSin64fKernel_s1a1, Fn::Sine, 1, 4, Bound::Ulp1, inf, "", false, true},
        {"sin_s1a2", dspVecSin64fKernel_s1a2, Fn::Sine, 1, 4, Bound::Abs1e8, 0x1p24, "", false,
         true},
        {"sin_s2a0", dspVecSin64fKernel_s2a0, Fn::Sine, 2, 8, Bound::Ulp4, 0x1p24, "", false, true},
        {"sin_s2a1", dspVecSin64fKernel_s2a1, Fn::Sine, 2, 4, Bound::Ulp1, inf, "vdSin", true,
         true},
        {"sin_s2a2", dspVecSin64fKernel_s2a2, Fn::Sine, 2, 8, Bound::Abs1e8, 0x1p24, "", false,
         true},
        {"sin_s4a0", dspVecSin64fKernel_s4a0, Fn::Sine, 4, 16, Bound::Ulp4, 0x1p24, "", false,
         true},
        {"sin_s4a1", dspVecSin64fKernel_s4a1, Fn::Sine, 4, 16, Bound::Ulp1, inf, "", false, true},
        {"sin_s4a2", dspVecSin64fKernel_s4a2, Fn::Sine, 4, 16, Bound::Abs1e8, 0x1p24, "", false,
         true},
        {"sin_s5a0", dspVecSin64fKernel_s5a0, Fn::Sine, 5, 16, Bound::Ulp4, 0x1p24, "", false,
         true},
        {"sin_s5a1", dspVecSin64fKernel_s5a1, Fn::Sine, 5, 16, Bound::Ulp1, inf, "", false, true},
        {"sin_s5a2", dspVecSin64fKernel_s5a2, Fn::Sine, 5, 16, Bound::Abs1e8, 0x1p24, "", false,
         true},

        {"cos_s0", dspVecCos64fKernel_s0, Fn::Cosine, 0, 0, Bound::Ulp1, inf, "vdCos", true, false},
        {"cos_s1a1", dspVecCos64fKernel_s1a1, Fn::Cosine, 1, 4, Bound::Ulp1, inf, "", false, true},
        {"cos_s1a2", dspVecCos64fKernel_s1a2, Fn::Cosine, 1, 4, Bound::Abs1e8, 0x1p23, "", false,
         true},
        {"cos_s2a0", dspVecCos64fKernel_s2a0, Fn::Cosine, 2, 8, Bound::Ulp4, 0x1p23, "", false,
         true},
        {"cos_s2a1", dspVecCos64fKernel_s2a1, Fn::Cosine, 2, 4, Bound::Ulp1, inf, "vdCos", true,
         true},
        {"cos_s2a2", dspVecCos64fKernel_s2a2, Fn::Cosine, 2, 8, Bound::Abs1e8, 0x1p23, "", false,
         true},
        {"cos_s3a2", dspVecCos64fKernel_s3a2, Fn::Cosine, 3, 8, Bound::Abs1e8, 0x1p23, "", false,
         true},
        {"cos_s4a0", dspVecCos64fKernel_s4a0, Fn::Cosine, 4, 16, Bound::Ulp4, 0x1p23, "", false,
         true},
        {"cos_s4a1", dspVecCos64fKernel_s4a1, Fn::Cosine, 4, 16, Bound::Ulp1, inf, "", false, true},
        {"cos_s4a2", dspVecCos64fKernel_s4a2, Fn::Cosine, 4, 16, Bound::Abs1e8, 0x1p23, "", false,
         true},
        {"cos_s5a0", dspVecCos64fKernel_s5a0, Fn::Cosine, 5, 16, Bound::Ulp4, 0x1p23, "", false,
         true},
        {"cos_s5a1", dspVecCos64fKernel_s5a1, Fn::Cosine, 5, 16, Bound::Ulp1, inf, "", false, true},
        {"cos_s5a2", dspVecCos64fKernel_s5a2, Fn::Cosine, 5, 16, Bound::Abs1e8, 0x1p23, "", false,
         true},
    };
    return list;
}

// The kernels of one function that this machine can run.
inline std::vector<KernelInfo> kernelsOf(Fn f) {
    std::vector<KernelInfo> out;
    for (const KernelInfo& k : allKernels()) {
        if (k.function == f && dspSlotSupported(k.cpuSlot)) out.push_back(k);
    }
    return out;
}

// Bit patterns of doubles, through the library's own helpers.
inline uint64_t bitsOf(double x) {
    return dbits(x);
}
inline double fromBits(uint64_t b) {
    return dfrom(b);
}

// Distance of a double from an exact value, in units of the last place of the exact value
// (the spacing of doubles at its magnitude; subnormal spacing below 2^-1022).
inline double ulpError(double got, __float128 exact) {
    if (std::isnan(got)) return INFINITY;
    const __float128 a = fabsq(exact);
    int e;
    frexpq(a, &e);  // a = m * 2^e, m in [0.5, 1)
    int ulpExp = e - 53;
    if (ulpExp < -1074) ulpExp = -1074;
    const __float128 ulp = ldexpq(static_cast<__float128>(1), ulpExp);
    return static_cast<double>(fabsq(static_cast<__float128>(got) - exact) / ulp);
}

inline __float128 exactSin(double x) {
    return sinq(static_cast<__float128>(x));
}
inline __float128 exactCos(double x) {
    return cosq(static_cast<__float128>(x));
}
inline __float128 exactHypot(double re, double im) {
    const __float128 a = re, b = im;
    return sqrtq(a * a + b * b);
}

// The exact sine or cosine of x.
inline __float128 exactOf(Fn f, double x) {
    return f == Fn::Sine ? exactSin(x) : exactCos(x);
}

// A sine or cosine kernel's result for x against the exact value, within the kernel's bound.
inline void expectWithinBound(const KernelInfo& k, double got, double x) {
    const __float128 exact = exactOf(k.function, x);
    if (k.bound == Bound::Abs1e8) {
        EXPECT_LE(static_cast<double>(fabsq(got - exact)), 1e-8) << x;
    } else {
        EXPECT_LE(ulpError(got, exact), k.bound == Bound::Ulp1 ? 1.0 : 4.0) << x;
    }
}

// The high-accuracy kernel of slot 2 hands src[0], src[1] and src[3] (at or above 90112) to the
// large-argument routine of f through its element routine: that routine's bits, within 1 ulp.
inline void expectSlot2LargeArguments(Fn f, const double (&src)[4]) {
    if (!dspSlotSupported(2)) return;
    const bool sine = f == Fn::Sine;
    double dst[4];
    ASSERT_EQ((sine ? dspVecSin64fKernel_s2a1 : dspVecCos64fKernel_s2a1)(src, dst, 4), dspOk);
    for (int i : {0, 1, 3}) {
        const double routine = sine ? dspSinLargeArg(src[i]) : dspCosLargeArg(src[i]);
        EXPECT_EQ(bitsOf(dst[i]), bitsOf(routine)) << src[i];
        EXPECT_LE(ulpError(dst[i], exactOf(f, src[i])), 1.0) << src[i];
    }
}

// Arguments spread over every exponent: for each binade 2^e (e = lo .. hi) `perBinade`
// random significands, both signs.
inline std::vector<double> argumentsOverBinades(int lo, int hi, int perBinade, uint32_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<double> out;
    for (int e = lo; e <= hi; ++e) {
        for (int k = 0; k < perBinade; ++k) {
            const uint64_t frac = rng() & 0x000FFFFFFFFFFFFFull;
            const uint64_t sign = (rng() & 1) ? 0x8000000000000000ull : 0;
            out.push_back(fromBits(sign | (static_cast<uint64_t>(e + 1023) << 52) | frac));
        }
    }
    return out;
}

// A recording hook: every call is kept; an optional value is written to dst[index].
struct HookCall {
    int status;
    int index;
    const double* src;
    const double* src2;
    double* dst;
    double* dst2;
    std::string name;
    double seen;  // dst[index] when the hook ran
};

struct HookRecorder {
    static std::vector<HookCall>& calls() {
        static std::vector<HookCall> c;
        return c;
    }
    static bool& overwrite() {
        static bool w = false;
        return w;
    }
    static double& value() {
        static double v = 0.0;
        return v;
    }
    static void hook(int status, int index, const double* src, const double* src2, double* dst,
                     double* dst2, const char* name) {
        calls().push_back(
            {status, index, src, src2, dst, dst2, name ? name : "(null)", dst[index]});
        if (overwrite()) dst[index] = value();
    }
    HookRecorder() {
        calls().clear();
        overwrite() = false;
        dspTestSetVecMathHook(&HookRecorder::hook);
    }
    ~HookRecorder() { dspTestSetVecMathHook(nullptr); }
};

inline uint16_t readX87Sw() {
    uint16_t v;
    __asm__ __volatile__("fnstsw %0" : "=m"(v) : : "memory");
    return v;
}

// Runs fn with the given MXCSR and x87 control word and gives the test's own state back.
struct FpStateGuard {
    uint32_t mxcsr = fpMxcsr();
    uint16_t cw = fpX87ControlWord();
    ~FpStateGuard() {
        fpLoadMxcsr(mxcsr);
        fpX87LoadControlWord(cw);
        __asm__ __volatile__("fnclex");
    }
};

}  // namespace vmtest
