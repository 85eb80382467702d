// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ScrollerBar.h"

#include <algorithm>
#include <cmath>

#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/UpdateTimer.h"

#define ZEL_SOURCE_TAG "CScrollerBar"

namespace zel {

namespace {

// A strip image stretched along `r` without distortion.
void drawStrip(CLinearBitmap& bitmap, const CRect& clip, const CImage& image, const CRect& r, bool vertical,
               CColor colour) {
    // Centred across the bar; the image's ends cap the strip's ends, and
    // its uniform middle half repeats between them: a track longer than
    // the image has no gap.
    const int length = vertical ? r.height() : r.width();
    const int size = vertical ? image.nominalHeight() : image.nominalWidth();
    const int from = vertical ? r.top : r.left, to = from + length;
    const int cap = std::min(size / 2, length / 2);
    const int across =
        vertical ? r.left + (r.width() - image.nominalWidth()) / 2 : r.top + (r.height() - image.nominalHeight()) / 2;
    const auto piece = [&](int start, int clipFrom, int clipTo) {
        if (clipTo <= clipFrom) return;
        const CRect part =
            vertical ? CRect{r.left, clipFrom, r.right, clipTo} : CRect{clipFrom, r.top, clipTo, r.bottom};
        drawImage(bitmap, clip.intersect(part), image, vertical ? across : start, vertical ? start : across, colour,
                  1.0);
    };
    piece(from, from, from + cap);
    piece(to - size, to - cap, to);
    const int step = std::max(1, size / 2);
    for (int at = from + cap; at < to - cap; at += step) piece(at - size / 4, at, std::min(at + step, to - cap));
}

}  // namespace

void CScrollerBar::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("mouse-press", &CScrollerBar::onPress);
    info.onEvent("mouse-move", &CScrollerBar::onMove);
    info.onEvent("mouse-release", &CScrollerBar::onRelease);
    info.onEvent("mouse-cancel", &CScrollerBar::onRelease);
    info.onEvent("mouse-wheel", &CScrollerBar::onWheel);
    info.onEvent("scroll-start", &CScrollerBar::onScrollStart);
    info.onEvent("scroll-stop", &CScrollerBar::onScrollStop);
    info.onEvent("tick", &CScrollerBar::onTick);
    info.onEvent("ui-param-ready", &CScrollerBar::onValueChanged);
    info.onEvent("value-changed", &CScrollerBar::onValueChanged);
}

CErrorPtr CScrollerBar::init() {
    ZEL_TRY(CView::init());
    m_vertical = getBool("is-vertical", true);
    // Without its own, a bar moves the scrollable view it sits in, along
    // its axis.
    CObject* scrolled = nullptr;
    for (CObject* up = parent(); up && !scrolled; up = up->parent())
        if (auto* view = dynamic_cast<CView*>(up); view && view->scroll()) scrolled = view;
    const auto param = [&](const char* role, CUIParam*& out) -> CErrorPtr {
        if (!hasAttr(role) && !findChild(role) && scrolled) {
            out = dynamic_cast<CUIParam*>(scrolled->findChild(CString(role) + (m_vertical ? "" : "-h")));
            if (out) return listenObject(out, "value-changed", "value-changed");
        }
        const CString path = hasAttr(role) ? getAttr(role) : CString(".") + role;
        ZEL_TRY(findObjectChecked(path, out));
        if (out->parent() != this) ZEL_TRY(listenObject(out, "value-changed", "value-changed"));
        return nullptr;
    };
    ZEL_TRY(param("ui-param-offset", m_offset));
    ZEL_TRY(param("ui-param-ratio", m_ratio));
    ZEL_TRY(createChild("ui:update-timer", "scroll-timer", m_timer));
    m_timer->setReal("fps", getReal("scroll-fast-fps", 8));
    ZEL_TRY(m_timer->init());
    m_timer->stop();
    const CString setPath = hasAttr("image-set") ? getAttr("image-set") : CString("shared::is.scroller");
    if (auto* object = dynamic_cast<CImageSetObject*>(findObject(setPath)); object && !object->prepare(uiScale())) {
        const CImageSet* set = object->imageSet(uiScale());
        const CString p = m_vertical ? "V" : "H";
        m_bar = set->image(p + "Bar", 0);
        m_base = set->image(p + "Base", 0);
        m_prev[0] = set->image(p + "ButtonPrev", 0);
        m_prev[1] = set->image(p + "ButtonPrevPushed", 0);
        m_next[0] = set->image(p + "ButtonNext", 0);
        m_next[1] = set->image(p + "ButtonNextPushed", 0);
    }
    paletteColour("ScrollerBar", m_barColour, false);
    paletteColour("ScrollerBase", m_baseColour, false);
    // The arrows in the panel's text colour, so that they show on any base.
    if (!paletteColour("PanelText", m_arrowColour, false)) m_arrowColour = 0;
    ZEL_TRY(onValueChanged(nullptr, nullptr));
    return nullptr;
}

