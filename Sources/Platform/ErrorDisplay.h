// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace zel::platform {

// Where messages that the user has to see go: the window of an open editor
// takes them; with none open (or when it cannot take them) they go to the
// standard error output.
using CErrorSink = std::function<bool(const std::string& title, const std::string& text)>;

// The sink added last takes the messages until it is removed; the token
// removes it. A sink is called from any thread, under a lock that its
// removal also takes, so that it never runs once removed: it must only
// hand the message over, never show errors itself.
int addErrorSink(CErrorSink sink);
void removeErrorSink(int token);

void showErrorText(const std::string& title, const std::string& text);
// Straight to the standard error output.
void printErrorText(const std::string& title, const std::string& text);

}  // namespace zel::platform
