// Vector sine and cosine kernels of the SSE and AVX slots: for each accuracy slot of each CPU
// slot, the method (dsp/vecmath/trig_simd.h), the group size and the name word it reports with.
// Slots 2 and 3 share their kernels, except the fastest cosine, which slot 3 has of its own.
#include "dsp/slot.h"
#include "dsp/vecmath/trig_simd.h"
#if DSP_SLOT >= 4
#include "dsp/vecmath/trig_wide.h"
#endif

// dspVec<Fn>64fKernel_s<n><acc>, running `driver` on groups of `group` elements; x87 says
// whether the kernel also takes over the x87 control word. Each kernel without a name reports
// with its own empty name word.
#define DSP_TRIG_KERNEL_NAME(fn, acc) DSP_CAT2(DSP_SLOT_NAME(dspVec##fn##64fKernel), acc)
#define DSP_TRIG_KERNEL_NAMED(fn, acc, group, x87, driver, nameWord)                            \
    extern "C" DspStatus DSP_CALL DSP_TRIG_KERNEL_NAME(fn, acc)(const double* src, double* dst, \
                                                                int n) {                        \
        return trigKernel<group, x87>(src, dst, n, [](TrigCall& c, int base, int count) {       \
            driver(c, base, count, nameWord);                                                   \
        });                                                                                     \
    }
#define DSP_TRIG_KERNEL(fn, acc, group, driver)                                      \
    namespace {                                                                      \
    const char DSP_CAT2(kNameWord, DSP_TRIG_KERNEL_NAME(fn, acc))[4] = {0, 0, 0, 0}; \
    }                                                                                \
    DSP_TRIG_KERNEL_NAMED(fn, acc, group, false, driver,                             \
                          DSP_CAT2(kNameWord, DSP_TRIG_KERNEL_NAME(fn, acc)))

#if DSP_SLOT == 1
// The pi/256 table kernel serves accuracy slots 0 and 1.
DSP_TRIG_KERNEL(Sin, a1, 4, (groupTable256<false, 4>))
DSP_TRIG_KERNEL(Sin, a2, 4, (groupFastest<false, 4>))
DSP_TRIG_KERNEL(Cos, a1, 4, (groupTable256<true, 4>))
DSP_TRIG_KERNEL(Cos, a2, 4, (groupFastest<true, 4>))
#elif DSP_SLOT == 3
DSP_TRIG_KERNEL(Cos, a2, 8, (groupFastest<true, 8>))
#elif DSP_SLOT >= 4
// Slots 4 and 5: the group driver of trig_wide.h over each method.
#define DSP_TRIG_WIDE_KERNEL(fn, acc, method)                                                   \
    namespace {                                                                                 \
    const char DSP_CAT2(kNameWord, DSP_TRIG_KERNEL_NAME(fn, acc))[4] = {0, 0, 0, 0};            \
    }                                                                                           \
    extern "C" DspStatus DSP_CALL DSP_TRIG_KERNEL_NAME(fn, acc)(const double* src, double* dst, \
                                                                int n) {                        \
        return wideKernel<method>(src, dst, n,                                                  \
                                  DSP_CAT2(kNameWord, DSP_TRIG_KERNEL_NAME(fn, acc)));          \
    }
#if DSP_SLOT == 5
#define DSP_TRIG_HIGH_METHOD HalfTurnMethod
#else
#define DSP_TRIG_HIGH_METHOD HighMethod
#endif
DSP_TRIG_WIDE_KERNEL(Sin, a0, StandardMethod<false>)
DSP_TRIG_WIDE_KERNEL(Sin, a1, DSP_TRIG_HIGH_METHOD<false>)
DSP_TRIG_WIDE_KERNEL(Sin, a2, FastestMethod<false>)
DSP_TRIG_WIDE_KERNEL(Cos, a0, StandardMethod<true>)
DSP_TRIG_WIDE_KERNEL(Cos, a1, DSP_TRIG_HIGH_METHOD<true>)
DSP_TRIG_WIDE_KERNEL(Cos, a2, FastestMethod<true>)
#else
DSP_TRIG_KERNEL(Sin, a0, 8, (groupStandard<false, 8>))
DSP_TRIG_KERNEL(Sin, a2, 8, (groupFastest<false, 8>))
DSP_TRIG_KERNEL(Cos, a0, 8, (groupStandard<true, 8>))
DSP_TRIG_KERNEL(Cos, a2, 8, (groupFastest<true, 8>))
#if DSP_SLOT == 2
// The high-accuracy kernels of slots 2 and 3 leave large arguments to the shared element
// routines, which take over the x87 control word and report with the function's name.
DSP_TRIG_KERNEL_NAMED(Sin, a1, 4, true, (groupTable64<false, true, 4>), kNameSin)
DSP_TRIG_KERNEL_NAMED(Cos, a1, 4, true, (groupTable64<true, true, 4>), kNameCos)
#else
DSP_TRIG_KERNEL(Sin, a1, 8, (groupTable64<false, false, 8>))
DSP_TRIG_KERNEL(Cos, a1, 8, (groupTable64<true, false, 8>))
#endif
#endif
