// Test-only seam of the real-FFT set-up (test builds only): the base-table hook.
#include "dsp/fft/builders.h"

#if CORVANE_DSP_TEST_SEAMS

#include <atomic>

namespace {
std::atomic<DspFftBaseTableHook> g_baseTableHook{nullptr};
}  // namespace

extern "C" {

void dspTestSetFftBaseTableHook(DspFftBaseTableHook hook) {
    g_baseTableHook.store(hook, std::memory_order_release);
}

DspFftBaseTableHook dspTestFftBaseTableHook(void) {
    return g_baseTableHook.load(std::memory_order_acquire);
}

}  // extern "C"

#endif
