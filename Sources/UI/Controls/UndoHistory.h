// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/View.h"

namespace zel {

class CButton;
class CParamInterfaceClient;
class CValueList;

// `ui:history`: the instance's undo history through `interface-client`.
// "undo-clicked" and "redo-clicked" (its buttons' commands) move one step;
// its drop-down "list" shows the entries of the value list "entries"
// ("Undo history start" first) with the current one chosen, and choosing
// another moves the history there. The buttons "undo" and "redo" are
// disabled where there is no step to take.
class CUndoHistory : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

private:
    CErrorPtr onHistory(CObject* params, CObject* sender);
    CErrorPtr onUndo(CObject* params, CObject* sender);
    CErrorPtr onRedo(CObject* params, CObject* sender);
    CErrorPtr onChosen(CObject* params, CObject* sender);
    CErrorPtr moveTo(long long position);

    CParamInterfaceClient* m_client = nullptr;
    CValueList* m_entries = nullptr;
    CButton* m_undo = nullptr;
    CButton* m_redo = nullptr;
    CButton* m_list = nullptr;
};

}  // namespace zel
