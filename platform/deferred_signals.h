// A scope in which the calling thread holds back the asynchronous signals that end a process (an
// interrupt from the terminal, a TERM or HUP from whoever runs it), for a step that must not be
// cut in two, such as a temporary file created and its name removed. A signal that arrives
// meanwhile stays pending and is delivered when the scope ends. Windows ends processes without
// signals, so there the scope does nothing.
#pragma once

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#endif

namespace corvane {

class DeferredSignals {
public:
#if defined(_WIN32)
    DeferredSignals() = default;
#else
    DeferredSignals() {
        sigset_t held;
        sigfillset(&held);
        // Faults raised by the thread itself cannot wait.
        for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&held, s);
        m_held = pthread_sigmask(SIG_BLOCK, &held, &m_previous) == 0;
    }
    ~DeferredSignals() {
        if (m_held) pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
#endif
    DeferredSignals(const DeferredSignals&) = delete;
    DeferredSignals& operator=(const DeferredSignals&) = delete;

private:
#if !defined(_WIN32)
    sigset_t m_previous;
    bool m_held = false;
#endif
};

}  // namespace corvane
