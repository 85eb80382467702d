// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamGroupController.h"

#include <algorithm>

#include "Other/AudioInterfaceClient.h"
#include "UI/ParamGroupSelector.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "CParamGroupController"

namespace zel {

void CParamGroupController::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("copy", &CParamGroupController::onCopy);
    info.onEvent("reset", &CParamGroupController::onReset);
}

CErrorPtr CParamGroupController::init() {
    ZEL_TRY(CObject::init());
    if (!hasAttr("group-selector")) ZEL_TRY(setAttr("group-selector", "ui.groupsel"));
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "ui.interface-client"));
    ZEL_TRY(findObjectByAttr("group-selector", m_selector));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    for (const auto& child : children()) {
        if (child->getAttr("bridge").empty()) continue;
        CParamBridge* bridge = nullptr;
        ZEL_TRY(child->findObjectByAttr("bridge", bridge));
        m_items.push_back(bridge);
    }
    return nullptr;
}

void CParamGroupController::targets(std::vector<int>& groups, std::vector<CString>& titles) const {
    groups.clear();
    titles.clear();
    const auto* client = dynamic_cast<const CAudioInterfaceClient*>(m_client);
    const size_t count = m_selector->groupCount();
    const CString word = hasAttr("title") ? getAttr("title") : CString("Group");
    for (size_t g = 0; g < count; ++g) {
        if (int(g) == m_selector->selectedGroup()) continue;
        CString name = client && g < client->groupNames().size() ? client->groupNames()[g] : CString();
        if (name.empty()) name = toText((long long)(g + 1));
        groups.push_back(int(g));
        titles.push_back(word + " " + name);
    }
}

CErrorPtr CParamGroupController::writeAll(const CString& step, int group, bool fromDefaults) {
    const auto source = size_t(m_selector->selectedGroup());
    ZEL_TRY(m_client->beginUndo(step));
    for (CParamBridge* bridge : m_items) {
        const CAudioParamInfo* info = bridge->info();
        // Texts and raw data are no per-group settings of these items.
        if (!info || info->dataType != CAudioParamInfo::kFloat || info->isSingleGroup) continue;
        const size_t elements =
            info->isSingleElement ? 1 : std::max(bridge->elementCount(source), bridge->elementCount(size_t(group)));
        for (size_t e = 0; e < elements; ++e) {
            CParamBridge::CChange where;
            where.group = size_t(group);
            where.element = e;
            const double value =
                fromDefaults ? info->read(info->defaultValue, size_t(group), e, 0) : bridge->value(source, e);
            if (CErrorPtr err = bridge->change(where, {value})) {
                (void)m_client->removeUndo();
                return ZEL_PASS(err);
            }
        }
    }
    ZEL_TRY(m_client->submitUndo());
    return nullptr;
}

CErrorPtr CParamGroupController::copyTo(int group) {
    if (group < 0 || group == m_selector->selectedGroup()) return nullptr;
    if (m_selector->groupCount() > 0 && size_t(group) >= m_selector->groupCount()) return nullptr;
    return writeAll("Group copy", group, false);
}

CErrorPtr CParamGroupController::reset() { return writeAll("Group reset", m_selector->selectedGroup(), true); }

CErrorPtr CParamGroupController::onCopy(CObject* params, CObject*) {
    return params ? copyTo(int(params->getInt("index", -1))) : nullptr;
}

CErrorPtr CParamGroupController::onReset(CObject*, CObject*) { return reset(); }

}  // namespace zel
