// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/WindowRenderer.h"

#include <algorithm>
#include <cmath>

#include "Core/Debug.h"
#include "Core/Notify.h"
#include "Platform/Clock.h"
#include "UI/InputRouter.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowPlacement.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "WindowRenderer"

namespace zel {

namespace {

CRect toRect(const platform::CPixelRect& r) { return CRect{r.x, r.y, r.x + r.width, r.y + r.height}; }
platform::CPixelRect toPixelRect(const CRect& r) { return platform::CPixelRect{r.left, r.top, r.width(), r.height()}; }

// The renderer of the window that shows `view`.
CWindowRenderer* rendererOf(const CObject& view) {
    const CObject* top = &view;
    while (dynamic_cast<const CView*>(top->parent())) top = top->parent();
    return dynamic_cast<CWindowRenderer*>(top->findChild("window-renderer"));
}

bool isPointerEvent(platform::CWindowEvent::EType type) {
    using E = platform::CWindowEvent;
    return type == E::kMousePress || type == E::kMouseRelease || type == E::kMouseMove || type == E::kMouseWheel;
}

bool isInput(platform::CWindowEvent::EType type) {
    using E = platform::CWindowEvent;
    return isPointerEvent(type) || type == E::kMouseLeave || type == E::kKeyPress || type == E::kKeyRelease;
}

}  // namespace

// ---------------------------------------------------------------- sector map

void CSectorMap::resize(int width, int height) {
    m_size = std::max(8, int(getInt("sector-size", 64)));
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_columns = (m_width + m_size - 1) / m_size;
    m_rows = (m_height + m_size - 1) / m_size;
    m_dirty.assign(size_t(m_columns) * size_t(m_rows), 0);
    m_handedOut.assign(m_dirty.size(), 0);
    m_dirtyCount = 0;
}

void CSectorMap::invalidate(const CRect& rect) {
    const CRect r = rect.intersect(CRect{0, 0, m_width, m_height});
    if (r.isEmpty()) return;
    for (int row = r.top / m_size; row <= (r.bottom - 1) / m_size; ++row)
        for (int column = r.left / m_size; column <= (r.right - 1) / m_size; ++column) {
            uint8_t& cell = m_dirty[size_t(row) * size_t(m_columns) + size_t(column)];
            if (!cell) ++m_dirtyCount;
            cell = 1;
        }
}

std::vector<CRect> CSectorMap::takeDirty() {
    std::vector<CRect> rects;
    rects.reserve(m_dirtyCount);
    for (int row = 0; row < m_rows; ++row)
        for (int column = 0; column < m_columns; ++column) {
            const size_t at = size_t(row) * size_t(m_columns) + size_t(column);
            uint8_t& cell = m_dirty[at];
            if (!cell) continue;
            cell = 0;
            m_handedOut[at] = 1;
            const int x = column * m_size, y = row * m_size;
            rects.push_back(CRect{x, y, std::min(x + m_size, m_width), std::min(y + m_size, m_height)});
        }
    m_dirtyCount = 0;
    return rects;
}

std::vector<CRect> CSectorMap::takeHandedOut() {
    std::vector<CRect> rects;
    for (int row = 0; row < m_rows; ++row)
        for (int column = 0; column < m_columns; ++column) {
            uint8_t& cell = m_handedOut[size_t(row) * size_t(m_columns) + size_t(column)];
            if (!cell) continue;
            cell = 0;
            const int x = column * m_size, y = row * m_size;
            rects.push_back(CRect{x, y, std::min(x + m_size, m_width), std::min(y + m_size, m_height)});
        }
    return rects;
}

// ---------------------------------------------------------------- render thread

CWindowRendererThread::~CWindowRendererThread() { quit(); }

void CWindowRendererThread::wake() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_work = true;
    m_busy = true;
    m_signal.notify_all();
}

void CWindowRendererThread::waitIdle() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_signal.wait(lock, [this] { return !m_busy; });
}

void CWindowRendererThread::quit() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
        m_signal.notify_all();
    }
    stopThread();
}

