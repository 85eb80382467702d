// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/WindowSharedData.h"

#include <algorithm>

#include "Core/Debug.h"
#include "Core/Notify.h"
#include "Core/Timer.h"
#include "Platform/Clipboard.h"
#include "Platform/XWindow.h"
#include "UI/ErrorWindow.h"
#include "UI/InputRouter.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "WindowSharedData"

namespace zel {

CWindowSharedData::CWindowSharedData() = default;

CWindowSharedData::~CWindowSharedData() {
    m_errors.reset();
    m_releasing = true;
    m_hover = nullptr;
    m_hoverWindow = nullptr;
    const std::vector<CWindowRenderer*> windows = m_windows;
    for (CWindowRenderer* renderer : windows) renderer->sharedDataReleased();
    if (!m_display || m_display->isBroken()) return;
    // The answers to the last requests (the windows' destruction) come in
    // before the connection goes, so that errors among them are seen too.
    m_display->sync();
    m_display->dispatch();
    if (const int errors = m_display->errorCount()) {
        int code = 0, request = 0;
        m_display->lastError(code, request);
        debugLog("X errors of the editor: %d (the last: error %d, request %d)", errors, code, request);
    }
}

void CWindowSharedData::windowOpened(CWindowRenderer& renderer) {
    if (std::find(m_windows.begin(), m_windows.end(), &renderer) == m_windows.end()) m_windows.push_back(&renderer);
    if (!m_errors) m_errors = std::make_unique<CEditorErrorDisplay>(*this);
    updateBlocking();
}

void CWindowSharedData::updateBlocking() {
    bool modalAbove = false;
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        (*it)->setBlocked(modalAbove);
        modalAbove = modalAbove || (*it)->isModal();
    }
}

CErrorPtr CWindowSharedData::setHoverView(CView* view, CWindowRenderer* window, CObject* params, bool leftWindow) {
    if (view == m_hover) return nullptr;
    CView* previous = m_hover;
    m_hover = view;
    m_hoverWindow = view ? window : nullptr;
    if (previous) {
        ZEL_TRY(CInputRouter::sendToView(*previous, "mouse-exit", params, this));
        if (leftWindow) ZEL_TRY(CInputRouter::sendToView(*previous, "mouse-top-exit", params, this));
    }
    if (view) ZEL_TRY(CInputRouter::sendToView(*view, "mouse-enter", params, this));
    // The status line shows the new view's hint.
    ZEL_TRY(CNotifyServer::instance().notify(this, "hover-view-changed", nullptr));
    return nullptr;
}

void CWindowSharedData::forgetHoverIn(CWindowRenderer& renderer, bool tell) {
    // By the window only: its views may be going already.
    if (!m_hover || m_hoverWindow != &renderer) return;
    CView* previous = m_hover;
    m_hover = nullptr;
    m_hoverWindow = nullptr;
    if (!tell) return;
    if (CErrorPtr err = CInputRouter::sendToView(*previous, "mouse-exit", nullptr, this)) CSystem::showError(*err);
}

void CWindowSharedData::setupClass(CClassInfo& info) { setupObjectClass(info); }

CErrorPtr CWindowSharedData::updateTimerGroup(CUpdateTimerGroup*& out) {
    if (!m_group) {
        const CString tag =
            hasAttr("update-timer-group-tag") ? getAttr("update-timer-group-tag") : CString("ui:update-timer-group");
        CUpdateTimerGroup* group = nullptr;
        ZEL_TRY(createChild(tag, "group-timer", group));
        ZEL_TRY(group->init());
        m_group = group;
    }
    out = m_group;
    return nullptr;
}

CErrorPtr CWindowSharedData::display(std::shared_ptr<platform::CDisplay>& out) {
    if (!m_display || m_display->isBroken()) {
        std::string error;
        m_display = platform::CDisplay::open(runLoopOf(*this), "", error);
        if (!m_display)
            return ZEL_ERROR("@zelstr_CWindowSharedData_display Unable to open the display: %1",
                             CString::fromUtf8(error));
    }
    out = m_display;
    return nullptr;
}

CErrorPtr CWindowSharedData::clipboard(platform::CClipboard*& out) {
    if (!m_clipboard || m_clipboard->isBroken()) {
        std::string error;
        m_clipboard = platform::CClipboard::open(runLoopOf(*this), "", error);
        if (!m_clipboard)
            return ZEL_ERROR("@zelstr_CWindowSharedData_clipboard Unable to open the clipboard: %1",
                             CString::fromUtf8(error));
    }
    out = m_clipboard.get();
    return nullptr;
}

void CWindowSharedData::setKeyFocusWindow(CWindowRenderer* renderer) {
    if (m_keyFocus == renderer) return;
    CWindowRenderer* previous = m_keyFocus;
    m_keyFocus = renderer;
    // The keyboard goes back before another window takes it.
    if (previous && previous->window()) previous->window()->returnKeyFocus();
    if (previous && renderer) previous->keyFocusLost();
}

void CWindowSharedData::raiseModal() {
    auto modal = std::find_if(m_windows.rbegin(), m_windows.rend(), [](CWindowRenderer* w) { return w->isModal(); });
    if (modal == m_windows.rend()) return;
    for (auto it = modal.base() - 1; it != m_windows.end(); ++it)
        if ((*it)->window()) (*it)->window()->raise();
}

void CWindowSharedData::pressedIn(CWindowRenderer& renderer) {
    const std::vector<CWindowRenderer*> windows = m_windows;
    for (CWindowRenderer* window : windows)
        if (window != &renderer) window->pressedElsewhere(renderer);
}

void CWindowSharedData::keyFocusGone(CWindowRenderer& renderer) {
    if (m_keyFocus == &renderer) m_keyFocus = nullptr;
}

void CWindowSharedData::windowClosing(CWindowRenderer& renderer) {
    if (m_keyFocus == &renderer) setKeyFocusWindow(nullptr);
    forgetHoverIn(renderer, false);
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), &renderer), m_windows.end());
    if (m_windows.empty()) m_errors.reset();
    if (!m_releasing) updateBlocking();
    if (auto* closer = dynamic_cast<CWindowCloser*>(findChild("window-closer"))) closer->forget(renderer);
}

// ---------------------------------------------------------------- closer

CWindowCloser::CWindowCloser() : m_alive(std::make_shared<bool>(true)) {}

CWindowCloser::~CWindowCloser() { *m_alive = false; }

void CWindowCloser::setupClass(CClassInfo& info) { setupObjectClass(info); }

CErrorPtr CWindowCloser::queueClose(CWindowRenderer& renderer) {
    if (std::find(m_queue.begin(), m_queue.end(), &renderer) != m_queue.end()) return nullptr;
    ZEL_TRY(renderer.runEvent("pre-close-window", nullptr, this));
    m_queue.push_back(&renderer);
    std::weak_ptr<bool> alive = m_alive;
    if (const int error = runLoopOf(*this).post([this, alive] {
            if (auto a = alive.lock(); a && *a) performNext();
        }))
        return ZEL_ERROR("@zelstr_CSystem_sendEvent_PostMessage Post message error %1.", error);
    return nullptr;
}

void CWindowCloser::forget(CWindowRenderer& renderer) {
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), &renderer), m_queue.end());
}

void CWindowCloser::performNext() {
    if (m_queue.empty()) return;
    CWindowRenderer* renderer = m_queue.front();
    m_queue.erase(m_queue.begin());
    if (CErrorPtr err = renderer->runEvent("perform-close-window", nullptr, this)) CSystem::showError(*err);
}

}  // namespace zel
