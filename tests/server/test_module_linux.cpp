// What only a Linux module can show: the dynamic symbols it defines and those it leaves for the
// loader to bind.
#include <stdio.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/server/server_support.h"

namespace corvane::testing {
namespace {

// The names of the module's dynamic symbols that nm lists with `which` ("--defined-only", ...).
std::set<std::string> DynamicSymbols(const char* which) {
    const std::string command = std::string(CORVANE_NM) + " -D " + which + " " + ModulePath();
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::set<std::string> names;
    if (pipe == nullptr) return names;
    char line[1024];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        // "<address> <type> <name>"
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        size_t last = s.find_last_of(' ');
        names.insert(last == std::string::npos ? s : s.substr(last + 1));
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST(ModuleSymbols, ExportsExactlyTheFiveEntryPoints) {
    const std::set<std::string> names = DynamicSymbols("--defined-only");
    const std::set<std::string> expected = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                            "DllRegisterServer", "DllUnregisterServer"};
    EXPECT_EQ(names, expected);
}

TEST(ModuleSymbols, CallsTheFilterGraphLibrariesOnlyThroughTheTable) {
    // The graph libraries are the host's: nothing of theirs may be left for the loader to bind.
    const std::set<std::string> undefined = DynamicSymbols("--undefined-only");
    EXPECT_FALSE(undefined.empty());  // the C library at least
    for (const std::string& name : undefined) {
        for (const char* prefix : {"av_", "avfilter_", "avutil_", "swr_"}) {
            EXPECT_NE(name.rfind(prefix, 0), 0u) << name;
        }
    }
}

}  // namespace
}  // namespace corvane::testing
