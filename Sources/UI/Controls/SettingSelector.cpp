// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/SettingSelector.h"

#include <cmath>

#include "Core/SharedAttribute.h"

#define ZEL_SOURCE_TAG "CSettingSelector"

namespace zel {

namespace {

std::vector<CString> splitList(const CString& text) {
    std::vector<CString> out;
    size_t from = 0;
    for (size_t at; (at = text.find(u';', from)) != CString::npos; from = at + 1)
        out.push_back(text.substr(from, at - from));
    if (from < text.length()) out.push_back(text.substr(from));
    return out;
}

bool readNumber(const CString& text, double& out) {
    CObject scratch;
    scratch.setAttr("n", text);
    return scratch.readReal("n", out);
}

}  // namespace

void CSettingSelector::setupClass(CClassInfo& info) { CSelector::setupClass(info); }

CErrorPtr CSettingSelector::init() {
    m_values = splitList(valueList());
    ZEL_TRY(findSetting(m_setting, m_attribute));
    // Followed live, so that a change from elsewhere shows too.
    ZEL_TRY(setAttrExpanded("setting-value", "{*/" + m_setting->fullName() + " " + m_attribute + "}"));
    ZEL_TRY(CSelector::init());
    return nullptr;
}

void CSettingSelector::attrChanged(const CString& name) {
    CSelector::attrChanged(name);
    if (name == CString("setting-value") && buttonCount() > 0)
        if (CErrorPtr err = follow()) CSystem::showError(*err);
}

std::vector<CString> CSettingSelector::titles() const { return splitList(titleList()); }

int CSettingSelector::current() const {
    double now = 0;
    if (!m_setting || !readNumber(m_setting->getAttr(m_attribute), now)) return -1;
    for (size_t i = 0; i < m_values.size(); ++i) {
        double v = 0;
        if (readNumber(m_values[i], v) && std::fabs(v - now) < 1e-6) return int(i);
    }
    return -1;
}

CErrorPtr CSettingSelector::choose(int index) {
    if (!m_setting || index < 0 || size_t(index) >= m_values.size()) return nullptr;
    ZEL_TRY(m_setting->setAttr(m_attribute, m_values[size_t(index)]));
    return nullptr;
}

// ---------------------------------------------------------------- frame rate

CString CSelectorFPS::titleList() const {
    return hasAttr("fps-values") ? getAttr("fps-values") : CString("20;30;40;50;60");
}

CErrorPtr CSelectorFPS::findSetting(CObject*& object, CString& attribute) {
    const CString path =
        hasAttr("shared-attribute") ? getAttr("shared-attribute") : CString("ui.global-data.frames-per-second");
    object = findObject(path);
    if (!object) return ZEL_ERROR("@zelstr_CSelectorFPS_init_Setting Invalid parameter shared attribute '%1'.", path);
    attribute = object->hasAttr("attribute") ? object->getAttr("attribute") : CString("frames-per-second");
    return nullptr;
}

// ---------------------------------------------------------------- UI scale

CString CSelectorScale::titleList() const {
    return hasAttr("ui-scale-titles") ? getAttr("ui-scale-titles") : CString("80%;100%;125%");
}

CString CSelectorScale::valueList() const {
    return hasAttr("ui-scale-values") ? getAttr("ui-scale-values") : CString("0.8;1.0;1.25");
}

CErrorPtr CSelectorScale::findSetting(CObject*& object, CString& attribute) {
    const CString path = hasAttr("ui-scale") ? getAttr("ui-scale") : CString("ui.local-data.ui-scale");
    object = findObject(path);
    if (!object) return ZEL_ERROR("@zelstr_CSelectorScale_init_Setting Unable to find the UI scale '%1'.", path);
    attribute = "scale";
    return nullptr;
}

}  // namespace zel
