// The median effect's channel filter over 10 s of mono 44.1 kHz audio in 100 ms blocks, beside
// the same filter with its per-bin running median replaced, in one run. Every side is the whole
// pipeline of the effect (framing, windows, the library's real FFT in both directions,
// magnitudes, the batches, synthesis, overlap-add, the drop and the flush); only the median
// differs:
//   effect       the library's running median (the effect as built)
//   multiset     a std::multiset window per bin, rebuilt from the delay line at each batch
//   nth_element  each window copied out and partly ordered by std::nth_element
//   no median    the magnitudes left as they are: the frame loop's own cost
// The references are compiled here with the project's flags and must give the effect's output
// bit for bit before their times are printed.
//
//   bench_median_effect [--repetitions N]
//
// Each repetition runs every side once over the next of three distinct signals (the order of
// the sides turning each time), timed by the thread's CPU time; a side's figure is the median
// over the repetitions. ns/sample and the realtime factor (seconds of audio per second of
// processing) are of the whole pipeline. Two ratios, the faster reference's time over the
// effect's (1 or more: the effect at least as fast): of the whole pipeline, and of the median
// alone, i.e. each side's time minus the no-median side's of the same repetition.
#include "platform/win32.h"

#include "bench/bench_timing.h"
#include "bench/median_references.h"
#include "effects/MedianFilter.h"
#include "host/effect_params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 10;
constexpr int kBlock = kRate / 10;
constexpr int kSignals = 3;

enum Side { kEffect, kMultiset, kNthElement, kNoMedian, kSides };
const char* const kSideNames[kSides] = {"effect", "multiset", "nth_element", "no median"};

// Music-like mono audio with crackle: moving tones, noise, and a click every 10 to 50 ms.
std::vector<double> MakeSignal(uint32_t seed) {
    std::vector<double> x(static_cast<size_t>(kSeconds) * kRate);
    uint32_t state = seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0;
    };
    size_t click = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        x[i] = 0.2 * std::sin(2 * M_PI * (220.0 + 7.0 * (seed % 50)) * t) +
               0.1 * std::sin(2 * M_PI * 1250.0 * t + 0.3 * std::sin(t)) + 0.05 * (next() - 0.5);
        if (i == click) {
            x[i] += next() - 0.5;
            click += static_cast<size_t>(441 + next() * 1764);
        }
    }
    return x;
}

// The effect's engine without an upstream source: the rows set its format and parameters.
class Engine : public CMedianFilter {
public:
    Engine() : CMedianFilter(GUID{}, GUID{}, 0, 1) {}
    using CBaseFilter::m_pParams;
    using CBaseFilter::m_wfx;
};

// The effect's channel filter with the running median of one side.
class Channel : public CMedianChannelFilter {
public:
    Channel(CBaseFilter* owner, Side side) : CMedianChannelFilter(owner), side_(side) {}

    // The whole signal from a restart, in 100 ms blocks, the stream ending with the last; the
    // output replaces *out.
    void Stream(const std::vector<double>& x, std::vector<double>* out) {
        out->clear();
        Restart();
        for (size_t at = 0; at < x.size(); at += kBlock) {
            const int n = static_cast<int>(std::min<size_t>(kBlock, x.size() - at));
            if (!EnsureBuffers(n)) return;
            std::memcpy(m_pIn, x.data() + at, sizeof(double) * static_cast<size_t>(n));
            const int got = ProcessChannel(n, at + static_cast<size_t>(n) == x.size() ? 1 : 0);
            m_bRestart = false;
            out->insert(out->end(), m_pOut, m_pOut + std::max(got, 0));
        }
    }

    // Samples that go in, one at a time after a restart, before the first comes out (0: none
    // within x).
    size_t FirstOutput(const std::vector<double>& x) {
        Restart();
        for (size_t at = 0; at < x.size(); ++at) {
            if (!EnsureBuffers(1)) return 0;
            m_pIn[0] = x[at];
            const int got = ProcessChannel(1, 0);
            m_bRestart = false;
            if (got > 0) return at + 1;
        }
        return 0;
    }

    // Bytes of the blocks the filter allocated (the FFT set-up buffer, freed after the set-up,
    // included) and of its input and output stores.
    double Bytes() const {
        return static_cast<double>(allocated_) +
               sizeof(double) * static_cast<double>(m_inStore.capacity() + m_outStore.capacity());
    }

protected:
    void* AllocateBlock(size_t bytes) override {
        allocated_ += bytes;
        return CMedianChannelFilter::AllocateBlock(bytes);
    }
    DspStatus RunningMedian(double* srcDst, int len, int mask, const double* dlySrc, double* dlyDst,
                            BYTE* buf) override {
        // The library's window: an even mask uses one sample less.
        const int m = mask % 2 ? mask : mask - 1;
        switch (side_) {
            case kMultiset:
                benchmedian::multisetMedian(srcDst, srcDst, len, m, dlySrc, dlyDst);
                return dspOk;
            case kNthElement:
                benchmedian::nthElementMedian(srcDst, srcDst, len, m, dlySrc, dlyDst, line_,
                                              window_);
                return dspOk;
            case kNoMedian:
                return dspOk;
            default:
                return CMedianChannelFilter::RunningMedian(srcDst, len, mask, dlySrc, dlyDst, buf);
        }
    }

private:
    Side side_;
    size_t allocated_ = 0;
    std::vector<double> line_, window_;
};

struct Row {
    const char* name;
    LONG maskSize;    // 0: the default
    LONG windowType;  // -1: the default (Hann, 50 % overlap); 0: rectangular, no overlap
};

