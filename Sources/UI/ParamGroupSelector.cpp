// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamGroupSelector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

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

namespace {

std::vector<size_t> parseGroups(const CString& text) {
    std::vector<size_t> out;
    const std::string list = text.utf8();
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(at, end - at);
        char* stop = nullptr;
        const long value = std::strtol(item.c_str(), &stop, 10);
        if (stop != item.c_str() && value >= 0 && std::find(out.begin(), out.end(), size_t(value)) == out.end())
            out.push_back(size_t(value));
        at = end + 1;
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::vector<size_t> CParamGroupSelector::additionalGroups() const {
    std::vector<size_t> out;
    const size_t count = groupCount();
    for (size_t group : parseGroups(getAttr("active-groups-list")))
        if (group < count && group != size_t(selectedGroup())) out.push_back(group);
    return out;
}

bool CParamGroupSelector::isActive(size_t group) const {
    if (group == size_t(selectedGroup())) return true;
    const std::vector<size_t> others = additionalGroups();
    return std::find(others.begin(), others.end(), group) != others.end();
}

CErrorPtr CParamGroupSelector::toggleActive(size_t group) {
    std::vector<size_t> list = parseGroups(getAttr("active-groups-list"));
    const auto found = std::find(list.begin(), list.end(), group);
    if (found != list.end())
        list.erase(found);
    else
        list.insert(std::upper_bound(list.begin(), list.end(), group), group);
    CString text;
    for (size_t g : list) text += (text.empty() ? "" : ",") + toText((long long)g);
    ZEL_TRY(setAttr("active-groups-list", text));
    ZEL_TRY(CNotifyServer::instance().notify(this, "active-groups-change", nullptr));
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
