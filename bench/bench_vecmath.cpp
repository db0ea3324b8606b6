// Vector math: every kernel of the table (per function, CPU slot and accuracy slot) at 1024
// and 1048576 elements on fresh data (the next of several distinct input blocks per call, 32 MiB
// of input in all at the larger size, so that neither caches nor predictors see a repeated
// block), beside references built for the same instruction set:
//  - sine and cosine: glibc's 4-lane AVX2 vector variants (libmvec, _ZGVdN4v_sin/_cos, loaded
//    at run time with dlopen; the rows say so and are skipped where it is missing) for slots 4
//    and 5, glibc's scalar sin/cos loops for the others;
//  - magnitude: the plain loop sqrt(re*re + im*im) in AVX2 (slot 5) and AVX (slot 4) vectors,
//    glibc's hypot loop for the others.
// Each row prints ns (per element, the least of five loops of the thread's CPU time),
// ref_ns (the reference, measured the same way) and ratio = ref_ns / ns. Rows ending in
// /wide run the slot-4 and slot-5 sine and cosine on |x| up to 2^20 instead of [-pi, pi], and
// their ratio is the [-pi, pi] time over the wide time (1.0: no cliff).
#include "bench/bench_timing.h"
#include "dsp/support/slot_tables.h"
#include "dsp/vecmath/vecmath.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <immintrin.h>

#include <cmath>
#include <cstdio>
#include <map>
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

constexpr size_t kInputBytes = size_t(32) << 20;  // input blocks per size, in all

// Distinct input blocks of n values each (2n doubles for the magnitude's pairs): angles in
// [-pi, pi] or, wide, in [-2^20, 2^20]; complex parts in [-1, 1].
const std::vector<std::vector<double>>& blocks(int n, int kind) {
    static std::map<std::pair<int, int>, std::vector<std::vector<double>>> all;
    auto& b = all[{n, kind}];
    if (b.empty()) {
        const size_t len = (kind == 0 ? 2 : 1) * static_cast<size_t>(n);
        const size_t count =
            std::max<size_t>(2, kInputBytes / (8 * len) > 64 ? 64 : kInputBytes / (8 * len));
        const double range = kind == 2 ? 0x1p20 : kind == 1 ? M_PI : 1.0;
        std::mt19937_64 rng(static_cast<uint64_t>(n) * 3 + static_cast<uint64_t>(kind));
        std::uniform_real_distribution<double> d(-range, range);
        b.resize(count);
        for (auto& v : b) {
            v.resize(len);
            for (double& x : v) x = d(rng);
        }
    }
    return b;
}

// glibc's AVX2 vector variants, 4 doubles per call in one ymm register.
typedef __m256d (*MvecFn)(__m256d);

MvecFn mvec(const char* symbol) {
    static void* lib = dlopen("libmvec.so.1", RTLD_NOW | RTLD_LOCAL);
    return lib ? reinterpret_cast<MvecFn>(dlsym(lib, symbol)) : nullptr;
}

__attribute__((target("avx2,fma"))) void mvecLoop(MvecFn fn, const double* src, double* dst,
                                                  int n) {
    for (int i = 0; i + 4 <= n; i += 4) _mm256_storeu_pd(dst + i, fn(_mm256_loadu_pd(src + i)));
}

// The plain magnitude loop, four pairs per step; compiled into an AVX2 + FMA caller (where the
// compiler may fuse re*re + im*im) and an AVX caller.
__attribute__((target("avx"), always_inline)) inline void plainAbs(const double* src, double* dst,
                                                                   int n) {
    for (int i = 0; i + 4 <= n; i += 4) {
        const __m256d a = _mm256_loadu_pd(src + 2 * i), b = _mm256_loadu_pd(src + 2 * i + 4);
        const __m256d lo = _mm256_permute2f128_pd(a, b, 0x20);
        const __m256d hi = _mm256_permute2f128_pd(a, b, 0x31);
        const __m256d re = _mm256_unpacklo_pd(lo, hi), im = _mm256_unpackhi_pd(lo, hi);
        _mm256_storeu_pd(
            dst + i, _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im))));
    }
}
__attribute__((target("avx2,fma"))) void plainAbsAvx2(const double* src, double* dst, int n) {
    plainAbs(src, dst, n);
}
__attribute__((target("avx"))) void plainAbsAvx(const double* src, double* dst, int n) {
    plainAbs(src, dst, n);
}

