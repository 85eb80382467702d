// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/View.h"

#include <algorithm>
#include <cmath>

#include "Core/Debug.h"
#include "Core/Notify.h"
#include "UI/ColourRole.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "View"

namespace zel {

namespace {

CRect shrink(const CRect& r, const CBorder& b) {
    CRect out{r.left + b.left, r.top + b.top, r.right - b.right, r.bottom - b.bottom};
    out.right = std::max(out.left, out.right);
    out.bottom = std::max(out.top, out.bottom);
    return out;
}

CRect grow(const CRect& r, const CBorder& b) {
    return {r.left - b.left, r.top - b.top, r.right + b.right, r.bottom + b.bottom};
}

// A length in its mode: `room` is what is left for "full", `reference` what
// a percentage is of.
int resolve(const CViewSize& size, int compact, int room, int reference) {
    switch (size.mode) {
        case ESizeMode::Pixels:
            return int(size.value);
        case ESizeMode::Percent:
            return int(std::lround(reference * size.value / 100.0));
        case ESizeMode::Full:
            return std::max(0, room);
        case ESizeMode::Compact:
            break;
    }
    return compact;
}

// The start of a `length` within [from, to) by `align` (default: start).
int alignIn(EAlign align, int from, int to, int length) {
    if (align == EAlign::Center) return from + (to - from - length) / 2;
    if (align == EAlign::End) return to - length;
    return from;
}

// Attributes whose change moves views: the tree is laid out again.
const char* const kPlacementAttrs[] = {
    "is-hidden", "is-weak-hide", "width",       "height",      "inner-border", "outer-border",
    "spread",    "placement",    "min-width",   "min-height",  "max-width",    "max-height",
    "offset-x",  "offset-y",     "alignment-h", "alignment-v", "z-index",      "is-new-inline-row"};

CColor blend(CColor from, CColor to, double f) {
    CColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double a = (from >> shift) & 0xff, b = (to >> shift) & 0xff;
        out |= CColor(std::lround(a + (b - a) * f)) << shift;
    }
    return out;
}

}  // namespace

CView::CView() : m_states(std::make_unique<CViewBaseState>(*this)) {}

CView::~CView() = default;

void CView::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("set-state", &CView::onStateEvent);
    info.onEvent("unset-state", &CView::onStateEvent);
    info.onEvent("toggle-state", &CView::onStateEvent);
}

CErrorPtr CView::onStateEvent(CObject* params, CObject*) {
    const CString event = params ? params->getAttr("event-name") : CString();
    const CString state = params ? params->getAttr("state-name") : CString();
    const double now = CViewBaseState::clock(*this);
    if (event == CString("toggle-state")) {
        ZEL_TRY(m_states->toggle(state, now));
    } else {
        ZEL_TRY(m_states->set(state, event == CString("set-state"), now));
    }
    return nullptr;
}

CErrorPtr CView::dispatchEvent(const CString& name, CObject* params, CObject* sender) {
    const bool handled = hasEventHandler(name);
    if (handled) {
        // Handlers shared by several events learn which one this is.
        CObject named;
        if (params)
            for (const auto& [key, value] : params->attrs())
                if (key != CString("full-name")) named.setAttr(key, value);
        named.setAttr("event-name", name);
        ZEL_TRY(CObject::dispatchEvent(name, &named, sender));
    }
    bool ran = false;
    ZEL_TRY(runCommands(name, params, ran));
    if (!handled && !ran) ZEL_TRY(CObject::dispatchEvent(name, params, sender));
    return nullptr;
}

CErrorPtr CView::runViewEvent(const CString& name, CObject* params, CObject* sender) {
    if (hasEventHandler(name)) {
        ZEL_TRY(dispatchEvent(name, params, sender));
        return nullptr;
    }
    bool ran = false;
    ZEL_TRY(runCommands(name, params, ran));
    return nullptr;
}

CErrorPtr CView::runCommands(const CString& name, CObject* params, bool& ran) {
    std::vector<CViewCommand*> commands;
    for (const auto& child : children())
        if (auto* command = dynamic_cast<CViewCommand*>(child.get()); command && command->onEvent() == name)
            commands.push_back(command);
    ran = !commands.empty();
    for (CViewCommand* command : commands) ZEL_TRY(command->perform(*this, params));
    return nullptr;
}

