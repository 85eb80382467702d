// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/Knob.h"

#include <algorithm>
#include <cmath>

#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "UI/ColorSwatch.h"
#include "UI/DynamicPalette.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "Knob"

namespace zel {

namespace {
constexpr int kFrames = 85;
}

void CKnob::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("update-value", &CKnob::onUpdateValue);
    info.onEvent("mouse-wheel", &CKnob::onWheel);
    info.onEvent("mouse-press", &CKnob::onPress);
    info.onEvent("multichange-update", &CKnob::onMultichangeUpdate);
}

CErrorPtr CKnob::init() {
    ZEL_TRY(CView::init());
    const CString path = getAttr("image-set");
    auto* images = dynamic_cast<CImageSetObject*>(findObject(path));
    if (!images) return ZEL_ERROR("@zelstr_CView_init_ImageSet Image set '%1' not found.", path);
    ZEL_TRY(images->prepare(uiScale()));
    m_set = images->imageSet(uiScale());
    const CString name =
        hasAttr("ui-param-controller") ? getAttr("ui-param-controller") : CString("ui-param-controller");
    m_controller = dynamic_cast<CUIParamController*>(findChild(name));
    if (!m_controller)
        return ZEL_ERROR("@zelstr_CKnob_init_Controller Unable to find the knob's controller '%1'.", name);
    ZEL_TRY(onUpdateValue(nullptr, nullptr));
    ZEL_TRY(m_multichange.init(*this));
    return nullptr;
}

CErrorPtr CKnob::onPress(CObject* params, CObject*) {
    if (!params || params->getBool("is-double-click", false)) return nullptr;
    bool taken = false;
    ZEL_TRY(m_multichange.press(int(params->getInt("x", 0)), int(params->getInt("y", 0)), taken));
    return nullptr;
}

CErrorPtr CKnob::onMultichangeUpdate(CObject*, CObject*) {
    ZEL_TRY(m_multichange.update());
    return nullptr;
}

void CKnob::readRoles() {
    CView::readRoles();
    m_indicator = 0x808080;
    m_indicatorOpacity = 1.0;
    auto* swatch = dynamic_cast<CColorSwatch*>(findObject(getAttr("color-swatch")));
    CString role;
    if (!swatch || !swatch->role(getInt("color-index", 0), role)) return;
    if (const CPreparedColor* prepared = preparedRole(role, true)) {
        m_indicator = prepared->colour;
        m_indicatorOpacity = prepared->opacity;
    }
}

CErrorPtr CKnob::onUpdateValue(CObject*, CObject*) {
    const int frame = std::clamp(int(std::lround(m_controller->normalizedValue() * (kFrames - 1))), 0, kFrames - 1);
    if (frame == m_frame) return nullptr;
    m_frame = frame;
    invalidateView();
    return nullptr;
}

CErrorPtr CKnob::onWheel(CObject*, CObject*) { return nullptr; }

double CKnob::centreX() const { return area().left + getReal("center-x", 0.5) * area().width(); }
double CKnob::centreY() const { return area().top + getReal("center-y", 0.45) * area().height(); }

double CKnob::radius(const char* attr, double fallback) const {
    return getReal(attr, fallback) * std::min(area().width(), area().height());
}

bool CKnob::gripsAt(int x, int y, bool& radial) const {
    if (m_multichange.groupAt(x, y) >= 0) return false;
    const double dx = x - centreX(), dy = y - centreY();
    const double d2 = dx * dx + dy * dy;
    const double inner = radius("inner-radius", 0.27), outer = radius("outer-radius", 0.44);
    if (d2 > outer * outer) return false;
    // Near the centre the angle means little: a linear drag.
    radial = d2 >= inner * inner;
    return true;
}

double CKnob::radialValueAt(int x, int y) const {
    const double turn = CParamGesture::turnOf(x - centreX(), y - centreY());
    return CParamGesture::radialValue(turn, getReal("zone-start", 0.89), getReal("zone-end", 0.60));
}

void CKnob::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CImage* image = m_set ? m_set->image(CString(), uint32_t(m_frame)) : nullptr;
    if (!image) return;
    CColor body = 0x808080;
    roleFill(body);
    // The frames have their knob centre at the same fractions of their size.
    const int x = int(std::lround(centreX() - getReal("center-x", 0.5) * image->nominalWidth()));
    const int y = int(std::lround(centreY() - getReal("center-y", 0.45) * image->nominalHeight()));
    const double opacity = getBool("is-disabled", false) ? 0.5 : 1.0;
    for (const CImageLayer& layer : image->layers()) {
        const bool indicator = layer.role() == 1;
        drawLayer(bitmap, clip, layer.data(), x, y, indicator ? m_indicator : body,
                  indicator ? opacity * m_indicatorOpacity : opacity);
    }
}

}  // namespace zel
