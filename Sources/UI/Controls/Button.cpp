// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/Button.h"

#include <algorithm>
#include <cmath>

#include "Core/Notify.h"
#include "Core/SharedAttribute.h"
#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "UI/Controls/ValueList.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "CButton"

namespace zel {

namespace {

const CImageSet* preparedSet(CView& view, const CString& path) {
    const CString full = path.startsWith("shared::") ? path : CString("shared::") + path;
    auto* object = dynamic_cast<CImageSetObject*>(view.findObject(full));
    if (!object || object->prepare(view.uiScale())) return nullptr;
    return object->imageSet(view.uiScale());
}

bool isTrueText(const CString& text) {
    return text == CString("true") || text == CString("1") || text == CString("1.0");
}

int alignedIn(const CString& align, const char* end, int from, int to, int length) {
    if (align == CString("center")) return from + (to - from - length) / 2;
    if (align == CString(end)) return to - length;
    return from;
}

}  // namespace

void CButton::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("mouse-press", &CButton::onPress);
    info.onEvent("mouse-move", &CButton::onMove);
    info.onEvent("mouse-release", &CButton::onRelease);
    info.onEvent("mouse-cancel", &CButton::onCancel);
    info.onEvent("mouse-press-r", &CButton::onPressRight);
    info.onEvent("mouse-release-r", &CButton::onReleaseRight);
    info.onEvent("mouse-cancel-r", &CButton::onCancelRight);
    info.onEvent("mouse-enter", &CButton::onEnter);
    info.onEvent("mouse-exit", &CButton::onExit);
    info.onEvent("mouse-wheel", &CButton::onWheel);
    info.onEvent("mouse-xbutton-release", &CButton::onXButton);
    info.onEvent("popup-result", &CButton::onPopupResult);
    info.onEvent("ui-param-ready", &CButton::onValueChanged);
    info.onEvent("value-changed", &CButton::onValueChanged);
    info.onEvent("items-changed", &CButton::onItemsChanged);
}

CErrorPtr CButton::init() {
    ZEL_TRY(CView::init());
    for (const char* role : {"ui-param-value", "ui-param-activity"})
        if ((m_value = dynamic_cast<CUIParam*>(findChild(role)))) break;
    const CString shared = getAttr("shared-attribute");
    if (!shared.empty()) {
        auto* setting = dynamic_cast<CSharedAttribute*>(findObject(shared));
        if (!setting)
            return ZEL_ERROR("@zelstr_CButton_init_SharedAttribute Invalid button shared attribute '%1'.", shared);
        ZEL_TRY(setAttrExpanded("shared-value", "{*/" + shared + " " + setting->getAttr("attribute") + "}"));
    }
    const CString list = getAttr("item-list");
    if (!list.empty()) {
        m_itemList = findObject(list);
        if (!m_itemList) return ZEL_ERROR("@zelstr_CButton_init_ItemList Unable to find the item list '%1'.", list);
        ZEL_TRY(listenObject(m_itemList, "values-changed", "items-changed"));
    }
    m_ownTitle = !getAttr("title").empty();
    readLook();
    m_ready = true;
    if (!shared.empty()) ZEL_TRY(setAttr("is-active", sharedOn() ? "true" : "false"));
    ZEL_TRY(onValueChanged(nullptr, nullptr));
    entriesChanged();
    ZEL_TRY(applyStates());
    return nullptr;
}

void CButton::readRoles() {
    CView::readRoles();
    m_markColour = 0;
    paletteColour(getAttr("text-color").empty() ? CString("ButtonText") : getAttr("text-color"), m_markColour, false);
}

