// Running median per CPU slot beside a straightforward reference: an ordered multiset holding
// the window, with an iterator kept on the middle element. Both filter the same signal with a
// delay line; items processed are samples. The signal is fresh: each iteration filters the next
// of 64 distinct blocks (2 MiB in all), so that no branch predictor learns a repeated block.
// Each row prints ns (per sample, the least of five loops of the thread's CPU time), the
// multiset's multiset_ns measured the same way, and ratio = multiset_ns / ns.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/median_references.h"
#include "corvane/dsp.h"
#include "dsp/support/slot_tables.h"

namespace {

constexpr int kLen = 4096;
constexpr int kBlocks = 64;
const int kMasks[] = {3, 9, 13, 17, 25, 33, 49, 65, 101, 255};

std::vector<double> signal(int len, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(len);
    for (double& x : v) x = d(rng);
    return v;
}

// The input blocks of every benchmark: kBlocks distinct blocks of kLen samples.
const std::vector<std::vector<double>>& blocks() {
    static const std::vector<std::vector<double>> b = [] {
        std::vector<std::vector<double>> v;
        for (int k = 0; k < kBlocks; ++k) v.push_back(signal(kLen, 100 + k));
        return v;
    }();
    return b;
}

// Nanoseconds per sample of the multiset reference, per mask, measured once.
double multisetNs(int mask) {
    static std::map<int, double> t;
    if (!t.count(mask)) {
        const std::vector<double> hist = signal(mask - 1, 2);
        std::vector<double> dst(kLen), dly(mask - 1);
        t[mask] = benchtiming::nanosecondsPerCall([&](int64_t call) {
                      benchmedian::multisetMedian(blocks()[call % kBlocks].data(), dst.data(), kLen,
                                                  mask, hist.data(), dly.data());
                      benchmark::DoNotOptimize(dst.data());
                  }) /
                  kLen;
    }
    return t[mask];
}

void BM_Median(benchmark::State& state, int slot, int mask) {
    if (!dspSlotSupported(slot)) {
        state.SkipWithError("slot not supported on this processor");
        return;
    }
    const std::vector<double> hist = signal(mask - 1, 2);
    std::vector<double> dst(kLen), dly(mask - 1);
    std::vector<BYTE> buf(16 * mask);
    const auto run = [&](int64_t call) {
        dspslots::dspMedian64f[slot](blocks()[call % kBlocks].data(), dst.data(), kLen, mask,
                                     hist.data(), dly.data(), buf.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    };
    int64_t call = 0;
    for (auto _ : state) run(call++);
    state.SetItemsProcessed(state.iterations() * kLen);
    const double ours = benchtiming::nanosecondsPerCall(run) / kLen;
    const double ref = multisetNs(mask);
    state.counters["ns"] = ours;
    state.counters["multiset_ns"] = ref;
    state.counters["ratio"] = ref / ours;
}

// The reference must agree with the library before its timings mean anything.
bool referenceAgrees() {
    for (int mask : kMasks) {
        const std::vector<double> src = signal(kLen, 3);
        const std::vector<double> hist = signal(mask - 1, 4);
        std::vector<double> a(kLen), b(kLen), da(mask - 1), db(mask - 1);
        std::vector<BYTE> buf(16 * mask);
        benchmedian::multisetMedian(src.data(), a.data(), kLen, mask, hist.data(), da.data());
        for (int slot = 0; slot < 6; ++slot) {
            if (!dspSlotSupported(slot)) continue;
            dspslots::dspMedian64f[slot](src.data(), b.data(), kLen, mask, hist.data(), db.data(),
                                         buf.data());
            if (a != b || da != db) return false;
        }
    }
    return true;
}

const bool kRegistered = [] {
    for (int mask : kMasks) {
        for (int slot = 0; slot < 6; ++slot) {
            benchmark::RegisterBenchmark(
                ("median/s" + std::to_string(slot) + "/mask:" + std::to_string(mask)).c_str(),
                BM_Median, slot, mask);
        }
    }
    if (!referenceAgrees()) {
        benchmark::RegisterBenchmark("median/REFERENCE_DISAGREES", [](benchmark::State& s) {
            s.SkipWithError("multiset reference and library disagree");
            for (auto _ : s) {
            }
        });
    }
    return true;
}();

}  // namespace
