// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/RunLoop.h"

namespace zel::platform {

// A rectangle in pixels: origin and size.
struct CPixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Modifier flags of input events.
enum : uint32_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

// Native input and window events, already translated: coordinates are
// window coordinates, keys are symbols and text.
struct CWindowEvent {
    enum EType {
        kMousePress,
        kMouseRelease,
        kMouseMove,
        kMouseWheel,
        kMouseLeave,
        kKeyPress,
        kKeyRelease,
        kFocusIn,
        kFocusOut,
        // The server broke our pointer grab (the window went unviewable).
        kGrabLost,
        kExpose,
        kCloseRequest,
        // The window was destroyed from outside (with the host's window).
        kDestroyed,
        // The connection broke: the window is gone with it.
        kDisconnected
    };
    EType type = kMouseMove;
    int x = 0, y = 0;
    // The pointer on the screen, for pointer events.
    int rootX = 0, rootY = 0;
    // 1 left, 2 middle, 3 right, 8 and 9 the extra buttons.
    int button = 0;
    bool doubleClick = false;
    // +1 per wheel step upwards, -1 downwards.
    int wheelDelta = 0;
    uint32_t modifiers = 0;
    // Buttons held before the event: bit 0 left, bit 1 middle, bit 2 right.
    uint32_t buttonsHeld = 0;
    uint32_t keysym = 0;
    std::string text;
    CPixelRect area;
};

class IWindowListener {
public:
    virtual ~IWindowListener() = default;
    virtual void windowEvent(const CWindowEvent& event) = 0;
};

class CNativeWindow;

// One connection to the X server, opened per editor. Its descriptor is
// watched through the given run loop, so events arrive on the loop's
// thread. A connection that breaks (the server went away) is only marked
// broken; nothing ends the process.
class CDisplay final : public std::enable_shared_from_this<CDisplay> {
public:
    // Connects to `name` (the environment's display when empty). Null with
    // `error` set when there is no server.
    static std::shared_ptr<CDisplay> open(IRunLoop& loop, const std::string& name, std::string& error);
    ~CDisplay();
    CDisplay(const CDisplay&) = delete;
    CDisplay& operator=(const CDisplay&) = delete;

    bool isBroken() const;
    bool hasShm() const;
    // Reads and dispatches every pending event (also called by the fd watch).
    void dispatch();
    void flush();
    // The work area of the monitor that holds the point: the monitor's
    // rectangle less the desktop's panels where the window manager says so.
    CPixelRect workArea(int x, int y);
    // The top-level ancestor of a window (the window itself when it has no
    // parent but the root); 0 when unknown.
    uint32_t topLevelOf(uint32_t window);
    // Waits until the server has handled every request sent so far.
    void sync();
    // Errors the server reported for our requests so far; the last error's
    // code and request (major opcode) for a report.
    int errorCount() const;
    void lastError(int& code, int& request) const;

    struct CImpl;
    CImpl& impl() { return *m_impl; }

private:
    friend class CNativeWindow;
    explicit CDisplay(std::unique_ptr<CImpl> impl);
    void markBroken();
    void addWindow(CNativeWindow* window);
    void removeWindow(CNativeWindow* window);

    std::unique_ptr<CImpl> m_impl;
};

// A window of the editor: a child of a host window, or a top-level popup.
// It shows a 32-bit bitmap (bytes B, G, R, unused per pixel) and reports
// input through its listener.
class CNativeWindow final {
public:
    struct COptions {
        // The host window to embed into; 0 makes a top-level window.
        uint32_t parent = 0;
        // For top-level windows: the window they belong to (WM_TRANSIENT_FOR).
        uint32_t transientFor = 0;
        // Not decorated or managed by the window manager (drop-down lists).
        bool overrideRedirect = false;
        CPixelRect rect;
        std::string title;
    };

    // Null with `error` set on failure.
    static std::unique_ptr<CNativeWindow> create(std::shared_ptr<CDisplay> display, const COptions& options,
                                                 IWindowListener& listener, std::string& error);
    ~CNativeWindow();
    CNativeWindow(const CNativeWindow&) = delete;
    CNativeWindow& operator=(const CNativeWindow&) = delete;

    uint32_t id() const { return m_id; }
    bool isDestroyed() const { return m_destroyed; }
    CDisplay& display() { return *m_display; }
    const CPixelRect& rect() const { return m_rect; }

    void show(bool visible);
    // Above its siblings.
    void raise();
    // Embedded into a host window rather than top-level.
    bool isChild() const { return m_parent != 0; }
    void move(int x, int y);
    // Where the window's origin is on the screen (asks the server: the
    // host or the window manager may have moved it).
    bool screenOrigin(int& x, int& y);
    // Where the window's frame is on the screen: its origin less the
    // decoration a window manager put around it. Moving the window there
    // puts it back where it is.
    bool frameOrigin(int& x, int& y);
    void resize(int width, int height);
    void setTitle(const std::string& title);
    // Copies the rectangles of the bitmap to the window.
    void blit(const uint8_t* pixels, size_t stride, int width, int height, const std::vector<CPixelRect>& rects);

    // Keeps every pointer event for this window until released.
    void grabPointer();
    void releasePointer();
    bool isPointerGrabbed() const { return m_grabbed; }
    // Mapped, with every ancestor mapped.
    bool isViewable();
    void setCursorHidden(bool hidden);
    void warpPointer(int x, int y);
    // Takes the keyboard from the host while a view has key focus, and
    // hands it back to the window that had it.
    void takeKeyFocus();
    void returnKeyFocus();
    bool hasKeyFocus() const { return m_keyFocus; }
    // Whether the server gives the keyboard to this window now.
    bool holdsInputFocus();
    // Another client took the keyboard: nothing is handed back.
    void forgetKeyFocus() { m_keyFocus = false; }

    // Called by the display.
    void handle(const CWindowEvent& event) { m_listener.windowEvent(event); }
    // Double-click detection; true when this press completes one.
    bool isDoubleClick(int button, int x, int y, uint32_t timeMs);
    void disconnected();

private:
    friend class CDisplay;
    CNativeWindow(std::shared_ptr<CDisplay> display, IWindowListener& listener);
    bool blitShm(const uint8_t* pixels, size_t stride, int width, int height, const std::vector<CPixelRect>& rects);
    void releaseShm();

    std::shared_ptr<CDisplay> m_display;
    IWindowListener& m_listener;
    uint32_t m_id = 0;
    uint32_t m_gc = 0;
    uint32_t m_invisibleCursor = 0;
    CPixelRect m_rect;
    bool m_grabbed = false;
    bool m_keyFocus = false;
    // Destroyed from outside: nothing is sent for it any more.
    bool m_destroyed = false;
    uint32_t m_previousFocus = 0;
    uint32_t m_parent = 0;
    // The shared-memory image used by the blit.
    int m_shmId = -1;
    uint8_t* m_shmData = nullptr;
    uint32_t m_shmSeg = 0;
    size_t m_shmSize = 0;
    bool m_shmPending = false;
    // The last press, for double clicks.
    int m_lastButton = 0;
    int m_lastX = 0, m_lastY = 0;
    uint32_t m_lastTimeMs = 0;
    bool m_lastWasDouble = false;
};

}  // namespace zel::platform
