// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/ParamInterfaceClient.h"

#include <algorithm>

#include "Audio/ParamDef.h"
#include "Core/MemoryStream.h"
#include "Other/ParamInterfaceConnector.h"

#define ZEL_SOURCE_TAG "ParamInterfaceClient"

namespace zel {

namespace {
constexpr uint32_t kMaxLocal = 0xFFFF;
}  // namespace

const bridge::CDispatchTable<CParamInterfaceClient>& CParamInterfaceClient::handlers() {
    static const bridge::CDispatchTable<CParamInterfaceClient> table{
        {bridge::kUpdateUndoHistory, &CParamInterfaceClient::onUpdateUndoHistory},
        {bridge::kUpdateParamInfo, &CParamInterfaceClient::onUpdateParamInfo},
        {bridge::kUpdateParam, &CParamInterfaceClient::onUpdateParam},
        {bridge::kUpdateRegistry, &CParamInterfaceClient::onUpdateRegistry},
        {bridge::kRegistryData, &CParamInterfaceClient::onRegistryData},
        {bridge::kClearClient, &CParamInterfaceClient::onClearClient},
    };
    return table;
}

void CParamInterfaceClient::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onAttr("fps", &CParamInterfaceClient::onFps);
}

CParamInterfaceClient::~CParamInterfaceClient() {
    m_frameClock.stopTimer();
    if (m_connector) m_connector->attachClient(nullptr);
}

