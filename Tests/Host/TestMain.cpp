// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// The plug-in keeps application data; a test process gives it a folder of
// its own, which the renderer it starts inherits, and removes it at the end.
int main(int argc, char** argv) {
    const std::string home = std::string(LAGWELL_TEST_DATA_HOME) + "/" + std::to_string(getpid());
    setenv("LAGWELL_DATA_HOME", home.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::filesystem::remove_all(std::filesystem::path(LAGWELL_TEST_TMP) / std::to_string(getpid()), ignored);
    return result;
}
