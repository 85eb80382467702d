// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "Other/ParamInterfaceBase.h"

namespace zel {

class CAudioExtParamHostBridge;

// Makes an editor gesture one host edit per host parameter: its first change
// opens the edit, each change is reported in it, and the gesture's end
// closes every edit it opened. A host recording touch automation then sees
// one touch per drag. A change outside any gesture is a complete edit of its
// own. Main thread only.
class CAudioHostEdits final : public CParamGestureListener {
public:
    explicit CAudioHostEdits(CAudioExtParamHostBridge& host) : m_host(host) {}

    void report(size_t index, double normalized);
    // Closes the open edits; the gestures go on, and their next changes
    // open new ones (for a host handler that replaces the old one).
    void endAll();
    // Forgets gestures and edits without telling the host (the instance
    // goes; the host layer closed its edits before).
    void reset();

    void gestureBegan() override { ++m_gestures; }
    void gestureEnded() override;

private:
    CAudioExtParamHostBridge& m_host;
    int m_gestures = 0;
    std::vector<size_t> m_open;
};

}  // namespace zel
