// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Audio/Engine/AudioProcess.h"

namespace zel {

// A junction: every input channel goes on to every consumer, shared.
class CModNode final : public CAudioProcessBase {
public:
    void process(size_t) override { output = inputs[0]; }
    bool forwardsInput() const override { return true; }
};

// The terminal of the graph: processes nothing; the engine reads the graph's
// latency through it when the format changes.
class CModOutput final : public CAudioProcessBase {
public:
    void setGraphLatency(long long samples) { m_latency = samples; }
    long long latency() const override { return m_latency; }

private:
    long long m_latency = 0;
};

}  // namespace zel
