// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Core/Application.h"

namespace {

// Every test program runs with the application started once, as the
// module entry does in a host.
class CApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        zel::CErrorPtr err = zel::CApplication::start();
        ASSERT_EQ(err, nullptr) << err->describe();
    }
    void TearDown() override { zel::CApplication::finish(); }
};

}  // namespace

int main(int argc, char** argv) {
    // Application data never goes to the user's own folders from a test.
    if (!std::getenv("LAGWELL_DATA_HOME")) setenv("LAGWELL_DATA_HOME", LAGWELL_TEST_DATA_HOME, 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CApplicationEnvironment);
    return RUN_ALL_TESTS();
}