void glibcScalar(int function, const double* src, double* dst, int n) {
    if (function == 0) {
        for (int i = 0; i < n; ++i) dst[i] = std::hypot(src[2 * i], src[2 * i + 1]);
    } else if (function == 1) {
        for (int i = 0; i < n; ++i) dst[i] = std::sin(src[i]);
    } else {
        for (int i = 0; i < n; ++i) dst[i] = std::cos(src[i]);
    }
}

// Nanoseconds per element of fn over the rotating blocks.
template <class Fn>
double nsPerElement(int n, int kind, Fn fn) {
    const auto& in = blocks(n, kind);
    return benchtiming::nanosecondsPerCall([&](int64_t call) {
               fn(in[static_cast<size_t>(call) % in.size()].data());
               benchmark::ClobberMemory();
           }) /
           n;
}

// The reference of a kernel: what it is called, and its time per element (0: not available).
double referenceNs(const BenchKernel& k, int n, std::vector<double>& dst, std::string& label) {
    const int kind = k.function == 0 ? 0 : 1;
    if (k.cpuSlot >= 4 && k.function != 0) {
        const MvecFn fn = mvec(k.function == 1 ? "_ZGVdN4v_sin" : "_ZGVdN4v_cos");
        if (fn == nullptr || !__builtin_cpu_supports("avx2")) return 0.0;
        label = "libmvec (dlopen)";
        return nsPerElement(n, kind, [&](const double* s) { mvecLoop(fn, s, dst.data(), n); });
    }
    if (k.cpuSlot >= 4) {
        label = k.cpuSlot == 5 ? "plain loop AVX2+FMA" : "plain loop AVX";
        if (k.cpuSlot == 5)
            return nsPerElement(n, kind, [&](const double* s) { plainAbsAvx2(s, dst.data(), n); });
        return nsPerElement(n, kind, [&](const double* s) { plainAbsAvx(s, dst.data(), n); });
    }
    label = "glibc scalar loop";
    return nsPerElement(n, kind,
                        [&](const double* s) { glibcScalar(k.function, s, dst.data(), n); });
}

void runKernel(benchmark::State& state, const BenchKernel* k, bool wide) {
    if (!dspSlotSupported(k->cpuSlot)) {
        state.SkipWithError("CPU slot not supported here");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    const int kind = k->function == 0 ? 0 : wide ? 2 : 1;
    std::vector<double> dst(n);
    const auto run = [&](const double* s) { benchmark::DoNotOptimize(k->fn(s, dst.data(), n)); };
    const auto& in = blocks(n, kind);
    size_t b = 0;
    for (auto _ : state) {
        run(in[b].data());
        b = (b + 1) % in.size();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
    const double ours = nsPerElement(n, kind, run);
    state.counters["ns"] = ours;
    if (wide) {
        const double narrow = nsPerElement(n, 1, run);
        state.counters["ref_ns"] = narrow;
        state.counters["ratio"] = narrow / ours;
        return;
    }
    std::string label;
    const double ref = referenceNs(*k, n, dst, label);
    if (ref == 0.0) {
        state.SetLabel("libmvec not found: no reference");
        return;
    }
    state.SetLabel(label);
    state.counters["ref_ns"] = ref;
    state.counters["ratio"] = ref / ours;
}

const int kRegistered = [] {
    if (mvec("_ZGVdN4v_sin") == nullptr)
        std::fprintf(
            stderr,
            "libmvec.so.1 not found: the AVX slots' sine and cosine rows have no reference\n");
    for (const BenchKernel& k : kKernels) {
        benchmark::RegisterBenchmark((std::string("vecmath/") + k.name).c_str(), runKernel, &k,
                                     false)
            ->Arg(1024)
            ->Arg(1048576);
        if (k.function != 0 && k.cpuSlot >= 4) {
            benchmark::RegisterBenchmark((std::string("vecmath/") + k.name + "/wide").c_str(),
                                         runKernel, &k, true)
                ->Arg(1024)
                ->Arg(1048576);
        }
    }
    return 0;
}();

}  // namespace
