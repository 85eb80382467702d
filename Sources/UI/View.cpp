// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/View.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Core/Debug.h"
#include "Core/Notify.h"
#include "UI/DynamicPalette.h"
#include "UI/InputRouter.h"
#include "UI/ViewScroll.h"
#include "UI/WindowOpener.h"
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

// A length in its mode at layout: `room` is what the view may take for the
// modes sized by the room ("full", "full-compact", "balanced", "inline"; the
// caller works out which room), `reference` what a percentage is of.
int resolve(const CViewSize& size, int compact, int room, int reference) {
    switch (size.mode) {
        case ESizeMode::Pixels:
            return int(size.value);
        case ESizeMode::Percent:
            return int(std::lround(reference * size.value / 100.0));
        case ESizeMode::Full:
        case ESizeMode::FullCompact:
        case ESizeMode::Balanced:
        case ESizeMode::Inline:
            return std::max(0, room);
        case ESizeMode::Compact:
            break;
    }
    return compact;
}

// A length before the parent's room is known: a parent that sizes itself by
// its children counts "full" as nothing and the other room modes as content.
int measure(const CViewSize& size, int compact) {
    switch (size.mode) {
        case ESizeMode::Pixels:
            return int(size.value);
        case ESizeMode::Percent:
        case ESizeMode::Full:
            return 0;
        default:
            return compact;
    }
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

bool isScrollBar(EPlacement k) {
    return k == EPlacement::ScrollerV || k == EPlacement::ScrollerH || k == EPlacement::ScrollerP;
}

// The views of a scrollable view that move with its content.
bool isScrolled(const CViewBasePlacement& p) {
    return !isScrollBar(p.placement) && (p.placement == EPlacement::Inline || p.isDocked());
}

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
    info.onEvent("dynamic-palette-updated", &CView::onPaletteUpdated);
    info.onEvent("palette-updated-from-param", &CView::onPaletteUpdated);
    info.onEvent("scrolled-view-changed", &CView::onScrolled);
    info.onEvent("popup-toggle", &CView::onPopupToggle);
}

CErrorPtr CView::onPopupToggle(CObject* params, CObject*) {
    // The window template comes with the command or is the view's own.
    const CString tag =
        params && !params->getAttr("popup-tag").empty() ? params->getAttr("popup-tag") : getAttr("popup-tag");
    if (tag.empty()) return nullptr;
    auto* opener = dynamic_cast<CWindowOpener*>(findObject("ui.window-shared-data.window-opener"));
    if (!opener) return ZEL_ERROR("@zelstr_CTextView_openPopup_Opener Unable to find the window opener.");
    ZEL_TRY(opener->togglePopup(tag, params ? params->getAttr("popup-name") : CString(), *this));
    return nullptr;
}

CErrorPtr CView::onScrolled(CObject*, CObject*) {
    if (!m_scroll || m_scroll->isPlacing() || !m_ready) return nullptr;
    ZEL_TRY(layoutChildren());
    CView* top = this;
    while (auto* up = dynamic_cast<CView*>(top->parent())) top = up;
    top->arrangeDrawing(top->m_area);
    invalidateView();
    CWindowRenderer* renderer = windowRenderer();
    if (renderer && renderer->router()) ZEL_TRY(renderer->router()->contentMoved());
    return nullptr;
}

CErrorPtr CView::wheelScroll(long long delta) {
    if (!m_scroll || delta == 0) return nullptr;
    return m_scroll->scrollBy((delta > 0 ? -1 : 1) * getReal("scroll-step-size", 0.1));
}

CErrorPtr CView::onPaletteUpdated(CObject*, CObject*) {
    readRoles();
    invalidateView();
    return nullptr;
}

void CView::readRoles() { m_hasColour = fillColour(getAttr("color-state"), m_colour, &m_gradient); }

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

