// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ErrorDisplay.h"

#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

namespace zel::platform {

namespace {

struct CSinks {
    std::mutex lock;
    std::vector<std::pair<int, CErrorSink>> sinks;
    int lastToken = 0;
};

// Never destroyed: errors may be shown while the process ends.
CSinks& sinks() {
    static CSinks* all = new CSinks();
    return *all;
}

}  // namespace

int addErrorSink(CErrorSink sink) {
    CSinks& all = sinks();
    std::lock_guard<std::mutex> lock(all.lock);
    all.sinks.emplace_back(++all.lastToken, std::move(sink));
    return all.lastToken;
}

void removeErrorSink(int token) {
    CSinks& all = sinks();
    std::lock_guard<std::mutex> lock(all.lock);
    for (auto it = all.sinks.begin(); it != all.sinks.end(); ++it)
        if (it->first == token) {
            all.sinks.erase(it);
            return;
        }
}

void showErrorText(const std::string& title, const std::string& text) {
    {
        CSinks& all = sinks();
        std::lock_guard<std::mutex> lock(all.lock);
        if (!all.sinks.empty() && all.sinks.back().second(title, text)) return;
    }
    printErrorText(title, text);
}

void printErrorText(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s\n\n%s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace zel::platform
