// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <mutex>

#include "Core/Object.h"

namespace zel {

class CAudioParam;

// `audio:cctable`: which parameter each MIDI controller number 0..127
// drives, as the user's "ccmap" application-data entry says.
class CAudioCCTable final : public CObject {
public:
    static constexpr size_t kSlots = 128;
    static constexpr const char* kItemName = "ccmap";

    CErrorPtr init() override;
    CAudioParam* slot(size_t controller) const;

    // Reads the table from a "ccmap" payload; a damaged payload ends the
    // load and keeps the slots read so far.
    void load(const std::vector<uint8_t>& payload);

private:
    mutable std::mutex m_lock;
    std::array<CAudioParam*, kSlots> m_slots{};
};

}  // namespace zel
