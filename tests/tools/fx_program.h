// Running corvane-fx and the registration it needs as a user does, on each platform
// (fx_program_linux.cpp, fx_program_windows.cpp).
#pragma once

#include <string>

namespace corvane::fx {

struct RunResult {
    int exitCode = -1;   // -1 when the program did not exit normally
    std::string output;  // stdout and stderr
};

// Runs program with args, written as for a POSIX shell (which runs them on Linux; on Windows
// the words of testing::CommandWords), with empty input.
RunResult RunProgram(const std::string& program, const std::string& args);

// Registers the built module where corvane-fx finds it: on Linux per user in a registry folder
// of the test's own, whose name *folder receives; on Windows for the machine by the system's
// regsvr32 (*folder empty). False, with a test failure, when that fails.
bool RegisterBuiltModule(std::string* folder);
// Takes that registration back: removes the folder, or runs regsvr32 /u.
void UnregisterBuiltModule(const std::string& folder);

}  // namespace corvane::fx
