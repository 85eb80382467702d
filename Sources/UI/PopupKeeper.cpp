// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PopupKeeper.h"

#include <algorithm>

#include "Platform/XWindow.h"
#include "UI/WindowRenderer.h"

namespace zel {

namespace {

platform::CNativeWindow* popupWindow(CWindowRenderer* renderer) {
    platform::CNativeWindow* window = renderer ? renderer->window() : nullptr;
    return window && !window->isChild() && !window->isDestroyed() ? window : nullptr;
}

}  // namespace

void CPopupKeeper::follow(CWindowRenderer& embedded, const std::vector<CWindowRenderer*>& windows, double now) {
    if (now < m_nextCheck || !embedded.window()) return;
    m_nextCheck = now + kCheckSeconds;
    // Unviewable while the host's window, or any window it sits in, is unmapped.
    const bool hidden = !embedded.window()->isViewable();
    if (hidden == m_hidden) {
        // A host raises its window a moment after showing it (Ardour does):
        // the popups shown again go above it once more.
        if (!hidden && m_raisesLeft > 0) {
            --m_raisesLeft;
            raise(windows);
        }
        return;
    }
    m_hidden = hidden;
    if (hidden) {
        m_hiddenPopups.clear();
        for (CWindowRenderer* renderer : windows)
            if (platform::CNativeWindow* window = renderer != &embedded ? popupWindow(renderer) : nullptr) {
                window->show(false);
                m_hiddenPopups.push_back(renderer);
            }
        return;
    }
    // Only those still open; in their order, the latest opened on top.
    for (CWindowRenderer* renderer : windows)
        if (std::find(m_hiddenPopups.begin(), m_hiddenPopups.end(), renderer) != m_hiddenPopups.end())
            if (platform::CNativeWindow* window = popupWindow(renderer)) window->show(true);
    m_raisesLeft = m_hiddenPopups.empty() ? 0 : 1;
    m_hiddenPopups.clear();
}

void CPopupKeeper::raise(const std::vector<CWindowRenderer*>& windows) {
    for (CWindowRenderer* renderer : windows)
        if (platform::CNativeWindow* window = popupWindow(renderer)) window->raise();
}

}  // namespace zel
