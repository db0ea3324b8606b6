// Prints the taps of one FIR design, for the comparison against scipy (fir_design_vs_scipy.py):
//
//   fir_design_tool bands N RATE F,F,... G,G,... W,W,...   DesignFirFromBands
//   fir_design_tool lowpass N RATE CUTOFF STOPWEIGHT       DesignLowPassFir
//
// Output: "status S", "deviation D", "spec F G W" per band layout entry (lowpass only), then
// one tap per line, all at full double precision.
#include "effects/common/FirDesign.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<float> List(const char* text) {
    std::vector<float> out;
    std::string s(text);
    size_t at = 0;
    while (at <= s.size()) {
        const size_t comma = s.find(',', at);
        const std::string item = s.substr(at, comma == std::string::npos ? comma : comma - at);
        if (!item.empty()) out.push_back(std::strtof(item.c_str(), nullptr));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    return out;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: fir_design_tool bands N RATE F,.. G,.. W,..\n"
                 "       fir_design_tool lowpass N RATE CUTOFF STOPWEIGHT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && argc != 6) return Usage();
    const std::string mode = argv[1];
    const int n = std::atoi(argv[2]);
    const double rate = std::strtod(argv[3], nullptr);
    FirTaps taps(n);
    if (mode == "bands" && argc == 7) {
        const std::vector<float> f = List(argv[4]), g = List(argv[5]), w = List(argv[6]);
        if (f.size() != g.size() || f.size() != w.size()) return Usage();
        DesignFirFromBands(taps, f.data(), g.data(), w.data(), static_cast<int>(f.size()), rate);
    } else if (mode == "lowpass" && argc == 6) {
        const double cutoff = std::strtod(argv[4], nullptr), weight = std::strtod(argv[5], nullptr);
        const LowPassBands spec = MakeLowPassBands(cutoff, rate, weight);
        for (int i = 0; i < LowPassBands::kPoints; ++i) {
            std::printf("spec %.9g %.9g %.9g\n", spec.frequencies[i], spec.gains[i],
                        spec.weights[i]);
        }
        DesignLowPassFir(taps, cutoff, rate, weight);
    } else {
        return Usage();
    }
    std::printf("status %d\ndeviation %.17g\n", taps.status, taps.deviation);
    for (int i = 0; i < n; ++i) std::printf("%.17g\n", taps.taps[i]);
    return 0;
}
