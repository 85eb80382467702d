// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <set>
#include <vector>

#include "Other/ParamInterfaceBase.h"

namespace zel {

class CAudioInterfaceDataProvider;
class CAudioVizCollector;

// `audio:interface-base`: the audio side of an instance's editor bridge. To
// the parameter base it adds the instance's audio facts (from the provider
// the host-neutral wrapper sets), the visualisation data of the meters
// (`viz-collector`) and the import of the host's channel labels.
class CAudioInterfaceBase final : public CParamInterfaceBase {
public:
    CErrorPtr init() override;

    // Set by the wrapper before editors connect; may stay null.
    void setDataProvider(CAudioInterfaceDataProvider* provider) { m_provider = provider; }
    // Tells every client the audio facts again, after the host changed them.
    CErrorPtr audioFactsChanged();
    // Hands the host's channel labels to every client.
    CErrorPtr sendChannelLabels(const std::vector<CString>& labels);
    CErrorPtr sendChannelLabels(int client, const std::vector<CString>& labels);

protected:
    CErrorPtr dispatchClientMessage(const CString& name, CPosInputStream& fields) override;
    void forgetClient(int client) override;

private:
    static const bridge::CDispatchTable<CAudioInterfaceBase>& handlers();

    CErrorPtr onListenViz(CPosInputStream& fields);
    CErrorPtr onUnlistenViz(CPosInputStream& fields);
    CErrorPtr onRequestVizData(CPosInputStream& fields);
    CErrorPtr onRequestExportSlotNames(CPosInputStream& fields);
    CErrorPtr onRequestInternalChannelCount(CPosInputStream& fields);
    CErrorPtr onRequestGroupCount(CPosInputStream& fields);
    CErrorPtr onRequestIOChannelCounts(CPosInputStream& fields);
    CErrorPtr onRequestSampleRate(CPosInputStream& fields);
    CErrorPtr onImportChannelLabels(CPosInputStream& fields);

    CErrorPtr provider(CAudioInterfaceDataProvider*& out) const;
    // One of the provider's counts as a count message.
    CErrorPtr sendCount(int client, const char* message, size_t (CAudioInterfaceDataProvider::*count)() const);
    CErrorPtr sendInternalChannelCount(int client);
    CErrorPtr sendGroupCount(int client);
    CErrorPtr sendIOChannelCounts(int client);
    CErrorPtr sendSampleRate(int client);
    // Meters run while an editor looks, unless the project keeps them
    // running always.
    void setVizListening(int client, bool listening);

    CAudioVizCollector* m_viz = nullptr;
    bool m_vizAlwaysActive = false;
    std::set<int> m_vizClients;
    std::atomic<CAudioInterfaceDataProvider*> m_provider{nullptr};
};

}  // namespace zel
