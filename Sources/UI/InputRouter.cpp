// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/InputRouter.h"

#include <algorithm>

#include "Core/Notify.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "InputRouter"

namespace zel {

namespace {

constexpr uint32_t kKeyTab = 0xff09;
constexpr uint32_t kKeyBackTab = 0xfe20;  // Shift+Tab on most layouts

bool contains(const CRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

bool isShown(const CView& view) { return !view.placement().isHidden && !view.area().isEmpty(); }

void collectFocusable(CView& view, std::vector<CView*>& out) {
    if (!isShown(view) || view.getBool("is-disabled", false)) return;
    if (view.getBool("is-focusable", false)) out.push_back(&view);
    for (const auto& child : view.children())
        if (auto* v = dynamic_cast<CView*>(child.get())) collectFocusable(*v, out);
}

}  // namespace

CView* CInputRouter::viewAt(CView& root, int x, int y) {
    // A disabled view takes its children with it.
    // Only where it shows: scrolled content is hidden beyond its view's room.
    if (!isShown(root) || !contains(root.area().intersect(root.drawClip()), x, y) || root.getBool("is-disabled", false))
        return nullptr;
    const auto& order = root.drawOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (CView* hit = viewAt(const_cast<CView&>(**it), x, y)) return hit;
    if (root.getBool("is-click-through", false) || root.getBool("is-decorative", false)) return nullptr;
    return &root;
}

CErrorPtr CInputRouter::sendToView(CView& view, const CString& name, CObject* params, CObject* sender) {
    ZEL_TRY(CNotifyServer::instance().notify(&view, name, params));
    // The view's class and its view commands take the event.
    ZEL_TRY(view.runViewEvent(name, params, sender));
    return nullptr;
}

std::vector<CView*> CInputRouter::focusOrder(CView& root) {
    std::vector<CView*> views;
    collectFocusable(root, views);
    return views;
}

CWindowSharedData* CInputRouter::shared() const { return m_renderer.sharedData(); }

CErrorPtr CInputRouter::hoverAt(CObject& params, int x, int y) {
    CWindowSharedData* data = shared();
    if (!data) return nullptr;
    ZEL_TRY(data->setHoverView(viewAt(m_root, x, y), &m_renderer, &params, false));
    return nullptr;
}

CErrorPtr CInputRouter::mouseMove(CObject& params, int x, int y) {
    m_lastX = x;
    m_lastY = y;
    if (m_press) {
        // The press keeps the pointer: nothing else is hovered meanwhile.
        ZEL_TRY(sendToView(*m_press, "mouse-move", &params, &m_renderer));
        return nullptr;
    }
    ZEL_TRY(hoverAt(params, x, y));
    if (CView* view = viewAt(m_root, x, y)) ZEL_TRY(sendToView(*view, "mouse-move", &params, &m_renderer));
    return nullptr;
}

CErrorPtr CInputRouter::mousePress(const CString& name, CObject& params, int x, int y, bool right) {
    ++m_pressCount;
    m_lastX = x;
    m_lastY = y;
    CView* target = m_press;
    if (!target) {
        target = viewAt(m_root, x, y);
        ZEL_TRY(hoverAt(params, x, y));
        m_press = target;
        m_pressRight = right;
        // A press elsewhere takes the key focus from the focused view. The
        // press is known first: a view that the press focuses can tell.
        CView* focus = target && target->getBool("is-focusable", false) ? target : nullptr;
        ZEL_TRY(setFocus(focus));
    }
    if (target) ZEL_TRY(sendToView(*target, name, &params, &m_renderer));
    return nullptr;
}

CErrorPtr CInputRouter::mouseRelease(const CString& name, CObject& params, int x, int y, bool last) {
    m_lastX = x;
    m_lastY = y;
    CView* target = m_press;
    if (last) m_press = nullptr;
    if (target) ZEL_TRY(sendToView(*target, name, &params, &m_renderer));
    if (last) ZEL_TRY(hoverAt(params, x, y));
    return nullptr;
}

CErrorPtr CInputRouter::cancelPress() {
    CView* target = m_press;
    if (!target) return nullptr;
    m_press = nullptr;
    CObject params;
    params.setInt("x", m_lastX);
    params.setInt("y", m_lastY);
    ZEL_TRY(sendToView(*target, m_pressRight ? "mouse-cancel-r" : "mouse-cancel", &params, &m_renderer));
    return nullptr;
}

CErrorPtr CInputRouter::pointerLeft(CObject& params) {
    CWindowSharedData* data = shared();
    // A press goes on outside the window.
    if (m_press || !data) return nullptr;
    ZEL_TRY(data->setHoverView(nullptr, &m_renderer, &params, true));
    return nullptr;
}

CErrorPtr CInputRouter::contentMoved() {
    CWindowSharedData* data = shared();
    if (m_press || !data || !data->hoverView() || data->hoverView()->windowRenderer() != &m_renderer) return nullptr;
    CObject params;
    params.setInt("x", m_lastX);
    params.setInt("y", m_lastY);
    return mouseMove(params, m_lastX, m_lastY);
}

CErrorPtr CInputRouter::wheel(CObject& params, int x, int y) {
    m_wheelTaken = false;
    CView* view = viewAt(m_root, x, y);
    if (!view) return nullptr;
    ZEL_TRY(sendToView(*view, "mouse-wheel", &params, &m_renderer));
    m_wheelTaken = view->hasEventHandler("mouse-wheel");
    if (m_wheelTaken) return nullptr;
    for (CObject* up = view->parent(); auto* ancestor = dynamic_cast<CView*>(up); up = up->parent()) {
        if (!ancestor->getBool("is-scrollable", false)) continue;
        // The scroll bar moves the content; a view without one scrolls itself.
        CObject* scroller = ancestor->findChild("scroller-v");
        auto* bar = scroller ? dynamic_cast<CView*>(scroller->findChild("bar")) : nullptr;
        m_wheelTaken = true;
        ZEL_TRY(sendToView(bar ? *bar : *ancestor, "mouse-wheel", &params, &m_renderer));
        if (!bar) ZEL_TRY(ancestor->wheelScroll(params.getInt("delta", 0)));
        break;
    }
    return nullptr;
}

CErrorPtr CInputRouter::key(const CString& name, CObject& params, uint32_t keysym, bool shift) {
    const bool tab = keysym == kKeyTab || keysym == kKeyBackTab;
    if (tab && name == CString("key-press")) {
        std::vector<CView*> order = focusOrder(m_root);
        // A text view's temporary edit box stands in for the text view.
        const auto isTemp = [](const CView* v) { return v->name() == CString("temp-editbox"); };
        CView* from = m_focus && isTemp(m_focus) ? dynamic_cast<CView*>(m_focus->parent()) : m_focus;
        // Fields of one `tab-group` are visited in turn, without the others.
        const CString group = from ? from->getAttr("tab-group") : CString();
        order.erase(std::remove_if(order.begin(), order.end(),
                                   [&](const CView* v) {
                                       return isTemp(v) || (!group.empty() && v->getAttr("tab-group") != group);
                                   }),
                    order.end());
        if (order.empty()) return nullptr;
        const bool back = shift || keysym == kKeyBackTab;
        const auto at = std::find(order.begin(), order.end(), from);
        size_t next = 0;
        if (at == order.end())
            next = back ? order.size() - 1 : 0;
        else
            next = (size_t(at - order.begin()) + (back ? order.size() - 1 : 1)) % order.size();
        if (m_focus) {
            // The view that gives the focus away hears where it goes first
            // (a value entry commits its text).
            CObject change;
            change.setAttr("key-focus-view", order[next]->fullName());
            change.setBool("is-tab", true);
            ZEL_TRY(sendToView(*m_focus, "change-key-focus", &change, &m_renderer));
        }
        ZEL_TRY(setFocus(order[next]));
        return nullptr;
    }
    if (m_focus) ZEL_TRY(sendToView(*m_focus, name, &params, &m_renderer));
    return nullptr;
}

CErrorPtr CInputRouter::setFocus(CView* view) {
    if (view == m_focus) return nullptr;
    CView* previous = m_focus;
    m_focus = view;
    if (previous) ZEL_TRY(sendToView(*previous, "blur", nullptr, &m_renderer));
    // The window holds the keyboard exactly while one of its views has focus.
    m_renderer.setKeyFocus(m_focus != nullptr);
    if (m_focus) ZEL_TRY(sendToView(*m_focus, "focus", nullptr, &m_renderer));
    return nullptr;
}

CErrorPtr CInputRouter::focusLost() {
    CView* previous = m_focus;
    if (!previous) return nullptr;
    m_focus = nullptr;
    ZEL_TRY(sendToView(*previous, "focus-lost", nullptr, &m_renderer));
    ZEL_TRY(sendToView(*previous, "blur", nullptr, &m_renderer));
    return nullptr;
}

void CInputRouter::forget(const CView& view) {
    const auto within = [&](const CObject* v) {
        for (; v; v = v->parent())
            if (v == &view) return true;
        return false;
    };
    if (within(m_press)) m_press = nullptr;
    if (within(m_focus)) m_focus = nullptr;
}

void CInputRouter::clear() {
    m_press = nullptr;
    m_focus = nullptr;
}

}  // namespace zel
