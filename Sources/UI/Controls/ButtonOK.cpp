// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ButtonOK.h"

#include <algorithm>
#include <cmath>

#include "UI/ParamGroupController.h"
#include "UI/UpdateTimer.h"

#define ZEL_SOURCE_TAG "CButtonOK"

namespace zel {

void CButtonOK::setupClass(CClassInfo& info) {
    CButton::setupClass(info);
    info.onEvent("tick", &CButtonOK::onTick);
}

CErrorPtr CButtonOK::init() {
    if (!getAttr("param-group-controller").empty()) ZEL_TRY(findObjectByAttr("param-group-controller", m_controller));
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

std::vector<CTextView::CListEntry> CButtonOK::entries() const {
    if (!m_controller) return CButton::entries();
    std::vector<int> groups;
    std::vector<CString> titles;
    m_controller->targets(groups, titles);
    std::vector<CTextView::CListEntry> out;
    for (const CString& title : titles) out.push_back({title, true, false});
    return out;
}

CErrorPtr CButtonOK::itemChosen(int index) {
    if (m_controller) {
        std::vector<int> groups;
        std::vector<CString> titles;
        m_controller->targets(groups, titles);
        if (index < 0 || size_t(index) >= groups.size()) return nullptr;
        ZEL_TRY(m_controller->copyTo(groups[size_t(index)]));
        // A menu of actions: no entry stays chosen.
        ZEL_TRY(setAttr("selected-item", "-1"));
    } else {
        ZEL_TRY(CButton::itemChosen(index));
    }
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
