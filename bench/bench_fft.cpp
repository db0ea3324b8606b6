// Real FFT: the set-up of every slot body at orders 6, 11, 16, 20 and 24 (buffers of the
// reported sizes, allocated once per run), and the forward transform of every body at each order
// from 4 that it transforms (out of place, flag 8) beside FFTW 3's r2c plan of the same size
// (MEASURE, double, out of place, one thread), timed in the same run: each forward benchmark
// reports `ns` and `fftw_ns` (both measured the same way: the median of nine loops of at least
// 10 ms of the thread's CPU time, the two sides taking turns, so that other processes on a
// shared machine weigh less and alike) and their `ratio`; the `dispatch` row runs the public
// entry, which takes the process's own slot. Before timing, the two outputs must agree to 1e-13
// of the largest bin, or the benchmark stops with an error.
//
// The inverse of every body at each order from 4 that it transforms (out of place, flag 8), and
// of the public entry (`dispatch`), beside FFTW's c2r plan of the same size (MEASURE, out of
// place). A c2r plan overwrites its input, so each call of either side transforms a fresh copy
// of the one spectrum: the copy and the transform are timed together, the copy alone is timed in
// the same rounds, and `ns` and `fftw_ns` are the medians over the rounds of the difference,
// `ratio` their quotient. Ours leaves its input intact and is also timed straight, as is the
// same slot's forward: `direct_ns`, `fwd_ns` and their `fwd_ratio`. Nine rounds, each one loop of
// every measure in turn. Before timing, the samples must agree with FFTW's to 1e-13 of the
// largest.
//
// The fresh rows (`fft_forward_fresh`, `fft_inverse_fresh`: slots 4 and 5 and the public entry)
// take each call's input from a pool of distinct blocks, 16 MiB together (far beyond the
// second-level cache), in turn, as a stream of new blocks would arrive; the output stays one
// buffer. Both sides run the same pool the same way, FFTW through its new-array execute; a pass
// over the pool is timed as a whole, and the pool is written again, untimed, before every pass
// of either side, since FFTW's c2r destroys its input. `ns`, `fftw_ns` and `ratio` as above
// (medians of nine rounds); the inverse rows also time the same body's forward over a pool of
// signals in the same rounds (`fwd_ns`, `fwd_ratio`).
#include "bench/bench_timing.h"
#include "corvane/dsp.h"
#include "dsp/support/slot_tables.h"
#include "dsp/testing.h"

#include <benchmark/benchmark.h>

#if CORVANE_BENCH_FFTW
#include <fftw3.h>
#endif

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const auto& kSize = dspslots::dspFftGetSizeReal64f;
const auto& kInit = dspslots::dspFftInitReal64f;
const auto& kForward = dspslots::dspFftFwdRealToCcs64f;
const auto& kInverse = dspslots::dspFftInvCcsToReal64f;

// The largest order every body is timed at, in both directions (above, the transforms are
// memory-bound and only reported).
constexpr int kLastOrder = 24;

// The forward row of the public dispatch.
constexpr int kDispatch = -1;

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

// 64-byte aligned doubles.
struct Aligned {
    explicit Aligned(size_t n) : raw(n + 8) {}
    double* data() {
        const uintptr_t a = reinterpret_cast<uintptr_t>(raw.data());
        return raw.data() + ((64 - a % 64) % 64) / 8;
    }
    std::vector<double> raw;
};

// One loop of at least 10 ms of fn(), in nanoseconds per call (bench_timing.h).
template <class Fn>
double oneLoop(Fn fn) {
    auto counted = [&](int64_t) { fn(); };
    int64_t call = 0;
    return benchtiming::nanosecondsPerCallInOneLoop(counted, call);
}
constexpr int kRounds = 9;

