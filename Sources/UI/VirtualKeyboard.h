// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/View.h"

namespace zel {

class CFont;

// `ui:virtual-key`: one key of a virtual keyboard, its `title` centred in
// the font `font-name`. A click (press and release on the key) sends
// "virtual-keyboard-press" (`title`) to the keyboard holding it. Its face is
// the role `color` ("VirtualKeyboardKey"), in its "_Hover" variant under
// the pointer, "Button_Pushed" while held, and its "_Active" variant with
// `is-active` (the caps key while caps lock is on). A key with an
// `auto-click-timeout` repeats while held that long (Bkspace), and then
// sends nothing more when let go. The title is in
// `text-color`, "ButtonText_Active" when active; the edge in `border-color`.
class CVirtualKey : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;
    void attrChanged(const CString& name) override;

    bool isPushed() const { return m_pushed && m_inside; }

protected:
    CSize contentSize() const override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onEnter(CObject* params, CObject* sender);
    CErrorPtr onExit(CObject* params, CObject* sender);
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onCancel(CObject* params, CObject* sender);
    CErrorPtr onRepeat(CObject* params, CObject* sender);
    CErrorPtr send();

    const CFont* m_font = nullptr;
    CColor m_face = 0, m_hover = 0, m_pushedFace = 0, m_active = 0, m_text = 0, m_activeText = 0, m_edge = 0;
    bool m_hasEdge = false;
    bool m_hovered = false, m_pushed = false, m_inside = false, m_repeated = false;
};

// `ui:virtual-keyboard-base`: the keys of a virtual keyboard popup. The
// title of a clicked key goes to the view that opened the popup (the edit
// box) as "virtual-keyboard-press" (`title`), except "CAPS": it toggles caps
// lock, which shows the key `caps-button` (a path) active and the letter
// keys in capitals, so that they send capitals.
class CVirtualKeyboard : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    bool isCapsLock() const { return m_caps; }

private:
    CErrorPtr onKey(CObject* params, CObject* sender);
    void setCapsLock(bool on);

    bool m_caps = false;
};

// Opens and closes the virtual keyboard of one edit box: with the box's
// `is-virtual-keyboard-allowed` and the global `show-virtual-keyboard`
// ("ui.global-data") on, the popup `virtual-keyboard-tag` opens below the
// box while it edits. Without a tag, a box that takes only number
// characters (`accept-chars`) gets "ui:virtual-keyboard-digital", others
// "ui:virtual-keyboard".
class CVirtualKeyboardLink {
public:
    // The template a box would open, or empty when it opens none.
    static CString templateFor(CView& box);
    CErrorPtr open(CView& box);
    CErrorPtr close(CView& box);
    // The open keyboard, or null.
    CWinDrag* popup(CView& box) const;

private:
    CString m_name;
};

}  // namespace zel
