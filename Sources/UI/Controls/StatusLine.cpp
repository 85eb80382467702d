// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/StatusLine.h"

#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "StatusLine"

namespace zel {

void CStatusLine::setupClass(CClassInfo& info) {
    CTextView::setupClass(info);
    info.onEvent("hover-view-changed", &CStatusLine::onHoverChanged);
    info.onEvent("status-tick", &CStatusLine::onHoverChanged);
    info.onAttr("is-show-hints", &CStatusLine::onShowHints);
}

CErrorPtr CStatusLine::init() {
    if (!hasAttr("is-text-wrapped")) setBool("is-text-wrapped", false);
    if (!hasAttr("text-alignment-v")) setAttr("text-alignment-v", "center");
    ZEL_TRY(CTextView::init());
    m_shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data"));
    if (m_shared) ZEL_TRY(listenObject(m_shared, "hover-view-changed", "hover-view-changed"));
    // Hints that change while their view is hovered (a list of channels) show each frame.
    if (CWindowRenderer* renderer = windowRenderer()) ZEL_TRY(listenObject(renderer, "tick", "status-tick"));
    update();
    return nullptr;
}

CString CStatusLine::hintOf(const CView* view) {
    for (const CObject* o = view; o; o = o->parent()) {
        const auto* v = dynamic_cast<const CView*>(o);
        if (!v) break;
        if (!v->getAttr("hint").empty()) return v->getAttr("hint");
    }
    return {};
}

CErrorPtr CStatusLine::onHoverChanged(CObject*, CObject*) {
    update();
    return nullptr;
}

CErrorPtr CStatusLine::onShowHints() {
    update();
    return nullptr;
}

void CStatusLine::update() {
    const bool show = getBool("is-show-hints", true) && m_shared;
    const CString hint = show ? hintOf(m_shared->hoverView()) : CString();
    if (hint != getAttr("title")) setAttr("title", hint);
}

}  // namespace zel
