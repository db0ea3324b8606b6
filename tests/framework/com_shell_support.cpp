// The module-lock counters that the COM shell's tests link in place of the module's.
#include "platform/win32.h"

namespace corvane {

namespace {
LONG volatile g_moduleLocks = 0;
}  // namespace

LONG ModuleLock() {
    return InterlockedIncrement(&g_moduleLocks);
}
LONG ModuleUnlock() {
    return InterlockedDecrement(&g_moduleLocks);
}

namespace testing {
LONG ShellModuleLocks() {
    return InterlockedCompareExchange(&g_moduleLocks, 0, 0);
}
}  // namespace testing

}  // namespace corvane
