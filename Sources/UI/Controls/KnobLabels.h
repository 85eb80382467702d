// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/View.h"

namespace zel {

class CKnob;

// `ui:knob-labels`: the scale around its knob (its parent view): a label
// for each scale value of the knob's parameter (every step of a stepped
// parameter with few steps, else the ends, the middle and the quarters),
// centred at `label-radius` from the knob's centre where the knob points at
// that value. Each label is a child view made from the run-time template
// `knob-labels-label-tag`, `label-width` by `label-height`, with the
// converter's compact text as its `title`; the template gives its look and
// follows this view's `opacity` (the knob's "show" state fades it in while
// hovered). The labels show only while `is-shown` holds (the
// `show-knob-labels` setting).
class CKnobLabels : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;

    struct CLabel {
        double value = 0;
        CString text;
    };
    const std::vector<CLabel>& labels() const { return m_labels; }
    // The label views, in the order of `labels()`.
    const std::vector<CView*>& labelViews() const { return m_views; }
    // Where the label of `value` is centred, in window coordinates.
    void labelCentre(double value, double& x, double& y) const;

private:
    CErrorPtr onScaleValuesChange(CObject* params, CObject* sender);
    CErrorPtr createLabels();
    CString labelTag() const;

    CKnob* m_knob = nullptr;
    std::vector<CLabel> m_labels;
    std::vector<CView*> m_views;
    bool m_ready = false;
};

}  // namespace zel
