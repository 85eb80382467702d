// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "ResourceObjects"

namespace zel {

namespace {

template <class T>
const T* atScale(const std::map<double, std::unique_ptr<T>>& copies, double uiScale) {
    auto it = copies.find(uiScale);
    return it == copies.end() ? nullptr : it->second.get();
}

}  // namespace

CErrorPtr CImageSetObject::prepare(double uiScale) {
    if (m_sets.count(uiScale)) return nullptr;
    auto set = std::make_unique<CImageSet>();
    ZEL_TRY(set->load(getAttr("file"), uiScale));
    m_sets[uiScale] = std::move(set);
    return nullptr;
}

const CImageSet* CImageSetObject::imageSet(double uiScale) const { return atScale(m_sets, uiScale); }

CErrorPtr CFontObject::prepare(double uiScale) {
    if (m_styles.count(uiScale)) return nullptr;
    std::map<CString, std::unique_ptr<CFont>> styles;
    for (const auto& child : children()) {
        if (!child->getBool("is-font-style", false)) continue;
        auto font = std::make_unique<CFont>();
        ZEL_TRY(font->load(child->getAttr("file"), uiScale));
        styles[child->name()] = std::move(font);
    }
    m_styles[uiScale] = std::move(styles);
    return nullptr;
}

const CFont* CFontObject::style(const CString& name, double uiScale) const {
    const auto copy = m_styles.find(uiScale);
    if (copy == m_styles.end()) return nullptr;
    const auto& styles = copy->second;
    auto it = styles.find(name);
    if (it == styles.end()) it = styles.find("regular");
    return it == styles.end() ? nullptr : it->second.get();
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
    if (m_sets.count(uiScale)) return nullptr;
    auto set = std::make_unique<CBrushSet>();
    ZEL_TRY(set->load(getAttr("file"), uiScale));
    m_sets[uiScale] = std::move(set);
    return nullptr;
}

const CBrushSet* CBrushSetObject::brushSet(double uiScale) const { return atScale(m_sets, uiScale); }

}  // namespace zel
