// The filter section that the band, reverb and pitch-shift effects and the FIR filter object run
// over blocks of 64-bit samples: a second-order recursive section (biquad, types 1 to 8, from the
// Audio EQ Cookbook formulas) or a direct-form FIR over a tap array (type 9). The section keeps its
// own history, so consecutive blocks filter as one continuous signal.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <vector>

class CFilter {
public:
    // The biquad kinds of SetBiquad, and the FIR type of a new section.
    enum Type : int32_t {
        kLowPass = 1,
        kHighPass = 2,
        kBandPassSkirt = 3,  // constant skirt gain, peak gain Q
        kBandPass = 4,       // constant 0 dB peak gain
        kNotch = 5,
        kPeaking = 6,
        kLowShelf = 7,
        kHighShelf = 8,
        kFir = 9,
    };
    // Taps of a new section (all zero, so that an unconfigured section outputs silence) and the
    // doubles its tap array and history start with.
    static constexpr int kInitialTaps = 80;
    static constexpr int kInitialStorage = 90;

    // Coefficients of the last biquad set-up; all but a0 already divided by a0.
    struct Biquad {
        double a0 = 0.0;  // as computed, kept for reference; the filtering does not use it
        double a1 = 0.0, a2 = 0.0, b0 = 0.0, b1 = 0.0, b2 = 0.0;
    };

    CFilter();
    virtual ~CFilter();

    // Records the type; for types 1 to 8 designs the biquad: gainDb in dB (peaking and shelves
    // only), frequency and sampleRate in Hz, q in hundredths (70.7 is Q 0.707; exactly 0 means
    // Q 0.01; a negative or NaN q is used as given). Leaves the history alone: callers that
    // change the design call ResetState first.
    void SetBiquad(int type, double gainDb, double frequency, double sampleRate, double q);

    // Clears the biquad history and makes a fresh, zeroed FIR history of TapCount() values
    // (none when the tap count is 0 or less). Throws std::bad_alloc when memory runs out.
    void ResetState();

    // Filters count samples of src into dst (distinct arrays) by the current type: biquad for
    // types below 9, FIR for 9; any other type leaves dst untouched. count < 1 does nothing.
    void ProcessBlock(const double* src, double* dst, int count);

    int32_t GetType() const { return m_type; }
    const Biquad& Coefficients() const { return m_biquad; }
    // True when the last biquad set-up has finite coefficients and both poles strictly inside the
    // unit circle. Negative or NaN q, and frequencies beyond half the rate, design sections that
    // ring up without bound.
    bool BiquadIsStable() const;

    // FIR taps h[0 .. TapCount()-1]. SetTapCount replaces the array by n zeroed taps (n < 0 counts
    // as 0) and leaves the history to ResetState, which the caller runs next; SetTaps copies n
    // taps into the array (at most TapCount()).
    int32_t TapCount() const { return m_nTaps; }
    double* Taps() { return m_taps.data(); }
    const double* Taps() const { return m_taps.data(); }
    void SetTapCount(int n);
    void SetTaps(const double* taps, int n);
    // Zeroes the FIR history (the last TapCount() inputs), keeping the taps.
    void ClearHistory();

private:
    void ProcessBiquad(const double* src, double* dst, int count);
    void ProcessFir(const double* src, double* dst, int count);

    int32_t m_nTaps = kInitialTaps;
    std::vector<double> m_taps;     // at least m_nTaps taps
    Biquad m_biquad;                // normalised biquad coefficients
    std::vector<double> m_history;  // the last m_nTaps inputs, oldest first; room for 10 more
    double m_x1 = 0.0, m_x2 = 0.0, m_y1 = 0.0, m_y2 = 0.0;  // biquad history
    int32_t m_type = kFir;
    std::vector<double> m_work;  // FIR: history followed by the block; grows only
};