bool CView::fillColour(const CString& state, CColor& out, std::vector<CColor>* gradient) const {
    const CString role = getAttr("color");
    if (gradient) gradient->clear();
    if (role.empty()) return false;
    const auto take = [&](const CString& name, bool logMissing) {
        const CPreparedColor* prepared = preparedRole(name, logMissing);
        if (!prepared) return false;
        out = prepared->colour;
        const CRoleValues& v = prepared->values;
        if (gradient && v.gradientSize > 1 && (v.tone2 >= 0 || v.tone3 >= 0))
            for (int step = 0; step < v.gradientSize; ++step) gradient->push_back(prepared->gradient(step));
        return true;
    };
    // Combined states ("Active/Hover") draw in their combined variant
    // ("_ActiveHover"), else in the variant of the states before the last,
    // else in the last state's own, else in the plain role.
    std::vector<std::string> parts;
    std::string text = state.utf8();
    for (size_t at = 0; at <= text.size();) {
        const size_t slash = std::min(text.find('/', at), text.size());
        if (slash > at) parts.push_back(text.substr(at, slash - at));
        at = slash + 1;
    }
    for (size_t n = parts.size(); n > 0; --n) {
        std::string variant;
        for (size_t i = 0; i < n; ++i) variant += parts[i];
        if (take(role + "_" + CString::fromUtf8(variant), false)) return true;
    }
    if (parts.size() > 1 && take(role + "_" + CString::fromUtf8(parts.back()), false)) return true;
    return take(role, true);
}

void CView::attrChanged(const CString& name) {
    CObject::attrChanged(name);
    if (!m_ready) return;
    if (name == CString("color") || name == CString("color-state")) readRoles();
    const bool moves = std::any_of(std::begin(kPlacementAttrs), std::end(kPlacementAttrs),
                                   [&](const char* a) { return name == CString(a); });
    if (!moves) {
        invalidateView();
        return;
    }
    relayoutWindow();
}

void CView::relayoutWindow() {
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
    if (getBool("is-scrollable", false)) {
        ZEL_TRY(CViewScroll::create(*this, m_scroll));
        for (const char* name : {"ui-param-offset", "ui-param-offset-h"})
            ZEL_TRY(listenObject(findChild(name), "value-changed", "scrolled-view-changed"));
    }
    ZEL_TRY(CObject::init());
    ZEL_TRY(CDynamicPalette::of(*this, m_palette));
    readRoles();
    if (isRoot) ZEL_TRY(layoutTree());
    m_ready = true;
    return nullptr;
}

bool CView::roleColour(const char* attr, CColor& out) const {
    const CString role = getAttr(attr);
    if (role.empty()) return false;
    return paletteColour(role, out, true);
}

const CPreparedColor* CView::preparedRole(const CString& role, bool logMissing) const {
    if (!m_palette) {
        if (logMissing) debugLog("PALETTE IS NULL");
        return nullptr;
    }
    if (!logMissing && !m_palette->contains(role)) return nullptr;
    return m_palette->find(role);
}

bool CView::paletteColour(const CString& role, CColor& out, bool logMissing) const {
    const CPreparedColor* prepared = preparedRole(role, logMissing);
    if (!prepared) return false;
    out = prepared->colour;
    return true;
}

std::vector<CView*> CView::childViews() const {
    std::vector<CView*> views;
    for (const auto& child : children())
        if (auto* view = dynamic_cast<CView*>(child.get())) views.push_back(view);
    return views;
}

CErrorPtr CView::readPlacement(double scale, double ratioX, double ratioY) {
    m_scale = scale;
    ZEL_TRY(m_placement.read(*this, scale, ratioX, ratioY));
    for (CView* child : childViews()) ZEL_TRY(child->readPlacement(scale, m_placement.ratioX, m_placement.ratioY));
    return nullptr;
}

CErrorPtr CView::layoutTree() {
    // An open window keeps its scale: a new one applies when the window opens again.
    ZEL_TRY(readPlacement(m_ready ? m_scale : clampUiScale(getReal("ui-scale", 1.0)), 1.0, 1.0));
    const CSize size = preferredSize();
    const CRect window{0, 0, size.width, size.height};
    ZEL_TRY(place(window));
    arrangeDrawing(window);
    return nullptr;
}

CSize CView::contentSize() const { return flowSize(childViews()); }

CSize CView::flowSize(const std::vector<CView*>& views) {
    // Inline rows stacked, then the docked views around them, innermost
    // (last) first.
    int rowsWidth = 0, rowsHeight = 0, rowWidth = 0, rowHeight = 0;
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
    const bool needsContent = measure(p.width, -1) < 0 || measure(p.height, -1) < 0;
    const CSize compact = needsContent ? compactSize() : CSize{};
    return {p.clampWidth(measure(p.width, compact.width)), p.clampHeight(measure(p.height, compact.height))};
}

