// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/Selector.h"

#include <algorithm>

#include "UI/Controls/Button.h"

#define ZEL_SOURCE_TAG "CSelector"

namespace zel {

void CSelector::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("selector-button-clicked", &CSelector::onButtonClicked);
}

CErrorPtr CSelector::init() {
    ZEL_TRY(CView::init());
    ZEL_TRY(rebuild());
    m_ready = true;
    return nullptr;
}

CString CSelector::hintOf(int) const { return getAttr("hint"); }

CErrorPtr CSelector::rebuild() {
    const std::vector<CString> wanted = titles();
    if (wanted != m_titles || m_buttons.size() != wanted.size()) {
        for (CButton* b : m_buttons) CButton::release(*b);
        m_buttons.clear();
        m_titles = wanted;
        const CString tag = hasAttr("button-tag") ? getAttr("button-tag") : CString("ui:button");
        const double share = wanted.empty() ? 100.0 : 100.0 / double(wanted.size());
        for (size_t i = 0; i < wanted.size(); ++i) {
            CButton* button = nullptr;
            ZEL_TRY(createChild(tag, "button-" + toText((long long)i), button));
            button->setAttr("title", wanted[i]);
            button->setAttr("width", toText(share) + "%");
            button->setAttr("height", hasAttr("button-height") ? getAttr("button-height") : CString("100%"));
            button->setAttr("outer-border", "0");
            button->setAttr("color", hasAttr("button-color") ? getAttr("button-color") : CString("SelectorButton"));
            button->setAttr("text-color", hasAttr("button-text-color") ? getAttr("button-text-color")
                                                                       : CString("SelectorButtonText"));
            ZEL_TRY(button->init());
            ZEL_TRY(listenObject(button, "button-clicked", "selector-button-clicked"));
            m_buttons.push_back(button);
        }
        // Laid out with the window once it shows; a later change lays it out again.
        if (m_ready) relayoutWindow();
    }
    for (size_t i = 0; i < m_buttons.size(); ++i) ZEL_TRY(m_buttons[i]->setAttr("hint", hintOf(int(i))));
    ZEL_TRY(follow());
    return nullptr;
}

CErrorPtr CSelector::follow() {
    const int active = current();
    ZEL_TRY(setAttr("active-button", toText((long long)active)));
    ZEL_TRY(setAttr("button-count", toText((long long)m_buttons.size())));
    for (size_t i = 0; i < m_buttons.size(); ++i)
        ZEL_TRY(m_buttons[i]->setAttr("is-active", int(i) == active ? "true" : "false"));
    return nullptr;
}

CErrorPtr CSelector::onButtonClicked(CObject*, CObject* sender) {
    const auto at = std::find(m_buttons.begin(), m_buttons.end(), sender);
    if (at == m_buttons.end()) return nullptr;
    ZEL_TRY(choose(int(at - m_buttons.begin())));
    ZEL_TRY(follow());
    return nullptr;
}

}  // namespace zel
