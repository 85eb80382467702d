// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/Button.h"

namespace zel {

class CIntervalTimer;
class CParamGroupController;

// `ui:button-ok`: a button that confirms its action: after a click (or,
// as a drop-down, after an entry was chosen) it shows `ok-title` ("OK")
// for `ok-title-timeout` seconds (0.8) in place of its title. With a
// `param-group-controller` it lists the other channel groups and copies
// the chosen group's parameters to the one chosen there ("Copy to").
class CButtonOK : public CButton {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    bool isShowingOk() const { return m_showing; }
    std::vector<CTextView::CListEntry> entries() const override;

protected:
    CErrorPtr clicked() override;
    CErrorPtr itemChosen(int index) override;
    bool hasOwnEntries() const override { return m_controller != nullptr; }

private:
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr showOk();

    CIntervalTimer* m_timer = nullptr;
    CParamGroupController* m_controller = nullptr;
    CString m_title;
    bool m_showing = false;
};

}  // namespace zel