CErrorPtr CView::place(const CRect& area) {
    m_area = area;
    CViewBasePlacement& p = m_placement;
    // A view that stretches to its room passes the stretch on.
    if (p.isAutoRatio && p.nominalWidth > 0 && p.nominalHeight > 0) {
        const double rx = std::max(p.minRatioX, p.nominalRatioX * area.width() / p.nominalWidth);
        const double ry = std::max(p.minRatioY, p.nominalRatioY * area.height() / p.nominalHeight);
        if (rx != p.ratioX || ry != p.ratioY) {
            p.ratioX = rx;
            p.ratioY = ry;
            for (CView* child : childViews()) ZEL_TRY(child->readPlacement(m_scale, rx, ry));
        }
    }
    placed();
    return layoutChildren();
}

const CView* CView::relative(const CString& path) const {
    const std::string text = path.utf8();
    if (text.empty() || text[0] != '^') return nullptr;
    const CView* up = dynamic_cast<const CView*>(parent());
    if (text.find_first_not_of('^') == std::string::npos) {
        for (size_t level = 1; level < text.size() && up; ++level) up = dynamic_cast<const CView*>(up->parent());
        return up;
    }
    if (!up) return nullptr;
    const CString name(text.substr(1));
    for (const CView* sibling : up->childViews())
        if (sibling != this && sibling->name() == name) return sibling;
    return nullptr;
}

CErrorPtr CView::matchArea(CRect& out) const {
    const CView* target = relative(m_placement.match);
    if (!target)
        return ZEL_ERROR("@zelstr_CViewBasePlacement_attrPlacement_Match Invalid match '%1'.", m_placement.match);
    out = target->m_area;
    return nullptr;
}

CErrorPtr CView::layoutChildren() {
    const std::vector<CView*> views = childViews();
    const CRect inner = shrink(m_area, m_placement.inner);
    if (m_scroll) return layoutScrolled(views, inner);
    CRect room = inner;
    ZEL_TRY(layoutDocked(views, inner, room));
    ZEL_TRY(layoutInline(views, inner, room));
    // Covering views last, so that "match" finds its siblings placed.
    ZEL_TRY(layoutCovering(views, inner));
    for (CView* child : views)
        if (!child->m_placement.takesRoom()) child->m_area = CRect{};
    return nullptr;
}

CErrorPtr CView::layoutScrolled(const std::vector<CView*>& views, const CRect& inner) {
    // The scroll bars take their edges; the flow lays out over its whole
    // extent, moved by the offsets; covering views stay with the view.
    std::vector<CView*> bars, flow, covering;
    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        (isScrollBar(p.placement) ? bars : isScrolled(p) ? flow : covering).push_back(child);
    }
    CRect room = inner;
    ZEL_TRY(layoutDocked(bars, inner, room));
    ZEL_TRY(layoutCovering(bars, inner));
    // The wheel scrolls down the content: across, it scrolls only with a
    // horizontal bar, and is held to the room without one.
    const bool across = std::any_of(bars.begin(), bars.end(),
                                    [](const CView* v) { return v->m_placement.placement == EPlacement::ScrollerH; });
    const CSize size = flowSize(flow);
    CRect content;
    ZEL_TRY(m_scroll->place(room, across ? size.width : 0, size.height, content));
    CRect left = content;
    ZEL_TRY(layoutDocked(flow, content, left));
    ZEL_TRY(layoutInline(flow, content, left));
    ZEL_TRY(layoutCovering(covering, inner));
    for (CView* child : views)
        if (!child->m_placement.takesRoom()) child->m_area = CRect{};
    return nullptr;
}

namespace {

bool isVertical(EPlacement k) { return k == EPlacement::Top || k == EPlacement::Bottom || k == EPlacement::ScrollerH; }

// Covering views draw over the flow at equal z-index.
bool covers(EPlacement k) { return k == EPlacement::Overlay || k == EPlacement::WindowOverlay; }

// Whether a docked view keeps its own size across its edge rather than
// spanning the room: sizes of its own, and compact ones that are aligned.
bool keepsAcross(const CViewSize& size, EAlign align) {
    return size.mode == ESizeMode::Pixels || size.mode == ESizeMode::Percent ||
           (size.mode == ESizeMode::Compact && align != EAlign::Default);
}

}  // namespace

