// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a script that drives the editor with real input asks the host while
// the editor is open: the parameters as the host sees them, the instance's
// state, and what the instance does to audio. Requests come as lines on a
// named pipe; each answer is written to the file the request names, whole
// (written beside it and renamed), so that its appearance means it is done.

#include <functional>
#include <string>

#include "Plugin.h"

namespace lagwell::host {

class Probe {
public:
    // Prepares `plugin` for processing on the main buses (stereo, 48 kHz).
    explicit Probe(Plugin& plugin);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // Runs one request line; `quit` is called for "quit". An empty string,
    // or what is wrong with the request.
    std::string run(const std::string& line, const std::function<void()>& quit);

    // "TITLE=TEXT" per host parameter, with the displayed value, in the
    // plug-in's order; "Program" names the current program.
    std::string parameterText() const;
    // Output per channel after impulses on the inputs (1.0 on input 1 at
    // sample 0, 0.5 on input 2 at sample 1000): "outN:" and the samples
    // above -40 dB as " INDEX:VALUE", at most eight, after a second of
    // silence that clears what came before.
    std::string renderImpulses();

private:
    Plugin& m_plugin;
};

// Lines read from a named pipe as they come; the pipe stays open for
// writers that come and go.
class LineReader {
public:
    // Throws HostError when `path` cannot be opened.
    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    int fd() const { return m_fd; }
    // Calls `line` for each complete line that can be read now.
    void read(const std::function<void(const std::string&)>& line);

private:
    int m_fd = -1;
    std::string m_pending;
};

// Writes `data` to `path` through a file beside it; false on failure.
bool writeWhole(const std::string& path, const std::string& data);

}  // namespace lagwell::host