CErrorPtr CWindowRendererThread::run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_signal.wait(lock, [this] { return m_work || m_quit; });
            if (m_quit) {
                m_busy = false;
                m_signal.notify_all();
                return nullptr;
            }
            m_work = false;
        }
        m_renderer.drawSectors();
        std::lock_guard<std::mutex> lock(m_lock);
        m_busy = false;
        m_signal.notify_all();
    }
}

// ---------------------------------------------------------------- renderer

CWindowRenderer::~CWindowRenderer() { destroyWindow(); }

void CWindowRenderer::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CWindowRenderer::onTick);
    info.onEvent("pre-close-window", &CWindowRenderer::onPreClose);
    info.onEvent("perform-close-window", &CWindowRenderer::onPerformClose);
}

CErrorPtr CWindowRenderer::init() {
    ZEL_TRY(CObject::init());
    m_openedSeconds = platform::secondsSinceStart();
    m_root = dynamic_cast<CView*>(parent());
    if (!m_root) return ZEL_ERROR("@zelstr_CWindowRenderer_init_RootView Unable to find root view.");
    m_sectors = dynamic_cast<CSectorMap*>(findChild("sector-map"));
    if (!m_sectors) return ZEL_ERROR("@zelstr_CWindowRenderer_init_SectorMap Unable to find sector map.");
    if (!findObject("ui"))
        return ZEL_ERROR("@zelstr_CWindowRenderer_init_EventBridge Unable to locate a suitable event bridge.");
    ZEL_TRY(findObjectChecked("ui.window-shared-data", m_shared));
    if (getBool("is-popup-window", false)) {
        EWindowAlignment alignment = EWindowAlignment::Center;
        ZEL_TRY(parseWindowAlignment(getAttr("window-alignment"), alignment));
    }
    if (isPositionStored()) {
        CString id;
        ZEL_TRY(windowPositionId(id));
    }
    m_updateTimer = dynamic_cast<CUpdateTimer*>(findChild("update-timer"));
    m_renderTimer = dynamic_cast<CUpdateTimer*>(findChild("render-timer"));
    m_autoClickTimer = dynamic_cast<CUpdateTimer*>(findChild("auto-click-timer"));
    m_deactivateTimer = dynamic_cast<CUpdateTimer*>(findChild("deactivate-timer"));
    m_cursorTimer = dynamic_cast<CIntervalTimer*>(findChild("cursor-timer"));
    m_router = std::make_unique<CInputRouter>(*this, *m_root);
    if (!m_updateTimer || !m_renderTimer)
        return ZEL_ERROR("@zelstr_CWindowRenderer_init_Timers Unable to find the update and render timers.");

    const long long threads = std::clamp<long long>(getInt("num-threads", 0), 0, 8);
    for (long long i = 0; i < threads; ++i) {
        auto thread = std::make_unique<CWindowRendererThread>(*this);
        ZEL_TRY(thread->runThread());
        m_threads.push_back(std::move(thread));
    }
    m_shared->windowOpened(*this);
    ZEL_TRY(createNativeWindow());
    const CRect& area = m_root->area();
    m_bitmap.resize(area.width(), area.height());
    m_sectors->resize(area.width(), area.height());
    m_sectors->invalidateAll();
    ZEL_TRY(m_updateTimer->start());
    ZEL_TRY(m_renderTimer->start());
    m_window->show(true);
    debugLog("Open window on: %f s", platform::secondsSinceStart() - m_openedSeconds);
    return nullptr;
}

CErrorPtr CWindowRenderer::createNativeWindow() {
    ZEL_TRY(m_shared->display(m_display));
    platform::CNativeWindow::COptions options;
    const CRect& area = m_root->area();
    options.rect = platform::CPixelRect{0, 0, area.width(), area.height()};
    options.title = getAttr("title").utf8();
    long long parentWindow = 0;
    CObject* top = root();
    const bool hasParent = top->readInt("ParentWindow", parentWindow) && parentWindow > 0;
    if (getBool("is-main-window", false) && getBool("is-plugin-vst", true)) {
        if (!hasParent) return ZEL_ERROR("@zelstr_CWindowRenderer_init_Parent Unable to locate parent window.");
        options.parent = uint32_t(parentWindow);
    } else {
        // A popup: a top-level window that belongs to the host's window.
        if (hasParent) options.transientFor = m_display->topLevelOf(uint32_t(parentWindow));
        options.overrideRedirect = getBool("is-local-popup", false);
        ZEL_TRY(popupPosition(area.width(), area.height(), options.rect.x, options.rect.y));
        setInt("window-x", options.rect.x);
        setInt("window-y", options.rect.y);
    }
    std::string error;
    m_window = platform::CNativeWindow::create(m_display, options, *this, error);
    if (!m_window)
        return ZEL_ERROR("@zelstr_CWindowRenderer_createWindow Unable to create window (error %1).",
                         CString::fromUtf8(error));
    return nullptr;
}

