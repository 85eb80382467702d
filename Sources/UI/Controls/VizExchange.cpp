// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/VizExchange.h"

#include <algorithm>

#include "Other/AudioInterfaceClient.h"
#include "Other/ParamInterfaceConnector.h"
#include "Platform/Clock.h"
#include "UI/UpdateTimer.h"

#define ZEL_SOURCE_TAG "VizExchange"

namespace zel {

void CVizExchange::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CVizExchange::onTick);
}

CErrorPtr CVizExchange::init() {
    ZEL_TRY(CObject::init());
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "^interface-client"));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    if (!m_client->getAttr("client-connector").empty())
        ZEL_TRY(m_client->findObjectByAttr("client-connector", m_connector));
    if (!m_timer) {
        const CString tag = getAttr("timer-tag").empty() ? CString("ui:update-timer") : getAttr("timer-tag");
        ZEL_TRY(createChild(tag, "update-timer", m_timer));
        // Ahead of the parameter link, which takes the answers in as well.
        ZEL_TRY(m_timer->setAttr("order-asc", "-2"));
        ZEL_TRY(m_timer->setAttrExpanded("fps", "{*/^ fps?40}"));
        ZEL_TRY(m_timer->init());
    }
    return nullptr;
}

CErrorPtr CVizExchange::touch() {
    m_touchedSeconds = platform::secondsSinceStart();
    if (m_listening) return nullptr;
    ZEL_TRY(m_client->listenViz());
    m_listening = true;
    ZEL_TRY(m_timer->start());
    return nullptr;
}

CErrorPtr CVizExchange::stop() {
    m_timer->stop();
    if (!m_listening) return nullptr;
    m_listening = false;
    ZEL_TRY(m_client->unlistenViz());
    return nullptr;
}

CErrorPtr CVizExchange::refresh(double now, double maxAge) {
    if (m_fetchedSeconds >= 0 && now >= m_fetchedSeconds && now - m_fetchedSeconds <= maxAge) return nullptr;
    ZEL_TRY(fetch());
    m_fetchedSeconds = now;
    return nullptr;
}

CErrorPtr CVizExchange::fetch() {
    m_fetchedSeconds = platform::secondsSinceStart();
    ZEL_TRY(m_client->requestVizData());
    // This frame's views see the answer, whatever order the timers tick in.
    if (m_connector) ZEL_TRY(m_connector->deliverPending());
    return nullptr;
}

CErrorPtr CVizExchange::onTick(CObject*, CObject* sender) {
    if (sender != m_timer) return nullptr;
    if (platform::secondsSinceStart() - m_touchedSeconds > getReal("inactive-timeout", 0.6)) {
        ZEL_TRY(stop());
        return nullptr;
    }
    // A listener that fetched for its frame a moment ago has what this
    // tick would ask for.
    ZEL_TRY(refresh(platform::secondsSinceStart(), 0.5 / std::max(1.0, getReal("fps", 40.0))));
    return nullptr;
}

const bridge::CVizData::CStream* CVizExchange::stream(const CString& path) const {
    for (const auto& s : m_client->vizData())
        if (s.path == path) return &s;
    return nullptr;
}

}  // namespace zel
