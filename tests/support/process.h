// Running another program from a test, as Windows starts programs: one command line, which the
// C runtime of the program splits into its arguments again.
#pragma once

#include <string>
#include <vector>

namespace corvane::testing {

// The words of a command line written for a POSIX shell, as far as the tests write them: blanks
// separate words, '...' quotes literally, "..." quotes with \" for a quote; a backslash elsewhere
// stands for itself (Windows' paths are full of them).
std::vector<std::string> CommandWords(const std::string& line);

// The command line that gives the program exactly these arguments: each quoted where it must be
// (empty, or holding blanks or double quotes), backslashes doubled before a quote.
std::string WindowsCommandLine(const std::vector<std::string>& words);

// Runs program (a path, UTF-8) with args, its input empty, and waits for it. Its exit code, or -1
// (with a test failure) when it cannot be started; *output, when given, receives what it wrote on
// its standard output and error. Windows only.
int RunProcess(const std::string& program, const std::vector<std::string>& args,
               std::string* output);

// Ends the test program with code, its output flushed, once its other threads have ended (the
// tests' main on Windows, tests/gtest_main_windows.cpp). Windows only.
[[noreturn]] void EndProcess(unsigned code);

}  // namespace corvane::testing
