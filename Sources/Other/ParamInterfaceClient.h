// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "Audio/ParamStorage.h"
#include "Core/Notify.h"
#include "Core/Object.h"
#include "Core/Timer.h"
#include "Other/BridgeMessages.h"

namespace zel {

class CParamInterfaceClientConnector;

// The editor side of the bridge: the views' only way to the instance's
// parameters, registries and undo history. Everything runs on the editor's
// thread; what the base sends arrives there through the connector
// (`client-connector`). The client raises "undo-history-changed" and
// "clear-client" through the notification server.
//
// Values arrive once per editor frame: `fps` (40 when absent) runs the
// client's frame clock, which asks the base for what changed since the
// last frame; 0 stops it for an owner that calls frame() itself.
class CParamInterfaceClient : public CObject {
public:
    static constexpr double kDefaultFps = 40.0;
    // A listened parameter: its information and a copy of its value, kept
    // current by the base. Its listeners hear "update-param-info" and
    // "update-param" (the slice that changed is lastSlice()).
    class CParam final : public CUpdateNotifier {
    public:
        uint32_t handle() const { return m_handle; }
        const CString& name() const { return m_name; }
        bool hasInfo() const { return m_value != nullptr; }
        // Valid once hasInfo().
        const CAudioParamInfo& info() const { return *m_info; }
        const CAudioParamStorage& value() const { return *m_value; }
        const CAudioParamStorage::CSlice& lastSlice() const { return m_lastSlice; }

    private:
        friend class CParamInterfaceClient;
        uint32_t m_handle = 0;
        CString m_name;
        int m_users = 0;
        std::unique_ptr<CAudioParamInfo> m_info;
        std::unique_ptr<CAudioParamStorage> m_value;
        CAudioParamStorage::CSlice m_lastSlice;
    };

    // A listened registry: its program list, and the last preset or bank
    // record it answered with. Listeners hear "update-registry" and
    // "registry-data".
    class CRegistry final : public CUpdateNotifier {
    public:
        uint32_t handle() const { return m_handle; }
        const CString& name() const { return m_name; }
        const CString& id() const { return m_state.id; }
        int currentProgram() const { return m_state.currentProgram; }
        const std::vector<CString>& programs() const { return m_state.programs; }
        uint32_t dataKind() const { return m_data.kind; }
        const std::vector<uint8_t>& data() const { return m_data.record; }

    private:
        friend class CParamInterfaceClient;
        uint32_t m_handle = 0;
        CString m_name;
        int m_users = 0;
        bridge::CRegistryState m_state;
        bridge::CRegistryData m_data;
    };

    static void setupClass(CClassInfo& info);

    ~CParamInterfaceClient() override;
    CErrorPtr init() override;

    // The connector goes first: nothing is sent or received any more.
    void connectorReleased() { m_connector = nullptr; }
    // The connector has a (new) connection: the base knows nothing of this
    // client, so everything it listens to is listened to again under the
    // new identity, and its information comes anew.
    virtual CErrorPtr connectorConnected();
    // One block from the base.
    CErrorPtr processBaseData(const uint8_t* data, size_t size);
    // Asks for the changes since the last frame; nothing while not
    // connected.
    CErrorPtr frame();

    // ---- parameters, by instance full name ("plugin.modMain.bypass-enable");
    // listening is counted, so views of one parameter share an entry.
    CErrorPtr listenParam(const CString& fullName, CParam*& out);
    CErrorPtr unlistenParam(CParam& param);
    // A change outside a gesture is an undo entry of its own unless its
    // undo id is bridge::kNoUndo; entries of one undo id merge.
    CErrorPtr changeParam(CParam& param, size_t group, size_t first, const std::vector<double>& components,
                          uint32_t undoId = bridge::kNoUndo);
    CErrorPtr changeParamText(CParam& param, size_t group, size_t element, const CString& text,
                              uint32_t undoId = bridge::kNoUndo);
    CErrorPtr changeParamBytes(CParam& param, size_t group, size_t element, std::vector<uint8_t> bytes,
                               uint32_t undoId = bridge::kNoUndo);
    CErrorPtr resetParam(CParam& param, uint32_t undoId = bridge::kNoUndo);

    // ---- a gesture left open after its changes until a pause ends it (a
    // burst of wheel turns). Whatever else the editor begins or changes
    // ends it first, so that the gesture holds its own changes only.
    class ILingeringGesture {
    public:
        virtual ~ILingeringGesture() = default;
        virtual CErrorPtr endLingering() = 0;
    };
    void setLingering(ILingeringGesture* gesture) { m_lingering = gesture; }
    void forgetLingering(const ILingeringGesture& gesture) {
        if (m_lingering == &gesture) m_lingering = nullptr;
    }
    CErrorPtr endLingering();

