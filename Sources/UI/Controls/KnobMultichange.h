// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Error.h"

namespace zel {

class CParamGroupSelector;
class CView;

// A knob's multichange list: the child views of the knob's view
// `knob-multichange`, item i for channel group i of the group selector
// `multichange-groupsel`, shown for the groups the instance has (none for
// a single group), in the state "active" for the selected group and the
// groups of the selector's active list, the groups that the knob changes
// together. A press on an item puts its group into that list or takes it
// out. A knob without the view or the selector has no list.
class CKnobMultichange {
public:
    CErrorPtr init(CView& knob);
    // The items of the groups there are now shown, in their states.
    CErrorPtr update();
    // The group whose item lies at window point (x, y), or -1.
    int groupAt(int x, int y) const;
    // A press at (x, y): true when an item took it.
    CErrorPtr press(int x, int y, bool& taken);

private:
    CView* m_knob = nullptr;
    CView* m_list = nullptr;
    CParamGroupSelector* m_selector = nullptr;
    std::vector<CView*> m_items;
    size_t m_shown = 0;
};

}  // namespace zel
