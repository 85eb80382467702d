// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ErrorDisplay.h"

#include <cstdio>

namespace zel::platform {

void showErrorText(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s\n\n%s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace zel::platform
