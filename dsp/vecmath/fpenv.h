// The floating-point control protocol of the vector-math kernels.
//
// A kernel takes over the calling thread's x87 control word and/or MXCSR after its argument
// checks and gives them back before it returns:
//  - x87: when (cw & 0x0F3F) differs from the kernel's target (0x033F: 64-bit precision for the
//    magnitude, 0x023F: 53-bit precision for sine and cosine; round to nearest and all
//    exceptions masked in both), it loads (cw & 0xF0C0) | target and later the saved word.
//  - MXCSR: when the six exception masks are not all set, it loads MXCSR | 0x1F80 (rounding,
//    flush-to-zero and denormals-are-zero stay as the caller set them) and later the saved value,
//    which also brings back the caller's flags. When the masks were already set it leaves
//    MXCSR alone and on exit clears the invalid, denormal, divide-by-zero, overflow and
//    underflow flags (bits 0-4), keeping the precision flag.
//  - On exit the x87 exception flags are always cleared.
// For the translation units of dsp/vecmath and the x87 arithmetic of slot 0; everything lives
// in an anonymous namespace.
#pragma once

#include <stdint.h>

#if !defined(__x86_64__) && !defined(__i386__)
#error "the floating-point control protocol is written for x86 and x86-64"
#endif

// 1 where this translation unit computes doubles on the x87: the common code and slot 0 of the
// 32-bit build, which must run on processors without SSE2. Everywhere else doubles are SSE2.
#if defined(__SSE2_MATH__)
#define DSP_X87_DOUBLES 0
#else
#define DSP_X87_DOUBLES 1
#endif

namespace {

constexpr uint16_t kX87TargetMagnitude = 0x033F;
constexpr uint16_t kX87TargetTrig = 0x023F;
constexpr uint32_t kMxcsrMasks = 0x1F80;
constexpr uint32_t kMxcsrFlagsCleared = 0x1F;  // IE DE ZE OE UE; PE (0x20) is kept

inline uint16_t fpX87ControlWord() {
    uint16_t cw;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw) : : "memory");
    return cw;
}

inline void fpX87LoadControlWord(uint16_t cw) {
    __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
}

// Non-waiting clear: a caller's pending unmasked x87 exception must not trap inside a kernel.
inline void fpX87ClearFlags() {
    __asm__ __volatile__("fnclex" : : : "memory");
}

inline uint32_t fpMxcsr() {
    uint32_t v;
    __asm__ __volatile__("stmxcsr %0" : "=m"(v) : : "memory");
    return v;
}

inline void fpLoadMxcsr(uint32_t v) {
    __asm__ __volatile__("ldmxcsr %0" : : "m"(v) : "memory");
}

// One kernel call's hold on the control state. kX87 / kSse: which unit the kernel computes on.
// Construct after the argument checks; call leave() once, after the last result is stored.
template <bool kX87, bool kSse>
class FpControlScope {
public:
    explicit FpControlScope(uint16_t x87Target) {
        if (kX87) {
            savedCw_ = fpX87ControlWord();
            if ((savedCw_ & 0x0F3F) != x87Target) {
                fpX87LoadControlWord(static_cast<uint16_t>((savedCw_ & 0xF0C0) | x87Target));
                cwChanged_ = true;
            }
        }
        if (kSse) {
            savedMxcsr_ = fpMxcsr();
            if ((savedMxcsr_ & kMxcsrMasks) != kMxcsrMasks) {
                fpLoadMxcsr(savedMxcsr_ | kMxcsrMasks);
                mxcsrChanged_ = true;
            }
        }
    }

    void leave() {
        fpX87ClearFlags();
        if (kX87 && cwChanged_) fpX87LoadControlWord(savedCw_);
        if (kSse) {
            if (mxcsrChanged_) {
                fpLoadMxcsr(savedMxcsr_);
            } else {
                const uint32_t now = fpMxcsr();
                if (now & kMxcsrFlagsCleared) fpLoadMxcsr(now & ~kMxcsrFlagsCleared);
            }
        }
    }

private:
    uint16_t savedCw_ = 0;
    uint32_t savedMxcsr_ = 0;
    bool cwChanged_ = false;
    bool mxcsrChanged_ = false;
};

// Makes the double arithmetic of this translation unit IEEE double arithmetic for the scope's
// lifetime. Where doubles are SSE2 it does nothing. On the x87, double arithmetic gives IEEE
// results (outside the subnormal range) only at 53-bit precision: at the 64-bit precision that
// the 32-bit runtime starts threads with, a result rounds twice and error-free transformations
// (two-sum, two-product) stop being exact. There the scope sets the precision field to 53 bits,
// and the rounding field to nearest when asked, and gives the caller's word back on exit;
// exception masks stay the caller's.
class FpDoubleScope {
public:
    explicit FpDoubleScope(bool roundToNearest) {
        if (!DSP_X87_DOUBLES) return;
        saved_ = fpX87ControlWord();
        const uint16_t keep = roundToNearest ? 0xF0FF : 0xFCFF;
        const uint16_t want = static_cast<uint16_t>((saved_ & keep) | 0x0200);
        if (want != saved_) {
            fpX87LoadControlWord(want);
            changed_ = true;
        }
    }
    ~FpDoubleScope() {
        if (changed_) fpX87LoadControlWord(saved_);
    }
    FpDoubleScope(const FpDoubleScope&) = delete;
    FpDoubleScope& operator=(const FpDoubleScope&) = delete;

private:
    uint16_t saved_ = 0;
    bool changed_ = false;
};

// Runs fn with every SSE exception masked and gives the caller's MXCSR back exactly, flags
// included. The x87 kernels use it around their one SSE2 helper (the large-argument
// reduction), so that a caller's unmasked SSE exception can neither trap there nor see flags
// that the x87 kernel never raised itself.
template <typename Fn>
inline auto fpWithSseMasked(Fn fn) -> decltype(fn()) {
    const uint32_t saved = fpMxcsr();
    fpLoadMxcsr(saved | kMxcsrMasks);
    auto r = fn();
    fpLoadMxcsr(saved);
    return r;
}

}  // namespace