CWindowRenderer* CView::windowRenderer() const {
    const CView* top = this;
    while (const CView* up = dynamic_cast<const CView*>(top->parent())) top = up;
    for (const auto& child : top->children())
        if (auto* renderer = dynamic_cast<CWindowRenderer*>(child.get())) return renderer;
    return nullptr;
}

void CView::invalidateView() {
    if (CWindowRenderer* renderer = windowRenderer()) renderer->invalidate(grow(m_area, m_placement.spread));
}

bool CView::fillColour(const CString& state, CColor& out) const {
    const CString role = getAttr("color");
    if (role.empty()) return false;
    if (!state.empty() && colourForRole(role + "_" + state, out)) return true;
    return roleColour("color", out);
}

void CView::attrChanged(const CString& name) {
    CObject::attrChanged(name);
    if (!m_ready) return;
    if (name == CString("color") || name == CString("color-state"))
        m_hasColour = fillColour(getAttr("color-state"), m_colour);
    const bool moves = std::any_of(std::begin(kPlacementAttrs), std::end(kPlacementAttrs),
                                   [&](const char* a) { return name == CString(a); });
    if (!moves) {
        invalidateView();
        return;
    }
    CView* top = this;
    while (auto* up = dynamic_cast<CView*>(top->parent())) top = up;
    if (CErrorPtr err = top->layoutTree()) CSystem::showError(*err);
    if (CWindowRenderer* renderer = windowRenderer())
        if (renderer->sectorMap()) renderer->sectorMap()->invalidateAll();
}

CErrorPtr CView::init() {
    const bool isRoot = !dynamic_cast<CView*>(parent());
    // Placed before the children initialise: the window's renderer, a
    // child of the root view, takes its size from it. Placed again once
    // they have: views read their looks once their expressions resolve,
    // and text and images give compact sizes only then.
    if (isRoot) ZEL_TRY(layoutTree());
    ZEL_TRY(CObject::init());
    m_hasColour = fillColour(getAttr("color-state"), m_colour);
    if (isRoot) ZEL_TRY(layoutTree());
    m_ready = true;
    return nullptr;
}

bool CView::roleColour(const char* attr, CColor& out) const {
    const CString role = getAttr(attr);
    if (role.empty()) return false;
    if (colourForRole(role, out)) return true;
    debugLog("Color not found: '%s'", role.utf8().c_str());
    return false;
}

std::vector<CView*> CView::childViews() const {
    std::vector<CView*> views;
    for (const auto& child : children())
        if (auto* view = dynamic_cast<CView*>(child.get())) views.push_back(view);
    return views;
}

CErrorPtr CView::readPlacement(double scale) {
    m_scale = scale;
    ZEL_TRY(m_placement.read(*this, scale));
    for (CView* child : childViews()) ZEL_TRY(child->readPlacement(scale));
    return nullptr;
}

CErrorPtr CView::layoutTree() {
    ZEL_TRY(readPlacement(getReal("ui-scale", 1.0)));
    const CSize size = preferredSize();
    return place(CRect{0, 0, size.width, size.height});
}

CSize CView::contentSize() const {
    // Inline rows stacked, then the docked views around them, innermost
    // (last) first.
    int rowsWidth = 0, rowsHeight = 0, rowWidth = 0, rowHeight = 0;
    const std::vector<CView*> views = childViews();
    for (const CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (!p.takesRoom() || p.placement != EPlacement::Inline) continue;
        if (p.isNewInlineRow && rowWidth > 0) {
            rowsWidth = std::max(rowsWidth, rowWidth);
            rowsHeight += rowHeight;
            rowWidth = rowHeight = 0;
        }
        const CSize s = child->preferredSize();
        rowWidth += s.width + p.outer.horizontal();
        rowHeight = std::max(rowHeight, s.height + p.outer.vertical());
    }
    CSize size{std::max(rowsWidth, rowWidth), rowsHeight + rowHeight};
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        const CViewBasePlacement& p = (*it)->m_placement;
        if (!p.takesRoom() || !p.isDocked()) continue;
        const CSize s = (*it)->preferredSize();
        const int w = s.width + p.outer.horizontal(), h = s.height + p.outer.vertical();
        if (p.placement == EPlacement::Top || p.placement == EPlacement::Bottom || p.placement == EPlacement::ScrollerH)
            size = {std::max(size.width, w), size.height + h};
        else
            size = {size.width + w, std::max(size.height, h)};
    }
    return size;
}

CSize CView::compactSize() const {
    const CSize content = contentSize();
    return {content.width + m_placement.inner.horizontal(), content.height + m_placement.inner.vertical()};
}

