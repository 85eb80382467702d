// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/KnobMultichange.h"

#include "UI/ParamGroupSelector.h"
#include "UI/View.h"
#include "UI/ViewState.h"

#define ZEL_SOURCE_TAG "CKnobMultichange"

namespace zel {

CErrorPtr CKnobMultichange::init(CView& knob) {
    m_knob = &knob;
    const CString list =
        knob.hasAttr("knob-multichange") ? knob.getAttr("knob-multichange") : CString(".knob-multichange");
    const CString selector = knob.getAttr("multichange-groupsel");
    m_list = list.empty() ? nullptr : dynamic_cast<CView*>(knob.findObject(list));
    m_selector = selector.empty() ? nullptr : dynamic_cast<CParamGroupSelector*>(knob.findObject(selector));
    if (!m_list || !m_selector) return nullptr;
    for (const auto& child : m_list->children())
        if (auto* item = dynamic_cast<CView*>(child.get())) m_items.push_back(item);
    for (const char* event : {"group-change", "update-group-count", "active-groups-change"})
        ZEL_TRY(knob.listenObject(m_selector, event, "multichange-update"));
    m_shown = m_items.size() + 1;
    return update();
}

CErrorPtr CKnobMultichange::update() {
    if (!m_list) return nullptr;
    // One group has nothing to change along with it.
    const size_t count = m_selector->groupCount() > 1 ? m_selector->groupCount() : 0;
    if (count != m_shown) {
        m_shown = count;
        for (size_t g = 0; g < m_items.size(); ++g)
            ZEL_TRY(m_items[g]->setAttr("is-hidden", g < count ? "false" : "true"));
    }
    const double now = CViewBaseState::clock(*m_knob);
    for (size_t g = 0; g < m_items.size(); ++g)
        ZEL_TRY(m_items[g]->states().set("active", m_selector->isActive(g), now));
    return nullptr;
}

int CKnobMultichange::groupAt(int x, int y) const {
    for (size_t g = 0; g < m_shown && g < m_items.size(); ++g) {
        const CRect& r = m_items[g]->area();
        if (!r.isEmpty() && x >= r.left && x < r.right && y >= r.top && y < r.bottom) return int(g);
    }
    return -1;
}

CErrorPtr CKnobMultichange::press(int x, int y, bool& taken) {
    const int group = groupAt(x, y);
    taken = group >= 0;
    // The selected group always changes.
    if (taken && group != m_selector->selectedGroup()) ZEL_TRY(m_selector->toggleActive(size_t(group)));
    return nullptr;
}

}  // namespace zel
