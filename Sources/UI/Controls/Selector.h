// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/View.h"

namespace zel {

class CButton;

// The base of the selectors: a row of buttons (`button-tag`, "ui:button"),
// one per title, sharing the row's width, `button-height` high in the role
// `button-color`. Clicking button i chooses value i; the button of the
// current value is the active one (`active-button`, -1 for none).
class CSelector : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    int activeButton() const { return int(getInt("active-button", -1)); }
    size_t buttonCount() const { return m_buttons.size(); }
    CButton* button(size_t index) const { return index < m_buttons.size() ? m_buttons[index] : nullptr; }

protected:
    virtual std::vector<CString> titles() const = 0;
    // The button the current value makes active, -1 for none.
    virtual int current() const = 0;
    virtual CErrorPtr choose(int index) = 0;
    // The hint of button `index`.
    virtual CString hintOf(int index) const;
    // Makes the buttons again when their titles changed, then follows the value.
    CErrorPtr rebuild();
    // The active button follows the current value.
    CErrorPtr follow();

private:
    CErrorPtr onButtonClicked(CObject* params, CObject* sender);

    std::vector<CButton*> m_buttons;
    std::vector<CString> m_titles;
    bool m_ready = false;
};

}  // namespace zel
