// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

namespace lagwell::render {

// A file that cannot be read or written as asked; the message names it.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace lagwell::render
