// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "WinDrag"

namespace zel {

void CWinDrag::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("mouse-press", &CWinDrag::onPress);
    info.onEvent("mouse-move", &CWinDrag::onMove);
    info.onEvent("mouse-release", &CWinDrag::onRelease);
    info.onEvent("mouse-cancel", &CWinDrag::onRelease);
    info.onEvent("close-window", &CWinDrag::onCloseWindow);
}

CErrorPtr CWinDrag::onPress(CObject*, CObject* sender) {
    auto* renderer = dynamic_cast<CWindowRenderer*>(sender);
    if (!renderer || !getBool("is-window-draggable", false)) return nullptr;
    int x = 0, y = 0;
    if (!renderer->windowPosition(x, y)) return nullptr;
    setInt("actual-x", x);
    setInt("actual-y", y);
    // The pointer on the screen: the window moves under it while dragging.
    renderer->pointerOnScreen(m_pressX, m_pressY);
    m_dragging = true;
    return nullptr;
}

CErrorPtr CWinDrag::onMove(CObject*, CObject* sender) {
    auto* renderer = dynamic_cast<CWindowRenderer*>(sender);
    if (!renderer || !m_dragging) return nullptr;
    int x = 0, y = 0;
    renderer->pointerOnScreen(x, y);
    renderer->moveWindow(int(getInt("actual-x", 0)) + x - m_pressX, int(getInt("actual-y", 0)) + y - m_pressY);
    return nullptr;
}

CErrorPtr CWinDrag::onRelease(CObject*, CObject* sender) {
    if (!m_dragging) return nullptr;
    m_dragging = false;
    if (auto* renderer = dynamic_cast<CWindowRenderer*>(sender)) ZEL_TRY(renderer->storeWindowPosition());
    return nullptr;
}

CErrorPtr CWinDrag::onCloseWindow(CObject*, CObject*) {
    auto* renderer = dynamic_cast<CWindowRenderer*>(findChild("window-renderer"));
    if (renderer) ZEL_TRY(renderer->closeWindow());
    return nullptr;
}

}  // namespace zel
