// corvane-reg, run as a program: what it registers where, and how it refuses bad input.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "tests/server/server_support.h"

namespace corvane::testing {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the program with args (already quoted) from folder cwd (empty: here) with the given
// registry root in the environment (empty: unset).
ToolRun RunTool(const std::string& args, const std::string& envRoot = "",
                const std::string& cwd = "") {
    std::string command;
    if (!cwd.empty()) command += "cd " + Quote(cwd) + " && ";
    command += envRoot.empty() ? "env -u CORVANE_REGISTRY_ROOT "
                               : "env CORVANE_REGISTRY_ROOT=" + Quote(envRoot) + " ";
    command += Quote(CORVANE_REG_PATH) + " " + args + " 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

OleString InprocServer(HKEY hive) {
    OleString value;
    ReadString(hive,
               OLESTR("Software\\Classes\\CLSID\\") + GuidText(CLSID_WahWahFilter5) +
                   OLESTR("\\InprocServer32"),
               nullptr, &value);
    return value;
}

class CorvaneRegTest : public ::testing::Test {
protected:
    std::string Root() const { return Quote(registry_.Dir()); }
    TempRegistry registry_;
};

TEST_F(CorvaneRegTest, RegistersAndUnregistersPerMachine) {
    ToolRun r = RunTool("--root " + Root() + " " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), ModulePathWide());
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), OLESTR(""));

    r = RunTool("--unregister --root " + Root() + " " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), OLESTR(""));
}

TEST_F(CorvaneRegTest, RegistersAndUnregistersForTheUser) {
    ToolRun r = RunTool("--user --root " + Root() + " " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), ModulePathWide());
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), OLESTR(""));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\TypeLib\\") +
                                                 GuidText(LIBID_corvaneLib) +
                                                 OLESTR("\\1.0\\0\\win32")));

    r = RunTool("--root " + Root() + " --unregister --user " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), OLESTR(""));
}

TEST_F(CorvaneRegTest, TakesTheRootFromTheEnvironment) {
    ToolRun r = RunTool(Quote(ModulePath()), registry_.Dir());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), ModulePathWide());
}

TEST_F(CorvaneRegTest, RegistersTheFullPathOfARelativeName) {
    TempDir dir;
    ASSERT_TRUE(CopyModuleTo(dir.Path() + "/libcorvane.so"));
    char resolved[PATH_MAX];
    ASSERT_NE(realpath((dir.Path() + "/libcorvane.so").c_str(), resolved), nullptr);
    for (const char* name : {"libcorvane.so", "./libcorvane.so"}) {
        ToolRun r = RunTool("--root " + Root() + " " + name, "", dir.Path());
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), text::ToUtf16(resolved)) << name;
    }
}

TEST_F(CorvaneRegTest, AFailedUnregistrationPrintsTheResult) {
    ToolRun r = RunTool("--unregister --root " + Root() + " " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("0x8002801C"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("DllUnregisterServer"), std::string::npos) << r.output;
}

struct BadUse {
    const char* name;
    std::string args;
    const char* message;
};

TEST_F(CorvaneRegTest, RefusesBadUseWithoutTouchingTheRegistry) {
    const std::string module = Quote(ModulePath());
    const std::string root = "--root " + Root() + " ";
    const BadUse cases[] = {
        {"no arguments", "", "no module given"},
        {"no module", root, "no module given"},
        {"unknown option", root + "--machine " + module, "unknown option --machine"},
        {"two modules", root + module + " " + module, "one module at a time"},
        {"root without folder", module + " --root", "--root needs a folder"},
        {"missing file", root + "/nonexistent/libcorvane.so", "cannot find"},
        {"not a module", root + Quote(CORVANE_REG_PATH), "cannot load"},
        {"module without exports", root + Quote(CORVANE_PLATFORM_PATH), "exports no"},
    };
    const std::string before = DumpRegistry();
    for (const BadUse& c : cases) {
        ToolRun r = RunTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name << ": " << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.name << ": " << r.output;
        EXPECT_EQ(DumpRegistry(), before) << c.name;
    }
    ToolRun help = RunTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("usage: corvane-reg"), std::string::npos);
}

}  // namespace
}  // namespace corvane::testing
