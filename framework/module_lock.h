// The lock that every live effect object holds on the module that contains it, so that the module
// is not unloaded under the object. The framework does not know that module: the server installs a
// hook when it starts. Without a hook (effect classes linked straight into a program, as the tests
// do) taking and giving back the lock does nothing.
#pragma once

#include "platform/win32.h"

namespace corvane {

// Both functions are interlocked and return the new count.
struct ModuleLockHook {
    LONG (*lock)();
    LONG (*unlock)();
};

// Installs hook, which must outlive its use (static storage); NULL removes it. Returns the hook
// installed before. Install it before the first effect object exists, and remove it only after the
// last one is gone: a lock taken through one hook must be given back through the same.
const ModuleLockHook* InstallModuleLockHook(const ModuleLockHook* hook) noexcept;

// Through the installed hook; 0 when there is none.
LONG LockModule() noexcept;
LONG UnlockModule() noexcept;

}  // namespace corvane
