// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Core/Object.h"

namespace zel {

namespace platform {
class CDisplay;
}

class CUpdateTimerGroup;
class CWindowRenderer;

// `ui:window-shared-data`: what the windows of one editor share, found at
// "ui.window-shared-data": the update-timer group, the editor's connection
// to the display, and which window holds the key focus.
class CWindowSharedData : public CObject {
public:
    ~CWindowSharedData() override;
    static void setupClass(CClassInfo& info);

    // The group, created on first use with `update-timer-group-tag`.
    CErrorPtr updateTimerGroup(CUpdateTimerGroup*& out);
    CUpdateTimerGroup* existingGroup() const { return m_group; }
    // The editor's display connection, opened on first use on the loop of
    // the editor.
    CErrorPtr display(std::shared_ptr<platform::CDisplay>& out);

    // Only one window holds the keyboard at a time.
    void setKeyFocusWindow(CWindowRenderer* renderer);
    CWindowRenderer* keyFocusWindow() const { return m_keyFocus; }
    // Open windows; they close when the shared data goes, as the display
    // goes with it.
    void windowOpened(CWindowRenderer& renderer);
    void windowClosing(CWindowRenderer& renderer);
    size_t windowCount() const { return m_windows.size(); }

private:
    std::vector<CWindowRenderer*> m_windows;
    CUpdateTimerGroup* m_group = nullptr;
    std::shared_ptr<platform::CDisplay> m_display;
    CWindowRenderer* m_keyFocus = nullptr;
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
