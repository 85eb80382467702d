// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Core/Notify.h"

namespace zel {

// Collects what CSystem would show while a test runs: each entry is the
// window title, a line break and the window text.
class CShownErrors {
public:
    CShownErrors() {
        CSystem::setErrorDisplay([this](const std::string& title, const std::string& text) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_shown.push_back(title + "\n" + text);
        });
    }
    ~CShownErrors() { CSystem::setErrorDisplay(nullptr); }
    CShownErrors(const CShownErrors&) = delete;
    CShownErrors& operator=(const CShownErrors&) = delete;

    std::vector<std::string> shown() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_shown;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_shown;
};

}  // namespace zel
