// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/EditBuffer.h"
#include "UI/EditTiming.h"
#include "UI/View.h"
#include "UI/VirtualKeyboard.h"

namespace zel {

class CFont;

// `count` bullets (asterisks where the font has no bullet): a password as
// it is drawn.
CString passwordMask(const CFont* font, size_t count);

// `ui:editbox`: one line of editable text. It edits while it has the key
// focus (a press on it or Tab), with a caret that blinks on the window's
// `cursor-timer` and the selection in the "Selection" colours. Enter
// accepts (with `is-accept-enter`, the default), Escape cancels, losing the
// focus accepts; either way it sends "editbox-text-changed" (`text`,
// `paragraph-index`, `is-cancelled`), and "editbox-empty-value" for an
// accepted empty text. `accept-chars` and `max-paragraph-length` limit
// what is typed or pasted; Ctrl+C, Ctrl+X and Ctrl+V use the clipboard.
// With `is-editbox-on-click`, `is-editbox-on-singleclick` or
// `is-editbox-on-dblclick` a press focuses the box without editing it until
// the gesture is complete; a single click waits `paragraph-click-edit-delay`
// (0.5 s) for a second press, so a double click never opens it twice.
// `text-alignment` ("left", "center", "right") places a text that fits.
// While it edits, its virtual keyboard (CVirtualKeyboardLink) is open; the
// keyboard's "virtual-keyboard-press" types the key's `title` as a typed
// key would, "Bkspace" erases as Backspace does and "Cancel" cancels.
// With `is-password` every character shows as a bullet and the text cannot
// be copied or cut.
class CEditBox : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;

    const CEditBuffer& buffer() const { return m_buffer; }
    // A new text to show and edit, as if it were the `title`.
    void setText(const CString& text);
    // Takes the key focus and edits with the characters from `from` up to
    // `to` selected, the caret at `to`: for a window that hands the keys to
    // the box itself. The virtual keyboard waits for a press on the box.
    CErrorPtr focusSelecting(size_t from, size_t to);
    bool isEditing() const { return m_editing; }
    bool isCaretShown() const { return m_editing && m_blink.isVisible(); }
    // The open virtual keyboard, or null.
    CWinDrag* virtualKeyboard() { return m_keyboard.popup(*this); }
    // What is drawn for `utf8`: the text, or a password's bullets.
    CString shownText(const std::string& utf8) const;

protected:
    CSize contentSize() const override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;
    // What lies under the text: the view's fill.
    virtual void drawBackground(CLinearBitmap& bitmap, const CRect& clip) const { CView::drawSelf(bitmap, clip); }

private:
    CErrorPtr onFocus(CObject* params, CObject* sender);
    CErrorPtr onBlur(CObject* params, CObject* sender);
    CErrorPtr onKey(CObject* params, CObject* sender);
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onCursorTick(CObject* params, CObject* sender);
    CErrorPtr onUpdateTick(CObject* params, CObject* sender);
    CErrorPtr onVirtualKey(CObject* params, CObject* sender);

    CErrorPtr listenToRenderer();
    CErrorPtr startEditing();
    // Ends the edit: an accepted text becomes the `title`, a cancelled
    // one goes back to it.
    CErrorPtr finish(bool cancelled);
    // Ends the edit and lets go of the focus.
    CErrorPtr end(bool cancelled);
    // Carries out what a key, typed or from the virtual keyboard, did to the buffer.
    CErrorPtr applyAction(EEditAction action, const std::string& copied);
    CErrorPtr paste();
    // The character position nearest to window x.
    size_t positionAt(int x) const;
    // Where the text starts: the inner area's left, less the scroll that
    // keeps the caret in view.
    int textLeft() const;
    // The gesture that opens the box, from its attributes.
    void readGesture();
    void scrollToCaret();
    void changed();

    const CFont* m_font = nullptr;
    CEditBuffer m_buffer;
    CCaretBlink m_blink;
    CEditGesture m_gesture;
    CVirtualKeyboardLink m_keyboard;
    bool m_byGesture = false;
    bool m_password = false;
    CColor m_text = 0, m_selection = 0x3070C0, m_selectionText = 0xFFFFFF;
    int m_scroll = 0;
    bool m_editing = false;
    bool m_listening = false;
    bool m_selecting = false;
    bool m_focusedByWindow = false;
};

}  // namespace zel
