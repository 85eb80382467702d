// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Other/ParamInterfaceClient.h"

namespace zel {

// `audio:interface-client`: the editor's client of a plug-in instance. Adds
// the instance's audio facts, its visualisation data and the host's channel
// labels, each raised under its message's name when it arrives, and follows
// the channel-group names (`group-names-param`), raising
// "group-names-changed".
class CAudioInterfaceClient : public CParamInterfaceClient {
public:
    // "import-host-channel-labels" (a button's command) takes the host's
    // channel labels into the instance's channel names.
    static void setupClass(CClassInfo& info);
    // Asks for the audio facts and starts following the group names.
    CErrorPtr init() override;
    // Also asks for the audio facts again and, while the views watch the
    // meters, listens to them again.
    CErrorPtr connectorConnected() override;

    size_t internalChannelCount() const { return m_internalChannels; }
    size_t groupCount() const { return m_groups; }
    const bridge::CIOChannelCounts& ioChannelCounts() const { return m_io; }
    double sampleRate() const { return m_sampleRate; }
    const std::vector<CString>& exportSlotNames() const { return m_exportSlots; }
    const std::vector<CString>& groupNames() const { return m_groupNames; }
    const std::vector<CString>& channelLabels() const { return m_channelLabels; }

    CErrorPtr requestAudioFacts();
    CErrorPtr importChannelLabels(const std::vector<CString>& labels);

    // Between "start-viz" and "stop-viz".
    bool isVizActive() const { return m_vizActive; }
    // The latest meter frames, per producer.
    const std::vector<bridge::CVizData::CStream>& vizData() const { return m_viz; }
    CErrorPtr listenViz();
    CErrorPtr unlistenViz();
    CErrorPtr requestVizData();

protected:
    CErrorPtr dispatchBaseMessage(const CString& name, CPosInputStream& fields) override;
    void clearReceived() override;

private:
    class CGroupNamesParamListener final : public CUpdateListener {
    public:
        explicit CGroupNamesParamListener(CAudioInterfaceClient& owner) : m_owner(owner) {}
        ~CGroupNamesParamListener() override { detach(); }
        void update(CUpdateNotifier& notifier, const CString& what) override;

    private:
        CAudioInterfaceClient& m_owner;
    };

    static const bridge::CDispatchTable<CAudioInterfaceClient>& handlers();

    CErrorPtr onUpdateInternalChannelCount(CPosInputStream& fields);
    CErrorPtr onUpdateGroupCount(CPosInputStream& fields);
    CErrorPtr onUpdateIOChannelCounts(CPosInputStream& fields);
    CErrorPtr onUpdateSampleRate(CPosInputStream& fields);
    CErrorPtr onExportSlotNames(CPosInputStream& fields);
    CErrorPtr onImportChannelLabels(CPosInputStream& fields);
    CErrorPtr onImportHostChannelLabels(CObject* params, CObject* sender);
    CErrorPtr onStartViz(CPosInputStream& fields);
    CErrorPtr onStopViz(CPosInputStream& fields);
    CErrorPtr onVizData(CPosInputStream& fields);

    size_t m_internalChannels = 0;
    size_t m_groups = 0;
    bridge::CIOChannelCounts m_io;
    double m_sampleRate = 0.0;
    std::vector<CString> m_exportSlots;
    std::vector<CString> m_groupNames;
    std::vector<CString> m_channelLabels;
    bool m_vizActive = false;
    // Between listenViz() and unlistenViz(), whatever the base answered.
    bool m_vizListening = false;
    std::vector<bridge::CVizData::CStream> m_viz;
    CGroupNamesParamListener m_groupNamesListener{*this};
};

}  // namespace zel