CErrorPtr CScrollerBar::onValueChanged(CObject*, CObject*) {
    if (!m_offset || !m_ratio) return nullptr;
    m_ratioValue = std::clamp(m_ratio->isReady() ? m_ratio->value() : 1.0, 0.0, 1.0);
    m_offsetValue = std::clamp(m_offset->isReady() ? m_offset->value() : 0.0, 0.0, 1.0 - m_ratioValue);
    invalidateView();
    return nullptr;
}

void CScrollerBar::track(int& from, int& to) const {
    const CRect& r = area();
    // The arrows are as long as the bar is thick.
    const int thick = m_vertical ? r.width() : r.height();
    from = (m_vertical ? r.top : r.left) + thick;
    to = std::max(from, (m_vertical ? r.bottom : r.right) - thick);
}

CRect CScrollerBar::barRect() const {
    int from = 0, to = 0;
    track(from, to);
    const int length = to - from;
    const int thick = m_vertical ? area().width() : area().height();
    const int bar = std::min(length, std::max(thick, int(std::lround(length * m_ratioValue))));
    const double room = 1.0 - m_ratioValue;
    const int start = from + (room > 0 ? int(std::lround((length - bar) * m_offsetValue / room)) : 0);
    const CRect& r = area();
    return m_vertical ? CRect{r.left, start, r.right, start + bar} : CRect{start, r.top, start + bar, r.bottom};
}

CScrollerBar::EPart CScrollerBar::partAt(int x, int y) const {
    const int at = m_vertical ? y : x;
    int from = 0, to = 0;
    track(from, to);
    if (at < from) return EPart::Prev;
    if (at >= to) return EPart::Next;
    const CRect bar = barRect();
    const int barFrom = m_vertical ? bar.top : bar.left, barTo = m_vertical ? bar.bottom : bar.right;
    if (at < barFrom) return EPart::TrackBefore;
    if (at >= barTo) return EPart::TrackAfter;
    return EPart::Bar;
}

int CScrollerBar::along(const CObject& params) const { return int(params.getInt(m_vertical ? "y" : "x", 0)); }

CErrorPtr CScrollerBar::setOffset(double offset) {
    const double value = std::clamp(offset, 0.0, std::max(0.0, 1.0 - m_ratioValue));
    if (value == m_offsetValue) return nullptr;
    ZEL_TRY(m_offset->setValue(value));
    return onValueChanged(nullptr, nullptr);
}

CErrorPtr CScrollerBar::moveBy(double screens) { return setOffset(m_offsetValue + screens * m_ratioValue); }

CErrorPtr CScrollerBar::startScrolling(int direction) {
    m_direction = direction;
    m_scrollSince = CViewBaseState::clock(*this);
    ZEL_TRY(moveBy(direction * getReal("scroll-step-size", 0.1)));
    ZEL_TRY(m_timer->start());
    invalidateView();
    return nullptr;
}

void CScrollerBar::stopScrolling() {
    m_direction = 0;
    m_timer->stop();
    invalidateView();
}

