// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ReadOut.h"

#include <cstdlib>

#include "Audio/Converters/ParamConverter.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "ReadOut"

namespace zel {

namespace {

// Pointer travel in pixels after which a press is a drag.
constexpr int kDragDistance = 3;

// What the read-out's template gives it unless the document says otherwise.
const char* const kDefaults[][2] = {
    {"font-name", "shared::font.base"},
    {"text-color", "ReadoutText"},
    {"text-alignment", "center"},
    {"text-alignment-v", "center"},
    {"is-text-wrapped", "false"},
    {"is-read-only", "false"},
    {"is-editbox-on-singleclick", "true"},
    {"is-editbox-full", "true"},
    {"editbox-placement", "match"},
    {"paragraph-click-edit-delay", "0.5"},
    {"is-accept-enter", "true"},
    {"is-focusable", "true"},
    {"is-select-all-on-focus", "true"},
    {"is-virtual-keyboard-allowed", "true"},
    {"ui-param-controller-tag", "ui:ui-param-controller"},
};

}  // namespace

void CReadOut::setupClass(CClassInfo& info) {
    CTextView::setupClass(info);
    info.onEvent("value-changed", &CReadOut::onValueChanged);
    info.onEvent("ui-param-ready", &CReadOut::onValueChanged);
    info.onEvent("paragraph-text-changed", &CReadOut::onEdited);
    info.onEvent("editbox-text-changed", &CReadOut::onEdited);
    info.onEvent("paragraph-dbl-clicked", &CReadOut::onDoubleClick);
    info.onEvent("readout-press", &CReadOut::onPointerPress);
    info.onEvent("readout-move", &CReadOut::onPointerMove);
    info.onEvent("readout-release", &CReadOut::onPointerUp);
}

CErrorPtr CReadOut::init() {
    for (const auto& d : kDefaults)
        if (!hasAttr(d[0])) setAttr(d[0], d[1]);
    ZEL_TRY(CTextView::init());
    // The read-out hears its own pointer events before its text view does.
    ZEL_TRY(listenObject(this, "mouse-press", "readout-press"));
    ZEL_TRY(listenObject(this, "mouse-move", "readout-move"));
    ZEL_TRY(listenObject(this, "mouse-release", "readout-release"));
    ZEL_TRY(listenObject(this, "mouse-cancel", "readout-release"));
    if (getBool("is-vertical-controller", false)) ZEL_TRY(createController());
    showValue();
    return nullptr;
}

CErrorPtr CReadOut::createController() {
    if (findChild("ui-param-controller")) return nullptr;
    CObject* controller = nullptr;
    ZEL_TRY(createChild(getAttr("ui-param-controller-tag"), "ui-param-controller", controller));
    if (!controller->hasAttr("ui-param")) controller->setAttr("ui-param", "ui-param-value");
    controller->setBool("is-vertical", true);
    // The read-out's own double-click sets its default value.
    controller->setBool("is-reset-on-double-click", false);
    ZEL_TRY(controller->init());
    return nullptr;
}

CUIParam* CReadOut::value() const { return dynamic_cast<CUIParam*>(findChild("ui-param-value")); }

CString CReadOut::valueText() const {
    CUIParam* param = value();
    if (!param || !param->isReady()) return getAttr("title");
    CString text = param->text();
    const CAudioParamConverter* converter = param->numberConverter();
    if (converter && !converter->label().empty()) text = text + " " + converter->label();
    return text;
}

void CReadOut::showValue() {
    // What is being typed stays until the edit ends.
    if (editor().isEditing()) return;
    const CString text = valueText();
    if (text != getAttr("title")) setAttr("title", text);
}

CErrorPtr CReadOut::onValueChanged(CObject* params, CObject*) {
    if (params && params->getAttr("ui-param") == CString("ui-param-value")) showValue();
    return nullptr;
}

CErrorPtr CReadOut::onEdited(CObject*, CObject*) {
    // The typed text has gone to the parameter; until its answer the value
    // as it was shows, and text that was no number never stays.
    showValue();
    return nullptr;
}

CErrorPtr CReadOut::onDoubleClick(CObject*, CObject*) {
    CUIParam* param = value();
    if (!param || !param->isReady()) return nullptr;
    if (hasAttr("default-value")) return param->setText(getAttr("default-value"));
    if (param->kind() == CUIParam::EKind::Simple) return param->setText(param->getAttr("simple-def-value"));
    const CAudioParamInfo* info = param->bridge() ? param->bridge()->info() : nullptr;
    if (!info) return nullptr;
    double plain = info->minValue(0);
    if (!info->defaultValue.get(0, param->element(), 0, plain)) (void)info->defaultValue.get(0, 0, 0, plain);
    return param->setValue(plain);
}

CErrorPtr CReadOut::onPointerPress(CObject* params, CObject*) {
    m_pressed = params != nullptr;
    if (params) {
        m_pressX = int(params->getInt("x", 0));
        m_pressY = int(params->getInt("y", 0));
    }
    return nullptr;
}

CErrorPtr CReadOut::onPointerMove(CObject* params, CObject*) {
    if (!m_pressed || !params) return nullptr;
    const int dx = int(params->getInt("x", 0)) - m_pressX, dy = int(params->getInt("y", 0)) - m_pressY;
    if (std::abs(dx) >= kDragDistance || std::abs(dy) >= kDragDistance) editor().cancelPending();
    return nullptr;
}

CErrorPtr CReadOut::onPointerUp(CObject*, CObject*) {
    m_pressed = false;
    return nullptr;
}

}  // namespace zel
