// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/UndoHistory.h"

#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ValueList.h"

#define ZEL_SOURCE_TAG "CUndoHistory"

namespace zel {

void CUndoHistory::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("undo-history-changed", &CUndoHistory::onHistory);
    info.onEvent("undo-clicked", &CUndoHistory::onUndo);
    info.onEvent("redo-clicked", &CUndoHistory::onRedo);
    info.onEvent("history-chosen", &CUndoHistory::onChosen);
}

CErrorPtr CUndoHistory::init() {
    ZEL_TRY(CView::init());
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "ui.interface-client"));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    m_entries = dynamic_cast<CValueList*>(findChild("entries"));
    m_undo = dynamic_cast<CButton*>(findChild("undo"));
    m_redo = dynamic_cast<CButton*>(findChild("redo"));
    m_list = dynamic_cast<CButton*>(findChild("list"));
    if (!m_entries || !m_list)
        return ZEL_ERROR("@zelstr_CUndoHistory_init_Parts The history %1 needs its list \"list\" and its entries.",
                         fullName());
    ZEL_TRY(listenObject(m_list, "item-selected", "history-chosen"));
    ZEL_TRY(listenObject(m_client, "undo-history-changed", "undo-history-changed"));
    ZEL_TRY(onHistory(nullptr, nullptr));
    ZEL_TRY(m_client->requestUndoHistory());
    return nullptr;
}

CErrorPtr CUndoHistory::onHistory(CObject*, CObject*) {
    std::vector<CValueList::CItem> items;
    for (const CString& name : m_client->undoHistory()) items.push_back({name, double(items.size()), -1, true});
    ZEL_TRY(m_entries->setItems(std::move(items)));
    const size_t count = m_client->undoHistory().size();
    const size_t position = m_client->undoPosition();
    ZEL_TRY(m_list->setAttr("selected-item", toText((long long)(count ? position : -1))));
    if (m_undo) ZEL_TRY(m_undo->setAttr("is-disabled", position == 0 ? "true" : "false"));
    if (m_redo) ZEL_TRY(m_redo->setAttr("is-disabled", position + 1 >= count ? "true" : "false"));
    return nullptr;
}

CErrorPtr CUndoHistory::moveTo(long long position) {
    const auto count = (long long)m_client->undoHistory().size();
    // Entry 0 is the start: positions run from 0 to the number of steps.
    if (position < 0 || position >= count || position == (long long)m_client->undoPosition()) return nullptr;
    ZEL_TRY(m_client->setUndoHistoryPos(size_t(position)));
    return nullptr;
}

CErrorPtr CUndoHistory::onUndo(CObject*, CObject*) { return moveTo((long long)m_client->undoPosition() - 1); }

CErrorPtr CUndoHistory::onRedo(CObject*, CObject*) { return moveTo((long long)m_client->undoPosition() + 1); }

CErrorPtr CUndoHistory::onChosen(CObject* params, CObject*) {
    if (!params) return nullptr;
    return moveTo(params->getInt("index", -1));
}

}  // namespace zel
