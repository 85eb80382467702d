// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/QuickEntry.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"
#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "QuickEntry"

namespace zel {

namespace {

// Digits of a whole number that a double still holds exactly.
constexpr unsigned kMaxDigits = 15;
constexpr unsigned kMaxDecimals = 10;

}  // namespace

// ---------------------------------------------------------------- converter

void CQuickEntryFieldDecConv::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("ui-param-ready", &CQuickEntryFieldDecConv::onParamReady);
    info.onEvent("value-changed", &CQuickEntryFieldDecConv::onValueChanged);
    info.onEvent("param-change", &CQuickEntryFieldDecConv::onParamChange);
}

CErrorPtr CQuickEntryFieldDecConv::init() {
    const long long decimals = getInt("decimals", 2), count = getInt("element-count", 6);
    if (decimals < 0 || decimals > static_cast<long long>(kMaxDecimals))
        return ZEL_ERROR("@zelstr_CQuickEntryFieldDecConv_init_Decimals Invalid decimals %1 specified.",
                         getAttr("decimals"));
    if (count < 1 || count > static_cast<long long>(kMaxDigits))
        return ZEL_ERROR("@zelstr_CQuickEntryFieldDecConv_init_Count Invalid element count %1 specified.",
                         getAttr("element-count"));
    m_decimals = unsigned(decimals);
    m_count = unsigned(count);
    ZEL_TRY(CObject::init());
    if (!dynamic_cast<CUIParam*>(findChild("ui-param-values")))
        return ZEL_ERROR(
            "@zelstr_CQuickEntryFieldDecConv_init_NoParam Unable to find ui-param 'ui-param-values' of %1.",
            fullName());
    return nullptr;
}

bool CQuickEntryFieldDecConv::digitsOf(const CString& text, unsigned decimals, unsigned count,
                                       std::vector<double>& digits) {
    double typed = 0.0;
    if (!parseNumber(text, typed)) return false;
    const double largest = std::pow(10.0, double(count)) - 1.0;
    // Clamped before the split: beyond the digits every digit is 9.
    const double whole = std::clamp(roundHalfAway(typed * std::pow(10.0, double(decimals))), 0.0, largest);
    long long n = static_cast<long long>(whole);
    digits.assign(count, 0.0);
    for (unsigned i = 0; i < count; ++i, n /= 10) digits[i] = double(n % 10);
    return true;
}

CString CQuickEntryFieldDecConv::textOf(const std::vector<double>& digits, unsigned decimals) {
    long long n = 0;
    for (size_t i = digits.size(); i-- > 0;) n = n * 10 + std::clamp(roundHalfAwayToInt(digits[i]), 0LL, 9LL);
    return formatNumber(double(n) / std::pow(10.0, double(decimals)), decimals);
}

CString CQuickEntryFieldDecConv::text() const {
    if (!m_values || !m_values->isReady() || !m_values->bridge()) return {};
    std::vector<double> digits(m_count);
    for (unsigned i = 0; i < m_count; ++i)
        digits[i] = m_values->bridge()->value(m_values->group(), m_values->element() + i);
    return textOf(digits, m_decimals);
}

CErrorPtr CQuickEntryFieldDecConv::enter(const CString& text) {
    std::vector<double> digits;
    if (!m_values || !m_values->isReady() || !m_values->bridge() || !digitsOf(text, m_decimals, m_count, digits))
        return show(this->text());
    CParamBridge::CChange where;
    where.group = m_values->group();
    where.element = m_values->element();
    // One change of every digit: one undo step.
    ZEL_TRY(m_values->bridge()->change(where, digits));
    // Shown at once, also when the digits were already these.
    return show(textOf(digits, m_decimals));
}

CErrorPtr CQuickEntryFieldDecConv::show(const CString& text) {
    if (auto* entry = dynamic_cast<CEditBoxQuickEntry*>(parent())) entry->showValue(text);
    return nullptr;
}

CErrorPtr CQuickEntryFieldDecConv::onParamReady(CObject*, CObject* sender) {
    auto* values = dynamic_cast<CUIParam*>(sender);
    if (!values || values->name() != CString("ui-param-values") || values == m_values) return nullptr;
    m_values = values;
    // The ui-param tells of its own element only; every digit counts here.
    if (m_values->bridge()) ZEL_TRY(listenObject(m_values->bridge(), "param-change", "param-change"));
    return show(text());
}

