// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ViewScroll.h"

#include <algorithm>
#include <cmath>

#include "UI/ParamLink.h"
#include "UI/View.h"

#define ZEL_SOURCE_TAG "CViewScroll"

namespace zel {

namespace {

const char* const kOffsetNames[2] = {"ui-param-offset-h", "ui-param-offset"};
const char* const kRatioNames[2] = {"ui-param-ratio-h", "ui-param-ratio"};

CErrorPtr param(CView& view, const char* name, double initial, CUIParam*& out) {
    out = dynamic_cast<CUIParam*>(view.findChild(name));
    if (out) return nullptr;
    CObject* made = nullptr;
    ZEL_TRY(view.createChild("ui:ui-param", name, made));
    out = dynamic_cast<CUIParam*>(made);
    if (!out) return ZEL_ERROR("@zelstr_CViewScroll_create_Param Unable to create the scroll parameter '%1'.", name);
    made->setReal("simple-min-value", 0.0);
    made->setReal("simple-max-value", 1.0);
    made->setReal("simple-def-value", initial);
    return nullptr;
}

double read(const CUIParam* p, double otherwise) {
    if (!p) return otherwise;
    // Before it initialises, a declared starting value is already there.
    return p->hasAttr("value") ? p->getReal("value", otherwise) : p->getReal("simple-def-value", otherwise);
}

}  // namespace

CErrorPtr CViewScroll::create(CView& view, std::unique_ptr<CViewScroll>& out) {
    auto scroll = std::make_unique<CViewScroll>();
    for (int axis = 0; axis < 2; ++axis) {
        ZEL_TRY(param(view, kOffsetNames[axis], 0.0, scroll->m_offset[axis]));
        ZEL_TRY(param(view, kRatioNames[axis], 1.0, scroll->m_ratio[axis]));
    }
    out = std::move(scroll);
    return nullptr;
}

double CViewScroll::offset(bool vertical) const { return read(m_offset[vertical ? 1 : 0], 0.0); }

double CViewScroll::ratio(bool vertical) const { return read(m_ratio[vertical ? 1 : 0], 1.0); }

CErrorPtr CViewScroll::place(const CRect& room, int width, int height, CRect& out) {
    m_room = room;
    const int visible[2] = {room.width(), room.height()};
    const int extent[2] = {std::max(visible[0], width), std::max(visible[1], height)};
    int shift[2] = {0, 0};
    m_placing = true;
    CErrorPtr failed;
    for (int axis = 0; axis < 2 && !failed; ++axis) {
        const double ratio = extent[axis] > 0 ? double(visible[axis]) / extent[axis] : 1.0;
        const double at = std::clamp(offset(axis == 1), 0.0, 1.0 - ratio);
        // The ratio first: a scroll bar keeps the offset within it.
        failed = m_ratio[axis]->setValue(ratio);
        if (!failed && at != offset(axis == 1)) failed = m_offset[axis]->setValue(at);
        shift[axis] = int(std::lround(at * extent[axis]));
    }
    m_placing = false;
    if (failed) return failed;
    out = CRect{room.left - shift[0], room.top - shift[1], room.left - shift[0] + extent[0],
                room.top - shift[1] + extent[1]};
    return nullptr;
}

CErrorPtr CViewScroll::scrollBy(double screens) {
    const double ratio = this->ratio(true);
    const double to = std::clamp(offset(true) + screens * ratio, 0.0, std::max(0.0, 1.0 - ratio));
    if (to == offset(true)) return nullptr;
    return m_offset[1]->setValue(to);
}

}  // namespace zel
