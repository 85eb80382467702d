// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/TextView.h"

namespace zel {

class CUIParam;

// `ui:readout`: the value of its ui-param `ui-param-value` as text, as the
// parameter's converter shows it, with the converter's unit. A single
// click opens it for typing once `paragraph-click-edit-delay` passed
// without a second press; the accepted text goes through the converter
// (clamped to the range; text that is no number changes nothing), Escape
// leaves the value as it was. A double click sets `default-value` (text as
// typed), or else the parameter's own default. A press that moves is a drag,
// not a click: it opens nothing. With `is-vertical-controller` it makes the
// controller of its value from `ui-param-controller-tag`, vertical drags
// changing the value.
class CReadOut : public CTextView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // The text shown for the value now.
    CString valueText() const;

private:
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    CErrorPtr onEdited(CObject* params, CObject* sender);
    CErrorPtr onDoubleClick(CObject* params, CObject* sender);
    CErrorPtr onPointerPress(CObject* params, CObject* sender);
    CErrorPtr onPointerMove(CObject* params, CObject* sender);
    CErrorPtr onPointerUp(CObject* params, CObject* sender);
    CErrorPtr createController();
    CUIParam* value() const;
    void showValue();

    bool m_pressed = false;
    int m_pressX = 0, m_pressY = 0;
};

}  // namespace zel
