// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/VirtualKeyboard.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "Other/Draw.h"
#include "Other/Font.h"
#include "UI/EditBuffer.h"
#include "UI/InputRouter.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "VirtualKeyboard"

namespace zel {

namespace {

const char* const kCapsKey = "CAPS";
// What the digit pad can type.
const char32_t kNumberChars[] = U"0123456789.-";

bool within(const CRect& r, long long x, long long y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// A one-letter title in the other case, or the title as it is.
CString caseOf(const CString& title, bool capitals) {
    const std::string text = title.utf8();
    if (text.size() != 1) return title;
    const char c = text[0];
    if (capitals && c >= 'a' && c <= 'z') return CString::fromUtf8(std::string(1, char(c - 32)));
    if (!capitals && c >= 'A' && c <= 'Z') return CString::fromUtf8(std::string(1, char(c + 32)));
    return title;
}

void forEachKey(CObject& object, const std::function<void(CVirtualKey&)>& fn) {
    for (const auto& child : object.children()) {
        if (auto* key = dynamic_cast<CVirtualKey*>(child.get())) fn(*key);
        forEachKey(*child, fn);
    }
}

}  // namespace

// ---------------------------------------------------------------- key

void CVirtualKey::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("mouse-enter", &CVirtualKey::onEnter);
    info.onEvent("mouse-exit", &CVirtualKey::onExit);
    info.onEvent("mouse-press", &CVirtualKey::onPress);
    info.onEvent("mouse-move", &CVirtualKey::onMove);
    info.onEvent("mouse-release", &CVirtualKey::onRelease);
    info.onEvent("mouse-cancel", &CVirtualKey::onCancel);
    info.onEvent("auto-click", &CVirtualKey::onRepeat);
}

CErrorPtr CVirtualKey::init() {
    if (!hasAttr("color")) setAttr("color", "VirtualKeyboardKey");
    if (!hasAttr("text-color")) setAttr("text-color", "VirtualKeyboardKeyText");
    if (!hasAttr("border-color")) setAttr("border-color", "Border");
    ZEL_TRY(CView::init());
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(uiScale()));
    m_font = fonts->style(hasAttr("font-style") ? getAttr("font-style") : CString("regular"), uiScale());
    return nullptr;
}

void CVirtualKey::readRoles() {
    CView::readRoles();
    const CString face = getAttr("color"), text = getAttr("text-color");
    auto role = [&](const CString& name, CColor fallback) {
        CColor out = fallback;
        return paletteColour(name, out, false) ? out : fallback;
    };
    m_face = role(face, 0xE0E0E0);
    m_hover = role(face + "_Hover", m_face);
    m_pushedFace = role(face + "_Pushed", role("Button_Pushed", m_hover));
    m_active = role(face + "_Active", role("Button_Active", m_face));
    m_text = role(text, 0);
    m_activeText = role(text + "_Active", role("ButtonText_Active", m_text));
    m_hasEdge = roleColour("border-color", m_edge);
}

void CVirtualKey::attrChanged(const CString& name) {
    CView::attrChanged(name);
    if (name == CString("title") || name == CString("is-active")) invalidateView();
}

CSize CVirtualKey::contentSize() const {
    if (!m_font) return {};
    return {m_font->textWidth(getAttr("title")), m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow()};
}

void CVirtualKey::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    // Keys stand apart by a pixel's gap on every side.
    const int gap = std::max(1, int(std::lround(uiScale())));
    const CRect r{area().left + gap, area().top + gap, area().right - gap, area().bottom - gap};
    const bool active = getBool("is-active", false);
    CColor face = active ? m_active : m_face;
    if (isPushed())
        face = m_pushedFace;
    else if (m_hovered && !active)
        face = m_hover;
    const int edge = std::max(1, int(std::lround(uiScale())));
    // Rounded by leaving the corner pixels out of the edge.
    if (m_hasEdge) {
        bitmap.fillRect(clip.intersect(CRect{r.left + edge, r.top, r.right - edge, r.top + edge}), m_edge, 1.0);
        bitmap.fillRect(clip.intersect(CRect{r.left + edge, r.bottom - edge, r.right - edge, r.bottom}), m_edge, 1.0);
        bitmap.fillRect(clip.intersect(CRect{r.left, r.top + edge, r.left + edge, r.bottom - edge}), m_edge, 1.0);
        bitmap.fillRect(clip.intersect(CRect{r.right - edge, r.top + edge, r.right, r.bottom - edge}), m_edge, 1.0);
    }
    const CRect inside{r.left + edge, r.top + edge, r.right - edge, r.bottom - edge};
    bitmap.fillRect(clip.intersect(inside), face, 1.0);
    // Lit from above: a light top and a shaded bottom, swapped while held.
    const CColor light = isPushed() ? m_pushedFace : m_hover, shade = isPushed() ? m_hover : m_pushedFace;
    bitmap.fillRect(clip.intersect(CRect{inside.left, inside.top, inside.right, inside.top + edge}), light, 1.0);
    bitmap.fillRect(clip.intersect(CRect{inside.left, inside.bottom - edge, inside.right, inside.bottom}), shade, 1.0);
    if (!m_font) return;
    const CString title = getAttr("title");
    const int height = m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow();
    const int x = r.left + (r.width() - m_font->textWidth(title)) / 2;
    // A held key's title sinks by a pixel, as a key does.
    const int top = r.top + (r.height() - height) / 2 + (isPushed() ? edge : 0);
    const int baseline = top + m_font->spaceAbove() + m_font->lineHeight() - m_font->spaceBelow();
    drawText(bitmap, clip.intersect(inside), *m_font, x, baseline, title, active ? m_activeText : m_text, 1.0);
}

