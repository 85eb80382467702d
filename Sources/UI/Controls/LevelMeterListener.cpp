// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/LevelMeterListener.h"

#include <algorithm>
#include <cmath>

#include "Platform/Clock.h"
#include "UI/Controls/VizExchange.h"
#include "UI/ParamLink.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "LevelMeterListener"

namespace zel {

namespace {

double toDb(double linear) { return linear > 0 ? 20.0 * std::log10(linear) : -HUGE_VAL; }

}  // namespace

void CLevelMeterListener::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CLevelMeterListener::onTick);
    info.onEvent("window-tick", &CLevelMeterListener::onTick);
}

CErrorPtr CLevelMeterListener::init() {
    ZEL_TRY(CObject::init());
    m_vizName = getAttr("viz-name");
    if (m_vizName.empty())
        return ZEL_ERROR("@zelstr_CLevelMeterListener_init_NoName Visual object name is not defined.");
    if (!hasAttr("viz-exchange")) ZEL_TRY(setAttr("viz-exchange", "ui.viz-exchange"));
    ZEL_TRY(findObjectByAttr("viz-exchange", m_exchange));
    // In a window, the window's own update tick: the render of the same
    // frame shows what it took in.
    auto* view = dynamic_cast<CView*>(parent());
    if (CWindowRenderer* renderer = view ? view->windowRenderer() : nullptr) {
        ZEL_TRY(listenObject(renderer, "tick", "window-tick"));
        m_renderer = renderer;
    } else if (!m_timer) {
        const CString tag = getAttr("timer-tag").empty() ? CString("ui:update-timer") : getAttr("timer-tag");
        ZEL_TRY(createChild(tag, "update-timer", m_timer));
        ZEL_TRY(m_timer->setAttrExpanded("fps", "{*/^ fps?40}"));
        ZEL_TRY(m_timer->init());
        ZEL_TRY(m_timer->start());
    }
    return nullptr;
}

CErrorPtr CLevelMeterListener::onTick(CObject*, CObject* sender) {
    if (sender && (sender == m_timer || sender == m_renderer)) ZEL_TRY(update(platform::secondsSinceStart()));
    return nullptr;
}

CErrorPtr CLevelMeterListener::update(double now) {
    m_updateSeconds = now;
    ZEL_TRY(m_exchange->touch());
    // Always fresh data for the frame about to be drawn.
    ZEL_TRY(m_exchange->refresh(now, 0));
    if (const auto* stream = m_exchange->stream(m_vizName))
        for (const auto& frame : stream->frames) {
            if (frame.channel >= kMaxChannels) continue;
            CChannel& c = m_channels[frame.channel];
            // A frame seen before says nothing new.
            if (c.seenSeconds >= 0 && frame.index == c.index) continue;
            c.index = frame.index;
            c.seenSeconds = now;
            c.level = toDb(frame.level);
            c.peak = toDb(frame.peak);
            c.group = frame.group;
        }
    const double timeout = getReal("inactive-timeout", 0.25);
    for (CChannel& c : m_channels) {
        if (c.seenSeconds >= 0 && now - c.seenSeconds > timeout) c.level = c.peak = -HUGE_VAL;
    }
    // Every frame: a meter's display may move without new values (a
    // fading density); the meter redraws only what shows a change.
    ZEL_TRY(deliverEvent(*parent(), "values-changed", nullptr, this));
    return nullptr;
}

}  // namespace zel
