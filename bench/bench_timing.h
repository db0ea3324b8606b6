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

// One loop of at least 10 ms: nanoseconds of the thread's CPU time per call of fn. fn(i) gets
// the call's number (call counts on across loops), so that it can pick the next of several
// distinct inputs. Reading the clock is a system call of about 0.4 us here, as long as a whole
// short call, which would weigh on our side only and pull every ratio towards 1: the batch
// between two reads doubles until it takes 0.1 ms, so that the reads weigh under half a percent.
template <class Fn>
double nanosecondsPerCallInOneLoop(Fn& fn, int64_t& call) {
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
    return spent / static_cast<double>(calls);
}

// The least of five such loops, the same measure for both sides of a ratio.
template <class Fn>
double nanosecondsPerCall(Fn fn) {
    double best = 0;
    int64_t call = 0;
    for (int round = 0; round < 5; ++round) {
        const double perCall = nanosecondsPerCallInOneLoop(fn, call);
        if (round == 0 || perCall < best) best = perCall;
    }
    return best;
}

}  // namespace benchtiming