double medianOf(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// kRounds rounds, each one measure of every function in turn (measure(fn) in nanoseconds per
// call): times[f][round].
template <class Measure, class... Fn>
std::vector<std::vector<double>> interleavedRounds(Measure measure, Fn... fn) {
    std::vector<std::vector<double>> times(sizeof...(Fn));
    for (int r = 0; r < kRounds; ++r) {
        size_t f = 0;
        ((times[f++].push_back(measure(fn))), ...);
    }
    return times;
}

// The medians of nine loops a side, the two sides taking turns.
template <class A, class B>
void interleavedMedians(A a, B b, double& nsA, double& nsB) {
    const auto t = interleavedRounds([](auto& fn) { return oneLoop(fn); }, a, b);
    nsA = medianOf(t[0]);
    nsB = medianOf(t[1]);
}

// The median over the rounds of times[with] - times[without]: a measure with a step timed
// alone in the same rounds taken out.
double medianLess(const std::vector<std::vector<double>>& times, size_t with, size_t without) {
    std::vector<double> d;
    for (size_t r = 0; r < times[with].size(); ++r) d.push_back(times[with][r] - times[without][r]);
    return medianOf(d);
}

#if CORVANE_BENCH_FFTW
// One r2c plan per order, made once for the run (MEASURE destroys its arrays while planning).
// The c2r plan reads `out` and writes `back`.
struct FftwPlan {
    double* in = nullptr;
    fftw_complex* out = nullptr;
    double* back = nullptr;
    fftw_plan plan = nullptr, inversePlan = nullptr;
    explicit FftwPlan(int order) {
        const int n = 1 << order;
        // MEASURE tries every algorithm it knows, for minutes from order 20 on; what it found
        // within the limit is as good as this benchmark needs.
        fftw_set_timelimit(order >= 20 ? 30.0 : FFTW_NO_TIMELIMIT);
        in = fftw_alloc_real(n);
        out = fftw_alloc_complex(n / 2 + 1);
        back = fftw_alloc_real(n);
        plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
        inversePlan = fftw_plan_dft_c2r_1d(n, out, back, FFTW_MEASURE);
    }
    ~FftwPlan() {
        fftw_destroy_plan(plan);
        fftw_destroy_plan(inversePlan);
        fftw_free(in);
        fftw_free(out);
        fftw_free(back);
    }
};

// FFTW's MEASURE planning takes minutes from order 22 on: its wisdom is kept in the build tree
// (CORVANE_FFTW_WISDOM) and reused by later runs.
FftwPlan& fftwPlan(int order) {
    static std::map<int, std::unique_ptr<FftwPlan>> plans;
    static const int imported = fftw_import_wisdom_from_filename(CORVANE_FFTW_WISDOM);
    (void)imported;
    std::unique_ptr<FftwPlan>& p = plans[order];
    if (!p) {
        p = std::make_unique<FftwPlan>(order);
        fftw_export_wisdom_to_filename(CORVANE_FFTW_WISDOM);
    }
    return *p;
}

#endif

// The slot a row runs (the dispatch's own choice for the public entry) and an unscaled set-up of
// its order, shared by the forward and the inverse rows.
struct RowSetup {
    bool dispatch = false;
    int slot = 0;
    int order = 0;
    int n = 0;
    std::vector<BYTE> mem, buf, work;
    DspFftSpecReal64f* spec = nullptr;

    // False (the row skipped) when the processor lacks the slot.
    bool prepare(benchmark::State& state, int wanted) {
        dispatch = wanted == kDispatch;
        slot = wanted;
        if (!dispatch && !dspSlotSupported(slot)) {
            state.SkipWithError("CPU slot not supported here");
            return false;
        }
        if (dispatch) {
            dspTestResetCpu();
            dspInitCpu();
            slot = dspGetCpuSlot();
        } else {
            dspTestForceCpu(dspSlotSsse3, dspFeatAll);
        }
        order = static_cast<int>(state.range(0));
        n = 1 << order;
        int S = 0, B = 0, W = 0;
        kSize[slot](order, dspFftScaleNone, 0, &S, &B, &W);
        mem.assign(S, 0);
        buf.assign(B + 1, 0);
        work.assign(W + 1, 0);
        kInit[slot](&spec, order, dspFftScaleNone, 0, mem.data(), B ? buf.data() : nullptr);
        return true;
    }
};

void forward(benchmark::State& state, int wanted) {
    RowSetup row;
    if (!row.prepare(state, wanted)) return;
    const int slot = row.slot;
    const int order = row.order;
    const int n = row.n;
    std::vector<BYTE>& work = row.work;
    DspFftSpecReal64f* spec = row.spec;
    const auto run = row.dispatch ? dspFftFwdRealToCcs64f : kForward[slot];
    Aligned src(n), dst(n + 2);
    std::mt19937_64 rng(order);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::generate(src.data(), src.data() + n, [&] { return u(rng); });
    if (run(src.data(), dst.data(), spec, work.data()) != dspOk) {
        state.SkipWithError("forward transform refused the order");
        return;
    }
#if CORVANE_BENCH_FFTW
    FftwPlan& p = fftwPlan(order);
    std::copy(src.data(), src.data() + n, p.in);
    fftw_execute(p.plan);
    double err = 0, norm = 0;
    for (int k = 0; k <= n / 2; ++k) {
        const double dr = dst.data()[2 * k] - p.out[k][0], di = dst.data()[2 * k + 1] - p.out[k][1];
        err = std::max(err, std::hypot(dr, di));
        norm = std::max(norm, std::hypot(p.out[k][0], p.out[k][1]));
    }
    if (err > 1e-13 * norm) {
        state.SkipWithError("output differs from FFTW's");
        return;
    }
#endif
    for (auto _ : state) {
        run(src.data(), dst.data(), spec, work.data());
        benchmark::ClobberMemory();
    }
#if CORVANE_BENCH_FFTW
    double ours = 0, fftw = 0;
    interleavedMedians([&] { run(src.data(), dst.data(), spec, work.data()); },
                       [&] { fftw_execute(p.plan); }, ours, fftw);
    state.counters["ns"] = ours;
    state.counters["fftw_ns"] = fftw;
    state.counters["ratio"] = ours / fftw;
#endif
    dspTestResetCpu();
}

void inverse(benchmark::State& state, int wanted) {
    RowSetup row;
    if (!row.prepare(state, wanted)) return;
    const int slot = row.slot;
    const int order = row.order;
    const int n = row.n;
    std::vector<BYTE>& work = row.work;
    DspFftSpecReal64f* spec = row.spec;
    const auto run = row.dispatch ? dspFftInvCcsToReal64f : kInverse[slot];
    Aligned signal(n), spectrum(n + 2), dst(n);
    std::mt19937_64 rng(order);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::generate(signal.data(), signal.data() + n, [&] { return u(rng); });
    if (kForward[slot](signal.data(), spectrum.data(), spec, work.data()) != dspOk ||
        run(spectrum.data(), dst.data(), spec, work.data()) != dspOk) {
        state.SkipWithError("transform refused the order");
        return;
    }
#if CORVANE_BENCH_FFTW
    FftwPlan& p = fftwPlan(order);
    std::copy(signal.data(), signal.data() + n, p.in);
    fftw_execute(p.plan);
    fftw_execute(p.inversePlan);
    double err = 0, norm = 0;
    for (int t = 0; t < n; ++t) {
        err = std::max(err, std::fabs(dst.data()[t] - p.back[t]));
        norm = std::max(norm, std::fabs(p.back[t]));
    }
    if (err > 1e-13 * norm) {
        state.SkipWithError("output differs from FFTW's");
        return;
    }
#endif
    for (auto _ : state) {
        run(spectrum.data(), dst.data(), spec, work.data());
        benchmark::ClobberMemory();
    }
    // The fresh copy of the spectrum that a call transforms (FFTW's goes to its plan's input).
    Aligned copy(n + 2);
    const auto copyInto = [&](double* to) {
        std::copy(spectrum.data(), spectrum.data() + n + 2, to);
        benchmark::ClobberMemory();
    };
    const auto copyAlone = [&] { copyInto(copy.data()); };
    const auto copyAndOurs = [&] {
        copyInto(copy.data());
        run(copy.data(), dst.data(), spec, work.data());
    };
    const auto ours = [&] { run(spectrum.data(), dst.data(), spec, work.data()); };
    const auto fwd = [&] { kForward[slot](signal.data(), dst.data(), spec, work.data()); };
    const auto loop = [](auto& fn) { return oneLoop(fn); };
#if CORVANE_BENCH_FFTW
    const auto copyAndFftw = [&] {
        copyInto(reinterpret_cast<double*>(p.out));
        fftw_execute(p.inversePlan);
    };
    const auto t = interleavedRounds(loop, copyAlone, copyAndOurs, copyAndFftw, ours, fwd);
    state.counters["ns"] = medianLess(t, 1, 0);
    state.counters["fftw_ns"] = medianLess(t, 2, 0);
    state.counters["ratio"] = medianLess(t, 1, 0) / medianLess(t, 2, 0);
    state.counters["copy_ns"] = medianOf(t[0]);
#else
    const auto t = interleavedRounds(loop, copyAlone, copyAndOurs, ours, fwd);
    state.counters["ns"] = medianLess(t, 1, 0);
#endif
    const double direct = medianOf(t[t.size() - 2]), forwardNs = medianOf(t.back());
    state.counters["direct_ns"] = direct;
    state.counters["fwd_ns"] = forwardNs;
    state.counters["fwd_ratio"] = direct / forwardNs;
    dspTestResetCpu();
}

// A pool of `count` distinct blocks of `doubles` values, each 64-byte aligned, `bytes` together
// at least, filled from `seed` (and written again from the copy by restore()).
struct Pool {
    static constexpr size_t kBytes = size_t(16) << 20;
    Pool(size_t doubles, unsigned seed)
        : stride((doubles + 7) & ~size_t(7)),
          count(std::max<size_t>(2, kBytes / (8 * stride))),
          values(count * stride + 8),
          master(count * stride) {
        std::mt19937_64 rng(seed);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        std::generate(master.begin(), master.end(), [&] { return u(rng); });
        restore();
    }
    double* block(size_t i) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(values.data());
        return values.data() + ((64 - a % 64) % 64) / 8 + i * stride;
    }
    void restore() { std::copy(master.begin(), master.end(), block(0)); }
    size_t stride, count;
    std::vector<double> values, master;
};

