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
// that it can pick the next of several distinct inputs. Reading the clock is a system call of
// about 0.4 us here, which would weigh on short calls and pull every ratio towards 1: the batch
// between two reads doubles until it takes 0.1 ms.
template <class Fn>
double nanosecondsPerCall(Fn fn) {
    double best = 0;
    int64_t call = 0;
    for (int round = 0; round < 5; ++round) {
        int64_t calls = 0, batch = 1;
        const double start = threadCpuNanoseconds();
        double spent = 0;
        do {
            for (int64_t i = 0; i < batch; ++i) fn(call++);
            calls += batch;
            const double before = spent;
            spent = threadCpuNanoseconds() - start;
            if (spent - before < 1e5) batch *= 2;
        } while (spent < 1e7);
        const double perCall = spent / static_cast<double>(calls);
        if (round == 0 || perCall < best) best = perCall;
    }
    return best;
}

}  // namespace benchtiming
