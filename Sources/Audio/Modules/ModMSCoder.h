// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Audio/Engine/AudioProcess.h"

namespace zel {

// Mid/side coding of channel pairs chosen by `pairs` (per internal channel,
// 0 = none, 1..4 = pair number). The encoder (`mode` 0) turns a pair into
// mid and side, the decoder (`mode` 1) back into left and right; channels
// without a complete pair pass unchanged. Of the channels with one pair
// number, the lowest internal channel is the first (left, mid) member and
// the next one the second (right, side).
class CModMSCoder final : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void update() override;
    void process(size_t n) override;

private:
    struct CPair {
        int number = -1;
        int first = -1;   // internal channel of the left / mid member
        int second = -1;  // internal channel of the right / side member
    };
    void rebuild();

    std::vector<CAudioParamSlot> m_slots;  // pairs, mode, bypass
    std::vector<CPair> m_pairs;
    std::vector<int> m_layout;
    bool m_decoder = false;
};

}  // namespace zel