CSize CView::preferredSize() const {
    const CViewBasePlacement& p = m_placement;
    const bool needsContent = p.width.mode == ESizeMode::Compact || p.height.mode == ESizeMode::Compact;
    const CSize compact = needsContent ? compactSize() : CSize{};
    return {p.clampWidth(resolve(p.width, compact.width, 0, 0)),
            p.clampHeight(resolve(p.height, compact.height, 0, 0))};
}

CErrorPtr CView::place(const CRect& area) {
    m_area = area;
    return layoutChildren();
}

CErrorPtr CView::matchArea(CRect& out) const {
    const CString& match = m_placement.match;
    const CView* up = dynamic_cast<const CView*>(parent());
    if (match == CString("^") && up) {
        out = up->m_area;
        return nullptr;
    }
    const CView* upper = up ? dynamic_cast<const CView*>(up->parent()) : nullptr;
    if (match == CString("^^") && upper) {
        out = upper->m_area;
        return nullptr;
    }
    if (up && match.length() > 1 && match.at(0) == u'^') {
        const std::string name = match.utf8().substr(1);
        for (const CView* sibling : up->childViews())
            if (sibling != this && sibling->name() == CString(name)) {
                out = sibling->m_area;
                return nullptr;
            }
    }
    return ZEL_ERROR("@zelstr_CViewBasePlacement_attrPlacement_Match Invalid match '%1'.", match);
}

