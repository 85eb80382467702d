// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Core/Application.h"
#include "Support/Documents.h"

namespace {

// Every test program runs with the application started once, as the
// module entry does in a host.
class CApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        zel::CErrorPtr err = zel::CApplication::start();
        ASSERT_EQ(err, nullptr) << err->describe();
    }
    void TearDown() override {
        zel::CApplication::finish();
        std::error_code ignored;
        std::filesystem::remove_all(std::getenv("LAGWELL_DATA_HOME"), ignored);
        zel::removeDocumentScratch();
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Application data never goes to the user's own folders from a test, and
    // test processes that CTest runs side by side never share their files.
    const char* base = std::getenv("LAGWELL_DATA_HOME");
    const std::string home = std::string(base ? base : LAGWELL_TEST_DATA_HOME) + "/" + std::to_string(getpid());
    setenv("LAGWELL_DATA_HOME", home.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CApplicationEnvironment);
    return RUN_ALL_TESTS();
}