void CButton::readLook() {
    // Drawing reads members only: the render threads draw while attributes may change.
    m_isPicture = getBool("is-picture", false);
    m_picAlignH = getAttr("pic-alignment-h");
    m_picAlignV = getAttr("pic-alignment-v");
    m_disabled = getBool("is-disabled", false);
    m_set = getAttr("image-set").empty() ? nullptr : preparedSet(*this, getAttr("image-set"));
    m_picture = nullptr;
    m_first = 0;
    m_band = {};
    if (const CImageSet* buttons = preparedSet(*this, "is.button")) m_arrow = buttons->image("Arrow", 0);
    if (!m_set) return;
    const CString range = getAttr("image-set-range");
    const auto index = uint32_t(std::max<long long>(0, getInt("image-set-index", 0)));
    if (m_isPicture) {
        m_picture = range.empty() && !m_set->findRange(range) ? m_set->image(index) : m_set->image(range, index);
        if (!m_picture && !range.empty()) m_picture = m_set->image(CString(), index);
        return;
    }
    const CImageSet::CRange* found = m_set->findRange(range);
    if (!found) found = m_set->findRange(CString());
    m_first = found ? found->first : 1;
    const auto nominal = [&](uint32_t i, bool across) {
        const CImage* piece = m_set->image(m_first + i);
        return piece ? (across ? piece->nominalHeight() : piece->nominalWidth()) : 0;
    };
    m_band = {nominal(2, false), nominal(3, false), nominal(0, true), nominal(1, true)};
}

void CButton::attrChanged(const CString& name) {
    CView::attrChanged(name);
    if (!m_ready) return;
    if (name == CString("image-set-range") || name == CString("image-set-index") || name == CString("image-set")) {
        readLook();
        invalidateView();
    } else if (name == CString("shared-value")) {
        setAttr("is-active", sharedOn() ? "true" : "false");
    } else if (name == CString("is-active") || name == CString("is-disabled") || name == CString("is-temp-pushed")) {
        m_disabled = getBool("is-disabled", false);
        if (CErrorPtr err = applyStates()) CSystem::showError(*err);
    } else if (name == CString("selected-item")) {
        entriesChanged();
    }
}

CErrorPtr CButton::dispatchEvent(const CString& name, CObject* params, CObject* sender) {
    // A release away from the press is no click: the button's own commands
    // for it do not run either.
    if (name == CString("mouse-release") && !(m_pressed && inside(params))) return onRelease(params, sender);
    return CView::dispatchEvent(name, params, sender);
}

