// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "Core/Object.h"

namespace zel {

class CUpdateTimer;
class CVizExchange;
class CWindowRenderer;

// `ui:level-meter-listener`: the levels of one producer (`viz-name`, e.g.
// "plugin.modMain.modMeterOut") as its meter (the parent) shows them. Every
// frame of its window (or, outside one, of its own update timer made from
// `timer-tag`, at `fps`) it takes the producer's frames from the viz
// exchange (`viz-exchange`, by default "ui.viz-exchange"), fetched within
// the last half frame, and converts them to dB, silence being -inf. A channel
// whose producer published nothing new for `inactive-timeout` seconds (the
// host stopped playing) counts as silent. Tells the meter
// "values-changed" every frame.
class CLevelMeterListener : public CObject {
public:
    static constexpr size_t kMaxChannels = 16;
    struct CChannel {
        double level = -HUGE_VAL;
        double peak = -HUGE_VAL;
        int group = -1;
        uint32_t index = 0;
        // When the producer last published for the channel (seconds).
        double seenSeconds = -1;
    };

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // Internal channel `channel` (0-based).
    const CChannel& channel(size_t channel) const { return m_channels[channel]; }
    // One frame, at `nowSeconds` on the process clock.
    CErrorPtr update(double nowSeconds);
    // The time of the last frame.
    double updateSeconds() const { return m_updateSeconds; }

private:
    CErrorPtr onTick(CObject* params, CObject* sender);

    CVizExchange* m_exchange = nullptr;
    CUpdateTimer* m_timer = nullptr;
    CWindowRenderer* m_renderer = nullptr;
    CString m_vizName;
    double m_updateSeconds = 0;
    std::array<CChannel, kMaxChannels> m_channels;
};

}  // namespace zel
