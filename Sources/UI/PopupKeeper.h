// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

namespace zel {

class CWindowRenderer;

// Keeps the editor's popups with the window embedded into the host. A host
// may hide its plug-in window without closing the editor (Ardour does by
// default): the popups hide with it and come back with it, above it.
class CPopupKeeper {
public:
    // How often the embedded window's state is asked of the server.
    static constexpr double kCheckSeconds = 0.25;

    // On the embedded window's ticks; `windows` in the order they opened.
    void follow(CWindowRenderer& embedded, const std::vector<CWindowRenderer*>& windows, double now);
    // Every popup above its siblings, the latest opened highest.
    static void raise(const std::vector<CWindowRenderer*>& windows);
    bool popupsHidden() const { return m_hidden; }

private:
    bool m_hidden = false;
    // Raises still to come after the popups were shown again.
    int m_raisesLeft = 0;
    double m_nextCheck = 0;
    // The popups hidden with the host's window, shown again with it.
    std::vector<CWindowRenderer*> m_hiddenPopups;
};

}  // namespace zel
