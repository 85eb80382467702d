// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/String.h"

namespace zel {

// The input routing told as labels, one list per `routing-label-mode`:
// - "active-channels": each internal channel that a host input feeds, by
//   its number ("1");
// - "active-channel-names": the same channels by the names of the inputs
//   that feed them ("L", "L+R" for two);
// - "active-group-per-channel": the same channels by the name of their
//   channel group;
// - "active-groups": each channel group that holds a fed channel, by name;
// - "active-groups-with-channels": the same groups, each with the names of
//   its fed channels ("Front: L, R");
// - "full": every internal channel, its number, its inputs ("-" for none)
//   and its group ("3: - (Rear)"); the unfed ones are inactive.
// Fed channels come in the order the router makes them, by first input.
class CRoutingLabels {
public:
    struct CRouting {
        // Per host input: the internal channel it feeds, 1-based, 0 none.
        std::vector<int> inRouting;
        // Per internal channel: its channel group, 0-based.
        std::vector<int> grouping;
        // Per host input, and per group; an empty name gives the number.
        std::vector<CString> inputNames;
        std::vector<CString> groupNames;
    };
    struct CLabel {
        CString title;
        // The internal channel (or, for the group modes, the group).
        int value = 0;
        int group = -1;
        bool isActive = true;
    };

    static bool isMode(const CString& mode);
    static std::vector<CLabel> labels(const CRouting& routing, const CString& mode);
};

}  // namespace zel
