// Files and folders for the corvane-fx tests.
#pragma once

#include "tests/support/sound_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace corvane::fx::files {

// A fresh empty folder in the test's temporary folder.
inline std::string NewFolder(const std::string& name) {
    std::string dir = corvane::testing::TempPath(name);
    std::system(("rm -rf '" + dir + "'").c_str());
    EXPECT_EQ(0, mkdir(dir.c_str(), 0755)) << dir;
    return dir;
}

// The names in dir, without "." and "..", in the order the system lists them.
inline std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
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
