// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"
#include "UI/EditTiming.h"

namespace zel {

class CEditBox;
class CTextView;

// Edits a text view's paragraphs in place. Unless the view `is-read-only`,
// the gesture its `is-editbox-on-click`, `is-editbox-on-singleclick` or
// `is-editbox-on-dblclick` selects (a single click waits
// `paragraph-click-edit-delay`) opens the paragraph in a `temp-editbox`
// child: over the whole view (`is-editbox-full`, the default) or over the
// paragraph, aligned by `editbox-text-alignment` ("inherit": the view's
// own), taking the view's `accept-chars`, `max-paragraph-length`,
// `is-accept-enter` and `is-select-all-on-focus`. The box is kept, hidden,
// for the next edit.
class CParagraphEditor {
public:
    explicit CParagraphEditor(CTextView& view) : m_view(view) {}

    void readOptions();
    bool isEditable() const { return m_editable; }
    bool isEditing() const;
    // The paragraph open for editing, or -1.
    int paragraph() const { return isEditing() ? m_paragraph : -1; }
    CEditBox* editBox() const { return m_box; }

    // A press on paragraph `at`. `taken` when it opened the paragraph (it
    // then neither selects nor counts as a list's double click).
    CErrorPtr press(int at, bool doubleClick, double now, bool& taken);
    // A frame of the window: a single click whose wait ran out opens,
    // unless anything else in the window was pressed meanwhile.
    CErrorPtr tick(double now);
    CErrorPtr open(int at);
    // The press was no click after all (it became a drag): nothing opens.
    void cancelPending() { m_gesture.cancel(); }
    // The edit box ended (`params` of its "editbox-text-changed"): the box
    // hides; the paragraph index is the edited one.
    void closed();

private:
    CErrorPtr createBox();
    uint64_t windowPresses() const;

    CTextView& m_view;
    CEditGesture m_gesture;
    bool m_editable = false;
    int m_pending = -1;
    uint64_t m_pendingPress = 0;
    int m_paragraph = -1;
    CEditBox* m_box = nullptr;
};

}  // namespace zel
