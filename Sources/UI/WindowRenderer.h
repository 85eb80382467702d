// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Core/Object.h"
#include "Core/Thread.h"
#include "Other/LinearBitmap.h"
#include "Platform/XWindow.h"
#include "UI/InputRouter.h"

namespace zel {

class CIntervalTimer;
class CUpdateTimer;
class CView;
class CWindowRenderer;
class CWindowSharedData;

// `ui:sector-map`: the window divided into square sectors of `sector-size`
// pixels; an update marks the sectors a rectangle touches as dirty.
class CSectorMap : public CObject {
public:
    void resize(int width, int height);
    void invalidate(const CRect& rect);
    void invalidateAll() { invalidate(CRect{0, 0, m_width, m_height}); }
    // The dirty sectors' rectangles, row by row; clears them.
    std::vector<CRect> takeDirty();
    // The sectors takeDirty handed out since the last call, row by row.
    std::vector<CRect> takeHandedOut();
    size_t dirtyCount() const { return m_dirtyCount; }
    int sectorSize() const { return m_size; }

private:
    int m_width = 0, m_height = 0;
    int m_size = 64;
    int m_columns = 0, m_rows = 0;
    std::vector<uint8_t> m_dirty;
    std::vector<uint8_t> m_handedOut;
    size_t m_dirtyCount = 0;
};

// Draws sectors of its renderer's frame when woken.
class CWindowRendererThread final : public CThread {
public:
    explicit CWindowRendererThread(CWindowRenderer& renderer) : m_renderer(renderer) {}
    ~CWindowRendererThread() override;

    void wake();
    void waitIdle();
    void quit();

protected:
    CErrorPtr run() override;

private:
    CWindowRenderer& m_renderer;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_work = false;
    bool m_busy = false;
    bool m_quit = false;
};

// `ui:window-renderer`: one native window of the editor with its bitmap,
// its timers (`update-timer`, `render-timer`) and its render threads. Views
// mark areas dirty; each render tick draws the dirty sectors and copies
// them to the window. Native input becomes view events ("mouse-press",
// "key-press", ...) that the renderer sends to its listeners.
class CWindowRenderer : public CObject, private platform::IWindowListener {
public:
    ~CWindowRenderer() override;
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // ---- operations used by views
    void invalidate(const CRect& rect);
    void captureMouse();
    void releaseMouse();
    void hideCursor();
    void showCursor();
    int cursorHideCount() const { return m_cursorHides; }
    void warpCursor(int x, int y);
    // During a drag: a pointer at or beyond an edge of the window, or of the
    // screen where the window goes beyond it, moves to the opposite edge;
    // true, with (x, y) where it went, when it did.
    bool wrapCursor(int& x, int& y);
    void setKeyFocus(bool focused);
    // Starts the `cursor-timer`: each of its ticks reaches the renderer's
    // listeners as "cursor-tick" until no view of the window has the key
    // focus any more.
    CErrorPtr startCaretBlink();
    // The view that opens this popup; set before init.
    void setOpener(CView* opener) { m_opener = opener; }
    CView* opener() const { return m_opener; }
    CWindowSharedData* sharedData() const { return m_shared; }
    CInputRouter* router() const { return m_router.get(); }
    // The window's position on the screen; false without a window.
    bool windowPosition(int& x, int& y);
    // Moves the window and keeps `window-x` and `window-y`.
    void moveWindow(int x, int y);
    // The pointer on the screen at the last pointer event.
    void pointerOnScreen(int& x, int& y) const {
        x = m_pointerX;
        y = m_pointerY;
    }
    // Keeps the window's position for its next opening when the window
    // stores it and the user lets windows store positions.
    CErrorPtr storeWindowPosition();
    // The id its position is stored under; errors for an empty one.
    CErrorPtr windowPositionId(CString& out) const;
    bool isPositionStored() const;
    // Set by the shared data while a modal window is open above this one:
    // input is ignored and the `window-blocker` picture shows.
    void setBlocked(bool blocked);
    bool isBlocked() const { return m_blocked; }
    bool isModal() const { return getBool("is-modal-window", false); }
    // Another window of the editor took the keyboard.
    void keyFocusLost();
    // The window that opened this one (through its opener view); null for
    // windows nobody opened.
    CWindowRenderer* openerWindow() const;
    // A press went to another window of the editor: a popup that closes
    // when it loses activation does, unless the press is in a window it
    // opened (directly or through others).
    void pressedElsewhere(CWindowRenderer& window);
    // A wheel step that the host passes on (+1 up, -1 down); true when the
    // window's views take wheel input.
    bool wheelStep(int delta);
    // Closes the window through the editor's window closer.
    CErrorPtr closeWindow();
    // Stops the timers and threads and destroys the window and bitmap.
    void destroyWindow();
    // The editor's shared data goes first: the window goes with it.
    void sharedDataReleased();

