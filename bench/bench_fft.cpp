// Real FFT: the set-up of every slot body at orders 6, 11, 16, 20 and 24 (buffers of the
// reported sizes, allocated once per run).
#include "corvane/dsp.h"
#include "dsp/support/slot_tables.h"
#include "dsp/testing.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const auto& kSize = dspslots::dspFftGetSizeReal64f;
const auto& kInit = dspslots::dspFftInitReal64f;

void setup(benchmark::State& state, int slot) {
    if (!dspSlotSupported(slot)) {
        state.SkipWithError("CPU slot not supported here");
        return;
    }
    // The slot-2 body runs its own code only where MOVBE is enabled.
    dspTestForceCpu(dspSlotSsse3, dspFeatAll);
    const int order = static_cast<int>(state.range(0));
    int S = 0, B = 0, W = 0;
    if (kSize[slot](order, dspFftScaleNone, 0, &S, &B, &W) != dspOk) {
        state.SkipWithError("order refused");
        return;
    }
    std::vector<BYTE> mem(S), buf(B + 1);
    DspFftSpecReal64f* spec = nullptr;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            kInit[slot](&spec, order, dspFftScaleNone, 0, mem.data(), buf.data()));
        benchmark::ClobberMemory();
    }
    state.counters["spec_bytes"] = S;
    dspTestResetCpu();
}

const int kRegistered = [] {
    for (int slot = 0; slot < kDspSlotCountWith2n; ++slot) {
        benchmark::RegisterBenchmark((std::string("fft_setup/") + dspSlotName(slot)).c_str(), setup,
                                     slot)
            ->Arg(6)
            ->Arg(11)
            ->Arg(16)
            ->Arg(20)
            ->Arg(24)
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}();

}  // namespace
