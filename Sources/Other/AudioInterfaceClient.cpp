// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/AudioInterfaceClient.h"

#include <algorithm>

#define ZEL_SOURCE_TAG "AudioInterfaceClient"

namespace zel {

const bridge::CDispatchTable<CAudioInterfaceClient>& CAudioInterfaceClient::handlers() {
    static const bridge::CDispatchTable<CAudioInterfaceClient> table{
        {bridge::kUpdateInternalChannelCount, &CAudioInterfaceClient::onUpdateInternalChannelCount},
        {bridge::kUpdateGroupCount, &CAudioInterfaceClient::onUpdateGroupCount},
        {bridge::kUpdateIOChannelCounts, &CAudioInterfaceClient::onUpdateIOChannelCounts},
        {bridge::kUpdateSampleRate, &CAudioInterfaceClient::onUpdateSampleRate},
        {bridge::kExportSlotNames, &CAudioInterfaceClient::onExportSlotNames},
        {bridge::kImportChannelLabels, &CAudioInterfaceClient::onImportChannelLabels},
        {bridge::kStartViz, &CAudioInterfaceClient::onStartViz},
        {bridge::kStopViz, &CAudioInterfaceClient::onStopViz},
        {bridge::kVizData, &CAudioInterfaceClient::onVizData},
    };
    return table;
}

void CAudioInterfaceClient::setupClass(CClassInfo& info) {
    CParamInterfaceClient::setupClass(info);
    info.onEvent("import-host-channel-labels", &CAudioInterfaceClient::onImportHostChannelLabels);
}

CErrorPtr CAudioInterfaceClient::onImportHostChannelLabels(CObject*, CObject*) {
    // Nothing to take while the host names no channel.
    if (m_channelLabels.empty()) return nullptr;
    return importChannelLabels(m_channelLabels);
}

CErrorPtr CAudioInterfaceClient::init() {
    ZEL_TRY(CParamInterfaceClient::init());
    ZEL_TRY(requestAudioFacts());
    if (!getAttr("group-names-param").empty()) {
        CParam* groupNames = nullptr;
        ZEL_TRY(listenParam(getAttr("group-names-param"), groupNames));
        groupNames->addListener(m_groupNamesListener);
    }
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::connectorConnected() {
    ZEL_TRY(CParamInterfaceClient::connectorConnected());
    ZEL_TRY(requestAudioFacts());
    if (m_vizListening) ZEL_TRY(send(bridge::kListenViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::dispatchBaseMessage(const CString& name, CPosInputStream& fields) {
    if (auto handler = handlers().find(name)) {
        ZEL_TRY((this->*handler)(fields));
        return nullptr;
    }
    ZEL_TRY(CParamInterfaceClient::dispatchBaseMessage(name, fields));
    return nullptr;
}

void CAudioInterfaceClient::clearReceived() {
    CParamInterfaceClient::clearReceived();
    m_internalChannels = 0;
    m_groups = 0;
    m_io = bridge::CIOChannelCounts();
    m_sampleRate = 0.0;
    m_exportSlots.clear();
    m_groupNames.clear();
    m_channelLabels.clear();
    m_vizActive = false;
    m_viz.clear();
}

void CAudioInterfaceClient::CGroupNamesParamListener::update(CUpdateNotifier& notifier, const CString& what) {
    if (what != bridge::kUpdateParam) return;
    const CAudioParamStorage& value = static_cast<CParam&>(notifier).value();
    const size_t count = std::max(value.value().elementCount(0), value.info().defaultValue.elementCount(0));
    m_owner.m_groupNames.clear();
    for (size_t e = 0; e < count; ++e) m_owner.m_groupNames.push_back(value.text(0, e));
    // A listener has no caller to hand an error to.
    if (CErrorPtr err = m_owner.raise("group-names-changed")) CSystem::showError(*err);
}

// ---------------------------------------------------------------- audio facts

CErrorPtr CAudioInterfaceClient::requestAudioFacts() {
    ZEL_TRY(send(bridge::kRequestInternalChannelCount));
    ZEL_TRY(send(bridge::kRequestGroupCount));
    ZEL_TRY(send(bridge::kRequestIOChannelCounts));
    ZEL_TRY(send(bridge::kRequestSampleRate));
    ZEL_TRY(send(bridge::kRequestExportSlotNames));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onUpdateInternalChannelCount(CPosInputStream& fields) {
    bridge::CCount msg;
    ZEL_TRY(msg.read(fields));
    m_internalChannels = msg.count;
    ZEL_TRY(raise(bridge::kUpdateInternalChannelCount));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onUpdateGroupCount(CPosInputStream& fields) {
    bridge::CCount msg;
    ZEL_TRY(msg.read(fields));
    m_groups = msg.count;
    ZEL_TRY(raise(bridge::kUpdateGroupCount));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onUpdateIOChannelCounts(CPosInputStream& fields) {
    ZEL_TRY(m_io.read(fields));
    ZEL_TRY(raise(bridge::kUpdateIOChannelCounts));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onUpdateSampleRate(CPosInputStream& fields) {
    bridge::CSampleRate msg;
    ZEL_TRY(msg.read(fields));
    m_sampleRate = msg.rate;
    ZEL_TRY(raise(bridge::kUpdateSampleRate));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onExportSlotNames(CPosInputStream& fields) {
    bridge::CTexts msg;
    ZEL_TRY(msg.read(fields));
    m_exportSlots = std::move(msg.texts);
    ZEL_TRY(raise(bridge::kExportSlotNames));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::importChannelLabels(const std::vector<CString>& labels) {
    bridge::CTexts msg;
    msg.texts = labels;
    ZEL_TRY(send(bridge::kImportChannelLabels, msg));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onImportChannelLabels(CPosInputStream& fields) {
    bridge::CTexts msg;
    ZEL_TRY(msg.read(fields));
    m_channelLabels = std::move(msg.texts);
    ZEL_TRY(raise(bridge::kImportChannelLabels));
    return nullptr;
}

// ---------------------------------------------------------------- visualisation

CErrorPtr CAudioInterfaceClient::listenViz() {
    m_vizListening = true;
    ZEL_TRY(send(bridge::kListenViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::unlistenViz() {
    m_vizListening = false;
    ZEL_TRY(send(bridge::kUnlistenViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::requestVizData() {
    ZEL_TRY(send(bridge::kRequestVizData));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onStartViz(CPosInputStream&) {
    m_vizActive = true;
    ZEL_TRY(raise(bridge::kStartViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onStopViz(CPosInputStream&) {
    m_vizActive = false;
    ZEL_TRY(raise(bridge::kStopViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceClient::onVizData(CPosInputStream& fields) {
    bridge::CVizData msg;
    ZEL_TRY(msg.read(fields));
    m_viz = std::move(msg.streams);
    ZEL_TRY(raise(bridge::kVizData));
    return nullptr;
}

}  // namespace zel
