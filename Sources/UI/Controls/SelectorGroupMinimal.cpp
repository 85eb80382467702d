// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/SelectorGroupMinimal.h"

#include <algorithm>

#include "UI/Controls/ValueList.h"
#include "UI/ParamGroupSelector.h"

#define ZEL_SOURCE_TAG "CSelectorGroupMinimal"

namespace zel {

void CSelectorGroupMinimal::setupClass(CClassInfo& info) {
    CSelector::setupClass(info);
    info.onEvent("groups-changed", &CSelectorGroupMinimal::onGroupsChanged);
}

CErrorPtr CSelectorGroupMinimal::init() {
    if (!hasAttr("group-selector")) ZEL_TRY(setAttr("group-selector", "ui.groupsel"));
    ZEL_TRY(findObjectByAttr("group-selector", m_selector));
    ZEL_TRY(findObjectByAttr("audio-group-list", m_groups));
    ZEL_TRY(findObjectByAttr("audio-channel-list", m_channels));
    ZEL_TRY(listenObject(m_selector, "group-change", "groups-changed"));
    ZEL_TRY(listenObject(m_groups, "values-changed", "groups-changed"));
    ZEL_TRY(listenObject(m_channels, "values-changed", "groups-changed"));
    ZEL_TRY(CSelector::init());
    return nullptr;
}

CErrorPtr CSelectorGroupMinimal::onGroupsChanged(CObject*, CObject*) { return rebuild(); }

std::vector<CString> CSelectorGroupMinimal::titles() const {
    std::vector<CString> out;
    for (const CValueList::CItem& item : shownGroups()) out.push_back(item.title);
    return out;
}

std::vector<CValueList::CItem> CSelectorGroupMinimal::shownGroups() const {
    // Groups without a channel have nothing to edit.
    std::vector<CValueList::CItem> out;
    const auto& channels = m_channels->items();
    for (const CValueList::CItem& group : m_groups->items())
        if (channels.empty() || std::any_of(channels.begin(), channels.end(),
                                            [&](const CValueList::CItem& c) { return c.group == int(group.value); }))
            out.push_back(group);
    return out;
}

int CSelectorGroupMinimal::current() const {
    const std::vector<CValueList::CItem> groups = shownGroups();
    for (size_t i = 0; i < groups.size(); ++i)
        if (int(groups[i].value) == m_selector->selectedGroup()) return int(i);
    return -1;
}

CErrorPtr CSelectorGroupMinimal::choose(int index) {
    const std::vector<CValueList::CItem> groups = shownGroups();
    if (index < 0 || size_t(index) >= groups.size()) return nullptr;
    ZEL_TRY(m_selector->select(int(groups[size_t(index)].value)));
    return nullptr;
}

CString CSelectorGroupMinimal::hintOf(int index) const {
    const std::vector<CValueList::CItem> groups = shownGroups();
    const int group = index >= 0 && size_t(index) < groups.size() ? int(groups[size_t(index)].value) : index;
    CString channels;
    for (const CValueList::CItem& item : m_channels->items()) {
        if (item.group != group) continue;
        if (!channels.empty()) channels += ", ";
        channels += item.title;
    }
    const CString hint =
        hasAttr("hint") ? getAttr("hint") : CString("Channel group selector. Channels in the current group: %s");
    const size_t at = hint.find(CString("%s"));
    return at == CString::npos ? hint : hint.substr(0, at) + channels + hint.substr(at + 2);
}

}  // namespace zel
