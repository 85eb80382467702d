// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace zel::platform {

// Shows a message that the user has to see; for now it goes to the
// standard error output.
void showErrorText(const std::string& title, const std::string& text);

}  // namespace zel::platform
