#include "tests/tools/fx_program.h"

#include "tests/tools/fx_files.h"

#include <sys/wait.h>

namespace corvane::fx {

RunResult RunProgram(const std::string& program, const std::string& args) {
    const std::string log = testing::TempPath("fx_run.log");
    const std::string command = program + " " + args + " >" + log + " 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.output = files::Contents(log);
    std::remove(log.c_str());
    return r;
}

bool RegisterBuiltModule(std::string* folder) {
    *folder = files::NewFolder("fx_registry");
    const RunResult r =
        RunProgram(CORVANE_REG_PATH, "--user --root " + *folder + " " + CORVANE_MODULE_PATH);
    EXPECT_EQ(0, r.exitCode) << r.output;
    return r.exitCode == 0;
}

void UnregisterBuiltModule(const std::string& folder) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

}  // namespace corvane::fx
