// The module-lock hook that the COM shell's tests install in place of the module's: it counts.
#include "framework/module_lock.h"

namespace corvane {

namespace {
LONG volatile g_moduleLocks = 0;

LONG CountLock() {
    return InterlockedIncrement(&g_moduleLocks);
}
LONG CountUnlock() {
    return InterlockedDecrement(&g_moduleLocks);
}

const ModuleLockHook kCountingHook = {&CountLock, &CountUnlock};
// Installed before main, so before any effect object of these tests exists.
const bool kHookInstalled = (InstallModuleLockHook(&kCountingHook), true);
}  // namespace

namespace testing {
LONG ShellModuleLocks() {
    (void)kHookInstalled;
    return InterlockedCompareExchange(&g_moduleLocks, 0, 0);
}
}  // namespace testing

}  // namespace corvane