CErrorPtr CWindowRenderer::popupPosition(int width, int height, int& x, int& y) {
    CPopupAnchor anchor;
    if (isPositionStored()) {
        CString id;
        ZEL_TRY(windowPositionId(id));
        if (CWindowPositionStore::load(id, getBool("is-window-position-stored-globally", false), x, y)) {
            // Kept on the screen as it is now: a monitor may have gone.
            anchor.cursorX = x;
            anchor.cursorY = y;
            anchor.workArea = toRect(m_display->workArea(x + width / 2, y + height / 2));
            const CRect r = placePopup(EWindowAlignment::Cursor, anchor, width, height, false);
            x = r.left;
            y = r.top;
            return nullptr;
        }
    }
    CWindowRenderer* owner = m_opener ? rendererOf(*m_opener) : nullptr;
    if (getBool("is-manual-coords", false) || !owner || !owner->m_window) {
        x = int(getInt("window-x", 0));
        y = int(getInt("window-y", 0));
        return nullptr;
    }
    EWindowAlignment alignment = EWindowAlignment::Center;
    ZEL_TRY(parseWindowAlignment(getAttr("window-alignment"), alignment));
    int ox = 0, oy = 0;
    if (!owner->m_window->screenOrigin(ox, oy)) {
        ox = owner->m_window->rect().x;
        oy = owner->m_window->rect().y;
    }
    const CRect& view = m_opener->area();
    const CRect& window = owner->m_root->area();
    // `shift-x` and `shift-y` move the popup from its place by the opener.
    const int sx = int(std::lround(getReal("shift-x", 0) * m_root->uiScale()));
    const int sy = int(std::lround(getReal("shift-y", 0) * m_root->uiScale()));
    anchor.opener = CRect{view.left + ox + sx, view.top + oy + sy, view.right + ox + sx, view.bottom + oy + sy};
    anchor.openerWindow = CRect{ox, oy, ox + window.width(), oy + window.height()};
    owner->pointerOnScreen(anchor.cursorX, anchor.cursorY);
    anchor.workArea = toRect(m_display->workArea((anchor.opener.left + anchor.opener.right) / 2,
                                                 (anchor.opener.top + anchor.opener.bottom) / 2));
    const CRect r = placePopup(alignment, anchor, width, height, getBool("is-window-alignment-auto", true));
    x = r.left;
    y = r.top;
    return nullptr;
}

bool CWindowRenderer::isPositionStored() const {
    // The user's setting, bound by the document; on unless it says otherwise.
    return getBool("is-window-position-storing-enabled", true) && getBool("is-window-position-stored", false);
}

CErrorPtr CWindowRenderer::windowPositionId(CString& out) const {
    const CString id = getAttr("window-position-id");
    if (!getBool("is-helper-window", false)) {
        if (id.empty()) return ZEL_ERROR("@zelstr_CWindowRenderer_init_PositionId Window position ID is empty.");
        out = id;
        return nullptr;
    }
    // A helper window keeps its place per window that opens it.
    const CWindowRenderer* owner = m_opener ? rendererOf(*m_opener) : nullptr;
    const CString parentId = owner ? owner->getAttr("window-position-id") : CString();
    if (parentId.empty())
        return ZEL_ERROR("@zelstr_CWindowRenderer_init_ParentPositionId Parent window position ID is empty.");
    out = parentId + "." + (id.empty() ? getAttr("unique-name") : id);
    return nullptr;
}

bool CWindowRenderer::windowPosition(int& x, int& y) {
    if (!m_window) return false;
    // The user may have moved a popup through the window manager's frame.
    if (getBool("is-popup-window", false) && !m_windowLost && m_window->frameOrigin(x, y)) return true;
    x = m_window->rect().x;
    y = m_window->rect().y;
    return true;
}

