// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CParamInterfaceBase;
class CParamInterfaceClient;

// The audio side's end of the editor bridge. Client messages run on the
// base one at a time, on the sender's thread; what the base sends leaves
// through the subclass's transport.
class CParamInterfaceBaseConnector : public CObject {
public:
    static constexpr int kAllClients = -1;

    // The base attaches itself at init and detaches (null) as it goes.
    void attachBase(CParamInterfaceBase* base);
    // One client message, under the connector's lock; handler errors come
    // back to the sender.
    CErrorPtr processClientData(int client, const uint8_t* data, size_t size);
    // Hands a message block to one client, or to every client.
    virtual CErrorPtr sendToClient(int client, std::vector<uint8_t> block) = 0;

protected:
    // Subclasses report connections outside their own locks: the base
    // answers a new client at once.
    void clientConnected(int client);
    void clientDisconnected(int client);

private:
    std::mutex m_lock;
    CParamInterfaceBase* m_base = nullptr;
};

// The editor side's end. Blocks from the base may arrive on any thread;
// they are queued and handed to the client, in arrival order, on the thread
// that runs the client's run loop ("process-base-data-proxy" is posted
// there and notifies "process-base-data").
class CParamInterfaceClientConnector : public CObject {
public:
    static void setupClass(CClassInfo& info);

    ~CParamInterfaceClientConnector() override;
    CErrorPtr init() override;

    // Client thread; the client detaches itself (null) as it goes.
    void attachClient(CParamInterfaceClient* client);
    // The identity the base knows this end by; 0 while not connected.
    virtual int identity() const = 0;
    virtual CErrorPtr sendToBase(const std::vector<uint8_t>& block) = 0;
    // Base to client, on any thread.
    virtual CErrorPtr receive(std::vector<uint8_t> block);
    // Client thread: hands what arrived to the client now rather than on a
    // later turn of the loop (an editor frame takes in its answers).
    CErrorPtr deliverPending();

protected:
    // Subclasses call it on the client's thread once a connection is made,
    // outside their locks: the attached client listens again.
    void connected();

private:
    CErrorPtr onProcessBaseDataProxy(CObject* params, CObject* sender);
    CErrorPtr onProcessBaseData(CObject* params, CObject* sender);

    std::mutex m_pendingLock;
    std::vector<std::vector<uint8_t>> m_pending;
    CParamInterfaceClient* m_client = nullptr;
};

class CParamInterfaceClientConnectorUni;

// `other:param-interface-base-connector-uni`: the in-process base end;
// client ends in the same process connect to it directly.
class CParamInterfaceBaseConnectorUni final : public CParamInterfaceBaseConnector {
public:
    ~CParamInterfaceBaseConnectorUni() override;

    // Each target gets its own copy; the last one gets the block itself.
    CErrorPtr sendToClient(int client, std::vector<uint8_t> block) override;

private:
    friend class CParamInterfaceClientConnectorUni;
    // Returns the new client's identity, 1 to 65535.
    int connect(CParamInterfaceClientConnectorUni& client);
    void disconnect(CParamInterfaceClientConnectorUni& client);

    std::mutex m_clientsLock;
    std::vector<std::pair<int, CParamInterfaceClientConnectorUni*>> m_clients;
    int m_lastIdentity = 0;
};

// `other:param-interface-client-connector-uni`: the in-process client end.
// `base-connector`, when set, names the base end it connects to at init;
// a host layer that knows the base end connects it itself.
class CParamInterfaceClientConnectorUni : public CParamInterfaceClientConnector {
public:
    ~CParamInterfaceClientConnectorUni() override;
    CErrorPtr init() override;

    void connect(CParamInterfaceBaseConnectorUni& base);
    void disconnect();
    int identity() const override;
    // Fails with "No base object defined." while not connected.
    CErrorPtr sendToBase(const std::vector<uint8_t>& block) override;

private:
    friend class CParamInterfaceBaseConnectorUni;
    void baseReleased();

    mutable std::mutex m_linkLock;
    CParamInterfaceBaseConnectorUni* m_base = nullptr;
    int m_identity = 0;
};

}  // namespace zel
