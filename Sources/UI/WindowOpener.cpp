// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/WindowOpener.h"

#include <algorithm>
#include <cmath>

#include "Platform/Clock.h"
#include "UI/InputRouter.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "WindowOpener"

namespace zel {

namespace {

bool isWithin(const CObject* object, const CObject* ancestor) {
    for (; object; object = object->parent())
        if (object == ancestor) return true;
    return false;
}

}  // namespace

void CWindowOpener::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CWindowOpener::onTick);
    info.onEvent("popup-pre-close", &CWindowOpener::onPopupPreClose);
    info.onEvent("popup-closed", &CWindowOpener::onPopupClosed);
}

CErrorPtr CWindowOpener::init() {
    ZEL_TRY(CObject::init());
    m_timer = dynamic_cast<CIntervalTimer*>(findChild("interval-timer"));
    return nullptr;
}

CErrorPtr CWindowOpener::timer(CIntervalTimer*& out) {
    if (!m_timer) {
        const CString tag =
            hasAttr("interval-timer-tag") ? getAttr("interval-timer-tag") : CString("ui:interval-timer");
        CIntervalTimer* created = nullptr;
        ZEL_TRY(createChild(tag, "interval-timer", created));
        const double seconds = getReal("update-interval", 0.2);
        created->setReal("interval", seconds);
        // Driven at its own pace, not at the frame rate.
        CUpdateTimer* driver = nullptr;
        ZEL_TRY(created->createChild("ui:update-timer", "update-timer", driver));
        driver->setInt("interval", std::max(1L, std::lround(seconds * 1000.0)));
        ZEL_TRY(created->init());
        m_timer = created;
    }
    out = m_timer;
    return nullptr;
}

bool CWindowOpener::isTimerRunning() const {
    return m_timer && m_timer->updateTimer() && m_timer->updateTimer()->isRunning();
}

CWinDrag* CWindowOpener::findPopup(const CString& name) const {
    for (const CPopup& p : m_popups)
        if (!p.closed && p.closingSince < 0 && p.root->name() == name) return p.root;
    return nullptr;
}

CErrorPtr CWindowOpener::tellOpener(CView* opener, const char* event, CWinDrag& popup, bool open) {
    if (!opener) return nullptr;
    CObject params;
    params.setAttr("popup", popup.fullName());
    params.setBool("is-open", open);
    ZEL_TRY(CInputRouter::sendToView(*opener, event, &params, &popup));
    return nullptr;
}

CErrorPtr CWindowOpener::openPopup(const CString& tag, const CString& name, CView& opener, CWinDrag*& out,
                                   const std::function<void(CWinDrag&)>& prepare) {
    out = nullptr;
    const CString popupName = name.empty() ? tag : name;
    for (CPopup& p : m_popups)
        if (!p.closed && p.closingSince < 0 && p.root->name() == popupName) {
            if (p.renderer->window()) p.renderer->window()->show(true);
            ZEL_TRY(tellOpener(&opener, "popup-changed", *p.root, true));
            out = p.root;
            return nullptr;
        }
    CObject* ui = findObject("ui");
    if (!ui) return ZEL_ERROR("@zelstr_CWindowRenderer_init_EventBridge Unable to locate a suitable event bridge.");
    CObject* created = nullptr;
    ZEL_TRY(ui->createChild(tag, popupName, created));
    auto* root = dynamic_cast<CWinDrag*>(created);
    auto* renderer = root ? dynamic_cast<CWindowRenderer*>(root->findChild("window-renderer")) : nullptr;
    if (!renderer) {
        ui->removeChild(created);
        return ZEL_ERROR("@zelstr_CWindowRenderer_init_RootView Unable to find root view.");
    }
    renderer->setBool("is-popup-window", true);
    renderer->setAttr("opener", opener.fullName());
    renderer->setOpener(&opener);
    if (prepare) prepare(*root);
    if (CErrorPtr err = root->init()) {
        ui->removeChild(created);
        return ZEL_PASS(err);
    }
    ZEL_TRY(listenObject(renderer, "pre-close-window", "popup-pre-close"));
    ZEL_TRY(listenObject(renderer, "close-window", "popup-closed"));
    m_popups.push_back(CPopup{root, renderer, &opener, -1.0, false});
    CIntervalTimer* t = nullptr;
    ZEL_TRY(timer(t));
    if (!isTimerRunning()) ZEL_TRY(t->start());
    ZEL_TRY(tellOpener(&opener, "popup-created", *root, true));
    out = root;
    return nullptr;
}

CErrorPtr CWindowOpener::togglePopup(const CString& tag, const CString& name, CView& opener) {
    if (CWinDrag* open = findPopup(name.empty() ? tag : name)) {
        auto* renderer = dynamic_cast<CWindowRenderer*>(open->findChild("window-renderer"));
        if (renderer) ZEL_TRY(renderer->closeWindow());
        return nullptr;
    }
    CWinDrag* out = nullptr;
    ZEL_TRY(openPopup(tag, name, opener, out));
    return nullptr;
}

CErrorPtr CWindowOpener::onPopupPreClose(CObject*, CObject* sender) {
    for (CPopup& p : m_popups)
        if (p.renderer == sender && p.closingSince < 0) p.closingSince = platform::secondsSinceStart();
    return nullptr;
}

CErrorPtr CWindowOpener::onPopupClosed(CObject*, CObject* sender) {
    for (CPopup& p : m_popups)
        if (p.renderer == sender) p.closed = true;
    return nullptr;
}

CErrorPtr CWindowOpener::release(size_t index) {
    const CPopup popup = m_popups[index];
    m_popups.erase(m_popups.begin() + long(index));
    // Popups opened from the one that goes lose their opener.
    for (CPopup& p : m_popups)
        if (isWithin(p.opener, popup.root)) p.opener = nullptr;
    CErrorPtr err = tellOpener(popup.opener, "popup-changed", *popup.root, false);
    popup.renderer->destroyWindow();
    if (CObject* owner = popup.root->parent()) owner->removeChild(popup.root);
    return err;
}

CErrorPtr CWindowOpener::onTick(CObject*, CObject*) {
    const double now = platform::secondsSinceStart();
    const double patience = getReal("wait-timeout", 5.0);
    CErrorPtr first;
    for (size_t i = 0; i < m_popups.size();) {
        CPopup& p = m_popups[i];
        const bool overdue = p.closingSince >= 0 && now - p.closingSince >= patience;
        if (p.closed || overdue) {
            if (CErrorPtr err = release(i); err && !first) first = std::move(err);
            continue;
        }
        ++i;
    }
    if (m_popups.empty() && m_timer) m_timer->stop();
    return first;
}

}  // namespace zel
