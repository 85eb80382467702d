// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"
#include "Other/LinearBitmap.h"

namespace zel {

// Where a popup opens relative to the view that opens it.
enum class EWindowAlignment {
    Left,               // beside the opener, on its left, tops aligned
    Right,              // beside the opener, on its right, tops aligned
    Center,             // centred over the opener's window
    Bottom,             // below the opener, left edges aligned
    BottomCenter,       // below the opener, centred on it
    BottomLocalCenter,  // below the opener, centred on the opener's window
    CenterOverlay,      // centred over the opener itself
    Cursor              // its top left corner at the pointer
};

// `window-alignment`; empty means "center".
CErrorPtr parseWindowAlignment(const CString& text, EWindowAlignment& out);

// Everything on the screen that a popup's place depends on.
struct CPopupAnchor {
    CRect opener;        // the opener view, in screen coordinates
    CRect openerWindow;  // the window holding it
    int cursorX = 0, cursorY = 0;
    CRect workArea;  // of the monitor that holds the opener
};

// The popup's rectangle: aligned as asked, then kept within the work area.
// With `flip`, a popup that does not fit on its side of the opener goes to
// the other side (above instead of below, left instead of right) when it
// fits there.
CRect placePopup(EWindowAlignment alignment, const CPopupAnchor& anchor, int width, int height, bool flip);

// Window positions kept between openings, as "winpos-" + id in the
// application data shared by every plug-in of the vendor (`global`) or in
// this plug-in's own.
class CWindowPositionStore {
public:
    static CString itemName(const CString& id) { return CString("winpos-") + id; }
    // False when nothing usable is stored for `id`.
    static bool load(const CString& id, bool global, int& x, int& y);
    static CErrorPtr save(const CString& id, bool global, int x, int y);
};

}  // namespace zel
