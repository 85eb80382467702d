// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/ParamInterfaceBase.h"

#include <algorithm>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Core/MemoryStream.h"
#include "Core/Notify.h"
#include "Other/ParamInterfaceConnector.h"

#define ZEL_SOURCE_TAG "ParamInterfaceBase"

namespace zel {

namespace {

CString entryName(const CAudioParam& p) { return p.info().visualName.empty() ? p.name() : p.info().visualName; }

bridge::CParamInfo describe(const CAudioParam& p, uint32_t handle) {
    const CAudioParamInfo& info = p.info();
    bridge::CParamInfo out;
    out.handle = handle;
    out.definition = p.def().fullName();
    out.visualName = info.visualName;
    out.elementSize = info.elementSize;
    out.dataType = uint32_t(info.dataType);
    out.flags = (info.isSingleGroup ? bridge::CParamInfo::kSingleGroup : 0) |
                (info.isSingleElement ? bridge::CParamInfo::kSingleElement : 0);
    for (size_t c = 0; c < info.elementSize; ++c) {
        out.minValues.push_back(info.minValue(c));
        out.maxValues.push_back(info.maxValue(c));
    }
    out.stateNames = info.stateNames;
    out.stateShortNames = info.stateShortNames;
    out.stateShortNames.resize(out.stateNames.size());
    return out;
}

// The steps of one gesture become one record: each parameter keeps its
// value from before the first step and takes the one after the last.
void join(CAudioParamUndoRecord& open, CAudioParamUndoRecord step) {
    if (open.name.empty()) open.name = step.name;
    for (auto& change : step.changes) {
        auto it = std::find_if(open.changes.begin(), open.changes.end(),
                               [&](const CAudioParamUndoRecord::CParamChange& c) { return c.param == change.param; });
        if (it == open.changes.end()) {
            open.changes.push_back(std::move(change));
            continue;
        }
        it->after = std::move(change.after);
        for (const auto& run : change.runs)
            if (std::find(it->runs.begin(), it->runs.end(), run) == it->runs.end()) it->runs.push_back(run);
    }
}

}  // namespace

const bridge::CDispatchTable<CParamInterfaceBase>& CParamInterfaceBase::handlers() {
    static const bridge::CDispatchTable<CParamInterfaceBase> table{
        {bridge::kCreateUndoData, &CParamInterfaceBase::onCreateUndoData},
        {bridge::kRemoveUndoData, &CParamInterfaceBase::onRemoveUndoData},
        {bridge::kSubmitUndoData, &CParamInterfaceBase::onSubmitUndoData},
        {bridge::kRequestUndoHistory, &CParamInterfaceBase::onRequestUndoHistory},
        {bridge::kSetUndoHistoryPos, &CParamInterfaceBase::onSetUndoHistoryPos},
        {bridge::kListenParam, &CParamInterfaceBase::onListenParam},
        {bridge::kUnlistenParam, &CParamInterfaceBase::onUnlistenParam},
        {bridge::kChangeParam, &CParamInterfaceBase::onChangeParam},
        {bridge::kResetParam, &CParamInterfaceBase::onResetParam},
        {bridge::kListenRegistry, &CParamInterfaceBase::onListenRegistry},
        {bridge::kUnlistenRegistry, &CParamInterfaceBase::onUnlistenRegistry},
        {bridge::kSetCurrentProgram, &CParamInterfaceBase::onSetCurrentProgram},
        {bridge::kRenamePreset, &CParamInterfaceBase::onRenamePreset},
        {bridge::kActivateFactoryPreset, &CParamInterfaceBase::onActivateFactoryPreset},
        {bridge::kActivatePreset, &CParamInterfaceBase::onActivatePreset},
        {bridge::kRequestPreset, &CParamInterfaceBase::onRequestPreset},
        {bridge::kRequestBank, &CParamInterfaceBase::onRequestBank},
        {bridge::kSetDefaultPreset, &CParamInterfaceBase::onSetDefaultPreset},
        {bridge::kActivateDefaultPreset, &CParamInterfaceBase::onActivateDefaultPreset},
        {bridge::kExchangeShadowPreset, &CParamInterfaceBase::onExchangeShadowPreset},
        {bridge::kUpdateShadowPreset, &CParamInterfaceBase::onUpdateShadowPreset},
        {bridge::kRequestUpdates, &CParamInterfaceBase::onRequestUpdates},
    };
    return table;
}

CParamInterfaceBase::~CParamInterfaceBase() {
    if (m_connector) m_connector->attachBase(nullptr);
}

CErrorPtr CParamInterfaceBase::init() {
    ZEL_TRY(CObject::init());
    ZEL_TRY(findObjectByAttr("param-collector", m_collector));
    long long maxCount = 32;
    readInt("undo-count-max", maxCount);
    m_undo = std::make_unique<CAudioParamUndo>(*m_collector, maxCount);
    m_undo->setChangedHandler([this] { historyChanged(); });
    if (!getAttr("base-connector").empty()) {
        ZEL_TRY(findObjectByAttr("base-connector", m_connector));
        m_connector->attachBase(this);
    }
    return nullptr;
}

// ---------------------------------------------------------------- clients

CErrorPtr CParamInterfaceBase::processClientMessage(int client, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_currentClient = client;
    CMemoryReaderStatic in(data, size);
    CString name;
    ZEL_TRY(in.readString(name));
    ZEL_TRY(dispatchClientMessage(name, in));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::dispatchClientMessage(const CString& name, CPosInputStream& fields) {
    auto handler = handlers().find(name);
    if (!handler)
        return ZEL_ERROR("@zelstr_CParamInterfaceBase_dispatchClientMessage_Unknown Unknown message '%1'.", name);
    ZEL_TRY((this->*handler)(fields));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::clientConnected(int client) {
    {
        std::lock_guard<std::mutex> lock(m_listenLock);
        m_clients[client];
    }
    ZEL_TRY(send(client, bridge::kClearClient));
    return nullptr;
}

void CParamInterfaceBase::clientDisconnected(int client) {
    std::lock_guard<std::mutex> lock(m_lock);
    forgetClient(client);
}

void CParamInterfaceBase::forgetClient(int client) {
    auto open = m_gestures.find(client);
    if (open != m_gestures.end()) {
        std::vector<CAudioParamUndoRecord> gestures = std::move(open->second);
        m_gestures.erase(open);
        while (gestures.size() > 1) {
            join(gestures[gestures.size() - 2], std::move(gestures.back()));
            gestures.pop_back();
        }
        if (!gestures.empty()) {
            pushGesture(std::move(gestures.front()));
            if (m_gestureListener) m_gestureListener->gestureEnded();
        }
    }
    std::lock_guard<std::mutex> lock(m_listenLock);
    m_clients.erase(client);
}

CErrorPtr CParamInterfaceBase::send(int client, const char* name, const bridge::CFields& fields) {
    std::vector<uint8_t> block;
    ZEL_TRY(bridge::encode(name, fields, block));
    ZEL_TRY(deliver(client, std::move(block)));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::send(int client, const char* name) {
    std::vector<uint8_t> block;
    ZEL_TRY(bridge::encode(name, block));
    ZEL_TRY(deliver(client, std::move(block)));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::deliver(int client, std::vector<uint8_t> block) {
    // Without a connector no editor can be listening.
    if (!m_connector) return nullptr;
    ZEL_TRY(m_connector->sendToClient(client, std::move(block)));
    return nullptr;
}

// ---------------------------------------------------------------- lookups

CErrorPtr CParamInterfaceBase::checkHandle(uint32_t handle) const {
    if (int(handle >> 16) != m_currentClient)
        return ZEL_ERROR("@zelstr_CParamInterfaceBase_checkHandle_Foreign Handle %1 does not belong to client %2.",
                         handle, m_currentClient);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::findParam(uint32_t handle, CAudioParam*& out) {
    std::lock_guard<std::mutex> lock(m_listenLock);
    auto client = m_clients.find(m_currentClient);
    if (client != m_clients.end()) {
        auto it = client->second.params.find(handle);
        if (it != client->second.params.end()) {
            out = it->second.param;
            return nullptr;
        }
    }
    return ZEL_ERROR("@zelstr_CParamInterfaceBase_findParam_Unknown Unknown parameter handle %1.", handle);
}

CErrorPtr CParamInterfaceBase::findRegistry(uint32_t handle, CAudioParamRegistry*& out) {
    std::lock_guard<std::mutex> lock(m_listenLock);
    auto client = m_clients.find(m_currentClient);
    if (client != m_clients.end()) {
        auto it = client->second.registries.find(handle);
        if (it != client->second.registries.end()) {
            out = it->second.registry;
            return nullptr;
        }
    }
    return ZEL_ERROR("@zelstr_CParamInterfaceBase_findRegistry_Unknown Unknown registry handle %1.", handle);
}

CErrorPtr CParamInterfaceBase::registryNamed(const CString& name, CAudioParamRegistry*& out) {
    auto cached = m_registries.find(name);
    if (cached != m_registries.end()) {
        out = cached->second;
        return nullptr;
    }
    // The registries are the base's siblings in the instance tree.
    CObject* found = parent() ? parent()->findChild(name) : nullptr;
    if (!found)
        return ZEL_ERROR("@zelstr_CParamInterfaceBase_registryNamed_NotFound No param registry object '%1' found.",
                         name);
    out = dynamic_cast<CAudioParamRegistry*>(found);
    if (!out)
        return ZEL_ERROR("@zelstr_CParamInterfaceBase_registryNamed_Null Param registry object '%1' is NULL.", name);
    m_registries[name] = out;
    return nullptr;
}

// ---------------------------------------------------------------- undo

void CParamInterfaceBase::record(CAudioParamUndoRecord step, uint32_t undoId) {
    auto open = m_gestures.find(m_currentClient);
    if (open != m_gestures.end() && !open->second.empty()) {
        join(open->second.back(), std::move(step));
        return;
    }
    if (undoId == bridge::kNoUndo) return;
    step.merge = true;
    step.mergeId = undoId;
    m_undo->push(std::move(step));
}

void CParamInterfaceBase::pushGesture(CAudioParamUndoRecord gesture) {
    auto& changes = gesture.changes;
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [](const CAudioParamUndoRecord::CParamChange& c) { return c.before == c.after; }),
                  changes.end());
    m_undo->push(std::move(gesture));
}

CErrorPtr CParamInterfaceBase::onCreateUndoData(CPosInputStream& fields) {
    bridge::CCreateUndoData msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamUndoRecord gesture;
    gesture.name = msg.name;
    gesture.merge = msg.mergeId != 0;
    gesture.mergeId = msg.mergeId != 0 ? msg.mergeId : -1;
    auto& open = m_gestures[m_currentClient];
    open.push_back(std::move(gesture));
    if (open.size() == 1 && m_gestureListener) m_gestureListener->gestureBegan();
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onRemoveUndoData(CPosInputStream&) {
    auto open = m_gestures.find(m_currentClient);
    if (open == m_gestures.end() || open->second.empty()) return nullptr;
    const CAudioParamUndoRecord cancelled = std::move(open->second.back());
    open->second.pop_back();
    const bool outermost = open->second.empty();
    if (outermost) m_gestures.erase(open);
    // Back to where the gesture started, as no step of anything: the
    // enclosing gesture saw none of these changes.
    CAudioParamTransaction tx(*m_collector);
    for (auto it = cancelled.changes.rbegin(); it != cancelled.changes.rend(); ++it) tx.restore(*it->param, it->before);
    tx.finish(CString());
    // After the changes were taken back, which belong to the gesture.
    if (outermost && m_gestureListener) m_gestureListener->gestureEnded();
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onSubmitUndoData(CPosInputStream&) {
    auto open = m_gestures.find(m_currentClient);
    if (open == m_gestures.end() || open->second.empty()) return nullptr;
    CAudioParamUndoRecord done = std::move(open->second.back());
    open->second.pop_back();
    if (!open->second.empty()) {
        join(open->second.back(), std::move(done));
        return nullptr;
    }
    m_gestures.erase(open);
    pushGesture(std::move(done));
    if (m_gestureListener) m_gestureListener->gestureEnded();
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onRequestUndoHistory(CPosInputStream&) {
    ZEL_TRY(sendUndoHistory(m_currentClient));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onSetUndoHistoryPos(CPosInputStream& fields) {
    bridge::CCount msg;
    ZEL_TRY(msg.read(fields));
    m_undo->moveTo(msg.count);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::sendUndoHistory(int client) {
    bridge::CUndoHistory msg;
    size_t position;
    msg.names = m_undo->history(&position);
    msg.position = uint32_t(position);
    ZEL_TRY(send(client, bridge::kUpdateUndoHistory, msg));
    return nullptr;
}

void CParamInterfaceBase::historyChanged() {
    CErrorPtr err = sendUndoHistory(CParamInterfaceBaseConnector::kAllClients);
    // Whoever changed the history (the host, a registry) has no use for an
    // editor's delivery problem.
    if (err) CSystem::showError(*err);
}

// ---------------------------------------------------------------- parameters

CErrorPtr CParamInterfaceBase::onListenParam(CPosInputStream& fields) {
    bridge::CListen msg;
    ZEL_TRY(msg.read(fields));
    ZEL_TRY(checkHandle(msg.handle));
    CAudioParam* p = m_collector->find(msg.name);
    if (!p) return ZEL_ERROR("@zelstr_CParamInterfaceBase_onListenParam_NotFound Parameter '%1' not found.", msg.name);
    std::lock_guard<std::mutex> lock(m_listenLock);
    CListenedParam& listened = m_clients[m_currentClient].params[msg.handle];
    listened = CListenedParam();
    listened.param = p;
    // Sent before any value: the values follow with the next refresh.
    ZEL_TRY(send(m_currentClient, bridge::kUpdateParamInfo, describe(*p, msg.handle)));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onUnlistenParam(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    std::lock_guard<std::mutex> lock(m_listenLock);
    auto client = m_clients.find(m_currentClient);
    if (client != m_clients.end()) client->second.params.erase(msg.handle);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onChangeParam(CPosInputStream& fields) {
    bridge::CChangeParam msg;
    ZEL_TRY(msg.read(fields));
    CAudioParam* p = nullptr;
    ZEL_TRY(findParam(msg.handle, p));
    // The slice is read into a scratch value of the parameter's format, so
    // that a slice that does not fit changes nothing.
    CAudioParamStorage step(p->info());
    CMemoryReaderStatic in(msg.slice.data(), msg.slice.size());
    CAudioParamStorage::CSlice slice;
    ZEL_TRY(step.loadSlice(in, slice));
    CAudioParamTransaction tx(*m_collector);
    switch (p->info().dataType) {
        case CAudioParamInfo::kFloat: {
            std::vector<double> components;
            for (uint32_t e = 0; e < slice.count; ++e)
                for (unsigned c = 0; c < p->info().elementSize; ++c)
                    components.push_back(step.read(slice.group, slice.first + e, c));
            tx.setElements(*p, slice.group, slice.first, components);
            break;
        }
        case CAudioParamInfo::kString:
            for (uint32_t e = slice.first; e < slice.first + slice.count; ++e)
                tx.setText(*p, slice.group, e, step.text(slice.group, e));
            break;
        case CAudioParamInfo::kRaw:
            for (uint32_t e = slice.first; e < slice.first + slice.count; ++e)
                tx.setBytes(*p, slice.group, e, step.bytes(slice.group, e));
            break;
    }
    record(tx.finish(entryName(*p)), msg.undoId);
    confirmToSender(*p, p->info().isSingleGroup ? 0 : int(slice.group));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onResetParam(CPosInputStream& fields) {
    bridge::CResetParam msg;
    ZEL_TRY(msg.read(fields));
    CAudioParam* p = nullptr;
    ZEL_TRY(findParam(msg.handle, p));
    CAudioParamTransaction tx(*m_collector);
    tx.setDefault(*p);
    record(tx.finish(entryName(*p) + " reset"), msg.undoId);
    confirmToSender(*p, -1);
    return nullptr;
}

void CParamInterfaceBase::confirmToSender(const CAudioParam& param, int group) {
    std::lock_guard<std::mutex> lock(m_listenLock);
    auto client = m_clients.find(m_currentClient);
    if (client == m_clients.end()) return;
    for (auto& [handle, listened] : client->second.params) {
        if (listened.param != &param) continue;
        // No slice is empty: the group differs from anything it holds.
        listened.version = 0;
        for (size_t g = 0; g < listened.sent.size(); ++g)
            if (group < 0 || g == size_t(group)) listened.sent[g].clear();
    }
}

CErrorPtr CParamInterfaceBase::onRequestUpdates(CPosInputStream&) {
    ZEL_TRY(refresh(m_currentClient));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::refresh(int client) {
    // Host automation the audio thread applied reaches the parameters here
    // too, on the editor's frame.
    m_collector->takeOverFromAudio();
    std::lock_guard<std::mutex> lock(m_listenLock);
    CErrorPtr first;
    for (auto& [id, listener] : m_clients) {
        if (client != CParamInterfaceBaseConnector::kAllClients && id != client) continue;
        for (auto& [handle, listened] : listener.params)
            if (CErrorPtr err = sendParamChanges(handle, listened); err && !first) first = ZEL_PASS(err);
        for (auto& [handle, listened] : listener.registries)
            if (CErrorPtr err = sendRegistryChanges(handle, listened); err && !first) first = ZEL_PASS(err);
    }
    return first;
}

CErrorPtr CParamInterfaceBase::sendParamChanges(uint32_t handle, CListenedParam& listened) {
    // Read before the value: a change made meanwhile moves the version on
    // again and is looked at next time.
    const uint64_t version = listened.param->version();
    if (version == listened.version) return nullptr;
    listened.version = version;
    // Whole groups: every group the value holds, and every group sent
    // before (it may have gone back to default since).
    std::vector<std::vector<uint8_t>> slices;
    {
        const CAudioParam& p = *listened.param;
        std::lock_guard<std::mutex> lock(p.lock());
        const CAudioParamValue& value = p.storage().value();
        const size_t groups =
            p.info().isSingleGroup ? 1 : std::max({value.groupCount(), listened.sent.size(), size_t(1)});
        const size_t defaults = p.info().defaultValue.elementCount(0);
        listened.sentCounts.resize(std::max(listened.sentCounts.size(), groups));
        for (size_t g = 0; g < groups; ++g) {
            CMemoryWriter out;
            // Elements sent before and gone since (back to default, an
            // undo) are sent with their defaults: the client keeps them
            // otherwise.
            const size_t count = std::max({value.elementCount(g), defaults, listened.sentCounts[g]});
            listened.sentCounts[g] = count;
            ZEL_TRY(p.storage().saveSlice(out, {uint32_t(g), 0, uint32_t(count)}));
            slices.push_back(out.take());
        }
    }
    listened.sent.resize(std::max(listened.sent.size(), slices.size()));
    for (size_t g = 0; g < slices.size(); ++g) {
        if (slices[g] == listened.sent[g]) continue;
        bridge::CUpdateParam msg;
        msg.handle = handle;
        msg.slice = slices[g];
        listened.sent[g] = std::move(slices[g]);
        ZEL_TRY(send(int(handle >> 16), bridge::kUpdateParam, msg));
    }
    return nullptr;
}

// ---------------------------------------------------------------- registries

CErrorPtr CParamInterfaceBase::sendRegistryChanges(uint32_t handle, CListenedRegistry& listened) {
    CAudioParamRegistry& registry = *listened.registry;
    bridge::CRegistryState state;
    state.handle = handle;
    state.id = registry.id();
    if (registry.isMaster()) {
        state.currentProgram = registry.currentProgram();
        state.programs = registry.programDisplayNames();
    }
    std::vector<uint8_t> block;
    ZEL_TRY(bridge::encode(bridge::kUpdateRegistry, state, block));
    if (block == listened.sent) return nullptr;
    listened.sent = block;
    ZEL_TRY(deliver(int(handle >> 16), std::move(block)));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onListenRegistry(CPosInputStream& fields) {
    bridge::CListen msg;
    ZEL_TRY(msg.read(fields));
    ZEL_TRY(checkHandle(msg.handle));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(registryNamed(msg.name, registry));
    std::lock_guard<std::mutex> lock(m_listenLock);
    m_clients[m_currentClient].registries[msg.handle] = CListenedRegistry{registry, {}};
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onUnlistenRegistry(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    std::lock_guard<std::mutex> lock(m_listenLock);
    auto client = m_clients.find(m_currentClient);
    if (client != m_clients.end()) client->second.registries.erase(msg.handle);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onSetCurrentProgram(CPosInputStream& fields) {
    bridge::CProgram msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    registry->setCurrentProgram(msg.index);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onRenamePreset(CPosInputStream& fields) {
    bridge::CRenamePreset msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    registry->renameProgram(msg.name, true);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onActivateFactoryPreset(CPosInputStream& fields) {
    bridge::CProgram msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    registry->activateRomPreset(msg.index);
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onActivatePreset(CPosInputStream& fields) {
    bridge::CActivatePreset msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    CMemoryReaderStatic in(msg.record.data(), msg.record.size());
    ZEL_TRY(registry->activatePreset(in, msg.group));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onRequestPreset(CPosInputStream& fields) {
    bridge::CRequestPreset msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    CMemoryWriter out;
    ZEL_TRY(registry->acquirePreset(msg.fromRom, msg.index, out));
    bridge::CRegistryData data;
    data.handle = msg.handle;
    data.kind = bridge::CRegistryData::kPreset;
    data.record = out.take();
    ZEL_TRY(send(m_currentClient, bridge::kRegistryData, data));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onRequestBank(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    CMemoryWriter out;
    ZEL_TRY(registry->acquireBank(out));
    bridge::CRegistryData data;
    data.handle = msg.handle;
    data.kind = bridge::CRegistryData::kBank;
    data.record = out.take();
    ZEL_TRY(send(m_currentClient, bridge::kRegistryData, data));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onSetDefaultPreset(CPosInputStream& fields) {
    bridge::CPresetRecord msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    CAudioPreset preset;
    CMemoryReaderStatic in(msg.record.data(), msg.record.size());
    ZEL_TRY(preset.load(in));
    ZEL_TRY(registry->storeDefaultPreset(preset));
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onActivateDefaultPreset(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    ZEL_TRY(registry->masterReset());
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onExchangeShadowPreset(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    registry->exchangeShadow();
    return nullptr;
}

CErrorPtr CParamInterfaceBase::onUpdateShadowPreset(CPosInputStream& fields) {
    bridge::CHandle msg;
    ZEL_TRY(msg.read(fields));
    CAudioParamRegistry* registry = nullptr;
    ZEL_TRY(findRegistry(msg.handle, registry));
    registry->updateShadow();
    return nullptr;
}

}  // namespace zel
