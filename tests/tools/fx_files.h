// Files and folders for the corvane-fx tests.
#pragma once

#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::fx::files {

// A fresh empty folder in the test's temporary folder.
inline std::string NewFolder(const std::string& name) {
    const std::string dir = corvane::testing::TempPath(name);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    EXPECT_TRUE(std::filesystem::create_directory(dir, ec)) << dir << ": " << ec.message();
    return dir;
}

// The names in dir (UTF-8), in the order the system lists them.
inline std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(dir), ec))
        names.push_back(e.path().filename().u8string());
    return names;
}

// The bytes of a file; empty when it cannot be read.
inline std::string Contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace corvane::fx::files