CErrorPtr CScrollerBar::onPress(CObject* params, CObject*) {
    if (!params) return nullptr;
    m_pressed = partAt(int(params->getInt("x", 0)), int(params->getInt("y", 0)));
    switch (m_pressed) {
        case EPart::Prev:
            return startScrolling(-1);
        case EPart::Next:
            return startScrolling(1);
        case EPart::TrackBefore:
            return moveBy(-getReal("scroll-frame-size", 0.9));
        case EPart::TrackAfter:
            return moveBy(getReal("scroll-frame-size", 0.9));
        case EPart::Bar:
            if (params->getBool("is-double-click", false)) {
                // The two states: either end.
                m_pressed = EPart::None;
                return setOffset(m_offsetValue > 0 ? 0.0 : 1.0);
            }
            m_dragFrom = along(*params);
            m_dragOffset = m_offsetValue;
            return nullptr;
        case EPart::None:
            break;
    }
    return nullptr;
}

CErrorPtr CScrollerBar::onMove(CObject* params, CObject*) {
    if (m_pressed != EPart::Bar || !params) return nullptr;
    int from = 0, to = 0;
    track(from, to);
    const CRect bar = barRect();
    const int travel = (to - from) - (m_vertical ? bar.height() : bar.width());
    if (travel <= 0) return nullptr;
    const double room = 1.0 - m_ratioValue;
    return setOffset(m_dragOffset + double(along(*params) - m_dragFrom) / travel * room);
}

CErrorPtr CScrollerBar::onRelease(CObject*, CObject*) {
    m_pressed = EPart::None;
    stopScrolling();
    return nullptr;
}

CErrorPtr CScrollerBar::onWheel(CObject* params, CObject*) {
    if (!params) return nullptr;
    return moveBy((params->getInt("delta", 0) > 0 ? -1 : 1) * getReal("scroll-step-size", 0.1));
}

CErrorPtr CScrollerBar::onScrollStart(CObject* params, CObject*) {
    return startScrolling(params && params->getInt("direction", 1) < 0 ? -1 : 1);
}

CErrorPtr CScrollerBar::onScrollStop(CObject*, CObject*) {
    stopScrolling();
    return nullptr;
}

CErrorPtr CScrollerBar::onTick(CObject*, CObject* sender) {
    if (sender != m_timer || m_direction == 0) return nullptr;
    // A step at once, then nothing until the hold time is over.
    if (CViewBaseState::clock(*this) - m_scrollSince < getReal("scroll-hold-time", 0.2)) return nullptr;
    const double perTick = getReal("scroll-screens-per-second", 4) / std::max(1.0, getReal("scroll-fast-fps", 8));
    return moveBy(m_direction * perTick);
}

void CScrollerBar::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    CView::drawSelf(bitmap, clip);
    const CRect& r = area();
    int from = 0, to = 0;
    track(from, to);
    const CRect trackRect = m_vertical ? CRect{r.left, from, r.right, to} : CRect{from, r.top, to, r.bottom};
    if (m_base) drawStrip(bitmap, clip, *m_base, trackRect, m_vertical, m_baseColour);
    if (m_bar) drawStrip(bitmap, clip, *m_bar, barRect(), m_vertical, m_barColour);
    const bool prevHeld = m_direction<0, nextHeld = m_direction> 0;
    const int thick = m_vertical ? r.width() : r.height();
    const auto arrow = [&](const CImage* image, int start) {
        if (!image) return;
        const int across = (thick - (m_vertical ? image->nominalWidth() : image->nominalHeight())) / 2;
        const int x = m_vertical ? r.left + across : start, y = m_vertical ? start : r.top + across;
        drawImage(bitmap, clip, *image, x, y, m_arrowColour, 0.8);
    };
    arrow(m_prev[prevHeld ? 1 : 0], m_vertical ? r.top : r.left);
    arrow(m_next[nextHeld ? 1 : 0], to);
}

}  // namespace zel