CErrorPtr CQuickEntryFieldDecConv::onValueChanged(CObject*, CObject*) { return show(text()); }

CErrorPtr CQuickEntryFieldDecConv::onParamChange(CObject* params, CObject*) {
    if (!m_values || !m_values->isReady() || !params) return nullptr;
    if (!params->getBool("is-replacing", false)) {
        const auto first = params->getInt("element-offset", 0), count = params->getInt("element-count", 0);
        const auto from = static_cast<long long>(m_values->element()), to = from + m_count;
        const bool otherGroup = size_t(params->getInt("group", 0)) != m_values->group();
        if (otherGroup || first + count <= from || first >= to) return nullptr;
    }
    return show(text());
}

// ---------------------------------------------------------------- edit box

void CEditBoxQuickEntry::setupClass(CClassInfo& info) {
    CEditBox::setupClass(info);
    info.onEvent("entry-edited", &CEditBoxQuickEntry::onEdited);
}

void CEditBoxQuickEntry::readRoles() {
    CEditBox::readRoles();
    if (!roleColour("border-color", m_border)) m_border = 0;
}

CErrorPtr CEditBoxQuickEntry::init() {
    if (!hasAttr("accept-chars")) setAttr("accept-chars", "0123456789.,-");
    if (!hasAttr("conv")) setAttr("conv", ".conv");
    if (!hasAttr("is-select-all-on-focus")) setBool("is-select-all-on-focus", true);
    // A click, or the second of a double click, opens it with the number
    // selected rather than with the caret where it hit.
    if (!hasAttr("is-editbox-on-click")) setBool("is-editbox-on-click", true);
    if (!hasAttr("is-editbox-on-dblclick")) setBool("is-editbox-on-dblclick", true);
    ZEL_TRY(CEditBox::init());
    if (!getAttr("image-set").empty()) {
        auto* set = dynamic_cast<CImageSetObject*>(findObject(getAttr("image-set")));
        if (!set) return ZEL_ERROR("@zelstr_CView_init_ImageSet Image set '%1' not found.", getAttr("image-set"));
        ZEL_TRY(set->prepare(uiScale()));
        m_frame = set->imageSet(uiScale());
        m_frameFirst = uint32_t(getInt("image-set-index", 0));
        const auto band = [&](uint32_t i, bool across) {
            const CImage* piece = m_frame->image(m_frameFirst + i);
            return piece ? (across ? piece->nominalHeight() : piece->nominalWidth()) : 0;
        };
        m_band = {band(2, false), band(3, false), band(0, true), band(1, true)};
    }
    CQuickEntryFieldDecConv* conv = nullptr;
    ZEL_TRY(findObjectByAttr("conv", conv));
    ZEL_TRY(listenObject(this, "editbox-text-changed", "entry-edited"));
    showValue(conv->text());
    return nullptr;
}

CQuickEntryFieldDecConv* CEditBoxQuickEntry::converter() {
    return dynamic_cast<CQuickEntryFieldDecConv*>(findObject(getAttr("conv")));
}

void CEditBoxQuickEntry::showValue(const CString& text) {
    if (!isEditing() && text != getAttr("title")) setText(text);
}

CErrorPtr CEditBoxQuickEntry::onEdited(CObject* params, CObject*) {
    CQuickEntryFieldDecConv* conv = converter();
    if (!conv) return nullptr;
    if (params && params->getBool("is-cancelled", false)) {
        showValue(conv->text());
        return nullptr;
    }
    return conv->enter(params ? params->getAttr("text") : CString());
}

void CEditBoxQuickEntry::drawBackground(CLinearBitmap& bitmap, const CRect& clip) const {
    if (!m_frame) return CEditBox::drawBackground(bitmap, clip);
    const CRect& r = area();
    CColor fill = 0;
    // The band's inner half is filled too, under the band's own shading.
    if (roleFill(fill))
        bitmap.fillRect(CRect{r.left + m_band.left / 2, r.top + m_band.top / 2, r.right - m_band.right / 2,
                              r.bottom - m_band.bottom / 2}
                            .intersect(clip),
                        fill, 1.0);
    drawBorder(bitmap, clip, *m_frame, m_frameFirst, r, m_border, 1.0);
}

}  // namespace zel