void CWindowRenderer::moveWindow(int x, int y) {
    if (!m_window || m_windowLost) return;
    m_window->move(x, y);
    setInt("window-x", x);
    setInt("window-y", y);
}

CErrorPtr CWindowRenderer::storeWindowPosition() {
    if (!isPositionStored()) return nullptr;
    int x = 0, y = 0;
    if (!windowPosition(x, y)) return nullptr;
    CString id;
    ZEL_TRY(windowPositionId(id));
    ZEL_TRY(CWindowPositionStore::save(id, getBool("is-window-position-stored-globally", false), x, y));
    return nullptr;
}

void CWindowRenderer::setBlocked(bool blocked) {
    if (m_blocked == blocked) return;
    m_blocked = blocked;
    setBool("is-blocked", blocked);
    if (blocked) {
        if (CErrorPtr err = cancelPress()) CSystem::showError(*err);
        if (m_shared) m_shared->forgetHoverIn(*this, true);
    }
    CView* blocker = nullptr;
    if (CErrorPtr err = windowBlocker(blocked, blocker)) CSystem::showError(*err);
    if (!blocker) return;
    blocker->setBool("is-hidden", !blocked);
    if (CErrorPtr err = m_root->layoutTree()) CSystem::showError(*err);
    if (m_sectors) m_sectors->invalidateAll();
}

CErrorPtr CWindowRenderer::windowBlocker(bool create, CView*& out) {
    out = m_root ? dynamic_cast<CView*>(m_root->findChild("window-blocker")) : nullptr;
    if (out || !create || !m_root) return nullptr;
    // Windows whose document gives them none get the editor's own, so that
    // every window shows that it waits for the modal one.
    const CString tag = hasAttr("window-blocker-tag") ? getAttr("window-blocker-tag") : CString("ui:window-blocker");
    if (tag.empty()) return nullptr;
    CView* made = nullptr;
    ZEL_TRY(m_root->createChild(tag, "window-blocker", made));
    if (CErrorPtr err = made->init()) {
        m_root->removeChild(made);
        return ZEL_PASS(err);
    }
    out = made;
    return nullptr;
}

CWindowRenderer* CWindowRenderer::openerWindow() const { return m_opener ? rendererOf(*m_opener) : nullptr; }

void CWindowRenderer::pressedElsewhere(CWindowRenderer& window) {
    if (!m_deactivateTimer || !m_window || m_windowLost) return;
    for (const CWindowRenderer* w = &window; w; w = w->openerWindow())
        if (w == this) return;
    // Windows that the window manager never activates (drop-down lists)
    // learn of it only this way.
    m_active = false;
    if (CErrorPtr err = m_deactivateTimer->start()) CSystem::showError(*err);
}

void CWindowRenderer::keyFocusLost() {
    if (!m_router) return;
    if (CErrorPtr err = m_router->focusLost()) CSystem::showError(*err);
}

CErrorPtr CWindowRenderer::cancelPress() {
    if (m_autoClickTimer) m_autoClickTimer->stop();
    CErrorPtr err;
    if (m_captured) {
        platform::CWindowEvent cancel;
        cancel.type = platform::CWindowEvent::kMouseRelease;
        CObject params;
        fillParams(params, cancel);
        err = CNotifyServer::instance().notify(this, "mouse-cancel", &params);
    }
    if (m_router)
        if (CErrorPtr routed = m_router->cancelPress(); routed && !err) err = std::move(routed);
    releaseMouse();
    return err;
}

CErrorPtr CWindowRenderer::startCaretBlink() {
    if (!m_cursorTimer || !m_window || m_windowLost) return nullptr;
    CUpdateTimer* timer = m_cursorTimer->updateTimer();
    if (timer && !timer->isRunning()) ZEL_TRY(m_cursorTimer->start());
    return nullptr;
}