CErrorPtr CView::layoutDocked(const std::vector<CView*>& views, const CRect& inner, CRect& room) {
    // Balanced views along an axis share evenly what the other docked views
    // of that axis leave; the last of them takes the odd pixels.
    int fixed[2] = {0, 0}, balanced[2] = {0, 0};
    for (const CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (!p.isDocked() || !p.takesRoom()) continue;
        const int axis = isVertical(p.placement) ? 1 : 0;
        const CViewSize& size = axis ? p.height : p.width;
        const CSize pref = child->preferredSize();
        fixed[axis] += axis ? p.outer.vertical() : p.outer.horizontal();
        if (size.mode == ESizeMode::Balanced)
            ++balanced[axis];
        else if (size.mode != ESizeMode::Full && size.mode != ESizeMode::FullCompact)
            fixed[axis] += axis ? p.clampHeight(resolve(size, pref.height, 0, inner.height()))
                                : p.clampWidth(resolve(size, pref.width, 0, inner.width()));
    }
    int left[2] = {std::max(0, inner.width() - fixed[0]), std::max(0, inner.height() - fixed[1])};

    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (!p.isDocked() || !p.takesRoom()) continue;
        const CSize pref = child->preferredSize();
        const CBorder& o = p.outer;
        const CRect box = shrink(room, o);
        const bool vertical = isVertical(p.placement);
        const int axis = vertical ? 1 : 0;
        const CViewSize& along = vertical ? p.height : p.width;
        int share = vertical ? box.height() : box.width();
        if (along.mode == ESizeMode::Balanced) {
            share = balanced[axis] > 1 ? left[axis] / balanced[axis] : left[axis];
            left[axis] -= share;
            --balanced[axis];
        }
        CRect r = box;
        if (vertical) {
            const int h = p.clampHeight(resolve(p.height, pref.height, share, inner.height()));
            if (keepsAcross(p.width, p.alignH)) {
                const int w = p.clampWidth(resolve(p.width, pref.width, box.width(), inner.width()));
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
            const int w = p.clampWidth(resolve(p.width, pref.width, share, inner.width()));
            if (keepsAcross(p.height, p.alignV)) {
                const int h = p.clampHeight(resolve(p.height, pref.height, box.height(), inner.height()));
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
    return nullptr;
}

CErrorPtr CView::layoutInline(const std::vector<CView*>& views, const CRect& inner, const CRect& room) {
    // Inline views flow in rows through what the docked ones left; the rows
    // are aligned by this view's inline alignments.
    struct CItem {
        CView* view;
        CSize pref;
        int width = -1, height = -1;  // -1 until known
    };
    std::vector<std::vector<CItem>> rows(1);
    for (CView* child : views) {
        const CViewBasePlacement& p = child->m_placement;
        if (p.placement != EPlacement::Inline || !p.takesRoom()) continue;
        if (p.isNewInlineRow && !rows.back().empty()) rows.emplace_back();
        rows.back().push_back({child, child->preferredSize()});
    }
    const auto outerW = [](const CItem& i) { return i.view->m_placement.outer.horizontal(); };
    const auto outerH = [](const CItem& i) { return i.view->m_placement.outer.vertical(); };
    const auto bySize = [](ESizeMode m) {
        return m == ESizeMode::Pixels || m == ESizeMode::Percent || m == ESizeMode::Compact;
    };

    // Widths: sizes of their own first, then the balanced ones share what
    // is left of the row, "full" ones take the rest, and "inline" ones fill
    // up to the widest row.
    std::vector<int> rowWidths;
    for (auto& row : rows) {
        int used = 0, balanced = 0;
        for (CItem& item : row) {
            const CViewBasePlacement& p = item.view->m_placement;
            used += outerW(item);
            if (bySize(p.width.mode)) {
                item.width = p.clampWidth(resolve(p.width, item.pref.width, 0, inner.width()));
                used += item.width;
            } else if (p.width.mode == ESizeMode::Balanced) {
                ++balanced;
            }
        }
        int left = std::max(0, room.width() - used);
        for (CItem& item : row) {
            const CViewBasePlacement& p = item.view->m_placement;
            if (p.width.mode != ESizeMode::Balanced) continue;
            const int share = balanced > 1 ? left / balanced : left;
            left -= share;
            --balanced;
            item.width = p.clampWidth(share);
            used += item.width;
        }
        for (CItem& item : row) {
            const CViewBasePlacement& p = item.view->m_placement;
            if (p.width.mode != ESizeMode::Full && p.width.mode != ESizeMode::FullCompact) continue;
            item.width = p.clampWidth(std::max(0, room.width() - used));
            used += item.width;
        }
        int width = 0;
        for (const CItem& item : row) width += std::max(0, item.width) + outerW(item);
        rowWidths.push_back(width);
    }
    const int widest = rowWidths.empty() ? 0 : *std::max_element(rowWidths.begin(), rowWidths.end());
    for (size_t r = 0; r < rows.size(); ++r)
        for (CItem& item : rows[r])
            if (item.width < 0) {
                item.width = item.view->m_placement.clampWidth(std::max(0, widest - rowWidths[r]));
                rowWidths[r] += item.width;
            }

    // Heights: rows of balanced views share evenly what the other rows
    // leave, "full" heights take what the rows above leave, and "inline"
    // heights take their row's.
    std::vector<int> ownHeights;
    int otherRows = 0, balancedRows = 0;
    for (auto& row : rows) {
        int h = 0;
        bool balanced = false;
        for (CItem& item : row) {
            const CViewBasePlacement& p = item.view->m_placement;
            if (bySize(p.height.mode)) {
                item.height = p.clampHeight(resolve(p.height, item.pref.height, 0, inner.height()));
                h = std::max(h, item.height + outerH(item));
            }
            balanced = balanced || p.height.mode == ESizeMode::Balanced;
        }
        ownHeights.push_back(h);
        if (balanced)
            ++balancedRows;
        else
            otherRows += h;
    }
    int balancedLeft = std::max(0, room.height() - otherRows);
    std::vector<int> rowHeights;
    int rowsAbove = 0, blockHeight = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        int h = ownHeights[r];
        if (std::any_of(rows[r].begin(), rows[r].end(),
                        [](const CItem& i) { return i.view->m_placement.height.mode == ESizeMode::Balanced; })) {
            const int share = balancedRows > 1 ? balancedLeft / balancedRows : balancedLeft;
            balancedLeft -= share;
            --balancedRows;
            h = std::max(h, share);
            for (CItem& item : rows[r])
                if (item.view->m_placement.height.mode == ESizeMode::Balanced)
                    item.height = item.view->m_placement.clampHeight(std::max(0, share - outerH(item)));
        }
        for (CItem& item : rows[r]) {
            const CViewBasePlacement& p = item.view->m_placement;
            if (p.height.mode != ESizeMode::Full && p.height.mode != ESizeMode::FullCompact) continue;
            item.height = p.clampHeight(std::max(0, room.height() - rowsAbove - outerH(item)));
            h = std::max(h, item.height + outerH(item));
        }
        for (CItem& item : rows[r])
            if (item.height < 0) item.height = item.view->m_placement.clampHeight(std::max(0, h - outerH(item)));
        rowHeights.push_back(h);
        rowsAbove += h;
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
    return nullptr;
}

CErrorPtr CView::layoutCovering(const std::vector<CView*>& views, const CRect& inner) {
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
        const bool aligned = p.placement == EPlacement::ScrollerP;
        const bool coverW = p.width.mode == ESizeMode::Compact && p.alignH == EAlign::Default && !aligned;
        const bool coverH = p.height.mode == ESizeMode::Compact && p.alignV == EAlign::Default && !aligned;
        const int w =
            coverW ? reference.width() : p.clampWidth(resolve(p.width, pref.width, reference.width(), inner.width()));
        const int h = coverH ? reference.height()
                             : p.clampHeight(resolve(p.height, pref.height, reference.height(), inner.height()));
        // The panning control sits in the corner where the scroll bars meet.
        const bool corner = p.placement == EPlacement::ScrollerP;
        const EAlign alignH = corner && p.alignH == EAlign::Default ? EAlign::End : p.alignH;
        const EAlign alignV = corner && p.alignV == EAlign::Default ? EAlign::End : p.alignV;
        const int x = alignIn(alignH, reference.left, reference.right, w) + p.offsetX;
        const int y = alignIn(alignV, reference.top, reference.bottom, h) + p.offsetY;
        ZEL_TRY(child->place(CRect{x, y, x + w, y + h}));
    }
    return nullptr;
}

// ---------------------------------------------------------------- drawing

void CView::arrangeDrawing(const CRect& window) {
    computeClips(window, false);
    collectLevels();
}

void CView::computeClips(const CRect& window, bool hiddenAbove) {
    // The clip of the ancestor `unclip-level` levels above the parent, or
    // the window when there is none or the level is negative.
    // A view that covers the window is held by nothing but the window.
    CRect limit = window;
    const CView* up = dynamic_cast<const CView*>(parent());
    for (int level = 0; up && level < m_placement.unclipLevel; ++level) up = dynamic_cast<const CView*>(up->parent());
    if (up && m_placement.unclipLevel >= 0 && m_placement.placement != EPlacement::WindowOverlay)
        limit = up->m_childClip;
    // Scrolled content shows only through the room its scroll bars leave.
    const auto* holder = dynamic_cast<const CView*>(parent());
    if (holder && holder->m_scroll && isScrolled(m_placement)) limit = limit.intersect(holder->m_scroll->room());
    const bool hidden = hiddenAbove || m_placement.isHidden;
    const bool shown = !hidden && !m_area.isEmpty();
    m_clip = shown ? grow(m_area, m_placement.spread).intersect(limit) : CRect{};
    m_childClip = shown ? m_area.intersect(limit) : CRect{};
    for (CView* child : childViews()) child->computeClips(window, hidden);
}

int CView::childBase(const CViewBasePlacement& child) const {
    return child.isDynamic ? m_placement.zDynamicChilds : m_placement.zStaticChilds;
}

void CView::collectLevels() {
    // Every view's own level first, then the views that count from another
    // view join that view's level (the level its parent draws).
    std::vector<CView*> all{this};
    for (size_t i = 0; i < all.size(); ++i) {
        CView* view = all[i];
        view->m_level.clear();
        view->m_lifted = 0;
        for (CView* child : view->childViews()) {
            child->m_z = view->childBase(child->m_placement) + child->m_placement.zIndex;
            all.push_back(child);
        }
    }
    std::vector<std::pair<const CView*, CLevelEntry>> joined;
    for (CView* view : all) {
        const CViewBasePlacement& p = view->m_placement;
        if (p.zTarget.empty()) continue;
        const CView* target = view->relative(p.zTarget);
        const CView* host = target ? dynamic_cast<const CView*>(target->parent()) : nullptr;
        if (!host) {
            debugLog("Z-index target not found: %s", p.zTarget.utf8().c_str());
            continue;
        }
        view->m_z = target->m_z + p.zIndex;
        view->m_lifted = p.zIndex < 0 ? -1 : 1;
        joined.push_back({host, {view, view->m_z, false}});
    }
    for (CView* view : all) {
        for (CView* child : view->childViews())
            if (!child->m_lifted) view->m_level.push_back({child, child->m_z, false});
        for (const auto& [host, entry] : joined)
            if (host == view) view->m_level.push_back(entry);
        // Over their parent by ascending z-index; covering views over the
        // flow at equal z-index; document order otherwise, then the views
        // that joined the level.
        for (CLevelEntry& e : view->m_level) e.covers = covers(e.view->m_placement.placement);
        std::stable_sort(view->m_level.begin(), view->m_level.end(), [](const CLevelEntry& a, const CLevelEntry& b) {
            if (a.z != b.z) return a.z < b.z;
            return !a.covers && b.covers;
        });
        view->m_level.erase(std::remove_if(view->m_level.begin(), view->m_level.end(),
                                           [](const CLevelEntry& e) { return e.view->m_clip.isEmpty(); }),
                            view->m_level.end());
    }
    // Among its siblings, a view drawn below the view it counts from is at
    // the bottom, one drawn above it at the top.
    for (CView* view : all) {
        view->m_drawOrder.clear();
        std::vector<CView*> shown;
        for (CView* child : view->childViews())
            if (!child->m_clip.isEmpty()) shown.push_back(child);
        std::stable_sort(shown.begin(), shown.end(), [](const CView* a, const CView* b) {
            if (a->m_lifted != b->m_lifted) return a->m_lifted < b->m_lifted;
            if (a->m_z != b->m_z) return a->m_z < b->m_z;
            return !covers(a->m_placement.placement) && covers(b->m_placement.placement);
        });
        view->m_drawOrder.assign(shown.begin(), shown.end());
    }
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
    else if (m_states->colourFade("color", from, fraction) && paletteColour(from, old, true))
        colour = blend(old, colour, fraction);
    else if (!m_gradient.empty() && m_area.height() > 0) {
        const CRect area = m_area.intersect(clip);
        for (int y = area.top; y < area.bottom; ++y) {
            const auto step = size_t(int64_t(y - m_area.top) * int64_t(m_gradient.size()) / m_area.height());
            bitmap.fillRect(CRect{area.left, y, area.right, y + 1}, m_gradient[step], 1.0);
        }
        return;
    }
    bitmap.fillRect(m_area.intersect(clip), colour, 1.0);
}

void CView::draw(CLinearBitmap& bitmap, const CRect& sector) const {
    const CRect visible = m_clip.intersect(sector);
    if (!visible.isEmpty()) drawSelf(bitmap, visible);
    for (const CLevelEntry& entry : m_level) entry.view->draw(bitmap, sector);
}

}  // namespace zel
