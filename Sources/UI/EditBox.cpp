// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/EditBox.h"

#include <algorithm>

#include "Core/Notify.h"
#include "Other/Draw.h"
#include "Other/Font.h"
#include "Platform/Clipboard.h"
#include "Platform/Clock.h"
#include "UI/InputRouter.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "EditBox"

namespace zel {

namespace {

constexpr uint32_t kKeyBackSpace = 0xff08;

// A paste waits this long at most for another program's answer: the
// editor runs on the host's user-interface thread.
constexpr uint32_t kPasteWaitMs = 300;

CRect innerArea(const CRect& r, const CBorder& b) {
    return CRect{r.left + b.left, r.top + b.top, std::max(r.left + b.left, r.right - b.right),
                 std::max(r.top + b.top, r.bottom - b.bottom)};
}

}  // namespace

CString passwordMask(const CFont* font, size_t count) {
    // A bullet where the font has one.
    const char16_t bullet = font && font->glyph(0x2022) ? u'\u2022' : u'*';
    CString mask;
    for (size_t i = 0; i < count; ++i) mask += bullet;
    return mask;
}

void CEditBox::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("focus", &CEditBox::onFocus);
    info.onEvent("blur", &CEditBox::onBlur);
    info.onEvent("key-press", &CEditBox::onKey);
    info.onEvent("mouse-press", &CEditBox::onPress);
    info.onEvent("mouse-move", &CEditBox::onMove);
    info.onEvent("mouse-release", &CEditBox::onMove);
    info.onEvent("cursor-tick", &CEditBox::onCursorTick);
    info.onEvent("update-tick", &CEditBox::onUpdateTick);
    info.onEvent("virtual-keyboard-press", &CEditBox::onVirtualKey);
}

void CEditBox::readRoles() {
    CView::readRoles();
    if (!roleColour("text-color", m_text)) m_text = 0;
    if (!roleColour("selection-color", m_selection)) m_selection = 0x3070C0;
    if (!roleColour("selection-text-color", m_selectionText)) m_selectionText = 0xFFFFFF;
}

CErrorPtr CEditBox::init() {
    // Edit boxes take the keyboard; Tab visits them in document order.
    if (!hasAttr("is-focusable")) setBool("is-focusable", true);
    if (!hasAttr("text-color")) setAttr("text-color", "PanelText");
    if (!hasAttr("selection-color")) setAttr("selection-color", "Selection");
    if (!hasAttr("selection-text-color")) setAttr("selection-text-color", "SelectionText");
    ZEL_TRY(CView::init());
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(uiScale()));
    m_font = fonts->style(hasAttr("font-style") ? getAttr("font-style") : CString("regular"), uiScale());
    m_buffer.setAcceptChars(getAttr("accept-chars").utf8());
    m_buffer.setMaxLength(size_t(std::max<long long>(0, getInt("max-paragraph-length", 0))));
    m_buffer.setAcceptEnter(getBool("is-accept-enter", true));
    m_password = getBool("is-password", false);
    m_buffer.setCopyAllowed(!m_password);
    m_buffer.setText(getAttr("title").utf8());
    readGesture();
    return nullptr;
}

CString CEditBox::shownText(const std::string& utf8) const {
    if (!m_password) return CString::fromUtf8(utf8);
    return passwordMask(m_font, decodeUtf8(utf8).size());
}

CSize CEditBox::contentSize() const {
    if (!m_font) return {};
    return {m_font->textWidth(shownText(m_buffer.text())),
            m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow()};
}

void CEditBox::setText(const CString& text) {
    setAttr("title", text);
    m_buffer.setText(text.utf8());
    m_scroll = 0;
    invalidateView();
}

CErrorPtr CEditBox::focusSelecting(size_t from, size_t to) {
    CWindowRenderer* renderer = windowRenderer();
    if (!renderer || !renderer->router()) return nullptr;
    m_focusedByWindow = true;
    CErrorPtr err = renderer->router()->setFocus(this);
    m_focusedByWindow = false;
    if (err) return ZEL_PASS(err);
    m_buffer.moveCaret(from, false);
    m_buffer.moveCaret(to, true);
    changed();
    return nullptr;
}

int CEditBox::textLeft() const {
    const CRect inner = innerArea(area(), placement().inner);
    const CString align = getAttr("text-alignment");
    if (!m_font || m_scroll > 0 || align.empty() || align == CString("left")) return inner.left - m_scroll;
    // Only a text that fits is aligned; a longer one scrolls from the left.
    const int room = inner.right - inner.left - 1;
    const int spare = std::max(0, room - m_font->textWidth(shownText(m_buffer.text())));
    if (align == CString("center")) return inner.left + spare / 2;
    return align == CString("right") ? inner.left + spare : inner.left;
}

size_t CEditBox::positionAt(int x) const {
    if (!m_font) return 0;
    const int offset = x - textLeft();
    // The boundary nearest to the point: past a character's middle is
    // after it.
    int previous = 0;
    for (size_t i = 1; i <= m_buffer.length(); ++i) {
        const int width = m_font->textWidth(shownText(m_buffer.textBefore(i)));
        if (offset < (previous + width) / 2) return i - 1;
        previous = width;
    }
    return m_buffer.length();
}