    // ---- undo: a gesture's changes become one entry
    CErrorPtr beginUndo(const CString& name = CString(), uint32_t mergeId = 0);
    CErrorPtr submitUndo();
    CErrorPtr removeUndo();
    CErrorPtr requestUndoHistory();
    CErrorPtr setUndoHistoryPos(size_t position);
    // "Undo history start" first; empty until the base sent a history.
    const std::vector<CString>& undoHistory() const { return m_undoHistory; }
    size_t undoPosition() const { return m_undoPosition; }

    // ---- registries, by object name ("param-registry")
    CErrorPtr listenRegistry(const CString& name, CRegistry*& out);
    CErrorPtr unlistenRegistry(CRegistry& registry);
    CErrorPtr setCurrentProgram(CRegistry& registry, int index);
    CErrorPtr renamePreset(CRegistry& registry, const CString& displayName);
    CErrorPtr activateFactoryPreset(CRegistry& registry, int index);
    CErrorPtr activatePreset(CRegistry& registry, const std::vector<uint8_t>& record, int group = -1);
    // Answered with "registry-data".
    CErrorPtr requestPreset(CRegistry& registry, bool fromRom, int index);
    CErrorPtr requestBank(CRegistry& registry);
    CErrorPtr setDefaultPreset(CRegistry& registry, const std::vector<uint8_t>& record);
    CErrorPtr activateDefaultPreset(CRegistry& registry);
    CErrorPtr exchangeShadowPreset(CRegistry& registry);
    CErrorPtr updateShadowPreset(CRegistry& registry);

protected:
    // Looks `name` up in this class's table; subclasses look in theirs
    // first and then ask here.
    virtual CErrorPtr dispatchBaseMessage(const CString& name, CPosInputStream& fields);
    // "clear-client": forgets everything received; listening goes on.
    virtual void clearReceived();

    CErrorPtr send(const char* name, const bridge::CFields& fields);
    CErrorPtr send(const char* name);
    // Tells the client's own listeners (notification server).
    CErrorPtr raise(const char* event);

private:
    static const bridge::CDispatchTable<CParamInterfaceClient>& handlers();

    CErrorPtr onUpdateUndoHistory(CPosInputStream& fields);
    CErrorPtr onUpdateParamInfo(CPosInputStream& fields);
    CErrorPtr onUpdateParam(CPosInputStream& fields);
    CErrorPtr onUpdateRegistry(CPosInputStream& fields);
    CErrorPtr onRegistryData(CPosInputStream& fields);
    CErrorPtr onClearClient(CPosInputStream& fields);

    // The client's identity in the high 16 bits, an unused number below.
    CErrorPtr newHandle(uint32_t& out);
    // Shared by parameters and registries: one entry per name, counted by
    // its users; the first user tells the base, the last one lets go.
    template <class T>
    CErrorPtr listen(std::map<uint32_t, std::unique_ptr<T>>& entries, const CString& name, const char* message,
                     T*& out);
    template <class T>
    CErrorPtr unlisten(std::map<uint32_t, std::unique_ptr<T>>& entries, T& entry, const char* message);
    // Every entry under a new handle, told to the base again.
    template <class T>
    CErrorPtr relisten(std::map<uint32_t, std::unique_ptr<T>>& entries, const char* message);
    CErrorPtr onFps();
    CErrorPtr startFrameClock();
    static CErrorPtr requireInfo(const CParam& param);
    CErrorPtr sendSlice(const CParam& param, const CAudioParamStorage& scratch, const CAudioParamStorage::CSlice& slice,
                        uint32_t undoId);
    CErrorPtr sendRegistry(const char* name, const CRegistry& registry);

    CParamInterfaceClientConnector* m_connector = nullptr;
    ILingeringGesture* m_lingering = nullptr;
    // Entries by handle; a message for a handle given up meanwhile was in
    // flight and is dropped.
    std::map<uint32_t, std::unique_ptr<CParam>> m_params;
    std::map<uint32_t, std::unique_ptr<CRegistry>> m_registries;
    uint32_t m_lastLocal = 0;
    std::vector<CString> m_undoHistory;
    size_t m_undoPosition = 0;
    // Ticks frame() on the run-loop thread.
    class CFrameClock final : public CTimer {
    public:
        explicit CFrameClock(CParamInterfaceClient& owner) : m_owner(owner) {}
        CErrorPtr dispatchEvent(const CString& name, CObject* params, CObject* sender) override;

    private:
        CParamInterfaceClient& m_owner;
    };

    bool m_initialised = false;
    CFrameClock m_frameClock{*this};
};

}  // namespace zel
