// Vector math: every kernel of the table (per function, CPU slot and accuracy slot) at 1024
// and 1048576 elements, beside glibc's scalar sin/cos/hypot loops and glibc's 4-lane AVX2
// vector sine and cosine (libmvec, looked up at run time so that no link flag is needed; the
// comparison is skipped where libmvec is missing).
#include "dsp/vecmath/vecmath.h"
#include "dsp/support/slot_tables.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <immintrin.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct BenchKernel {
    const char* name;
    DspVecMathKernel fn;
    int function;  // 0 magnitude, 1 sine, 2 cosine
    int cpuSlot;
};

const BenchKernel kKernels[] = {
    {"abs/s0", dspVecAbs64fcKernel_s0, 0, 0},     {"abs/s1", dspVecAbs64fcKernel_s1, 0, 1},
    {"abs/s2a0", dspVecAbs64fcKernel_s2a0, 0, 2}, {"abs/s2a1", dspVecAbs64fcKernel_s2a1, 0, 2},
    {"abs/s2a2", dspVecAbs64fcKernel_s2a2, 0, 2}, {"abs/s4a0", dspVecAbs64fcKernel_s4a0, 0, 4},
    {"abs/s4a1", dspVecAbs64fcKernel_s4a1, 0, 4}, {"abs/s4a2", dspVecAbs64fcKernel_s4a2, 0, 4},
    {"abs/s5a0", dspVecAbs64fcKernel_s5a0, 0, 5}, {"abs/s5a1", dspVecAbs64fcKernel_s5a1, 0, 5},
    {"abs/s5a2", dspVecAbs64fcKernel_s5a2, 0, 5}, {"sin/s0", dspVecSin64fKernel_s0, 1, 0},
    {"sin/s1a1", dspVecSin64fKernel_s1a1, 1, 1},  {"sin/s1a2", dspVecSin64fKernel_s1a2, 1, 1},
    {"sin/s2a0", dspVecSin64fKernel_s2a0, 1, 2},  {"sin/s2a1", dspVecSin64fKernel_s2a1, 1, 2},
    {"sin/s2a2", dspVecSin64fKernel_s2a2, 1, 2},  {"sin/s4a0", dspVecSin64fKernel_s4a0, 1, 4},
    {"sin/s4a1", dspVecSin64fKernel_s4a1, 1, 4},  {"sin/s4a2", dspVecSin64fKernel_s4a2, 1, 4},
    {"sin/s5a0", dspVecSin64fKernel_s5a0, 1, 5},  {"sin/s5a1", dspVecSin64fKernel_s5a1, 1, 5},
    {"sin/s5a2", dspVecSin64fKernel_s5a2, 1, 5},  {"cos/s0", dspVecCos64fKernel_s0, 2, 0},
    {"cos/s1a1", dspVecCos64fKernel_s1a1, 2, 1},  {"cos/s1a2", dspVecCos64fKernel_s1a2, 2, 1},
    {"cos/s2a0", dspVecCos64fKernel_s2a0, 2, 2},  {"cos/s2a1", dspVecCos64fKernel_s2a1, 2, 2},
    {"cos/s2a2", dspVecCos64fKernel_s2a2, 2, 2},  {"cos/s3a2", dspVecCos64fKernel_s3a2, 2, 3},
    {"cos/s4a0", dspVecCos64fKernel_s4a0, 2, 4},  {"cos/s4a1", dspVecCos64fKernel_s4a1, 2, 4},
    {"cos/s4a2", dspVecCos64fKernel_s4a2, 2, 4},  {"cos/s5a0", dspVecCos64fKernel_s5a0, 2, 5},
    {"cos/s5a1", dspVecCos64fKernel_s5a1, 2, 5},  {"cos/s5a2", dspVecCos64fKernel_s5a2, 2, 5},
};

// Angles within a few turns (the range the library's own caller uses) and complex values of
// unit order.
const std::vector<double>& inputs(size_t count) {
    static std::vector<double> data;
    if (data.size() < count) {
        std::mt19937_64 rng(1);
        std::uniform_real_distribution<double> d(-10.0, 10.0);
        data.resize(count);
        for (double& v : data) v = d(rng);
    }
    return data;
}

void runKernel(benchmark::State& state, const BenchKernel* k) {
    if (!dspSlotSupported(k->cpuSlot)) {
        state.SkipWithError("CPU slot not supported here");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    const std::vector<double>& src = inputs(2 * static_cast<size_t>(n));
    std::vector<double> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(k->fn(src.data(), dst.data(), n));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void glibcScalar(benchmark::State& state, int function) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<double>& src = inputs(2 * static_cast<size_t>(n));
    std::vector<double> dst(n);
    for (auto _ : state) {
        if (function == 0) {
            for (int i = 0; i < n; ++i) dst[i] = std::hypot(src[2 * i], src[2 * i + 1]);
        } else if (function == 1) {
            for (int i = 0; i < n; ++i) dst[i] = std::sin(src[i]);
        } else {
            for (int i = 0; i < n; ++i) dst[i] = std::cos(src[i]);
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// glibc's AVX2 vector variants, 4 doubles per call in one ymm register.
typedef __m256d (*MvecFn)(__m256d);

MvecFn mvec(const char* symbol) {
    static void* lib = dlopen("libmvec.so.1", RTLD_NOW | RTLD_LOCAL);
    return lib ? reinterpret_cast<MvecFn>(dlsym(lib, symbol)) : nullptr;
}

__attribute__((target("avx2"))) void mvecLoop(MvecFn fn, const double* src, double* dst, int n) {
    for (int i = 0; i + 4 <= n; i += 4) _mm256_storeu_pd(dst + i, fn(_mm256_loadu_pd(src + i)));
}

void glibcVector(benchmark::State& state, const char* symbol) {
    const MvecFn fn = mvec(symbol);
    if (fn == nullptr || !__builtin_cpu_supports("avx2")) {
        state.SkipWithError("libmvec or AVX2 not available");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    const std::vector<double>& src = inputs(static_cast<size_t>(n));
    std::vector<double> dst(n);
    for (auto _ : state) {
        mvecLoop(fn, src.data(), dst.data(), n);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

const int kRegistered = [] {
    for (const BenchKernel& k : kKernels) {
        benchmark::RegisterBenchmark((std::string("vecmath/") + k.name).c_str(), runKernel, &k)
            ->Arg(1024)
            ->Arg(1048576);
    }
    const char* names[] = {"glibc/hypot", "glibc/sin", "glibc/cos"};
    for (int f = 0; f < 3; ++f) {
        benchmark::RegisterBenchmark(names[f], glibcScalar, f)->Arg(1024)->Arg(1048576);
    }
    benchmark::RegisterBenchmark("libmvec/sin", glibcVector, "_ZGVdN4v_sin")
        ->Arg(1024)
        ->Arg(1048576);
    benchmark::RegisterBenchmark("libmvec/cos", glibcVector, "_ZGVdN4v_cos")
        ->Arg(1024)
        ->Arg(1048576);
    return 0;
}();

}  // namespace
