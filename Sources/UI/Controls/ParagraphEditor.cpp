// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ParagraphEditor.h"

#include <cmath>

#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/InputRouter.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "CParagraphEditor"

namespace zel {

namespace {

// What the temporary box takes over from the view it edits.
const char* const kPassedAttrs[] = {
    "font-name",   "accept-chars", "max-paragraph-length",        "is-accept-enter",
    "is-password", "tab-group",    "is-virtual-keyboard-allowed", "virtual-keyboard-tag"};

}  // namespace

void CParagraphEditor::readOptions() {
    m_editable = !m_view.getBool("is-read-only", true);
    CEditGesture::COptions gesture;
    gesture.onClick = m_view.getBool("is-editbox-on-click", false);
    gesture.onSingleClick = m_view.getBool("is-editbox-on-singleclick", false);
    gesture.onDoubleClick = m_view.getBool("is-editbox-on-dblclick", false);
    gesture.singleClickDelay = m_view.getReal("paragraph-click-edit-delay", 0.5);
    m_gesture.setOptions(gesture);
}

bool CParagraphEditor::isEditing() const { return m_box && !m_box->getBool("is-hidden", false); }

CErrorPtr CParagraphEditor::press(int at, bool doubleClick, double now, bool& taken) {
    const CEditGesture::COptions& o = m_gesture.options();
    taken = false;
    if (!m_editable || at < 0 || !(o.onClick || o.onSingleClick || o.onDoubleClick)) return nullptr;
    // The second press of a double click belongs to the paragraph of the first.
    if (!doubleClick || !m_gesture.isWaiting()) m_pending = at;
    m_pendingPress = windowPresses();
    if (!m_gesture.press(now, doubleClick)) return nullptr;
    taken = true;
    return open(m_pending);
}

CErrorPtr CParagraphEditor::tick(double now) {
    if (!m_gesture.isWaiting()) return nullptr;
    // A click on a button while the name waited to open is meant for that
    // button alone.
    if (windowPresses() != m_pendingPress) {
        m_gesture.cancel();
        return nullptr;
    }
    if (!m_gesture.tick(now)) return nullptr;
    return open(m_pending);
}

uint64_t CParagraphEditor::windowPresses() const {
    CWindowRenderer* renderer = m_view.windowRenderer();
    return renderer && renderer->router() ? renderer->router()->pressCount() : 0;
}

CErrorPtr CParagraphEditor::createBox() {
    ZEL_TRY(m_view.createChild("ui:editbox", "temp-editbox", m_box));
    m_box->setAttr("placement", "match");
    m_box->setAttr("placement-match", "^");
    m_box->setAttr("color", "HintPanel");
    m_box->setAttr("text-color", "HintPanelText");
    for (const char* attr : kPassedAttrs)
        if (m_view.hasAttr(attr)) m_box->setAttr(attr, m_view.getAttr(attr));
    if (!m_view.hasAttr("font-name")) m_box->setAttr("font-name", "shared::font.base");
    m_box->setAttr("inner-border", m_view.getAttr("inner-border"));
    CString align = m_view.getAttr("editbox-text-alignment");
    if (align.empty() || align == CString("inherit")) align = m_view.getAttr("text-alignment");
    m_box->setAttr("text-alignment", align);
    // Placed first: the box reads its font at the window's scale.
    m_view.relayoutWindow();
    ZEL_TRY(m_box->init());
    ZEL_TRY(m_view.listenObject(m_box, "editbox-text-changed", "temp-editbox-text-changed"));
    ZEL_TRY(m_view.listenObject(m_box, "editbox-empty-value", "temp-editbox-empty-value"));
    return nullptr;
}

CErrorPtr CParagraphEditor::open(int at) {
    m_gesture.cancel();
    if (at < 0 || at >= int(m_view.paragraphs().size()) || isEditing()) return nullptr;
    if (!m_box) ZEL_TRY(createBox());
    m_paragraph = at;
    m_box->setInt("paragraph-index", at);
    m_box->setText(m_view.paragraphText(at));
    m_box->setBool("is-select-all-on-focus", m_view.getBool("is-select-all-on-focus", false));
    // Over the paragraph alone, or the whole view. Placement attributes
    // are unscaled pixels.
    if (!m_view.getBool("is-editbox-full", true)) {
        const double scale = m_view.uiScale();
        m_box->setAttr("alignment-v", "top");
        m_box->setInt("offset-y", std::lround((m_view.paragraphTop(at) - m_view.area().top) / scale));
    }
    m_box->setBool("is-hidden", false);
    m_view.relayoutWindow();
    CWindowRenderer* renderer = m_view.windowRenderer();
    if (renderer && renderer->router()) ZEL_TRY(renderer->router()->setFocus(m_box));
    return nullptr;
}

void CParagraphEditor::closed() {
    if (!m_box) return;
    m_box->setBool("is-hidden", true);
    m_view.invalidateView();
}

}  // namespace zel
