// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

#include "Core/Object.h"

namespace zel {

// `audio:audio-env`: the facts of the audio stream that other threads read,
// and the lock that guards the hand-over of parameter changes to the audio
// thread. Callers hold lock() while they read or write the fields.
class CAudioEnv final : public CObject {
public:
    std::mutex& lock() { return m_lock; }

    double sampleRate = 0.0;
    double blockStartTime = 0.0;
    double blockEndTime = 0.0;
    long long latency = 0;

private:
    std::mutex m_lock;
};

}  // namespace zel
