// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Audio/AudioEngine.h"
#include "Audio/AudioHostEdits.h"
#include "Audio/ParamChangeSet.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/Object.h"
#include "Core/Stream.h"

namespace zel {

class CAudioEnv;
class CAudioExtParam;
class CAudioExtParamList;
class CAudioInterfaceBase;
class CAudioParam;
class CAudioParamCollector;
class CAudioParamRegistry;
class CAudioCCTable;
class CAudioVizCollector;

// Tells the host that a host parameter changed inside the plug-in (editor,
// presets, undo): a single change as a complete edit, or a gesture's changes
// inside one edit that the host holds from its begin to its end.
class CAudioExtParamHostBridge {
public:
    virtual ~CAudioExtParamHostBridge() = default;
    virtual void reportExtParam(size_t index, double normalized) = 0;
    virtual void beginExtParamEdit(size_t index) = 0;
    virtual void performExtParamEdit(size_t index, double normalized) = 0;
    virtual void endExtParamEdit(size_t index) = 0;
};

// Instance facts the editor side asks for.
class CAudioInterfaceDataProvider {
public:
    virtual ~CAudioInterfaceDataProvider() = default;
    virtual size_t internalChannelCount() const = 0;
    virtual size_t groupCount() const = 0;
    // Host inputs, host outputs, side-chain inputs.
    virtual void ioChannelCounts(size_t& inputs, size_t& outputs, size_t& sidechain) const = 0;
    virtual double sampleRate() const = 0;
    // The host's input channel labels become the channel names ("Channel
    // label import" in the undo history).
    virtual CErrorPtr importChannelLabels(const std::vector<CString>& labels) = 0;
    // The names the host gives its input channels (none when it gives none).
    virtual std::vector<CString> hostChannelLabels() const { return {}; }
};

// Chooses the routing that matches a host channel layout.
class CAudioRoutingInfoProvider {
public:
    virtual ~CAudioRoutingInfoProvider() = default;
    virtual void applyRoutingLayout(size_t inputs, size_t outputs) = 0;
};

// The plug-in instance as a host layer sees it, without any host API:
// builds the instance tree and the engine, binds the host parameters, and
// processes host blocks in sub-blocks of at most 512 samples that end at
// every parameter event's offset. A host layer derives from it and
// implements the host callbacks.
class CAudioWrapper : public CAudioExtParamHostBridge,
                      public CAudioInterfaceDataProvider,
                      public CAudioRoutingInfoProvider {
public:
    static constexpr size_t kSubBlock = 512;
    static constexpr uint32_t kEventParamChange = 1;
    // The sample rates the plug-in processes; a host asking for another is
    // refused.
    static constexpr double kMinSampleRate = 8000;
    static constexpr double kMaxSampleRate = 768000;

    CAudioWrapper();
    ~CAudioWrapper() override;

    // The initialisation steps, in order; an error leaves the instance
    // unusable and is what the host layer reports.
    CErrorPtr init();
    // Releases the instance tree, the engine and the bindings; a later init
    // starts again exactly like a new instance's.
    void shutdown();

    // ---- host facts (host's main thread)
    void setupProcessing(double sampleRate, size_t maxBlock);
    void setOffline(bool offline);
    // Host channel counts (after a bus arrangement). A change of the counts
    // applies the layout's routing preset, unless it is the first
    // arrangement after a restored state: that state's routing was made for
    // it.
    void setIOChannels(size_t inputs, size_t outputs);
    // The names of the host's input channels, given to the editors with the
    // counts.
    void setHostChannelLabels(std::vector<CString> labels);
    void reset();
    long long latency() const;
    double tailSeconds() const { return m_tailSeconds; }
    long long tailSamples() const;

    // ---- host parameters: the entries of plugin.ext-param-list
    size_t extParamCount() const { return m_extParams.size(); }
    const CAudioExtParam& extParam(size_t index) const { return *m_extParams[index]; }
    double extParamNormalized(size_t index) const;
    // A change from the host outside processing (controller thread).
    void setExtParamNormalized(size_t index, double normalized);
    CString extParamText(size_t index, double normalized) const;
    // The parameter's plain value for a normalised one and back, through
    // its converter (a digit's 0 to 9, the unit's index, the switch's 0 or 1).
    double extParamToPlain(size_t index, double normalized) const;
    double extParamToNormalized(size_t index, double plain) const;
    bool extParamFromText(size_t index, const CString& text, double& normalized) const;
    // Steps of the host parameter (0: continuous).
    int extParamSteps(size_t index) const;
    // The host parameter that MIDI controller `controller` drives, from the
    // controller table: the first entry of the parameter it names. False
    // when it names none, or one the host does not see.
    bool controllerExtParam(size_t controller, size_t& index) const;

    // ---- processing (audio thread)
    // A host parameter change at `offset` samples into the next block. Past
    // 4096 changes in a block, a parameter keeps only its latest change.
    void queueEvent(uint32_t offset, uint32_t type, int32_t index, double normalized);
    void process(const float* const* inputs, size_t numInputs, float* const* outputs, size_t numOutputs, size_t n);
    void process(const double* const* inputs, size_t numInputs, double* const* outputs, size_t numOutputs, size_t n);
    // The host switches offline rendering from its audio thread: the same
    // path as automation.
    void setOfflineFromAudio(bool offline);

    // ---- the UI or controller thread, regularly: takes over what the audio
    // thread changed (host automation) into the parameters, their filters,
    // the editor and the host's view.
    void idle();

    // ---- state
    CErrorPtr saveState(COutputStream& out);
    CErrorPtr restoreState(CInputStream& in);

    // ---- the instance
    CObject& root() { return m_root; }
    CObject& plugin() { return *m_plugin; }
    CAudioParamRegistry& registry() { return *m_registry; }
    CAudioInterfaceBase& interfaceBase() { return *m_interfaceBase; }
    CAudioEngine& engine() { return m_engine; }
    // The instance's own UI settings ("ui.local-data" of its editors),
    // saved with its state.
    CAppDataInstance& uiSettings() { return m_uiSettings; }
    static constexpr uint32_t kUiSettingsMark = makeTag("auis");

    // CAudioInterfaceDataProvider
    size_t internalChannelCount() const override { return m_internalChannels; }
    size_t groupCount() const override { return m_groupCount; }
    void ioChannelCounts(size_t& inputs, size_t& outputs, size_t& sidechain) const override;
    double sampleRate() const override;
    CErrorPtr importChannelLabels(const std::vector<CString>& labels) override;
    std::vector<CString> hostChannelLabels() const override;
    // CAudioRoutingInfoProvider
    void applyRoutingLayout(size_t inputs, size_t outputs) override;

protected:
    // Closes the host edits of the gestures under way (the host's handler
    // goes or is replaced).
    void endHostEdits() { m_hostEdits.endAll(); }

    // Host callbacks of the host layer.
    virtual void onLatencyChanged() {}
    virtual void onProgramChanged(int /*program*/) {}
    // The preset-name parameter changed, and with it the current program's
    // name; called on the changing thread, possibly inside the undo lock.
    virtual void onProgramNameChanged() {}

public:
    // A parameter tied to a global setting that every instance shares: a
    // change of the parameter writes the setting, and a change of the
    // setting (from any instance) sets the parameter.
    class CGlobalParam {
    public:
        CGlobalParam(CAudioParamCollector& collector, CAudioParam& param, CString key);
        // Takes the stored setting, when there is one.
        void load();
        // The parameter changed: store it (unless the store is the source).
        void store();
        CAudioParam& param() const { return m_param; }

    private:
        void onStoreChanged(CAppData& store, const CString& item);

        CAudioParamCollector& m_collector;
        CAudioParam& m_param;
        CString m_key;
        bool m_applying = false;
        bool m_writing = false;
        CAppDataListener<CGlobalParam> m_dataListener;
    };
    const std::vector<std::unique_ptr<CGlobalParam>>& globalParams() const { return m_globals; }

private:
    struct CEvent {
        uint32_t offset;
        uint32_t type;
        int32_t index;
        double value;
    };
    template <class T>
    void processBlock(const T* const* inputs, size_t numInputs, T* const* outputs, size_t numOutputs, size_t n);
    // The steps of init after the instance tree is made: the project's facts,
    // the instance's objects and engine, the global settings, the slots that
    // carry host automation.
    CErrorPtr checkProject(const CObject& project);
    CErrorPtr bindInstance(const CObject& audio, const CObject& project);
    void bindGlobals(const CObject& project);
    void bindHostSlots();
    void dispatch(const CEvent& e);
    void setHostParam(const char* name, double value);
    void latencyChanged();
    // Host parameters changed inside the plug-in go to the host.
    void reportChanges(const CAudioParamChangeSet& changes);

    // First, so that it goes last: the tree below needs the application.
    CApplicationHold m_applicationHold;
    CObject m_root;
    CObject* m_plugin = nullptr;
    CAudioEnv* m_env = nullptr;
    CAudioParamCollector* m_collector = nullptr;
    CAudioVizCollector* m_viz = nullptr;
    CAudioInterfaceBase* m_interfaceBase = nullptr;
    CAudioExtParamList* m_extParamList = nullptr;
    CAudioCCTable* m_ccTable = nullptr;
    CAudioParamRegistry* m_registry = nullptr;
    std::vector<CAudioExtParam*> m_extParams;
    std::vector<std::unique_ptr<CGlobalParam>> m_globals;
    CAudioEngine m_engine;
    CAppDataInstance m_uiSettings;
    CAudioHostEdits m_hostEdits{*this};

    size_t m_internalChannels = 0;
    size_t m_groupCount = 0;
    double m_tailSeconds = 0.4;
    size_t m_inputs = 2;
    size_t m_outputs = 2;
    bool m_layoutApplied = false;  // the counts' routing preset was applied once
    bool m_routingRestored = false;
    std::mutex m_routingLock;
    mutable std::mutex m_labelsLock;
    std::vector<CString> m_hostChannelLabels;

    std::vector<CEvent> m_events;  // capacity reserved at init
    CAudioParam* m_offlineParam = nullptr;
    // The collector's automation slot of each host parameter, and of the
    // offline switch.
    std::vector<size_t> m_extSlots;
    size_t m_offlineSlot = SIZE_MAX;
    size_t m_engineChannels = 0;  // channels the engine takes, once it is set up
};

}  // namespace zel
