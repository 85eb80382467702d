// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/EditBox.h"

namespace zel {

class CImageSet;
class CUIParam;

// `ui:quick-entry-field-dec-conv`: a number typed at once into the decimal
// digits of a parameter. Its ui-param `ui-param-values` names the first
// digit's element (the lowest); the number is rounded to `decimals`
// decimals and clamped to what `element-count` digits hold, and all digits
// change together, as one undo step. It keeps the quick entry it belongs
// to (its parent) showing the digits' number.
class CQuickEntryFieldDecConv : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // The digits of `text`, lowest first: false when it is no number.
    static bool digitsOf(const CString& text, unsigned decimals, unsigned count, std::vector<double>& digits);
    // The number that `digits` (lowest first) make, with `decimals` decimals.
    static CString textOf(const std::vector<double>& digits, unsigned decimals);

    // The number of the parameter's digits now; empty until they are known.
    CString text() const;
    // Writes the digits of `text`; text that is no number changes nothing.
    CErrorPtr enter(const CString& text);

private:
    CErrorPtr onParamReady(CObject* params, CObject* sender);
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    CErrorPtr onParamChange(CObject* params, CObject* sender);
    CErrorPtr show(const CString& text);

    CUIParam* m_values = nullptr;
    unsigned m_decimals = 2;
    unsigned m_count = 6;
};

// `ui:editbox-quick-entry`: an edit box that shows the number of its
// converter (`conv`, ".conv" by default) and hands an accepted text to it.
// A click or Tab opens it with the number selected; Escape leaves the value
// as it was. With `image-set` its fill stays inside the band of that set's
// frame images (from `image-set-index`), tinted by `border-color`.
class CEditBoxQuickEntry : public CEditBox {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;

    // Shown while no one types.
    void showValue(const CString& text);

protected:
    void drawBackground(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onEdited(CObject* params, CObject* sender);
    CQuickEntryFieldDecConv* converter();

    const CImageSet* m_frame = nullptr;
    uint32_t m_frameFirst = 0;
    CBorder m_band;
    CColor m_border = 0;
};

}  // namespace zel
