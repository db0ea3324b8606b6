// Guarded zero and copy of doubles on every slot this machine supports, beside memset and
// memcpy. Lengths in doubles: 64, 4096, 262144, 8388608 (512 B to 64 MiB).
#include "corvane/dsp.h"
#include "dsp/support/slot_tables.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kLengths[] = {64, 4096, 262144, 8388608};

template <typename Body>
void run(benchmark::State& state, int n, int64_t bytesPerElement, Body body) {
    std::vector<double> src(n, 1.25), dst(n, 0.0);
    for (auto _ : state) {
        body(src.data(), dst.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n * bytesPerElement);
}

void registerAll() {
    for (int n : kLengths) {
        const std::string len = "/" + std::to_string(n);
        const size_t bytes = static_cast<size_t>(n) * sizeof(double);
        benchmark::RegisterBenchmark(
            ("Zero/memset" + len).c_str(), [n, bytes](benchmark::State& s) {
                run(s, n, 8, [bytes](const double*, double* d) { memset(d, 0, bytes); });
            });
        benchmark::RegisterBenchmark(
            ("Copy/memcpy" + len).c_str(), [n, bytes](benchmark::State& s) {
                run(s, n, 16, [bytes](const double* a, double* d) { memcpy(d, a, bytes); });
            });
        for (int slot = 0; slot < 6; ++slot) {
            if (!dspSlotSupported(slot)) continue;
            const std::string tag = "/s" + std::to_string(slot) + len;
            benchmark::RegisterBenchmark(("Zero" + tag).c_str(), [n, slot](benchmark::State& s) {
                run(s, n, 8,
                    [n, slot](const double*, double* d) { dspslots::dspZero64f[slot](d, n); });
            });
            benchmark::RegisterBenchmark(("Copy" + tag).c_str(), [n, slot](benchmark::State& s) {
                run(s, n, 16,
                    [n, slot](const double* a, double* d) { dspslots::dspCopy64f[slot](a, d, n); });
            });
        }
    }
}

const int kRegistered = (registerAll(), 0);

}  // namespace
