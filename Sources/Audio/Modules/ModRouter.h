// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include "Audio/Engine/AudioProcess.h"

namespace zel {

// Maps channels by the `routing` parameter (1-based, 0 = none). The input
// router (`is-output` false) feeds internal channels from host inputs,
// averaging several sources of one channel, and gives each internal channel
// its group from `grouping`; the output router gives each host output the
// internal channel it names. Routes are rebuilt when a value or the input
// layout changes.
class CModRouter final : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void update() override;
    void process(size_t n) override;
    bool passesInputOn() const override { return m_passesOn && !m_formatChanged; }

private:
    struct CRoute {
        int target = 0;  // internal channel (input router) or host output
        int group = 0;
        size_t sourceCount = 0;
        double gain = 1.0;
        std::array<int, kMaxChannels> sources{};  // input channel numbers
    };
    void rebuild();
    int routedTo(size_t element) const;

    bool m_isOutput = false;
    std::vector<CAudioParamSlot> m_slots;  // routing, grouping
    std::vector<CRoute> m_routes;
    std::vector<int> m_layout;
    bool m_passesOn = false;  // every channel goes on as it came, alone
};

}  // namespace zel
