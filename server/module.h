// The module of the in-process server: its start-up, and its lock count, which every live effect
// object, every outside reference to a class object and every LockServer(TRUE) holds once.
#pragma once

#include "platform/win32.h"

namespace corvane {

// Run by the platform's start-up code of the module: StartModule once when the module is loaded,
// before any export is called (instance: the module's own handle), StopModule once when it is
// unloaded. Until started, and after it is stopped, DllGetClassObject answers E_UNEXPECTED.
// StartModule answers false when the module cannot serve, for a loader that can refuse the load.
bool StartModule(HMODULE instance);
void StopModule();

// Interlocked; each returns the new count. An effect object calls ModuleLock once when it is
// created and ModuleUnlock once when it is destroyed.
LONG ModuleLock();
LONG ModuleUnlock();
// The current count; DllCanUnloadNow answers S_OK only while it is 0.
LONG ModuleLockCount();

}  // namespace corvane