void CEditBox::readGesture() {
    CEditGesture::COptions gesture;
    gesture.onClick = getBool("is-editbox-on-click", false);
    gesture.onSingleClick = getBool("is-editbox-on-singleclick", false);
    gesture.onDoubleClick = getBool("is-editbox-on-dblclick", false);
    gesture.singleClickDelay = getReal("paragraph-click-edit-delay", 0.5);
    m_gesture.setOptions(gesture);
    m_byGesture = gesture.onClick || gesture.onSingleClick || gesture.onDoubleClick;
}

void CEditBox::scrollToCaret() {
    if (!m_font) return;
    const CRect inner = innerArea(area(), placement().inner);
    const int room = std::max(1, inner.right - inner.left - 1);
    const int caret = m_font->textWidth(shownText(m_buffer.textBefore(m_buffer.caret())));
    const int total = m_font->textWidth(shownText(m_buffer.text()));
    if (caret - m_scroll > room) m_scroll = caret - room;
    if (caret < m_scroll) m_scroll = caret;
    // No empty room right of the text while it is scrolled.
    m_scroll = std::max(0, std::min(m_scroll, total - room));
}

void CEditBox::changed() {
    scrollToCaret();
    m_blink.restart();
    invalidateView();
}

void CEditBox::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    drawBackground(bitmap, clip);
    if (!m_font) return;
    const CRect inner = innerArea(area(), placement().inner);
    const CRect textClip = clip.intersect(inner);
    const int height = m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow();
    const int top = inner.top + (inner.bottom - inner.top - height) / 2;
    const int baseline = top + m_font->spaceAbove() + m_font->lineHeight() - m_font->spaceBelow();
    const int left = textLeft();
    auto widthTo = [&](size_t pos) { return m_font->textWidth(shownText(m_buffer.textBefore(pos))); };
    const CString text = shownText(m_buffer.text());
    drawText(bitmap, textClip, *m_font, left, baseline, text, m_text, 1.0);
    if (m_editing && m_buffer.hasSelection()) {
        const int from = left + widthTo(m_buffer.selectionStart()), to = left + widthTo(m_buffer.selectionEnd());
        const CRect band{from, top, to, top + height};
        const CRect selected = textClip.intersect(band);
        bitmap.fillRect(selected, m_selection, 1.0);
        drawText(bitmap, selected, *m_font, left, baseline, text, m_selectionText, 1.0);
    }
    if (isCaretShown()) {
        const int x = left + widthTo(m_buffer.caret());
        const int thickness = std::max(1, int(uiScale() + 0.5));
        bitmap.fillRect(textClip.intersect(CRect{x, top, x + thickness, top + height}), m_text, 1.0);
    }
}

CErrorPtr CEditBox::listenToRenderer() {
    CWindowRenderer* renderer = windowRenderer();
    if (!renderer || m_listening) return nullptr;
    ZEL_TRY(listenObject(renderer, "cursor-tick", "cursor-tick"));
    ZEL_TRY(listenObject(renderer, "tick", "update-tick"));
    m_listening = true;
    return nullptr;
}

CErrorPtr CEditBox::onFocus(CObject*, CObject*) {
    ZEL_TRY(listenToRenderer());
    // A press that focuses a box opened by a gesture is only its start;
    // the focus from Tab opens it at once.
    CWindowRenderer* renderer = windowRenderer();
    if (m_byGesture && renderer && renderer->router() && renderer->router()->pressTarget() == this) return nullptr;
    return startEditing();
}

CErrorPtr CEditBox::startEditing() {
    CWindowRenderer* renderer = windowRenderer();
    m_gesture.cancel();
    m_editing = true;
    if (getBool("is-select-all-on-focus", false)) m_buffer.selectAll();
    if (renderer) ZEL_TRY(renderer->startCaretBlink());
    changed();
    return m_focusedByWindow ? nullptr : m_keyboard.open(*this);
}

CErrorPtr CEditBox::onBlur(CObject*, CObject*) {
    m_gesture.cancel();
    // Losing the focus keeps what was typed.
    if (m_editing) ZEL_TRY(finish(false));
    return nullptr;
}

CErrorPtr CEditBox::finish(bool cancelled) {
    m_editing = false;
    m_selecting = false;
    if (cancelled) {
        m_buffer.setText(getAttr("title").utf8());
        readGesture();
    } else {
        setAttr("title", CString::fromUtf8(m_buffer.text()));
        m_buffer.moveCaret(m_buffer.length(), false);
    }
    m_scroll = 0;
    invalidateView();
    CObject result;
    result.setAttr("text", CString::fromUtf8(m_buffer.text()));
    result.setInt("paragraph-index", getInt("paragraph-index", 0));
    result.setBool("is-cancelled", cancelled);
    // The keyboard goes with the edit, however it ended.
    ZEL_TRY(m_keyboard.close(*this));
    ZEL_TRY(CNotifyServer::instance().notify(this, "editbox-text-changed", &result));
    if (!cancelled && m_buffer.length() == 0) ZEL_TRY(CNotifyServer::instance().notify(this, "editbox-empty-value"));
    return nullptr;
}

