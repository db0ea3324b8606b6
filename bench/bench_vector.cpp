// Fill, scale in place, scale, product and complex magnitude on every slot this machine
// supports, beside plain loops that do the same work. Lengths in doubles (complex values for
// the magnitude): 64, 4096, 262144, 8388608.
//
// Magnitude/public/1024 times the public magnitude (the dispatch's slot on this processor) on
// 1024 values in cache beside the plain sqrt(re*re + im*im) loop compiled with -O3 -mavx2 -mfma
// -fno-math-errno (magnitude_reference.cpp), both by bench_timing.h (the least of five loops of
// the thread's CPU time): ns and ref_ns per value, ratio = ref_ns / ns.
#include "bench/bench_timing.h"
#include "corvane/dsp.h"
#include "dsp/support/slot_tables.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

void benchPlainMagnitude(const double* z, double* d, int n);

namespace {

constexpr int kLengths[] = {64, 4096, 262144, 8388608};

struct Arrays {
    explicit Arrays(int n) : a(2 * static_cast<size_t>(n)), b(n), d(n) {
        for (size_t i = 0; i < a.size(); ++i) a[i] = 1.0 + (i % 101) * 0.01;
        for (size_t i = 0; i < b.size(); ++i) b[i] = 0.5 + (i % 37) * 0.02;
    }
    std::vector<double> a, b, d;
};

// Bytes that cross the memory interface per element, for the throughput column.
template <typename Body>
void run(benchmark::State& state, int n, size_t bytesPerElement, Body body) {
    Arrays x(n);
    for (auto _ : state) {
        body(x);
        benchmark::DoNotOptimize(x.d.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n *
                            static_cast<int64_t>(bytesPerElement));
}

// Plain loops: what the compiler makes of the obvious code.
void plainSet(double v, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = v;
}
void plainScaleInPlace(double v, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] *= v;
}
void plainScale(const double* s, double v, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = s[i] * v;
}
void plainMul(const double* a, const double* b, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = a[i] * b[i];
}
void plainMagnitude(const double* z, double* d, int n) {
    for (int i = 0; i < n; ++i) d[i] = std::hypot(z[2 * i], z[2 * i + 1]);
}

void magnitudeVsPlainLoop(benchmark::State& state) {
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
        state.SkipWithError("the plain loop needs AVX2 and FMA");
        return;
    }
    const int n = 1024;
    Arrays x(n);
    const auto ours = [&](int64_t) {
        benchmark::DoNotOptimize(dspMagnitude64fc(x.a.data(), x.d.data(), n));
        benchmark::ClobberMemory();
    };
    const auto plain = [&](int64_t) {
        benchPlainMagnitude(x.a.data(), x.d.data(), n);
        benchmark::ClobberMemory();
    };
    for (auto _ : state) ours(0);
    state.SetItemsProcessed(state.iterations() * n);
    const double ns = benchtiming::nanosecondsPerCall(ours) / n;
    const double ref = benchtiming::nanosecondsPerCall(plain) / n;
    state.counters["ns"] = ns;
    state.counters["ref_ns"] = ref;
    state.counters["ratio"] = ref / ns;
    state.SetLabel("slot " + std::to_string(dspGetCpuSlot()) + " vs plain loop -O3 AVX2+FMA");
}

void registerAll() {
    benchmark::RegisterBenchmark("Magnitude/public/1024", magnitudeVsPlainLoop);
    for (int n : kLengths) {
        const std::string len = "/" + std::to_string(n);
        benchmark::RegisterBenchmark(("Set/plain" + len).c_str(), [n](benchmark::State& s) {
            run(s, n, 8, [n](Arrays& x) { plainSet(1.5, x.d.data(), n); });
        });
        benchmark::RegisterBenchmark(("Set/memset" + len).c_str(), [n](benchmark::State& s) {
            run(s, n, 8, [n](Arrays& x) { memset(x.d.data(), 0, n * sizeof(double)); });
        });
        benchmark::RegisterBenchmark(
            ("MulConstInPlace/plain" + len).c_str(), [n](benchmark::State& s) {
                run(s, n, 16, [n](Arrays& x) { plainScaleInPlace(1.0000001, x.b.data(), n); });
            });
        benchmark::RegisterBenchmark(("MulConst/plain" + len).c_str(), [n](benchmark::State& s) {
            run(s, n, 16, [n](Arrays& x) { plainScale(x.b.data(), 0.75, x.d.data(), n); });
        });
        benchmark::RegisterBenchmark(("Mul/plain" + len).c_str(), [n](benchmark::State& s) {
            run(s, n, 24, [n](Arrays& x) { plainMul(x.a.data(), x.b.data(), x.d.data(), n); });
        });
        benchmark::RegisterBenchmark(("Magnitude/plain" + len).c_str(), [n](benchmark::State& s) {
            run(s, n, 24, [n](Arrays& x) { plainMagnitude(x.a.data(), x.d.data(), n); });
        });
        for (int slot = 0; slot < 6; ++slot) {
            if (!dspSlotSupported(slot)) continue;
            const std::string tag = "/s" + std::to_string(slot) + len;
            benchmark::RegisterBenchmark(("Set" + tag).c_str(), [n, slot](benchmark::State& s) {
                run(s, n, 8,
                    [n, slot](Arrays& x) { dspslots::dspSet64f[slot](1.5, x.d.data(), n); });
            });
            benchmark::RegisterBenchmark(
                ("MulConstInPlace" + tag).c_str(), [n, slot](benchmark::State& s) {
                    run(s, n, 16, [n, slot](Arrays& x) {
                        dspslots::dspMulConstInPlace64f[slot](1.0000001, x.b.data(), n);
                    });
                });
            benchmark::RegisterBenchmark(
                ("MulConst" + tag).c_str(), [n, slot](benchmark::State& s) {
                    run(s, n, 16, [n, slot](Arrays& x) {
                        dspslots::dspMulConst64f[slot](x.b.data(), 0.75, x.d.data(), n);
                    });
                });
            benchmark::RegisterBenchmark(("Mul" + tag).c_str(), [n, slot](benchmark::State& s) {
                run(s, n, 24, [n, slot](Arrays& x) {
                    dspslots::dspMul64f[slot](x.a.data(), x.b.data(), x.d.data(), n);
                });
            });
            benchmark::RegisterBenchmark(
                ("Magnitude" + tag).c_str(), [n, slot](benchmark::State& s) {
                    run(s, n, 24, [n, slot](Arrays& x) {
                        dspslots::dspMagnitude64fc[slot](x.a.data(), x.d.data(), n);
                    });
                });
        }
    }
}

const int kRegistered = (registerAll(), 0);

}  // namespace
