// The forward kernel sets of every slot: which member serves each order. A set may take another
// slot's member where that member computes exactly what the slot's own would (the one- and
// two-point kernels, and slot 2n's and slot 5's borrowed members, which share their lender's
// arithmetic). Null: not built yet.
#include "dsp/fft/kernels.h"

#define DSP_FFT_REAL(fam, o0, o1, o2, o3, o4, o5)                           \
    {                                                                       \
        dspRealFftFwd##fam##Order0##o0, dspRealFftFwd##fam##Order1##o1,     \
            dspRealFftFwd##fam##Order2##o2, dspRealFftFwd##fam##Order3##o3, \
            dspRealFftFwd##fam##Order4##o4, dspRealFftFwd##fam##Order5##o5  \
    }
#define DSP_FFT_COMPLEX(fam, o0, o1, o2, o3, o4, o5)                                      \
    {                                                                                     \
        dspComplexFftFwd##fam##Order0##o0, dspComplexFftFwd##fam##Order1##o1,             \
            dspComplexFftFwd##fam##Order2##o2, dspComplexFftFwd##fam##Order3##o3,         \
            dspComplexFftFwd##fam##Order4##o4, dspComplexFftFwd##fam##Order5##o5, nullptr \
    }

#define DSP_FFT_COMPLEX7(fam, o0, o1, o2, o3, o4, o5, o6)                         \
    {                                                                             \
        dspComplexFftFwd##fam##Order0##o0, dspComplexFftFwd##fam##Order1##o1,     \
            dspComplexFftFwd##fam##Order2##o2, dspComplexFftFwd##fam##Order3##o3, \
            dspComplexFftFwd##fam##Order4##o4, dspComplexFftFwd##fam##Order5##o5, \
            dspComplexFftFwd##fam##Order6##o6                                     \
    }

