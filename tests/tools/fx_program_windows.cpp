#include "tests/tools/fx_program.h"

#include "platform/win32.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

namespace corvane::fx {

namespace {

// The system's regsvr32, silent, with the options given and the built module; its exit code.
int Regsvr32(const std::vector<std::string>& options) {
    OLECHAR system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    OLECHAR module[32768];
    const DWORD m =
        GetFullPathNameW(Utf8ToOle(CORVANE_MODULE_PATH).c_str(), 32768, module, nullptr);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= 32768) {
        ADD_FAILURE() << "cannot name regsvr32 or the module";
        return -1;
    }
    std::vector<std::string> args = {"/s"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(OleToUtf8(OleString(module, m)));
    return testing::RunProcess(OleToUtf8(OleString(system, n)) + "\\regsvr32.exe", args, nullptr);
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::string& args) {
    RunResult r;
    r.exitCode = testing::RunProcess(program, testing::CommandWords(args), &r.output);
    return r;
}

bool RegisterBuiltModule(std::string* folder) {
    folder->clear();
    const int code = Regsvr32({});
    EXPECT_EQ(0, code) << "regsvr32 failed";
    return code == 0;
}

void UnregisterBuiltModule(const std::string&) {
    EXPECT_EQ(0, Regsvr32({"/u"})) << "regsvr32 /u failed";
}

}  // namespace corvane::fx