CErrorPtr CEditBox::paste() {
    CWindowSharedData* shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data"));
    if (!shared) return nullptr;
    platform::CClipboard* clipboard = nullptr;
    ZEL_TRY(shared->clipboard(clipboard));
    std::string text;
    if (!clipboard->paste(text, kPasteWaitMs)) return nullptr;
    bool refused = false;
    m_buffer.insert(text, refused);
    changed();
    return nullptr;
}

CErrorPtr CEditBox::onKey(CObject* params, CObject*) {
    if (!m_editing) return nullptr;
    uint32_t mods = 0;
    if (params->getBool("is-shift", false)) mods |= platform::kModShift;
    if (params->getBool("is-ctrl", false)) mods |= platform::kModCtrl;
    if (params->getBool("is-alt", false)) mods |= platform::kModAlt;
    const CEditKey key{uint32_t(params->getInt("keycode", 0)), mods, params->getAttr("text").utf8()};
    std::string copied;
    const EEditAction action = m_buffer.key(key, copied);
    return applyAction(action, copied);
}

CErrorPtr CEditBox::applyAction(EEditAction action, const std::string& copied) {
    switch (action) {
        case EEditAction::None:
        case EEditAction::Refused:
            return nullptr;
        case EEditAction::Changed:
        case EEditAction::Moved:
            changed();
            return nullptr;
        case EEditAction::Copy:
        case EEditAction::Cut: {
            CWindowSharedData* shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data"));
            platform::CClipboard* clipboard = nullptr;
            if (shared) ZEL_TRY(shared->clipboard(clipboard));
            if (clipboard) clipboard->copy(copied);
            changed();
            return nullptr;
        }
        case EEditAction::Paste:
            return paste();
        case EEditAction::Accept:
        case EEditAction::Cancel:
            return end(action == EEditAction::Cancel);
        case EEditAction::NextField:
        case EEditAction::PreviousField:
            // The window's router moves the focus with Tab before keys
            // reach views.
            return nullptr;
    }
    return nullptr;
}

CErrorPtr CEditBox::end(bool cancelled) {
    ZEL_TRY(finish(cancelled));
    // The focus goes with the edit; the blur finds it ended.
    CWindowRenderer* renderer = windowRenderer();
    if (renderer && renderer->router() && renderer->router()->focusView() == this)
        ZEL_TRY(renderer->router()->setFocus(nullptr));
    return nullptr;
}

CErrorPtr CEditBox::onVirtualKey(CObject* params, CObject*) {
    if (!m_editing || !params) return nullptr;
    const CString title = params->getAttr("title");
    if (title == CString("Cancel")) return end(true);
    // The keyboard's keys go the way typed keys go, limits and all.
    const bool erase = title == CString("Bkspace");
    const CEditKey key{erase ? kKeyBackSpace : 0u, 0u, erase ? std::string() : title.utf8()};
    std::string copied;
    const EEditAction action = m_buffer.key(key, copied);
    return applyAction(action, copied);
}

CErrorPtr CEditBox::onPress(CObject* params, CObject*) {
    if (!m_editing && m_byGesture) {
        if (m_gesture.press(platform::secondsSinceStart(), params->getBool("is-double-click", false)))
            ZEL_TRY(startEditing());
        return nullptr;
    }
    if (!m_editing) return nullptr;
    // A box that the window focused brings its keyboard at the first press.
    ZEL_TRY(m_keyboard.open(*this));
    m_buffer.moveCaret(positionAt(int(params->getInt("x", 0))), params->getBool("is-shift", false));
    if (params->getBool("is-double-click", false)) m_buffer.selectAll();
    m_selecting = true;
    changed();
    return nullptr;
}

CErrorPtr CEditBox::onMove(CObject* params, CObject*) {
    if (!m_editing || !m_selecting) return nullptr;
    // A drag from the press selects.
    m_buffer.moveCaret(positionAt(int(params->getInt("x", 0))), true);
    if (params->getAttr("event-name") == CString("mouse-release")) m_selecting = false;
    changed();
    return nullptr;
}

CErrorPtr CEditBox::onUpdateTick(CObject*, CObject*) {
    if (!m_gesture.isWaiting() || !m_gesture.tick(platform::secondsSinceStart())) return nullptr;
    // The wait ran out with the box still focused: the single click opens it.
    CWindowRenderer* renderer = windowRenderer();
    if (renderer && renderer->router() && renderer->router()->focusView() == this) ZEL_TRY(startEditing());
    return nullptr;
}

CErrorPtr CEditBox::onCursorTick(CObject*, CObject*) {
    if (m_editing && m_blink.tick()) invalidateView();
    return nullptr;
}

}  // namespace zel