void CWindowRenderer::destroyWindow() {
    // Also when the editor closes with the window open: it opens there
    // next time. Only logged: the editor may be going.
    if (m_window && !m_windowLost)
        if (CErrorPtr err = storeWindowPosition()) debugLog("%s", err->text().utf8().c_str());
    if (m_cursorTimer) m_cursorTimer->stop();
    if (m_updateTimer) m_updateTimer->stop();
    if (m_renderTimer) m_renderTimer->stop();
    if (m_autoClickTimer) m_autoClickTimer->stop();
    if (m_deactivateTimer) m_deactivateTimer->stop();
    if (m_router) m_router->clear();
    for (auto& thread : m_threads) thread->quit();
    m_threads.clear();
    if (m_cursorHides > 0) {
        debugLog("Cursor is hidden at destroyWindow()");
        m_cursorHides = 0;
        if (m_window) m_window->setCursorHidden(false);
    }
    if (m_shared) m_shared->windowClosing(*this);
    m_captured = false;
    // Releases the pointer grab and the keyboard with the window.
    m_window.reset();
    m_display.reset();
    m_bitmap.resize(0, 0);
}

void CWindowRenderer::sharedDataReleased() {
    destroyWindow();
    m_shared = nullptr;
}

void CWindowRenderer::invalidate(const CRect& rect) {
    if (m_sectors) m_sectors->invalidate(rect);
}

void CWindowRenderer::captureMouse() {
    m_captured = true;
    m_hasWrapArea = false;
    if (m_window) m_window->grabPointer();
}

void CWindowRenderer::releaseMouse() {
    m_captured = false;
    if (m_window) m_window->releasePointer();
}

void CWindowRenderer::hideCursor() {
    if (m_cursorHides++ == 0 && m_window) m_window->setCursorHidden(true);
}

void CWindowRenderer::showCursor() {
    if (m_cursorHides <= 0) {
        debugLog("ERROR: Number of cursor hide/show calls mismatch");
        return;
    }
    if (--m_cursorHides == 0 && m_window) m_window->setCursorHidden(false);
}

void CWindowRenderer::warpCursor(int x, int y) {
    if (m_window) m_window->warpPointer(x, y);
}

bool CWindowRenderer::wrapCursor(int& x, int& y) {
    if (!m_window || m_windowLost || !m_root || !m_display) return false;
    // The part of the window the pointer can reach: within the monitor's
    // work area, read once per press.
    if (!m_hasWrapArea) {
        m_wrapArea = toRect(m_display->workArea(m_pointerX, m_pointerY));
        m_hasWrapArea = true;
    }
    const int originX = m_pointerX - x, originY = m_pointerY - y;
    const CRect reach = CRect{0, 0, m_root->area().width(), m_root->area().height()}.intersect(CRect{
        m_wrapArea.left - originX, m_wrapArea.top - originY, m_wrapArea.right - originX, m_wrapArea.bottom - originY});
    if (reach.width() < 4 || reach.height() < 4) return false;
    const auto wrapped = [](int v, int from, int to) { return v <= from ? to - 2 : v >= to - 1 ? from + 1 : v; };
    const int nx = wrapped(x, reach.left, reach.right), ny = wrapped(y, reach.top, reach.bottom);
    if (nx == x && ny == y) return false;
    x = nx;
    y = ny;
    warpCursor(x, y);
    return true;
}

void CWindowRenderer::setKeyFocus(bool focused) {
    if (!m_window || !m_shared) return;
    if (focused) {
        m_shared->setKeyFocusWindow(this);
        m_window->takeKeyFocus();
    } else if (m_shared->keyFocusWindow() == this) {
        m_shared->setKeyFocusWindow(nullptr);
    }
}

bool CWindowRenderer::wheelStep(int delta) {
    if (!m_window || !m_router || m_blocked) return false;
    platform::CWindowEvent event;
    event.type = platform::CWindowEvent::kMouseWheel;
    event.wheelDelta = delta;
    event.x = m_router->lastX();
    event.y = m_router->lastY();
    sendInput("mouse-wheel", event);
    return m_router->wheelTaken();
}

CErrorPtr CWindowRenderer::closeWindow() {
    CWindowCloser* closer = nullptr;
    ZEL_TRY(findObjectChecked("ui.window-shared-data.window-closer", closer));
    ZEL_TRY(closer->queueClose(*this));
    return nullptr;
}