CErrorPtr CView::layoutChildren() {
    const std::vector<CView*> views = childViews();
    const CRect inner = shrink(m_area, m_placement.inner);
    CRect room = inner;

    // Docked views take their edge of what is left, in document order.
    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (!p.isDocked() || !p.takesRoom()) continue;
        const CSize pref = child->preferredSize();
        const CBorder& o = p.outer;
        const CRect box = shrink(room, o);
        const bool vertical =
            p.placement == EPlacement::Top || p.placement == EPlacement::Bottom || p.placement == EPlacement::ScrollerH;
        CRect r = box;
        if (vertical) {
            const int h = p.clampHeight(resolve(p.height, pref.height, box.height(), inner.height()));
            if (p.width.mode == ESizeMode::Pixels || p.width.mode == ESizeMode::Percent) {
                const int w = p.clampWidth(resolve(p.width, 0, box.width(), inner.width()));
                r.left = alignIn(p.alignH, box.left, box.right, w);
                r.right = r.left + w;
            }
            if (p.placement == EPlacement::Top) {
                r.bottom = r.top + h;
                room.top = std::min(room.bottom, r.bottom + o.bottom);
            } else {
                r.top = r.bottom - h;
                room.bottom = std::max(room.top, r.top - o.top);
            }
        } else {
            const int w = p.clampWidth(resolve(p.width, pref.width, box.width(), inner.width()));
            if (p.height.mode == ESizeMode::Pixels || p.height.mode == ESizeMode::Percent) {
                const int h = p.clampHeight(resolve(p.height, 0, box.height(), inner.height()));
                r.top = alignIn(p.alignV, box.top, box.bottom, h);
                r.bottom = r.top + h;
            }
            if (p.placement == EPlacement::Left) {
                r.right = r.left + w;
                room.left = std::min(room.right, r.right + o.right);
            } else {
                r.left = r.right - w;
                room.right = std::max(room.left, r.left - o.left);
            }
        }
        ZEL_TRY(child->place(r));
    }

    // Inline views flow in rows through what the docked ones left; the
    // rows are aligned by this view's inline alignments.
    struct CItem {
        CView* view;
        int width, height;
    };
    std::vector<std::vector<CItem>> rows(1);
    int rowsAbove = 0;  // the height of the finished rows
    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (p.placement != EPlacement::Inline || !p.takesRoom()) continue;
        if (p.isNewInlineRow && !rows.back().empty()) {
            int h = 0;
            for (const CItem& item : rows.back())
                h = std::max(h, item.height + item.view->m_placement.outer.vertical());
            rowsAbove += h;
            rows.emplace_back();
        }
        int used = 0;
        for (const CItem& item : rows.back()) used += item.width + item.view->m_placement.outer.horizontal();
        const CSize pref = child->preferredSize();
        const int w =
            p.clampWidth(resolve(p.width, pref.width, room.width() - used - p.outer.horizontal(), inner.width()));
        const int h = p.clampHeight(
            resolve(p.height, pref.height, room.height() - rowsAbove - p.outer.vertical(), inner.height()));
        rows.back().push_back({child, w, h});
    }
    int blockHeight = 0;
    std::vector<int> rowHeights, rowWidths;
    for (const auto& row : rows) {
        int w = 0, h = 0;
        for (const CItem& item : row) {
            w += item.width + item.view->m_placement.outer.horizontal();
            h = std::max(h, item.height + item.view->m_placement.outer.vertical());
        }
        rowWidths.push_back(w);
        rowHeights.push_back(h);
        blockHeight += h;
    }
    int y = alignIn(m_placement.inlineAlignV, room.top, room.bottom, blockHeight);
    for (size_t r = 0; r < rows.size(); ++r) {
        int x = alignIn(m_placement.inlineAlignH, room.left, room.right, rowWidths[r]);
        for (const CItem& item : rows[r]) {
            const CViewBasePlacement& p = item.view->m_placement;
            const int top = alignIn(p.alignV, y + p.outer.top, y + rowHeights[r] - p.outer.bottom, item.height);
            x += p.outer.left;
            ZEL_TRY(item.view->place(CRect{x, top, x + item.width, top + item.height}));
            x += item.width + p.outer.right;
        }
        y += rowHeights[r];
    }

    // Covering views last, so that "match" finds its siblings placed.
    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (p.placement == EPlacement::Inline || p.isDocked() || !p.takesRoom()) continue;
        CRect reference = inner;
        if (p.placement == EPlacement::WindowOverlay) {
            const CView* top = this;
            while (const CView* up = dynamic_cast<const CView*>(top->parent())) top = up;
            reference = top->m_area;
        } else if (p.placement == EPlacement::Match) {
            ZEL_TRY(child->matchArea(reference));
        }
        reference = shrink(reference, p.outer);
        // A compact size covers the reference, unless the view is aligned
        // on that axis: then it keeps its content's size.
        const CSize pref = child->preferredSize();
        const bool coverW = p.width.mode == ESizeMode::Compact && p.alignH == EAlign::Default;
        const bool coverH = p.height.mode == ESizeMode::Compact && p.alignV == EAlign::Default;
        const int w =
            coverW ? reference.width() : p.clampWidth(resolve(p.width, pref.width, reference.width(), inner.width()));
        const int h = coverH ? reference.height()
                             : p.clampHeight(resolve(p.height, pref.height, reference.height(), inner.height()));
        const int x = alignIn(p.alignH, reference.left, reference.right, w) + p.offsetX;
        const int y0 = alignIn(p.alignV, reference.top, reference.bottom, h) + p.offsetY;
        ZEL_TRY(child->place(CRect{x, y0, x + w, y0 + h}));
    }

    for (CView* child : views)
        if (!child->m_placement.takesRoom()) child->m_area = CRect{};

    // Children over their parent by ascending z-index; covering views over
    // the flow at equal z-index; document order otherwise.
    m_drawOrder.clear();
    for (CView* child : views)
        if (!child->m_placement.isHidden) m_drawOrder.push_back(child);
    auto covers = [](const CView* v) {
        const EPlacement k = v->m_placement.placement;
        return k == EPlacement::Overlay || k == EPlacement::WindowOverlay;
    };
    std::stable_sort(m_drawOrder.begin(), m_drawOrder.end(), [&](const CView* a, const CView* b) {
        if (a->m_placement.zIndex != b->m_placement.zIndex) return a->m_placement.zIndex < b->m_placement.zIndex;
        return !covers(a) && covers(b);
    });
    return nullptr;
}

void CView::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    if (!m_hasColour) return;
    CColor colour = m_colour;
    CString from;
    double fraction = 1.0;
    CColor old;
    // A state's colour fades in from the one it replaces.
    if (m_states->colourFade("color-state", from, fraction) && fillColour(from, old))
        colour = blend(old, colour, fraction);
    else if (m_states->colourFade("color", from, fraction) && colourForRole(from, old))
        colour = blend(old, colour, fraction);
    bitmap.fillRect(m_area.intersect(clip), colour, 1.0);
}

void CView::draw(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect visible = grow(m_area, m_placement.spread).intersect(clip);
    if (visible.isEmpty()) return;
    drawSelf(bitmap, visible);
    // Children stay within this view's rectangle.
    const CRect inside = m_area.intersect(clip);
    for (const CView* child : m_drawOrder) child->draw(bitmap, inside);
}

}  // namespace zel
