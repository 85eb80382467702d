// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Audio/Engine/AudioParamSlot.h"
#include "Core/Error.h"

namespace zel {

class CAudioProcessDefBase;

// The signal work of one channel inside a module process (delay, gain,
// bypass, meter). The process creates one per input channel, binds its
// numbered slots to parameters, and calls update() before a block whenever
// the format or a bound value changed.
class CAudioModule {
public:
    explicit CAudioModule(size_t slotCount) : m_slots(slotCount) {}
    virtual ~CAudioModule() = default;

    // Reads the definition's attributes; called once, off the audio thread.
    virtual CErrorPtr init(const CAudioProcessDefBase&) { return nullptr; }
    // Clears the signal history (delay lines, levels, fades).
    virtual void reset() {}
    // Takes over changed slot values and, after formatChanged was set, the
    // stream format; clears formatChanged.
    virtual void update() = 0;
    // Latency of the module's output, in samples.
    virtual long long latency() const { return inputLatency; }
    // The latency the module itself adds at a sample rate, decided by the
    // definition alone: known before the module has run a block.
    virtual long long ownLatency(double /*sampleRate*/) const { return 0; }

    std::vector<CAudioParamSlot>& slots() { return m_slots; }
    const CAudioParamSlot& slot(size_t i) const { return m_slots[i]; }
    bool anySlotChanged() const {
        for (const auto& s : m_slots)
            if (s.changed()) return true;
        return false;
    }
    void markSlotsSeen() {
        for (auto& s : m_slots) s.markSeen();
    }

    // Set by the process before init.
    double sampleRate = 0.0;
    size_t maxBlock = 0;
    int group = 0;    // the channel group whose values the module reads
    int element = 0;  // the element within the group
    int channel = 0;  // the internal channel it processes
    // Set by the process when the sample rate or block format changed.
    bool formatChanged = true;
    // Latency of the module's input, in samples.
    long long inputLatency = 0;

protected:
    std::vector<CAudioParamSlot> m_slots;
};

}  // namespace zel
