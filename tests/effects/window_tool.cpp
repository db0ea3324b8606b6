// Prints the analysis window of a "WindowType" value: "overlap V" and then the n values, one a
// line, for the comparison against scipy (window_vs_scipy.py).
// Usage: window_tool TYPE N
#include "effects/common/SpectralWindow.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_tool TYPE N\n");
        return 2;
    }
    const int type = std::atoi(argv[1]), n = std::atoi(argv[2]);
    if (n < 1) return 2;
    std::vector<double> w(static_cast<size_t>(n), 1.0);
    double overlap = 0.0;
    MakeWindow(type, w.data(), n, &overlap);
    std::printf("overlap %.17g\n", overlap);
    for (double v : w) std::printf("%.17g\n", v);
    return 0;
}
