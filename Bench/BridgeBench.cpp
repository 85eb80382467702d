// SPDX-License-Identifier: GPL-3.0-or-later
// What one editor frame costs the bridge while the host automates all 49
// host parameters: the 49 changes, the refresh that tells the editor, and
// the delivery of the updates on the editor's thread. The editor listens to
// the parameters of the main window's bridges.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "Audio/AudioWrapper.h"
#include "Audio/Param.h"
#include "Other/AudioInterfaceBase.h"
#include "Other/AudioInterfaceClient.h"
#include "Other/ParamInterfaceConnector.h"
#include "Platform/RunLoop.h"

using namespace zel;

namespace {

class CBenchWrapper final : public CAudioWrapper {
public:
    void reportExtParam(size_t, double) override {}
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t, double) override {}
    void endExtParamEdit(size_t) override {}
};

const char* const kListened[] = {"ab-state",
                                 "bypass-enable",
                                 "instance-name",
                                 "host-oversampling-mode",
                                 "host-offline",
                                 "host-latency-change",
                                 "meter-rmstime",
                                 "meter-releasetime",
                                 "meter-peaktime",
                                 "groupsel",
                                 "io-params.in-channel-names",
                                 "io-params.group-names",
                                 "io-params.show-all-channels",
                                 "io-params.in-routing",
                                 "io-params.out-routing",
                                 "io-params.grouping",
                                 "io-params.channel-group-solo",
                                 "io-params.ms-pairs",
                                 "uicolor-params.palette",
                                 "uicolor-params.mode-name",
                                 "modLagwell.adelay",
                                 "modLagwell.sdelay",
                                 "modLagwell.delay-time-mode",
                                 "modOutGain.gain"};

void deliver() {
    platform::standaloneRunLoop().runUntil([] { return true; }, 1000);
}

// An instance with one editor that listens to the main window's
// parameters; the benchmark is its frame clock.
struct CBenchEditor {
    CBenchWrapper w;
    CAudioInterfaceClient* client = nullptr;
    size_t listened = 0;

    CBenchEditor() {
        if (w.init()) std::abort();
        CObject* editor = nullptr;
        CParamInterfaceClientConnectorUni* connector = nullptr;
        if (w.root().createChild("core:object", "ui", editor) ||
            editor->createChild("other:param-interface-client-connector-uni", "connector", connector) ||
            editor->createChild("audio:interface-client", "client", client))
            std::abort();
        connector->setAttr("base-connector", w.plugin().fullName() + ".interface-base-connector");
        client->setAttr("client-connector", "ui.connector");
        client->setAttr("group-names-param", w.plugin().fullName() + ".modMain.io-params.group-names");
        client->setAttr("fps", "0");
        if (editor->init()) std::abort();
        for (const char* name : kListened) {
            const CString full = w.plugin().fullName() + ".modMain." + name;
            if (!w.root().findObject(full)) continue;
            CParamInterfaceClient::CParam* p = nullptr;
            if (client->listenParam(full, p)) std::abort();
            ++listened;
        }
    }
    void frame() {
        w.interfaceBase().refresh();
        deliver();
    }
};

void BM_EditorFrameWith49HostChanges(benchmark::State& state) {
    CBenchEditor e;
    e.frame();
    const size_t changes = e.w.extParamCount();
    bool high = false;
    for (auto _ : state) {
        high = !high;
        for (size_t i = 0; i < changes; ++i) e.w.setExtParamNormalized(i, high ? 0.6 : 0.3);
        e.frame();
    }
    state.counters["changes"] = double(changes);
    state.counters["listened"] = double(e.listened);
}
BENCHMARK(BM_EditorFrameWith49HostChanges)->Unit(benchmark::kMicrosecond);

// A frame in which nothing changed, the master registry listened to as well:
// what an open editor costs at rest, frame after frame.
void BM_IdleEditorFrame(benchmark::State& state) {
    CBenchEditor e;
    CParamInterfaceClient::CRegistry* registry = nullptr;
    if (e.client->listenRegistry("param-registry", registry)) std::abort();
    e.frame();
    for (auto _ : state) e.frame();
}
BENCHMARK(BM_IdleEditorFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
