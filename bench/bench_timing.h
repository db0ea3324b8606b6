// Timing shared by the benchmark programs that print ratios: the thread's CPU time, so that
// other processes on a shared machine weigh less, and the least of five loops.
#pragma once

#include <stdint.h>
#include <time.h>

namespace benchtiming {

inline double threadCpuNanoseconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

// Nanoseconds of the thread's CPU time per call of fn: the least of five loops of at least
// 10 ms each, the same measure for both sides of a ratio. fn(i) gets the call's number, so
// that it can pick the next of several distinct inputs.
template <class Fn>
double nanosecondsPerCall(Fn fn) {
    double best = 0;
    int64_t call = 0;
    for (int round = 0; round < 5; ++round) {
        int64_t calls = 0;
        const double start = threadCpuNanoseconds();
        double spent = 0;
        do {
            for (int i = 0; i < 16; ++i) fn(call++);
            calls += 16;
            spent = threadCpuNanoseconds() - start;
        } while (spent < 1e7);
        const double perCall = spent / static_cast<double>(calls);
        if (round == 0 || perCall < best) best = perCall;
    }
    return best;
}

}  // namespace benchtiming
