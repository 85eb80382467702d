// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Audio/ParamUndo.h"
#include "Core/Object.h"
#include "Other/BridgeMessages.h"

namespace zel {

class CAudioParam;
class CAudioParamCollector;
class CAudioParamRegistry;
class CParamInterfaceBaseConnector;

// Hears when the clients' gestures start and stop changing parameters: the
// first outermost gesture of a client begins, and its end (submitted,
// abandoned after its changes were taken back, or left open by a client that
// goes). Called on the thread of the client's messages.
class CParamGestureListener {
public:
    virtual ~CParamGestureListener() = default;
    virtual void gestureBegan() = 0;
    virtual void gestureEnded() = 0;
};

// The audio side of the editor bridge: runs the messages of any number of
// clients against the instance's parameters, registries and undo history,
// and tells each client about the changes of what it listens to, whoever
// made them. Attributes: `base-connector`, `param-collector`,
// `undo-count-max`.
//
// Locks: client messages run under the connector's lock and then the base's
// lock, which they hold while they take registry locks. What goes out to
// clients needs only the listening lock, which is taken last (inside
// registry locks when a preset operation changes the undo history), so that
// changes made outside the bridge can be reported from any thread.
class CParamInterfaceBase : public CObject, public CAudioParamUndoOwner {
public:
    ~CParamInterfaceBase() override;
    CErrorPtr init() override;

    CAudioParamUndo& undo() override { return *m_undo; }
    void setGestureListener(CParamGestureListener* listener) { m_gestureListener = listener; }

    // ---- the connector's side
    CErrorPtr processClientMessage(int client, const uint8_t* data, size_t size);
    // A new client is told to drop what it may have received before.
    CErrorPtr clientConnected(int client);
    // The gestures the client left open are submitted: their changes stay.
    void clientDisconnected(int client);

    // Sends "update-param" and "update-registry" to one client, or to every
    // client, for what changed since it was last told: parameters whose
    // version moved on (whoever changed them, the host's automation
    // included) and those the client changed itself, registries whose
    // state differs. Each client asks for this
    // once per editor frame ("request-updates"); nothing else sends values.
    CErrorPtr refresh(int client = -1);

protected:
    // Looks `name` up in this class's table; subclasses look in theirs
    // first and then ask here.
    virtual CErrorPtr dispatchClientMessage(const CString& name, CPosInputStream& fields);
    // Under the base's lock, as a client goes.
    virtual void forgetClient(int client);

    CAudioParamCollector& collector() const { return *m_collector; }
    // The client whose message is being processed.
    int currentClient() const { return m_currentClient; }
    CErrorPtr send(int client, const char* name, const bridge::CFields& fields);
    CErrorPtr send(int client, const char* name);

private:
    struct CListenedParam {
        CAudioParam* param = nullptr;
        uint64_t version = 0;                    // of the value last sent; 0: none yet
        std::vector<std::vector<uint8_t>> sent;  // per group, the slice last sent
        std::vector<size_t> sentCounts;          // per group, the most elements sent
    };
    struct CListenedRegistry {
        CAudioParamRegistry* registry = nullptr;
        std::vector<uint8_t> sent;  // the "update-registry" block last sent
    };
    struct CClient {
        std::map<uint32_t, CListenedParam> params;
        std::map<uint32_t, CListenedRegistry> registries;
    };

    static const bridge::CDispatchTable<CParamInterfaceBase>& handlers();

    CErrorPtr onCreateUndoData(CPosInputStream& fields);
    CErrorPtr onRemoveUndoData(CPosInputStream& fields);
    CErrorPtr onSubmitUndoData(CPosInputStream& fields);
    CErrorPtr onRequestUndoHistory(CPosInputStream& fields);
    CErrorPtr onSetUndoHistoryPos(CPosInputStream& fields);
    CErrorPtr onListenParam(CPosInputStream& fields);
    CErrorPtr onUnlistenParam(CPosInputStream& fields);
    CErrorPtr onChangeParam(CPosInputStream& fields);
    CErrorPtr onResetParam(CPosInputStream& fields);
    CErrorPtr onListenRegistry(CPosInputStream& fields);
    CErrorPtr onUnlistenRegistry(CPosInputStream& fields);
    CErrorPtr onSetCurrentProgram(CPosInputStream& fields);
    CErrorPtr onRenamePreset(CPosInputStream& fields);
    CErrorPtr onActivateFactoryPreset(CPosInputStream& fields);
    CErrorPtr onActivatePreset(CPosInputStream& fields);
    CErrorPtr onRequestPreset(CPosInputStream& fields);
    CErrorPtr onRequestBank(CPosInputStream& fields);
    CErrorPtr onSetDefaultPreset(CPosInputStream& fields);
    CErrorPtr onActivateDefaultPreset(CPosInputStream& fields);
    CErrorPtr onExchangeShadowPreset(CPosInputStream& fields);
    CErrorPtr onUpdateShadowPreset(CPosInputStream& fields);
    CErrorPtr onRequestUpdates(CPosInputStream& fields);

    CErrorPtr deliver(int client, std::vector<uint8_t> block);
    void historyChanged();
    CErrorPtr sendUndoHistory(int client);
    CErrorPtr checkHandle(uint32_t handle) const;
    CErrorPtr findParam(uint32_t handle, CAudioParam*& out);
    CErrorPtr findRegistry(uint32_t handle, CAudioParamRegistry*& out);
    CErrorPtr registryNamed(const CString& name, CAudioParamRegistry*& out);
    // A finished step goes into the client's innermost open gesture, or is
    // an entry of its own when it carries an undo id.
    void record(CAudioParamUndoRecord step, uint32_t undoId);
    // An outermost gesture becomes one history entry.
    void pushGesture(CAudioParamUndoRecord gesture);
    CErrorPtr sendParamChanges(uint32_t handle, CListenedParam& listened);
    // The client that changes a value may show what it asked for before
    // the instance answers (a typed name, a colour): whatever the value
    // ends as by its next frame (the same again after an undo, a refusal)
    // goes to it then. `group` -1: every group.
    void confirmToSender(const CAudioParam& param, int group);
    CErrorPtr sendRegistryChanges(uint32_t handle, CListenedRegistry& listened);

    CParamInterfaceBaseConnector* m_connector = nullptr;
    CAudioParamCollector* m_collector = nullptr;
    std::unique_ptr<CAudioParamUndo> m_undo;
    CParamGestureListener* m_gestureListener = nullptr;

    // Held while a client message is processed.
    std::mutex m_lock;
    int m_currentClient = 0;
    // Per client its open gestures, outermost first, each its steps so far
    // as one record. Gestures nest (linked controls): an inner submit joins
    // the outer gesture, a remove cancels the inner one alone.
    std::map<int, std::vector<CAudioParamUndoRecord>> m_gestures;
    std::map<CString, CAudioParamRegistry*> m_registries;

    std::mutex m_listenLock;
    std::map<int, CClient> m_clients;
};

}  // namespace zel