CErrorPtr CWindowRenderer::onPreClose(CObject*, CObject*) {
    // Input stops at once; the window goes on the closer's next turn. A
    // press under way is taken away from whoever holds it.
    CErrorPtr cancelled = cancelPress();
    if (m_router) {
        // The focused view lets go as it would for any other reason.
        if (CErrorPtr err = m_router->setFocus(nullptr); err && !cancelled) cancelled = std::move(err);
        m_router->clear();
    }
    if (m_shared) m_shared->forgetHoverIn(*this, true);
    setKeyFocus(false);
    if (cancelled) CSystem::showError(*cancelled);
    if (CErrorPtr err = storeWindowPosition()) CSystem::showError(*err);
    ZEL_TRY(CNotifyServer::instance().notify(this, "pre-close-window"));
    return nullptr;
}

CErrorPtr CWindowRenderer::onPerformClose(CObject*, CObject*) {
    destroyWindow();
    ZEL_TRY(CNotifyServer::instance().notify(this, "close-window"));
    return nullptr;
}

CErrorPtr CWindowRenderer::onTick(CObject*, CObject* sender) {
    if (sender == m_renderTimer) {
        ZEL_TRY(renderFrame());
    } else if (sender == m_updateTimer) {
        if (m_shared && m_window && m_window->isChild())
            m_shared->popupKeeper().follow(*this, m_shared->windows(), platform::secondsSinceStart());
        ZEL_TRY(CNotifyServer::instance().notify(this, "tick"));
    } else if (sender == m_autoClickTimer) {
        ZEL_TRY(autoClickTick());
    } else if (sender == m_deactivateTimer) {
        ZEL_TRY(deactivateTick());
    } else if (sender && sender == m_cursorTimer) {
        // The caret went with the focus.
        if (!m_router || !m_router->focusView()) {
            m_cursorTimer->stop();
            return nullptr;
        }
        ZEL_TRY(CNotifyServer::instance().notify(this, "cursor-tick"));
    }
    return nullptr;
}

double CWindowRenderer::autoClickTimeout(const CView& view) const {
    // A control asks for repeated clicks itself; the window's value serves
    // the others (by default none).
    return view.hasAttr("auto-click-timeout") ? view.getReal("auto-click-timeout", -1)
                                              : getReal("auto-click-timeout", -1);
}

CErrorPtr CWindowRenderer::autoClickTick() {
    CView* target = m_router ? m_router->pressTarget() : nullptr;
    if (!target) {
        m_autoClickTimer->stop();
        return nullptr;
    }
    const double timeout = autoClickTimeout(*target);
    if (timeout < 0 || platform::secondsSinceStart() - m_pressSeconds < timeout) return nullptr;
    CObject params;
    params.setInt("x", m_router->lastX());
    params.setInt("y", m_router->lastY());
    ZEL_TRY(CInputRouter::sendToView(*target, "auto-click", &params, this));
    return nullptr;
}

CErrorPtr CWindowRenderer::deactivateTick() {
    m_deactivateTimer->stop();
    // Active again before the timer ran out: focus only passed through.
    if (m_active || !m_window || m_windowLost) return nullptr;
    setBool("popup-deactivated", true);
    ZEL_TRY(closeWindow());
    return nullptr;
}

CErrorPtr CWindowRenderer::renderFrame() {
    ++m_frames;
    ZEL_TRY(CNotifyServer::instance().notify(this, "render"));
    if (!m_sectors || !m_root || !m_window || m_windowLost || m_sectors->dirtyCount() == 0) return nullptr;
    {
        std::lock_guard<std::mutex> lock(m_sectorLock);
        m_pending = m_sectors->takeDirty();
        m_drawn.clear();
    }
    const bool threaded = m_pending.size() > 2 && !m_threads.empty();
    if (threaded)
        for (auto& thread : m_threads) thread->wake();
    drawSectors();
    if (threaded)
        for (auto& thread : m_threads) thread->waitIdle();
    std::vector<CRect> drawn;
    {
        std::lock_guard<std::mutex> lock(m_sectorLock);
        drawn.swap(m_drawn);
    }
    m_drawnSectors += drawn.size();
    blitRects(drawn);
    return nullptr;
}

