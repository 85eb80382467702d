// SPDX-License-Identifier: GPL-3.0-or-later
#include "Support/RunProgram.h"

#include <sys/wait.h>

#include <cstdio>

namespace zel::test {

RunResult runProgram(const std::string& program, const std::vector<std::string>& args) {
    const auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = quote(program);
    for (const std::string& arg : args) command += " " + quote(arg);
    command += " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace zel::test