CErrorPtr CParamInterfaceClient::init() {
    ZEL_TRY(CObject::init());
    ZEL_TRY(findObjectByAttr("client-connector", m_connector));
    m_connector->attachClient(this);
    m_initialised = true;
    ZEL_TRY(startFrameClock());
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onFps() {
    // Before init the clock starts there.
    if (!m_initialised) return nullptr;
    ZEL_TRY(startFrameClock());
    return nullptr;
}

CErrorPtr CParamInterfaceClient::startFrameClock() {
    const double fps = getReal("fps", kDefaultFps);
    ZEL_TRY(m_frameClock.setAttr("interval", toText(fps > 0 ? 1.0 / fps : 0.0)));
    ZEL_TRY(m_frameClock.initTimer());
    return nullptr;
}

CErrorPtr CParamInterfaceClient::CFrameClock::dispatchEvent(const CString& name, CObject* params, CObject* sender) {
    if (name != "tick") {
        ZEL_TRY(CTimer::dispatchEvent(name, params, sender));
        return nullptr;
    }
    ZEL_TRY(m_owner.frame());
    return nullptr;
}

CErrorPtr CParamInterfaceClient::frame() {
    if (!m_connector || m_connector->identity() == 0) return nullptr;
    ZEL_TRY(send(bridge::kRequestUpdates));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::connectorConnected() {
    ZEL_TRY(endLingering());
    ZEL_TRY(relisten(m_params, bridge::kListenParam));
    ZEL_TRY(relisten(m_registries, bridge::kListenRegistry));
    ZEL_TRY(requestUndoHistory());
    return nullptr;
}

template <class T>
CErrorPtr CParamInterfaceClient::relisten(std::map<uint32_t, std::unique_ptr<T>>& entries, const char* message) {
    std::vector<std::unique_ptr<T>> all;
    for (auto& [handle, entry] : entries) all.push_back(std::move(entry));
    entries.clear();
    CErrorPtr first;
    for (auto& entry : all) {
        uint32_t handle = entry->m_handle;
        CErrorPtr err = newHandle(handle);
        if (!err) {
            entry->m_handle = handle;
            bridge::CListen msg;
            msg.name = entry->m_name;
            msg.handle = handle;
            err = send(message, msg);
        }
        if (err && !first) first = ZEL_PASS(err);
        // Views keep their entries whatever happens.
        entries[entry->m_handle] = std::move(entry);
    }
    return first;
}

// ---------------------------------------------------------------- messages

CErrorPtr CParamInterfaceClient::processBaseData(const uint8_t* data, size_t size) {
    CMemoryReaderStatic in(data, size);
    CString name;
    ZEL_TRY(in.readString(name));
    ZEL_TRY(dispatchBaseMessage(name, in));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::dispatchBaseMessage(const CString& name, CPosInputStream& fields) {
    auto handler = handlers().find(name);
    if (!handler)
        return ZEL_ERROR("@zelstr_CParamInterfaceClient_dispatchBaseMessage_Unknown Unknown message '%1'.", name);
    ZEL_TRY((this->*handler)(fields));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::send(const char* name, const bridge::CFields& fields) {
    if (!m_connector) return ZEL_ERROR("@zelstr_CParamInterfaceClient_send_NoBase No base object defined.");
    std::vector<uint8_t> block;
    ZEL_TRY(bridge::encode(name, fields, block));
    ZEL_TRY(m_connector->sendToBase(block));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::send(const char* name) {
    if (!m_connector) return ZEL_ERROR("@zelstr_CParamInterfaceClient_send_NoBase No base object defined.");
    std::vector<uint8_t> block;
    ZEL_TRY(bridge::encode(name, block));
    ZEL_TRY(m_connector->sendToBase(block));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::raise(const char* event) {
    ZEL_TRY(CNotifyServer::instance().notify(this, event));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::newHandle(uint32_t& out) {
    const int identity = m_connector ? m_connector->identity() : 0;
    if (identity == 0) return ZEL_ERROR("@zelstr_CParamInterfaceClient_newHandle_NoBase No base object defined.");
    for (uint32_t tries = 0; tries < kMaxLocal; ++tries) {
        m_lastLocal = m_lastLocal % kMaxLocal + 1;
        const uint32_t handle = uint32_t(identity) << 16 | m_lastLocal;
        if (!m_params.count(handle) && !m_registries.count(handle)) {
            out = handle;
            return nullptr;
        }
    }
    return ZEL_ERROR("@zelstr_CParamInterfaceClient_newHandle_Full No free handle left.");
}

void CParamInterfaceClient::clearReceived() {
    for (auto& [handle, param] : m_params) {
        param->m_value.reset();
        param->m_info.reset();
        param->m_lastSlice = CAudioParamStorage::CSlice();
    }
    for (auto& [handle, registry] : m_registries) {
        registry->m_state = bridge::CRegistryState();
        registry->m_data = bridge::CRegistryData();
    }
    m_undoHistory.clear();
    m_undoPosition = 0;
}

CErrorPtr CParamInterfaceClient::onClearClient(CPosInputStream&) {
    clearReceived();
    ZEL_TRY(raise(bridge::kClearClient));
    return nullptr;
}

// ---------------------------------------------------------------- undo

CErrorPtr CParamInterfaceClient::endLingering() {
    ILingeringGesture* gesture = m_lingering;
    m_lingering = nullptr;
    if (gesture) ZEL_TRY(gesture->endLingering());
    return nullptr;
}

CErrorPtr CParamInterfaceClient::beginUndo(const CString& name, uint32_t mergeId) {
    ZEL_TRY(endLingering());
    bridge::CCreateUndoData msg;
    msg.name = name;
    msg.mergeId = mergeId;
    ZEL_TRY(send(bridge::kCreateUndoData, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::submitUndo() {
    ZEL_TRY(send(bridge::kSubmitUndoData));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::removeUndo() {
    ZEL_TRY(send(bridge::kRemoveUndoData));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::requestUndoHistory() {
    ZEL_TRY(send(bridge::kRequestUndoHistory));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::setUndoHistoryPos(size_t position) {
    ZEL_TRY(endLingering());
    bridge::CCount msg;
    msg.count = uint32_t(position);
    ZEL_TRY(send(bridge::kSetUndoHistoryPos, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onUpdateUndoHistory(CPosInputStream& fields) {
    bridge::CUndoHistory msg;
    ZEL_TRY(msg.read(fields));
    m_undoHistory = std::move(msg.names);
    m_undoPosition = msg.position;
    ZEL_TRY(raise("undo-history-changed"));
    return nullptr;
}

// ---------------------------------------------------------------- parameters

template <class T>
CErrorPtr CParamInterfaceClient::listen(std::map<uint32_t, std::unique_ptr<T>>& entries, const CString& name,
                                        const char* message, T*& out) {
    for (auto& [handle, entry] : entries)
        if (entry->m_name == name) {
            ++entry->m_users;
            out = entry.get();
            return nullptr;
        }
    auto entry = std::make_unique<T>();
    ZEL_TRY(newHandle(entry->m_handle));
    entry->m_name = name;
    entry->m_users = 1;
    bridge::CListen msg;
    msg.name = name;
    msg.handle = entry->m_handle;
    ZEL_TRY(send(message, msg));
    out = entry.get();
    entries[msg.handle] = std::move(entry);
    return nullptr;
}

template <class T>
CErrorPtr CParamInterfaceClient::unlisten(std::map<uint32_t, std::unique_ptr<T>>& entries, T& entry,
                                          const char* message) {
    if (--entry.m_users > 0) return nullptr;
    bridge::CHandle msg;
    msg.handle = entry.m_handle;
    entries.erase(entry.m_handle);
    ZEL_TRY(send(message, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::listenParam(const CString& fullName, CParam*& out) {
    ZEL_TRY(listen(m_params, fullName, bridge::kListenParam, out));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::unlistenParam(CParam& param) {
    ZEL_TRY(unlisten(m_params, param, bridge::kUnlistenParam));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::requireInfo(const CParam& param) {
    if (!param.hasInfo())
        return ZEL_ERROR(
            "@zelstr_CParamInterfaceClient_requireInfo_NoInfo Parameter '%1' is not known to the editor yet.",
            param.m_name);
    return nullptr;
}

CErrorPtr CParamInterfaceClient::sendSlice(const CParam& param, const CAudioParamStorage& scratch,
                                           const CAudioParamStorage::CSlice& slice, uint32_t undoId) {
    bridge::CChangeParam msg;
    msg.handle = param.m_handle;
    msg.undoId = undoId;
    CMemoryWriter out;
    ZEL_TRY(scratch.saveSlice(out, slice));
    msg.slice = out.take();
    ZEL_TRY(send(bridge::kChangeParam, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::changeParam(CParam& param, size_t group, size_t first,
                                             const std::vector<double>& components, uint32_t undoId) {
    ZEL_TRY(endLingering());
    ZEL_TRY(requireInfo(param));
    const size_t esize = param.info().elementSize;
    CAudioParamStorage scratch(param.info());
    for (size_t i = 0; i < components.size(); ++i)
        scratch.setComponent(group, first + i / esize, i % esize, components[i]);
    ZEL_TRY(sendSlice(param, scratch, {uint32_t(group), uint32_t(first), uint32_t(components.size() / esize)}, undoId));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::changeParamText(CParam& param, size_t group, size_t element, const CString& text,
                                                 uint32_t undoId) {
    ZEL_TRY(endLingering());
    ZEL_TRY(requireInfo(param));
    CAudioParamStorage scratch(param.info());
    scratch.setText(group, element, text);
    ZEL_TRY(sendSlice(param, scratch, {uint32_t(group), uint32_t(element), 1}, undoId));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::changeParamBytes(CParam& param, size_t group, size_t element,
                                                  std::vector<uint8_t> bytes, uint32_t undoId) {
    ZEL_TRY(endLingering());
    ZEL_TRY(requireInfo(param));
    CAudioParamStorage scratch(param.info());
    scratch.setBytes(group, element, std::move(bytes));
    ZEL_TRY(sendSlice(param, scratch, {uint32_t(group), uint32_t(element), 1}, undoId));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::resetParam(CParam& param, uint32_t undoId) {
    ZEL_TRY(endLingering());
    bridge::CResetParam msg;
    msg.handle = param.m_handle;
    msg.undoId = undoId;
    ZEL_TRY(send(bridge::kResetParam, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onUpdateParamInfo(CPosInputStream& fields) {
    bridge::CParamInfo msg;
    ZEL_TRY(msg.read(fields));
    auto it = m_params.find(msg.handle);
    if (it == m_params.end()) return nullptr;
    if (msg.elementSize == 0 || msg.dataType > CAudioParamInfo::kRaw)
        return ZEL_ERROR(
            "@zelstr_CParamInterfaceClient_onUpdateParamInfo_Format Unsupported parameter format (esize=%1, dtype=%2).",
            msg.elementSize, msg.dataType);
    auto info = std::make_unique<CAudioParamInfo>();
    // In the same process the definition gives the converters and defaults.
    if (const auto* def = dynamic_cast<const CAudioParamDef*>(findObject("shared::" + msg.definition)))
        *info = def->info();
    info->visualName = msg.visualName;
    info->elementSize = msg.elementSize;
    info->dataType = CAudioParamInfo::EDataType(msg.dataType);
    info->isSingleGroup = (msg.flags & bridge::CParamInfo::kSingleGroup) != 0;
    info->isSingleElement = (msg.flags & bridge::CParamInfo::kSingleElement) != 0;
    info->minValues = std::move(msg.minValues);
    info->maxValues = std::move(msg.maxValues);
    info->stateNames = std::move(msg.stateNames);
    info->stateShortNames = std::move(msg.stateShortNames);
    auto value = std::make_unique<CAudioParamStorage>(*info);
    info->dataItems = &value->data();
    CParam& param = *it->second;
    // The old value refers to the old information: it goes first.
    param.m_value.reset();
    param.m_info = std::move(info);
    param.m_value = std::move(value);
    param.notifyListeners(bridge::kUpdateParamInfo);
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onUpdateParam(CPosInputStream& fields) {
    bridge::CUpdateParam msg;
    ZEL_TRY(msg.read(fields));
    auto it = m_params.find(msg.handle);
    if (it == m_params.end() || !it->second->hasInfo()) return nullptr;
    CParam& param = *it->second;
    CMemoryReaderStatic in(msg.slice.data(), msg.slice.size());
    ZEL_TRY(param.m_value->loadSlice(in, param.m_lastSlice));
    param.notifyListeners(bridge::kUpdateParam);
    return nullptr;
}

// ---------------------------------------------------------------- registries

CErrorPtr CParamInterfaceClient::listenRegistry(const CString& name, CRegistry*& out) {
    ZEL_TRY(listen(m_registries, name, bridge::kListenRegistry, out));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::unlistenRegistry(CRegistry& registry) {
    ZEL_TRY(unlisten(m_registries, registry, bridge::kUnlistenRegistry));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::sendRegistry(const char* name, const CRegistry& registry) {
    bridge::CHandle msg;
    msg.handle = registry.m_handle;
    ZEL_TRY(send(name, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::setCurrentProgram(CRegistry& registry, int index) {
    ZEL_TRY(endLingering());
    bridge::CProgram msg;
    msg.handle = registry.m_handle;
    msg.index = index;
    ZEL_TRY(send(bridge::kSetCurrentProgram, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::renamePreset(CRegistry& registry, const CString& displayName) {
    bridge::CRenamePreset msg;
    msg.handle = registry.m_handle;
    msg.name = displayName;
    ZEL_TRY(send(bridge::kRenamePreset, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::activateFactoryPreset(CRegistry& registry, int index) {
    ZEL_TRY(endLingering());
    bridge::CProgram msg;
    msg.handle = registry.m_handle;
    msg.index = index;
    ZEL_TRY(send(bridge::kActivateFactoryPreset, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::activatePreset(CRegistry& registry, const std::vector<uint8_t>& record, int group) {
    ZEL_TRY(endLingering());
    bridge::CActivatePreset msg;
    msg.handle = registry.m_handle;
    msg.group = group;
    msg.record = record;
    ZEL_TRY(send(bridge::kActivatePreset, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::requestPreset(CRegistry& registry, bool fromRom, int index) {
    bridge::CRequestPreset msg;
    msg.handle = registry.m_handle;
    msg.fromRom = fromRom;
    msg.index = index;
    ZEL_TRY(send(bridge::kRequestPreset, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::requestBank(CRegistry& registry) {
    ZEL_TRY(sendRegistry(bridge::kRequestBank, registry));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::setDefaultPreset(CRegistry& registry, const std::vector<uint8_t>& record) {
    bridge::CPresetRecord msg;
    msg.handle = registry.m_handle;
    msg.record = record;
    ZEL_TRY(send(bridge::kSetDefaultPreset, msg));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::activateDefaultPreset(CRegistry& registry) {
    ZEL_TRY(endLingering());
    ZEL_TRY(sendRegistry(bridge::kActivateDefaultPreset, registry));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::exchangeShadowPreset(CRegistry& registry) {
    ZEL_TRY(sendRegistry(bridge::kExchangeShadowPreset, registry));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::updateShadowPreset(CRegistry& registry) {
    ZEL_TRY(sendRegistry(bridge::kUpdateShadowPreset, registry));
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onUpdateRegistry(CPosInputStream& fields) {
    bridge::CRegistryState msg;
    ZEL_TRY(msg.read(fields));
    auto it = m_registries.find(msg.handle);
    if (it == m_registries.end()) return nullptr;
    it->second->m_state = std::move(msg);
    it->second->notifyListeners(bridge::kUpdateRegistry);
    return nullptr;
}

CErrorPtr CParamInterfaceClient::onRegistryData(CPosInputStream& fields) {
    bridge::CRegistryData msg;
    ZEL_TRY(msg.read(fields));
    auto it = m_registries.find(msg.handle);
    if (it == m_registries.end()) return nullptr;
    it->second->m_data = std::move(msg);
    it->second->notifyListeners(bridge::kRegistryData);
    return nullptr;
}

}  // namespace zel
