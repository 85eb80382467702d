// SPDX-License-Identifier: GPL-3.0-or-later
#include "Probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lagwell::host {

using namespace Steinberg;

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 48000;
constexpr int kLength = 24000;
constexpr float kFloor = 0.01f;  // -40 dB
constexpr size_t kMostPeaks = 8;

}  // namespace

Probe::Probe(Plugin& plugin) : m_plugin(plugin) {
    if (!m_plugin.setMainChannels(2, 2)) throw HostError("the plug-in refuses stereo main buses");
    m_plugin.setupProcessing(kRate, kBlock, Vst::kSample32, Vst::kRealtime);
    m_plugin.start();
}

Probe::~Probe() { m_plugin.stop(); }

std::string Probe::run(const std::string& line, const std::function<void()>& quit) {
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string path = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "quit") {
        quit();
        return {};
    }
    const std::string wrong = "\"" + line + "\" is not a request (params|state|render FILE, quit)";
    if (path.empty()) return wrong;
    std::string answer;
    if (verb == "params")
        answer = parameterText();
    else if (verb == "state") {
        const std::vector<uint8_t> state = m_plugin.saveState();
        answer.assign(state.begin(), state.end());
    } else if (verb == "render")
        answer = renderImpulses();
    else
        return wrong;
    return writeWhole(path, answer) ? std::string() : "cannot write " + path + ": " + std::strerror(errno);
}

std::string Probe::parameterText() const {
    std::string text;
    for (const Parameter& p : m_plugin.parameters())
        text += p.title + "=" + m_plugin.valueText(p.id, m_plugin.controller()->getParamNormalized(p.id)) + "\n";
    return text;
}

std::string Probe::renderImpulses() {
    std::vector<float> in[2], out[2];
    float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < 2; ++c) {
        in[c].assign(size_t(kLength), 0.0f);
        out[c].assign(size_t(kLength), 0.0f);
    }
    auto pass = [&] {
        for (int at = 0; at < kLength; at += kBlock) {
            const int n = std::min(kBlock, kLength - at);
            for (int c = 0; c < 2; ++c) {
                inputs[c] = in[c].data() + at;
                outputs[c] = out[c].data() + at;
            }
            m_plugin.process(n, MainBuses<float>{inputs, 2, outputs, 2});
        }
    };
    // Two passes of silence let what was playing and any fade die out.
    pass();
    pass();
    in[0][0] = 1.0f;
    in[1][1000] = 0.5f;
    pass();
    std::string text;
    for (int c = 0; c < 2; ++c) {
        text += "out" + std::to_string(c + 1) + ":";
        size_t peaks = 0;
        for (size_t i = 0; i < out[c].size() && peaks < kMostPeaks; ++i)
            if (std::fabs(out[c][i]) >= kFloor) {
                char sample[48];
                std::snprintf(sample, sizeof sample, " %zu:%.3f", i, double(out[c][i]));
                text += sample;
                ++peaks;
            }
        text += "\n";
    }
    return text;
}

LineReader::LineReader(const std::string& path) {
    if (mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST)
        throw HostError("cannot make the pipe " + path + ": " + std::strerror(errno));
    // Open for writing as well, so that the last writer closing is no end of file.
    m_fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) throw HostError("cannot open the pipe " + path + ": " + std::strerror(errno));
}

LineReader::~LineReader() {
    if (m_fd >= 0) close(m_fd);
}

void LineReader::read(const std::function<void(const std::string&)>& line) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) m_pending.append(buffer, size_t(n));
    size_t end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        const std::string one = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        if (!one.empty()) line(one);
    }
}

bool writeWhole(const std::string& path, const std::string& data) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace lagwell::host