// Parameters of a row as the host's parameter object (a new reference), or null.
IEffectParams* MakeParams(const Row& row) {
    corvane::host::ParamStore store;
    if (row.maskSize > 0) store.Set(OLESTR("MaskSize"), corvane::host::kGlobalIndex, row.maskSize);
    if (row.windowType >= 0) {
        store.Set(OLESTR("WindowType"), corvane::host::kGlobalIndex, row.windowType);
    }
    IEffectParams* p = nullptr;
    return SUCCEEDED(corvane::host::CreateEffectParams(store, &p)) ? p : nullptr;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2.0;
}

// One row: every side over the signals; false when the row could not run.
bool RunRow(const Row& row, const std::vector<std::vector<double>>& signals, int repetitions) {
    Engine engine;
    engine.m_wfx.nSamplesPerSec = kRate;
    engine.m_wfx.wBitsPerSample = 16;
    engine.m_wfx.nChannels = 1;
    engine.m_wfx.nBlockAlign = 2;
    engine.m_pParams = corvane::ComPtr<IEffectParams>(MakeParams(row));  // takes its reference
    if (!engine.m_pParams) return false;
    std::unique_ptr<Channel> channels[kSides];
    std::vector<double> out[kSides];
    for (int s = 0; s < kSides; ++s) {
        channels[s] = std::make_unique<Channel>(&engine, static_cast<Side>(s));
        if (FAILED(channels[s]->ResetChannel()) || FAILED(channels[s]->LoadChannelParams()))
            return false;
        out[s].reserve(signals[0].size() + kBlock);
    }
    Channel& effect = *channels[kEffect];
    std::printf("\n%s: mask %d, N %d, hop %d, %s\n", row.name, effect.Mask(), effect.BlockSize(),
                effect.Hop(), effect.WindowType() == 0 ? "no window" : "windowed");

    std::vector<double> times[kSides], medianOnly[kSides];
    for (int r = 0; r < repetitions; ++r) {
        const std::vector<double>& x = signals[static_cast<size_t>(r) % signals.size()];
        double t[kSides] = {};
        for (int k = 0; k < kSides; ++k) {
            const int s = (r + k) % kSides;
            const double start = benchtiming::threadCpuNanoseconds();
            channels[s]->Stream(x, &out[s]);
            t[s] = benchtiming::threadCpuNanoseconds() - start;
        }
        if (channels[kEffect]->PassingThrough() || out[kEffect].size() != x.size()) {
            std::printf("  the effect did not filter (passing through, or %zu samples of %zu)\n",
                        out[kEffect].size(), x.size());
            return false;
        }
        for (Side s : {kMultiset, kNthElement}) {
            if (out[s] != out[kEffect]) {
                std::printf("  REFERENCE DISAGREES: %s gives other output than the effect\n",
                            kSideNames[s]);
                return false;
            }
        }
        for (int s = 0; s < kSides; ++s) {
            times[s].push_back(t[s] / static_cast<double>(x.size()));
            medianOnly[s].push_back((t[s] - t[kNoMedian]) / static_cast<double>(x.size()));
        }
    }
    std::printf("  memory of the channel after a stream: %.2f MB\n", effect.Bytes() / 1e6);
    const size_t first = effect.FirstOutput(signals[0]);
    std::printf("  first output once %zu samples went in (%.2f s)\n", first,
                static_cast<double>(first) / kRate);
    std::printf("  %-12s %10s %10s %16s\n", "side", "ns/sample", "realtime", "median ns/sample");
    double whole[kSides], alone[kSides];
    for (int s = 0; s < kSides; ++s) {
        whole[s] = Median(times[s]);
        alone[s] = Median(medianOnly[s]);
        std::printf("  %-12s %10.2f %9.0fx", kSideNames[s], whole[s], 1e9 / (whole[s] * kRate));
        if (s != kNoMedian) std::printf(" %16.2f", alone[s]);
        std::printf("\n");
    }
    const Side faster = whole[kMultiset] <= whole[kNthElement] ? kMultiset : kNthElement;
    const Side fasterAlone = alone[kMultiset] <= alone[kNthElement] ? kMultiset : kNthElement;
    std::printf(
        "  ratio, faster reference / effect: whole pipeline %.2f (%s), median alone %.2f "
        "(%s)\n",
        whole[faster] / whole[kEffect], kSideNames[faster], alone[fasterAlone] / alone[kEffect],
        kSideNames[fasterAlone]);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 9;
    if (argc == 3 && std::strcmp(argv[1], "--repetitions") == 0) {
        repetitions = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--repetitions N]\n", argv[0]);
        return 2;
    }
    if (repetitions < 1) {
        std::fprintf(stderr, "bench_median_effect: repetitions must be positive\n");
        return 2;
    }
    std::vector<std::vector<double>> signals;
    for (int k = 0; k < kSignals; ++k) signals.push_back(MakeSignal(1234u + 977u * k));
    std::printf(
        "The median effect's channel filter, %d s mono %d Hz in %d ms blocks, thread CPU "
        "time, median of %d repetitions over %d signals\n",
        kSeconds, kRate, 1000 * kBlock / kRate, repetitions, kSignals);
    const Row rows[] = {
        {"defaults (Hann, 50 % overlap)", 0, -1},
        {"MaskSize 51", 51, -1},
        {"rectangular, no overlap", 0, 0},
    };
    int status = 0;
    for (const Row& row : rows) {
        if (!RunRow(row, signals, repetitions)) status = 1;
    }
    return status;
}
