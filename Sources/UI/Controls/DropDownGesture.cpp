// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/DropDownGesture.h"

#include "UI/InputRouter.h"
#include "UI/View.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "CDropDownGesture"

namespace zel {

namespace {

bool contains(const CRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void at(const CObject& params, int x, int y, CObject& out) {
    out.setInt("x", x);
    out.setInt("y", y);
    out.setBool("is-shift", params.getBool("is-shift", false));
    out.setBool("is-control", params.getBool("is-control", false));
}

}  // namespace

CWinDrag* CDropDownGesture::popup() const {
    auto* windows = dynamic_cast<CWindowOpener*>(m_button.findObject("ui.window-shared-data.window-opener"));
    CWinDrag* open = windows ? windows->findPopup(m_button.getAttr("popup-tag")) : nullptr;
    CWindowRenderer* renderer = open ? open->windowRenderer() : nullptr;
    return renderer && renderer->opener() == &m_button ? open : nullptr;
}

bool CDropDownGesture::toPopup(CWinDrag& popup, const CObject& params, int& x, int& y) const {
    CWindowRenderer* mine = m_button.windowRenderer();
    CWindowRenderer* theirs = popup.windowRenderer();
    if (!mine || !theirs || !mine->window() || !theirs->window()) return false;
    int mx = 0, my = 0, px = 0, py = 0;
    if (!mine->window()->screenOrigin(mx, my) || !theirs->window()->screenOrigin(px, py)) return false;
    x = int(params.getInt("x", 0)) + mx - px;
    y = int(params.getInt("y", 0)) + my - py;
    return true;
}

CErrorPtr CDropDownGesture::move(const CObject& params) {
    if (!m_active) return nullptr;
    CWinDrag* open = popup();
    int x = 0, y = 0;
    if (!open || !toPopup(*open, params, x, y)) return nullptr;
    CInputRouter* router = open->windowRenderer()->router();
    if (!router) return nullptr;
    CObject local;
    at(params, x, y, local);
    if (contains(open->area(), x, y)) {
        m_inside = true;
        return router->mouseMove(local, x, y);
    }
    if (!m_inside) return nullptr;
    m_inside = false;
    return router->pointerLeft(local);
}

CErrorPtr CDropDownGesture::release(const CObject& params) {
    if (!m_active) return nullptr;
    m_active = m_inside = false;
    const int bx = int(params.getInt("x", -1)), by = int(params.getInt("y", -1));
    if (contains(m_button.area(), bx, by)) return nullptr;
    CWinDrag* open = popup();
    if (!open) return nullptr;
    int x = 0, y = 0;
    const bool known = toPopup(*open, params, x, y);
    if (known && contains(open->area(), x, y)) {
        // The entry takes the release as its own click.
        auto* list = dynamic_cast<CView*>(open->findChild("list"));
        if (list && contains(list->area(), x, y)) {
            CObject local;
            at(params, x, y, local);
            return CInputRouter::sendToView(*list, "mouse-press", &local, open->windowRenderer());
        }
        return nullptr;
    }
    return open->windowRenderer()->closeWindow();
}

}  // namespace zel
