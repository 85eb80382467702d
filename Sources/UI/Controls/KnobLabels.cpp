// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/KnobLabels.h"

#include <algorithm>
#include <cmath>

#include "Core/Notify.h"
#include "UI/Controls/Knob.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "KnobLabels"

namespace zel {

namespace {
constexpr double kPi = 3.14159265358979323846;
// The frames' sweep: from the lower left, clockwise over three quarters.
constexpr double kSweepFrom = 0.75 * kPi, kSweep = 1.5 * kPi;
// Stepped parameters with more steps than this get the plain scale.
constexpr int kMaxStepLabels = 12;
}  // namespace

void CKnobLabels::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("scale-values-change", &CKnobLabels::onScaleValuesChange);
}

CErrorPtr CKnobLabels::init() {
    // Before the view settles, so that it lays out hidden at once.
    ZEL_TRY(setAttr("is-hidden", getBool("is-shown", true) ? "false" : "true"));
    ZEL_TRY(CView::init());
    m_knob = dynamic_cast<CKnob*>(parent());
    auto* controller = m_knob ? dynamic_cast<CUIParamController*>(m_knob->findChild("ui-param-controller")) : nullptr;
    // The labels come once the parameter is ready; what they need must
    // be there when the window opens.
    if (!controller || controller->params().empty() || !findTemplate(labelTag()))
        return ZEL_ERROR("@zelstr_CKnobLabels_init_Labels Unable to create scale labels.");
    CUIParam* param = controller->params().front();
    ZEL_TRY(listenObject(param, "ui-param-ready", "scale-values-change"));
    ZEL_TRY(onScaleValuesChange(nullptr, param));
    m_ready = true;
    return nullptr;
}

void CKnobLabels::attrChanged(const CString& name) {
    CView::attrChanged(name);
    if (name == CString("is-shown") && m_knob)
        if (CErrorPtr err = setAttr("is-hidden", getBool("is-shown", true) ? "false" : "true"))
            CSystem::showError(*err);
}

CErrorPtr CKnobLabels::onScaleValuesChange(CObject*, CObject* sender) {
    auto* param = dynamic_cast<CUIParam*>(sender);
    if (!param || !param->isReady()) return nullptr;
    m_labels.clear();
    const int steps = param->stepCount();
    const int count = steps > 0 && steps <= kMaxStepLabels ? steps : 4;
    for (int i = 0; i <= count; ++i) {
        const double value = double(i) / count;
        m_labels.push_back({value, param->compactText(param->toPlain(value))});
    }
    if (CErrorPtr err = createLabels())
        return ZEL_ERROR("@zelstr_CKnobLabels_init_Labels Unable to create scale labels.");
    return nullptr;
}

CErrorPtr CKnobLabels::createLabels() {
    invalidateView();
    for (CView* view : m_views) removeChild(view);
    m_views.clear();
    const CString tag = labelTag();
    if (!findTemplate(tag)) return ZEL_ERROR("@zelstr_CKnobLabels_init_Labels Unable to create scale labels.");
    // Placed as offsets from the middle of this view (the knob's rectangle)
    // in unscaled pixels, so that they hold at every scale.
    const double scale = uiScale() > 0 ? uiScale() : 1.0;
    const double midX = (area().left + area().right) / 2.0, midY = (area().top + area().bottom) / 2.0;
    for (size_t i = 0; i < m_labels.size(); ++i) {
        double cx = 0, cy = 0;
        labelCentre(m_labels[i].value, cx, cy);
        CObject* made = nullptr;
        ZEL_TRY(createFromTemplate(tag, "label-" + toText((long long)i), made));
        auto* view = dynamic_cast<CView*>(made);
        if (!view) {
            removeChild(made);
            return ZEL_ERROR("@zelstr_CKnobLabels_init_Labels Unable to create scale labels.");
        }
        m_views.push_back(view);
        ZEL_TRY(view->setAttr("placement", "overlay"));
        ZEL_TRY(view->setAttr("alignment-h", "center"));
        ZEL_TRY(view->setAttr("alignment-v", "center"));
        ZEL_TRY(view->setAttr("width", toText(getReal("label-width", 18.0))));
        ZEL_TRY(view->setAttr("height", toText(getReal("label-height", 12.0))));
        ZEL_TRY(view->setAttr("offset-x", toText((cx - midX) / scale)));
        ZEL_TRY(view->setAttr("offset-y", toText((cy - midY) / scale)));
        ZEL_TRY(view->setAttr("title", m_labels[i].text));
        ZEL_TRY(view->init());
    }
    // Laid out with the window once it shows; a later change lays it out again.
    if (m_ready) relayoutWindow();
    return nullptr;
}

CString CKnobLabels::labelTag() const {
    return getAttr("knob-labels-label-tag").empty() ? CString("ui:knob-labels-label")
                                                    : getAttr("knob-labels-label-tag");
}

void CKnobLabels::labelCentre(double value, double& x, double& y) const {
    const double angle = kSweepFrom + kSweep * value;
    const double r = getReal("label-radius", 38.0) * uiScale();
    x = m_knob->centreX() + r * std::cos(angle);
    y = m_knob->centreY() + r * std::sin(angle);
}

}  // namespace zel
