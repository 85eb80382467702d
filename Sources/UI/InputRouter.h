// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CView;
class CWindowRenderer;
class CWindowSharedData;

// Sends the input of one window to its views. The pointer goes to the
// topmost visible, enabled view under it that is not click-through or
// decorative; a press keeps every pointer event until its last button is
// up, and its view hears "mouse-cancel" when the press is taken away. Keys
// go to the view with key focus; Tab moves the focus through the focusable
// views in document order, within the focused view's `tab-group` when it
// names one.
class CInputRouter {
public:
    CInputRouter(CWindowRenderer& renderer, CView& root) : m_renderer(renderer), m_root(root) {}

    // The view that takes the pointer at window point (x, y), or null.
    static CView* viewAt(CView& root, int x, int y);
    // The event's listeners hear it first, then the view's own handler.
    static CErrorPtr sendToView(CView& view, const CString& name, CObject* params, CObject* sender);
    // The focusable views that can take the focus now, in document order.
    static std::vector<CView*> focusOrder(CView& root);

    CErrorPtr mouseMove(CObject& params, int x, int y);
    // `name` is the press event of the button ("mouse-press",
    // "mouse-press-r", "mouse-xbutton-press").
    CErrorPtr mousePress(const CString& name, CObject& params, int x, int y, bool right);
    // `last`: no button is held any more; the press ends.
    CErrorPtr mouseRelease(const CString& name, CObject& params, int x, int y, bool last);
    // The press is taken away (window closing or blocked, grab lost).
    CErrorPtr cancelPress();
    CErrorPtr pointerLeft(CObject& params);
    // Views moved under the still pointer (a scroll): the pointer moves to
    // where it is among them, unless a press holds it or it is elsewhere.
    CErrorPtr contentMoved();
    CErrorPtr wheel(CObject& params, int x, int y);
    // Whether the last wheel step reached a view that scrolls or handles it.
    bool wheelTaken() const { return m_wheelTaken; }
    CErrorPtr key(const CString& name, CObject& params, uint32_t keysym, bool shift);

    CErrorPtr setFocus(CView* view);
    // The window lost the keyboard to another window: the focused view
    // hears "focus-lost", then "blur".
    CErrorPtr focusLost();
    // Forgets every view of the window (it is closing).
    void clear();
    // Forgets `view` and the views below it, which are going: no press or
    // key focus stays with them.
    void forget(const CView& view);

    CView* pressTarget() const { return m_press; }
    // Presses of any button so far: what waits for "no other click" compares it.
    uint64_t pressCount() const { return m_pressCount; }
    CView* focusView() const { return m_focus; }
    int lastX() const { return m_lastX; }
    int lastY() const { return m_lastY; }

private:
    CWindowSharedData* shared() const;
    CErrorPtr hoverAt(CObject& params, int x, int y);

    CWindowRenderer& m_renderer;
    CView& m_root;
    CView* m_press = nullptr;
    bool m_pressRight = false;
    CView* m_focus = nullptr;
    int m_lastX = 0, m_lastY = 0;
    bool m_wheelTaken = false;
    uint64_t m_pressCount = 0;
};

}  // namespace zel
