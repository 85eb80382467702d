// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A virtual X server of a test's own, on a display number that it picks
// itself, so that parallel tests never share one. Unavailable (and the
// test skips) where Xvfb is not installed.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace lagwell::test {

class CXvfb {
public:
    CXvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            // Quiet: only the display number is of interest. Without
            // -noreset the server resets when its last client leaves and
            // refuses the next test's connection while it does.
            freopen("/dev/null", "w", stderr);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0",
                   "1024x768x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (m_pid < 0) {
            close(fds[0]);
            return;
        }
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) {
            stop();
            return;
        }
        m_display = ":" + number;
    }
    ~CXvfb() { stop(); }
    CXvfb(const CXvfb&) = delete;
    CXvfb& operator=(const CXvfb&) = delete;

    bool isRunning() const { return !m_display.empty(); }
    const std::string& display() const { return m_display; }
    // Makes this server the one that new connections of the process use.
    void use() const { setenv("DISPLAY", m_display.c_str(), 1); }
    // Ends the server at once, as a crash would.
    void kill() {
        if (m_pid > 0) ::kill(m_pid, SIGKILL);
        stop();
    }
    // Runs a shell command against this server; its exit status.
    int run(const std::string& command) const { return std::system(("DISPLAY=" + m_display + " " + command).c_str()); }

private:
    void stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace lagwell::test
