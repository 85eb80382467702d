// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/Button.h"

namespace zel {

class CIntervalTimer;

// `ui:button-ok`: a button that confirms its action: after a click (or,
// as a drop-down, after an entry was chosen) it shows `ok-title` ("OK")
// for `ok-title-timeout` seconds (0.8) in place of its title.
class CButtonOK : public CButton {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    bool isShowingOk() const { return m_showing; }

protected:
    CErrorPtr clicked() override;
    CErrorPtr itemChosen(int index) override;

private:
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr showOk();

    CIntervalTimer* m_timer = nullptr;
    CString m_title;
    bool m_showing = false;
};

}  // namespace zel
