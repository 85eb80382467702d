// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <mutex>

#include "Core/Object.h"

namespace zel {

// `audio:audio-env`: the facts of the audio stream that other threads read.
// Callers hold lock() while they read or write the sample rate and the
// latency; the block times are the audio thread's, which takes no lock.
class CAudioEnv final : public CObject {
public:
    std::mutex& lock() { return m_lock; }

    double sampleRate = 0.0;
    std::atomic<double> blockStartTime{0.0};
    std::atomic<double> blockEndTime{0.0};
    long long latency = 0;

private:
    std::mutex m_lock;
};

}  // namespace zel
