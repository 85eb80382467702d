// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/WindowRenderer.h"

#include <algorithm>

#include "Core/Debug.h"
#include "Core/Notify.h"
#include "Platform/Clock.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "WindowRenderer"

namespace zel {

namespace {

const char* const kAlignments[] = {
    "left", "right", "center", "bottom", "bottom-center", "bottom-local-center", "center-overlay", "cursor"};

CRect toRect(const platform::CPixelRect& r) { return CRect{r.x, r.y, r.x + r.width, r.y + r.height}; }
platform::CPixelRect toPixelRect(const CRect& r) { return platform::CPixelRect{r.left, r.top, r.width(), r.height()}; }

}  // namespace

// ---------------------------------------------------------------- sector map

void CSectorMap::resize(int width, int height) {
    m_size = std::max(8, int(getInt("sector-size", 64)));
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_columns = (m_width + m_size - 1) / m_size;
    m_rows = (m_height + m_size - 1) / m_size;
    m_dirty.assign(size_t(m_columns) * size_t(m_rows), 0);
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
            uint8_t& cell = m_dirty[size_t(row) * size_t(m_columns) + size_t(column)];
            if (!cell) continue;
            cell = 0;
            const int x = column * m_size, y = row * m_size;
            rects.push_back(CRect{x, y, std::min(x + m_size, m_width), std::min(y + m_size, m_height)});
        }
    m_dirtyCount = 0;
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
        const std::string alignment = getAttr("window-alignment").utf8();
        if (std::none_of(std::begin(kAlignments), std::end(kAlignments), [&](const char* a) { return alignment == a; }))
            return ZEL_ERROR("@zelstr_CWindowRenderer_init_Alignment Invalid window alignment '%1'",
                             getAttr("window-alignment"));
    }
    if (getBool("is-window-position-storing-enabled", false) && getBool("is-window-position-stored", false) &&
        getAttr("window-position-id").empty())
        return ZEL_ERROR("@zelstr_CWindowRenderer_init_PositionId Window position ID is empty.");
    m_updateTimer = dynamic_cast<CUpdateTimer*>(findChild("update-timer"));
    m_renderTimer = dynamic_cast<CUpdateTimer*>(findChild("render-timer"));
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
    options.rect =
        platform::CPixelRect{int(getInt("window-x", 0)), int(getInt("window-y", 0)), area.width(), area.height()};
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
    }
    std::string error;
    m_window = platform::CNativeWindow::create(m_display, options, *this, error);
    if (!m_window)
        return ZEL_ERROR("@zelstr_CWindowRenderer_createWindow Unable to create window (error %1).",
                         CString::fromUtf8(error));
    return nullptr;
}

void CWindowRenderer::destroyWindow() {
    if (m_updateTimer) m_updateTimer->stop();
    if (m_renderTimer) m_renderTimer->stop();
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
    if (!m_window || !m_root || !m_root->hasEventHandler("mouse-wheel")) return false;
    platform::CWindowEvent event;
    event.type = platform::CWindowEvent::kMouseWheel;
    event.wheelDelta = delta;
    sendInput("mouse-wheel", event);
    return true;
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
    if (m_captured) {
        platform::CWindowEvent cancel;
        cancel.type = platform::CWindowEvent::kMouseRelease;
        sendInput("mouse-cancel", cancel);
    }
    releaseMouse();
    setKeyFocus(false);
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
        ZEL_TRY(CNotifyServer::instance().notify(this, "tick"));
    }
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

void CWindowRenderer::sendInput(const CString& name, const platform::CWindowEvent& event) {
    CObject params;
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
    CErrorPtr err = CNotifyServer::instance().notify(this, name, &params);
    if (!err && m_root && m_root->hasEventHandler(name)) err = m_root->runEvent(name, &params, this);
    if (err) CSystem::showError(*err);
}

void CWindowRenderer::windowEvent(const platform::CWindowEvent& event) {
    using E = platform::CWindowEvent;
    const bool right = event.button == 3;
    const bool extra = event.button == 8 || event.button == 9;
    switch (event.type) {
        case E::kMousePress:
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
        case E::kFocusIn:
            sendInput("activate-window", event);
            break;
        case E::kFocusOut:
            sendInput("deactivate-window", event);
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
            m_captured = false;
            if (m_updateTimer) m_updateTimer->stop();
            if (m_renderTimer) m_renderTimer->stop();
            break;
    }
}

}  // namespace zel
