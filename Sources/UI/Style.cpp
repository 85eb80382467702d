// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Style.h"

#define ZEL_SOURCE_TAG "Style"

namespace zel {

namespace {

const char* const kSettings[] = {"ui-flat-panels", "ui-shadows",  "ui-spotlight",        "ui-textures",
                                 "ui-flat-meters", "panel-color", "panel-gradient-color"};

// Sets only what changes: every write reaches the views bound to it.
void update(CObject& object, const char* name, const CString& value) {
    if (!object.hasAttr(name) || object.getAttr(name) != value) object.setAttr(name, value);
}

}  // namespace

CErrorPtr CStyle::init() {
    ZEL_TRY(CObject::init());
    m_ready = true;
    derive();
    return nullptr;
}

void CStyle::attrChanged(const CString& name) {
    CObject::attrChanged(name);
    if (!m_ready) return;
    for (const char* setting : kSettings)
        if (name == CString(setting)) return derive();
}

void CStyle::derive() {
    const auto text = [](bool on) { return CString(on ? "true" : "false"); };
    update(*this, "is-shadow-hidden", text(!getBool("ui-shadows", true)));
    update(*this, "is-global-light-hidden", text(!getBool("ui-spotlight", true)));
    update(*this, "is-texture-hidden", text(!getBool("ui-textures", true)));
    update(*this, "is-flat-meters", text(getBool("ui-flat-meters", false)));
    const bool flat = getBool("ui-flat-panels", true);
    const CString realistic = hasAttr("panel-color") ? getAttr("panel-color") : CString("RealisticPanel");
    const CString gradient =
        hasAttr("panel-gradient-color") ? getAttr("panel-gradient-color") : CString("RealisticPanelGradient");
    update(*this, "current-panel-color", flat ? CString("Panel") : realistic);
    update(*this, "current-panel-gradient-color", flat ? CString("PanelGradient") : gradient);
}

}  // namespace zel