extern "C" {

const DspFftKernelSet dspFftFwdKernelTables[kDspFftSlotCount] = {
    // Slot 0: its own x87 members.
    {DSP_FFT_REAL(KernelScaled, _s0, _s0, _s0, _s0, _s0, _s0),
     DSP_FFT_REAL(Kernel, _s0, _s0, _s0, _s0, _s0, _s0),
     DSP_FFT_COMPLEX(KernelScaled, _s0, _s0, _s0, _s0, _s0, _s0),
     DSP_FFT_COMPLEX(Kernel, _s0, _s0, _s0, _s0, _s0, _s0)},
    // Slot 1.
    {DSP_FFT_REAL(KernelScaled, _s1, _s1, _s1, _s1, _s1, _s1),
     DSP_FFT_REAL(Kernel, _s1, _s1, _s1, _s1, _s1, _s1),
     DSP_FFT_COMPLEX(KernelScaled, _s1, _s1, _s1, _s1, _s1, _s1),
     DSP_FFT_COMPLEX(Kernel, _s1, _s1, _s1, _s1, _s1, _s1)},
    // Slot 2 (with MOVBE).
    {DSP_FFT_REAL(KernelScaled, _s1, _s2, _s2, _s2, _s2, _s2),
     DSP_FFT_REAL(Kernel, _s1, _s2, _s1, _s2, _s2, _s2),
     DSP_FFT_COMPLEX(KernelScaled, _s2, _s2, _s2, _s2, _s2, _s2),
     DSP_FFT_COMPLEX(Kernel, _s1, _s2, _s2, _s2, _s2, _s2)},
    // Slot 3.
    {DSP_FFT_REAL(KernelScaled, _s1, _s3, _s3, _s3, _s3, _s3),
     DSP_FFT_REAL(Kernel, _s1, _s1, _s3, _s3, _s3, _s3),
     DSP_FFT_COMPLEX(KernelScaled, _s3, _s3, _s3, _s3, _s3, _s3),
     DSP_FFT_COMPLEX(Kernel, _s1, _s1, _s3, _s3, _s3, _s3)},
    // Slot 4: its own members, the complex ones up to complex order 6.
    {DSP_FFT_REAL(KernelScaled, _s4, _s4, _s4, _s4, _s4, _s4),
     DSP_FFT_REAL(Kernel, _s4, _s4, _s4, _s4, _s4, _s4),
     DSP_FFT_COMPLEX7(KernelScaled, _s4, _s4, _s4, _s4, _s4, _s4, _s4),
     DSP_FFT_COMPLEX7(Kernel, _s4, _s4, _s4, _s4, _s4, _s4, _s4)},
    // Slot 5: slot 4's members up to order 2 (complex order 1), its own above.
    {DSP_FFT_REAL(KernelScaled, _s4, _s4, _s4, _s5, _s5, _s5),
     DSP_FFT_REAL(Kernel, _s4, _s4, _s4, _s5, _s5, _s5),
     DSP_FFT_COMPLEX7(KernelScaled, _s4, _s4, _s5, _s5, _s5, _s5, _s5),
     DSP_FFT_COMPLEX7(Kernel, _s4, _s4, _s5, _s5, _s5, _s5, _s5)},
    // Slot 2n: slot 1's members up to order 2 (complex order 1), its own above.
    {DSP_FFT_REAL(KernelScaled, _s1, _s1, _s1, _s2n, _s2n, _s2n),
     DSP_FFT_REAL(Kernel, _s1, _s1, _s1, _s2n, _s2n, _s2n),
     DSP_FFT_COMPLEX(KernelScaled, _s1, _s1, _s2n, _s2n, _s2n, _s2n),
     DSP_FFT_COMPLEX(Kernel, _s1, _s1, _s2n, _s2n, _s2n, _s2n)},
};

// The inverse sets: entries 0 and 1 from the forward set of the same slot, the inverse members
// above them (slots 4 and 5 up to complex order 6).
#define DSP_FFT_INV_REAL(fam, f0, f1, o2, o3, o4, o5)                       \
    {                                                                       \
        dspRealFftFwd##fam##Order0##f0, dspRealFftFwd##fam##Order1##f1,     \
            dspRealFftInv##fam##Order2##o2, dspRealFftInv##fam##Order3##o3, \
            dspRealFftInv##fam##Order4##o4, dspRealFftInv##fam##Order5##o5  \
    }
#define DSP_FFT_INV_COMPLEX(fam, f0, f1, o)                                             \
    {                                                                                   \
        dspComplexFftFwd##fam##Order0##f0, dspComplexFftFwd##fam##Order1##f1,           \
            dspComplexFftInv##fam##Order2##o, dspComplexFftInv##fam##Order3##o,         \
            dspComplexFftInv##fam##Order4##o, dspComplexFftInv##fam##Order5##o, nullptr \
    }
#define DSP_FFT_INV_COMPLEX7(fam, f, o)                                         \
    {                                                                           \
        dspComplexFftFwd##fam##Order0##f, dspComplexFftFwd##fam##Order1##f,     \
            dspComplexFftInv##fam##Order2##o, dspComplexFftInv##fam##Order3##o, \
            dspComplexFftInv##fam##Order4##o, dspComplexFftInv##fam##Order5##o, \
            dspComplexFftInv##fam##Order6##o                                    \
    }

const DspFftKernelSet dspFftInvKernelTables[kDspFftSlotCount] = {
    {DSP_FFT_INV_REAL(KernelScaled, _s0, _s0, _s0, _s0, _s0, _s0),
     DSP_FFT_INV_REAL(Kernel, _s0, _s0, _s0, _s0, _s0, _s0),
     DSP_FFT_INV_COMPLEX(KernelScaled, _s0, _s0, _s0), DSP_FFT_INV_COMPLEX(Kernel, _s0, _s0, _s0)},
    {DSP_FFT_INV_REAL(KernelScaled, _s1, _s1, _s1, _s1, _s1, _s1),
     DSP_FFT_INV_REAL(Kernel, _s1, _s1, _s1, _s1, _s1, _s1),
     DSP_FFT_INV_COMPLEX(KernelScaled, _s1, _s1, _s1), DSP_FFT_INV_COMPLEX(Kernel, _s1, _s1, _s1)},
    {DSP_FFT_INV_REAL(KernelScaled, _s1, _s2, _s2, _s2, _s2, _s2),
     DSP_FFT_INV_REAL(Kernel, _s1, _s2, _s2, _s2, _s2, _s2),
     DSP_FFT_INV_COMPLEX(KernelScaled, _s2, _s2, _s2), DSP_FFT_INV_COMPLEX(Kernel, _s1, _s2, _s2)},
    {DSP_FFT_INV_REAL(KernelScaled, _s1, _s3, _s3, _s3, _s3, _s3),
     DSP_FFT_INV_REAL(Kernel, _s1, _s1, _s3, _s3, _s3, _s3),
     DSP_FFT_INV_COMPLEX(KernelScaled, _s3, _s3, _s3), DSP_FFT_INV_COMPLEX(Kernel, _s1, _s1, _s3)},
    {DSP_FFT_INV_REAL(KernelScaled, _s4, _s4, _s4, _s4, _s4, _s4),
     DSP_FFT_INV_REAL(Kernel, _s4, _s4, _s4, _s4, _s4, _s4),
     DSP_FFT_INV_COMPLEX7(KernelScaled, _s4, _s4), DSP_FFT_INV_COMPLEX7(Kernel, _s4, _s4)},
    {DSP_FFT_INV_REAL(KernelScaled, _s4, _s4, _s4, _s5, _s5, _s5),
     DSP_FFT_INV_REAL(Kernel, _s4, _s4, _s5, _s5, _s5, _s5),
     DSP_FFT_INV_COMPLEX7(KernelScaled, _s4, _s5), DSP_FFT_INV_COMPLEX7(Kernel, _s4, _s5)},
    {DSP_FFT_INV_REAL(KernelScaled, _s1, _s1, _s1, _s2n, _s2n, _s2n),
     DSP_FFT_INV_REAL(Kernel, _s1, _s1, _s1, _s2n, _s2n, _s2n),
     DSP_FFT_INV_COMPLEX(KernelScaled, _s1, _s1, _s2n),
     DSP_FFT_INV_COMPLEX(Kernel, _s1, _s1, _s2n)},
};

}  // extern "C"
