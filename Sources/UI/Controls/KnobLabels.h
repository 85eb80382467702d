// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/View.h"

namespace zel {

class CFont;
class CImage;
class CKnob;

// `ui:knob-labels`: the scale around its knob (its parent view): a label
// for each scale value of the knob's parameter (every step of a stepped
// parameter with few steps, else the ends, the middle and the quarters),
// on a plate (`image-set-range` of the knob's image set, in the role
// `color`) at `label-radius` from the knob's centre where the knob points
// at that value, its text (the converter's compact text) in the font
// `font-name` and the role `text-color`. It draws at its `opacity` (the
// knob's "show" state fades it in while hovered), and only while
// `is-shown` holds (the `show-knob-labels` setting).
class CKnobLabels : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;

    struct CLabel {
        double value = 0;
        CString text;
    };
    const std::vector<CLabel>& labels() const { return m_labels; }
    // Where the label of `value` is centred, in window coordinates.
    void labelCentre(double value, double& x, double& y) const;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onScaleValuesChange(CObject* params, CObject* sender);

    CKnob* m_knob = nullptr;
    const CImage* m_plate = nullptr;
    const CFont* m_font = nullptr;
    CColor m_plateColour = 0x808080, m_textColour = 0;
    std::vector<CLabel> m_labels;
};

}  // namespace zel