CErrorPtr CVirtualKey::onEnter(CObject*, CObject*) {
    m_hovered = true;
    invalidateView();
    return nullptr;
}

CErrorPtr CVirtualKey::onExit(CObject*, CObject*) {
    m_hovered = false;
    invalidateView();
    return nullptr;
}

CErrorPtr CVirtualKey::onPress(CObject*, CObject*) {
    m_pushed = m_inside = true;
    m_repeated = false;
    invalidateView();
    return nullptr;
}

CErrorPtr CVirtualKey::onMove(CObject* params, CObject*) {
    if (!m_pushed || !params) return nullptr;
    // Held, the key lets go when the pointer leaves it, as buttons do.
    const bool inside = within(area(), params->getInt("x", -1), params->getInt("y", -1));
    if (inside != m_inside) {
        m_inside = inside;
        invalidateView();
    }
    return nullptr;
}

CErrorPtr CVirtualKey::onRelease(CObject* params, CObject*) {
    if (!m_pushed) return nullptr;
    const bool clicked = params && within(area(), params->getInt("x", -1), params->getInt("y", -1));
    m_pushed = m_inside = false;
    invalidateView();
    return clicked && !m_repeated ? send() : nullptr;
}

CErrorPtr CVirtualKey::onRepeat(CObject*, CObject*) {
    if (!m_pushed || !m_inside) return nullptr;
    m_repeated = true;
    return send();
}

CErrorPtr CVirtualKey::send() {
    CVirtualKeyboard* keyboard = nullptr;
    for (CObject* up = parent(); up && !keyboard; up = up->parent()) keyboard = dynamic_cast<CVirtualKeyboard*>(up);
    if (!keyboard) return nullptr;
    CObject press;
    press.setAttr("title", getAttr("title"));
    return CInputRouter::sendToView(*keyboard, "virtual-keyboard-press", &press, this);
}

CErrorPtr CVirtualKey::onCancel(CObject*, CObject*) {
    m_pushed = m_inside = false;
    invalidateView();
    return nullptr;
}

// ---------------------------------------------------------------- keyboard

void CVirtualKeyboard::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("virtual-keyboard-press", &CVirtualKeyboard::onKey);
}

CErrorPtr CVirtualKeyboard::init() {
    ZEL_TRY(CView::init());
    setCapsLock(false);
    return nullptr;
}

void CVirtualKeyboard::setCapsLock(bool on) {
    m_caps = on;
    if (CObject* caps = getAttr("caps-button").empty() ? nullptr : findObject(getAttr("caps-button")))
        caps->setBool("is-active", on);
    forEachKey(*this, [&](CVirtualKey& key) { key.setAttr("title", caseOf(key.getAttr("title"), on)); });
}

CErrorPtr CVirtualKeyboard::onKey(CObject* params, CObject*) {
    if (!params) return nullptr;
    if (params->getAttr("title") == CString(kCapsKey)) {
        setCapsLock(!m_caps);
        return nullptr;
    }
    CWindowRenderer* renderer = windowRenderer();
    CView* opener = renderer ? renderer->opener() : nullptr;
    if (!opener) return nullptr;
    return CInputRouter::sendToView(*opener, "virtual-keyboard-press", params, this);
}

// ---------------------------------------------------------------- link

CString CVirtualKeyboardLink::templateFor(CView& box) {
    if (!box.getBool("is-virtual-keyboard-allowed", false)) return {};
    CObject* settings = box.findObject("ui.global-data");
    if (!settings || !settings->getBool("show-virtual-keyboard", true)) return {};
    const CString tag = box.getAttr("virtual-keyboard-tag");
    if (!tag.empty()) return tag;
    const std::u32string accepted = decodeUtf8(box.getAttr("accept-chars").utf8());
    const std::u32string numbers = kNumberChars;
    const bool numeric = !accepted.empty() && std::all_of(accepted.begin(), accepted.end(), [&](char32_t c) {
        return numbers.find(c) != std::u32string::npos;
    });
    return numeric ? CString("ui:virtual-keyboard-digital") : CString("ui:virtual-keyboard");
}

CWinDrag* CVirtualKeyboardLink::popup(CView& box) const {
    auto* opener = dynamic_cast<CWindowOpener*>(box.findObject("ui.window-shared-data.window-opener"));
    return opener && !m_name.empty() ? opener->findPopup(m_name) : nullptr;
}

CErrorPtr CVirtualKeyboardLink::open(CView& box) {
    const CString tag = templateFor(box);
    if (tag.empty() || popup(box)) return nullptr;
    auto* opener = dynamic_cast<CWindowOpener*>(box.findObject("ui.window-shared-data.window-opener"));
    if (!opener) return ZEL_ERROR("@zelstr_CEditBox_openKeyboard_Opener Unable to find the window opener.");
    // A fresh name each time: the last one may still be closing.
    static unsigned serial = 0;
    m_name = CString("virtual-keyboard-") + CString::fromUtf8(std::to_string(++serial));
    CWinDrag* out = nullptr;
    ZEL_TRY(opener->openPopup(tag, m_name, box, out));
    if (CWindowRenderer* renderer = box.windowRenderer()) renderer->setAttr("last-virtual-keyboard", out->fullName());
    return nullptr;
}

CErrorPtr CVirtualKeyboardLink::close(CView& box) {
    CWinDrag* open = popup(box);
    m_name = CString();
    if (!open) return nullptr;
    auto* renderer = dynamic_cast<CWindowRenderer*>(open->findChild("window-renderer"));
    return renderer ? renderer->closeWindow() : nullptr;
}

}  // namespace zel
