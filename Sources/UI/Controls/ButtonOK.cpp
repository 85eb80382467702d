// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ButtonOK.h"

#include <algorithm>
#include <cmath>

#include "UI/UpdateTimer.h"

#define ZEL_SOURCE_TAG "CButtonOK"

namespace zel {

void CButtonOK::setupClass(CClassInfo& info) {
    CButton::setupClass(info);
    info.onEvent("tick", &CButtonOK::onTick);
}

CErrorPtr CButtonOK::init() {
    ZEL_TRY(CButton::init());
    const double timeout = getReal("ok-title-timeout", 0.8);
    ZEL_TRY(createChild("ui:interval-timer", "ok-timer", m_timer));
    m_timer->setReal("interval", timeout);
    // Checked often enough that the title comes back on time.
    CUpdateTimer* driver = nullptr;
    ZEL_TRY(m_timer->createChild("ui:update-timer", "update-timer", driver));
    driver->setInt("interval", 20);
    ZEL_TRY(m_timer->init());
    return nullptr;
}

CErrorPtr CButtonOK::showOk() {
    if (!m_showing) m_title = getAttr("title");
    m_showing = true;
    ZEL_TRY(setAttr("title", hasAttr("ok-title") ? getAttr("ok-title") : CString("OK")));
    ZEL_TRY(m_timer->start());
    return nullptr;
}

CErrorPtr CButtonOK::clicked() {
    ZEL_TRY(CButton::clicked());
    return showOk();
}

CErrorPtr CButtonOK::itemChosen(int index) {
    ZEL_TRY(CButton::itemChosen(index));
    return showOk();
}

CErrorPtr CButtonOK::onTick(CObject*, CObject* sender) {
    if (sender != m_timer || !m_showing) return nullptr;
    m_timer->stop();
    m_showing = false;
    ZEL_TRY(setAttr("title", m_title));
    return nullptr;
}

}  // namespace zel
