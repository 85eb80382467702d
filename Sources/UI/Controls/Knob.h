// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/KnobMultichange.h"
#include "UI/ParamGesture.h"
#include "UI/View.h"

namespace zel {

class CImageSet;
class CUIParamController;

// `ui:knob`: a knob that shows the value of its controller
// (`ui-param-controller`) as one of the 85 frames of its image set
// (`image-set`, the range without a name), frame = value × 84 rounded. Each
// frame has three layers: the body and the pointer in the role `color`
// (in the variant of `color-state`), the indicator arc in the role that
// entry `color-index` of the colour swatch `color-swatch` names. The knob's
// centre lies at `center-x`, `center-y` (fractions of its size), where the
// frames have theirs; a press between `inner-radius` and `outer-radius`
// (fractions of its smaller side) grips it for a radial drag, one inside
// the inner radius for a linear one. In a radial drag the values run
// clockwise from `zone-start` to `zone-end` (fractions of a turn, 0.5
// pointing right), the dead zone between them at the bottom. Its
// multichange list (`knob-multichange`) chooses the groups it changes
// together; presses on the list's items do not grip the knob.
class CKnob : public CView, public IParamGestureSurface {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;

    int frame() const { return m_frame; }
    // The knob's centre in window coordinates.
    double centreX() const;
    double centreY() const;

    bool gripsAt(int x, int y, bool& radial) const override;
    double radialValueAt(int x, int y) const override;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onUpdateValue(CObject* params, CObject* sender);
    // Taken by the controller; the knob keeps the wheel from scrolling
    // what lies under it.
    CErrorPtr onWheel(CObject* params, CObject* sender);
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMultichangeUpdate(CObject* params, CObject* sender);
    double radius(const char* attr, double fallback) const;

    const CImageSet* m_set = nullptr;
    CUIParamController* m_controller = nullptr;
    CKnobMultichange m_multichange;
    int m_frame = 0;
    CColor m_indicator = 0x808080;
    double m_indicatorOpacity = 1.0;
};

}  // namespace zel
