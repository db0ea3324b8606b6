// corvane-reg, run as a program: what it registers where, and how it refuses bad input.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// Starts the program with args (already quoted) from folder cwd (empty: here) with the given
// registry root in the environment (empty: unset); a run past a minute is ended as hung.
FILE* Start(const std::string& args, const std::string& envRoot = "", const std::string& cwd = "") {
    std::string command;
    if (!cwd.empty()) command += "cd " + Quote(cwd) + " && ";
    command += envRoot.empty() ? "env -u CORVANE_REGISTRY_ROOT "
                               : "env CORVANE_REGISTRY_ROOT=" + Quote(envRoot) + " ";
    command += "timeout 60 " + Quote(CORVANE_REG_PATH) + " " + args + " 2>&1";
    return popen(command.c_str(), "r");
}

ToolRun Finish(FILE* pipe) {
    ToolRun run;
    if (pipe == nullptr) return run;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe) != nullptr) run.output += buf;
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs the program and waits for it.
ToolRun RunTool(const std::string& args, const std::string& envRoot = "",
                const std::string& cwd = "") {
    return Finish(Start(args, envRoot, cwd));
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
    ToolRun r = RunTool("--registry-root " + Root() + " " + Quote(ModulePath()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), ModulePathWide());
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), OLESTR(""));

    r = RunTool("--unregister --registry-root=" + Root() + " " + Quote(ModulePath()));
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

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the program says when it cannot do what it was asked, or need not: the file or folder at
// fault with the system's words, or that nothing was registered.
TEST_F(CorvaneRegTest, SaysWhatFailedAndWhere) {
    const std::string module = Quote(ModulePath());
    const std::string dir = registry_.Dir();
    const std::string file = dir + "/file";
    std::ofstream(file) << "x";
    const struct {
        const char* name;
        std::string args;
        int exitCode;
        std::string says;
    } cases[] = {
        {"nothing to unregister per machine", "-u --registry-root " + Root() + " " + module, 0,
         "nothing to unregister: " + ModulePath() + " is not registered per machine in " + dir},
        {"nothing to unregister for the user", "-u --user --root " + Root() + " " + module, 0,
         "nothing to unregister: " + ModulePath() + " is not registered for the current user"},
        {"root on a file", "--registry-root " + Quote(file) + " " + module, 1,
         "(cannot use the registry folder " + file + ": Not a directory)"},
        {"root below a file", "--user --root=" + Quote(file + "/sub") + " " + module, 1,
         "(cannot create the registry folder " + file + "/sub: Not a directory)"},
    };
    for (const auto& c : cases) {
        ToolRun r = RunTool(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << ": " << r.output;
    }

    // A damaged machine hive is named; the user's registration and use go on without it.
    ASSERT_EQ(RunTool("--root " + Root() + " " + module).exitCode, 0);
    const std::string hive = dir + "/machine.hive";
    std::string damaged = FileBytes(hive);
    damaged.insert(damaged.find('\n') + 1, "junk\n");
    std::ofstream(hive, std::ios::binary | std::ios::trunc) << damaged;
    for (const char* args : {"", "-u "}) {
        ToolRun r = RunTool(args + ("--root " + Root() + " " + module));
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find("(the machine hive " + hive + " is damaged (line 2))"),
                  std::string::npos)
            << r.output;
    }
    ToolRun user = RunTool("--user --root " + Root() + " " + module);
    EXPECT_EQ(user.exitCode, 0) << user.output;
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), ModulePathWide());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VolumeFilter5, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    if (object != nullptr) object->Release();
    CoUninitialize();
    EXPECT_EQ(FileBytes(hive), damaged);
}

// A registration per machine keeps a user's registration (even of another copy of the module),
// and each unregistration removes only its own.
TEST_F(CorvaneRegTest, EachScopeKeepsTheOthersRegistration) {
    TempDir copy;
    ASSERT_TRUE(CopyModuleTo(copy.Path() + "/libcorvane.so"));
    const std::string root = "--root " + Root() + " ";
    ASSERT_EQ(RunTool(root + "--user " + Quote(copy.Path() + "/libcorvane.so")).exitCode, 0);
    const OleString classes = OLESTR("Software\\Classes");
    const std::string user = DumpSubtree(HKEY_CURRENT_USER, classes);
    ASSERT_EQ(RunTool(root + Quote(ModulePath())).exitCode, 0);
    EXPECT_EQ(DumpSubtree(HKEY_CURRENT_USER, classes), user);
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), ModulePathWide());
    const std::string machine = DumpSubtree(HKEY_LOCAL_MACHINE, classes);
    ASSERT_EQ(RunTool(root + "-u " + Quote(ModulePath())).exitCode, 0);
    EXPECT_EQ(DumpSubtree(HKEY_CURRENT_USER, classes), user);
    EXPECT_EQ(InprocServer(HKEY_LOCAL_MACHINE), OLESTR(""));
    ASSERT_EQ(RunTool(root + Quote(ModulePath())).exitCode, 0);
    ASSERT_EQ(RunTool(root + "-u --user " + Quote(copy.Path() + "/libcorvane.so")).exitCode, 0);
    EXPECT_EQ(InprocServer(HKEY_CURRENT_USER), OLESTR(""));
    EXPECT_EQ(DumpSubtree(HKEY_LOCAL_MACHINE, classes), machine);
}

// Eight registrations at once, per user and per machine, twenty times over (the first on an
// empty registry, the others over the registration before): every one succeeds, and the registry
// then holds every key of both registrations and nothing else.
TEST_F(CorvaneRegTest, ConcurrentRegistrationsRunOneAfterAnotherAndLoseNoKey) {
    const std::string module = Quote(ModulePath());
    std::string expected;
    {
        TempRegistry reference;
        const std::string root = "--root " + Quote(reference.Dir()) + " ";
        ASSERT_EQ(RunTool(root + "--user " + module).exitCode, 0);
        ASSERT_EQ(RunTool(root + module).exitCode, 0);
        expected = DumpRegistry();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    for (int round = 0; round < 20 && !HasFailure(); ++round) {
        std::vector<FILE*> runs;
        for (int i = 0; i < 8; ++i)
            runs.push_back(Start((i % 2 ? "--user " : "") + ("--root " + Root() + " " + module)));
        for (FILE* run : runs) {
            ToolRun r = Finish(run);
            EXPECT_EQ(r.exitCode, 0) << "round " << round << ": " << r.output;
        }
        EXPECT_EQ(DumpRegistry(), expected) << "round " << round;
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "round " << round;
    }
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
