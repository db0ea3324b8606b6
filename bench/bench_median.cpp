// Running median per CPU slot and through the public entry beside a straightforward reference:
// an ordered multiset holding the window, with an iterator kept on the middle element. Both
// filter the same signal with a delay line; items processed are samples. The signal is fresh:
// each call filters the next of 64 distinct blocks (2 MiB in all), so that no branch predictor
// learns a repeated block; the public entry's rows ending in /hot filter one block over and over.
// Each row prints ns (per sample, the least of five loops of the thread's CPU time), the
// multiset's multiset_ns measured the same way on the same blocks, its loops taking turns with
// ours so that a change in the machine's load weighs on both, and ratio = multiset_ns / ns.
#include <benchmark/benchmark.h>

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
const int kMasks[] = {3, 9, 11, 13, 17, 25, 33, 49, 57, 65, 101, 177, 255, 301};

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

// The public entry, or the body of one slot.
constexpr int kPublic = -1;

void BM_Median(benchmark::State& state, int slot, int mask, bool hot) {
    if (slot != kPublic && !dspSlotSupported(slot)) {
        state.SkipWithError("slot not supported on this processor");
        return;
    }
    const std::vector<double> hist = signal(mask - 1, 2);
    std::vector<double> dst(kLen), dly(mask - 1);
    std::vector<BYTE> buf(16 * mask);
    const auto input = [&](int64_t call) { return blocks()[hot ? 0 : call % kBlocks].data(); };
    auto ours = [&](int64_t call) {
        if (slot == kPublic) {
            dspMedian64f(input(call), dst.data(), kLen, mask, hist.data(), dly.data(), buf.data());
        } else {
            dspslots::dspMedian64f[slot](input(call), dst.data(), kLen, mask, hist.data(),
                                         dly.data(), buf.data());
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    };
    auto reference = [&](int64_t call) {
        benchmedian::multisetMedian(input(call), dst.data(), kLen, mask, hist.data(), dly.data());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    };
    int64_t call = 0;
    for (auto _ : state) ours(call++);
    state.SetItemsProcessed(state.iterations() * kLen);
    // Five loops each, taking turns (each side first in every other round); the least of each.
    double oursNs = 0, refNs = 0;
    int64_t oursCall = 0, refCall = 0;
    for (int round = 0; round < 5; ++round) {
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == (round % 2 == 0);
            const double t = oursNow ? benchtiming::nanosecondsPerCallInOneLoop(ours, oursCall)
                                     : benchtiming::nanosecondsPerCallInOneLoop(reference, refCall);
            double& best = oursNow ? oursNs : refNs;
            if (round == 0 || t < best) best = t;
        }
    }
    state.counters["ns"] = oursNs / kLen;
    state.counters["multiset_ns"] = refNs / kLen;
    state.counters["ratio"] = refNs / oursNs;
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
        dspMedian64f(src.data(), b.data(), kLen, mask, hist.data(), db.data(), buf.data());
        if (a != b || da != db) return false;
    }
    return true;
}

const bool kRegistered = [] {
    for (int mask : kMasks) {
        const std::string suffix = "/mask:" + std::to_string(mask);
        benchmark::RegisterBenchmark(("median/public" + suffix).c_str(), BM_Median, kPublic, mask,
                                     false);
        benchmark::RegisterBenchmark(("median/public" + suffix + "/hot").c_str(), BM_Median,
                                     kPublic, mask, true);
        for (int slot = 0; slot < 6; ++slot) {
            benchmark::RegisterBenchmark(("median/s" + std::to_string(slot) + suffix).c_str(),
                                         BM_Median, slot, mask, false);
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
