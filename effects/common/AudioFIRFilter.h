// A self-contained FIR filter over one channel of 64-bit samples whose taps are designed from a
// band layout (frequencies, gains, weights; see FirDesign.h) by the equiripple design. It
// redesigns lazily, at the first block after the gains, the order or Initialise changed, and it
// can fade between the dry input and the filtered output where the output would jump: at the head
// of the block after a redesign, and at the tail of the last block.
#pragma once

#include "platform/win32.h"

#include "effects/common/Filter.h"
#include "framework/CSmooth.h"
#include "framework/error_support.h"

#include <cstdint>
#include <vector>

class CAudioFIRFilter final {
public:
    // Result codes of the operations.
    static constexpr int32_t kOk = 0;
    static constexpr int32_t kInvalidArgument = corvane::kInvalidArgument;
    static constexpr LONG kDefaultOrder = 50;
    static constexpr LONG kMinOrder = 10;
    static constexpr LONG kDefaultFadeMs = 20;

    // Order 50, smooth changes on, fade times 20 ms, no arrays, to be designed.
    CAudioFIRFilter();
    ~CAudioFIRFilter();
    CAudioFIRFilter(const CAudioFIRFilter&) = delete;
    CAudioFIRFilter& operator=(const CAudioFIRFilter&) = delete;

    // The operations, in slot order. Pointers that are NULL answer kInvalidArgument. The operations
    // that allocate throw std::bad_alloc when memory runs out, with the object unchanged.

    // Marks the filter for a redesign. When the three arrays hold the same number of entries, the
    // design uses that many and the FIR history is cleared (kOk); otherwise kInvalidArgument and no
    // design is possible until the next successful Initialise.
    virtual int32_t Initialise();
    // Filters lengthBytes / 8 samples of input into output (distinct arrays); last is non-zero for
    // the last block of the effect interval; sampleRate in Hz. Redesigns first when marked. Without
    // a usable design (never initialised, a failed Initialise, or arrays now shorter than the
    // design count) the input is copied to the output.
    virtual int32_t Process(const double* input, double* output, UINT lengthBytes, int last,
                            int sampleRate);
    virtual int32_t get_RightFadeTime(LONG* ms);
    virtual int32_t put_RightFadeTime(LONG ms);
    virtual int32_t get_LeftFadeTime(LONG* ms);
    virtual int32_t put_LeftFadeTime(LONG ms);
    // The arrays come and go as one-dimensional SAFEARRAYs of VT_R4. A getter hands out a new
    // array with lower bound 0 (empty when none is held), which the caller destroys. A setter
    // copies the array (any lower bound); another type or shape answers kInvalidArgument and
    // keeps the array held before. Only put_Gains marks a redesign.
    virtual int32_t get_Bands(SAFEARRAY** bands);
    virtual int32_t put_Bands(SAFEARRAY* bands);
    virtual int32_t get_Gains(SAFEARRAY** gains);
    virtual int32_t put_Gains(SAFEARRAY* gains);
    virtual int32_t get_Weights(SAFEARRAY** weights);
    virtual int32_t put_Weights(SAFEARRAY* weights);
    virtual int32_t get_SmoothChanges(VARIANT_BOOL* on);
    virtual int32_t put_SmoothChanges(VARIANT_BOOL on);
    virtual int32_t get_Order(LONG* taps);
    // Sets the number of taps (at least kMinOrder): a fresh, zeroed filter that is designed at the
    // next block.
    virtual int32_t put_Order(LONG taps);

    // For inspection: the filter section (its taps are the current design) and whether the next
    // block redesigns.
    const CFilter& Section() const { return m_filter; }
    bool Dirty() const { return m_dirty; }

private:
    static int32_t GetArray(const std::vector<float>& from, SAFEARRAY** to);
    static int32_t PutArray(SAFEARRAY* from, std::vector<float>* to);
    // Samples of a fade of `ms` at sampleRate, at most `limit`.
    static UINT FadeSamples(LONG ms, float sampleRate, UINT limit);
    bool CanDesign() const;

    CFilter m_filter;  // FIR section; its tap count is the order
    CSmooth m_smooth;  // keeps the dry samples of the fades; stride 1
    VARIANT_BOOL m_smoothChanges = VARIANT_TRUE;
    LONG m_rightFadeMs = kDefaultFadeMs;  // tail fade at the last block
    LONG m_leftFadeMs = kDefaultFadeMs;   // head fade after a redesign
    std::vector<float> m_bands;           // Hz, negative separators between bands
    std::vector<float> m_gains;           // linear
    std::vector<float> m_weights;
    int32_t m_designCount = 0;  // entries handed to the design; 0: no design possible
    bool m_dirty = true;        // redesign before the next block
};
