// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamGroupSelector.h"

#include <algorithm>
#include <cmath>

#include "Core/Notify.h"
#include "Other/AudioInterfaceClient.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "CParamGroupSelector"

namespace zel {

void CParamGroupSelector::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("param-change", &CParamGroupSelector::onParamChange);
    info.onEvent("update-group-count", &CParamGroupSelector::onGroupCount);
}

CErrorPtr CParamGroupSelector::init() {
    ZEL_TRY(CObject::init());
    ZEL_TRY(setAttr("selected-group", toText(std::max<long long>(0, getInt("group-index", 0)))));
    const CString client = hasAttr("interface-client") ? getAttr("interface-client") : CString("ui.interface-client");
    m_client = dynamic_cast<CAudioInterfaceClient*>(findObject(client));
    if (m_client) ZEL_TRY(listenObject(m_client, "update-group-count", "update-group-count"));
    const CString bridge = getAttr("bridge");
    if (!bridge.empty()) {
        ZEL_TRY(findObjectByAttr("bridge", m_bridge));
        ZEL_TRY(listenObject(m_bridge, "param-change", "param-change"));
        if (m_bridge->isReady()) ZEL_TRY(onParamChange(nullptr, nullptr));
    }
    ZEL_TRY(CNotifyServer::instance().notify(this, "group-selector-ready", nullptr));
    return nullptr;
}

size_t CParamGroupSelector::groupCount() const { return m_client ? m_client->groupCount() : 0; }

CErrorPtr CParamGroupSelector::take(int group, bool& changed) {
    const size_t count = groupCount();
    if (count > 0) group = std::min(group, int(count) - 1);
    group = std::max(group, 0);
    changed = group != selectedGroup();
    if (!changed) return nullptr;
    ZEL_TRY(setAttr("selected-group", toText((long long)group)));
    CObject params;
    params.setInt("index", group);
    ZEL_TRY(CNotifyServer::instance().notify(this, "group-change", &params));
    return nullptr;
}

CErrorPtr CParamGroupSelector::select(int group) {
    bool changed = false;
    ZEL_TRY(take(group, changed));
    if (changed && m_bridge && m_bridge->isReady()) {
        // Which group the editor shows is no edit of the sound: no undo step.
        CParamBridge::CChange where;
        where.doCreateUndo = false;
        ZEL_TRY(m_bridge->change(where, {double(selectedGroup())}));
    }
    return nullptr;
}

CErrorPtr CParamGroupSelector::onParamChange(CObject*, CObject*) {
    if (!m_bridge || !m_bridge->isReady()) return nullptr;
    bool changed = false;
    ZEL_TRY(take(int(std::lround(m_bridge->value(0, 0))), changed));
    return nullptr;
}

CErrorPtr CParamGroupSelector::onGroupCount(CObject* params, CObject*) {
    bool changed = false;
    // The stored choice may fit again, or no more.
    const int wanted = m_bridge && m_bridge->isReady() ? int(std::lround(m_bridge->value(0, 0))) : selectedGroup();
    ZEL_TRY(take(wanted, changed));
    ZEL_TRY(CNotifyServer::instance().notify(this, "update-group-count", params));
    return nullptr;
}

}  // namespace zel
