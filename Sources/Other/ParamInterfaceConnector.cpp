// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/ParamInterfaceConnector.h"

#include <algorithm>

#include "Core/Notify.h"
#include "Other/ParamInterfaceBase.h"
#include "Other/ParamInterfaceClient.h"

#define ZEL_SOURCE_TAG "ParamInterfaceConnector"

namespace zel {

namespace {
constexpr int kMaxIdentity = 0xFFFF;
}  // namespace

// ---------------------------------------------------------------- base end

void CParamInterfaceBaseConnector::attachBase(CParamInterfaceBase* base) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_base = base;
}

CErrorPtr CParamInterfaceBaseConnector::processClientData(int client, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_base)
        return ZEL_ERROR("@zelstr_CParamInterfaceBaseConnector_processClientData_NoBase No base object defined.");
    ZEL_TRY(m_base->processClientMessage(client, data, size));
    return nullptr;
}

void CParamInterfaceBaseConnector::clientConnected(int client) {
    CErrorPtr err;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_base) err = m_base->clientConnected(client);
    }
    if (err) CSystem::showError(*err);
}

void CParamInterfaceBaseConnector::clientDisconnected(int client) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_base) m_base->clientDisconnected(client);
}

CParamInterfaceBaseConnectorUni::~CParamInterfaceBaseConnectorUni() {
    std::lock_guard<std::mutex> lock(m_clientsLock);
    for (auto& [id, client] : m_clients) client->baseReleased();
}

int CParamInterfaceBaseConnectorUni::connect(CParamInterfaceClientConnectorUni& client) {
    int identity;
    {
        std::lock_guard<std::mutex> lock(m_clientsLock);
        auto inUse = [this](int id) {
            return std::any_of(m_clients.begin(), m_clients.end(), [id](const auto& c) { return c.first == id; });
        };
        identity = m_lastIdentity;
        do {
            identity = identity % kMaxIdentity + 1;
        } while (inUse(identity));
        m_lastIdentity = identity;
        m_clients.emplace_back(identity, &client);
    }
    clientConnected(identity);
    return identity;
}

void CParamInterfaceBaseConnectorUni::disconnect(CParamInterfaceClientConnectorUni& client) {
    int identity = 0;
    {
        std::lock_guard<std::mutex> lock(m_clientsLock);
        auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](const auto& c) { return c.second == &client; });
        if (it == m_clients.end()) return;
        identity = it->first;
        m_clients.erase(it);
    }
    clientDisconnected(identity);
}

CErrorPtr CParamInterfaceBaseConnectorUni::sendToClient(int client, std::vector<uint8_t> block) {
    std::lock_guard<std::mutex> lock(m_clientsLock);
    std::vector<CParamInterfaceClientConnectorUni*> targets;
    for (const auto& [id, connector] : m_clients)
        if (client == kAllClients || id == client) targets.push_back(connector);
    CErrorPtr first;
    for (size_t i = 0; i < targets.size(); ++i) {
        CErrorPtr err = i + 1 < targets.size() ? targets[i]->receive(block) : targets[i]->receive(std::move(block));
        if (err && !first) first = ZEL_PASS(err);
    }
    return first;
}

// ---------------------------------------------------------------- client end

void CParamInterfaceClientConnector::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("process-base-data-proxy", &CParamInterfaceClientConnector::onProcessBaseDataProxy);
    info.onEvent("process-base-data", &CParamInterfaceClientConnector::onProcessBaseData);
}

CParamInterfaceClientConnector::~CParamInterfaceClientConnector() {
    if (m_client) m_client->connectorReleased();
}

CErrorPtr CParamInterfaceClientConnector::init() {
    ZEL_TRY(CObject::init());
    ZEL_TRY(listenObject(this, "process-base-data-proxy", "process-base-data"));
    return nullptr;
}

void CParamInterfaceClientConnector::attachClient(CParamInterfaceClient* client) { m_client = client; }

void CParamInterfaceClientConnector::connected() {
    if (!m_client) return;
    // Whoever connects has no use for the client's problem: it is shown.
    if (CErrorPtr err = m_client->connectorConnected()) CSystem::showError(*err);
}

CErrorPtr CParamInterfaceClientConnector::receive(std::vector<uint8_t> block) {
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        m_pending.push_back(std::move(block));
    }
    // One post per block: a post that finds the list already emptied by an
    // earlier one does nothing, and no block waits for a post that failed.
    ZEL_TRY(CSystem::sendEvent(this, "process-base-data-proxy"));
    return nullptr;
}

CErrorPtr CParamInterfaceClientConnector::onProcessBaseDataProxy(CObject*, CObject*) {
    ZEL_TRY(CNotifyServer::instance().notify(this, "process-base-data-proxy"));
    return nullptr;
}

CErrorPtr CParamInterfaceClientConnector::onProcessBaseData(CObject*, CObject*) {
    ZEL_TRY(deliverPending());
    return nullptr;
}

CErrorPtr CParamInterfaceClientConnector::deliverPending() {
    std::vector<std::vector<uint8_t>> blocks;
    {
        std::lock_guard<std::mutex> lock(m_pendingLock);
        blocks.swap(m_pending);
    }
    if (blocks.empty()) return nullptr;
    if (!m_client)
        return ZEL_ERROR("@zelstr_CParamInterfaceClientConnector_processBaseData_NoClient No client object defined.");
    CErrorPtr first;
    for (const auto& block : blocks)
        if (CErrorPtr err = m_client->processBaseData(block.data(), block.size()); err && !first) first = ZEL_PASS(err);
    return first;
}

CParamInterfaceClientConnectorUni::~CParamInterfaceClientConnectorUni() { disconnect(); }

CErrorPtr CParamInterfaceClientConnectorUni::init() {
    ZEL_TRY(CParamInterfaceClientConnector::init());
    if (!getAttr("base-connector").empty()) {
        CParamInterfaceBaseConnectorUni* base = nullptr;
        ZEL_TRY(findObjectByAttr("base-connector", base));
        connect(*base);
    }
    return nullptr;
}

void CParamInterfaceClientConnectorUni::connect(CParamInterfaceBaseConnectorUni& base) {
    disconnect();
    // The base end's lock is never taken inside the link lock: the base end
    // takes the link lock as it goes.
    const int identity = base.connect(*this);
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        m_base = &base;
        m_identity = identity;
    }
    connected();
}

void CParamInterfaceClientConnectorUni::disconnect() {
    CParamInterfaceBaseConnectorUni* base;
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        base = m_base;
        m_base = nullptr;
        m_identity = 0;
    }
    if (base) base->disconnect(*this);
}

void CParamInterfaceClientConnectorUni::baseReleased() {
    std::lock_guard<std::mutex> lock(m_linkLock);
    m_base = nullptr;
    m_identity = 0;
}

int CParamInterfaceClientConnectorUni::identity() const {
    std::lock_guard<std::mutex> lock(m_linkLock);
    return m_identity;
}

CErrorPtr CParamInterfaceClientConnectorUni::sendToBase(const std::vector<uint8_t>& block) {
    CParamInterfaceBaseConnectorUni* base;
    int identity;
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        base = m_base;
        identity = m_identity;
    }
    if (!base) return ZEL_ERROR("@zelstr_CParamInterfaceClientConnectorUni_sendToBase_NoBase No base object defined.");
    ZEL_TRY(base->processClientData(identity, block.data(), block.size()));
    return nullptr;
}

}  // namespace zel
