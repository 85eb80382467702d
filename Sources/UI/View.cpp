// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/View.h"

#include "Core/Debug.h"
#include "UI/ColourRole.h"

#define ZEL_SOURCE_TAG "View"

namespace zel {

CErrorPtr CView::init() {
    const CString role = getAttr("color");
    m_hasColour = !role.empty() && colourForRole(role, m_colour);
    if (!role.empty() && !m_hasColour) debugLog("Color not found: '%s'", role.utf8().c_str());
    // Placed before the children initialise: the window's renderer, a
    // child of the root view, takes its size from it.
    if (!dynamic_cast<CView*>(parent())) layout(0, 0);
    ZEL_TRY(CObject::init());
    return nullptr;
}

void CView::layout(int x, int y) {
    x += int(getInt("x", 0));
    y += int(getInt("y", 0));
    const CView* up = dynamic_cast<const CView*>(parent());
    const int width = int(getInt("width", up ? up->m_area.width() : 0));
    const int height = int(getInt("height", up ? up->m_area.height() : 0));
    m_area = CRect{x, y, x + width, y + height};
    for (const auto& child : children())
        if (auto* view = dynamic_cast<CView*>(child.get())) view->layout(x, y);
}

void CView::draw(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect visible = m_area.intersect(clip);
    if (visible.isEmpty()) return;
    if (m_hasColour) bitmap.fillRect(visible, m_colour, 1.0);
    for (const auto& child : children())
        if (const auto* view = dynamic_cast<const CView*>(child.get())) view->draw(bitmap, visible);
}

}  // namespace zel
