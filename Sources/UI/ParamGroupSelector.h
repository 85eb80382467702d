// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CAudioInterfaceClient;
class CParamBridge;

// `ui:param-group-selector` ("groupsel" under "ui"): the channel group that
// the editor's controls edit, in `selected-group` (from `group-index` at
// first), which the ui-params with this `group-selector` follow. The choice
// is kept with the instance in the parameter of `bridge`; a change from
// there or from select() sends "group-change" (`index`). The choice stays
// below the instance's group count (`interface-client`), and "update-group-count"
// is passed on when that count changes. "group-selector-ready" goes out
// once linked. `active-groups-list` (group numbers from 0, separated by
// commas) names the groups that the controls with this selector as their
// `active-audio-groups` change along with the selected one; a change of
// it sends "active-groups-change".
class CParamGroupSelector : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    int selectedGroup() const { return int(getInt("selected-group", 0)); }
    // 0 while the instance has not told it.
    size_t groupCount() const;
    CErrorPtr select(int group);

    // The groups of the list below the group count, in order, without the
    // selected one.
    std::vector<size_t> additionalGroups() const;
    // The selected group, or one of the list.
    bool isActive(size_t group) const;
    // Puts `group` into the list or takes it out.
    CErrorPtr toggleActive(size_t group);

private:
    CErrorPtr onParamChange(CObject* params, CObject* sender);
    CErrorPtr onGroupCount(CObject* params, CObject* sender);
    // Takes `group` (kept below the group count); true when it changed.
    CErrorPtr take(int group, bool& changed);

    CAudioInterfaceClient* m_client = nullptr;
    CParamBridge* m_bridge = nullptr;
};

}  // namespace zel
