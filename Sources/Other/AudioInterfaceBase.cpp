// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/AudioInterfaceBase.h"

#include "Audio/AudioWrapper.h"
#include "Audio/VizCollector.h"
#include "Other/ParamInterfaceConnector.h"

#define ZEL_SOURCE_TAG "InterfaceBase"

namespace zel {

const bridge::CDispatchTable<CAudioInterfaceBase>& CAudioInterfaceBase::handlers() {
    static const bridge::CDispatchTable<CAudioInterfaceBase> table{
        {bridge::kListenViz, &CAudioInterfaceBase::onListenViz},
        {bridge::kUnlistenViz, &CAudioInterfaceBase::onUnlistenViz},
        {bridge::kRequestVizData, &CAudioInterfaceBase::onRequestVizData},
        {bridge::kRequestExportSlotNames, &CAudioInterfaceBase::onRequestExportSlotNames},
        {bridge::kRequestInternalChannelCount, &CAudioInterfaceBase::onRequestInternalChannelCount},
        {bridge::kRequestGroupCount, &CAudioInterfaceBase::onRequestGroupCount},
        {bridge::kRequestIOChannelCounts, &CAudioInterfaceBase::onRequestIOChannelCounts},
        {bridge::kRequestSampleRate, &CAudioInterfaceBase::onRequestSampleRate},
        {bridge::kImportChannelLabels, &CAudioInterfaceBase::onImportChannelLabels},
    };
    return table;
}

CErrorPtr CAudioInterfaceBase::init() {
    ZEL_TRY(CParamInterfaceBase::init());
    if (!getAttr("viz-collector").empty()) ZEL_TRY(findObjectByAttr("viz-collector", m_viz));
    if (const CObject* project = findObject("shared::project"))
        m_vizAlwaysActive = project->getBool("is-viz-always-active", false);
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::dispatchClientMessage(const CString& name, CPosInputStream& fields) {
    if (auto handler = handlers().find(name)) {
        ZEL_TRY((this->*handler)(fields));
        return nullptr;
    }
    ZEL_TRY(CParamInterfaceBase::dispatchClientMessage(name, fields));
    return nullptr;
}

void CAudioInterfaceBase::forgetClient(int client) {
    CParamInterfaceBase::forgetClient(client);
    setVizListening(client, false);
}

// ---------------------------------------------------------------- audio facts

CErrorPtr CAudioInterfaceBase::provider(CAudioInterfaceDataProvider*& out) const {
    out = m_provider;
    if (!out) return ZEL_ERROR("@zelstr_CAudioInterfaceBase_provider_None No audio data provider is attached.");
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendCount(int client, const char* message,
                                         size_t (CAudioInterfaceDataProvider::*count)() const) {
    CAudioInterfaceDataProvider* facts = nullptr;
    ZEL_TRY(provider(facts));
    bridge::CCount msg;
    msg.count = uint32_t((facts->*count)());
    ZEL_TRY(send(client, message, msg));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendInternalChannelCount(int client) {
    ZEL_TRY(sendCount(client, bridge::kUpdateInternalChannelCount, &CAudioInterfaceDataProvider::internalChannelCount));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendGroupCount(int client) {
    ZEL_TRY(sendCount(client, bridge::kUpdateGroupCount, &CAudioInterfaceDataProvider::groupCount));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendIOChannelCounts(int client) {
    CAudioInterfaceDataProvider* facts = nullptr;
    ZEL_TRY(provider(facts));
    size_t inputs, outputs, sidechain;
    facts->ioChannelCounts(inputs, outputs, sidechain);
    bridge::CIOChannelCounts msg;
    msg.inputs = uint32_t(inputs);
    msg.outputs = uint32_t(outputs);
    msg.sidechain = uint32_t(sidechain);
    ZEL_TRY(send(client, bridge::kUpdateIOChannelCounts, msg));
    // The names of the inputs go with their count.
    ZEL_TRY(sendChannelLabels(client, facts->hostChannelLabels()));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendSampleRate(int client) {
    CAudioInterfaceDataProvider* facts = nullptr;
    ZEL_TRY(provider(facts));
    bridge::CSampleRate msg;
    msg.rate = facts->sampleRate();
    ZEL_TRY(send(client, bridge::kUpdateSampleRate, msg));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::audioFactsChanged() {
    const int all = CParamInterfaceBaseConnector::kAllClients;
    ZEL_TRY(sendInternalChannelCount(all));
    ZEL_TRY(sendGroupCount(all));
    ZEL_TRY(sendIOChannelCounts(all));
    ZEL_TRY(sendSampleRate(all));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestInternalChannelCount(CPosInputStream&) {
    ZEL_TRY(sendInternalChannelCount(currentClient()));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestGroupCount(CPosInputStream&) {
    ZEL_TRY(sendGroupCount(currentClient()));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestIOChannelCounts(CPosInputStream&) {
    ZEL_TRY(sendIOChannelCounts(currentClient()));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestSampleRate(CPosInputStream&) {
    ZEL_TRY(sendSampleRate(currentClient()));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onImportChannelLabels(CPosInputStream& fields) {
    bridge::CTexts msg;
    ZEL_TRY(msg.read(fields));
    CAudioInterfaceDataProvider* facts = nullptr;
    ZEL_TRY(provider(facts));
    ZEL_TRY(facts->importChannelLabels(msg.texts));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::sendChannelLabels(const std::vector<CString>& labels) {
    return sendChannelLabels(CParamInterfaceBaseConnector::kAllClients, labels);
}

CErrorPtr CAudioInterfaceBase::sendChannelLabels(int client, const std::vector<CString>& labels) {
    bridge::CTexts msg;
    msg.texts = labels;
    ZEL_TRY(send(client, bridge::kImportChannelLabels, msg));
    return nullptr;
}

// ---------------------------------------------------------------- visualisation

void CAudioInterfaceBase::setVizListening(int client, bool listening) {
    const bool changed = listening ? m_vizClients.insert(client).second : m_vizClients.erase(client) > 0;
    if (!changed || !m_viz || m_vizAlwaysActive) return;
    if (listening && m_vizClients.size() == 1) m_viz->setActive(true);
    if (!listening && m_vizClients.empty()) m_viz->setActive(false);
}

CErrorPtr CAudioInterfaceBase::onListenViz(CPosInputStream&) {
    setVizListening(currentClient(), true);
    ZEL_TRY(send(currentClient(), bridge::kStartViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onUnlistenViz(CPosInputStream&) {
    setVizListening(currentClient(), false);
    ZEL_TRY(send(currentClient(), bridge::kStopViz));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestVizData(CPosInputStream&) {
    bridge::CVizData msg;
    if (m_viz)
        for (const CString& path : m_viz->producerPaths()) {
            bridge::CVizData::CStream stream;
            stream.path = path;
            if (const CAudioVizMeterStream* meter = m_viz->find(path))
                for (size_t channel = 0; channel < CAudioVizMeterStream::kMaxChannels; ++channel) {
                    CAudioVizMeterStream::CFrame frame;
                    if (meter->read(int(channel), frame))
                        stream.frames.push_back(
                            {uint32_t(channel), frame.group, uint32_t(frame.index), frame.data.level, frame.data.peak});
                }
            msg.streams.push_back(std::move(stream));
        }
    ZEL_TRY(send(currentClient(), bridge::kVizData, msg));
    return nullptr;
}

CErrorPtr CAudioInterfaceBase::onRequestExportSlotNames(CPosInputStream&) {
    bridge::CTexts msg;
    if (m_viz) msg.texts = m_viz->producerPaths();
    ZEL_TRY(send(currentClient(), bridge::kExportSlotNames, msg));
    return nullptr;
}

}  // namespace zel
