// The live-object check of every test that includes this header: a GoogleTest listener that fails
// a test at its end when host objects it created are still alive (corvane::host::LiveObjectCount).
#pragma once

#include <gtest/gtest.h>

namespace corvane::testing {

// Adds the listener to the test program once; true afterwards. Tests need not call it: including
// this header installs it before main runs.
bool InstallLiveObjectListener();

// The check the listener runs at the end of a test, for a test to run by hand: fails (a
// non-fatal failure) when more host objects are alive than `before`, or any when `before` is 0.
void ExpectNoLiveObjects(long before, const char* when);

inline const bool kLiveObjectListenerInstalled = InstallLiveObjectListener();

}  // namespace corvane::testing
