// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/Selector.h"
#include "UI/Controls/ValueList.h"

namespace zel {

class CParamGroupSelector;

// `ui:selector-group-minimal`: one button per channel group that has
// channels (the items of the value list `audio-group-list`), the button of the group chosen in
// `group-selector` ("ui.groupsel") active; a click chooses its group. Each
// button's hint, `hint` with its "%s", names the channels of its group
// (the items of `audio-channel-list`).
class CSelectorGroupMinimal : public CSelector {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

protected:
    std::vector<CString> titles() const override;
    int current() const override;
    CErrorPtr choose(int index) override;
    CString hintOf(int index) const override;

private:
    // The groups that have channels.
    std::vector<CValueList::CItem> shownGroups() const;
    CErrorPtr onGroupsChanged(CObject* params, CObject* sender);

    CParamGroupSelector* m_selector = nullptr;
    CValueList* m_groups = nullptr;
    CValueList* m_channels = nullptr;
};

}  // namespace zel
