// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace zel::test {

// How long a test waits for another thread: generous, since CI machines
// are slow and loaded and sanitizers slow them further; only a hang should
// run into it.
constexpr uint32_t kPatienceMs = 10000;
constexpr std::chrono::milliseconds kPatience{kPatienceMs};

// Polls a condition another thread makes true; false once patience runs out.
template <class F>
bool eventually(F condition) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace zel::test
