// Linear-phase FIR design: a weighted minimax (equiripple) fit of a symmetric filter to a band
// band layout by the Remez exchange of the Parks-McClellan method, in the shape of the
// McClellan-Parks-Rabiner program (barycentric Lagrange interpolation, inverse-DFT coefficient
// step, extra extremal searches beyond the first and last extremal), with a dense grid twice as
// fine near interior band edges and band curves interpolated by cubic Hermite pieces.
//
// A band layout is three parallel arrays of one length n: frequencies in Hz, linear gains
// and weights. An entry whose frequency is negative or NaN separates two bands (its gain and
// weight are ignored; callers put -1 in all three); the other entries are the points of the
// bands. Each band is a piecewise curve of gain and weight over its points.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <vector>

// How a design ended (FirTaps::status).
enum FirDesignStatus : int32_t {
    kFirConverged = 0,       // a pass of the extremal search moved nothing
    kFirStopped = 1,         // the ripple fell below the previous iteration's
    kFirIterationLimit = 2,  // 40 iterations without convergence
    kFirSingular = 3,        // the ripple's denominator was exactly zero in the last iteration
    // Nothing to design: no band point, fewer than one tap, a non-finite frequency, gain, weight
    // or sample rate, a weight not above zero, or points that descend (within a band or from one
    // band to the next). The taps are all zero.
    kFirInvalidBands = 4,
    // The exchange broke down in floating point (band layouts with points far apart in density,
    // such as a band of one point far from a crowded band, can make the interpolation's
    // denominator cancel to zero): the taps would not be finite, so they are all zero.
    kFirNumericalFailure = 5,
};

// The result of a design: N taps and how the design ended.
struct FirTaps {
    // Room for n + 10 taps, all zero (none below zero); deviation and status 0.
    explicit FirTaps(int n);

    double deviation = 0.0;    // the final weighted ripple of the design
    int32_t tapCount;          // N, as constructed
    std::vector<double> taps;  // h[0 .. N-1] after a design, then 10 spare zeros
    int32_t status = kFirConverged;
};

// Designs taps.tapCount taps (odd or even) from the band layout at sampleRate Hz into
// taps; stores the deviation and the status. An invalid band layout leaves zero taps and
// status kFirInvalidBands. The grid and work arrays are allocated per call (std::bad_alloc
// when memory runs out); callers run it when a band layout changes, never per block.
void DesignFirFromBands(FirTaps& taps, const float* frequencies, const float* gains,
                        const float* weights, int n, double sampleRate);

// The dense grid of a design of tapCount taps: normalised frequencies (0.5 is half the sample
// rate), in ascending order, with the band curves' desired values and weights there. Empty for an
// invalid band layout.
struct FirDesignGrid {
    std::vector<double> frequency, desired, weight;
};
FirDesignGrid MakeFirDesignGrid(const float* frequencies, const float* gains, const float* weights,
                                int n, double sampleRate, int tapCount);

// The two-band low-pass band layout of DesignLowPassFir: pass band 0 .. cutoff at gain 1 and
// weight 1, stop band from 1.1 x cutoff (or, when that is above sampleRate/2 - 1, from
// cutoff + 0.3 x (sampleRate/2 - cutoff)) to sampleRate/2 - 1 at gain 0 and weight stopWeight.
struct LowPassBands {
    static constexpr int kPoints = 5;
    float frequencies[kPoints];  // Hz, with one separator
    float gains[kPoints];
    float weights[kPoints];
};
LowPassBands MakeLowPassBands(double cutoff, double sampleRate, double stopWeight);

// Designs a low-pass filter of taps.tapCount taps from MakeLowPassBands.
void DesignLowPassFir(FirTaps& taps, double cutoff, double sampleRate, double stopWeight);
