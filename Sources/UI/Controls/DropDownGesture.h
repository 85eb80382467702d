// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"

namespace zel {

class CView;
class CWinDrag;

// Picks a drop-down's entry in one gesture: the press that opened the list
// keeps the pointer, so its moves and its release reach the drop-down
// button. While the press lasts, the entry under the pointer lights up in
// the list; a release over an entry chooses it as a click there would, a
// release over the button leaves the list open (a plain click), and a
// release anywhere else closes it with nothing chosen.
class CDropDownGesture {
public:
    explicit CDropDownGesture(CView& button) : m_button(button) {}

    // The press opened the list.
    void start() { m_active = true; }
    void cancel() { m_active = false; }
    bool isActive() const { return m_active; }
    // `params`: the pointer in the button's window.
    CErrorPtr move(const CObject& params);
    CErrorPtr release(const CObject& params);

private:
    // The list this button opened, still open.
    CWinDrag* popup() const;
    // The pointer in the popup's window; false when it cannot be told.
    bool toPopup(CWinDrag& popup, const CObject& params, int& x, int& y) const;

    CView& m_button;
    bool m_active = false;
    bool m_inside = false;
};

}  // namespace zel