void CWindowRenderer::drawSectors() {
    for (;;) {
        CRect sector;
        {
            std::lock_guard<std::mutex> lock(m_sectorLock);
            if (m_pending.empty()) return;
            sector = m_pending.back();
            m_pending.pop_back();
        }
        m_root->draw(m_bitmap, sector);
        std::lock_guard<std::mutex> lock(m_sectorLock);
        m_drawn.push_back(sector);
    }
}

void CWindowRenderer::blitRects(const std::vector<CRect>& rects) {
    if (!m_window || m_windowLost || rects.empty()) return;
    std::vector<platform::CPixelRect> pixels;
    pixels.reserve(rects.size());
    for (const CRect& r : rects) pixels.push_back(toPixelRect(r));
    m_window->blit(m_bitmap.pixels(), m_bitmap.stride(), m_bitmap.width(), m_bitmap.height(), pixels);
}

void CWindowRenderer::fillParams(CObject& params, const platform::CWindowEvent& event) const {
    params.setInt("x", event.x);
    params.setInt("y", event.y);
    params.setInt("button", event.button);
    params.setBool("is-button-r", event.button == 3);
    params.setBool("is-alt", (event.modifiers & platform::kModAlt) != 0);
    params.setBool("is-ctrl", (event.modifiers & platform::kModCtrl) != 0);
    params.setBool("is-shift", (event.modifiers & platform::kModShift) != 0);
    params.setBool("is-double-click", event.doubleClick);
    params.setBool("is-button-down", event.buttonsHeld != 0);
    if (event.type == platform::CWindowEvent::kMouseWheel) params.setInt("delta", event.wheelDelta);
    if (event.type == platform::CWindowEvent::kKeyPress || event.type == platform::CWindowEvent::kKeyRelease) {
        params.setInt("keycode", event.keysym);
        params.setAttr("text", CString::fromUtf8(event.text));
    }
    if (event.button == 8 || event.button == 9) {
        params.setInt("xbutton", event.button - 7);
        params.setBool("is-xbutton1", event.button == 8);
        params.setBool("is-xbutton2", event.button == 9);
    }
}

void CWindowRenderer::sendInput(const CString& name, const platform::CWindowEvent& event) {
    CObject params;
    fillParams(params, event);
    CErrorPtr err = CNotifyServer::instance().notify(this, name, &params);
    if (!err && m_router) err = routeInput(event);
    if (err) CSystem::showError(*err);
}

CErrorPtr CWindowRenderer::routeInput(const platform::CWindowEvent& event) {
    using E = platform::CWindowEvent;
    const bool right = event.button == 3;
    const bool extra = event.button == 8 || event.button == 9;
    CObject params;
    fillParams(params, event);
    switch (event.type) {
        case E::kMousePress: {
            const bool first = !m_router->pressTarget();
            ZEL_TRY(m_router->mousePress(extra   ? "mouse-xbutton-press"
                                         : right ? "mouse-press-r"
                                                 : "mouse-press",
                                         params, event.x, event.y, right));
            CView* target = m_router->pressTarget();
            if (first && target && m_autoClickTimer && autoClickTimeout(*target) >= 0) {
                m_pressSeconds = platform::secondsSinceStart();
                ZEL_TRY(m_autoClickTimer->start());
            }
            break;
        }
        case E::kMouseRelease: {
            const uint32_t bit = event.button >= 1 && event.button <= 3 ? 1u << (event.button - 1) : 0;
            const bool last = (event.buttonsHeld & ~bit) == 0;
            if (last && m_autoClickTimer) m_autoClickTimer->stop();
            ZEL_TRY(m_router->mouseRelease(extra   ? "mouse-xbutton-release"
                                           : right ? "mouse-release-r"
                                                   : "mouse-release",
                                           params, event.x, event.y, last));
            break;
        }
        case E::kMouseMove:
            ZEL_TRY(m_router->mouseMove(params, event.x, event.y));
            break;
        case E::kMouseWheel:
            ZEL_TRY(m_router->wheel(params, event.x, event.y));
            break;
        case E::kMouseLeave:
            ZEL_TRY(m_router->pointerLeft(params));
            break;
        case E::kKeyPress:
        case E::kKeyRelease:
            ZEL_TRY(m_router->key(event.type == E::kKeyPress ? "key-press" : "key-release", params, event.keysym,
                                  (event.modifiers & platform::kModShift) != 0));
            break;
        default:
            break;
    }
    return nullptr;
}

