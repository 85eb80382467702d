// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace zel::test {

struct RunResult {
    int status = -1;  // the exit status; -1 when the program did not exit normally
    std::string output;
};

// Runs a program with the arguments (no shell expansion), standard error
// joined to standard output.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace zel::test
