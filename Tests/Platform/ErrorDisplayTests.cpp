// SPDX-License-Identifier: GPL-3.0-or-later
// Where the messages that the user has to see go.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/ErrorDisplay.h"

namespace zel::platform {
namespace {

struct CTakenMessages {
    std::vector<std::string> texts;
    bool accept = true;
    int add() {
        return addErrorSink([this](const std::string&, const std::string& text) {
            texts.push_back(text);
            return accept;
        });
    }
};

std::string printedBy(const std::string& text) {
    testing::internal::CaptureStderr();
    showErrorText("Title", text);
    return testing::internal::GetCapturedStderr();
}

TEST(ErrorDisplay, TheLastEditorOpenTakesMessagesUntilItGoesThenTheOneBefore) {
    CTakenMessages first, second;
    const int a = first.add();
    const int b = second.add();
    EXPECT_EQ(printedBy("one"), "");
    removeErrorSink(b);
    EXPECT_EQ(printedBy("two"), "");
    removeErrorSink(a);
    EXPECT_EQ(printedBy("three"), "Title\n\nthree\n") << "with no editor open, it is printed";
    EXPECT_EQ(first.texts, std::vector<std::string>{"two"});
    EXPECT_EQ(second.texts, std::vector<std::string>{"one"});
    removeErrorSink(a);
}

TEST(ErrorDisplay, AMessageThatTheEditorCannotTakeIsPrinted) {
    CTakenMessages refusing;
    refusing.accept = false;
    const int token = refusing.add();
    EXPECT_EQ(printedBy("lost"), "Title\n\nlost\n");
    EXPECT_EQ(refusing.texts.size(), 1u);
    removeErrorSink(token);
}

}  // namespace
}  // namespace zel::platform
