// Analysis windows of the spectral effects: a table of window shapes, each with the overlap of
// consecutive frames that suits it (a fraction of the frame length).
#pragma once

#include <cstdint>

// The window shape of a "WindowType" key value: 1 to 4 are Hann, Hamming, exact Blackman and
// triangular; 5 leaves the caller's values and overlap as they were (a caller that pre-sets
// ones and 0 gets a rectangular window without overlap); 6 to 18 are Welch, an 11-term flat
// top, Blackman-Harris, Blackman-Nuttall, sine, Nuttall, Bartlett-Hann, Lanczos, Gaussian,
// Tukey, Dolph-Chebyshev (60 dB), Cauchy and Parzen; any other value is rectangular.
// values: n doubles or null; they are written when given and n >= 1. *overlap (when overlap is
// not null) receives the shape's recommended overlap in every case, also without values and for
// n < 1, so that a call without values looks the overlap up alone.
void MakeWindow(int32_t windowType, double* values, int32_t n, double* overlap);

// The same by formula index: 0 rectangular, 1 Hann, 2 Hamming, 3 Blackman, 4 triangular,
// 5 Welch, 6 flat top, 7 Blackman-Harris, 8 Blackman-Nuttall, 9 sine, 10 Nuttall,
// 11 Bartlett-Hann, 12 Lanczos, 13 Gaussian, 14 Tukey, 15 Dolph-Chebyshev, 16 Cauchy,
// 17 Parzen; other indices are rectangular. A window of one value is 1.0 for every shape.
void FillWindow(double* values, int32_t n, int32_t formula, double* overlap);
