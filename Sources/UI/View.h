// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"
#include "Other/LinearBitmap.h"

namespace zel {

// `ui:view`: a rectangle of a window, placed by `x`, `y`, `width` and
// `height` within its parent view, filled with the colour of its role
// `color` when it names one, with its child views drawn over it in order.
class CView : public CObject {
public:
    CErrorPtr init() override;

    // The view's rectangle in window coordinates.
    const CRect& area() const { return m_area; }
    // Places the view at window offset (x, y) and its children within it.
    void layout(int x, int y);
    // Draws the view and its children, clipped to `clip`; called by the
    // render threads, so it only reads the tree.
    virtual void draw(CLinearBitmap& bitmap, const CRect& clip) const;

private:
    CRect m_area;
    bool m_hasColour = false;
    CColor m_colour = 0;
};

// `ui:window-drag`: the root view of a window.
class CWinDrag : public CView {};

}  // namespace zel