    // ---- the frame
    CErrorPtr renderFrame();
    // Draws dirty sectors until none is left (the frame's thread and the
    // render threads).
    void drawSectors();

    platform::CNativeWindow* window() const { return m_window.get(); }
    const CLinearBitmap& bitmap() const { return m_bitmap; }
    CSectorMap* sectorMap() const { return m_sectors; }
    size_t threadCount() const { return m_threads.size(); }
    uint64_t frameCount() const { return m_frames; }
    uint64_t drawnSectorCount() const { return m_drawnSectors; }
    bool isWindowLost() const { return m_windowLost; }

private:
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr onPreClose(CObject* params, CObject* sender);
    CErrorPtr onPerformClose(CObject* params, CObject* sender);
    CErrorPtr createNativeWindow();
    // Where a popup opens: its stored position, its manual coordinates or
    // its alignment to the opener.
    CErrorPtr popupPosition(int width, int height, int& x, int& y);
    // The root's `window-blocker` view; with `create`, made from
    // `window-blocker-tag` when the window has none.
    CErrorPtr windowBlocker(bool create, CView*& out);
    void windowEvent(const platform::CWindowEvent& event) override;
    void fillParams(CObject& params, const platform::CWindowEvent& event) const;
    void sendInput(const CString& name, const platform::CWindowEvent& event);
    CErrorPtr routeInput(const platform::CWindowEvent& event);
    CErrorPtr cancelPress();
    double autoClickTimeout(const CView& view) const;
    CErrorPtr autoClickTick();
    CErrorPtr deactivateTick();
    void blitRects(const std::vector<CRect>& rects);

    CView* m_root = nullptr;
    CSectorMap* m_sectors = nullptr;
    CWindowSharedData* m_shared = nullptr;
    CUpdateTimer* m_updateTimer = nullptr;
    CUpdateTimer* m_renderTimer = nullptr;
    CUpdateTimer* m_autoClickTimer = nullptr;
    CUpdateTimer* m_deactivateTimer = nullptr;
    CIntervalTimer* m_cursorTimer = nullptr;
    std::unique_ptr<CInputRouter> m_router;
    CView* m_opener = nullptr;
    std::shared_ptr<platform::CDisplay> m_display;
    std::unique_ptr<platform::CNativeWindow> m_window;
    CLinearBitmap m_bitmap;
    std::vector<std::unique_ptr<CWindowRendererThread>> m_threads;
    // The frame's dirty sectors, shared with the render threads.
    std::mutex m_sectorLock;
    std::vector<CRect> m_pending;
    std::vector<CRect> m_drawn;
    uint64_t m_frames = 0;
    uint64_t m_drawnSectors = 0;
    // The work area the pointer wraps around in, during a press.
    CRect m_wrapArea;
    bool m_hasWrapArea = false;
    int m_cursorHides = 0;
    bool m_captured = false;
    bool m_painted = false;
    bool m_windowLost = false;
    bool m_blocked = false;
    bool m_active = false;
    int m_pointerX = 0, m_pointerY = 0;
    double m_openedSeconds = 0;
    double m_pressSeconds = 0;
};

}  // namespace zel
