// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Core/Object.h"
#include "UI/PopupKeeper.h"

namespace zel {

namespace platform {
class CClipboard;
class CDisplay;
}  // namespace platform

class CEditorErrorDisplay;
class CUpdateTimerGroup;
class CView;
class CWindowRenderer;

// `ui:window-shared-data`: what the windows of one editor share, found at
// "ui.window-shared-data": the update-timer group, the editor's connection
// to the display, which window holds the key focus, the view under the
// pointer and the blocking of windows by modal ones.
class CWindowSharedData : public CObject {
public:
    CWindowSharedData();
    ~CWindowSharedData() override;
    static void setupClass(CClassInfo& info);

    // The group, created on first use with `update-timer-group-tag`.
    CErrorPtr updateTimerGroup(CUpdateTimerGroup*& out);
    CUpdateTimerGroup* existingGroup() const { return m_group; }
    // The editor's display connection, opened on first use on the loop of
    // the editor.
    CErrorPtr display(std::shared_ptr<platform::CDisplay>& out);
    // The editor's clipboard, opened on first use; what its edit boxes
    // copied stays available to other programs while the editor is open.
    CErrorPtr clipboard(platform::CClipboard*& out);

    // Only one window holds the keyboard at a time: the one that had it
    // hands it back and its focused view hears "focus-lost".
    void setKeyFocusWindow(CWindowRenderer* renderer);
    // Another client took the keyboard from `renderer`.
    void keyFocusGone(CWindowRenderer& renderer);
    // The view under the pointer, editor-wide. The view left hears
    // "mouse-exit" (and "mouse-top-exit" when the pointer left its window),
    // then the new one "mouse-enter"; then the shared data's listeners hear
    // "hover-view-changed".
    CErrorPtr setHoverView(CView* view, CWindowRenderer* window, CObject* params, bool leftWindow);
    CView* hoverView() const { return m_hover; }
    // The window's views are going or take no input: none stays hovered.
    // With `tell`, the view that was hovered hears "mouse-exit".
    void forgetHoverIn(CWindowRenderer& renderer, bool tell);
    CWindowRenderer* keyFocusWindow() const { return m_keyFocus; }
    // Open windows; they close when the shared data goes, as the display
    // goes with it. While one is open, the errors of the process show in
    // the editor's error window.
    void windowOpened(CWindowRenderer& renderer);
    void windowClosing(CWindowRenderer& renderer);
    // A press in `renderer`: the popups that close when they lose
    // activation hear of it.
    void pressedIn(CWindowRenderer& renderer);
    // Raises the last modal window and the windows opened after it.
    void raiseModal();
    CPopupKeeper& popupKeeper() { return m_popups; }
    size_t windowCount() const { return m_windows.size(); }
    // In the order they opened.
    const std::vector<CWindowRenderer*>& windows() const { return m_windows; }

private:
    // Every window opened before a modal one that is still open is blocked.
    void updateBlocking();

    std::vector<CWindowRenderer*> m_windows;
    CUpdateTimerGroup* m_group = nullptr;
    std::shared_ptr<platform::CDisplay> m_display;
    std::unique_ptr<platform::CClipboard> m_clipboard;
    CWindowRenderer* m_keyFocus = nullptr;
    CView* m_hover = nullptr;
    CWindowRenderer* m_hoverWindow = nullptr;
    // Set while the editor goes: its windows only close.
    bool m_releasing = false;
    std::unique_ptr<CEditorErrorDisplay> m_errors;
    CPopupKeeper m_popups;
};

// `ui:window-closer`: closes windows outside their own event handling.
// "pre-close-window" reaches the window at once, "perform-close-window" on
// a later turn of the loop, in the order the closings were queued.
class CWindowCloser : public CObject {
public:
    CWindowCloser();
    ~CWindowCloser() override;
    static void setupClass(CClassInfo& info);

    CErrorPtr queueClose(CWindowRenderer& renderer);
    // A window released before its turn.
    void forget(CWindowRenderer& renderer);
    size_t queuedCount() const { return m_queue.size(); }

private:
    void performNext();

    std::vector<CWindowRenderer*> m_queue;
    // Cleared when the closer goes, so that a posted closing finds nothing.
    std::shared_ptr<bool> m_alive;
};

}  // namespace zel
