// The main of the Windows test programs. Wine 8 now and then dies with SIGSEGV ending a process
// one of whose threads waits in a system call, and GoogleTest keeps such a thread, waiting for the
// end of each thread that used its per-thread state (a trace, a skip, an expected failure). So the
// calling thread ends first, which lets those watchers end, and the process ends when alone.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "platform/win32.h"
#include "tests/support/process.h"

#include <tlhelp32.h>

namespace corvane::testing {
namespace {

HANDLE g_ended;
unsigned g_code;

int ThreadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 e{};
    e.dwSize = sizeof e;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &e); more; more = Thread32Next(snapshot, &e))
        n += e.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return n;
}

DWORD WINAPI EndWhenAlone(void*) {
    WaitForSingleObject(g_ended, INFINITE);
    // Watchers end at once; a thread a test left waiting is waited for 10 s at the most.
    for (int ms = 0; ms < 10000 && ThreadsOfThisProcess() > 1; ++ms) Sleep(1);
    exit(static_cast<int>(g_code));
}

}  // namespace

void EndProcess(unsigned code) {
    fflush(nullptr);
    g_code = code;
    g_ended = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    const HANDLE finisher = CreateThread(nullptr, 0, EndWhenAlone, nullptr, 0, nullptr);
    if (g_ended == nullptr || finisher == nullptr) ExitProcess(code);
    ExitThread(code);
}

}  // namespace corvane::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    corvane::testing::EndProcess(static_cast<unsigned>(RUN_ALL_TESTS()));
}