// Nanoseconds per call of fn(block) over whole passes of the pool, at least 10 ms of them, the
// pool restored before each pass.
template <class Fn>
double onePoolLoop(Pool& pool, Fn fn) {
    double spent = 0;
    int64_t calls = 0;
    do {
        pool.restore();
        const double start = benchtiming::threadCpuNanoseconds();
        for (size_t i = 0; i < pool.count; ++i) fn(pool.block(i));
        spent += benchtiming::threadCpuNanoseconds() - start;
        calls += static_cast<int64_t>(pool.count);
    } while (spent < 1e7);
    return spent / static_cast<double>(calls);
}

#if CORVANE_BENCH_FFTW
void fresh(benchmark::State& state, int wanted, bool inverse) {
    RowSetup row;
    if (!row.prepare(state, wanted)) return;
    const int n = row.n;
    const auto run = row.dispatch ? (inverse ? dspFftInvCcsToReal64f : dspFftFwdRealToCcs64f)
                                  : (inverse ? kInverse[row.slot] : kForward[row.slot]);
    Pool pool(inverse ? n + 2 : n, row.order);
    if (inverse) {
        for (size_t i = 0; i < pool.count; ++i) {
            // A spectrum in the packed format: no imaginary part at 0 and n/2.
            pool.master[i * pool.stride + 1] = 0.0;
            pool.master[i * pool.stride + n + 1] = 0.0;
        }
        pool.restore();
    }
    Aligned dst(n + 2);
    if (run(pool.block(0), dst.data(), row.spec, row.work.data()) != dspOk) {
        state.SkipWithError("transform refused the order");
        return;
    }
    FftwPlan& p = fftwPlan(row.order);
    const auto ours = [&](double* in) { run(in, dst.data(), row.spec, row.work.data()); };
    const auto fftw = [&](double* in) {
        if (inverse) {
            fftw_execute_dft_c2r(p.inversePlan, reinterpret_cast<fftw_complex*>(in), p.back);
        } else {
            fftw_execute_dft_r2c(p.plan, in, p.out);
        }
    };
    for (auto _ : state) {
        ours(pool.block(0));
        benchmark::ClobberMemory();
    }
    const auto onPool = [&](auto fn) { return [&pool, fn] { return onePoolLoop(pool, fn); }; };
    const auto measure = [](auto& loop) { return loop(); };
    std::vector<std::vector<double>> t;
    if (inverse) {
        // The same body's forward over a pool of signals, in the same rounds.
        Pool signals(n, row.order + 100);
        const auto forward = [&](double* in) {
            kForward[row.slot](in, dst.data(), row.spec, row.work.data());
        };
        t = interleavedRounds(measure, onPool(ours), onPool(fftw),
                              [&] { return onePoolLoop(signals, forward); });
        state.counters["fwd_ns"] = medianOf(t[2]);
        state.counters["fwd_ratio"] = medianOf(t[0]) / medianOf(t[2]);
    } else {
        t = interleavedRounds(measure, onPool(ours), onPool(fftw));
    }
    state.counters["ns"] = medianOf(t[0]);
    state.counters["fftw_ns"] = medianOf(t[1]);
    state.counters["ratio"] = medianOf(t[0]) / medianOf(t[1]);
    state.counters["blocks"] = static_cast<double>(pool.count);
    dspTestResetCpu();
}
#endif

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
    for (int slot = 0; slot < kDspSlotCountWith2n; ++slot) {
        benchmark::RegisterBenchmark((std::string("fft_forward/") + dspSlotName(slot)).c_str(),
                                     forward, slot)
            ->DenseRange(4, kLastOrder)
            ->Unit(benchmark::kNanosecond);
    }
    benchmark::RegisterBenchmark("fft_forward/dispatch", forward, kDispatch)
        ->DenseRange(4, kLastOrder)
        ->Unit(benchmark::kNanosecond);
    for (int slot = 0; slot < kDspSlotCountWith2n; ++slot) {
        benchmark::RegisterBenchmark((std::string("fft_inverse/") + dspSlotName(slot)).c_str(),
                                     inverse, slot)
            ->DenseRange(4, kLastOrder)
            ->Unit(benchmark::kNanosecond);
    }
    benchmark::RegisterBenchmark("fft_inverse/dispatch", inverse, kDispatch)
        ->DenseRange(4, kLastOrder)
        ->Unit(benchmark::kNanosecond);
#if CORVANE_BENCH_FFTW
    for (bool inv : {false, true}) {
        for (int wanted : {int(dspSlotAvx), int(dspSlotAvx2), kDispatch}) {
            const std::string name =
                std::string(inv ? "fft_inverse_fresh/" : "fft_forward_fresh/") +
                (wanted == kDispatch ? "dispatch" : dspSlotName(wanted));
            benchmark::RegisterBenchmark(name.c_str(), fresh, wanted, inv)
                ->DenseRange(4, 22)
                ->Unit(benchmark::kNanosecond);
        }
    }
#endif
    return 0;
}();

}  // namespace
