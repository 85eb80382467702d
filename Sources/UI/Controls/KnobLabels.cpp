// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/KnobLabels.h"

#include <algorithm>
#include <cmath>

#include "Other/Draw.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"
#include "UI/Controls/Knob.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"

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
    ZEL_TRY(CView::init());
    m_knob = dynamic_cast<CKnob*>(parent());
    auto* controller = m_knob ? dynamic_cast<CUIParamController*>(m_knob->findChild("ui-param-controller")) : nullptr;
    if (!controller || controller->params().empty())
        return ZEL_ERROR("@zelstr_CKnobLabels_init_Labels Unable to create scale labels.");
    const CString path = getAttr("image-set").empty() ? m_knob->getAttr("image-set") : getAttr("image-set");
    auto* images = dynamic_cast<CImageSetObject*>(findObject(path));
    if (!images) return ZEL_ERROR("@zelstr_CView_init_ImageSet Image set '%1' not found.", path);
    ZEL_TRY(images->prepare(uiScale()));
    if (const CImageSet* set = images->imageSet(uiScale()))
        m_plate = set->image(getAttr("image-set-range").empty() ? CString("LabelBG") : getAttr("image-set-range"), 0);
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(uiScale()));
    m_font = fonts->style("regular", uiScale());
    CUIParam* param = controller->params().front();
    ZEL_TRY(listenObject(param, "ui-param-ready", "scale-values-change"));
    ZEL_TRY(onScaleValuesChange(nullptr, param));
    return nullptr;
}

void CKnobLabels::readRoles() {
    CView::readRoles();
    if (!roleColour("color", m_plateColour)) m_plateColour = 0x808080;
    if (!roleColour("text-color", m_textColour)) m_textColour = 0;
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
    invalidateView();
    return nullptr;
}

void CKnobLabels::labelCentre(double value, double& x, double& y) const {
    const double angle = kSweepFrom + kSweep * value;
    const double r = getReal("label-radius", 38.0) * uiScale();
    x = m_knob->centreX() + r * std::cos(angle);
    y = m_knob->centreY() + r * std::sin(angle);
}

void CKnobLabels::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    if (!getBool("is-shown", true) || !m_font) return;
    const double opacity = std::clamp(getReal("opacity", 1.0), 0.0, 1.0);
    if (opacity <= 0.0) return;
    const int height = m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow();
    for (const CLabel& label : m_labels) {
        double cx = 0, cy = 0;
        labelCentre(label.value, cx, cy);
        if (m_plate)
            drawImage(bitmap, clip, *m_plate, int(std::lround(cx - m_plate->nominalWidth() / 2.0)),
                      int(std::lround(cy - m_plate->nominalHeight() / 2.0)), m_plateColour, opacity);
        const int x = int(std::lround(cx - m_font->textWidth(label.text) / 2.0));
        const int top = int(std::lround(cy - height / 2.0));
        const int baseline = top + m_font->spaceAbove() + m_font->lineHeight() - m_font->spaceBelow();
        drawText(bitmap, clip, *m_font, x, baseline, label.text, m_textColour, opacity);
    }
}

}  // namespace zel
