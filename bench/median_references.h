// Straightforward running medians beside which the library's is timed, under its contract: the
// window of m samples ends at each sample; the m - 1 samples before the first come from dlySrc
// (oldest first), or are the first sample repeated when it is null; dlyDst, when not null,
// receives the last m - 1 samples for the next call. src and dst may be the same array.
#pragma once

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

namespace benchmedian {

// The window as a multiset, mid on the element of rank m / 2. Inserting places a value after
// its equals; the element removed is always one equal to the oldest value.
inline void multisetMedian(const double* src, double* dst, int len, int m, const double* dlySrc,
                           double* dlyDst) {
    std::vector<double> ring(m);
    for (int k = 0; k < m - 1; ++k) ring[k] = dlySrc ? dlySrc[k] : src[0];
    std::multiset<double> w(ring.begin(), ring.end() - 1);
    w.insert(src[0]);
    ring[m - 1] = src[0];
    auto mid = std::next(w.begin(), m / 2);
    dst[0] = *mid;
    int p = 0;
    for (int i = 1; i < len; ++i) {
        const double x = src[i];
        const double old = ring[p];
        ring[p] = x;
        p = (p + 1 == m) ? 0 : p + 1;
        w.insert(x);
        if (x < *mid) --mid;
        if (old < *mid) {
            w.erase(w.find(old));
            ++mid;
        } else if (old == *mid) {
            mid = w.erase(mid);
        } else {
            w.erase(w.find(old));
        }
        dst[i] = *mid;
    }
    if (dlyDst) {
        for (int k = 0; k < m - 1; ++k) dlyDst[k] = ring[(p + 1 + k) % m];
    }
}

// Each window copied out and partly ordered by std::nth_element. `line` and `window` are the
// caller's scratch, kept between calls so that only the selection is timed.
inline void nthElementMedian(const double* src, double* dst, int len, int m, const double* dlySrc,
                             double* dlyDst, std::vector<double>& line,
                             std::vector<double>& window) {
    line.resize(static_cast<size_t>(m - 1 + len));
    for (int k = 0; k < m - 1; ++k) line[k] = dlySrc ? dlySrc[k] : src[0];
    std::copy(src, src + len, line.begin() + (m - 1));
    window.resize(static_cast<size_t>(m));
    for (int i = 0; i < len; ++i) {
        std::copy(line.begin() + i, line.begin() + i + m, window.begin());
        std::nth_element(window.begin(), window.begin() + m / 2, window.end());
        dst[i] = window[m / 2];
    }
    if (dlyDst) std::copy(line.begin() + len, line.end(), dlyDst);
}

}  // namespace benchmedian
