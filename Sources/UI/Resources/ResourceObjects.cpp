// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "ResourceObjects"

namespace zel {

CErrorPtr CImageSetObject::prepare(double uiScale) {
    if (m_set && m_scale == uiScale) return nullptr;
    auto set = std::make_unique<CImageSet>();
    ZEL_TRY(set->load(getAttr("file"), uiScale));
    m_set = std::move(set);
    m_scale = uiScale;
    return nullptr;
}

CErrorPtr CFontObject::prepare(double uiScale) {
    if (!m_styles.empty() && m_scale == uiScale) return nullptr;
    std::map<CString, std::unique_ptr<CFont>> styles;
    for (const auto& child : children()) {
        if (!child->getBool("is-font-style", false)) continue;
        auto font = std::make_unique<CFont>();
        ZEL_TRY(font->load(child->getAttr("file"), uiScale));
        styles[child->name()] = std::move(font);
    }
    m_styles = std::move(styles);
    m_scale = uiScale;
    return nullptr;
}

const CFont* CFontObject::style(const CString& name) const {
    auto it = m_styles.find(name);
    if (it == m_styles.end()) it = m_styles.find("regular");
    return it == m_styles.end() ? nullptr : it->second.get();
}

CErrorPtr CFontObject::findFont(CObject& view, CFontObject*& out) {
    out = nullptr;
    const CString path = view.getAttr("font-name");
    if (path.empty()) return ZEL_ERROR("@zelstr_CFontObject_findFont_Empty Attribute 'font-name' is empty");
    out = dynamic_cast<CFontObject*>(view.findObject(path));
    if (!out) return ZEL_ERROR("@zelstr_CFontObject_findFont_NotFound Font '%1' not found.", path);
    return nullptr;
}

CErrorPtr CBrushSetObject::prepare(double uiScale) {
    if (m_set && m_scale == uiScale) return nullptr;
    auto set = std::make_unique<CBrushSet>();
    ZEL_TRY(set->load(getAttr("file"), uiScale));
    m_set = std::move(set);
    m_scale = uiScale;
    return nullptr;
}

}  // namespace zel