bool CButton::inside(const CObject* params) const {
    if (!params) return false;
    const int x = int(params->getInt("x", -1)), y = int(params->getInt("y", -1));
    const CRect& r = area();
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

CErrorPtr CButton::setState(const char* state, bool on) {
    if (states().isSet(state) == on) return nullptr;
    ZEL_TRY(states().set(state, on, CViewBaseState::clock(*this)));
    return nullptr;
}

CErrorPtr CButton::applyStates() {
    ZEL_TRY(setState("active", isActive()));
    ZEL_TRY(setState("temp-pushed", getBool("is-temp-pushed", false)));
    ZEL_TRY(setState("disabled", getBool("is-disabled", false)));
    invalidateView();
    return nullptr;
}

bool CButton::sharedOn() const { return isTrueText(getAttr("shared-value")); }

CErrorPtr CButton::onPress(CObject* params, CObject*) {
    if (getBool("is-disabled", false)) return nullptr;
    if (isDropDown()) {
        beforePopup();
        std::vector<CTextView::CListEntry> list = entries();
        if (list.empty() || getAttr("popup-tag").empty()) return nullptr;
        ZEL_TRY(CTextView::openPopupList(*this, list, selectedItem()));
        if (params && !getBool("is-drop-down-behavior-disabled", false)) m_dropGesture.start();
        return nullptr;
    }
    m_pressed = true;
    m_pushed = inside(params) || !params;
    ZEL_TRY(setState("pushed", m_pushed));
    return nullptr;
}

CErrorPtr CButton::onMove(CObject* params, CObject*) {
    if (m_dropGesture.isActive() && params) return m_dropGesture.move(*params);
    if (!m_pressed) return nullptr;
    // Pushed while the pointer is over it: leaving shows that a release
    // there will do nothing.
    const bool over = inside(params);
    if (over == m_pushed) return nullptr;
    m_pushed = over;
    ZEL_TRY(setState("pushed", over));
    return nullptr;
}

CErrorPtr CButton::onRelease(CObject* params, CObject*) {
    if (m_dropGesture.isActive()) {
        if (!params) {
            m_dropGesture.cancel();
            return nullptr;
        }
        return m_dropGesture.release(*params);
    }
    const bool click = m_pressed && inside(params);
    m_pressed = m_pushed = false;
    ZEL_TRY(setState("pushed", false));
    if (!click) return nullptr;
    ZEL_TRY(clicked());
    ZEL_TRY(CNotifyServer::instance().notify(this, "button-clicked", nullptr));
    return nullptr;
}

CErrorPtr CButton::onCancel(CObject*, CObject*) {
    m_dropGesture.cancel();
    m_pressed = m_pushed = false;
    ZEL_TRY(setState("pushed", false));
    return nullptr;
}

CErrorPtr CButton::onPressRight(CObject* params, CObject* sender) {
    return rightAllowed() ? onPress(params, sender) : nullptr;
}

CErrorPtr CButton::onReleaseRight(CObject* params, CObject* sender) {
    return rightAllowed() ? onRelease(params, sender) : nullptr;
}

CErrorPtr CButton::onCancelRight(CObject* params, CObject* sender) {
    return rightAllowed() ? onCancel(params, sender) : nullptr;
}

CErrorPtr CButton::onEnter(CObject*, CObject*) {
    ZEL_TRY(setState("hover", true));
    return nullptr;
}

CErrorPtr CButton::onExit(CObject*, CObject*) {
    ZEL_TRY(setState("hover", false));
    return nullptr;
}

CErrorPtr CButton::onWheel(CObject* params, CObject*) {
    if (!params || !isDropDown() || getBool("is-mouse-wheel-disabled", false) || getBool("is-disabled", false))
        return nullptr;
    // Up goes to the entry above.
    return step(params->getInt("delta", 0) > 0 ? -1 : 1);
}

CErrorPtr CButton::onXButton(CObject* params, CObject*) {
    if (!params || !isDropDown() || !getBool("is-x-button-allowed", true) || getBool("is-disabled", false))
        return nullptr;
    // Button 8 goes back, 9 forward.
    return step(params->getInt("button", 0) == 8 ? -1 : 1);
}

CErrorPtr CButton::step(int direction) {
    // To the next entry that can be chosen, none past either end.
    const std::vector<CTextView::CListEntry> list = entries();
    for (int at = selectedItem() + direction; at >= 0 && at < int(list.size()); at += direction)
        if (list[size_t(at)].isEnabled) return chooseItem(at);
    return nullptr;
}

CErrorPtr CButton::onPopupResult(CObject* params, CObject*) {
    if (!params) return nullptr;
    const int index = int(params->getInt("index", -1));
    if (index < 0) return nullptr;
    return chooseItem(index);
}

void CButton::release(CView& button) {
    if (CWindowRenderer* renderer = button.windowRenderer()) {
        CWindowSharedData* shared = renderer->sharedData();
        for (const CObject* v = shared ? shared->hoverView() : nullptr; v; v = v->parent())
            if (v == &button) {
                shared->forgetHoverIn(*renderer, false);
                break;
            }
        if (renderer->router()) renderer->router()->forget(button);
    }
    if (CObject* owner = button.parent()) owner->removeChild(&button);
}

CErrorPtr CButton::chooseItem(int index) {
    ZEL_TRY(setAttr("selected-item", toText((long long)index)));
    ZEL_TRY(itemChosen(index));
    CObject params;
    params.setInt("index", index);
    ZEL_TRY(CNotifyServer::instance().notify(this, "item-selected", &params));
    return nullptr;
}

CErrorPtr CButton::itemChosen(int index) {
    if (m_value && m_value->isReady()) ZEL_TRY(m_value->setValue(itemValue(index)));
    return nullptr;
}

CErrorPtr CButton::clicked() {
    if (m_value) {
        if (!m_value->isReady()) return nullptr;
        // The next value, round to the first: a switch of two toggles.
        const double lo = std::min(m_value->minValue(), m_value->maxValue());
        const double hi = std::max(m_value->minValue(), m_value->maxValue());
        const double next = std::round(m_value->value()) + 1.0;
        ZEL_TRY(m_value->setValue(next > hi ? lo : next));
        return nullptr;
    }
    const CString shared = getAttr("shared-attribute");
    if (!shared.empty()) {
        auto* setting = dynamic_cast<CSharedAttribute*>(findObject(shared));
        if (!setting) return nullptr;
        const CString attr = setting->getAttr("attribute");
        const CString now = setting->getAttr(attr);
        const bool word = now == CString("true") || now == CString("false");
        const bool on = isTrueText(now);
        ZEL_TRY(setting->setAttr(attr, word ? (on ? "false" : "true") : (on ? "0" : "1")));
        return nullptr;
    }
    if (getBool("is-checkbox", false)) ZEL_TRY(setAttr("is-active", isActive() ? "false" : "true"));
    return nullptr;
}

CErrorPtr CButton::onValueChanged(CObject*, CObject*) {
    if (!m_ready || !m_value || !m_value->isReady()) return nullptr;
    const double value = m_value->value();
    if (isDropDown()) {
        ZEL_TRY(setAttr("selected-item", toText((long long)itemOf(value))));
        return nullptr;
    }
    return valueChanged(value);
}

CErrorPtr CButton::valueChanged(double value) {
    const bool on = std::lround(value) != 0;
    ZEL_TRY(setAttr("is-active", on != getBool("is-inverse", false) ? "true" : "false"));
    return nullptr;
}

CErrorPtr CButton::onItemsChanged(CObject*, CObject*) {
    // The value's entry may have moved.
    ZEL_TRY(onValueChanged(nullptr, nullptr));
    entriesChanged();
    return nullptr;
}

std::vector<CTextView::CListEntry> CButton::entries() const {
    std::vector<CTextView::CListEntry> out;
    if (const auto* list = dynamic_cast<const CValueList*>(m_itemList)) {
        for (const CValueList::CItem& item : list->items()) out.push_back({item.title, item.isEnabled, false});
    } else if (m_itemList) {
        for (const auto& item : m_itemList->children()) {
            const CString text = item->hasAttr("content") ? item->getAttr("content") : item->getAttr("title");
            out.push_back({text, !item->getBool("is-disabled", false), false});
        }
    }
    return out;
}

double CButton::itemValue(int index) const {
    if (const auto* list = dynamic_cast<const CValueList*>(m_itemList))
        if (index >= 0 && size_t(index) < list->items().size()) return list->items()[size_t(index)].value;
    return (m_value ? m_value->minValue() : 0.0) + index;
}

int CButton::itemOf(double value) const {
    if (const auto* list = dynamic_cast<const CValueList*>(m_itemList)) {
        const auto& items = list->items();
        for (size_t i = 0; i < items.size(); ++i)
            if (std::fabs(items[i].value - value) < 1e-9) return int(i);
        return -1;
    }
    return int(std::lround(value - (m_value ? m_value->minValue() : 0.0)));
}

void CButton::entriesChanged() {
    if (!m_ready || m_ownTitle || !isDropDown()) return;
    const std::vector<CTextView::CListEntry> list = entries();
    const int at = selectedItem();
    setAttr("title", at >= 0 && size_t(at) < list.size() ? list[size_t(at)].title : getAttr("empty-title"));
}

void CButton::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect& r = area();
    CColor fill = 0x808080;
    const bool hasFill = roleFill(fill);
    const double opacity = m_disabled ? 0.5 : 1.0;
    const CBorder& inner = placement().inner;
    if (m_isPicture) {
        if (!m_picture) return;
        const int x =
            alignedIn(m_picAlignH, "right", r.left + inner.left, r.right - inner.right, m_picture->nominalWidth());
        const int y =
            alignedIn(m_picAlignV, "bottom", r.top + inner.top, r.bottom - inner.bottom, m_picture->nominalHeight());
        drawImage(bitmap, clip, *m_picture, x, y, fill, opacity);
        return;
    }
    if (hasFill) {
        // The band's inner half is filled too, under the band's own shading.
        const CRect body{r.left + m_band.left / 2, r.top + m_band.top / 2, r.right - m_band.right / 2,
                         r.bottom - m_band.bottom / 2};
        bitmap.fillRect(body.intersect(clip), fill, opacity);
    }
    if (m_set) drawBorder(bitmap, clip, *m_set, m_first, r, fill, opacity);
    if (isDropDown() && m_arrow) {
        // The drop-down's mark, at the right within the inner border.
        const int x = r.right - std::max(inner.right, m_arrow->nominalWidth() + 2) + 1;
        const int y = r.top + (r.height() - m_arrow->nominalHeight()) / 2;
        drawImage(bitmap, clip.intersect(r), *m_arrow, x, y, m_markColour, opacity);
    }
}

}  // namespace zel
