// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ControlArray.h"

#include <algorithm>
#include <cmath>

#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ValueList.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "CControlArray"

namespace zel {

void CControlArray::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("lists-changed", &CControlArray::onListsChanged);
    info.onEvent("ui-param-ready", &CControlArray::onValueChanged);
    info.onEvent("value-changed", &CControlArray::onValueChanged);
    info.onEvent("element-chosen", &CControlArray::onChosen);
    info.onEvent("element-clicked", &CControlArray::onClicked);
}

CErrorPtr CControlArray::init() {
    ZEL_TRY(CView::init());
    m_switches = getBool("is-switches", false);
    m_perGroup = getBool("is-object-per-group", false);
    ZEL_TRY(findObjectByAttr("object-title-list", m_titles));
    if (!m_switches || hasAttr("object-value-list")) ZEL_TRY(findObjectByAttr("object-value-list", m_values));
    m_param = dynamic_cast<CUIParam*>(findChild("ui-param-value"));
    if (!m_param)
        return ZEL_ERROR("@zelstr_CControlArray_init_Param The control array %1 has no ui-param-value.", fullName());
    ZEL_TRY(listenObject(m_titles, "values-changed", "lists-changed"));
    if (m_values) ZEL_TRY(listenObject(m_values, "values-changed", "lists-changed"));
    ZEL_TRY(rebuild());
    m_ready = true;
    return nullptr;
}

CErrorPtr CControlArray::onListsChanged(CObject*, CObject*) { return rebuild(); }

CErrorPtr CControlArray::onValueChanged(CObject*, CObject*) { return m_ready ? show() : nullptr; }

CErrorPtr CControlArray::rebuild() {
    const size_t count = m_titles->items().size();
    if (count != m_buttons.size()) {
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (m_items[i] != m_buttons[i]) CButton::release(*m_buttons[i]);
            CButton::release(*m_items[i]);
        }
        m_buttons.clear();
        m_items.clear();
        const CString tag = hasAttr("object-tag") ? getAttr("object-tag") : CString("ui:button");
        for (size_t i = 0; i < count; ++i) {
            CView* item = nullptr;
            ZEL_TRY(createChild(tag, "element-" + toText((long long)i), item));
            item->setAttr("width", hasAttr("element-width") ? getAttr("element-width") : CString("40"));
            item->setAttr("height", hasAttr("element-height") ? getAttr("element-height") : CString("24"));
            item->setAttr("outer-border", "0");
            m_items.push_back(item);
            auto* button = dynamic_cast<CButton*>(item);
            if (!button) button = dynamic_cast<CButton*>(item->findChild("button"));
            if (!button)
                return ZEL_ERROR("@zelstr_CControlArray_init_Item The item %1 of the control array has no button.",
                                 item->fullName());
            if (!m_switches) button->setAttr("item-list", m_values->fullName());
            ZEL_TRY(item->init());
            ZEL_TRY(listenObject(button, m_switches ? "button-clicked" : "item-selected",
                                 m_switches ? "element-clicked" : "element-chosen"));
            m_buttons.push_back(button);
        }
        if (m_ready) relayoutWindow();
    }
    return show();
}

double CControlArray::elementValue(size_t index) const {
    CParamBridge* bridge = m_param->bridge();
    if (bridge) return m_perGroup ? bridge->value(index, 0) : bridge->value(m_param->group(), index);
    return m_param->value();
}

CErrorPtr CControlArray::show() {
    if (!m_param->isReady()) return nullptr;
    const auto& titles = m_titles->items();
    if (m_switches) {
        for (size_t i = 0; i < m_buttons.size(); ++i) {
            ZEL_TRY(m_buttons[i]->setAttr("is-active", elementValue(i) >= 0.5 ? "true" : "false"));
            if (i < titles.size()) ZEL_TRY(m_buttons[i]->setAttr("title", titles[i].title));
        }
        return nullptr;
    }
    const auto& values = m_values->items();
    const CString unknown = hasAttr("unknown-value-char") ? getAttr("unknown-value-char") : CString("?");
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const double v = elementValue(i);
        int at = -1;
        for (size_t k = 0; k < values.size(); ++k)
            if (std::fabs(values[k].value - v) < 1e-9) at = int(k);
        ZEL_TRY(m_buttons[i]->setAttr("selected-item", toText((long long)at)));
        ZEL_TRY(m_buttons[i]->setAttr("title", at >= 0 ? values[size_t(at)].title : unknown));
        if (i < titles.size()) ZEL_TRY(m_buttons[i]->setAttr("hint", titles[i].title));
        if (CObject* caption =
                i < titles.size() && m_items[i] != m_buttons[i] ? m_items[i]->findChild("title") : nullptr)
            ZEL_TRY(caption->setAttr("title", titles[i].title));
    }
    return nullptr;
}

CErrorPtr CControlArray::write(size_t index, double value) {
    CParamBridge* bridge = m_param->bridge();
    if (!bridge) return m_param->setValue(value);
    CParamBridge::CChange where;
    where.group = m_perGroup ? index : m_param->group();
    where.element = m_perGroup ? 0 : index;
    ZEL_TRY(bridge->change(where, {value}));
    return nullptr;
}

CErrorPtr CControlArray::onClicked(CObject*, CObject* sender) {
    const auto at = std::find(m_buttons.begin(), m_buttons.end(), sender);
    if (at == m_buttons.end() || !m_param->isReady()) return nullptr;
    const auto index = size_t(at - m_buttons.begin());
    const double value = elementValue(index) >= 0.5 ? 0.0 : 1.0;
    ZEL_TRY(write(index, value));
    CObject result;
    result.setInt("object-index", (long long)index);
    result.setReal("object-value", value);
    result.setBool("combine-changes", false);
    ZEL_TRY(deliverEvent(*this, "popup-result", &result, this));
    return show();
}

CErrorPtr CControlArray::onChosen(CObject* params, CObject* sender) {
    const auto at = std::find(m_buttons.begin(), m_buttons.end(), sender);
    if (at == m_buttons.end() || !params || !m_param->isReady()) return nullptr;
    const auto index = size_t(at - m_buttons.begin());
    const long long chosen = params->getInt("index", -1);
    const auto& values = m_values->items();
    if (chosen < 0 || size_t(chosen) >= values.size()) return nullptr;
    const double value = values[size_t(chosen)].value;
    const double old = elementValue(index);
    if (value == old) return nullptr;
    // The object that held the value, when values are one per object.
    int holder = -1;
    if (getBool("is-unique-values-only", false))
        for (size_t i = 0; i < m_buttons.size(); ++i)
            if (i != index && elementValue(i) == value) holder = int(i);
    const CString clientPath =
        hasAttr("interface-client") ? getAttr("interface-client") : CString("ui.interface-client");
    auto* client = m_param->bridge() ? dynamic_cast<CParamInterfaceClient*>(findObject(clientPath)) : nullptr;
    const bool combined = holder >= 0 && client;
    if (combined) ZEL_TRY(client->beginUndo());
    CErrorPtr err = write(index, value);
    if (!err && holder >= 0) err = write(size_t(holder), old);
    if (combined) ZEL_TRY(err ? client->removeUndo() : client->submitUndo());
    if (err) return ZEL_PASS(err);
    CObject result;
    result.setInt("object-index", (long long)index);
    result.setReal("object-value", value);
    result.setBool("combine-changes", holder >= 0);
    ZEL_TRY(deliverEvent(*this, "popup-result", &result, this));
    return show();
}

}  // namespace zel