void CWindowRenderer::windowEvent(const platform::CWindowEvent& event) {
    using E = platform::CWindowEvent;
    if (isPointerEvent(event.type)) {
        m_pointerX = event.rootX;
        m_pointerY = event.rootY;
    }
    // A window under a modal one takes no input at all; a click on it
    // brings the modal window back in front, where the user looks for it.
    if (m_blocked && isInput(event.type)) {
        if (event.type == E::kMousePress && m_shared) m_shared->raiseModal();
        return;
    }
    const bool right = event.button == 3;
    const bool extra = event.button == 8 || event.button == 9;
    switch (event.type) {
        case E::kMousePress:
            if (m_shared) m_shared->pressedIn(*this);
            // The press keeps the pointer until every button is up again.
            captureMouse();
            sendInput(extra ? "mouse-xbutton-press" : right ? "mouse-press-r" : "mouse-press", event);
            break;
        case E::kMouseRelease: {
            const uint32_t bit = event.button >= 1 && event.button <= 3 ? 1u << (event.button - 1) : 0;
            if ((event.buttonsHeld & ~bit) == 0) releaseMouse();
            sendInput(extra ? "mouse-xbutton-release" : right ? "mouse-release-r" : "mouse-release", event);
            break;
        }
        case E::kMouseMove:
            sendInput("mouse-move", event);
            break;
        case E::kMouseWheel:
            sendInput("mouse-wheel", event);
            break;
        case E::kMouseLeave:
            sendInput("mouse-exit", event);
            break;
        case E::kKeyPress:
            sendInput("key-press", event);
            break;
        case E::kKeyRelease:
            sendInput("key-release", event);
            break;
        case E::kGrabLost:
            // The server took the pointer away (the window went unviewable).
            m_captured = false;
            if (CErrorPtr err = cancelPress()) CSystem::showError(*err);
            break;
        case E::kFocusIn:
            m_active = true;
            if (m_deactivateTimer) m_deactivateTimer->stop();
            sendInput("activate-window", event);
            if (CErrorPtr err = CInputRouter::sendToView(*m_root, "activate-window", nullptr, this))
                CSystem::showError(*err);
            break;
        case E::kFocusOut:
            m_active = false;
            // Another client took the keyboard from the focused view: it is
            // not handed back when the view lets go of it.
            if (m_window && m_window->hasKeyFocus() && !m_window->holdsInputFocus()) {
                m_window->forgetKeyFocus();
                if (m_shared) m_shared->keyFocusGone(*this);
                keyFocusLost();
            }
            sendInput("deactivate-window", event);
            if (CErrorPtr err = CInputRouter::sendToView(*m_root, "deactivate-window", nullptr, this))
                CSystem::showError(*err);
            if (m_deactivateTimer && !m_windowLost)
                if (CErrorPtr err = m_deactivateTimer->start()) CSystem::showError(*err);
            break;
        case E::kExpose:
            // Only a copy of what is drawn already.
            if (!m_painted) {
                m_painted = true;
                debugLog("First paint on: %f s", platform::secondsSinceStart() - m_openedSeconds);
            }
            blitRects({toRect(event.area).intersect(m_bitmap.bounds())});
            break;
        case E::kCloseRequest:
            if (CErrorPtr err = closeWindow()) CSystem::showError(*err);
            break;
        case E::kDestroyed:
        case E::kDisconnected:
            // The server or the host's window is gone: nothing to draw on any
            // more. The window object stays until the editor closes, as the
            // display is still calling.
            m_windowLost = true;
            if (m_router) {
                if (CErrorPtr err = m_router->cancelPress()) CSystem::showError(*err);
                m_router->clear();
            }
            m_captured = false;
            if (m_cursorTimer) m_cursorTimer->stop();
            if (m_updateTimer) m_updateTimer->stop();
            if (m_renderTimer) m_renderTimer->stop();
            if (m_autoClickTimer) m_autoClickTimer->stop();
            if (m_deactivateTimer) m_deactivateTimer->stop();
            break;
    }
}

}  // namespace zel
