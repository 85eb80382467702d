// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>

#include "Audio/AudioWrapper.h"
#include "Audio/VST/SingleComponentEffect.h"
#include "pluginterfaces/gui/iplugview.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace zel {

class CAudioParamRegistry;

// Automation points of one parameter and block that become events; a
// longer queue is thinned to 31 evenly spaced points and its last one.
constexpr size_t kMaxPointsPerQueue = 32;
// The point of a queue of `count` points that becomes event `i`.
size_t thinnedPoint(size_t i, size_t count);

// A host parameter: one entry of the host parameter list. Its value and
// texts are the wrapper's; the host's id is the entry's index.
class CAudioWrapperVST3Parameter final : public Steinberg::Vst::Parameter {
public:
    CAudioWrapperVST3Parameter(CAudioWrapper& wrapper, size_t index);

    bool setNormalized(Steinberg::Vst::ParamValue value) override;
    void toString(Steinberg::Vst::ParamValue value, Steinberg::Vst::String128 text) const override;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& value) const override;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue value) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    OBJ_METHODS(CAudioWrapperVST3Parameter, Steinberg::Vst::Parameter)

private:
    CAudioWrapper& m_wrapper;
    size_t m_index;
};

// The program change parameter: a list over the programs of the master
// registry's session bank.
class CAudioWrapperVST3ProgramParameter final : public Steinberg::Vst::Parameter {
public:
    CAudioWrapperVST3ProgramParameter(CAudioParamRegistry& registry, Steinberg::Vst::ParamID id);

    // The registry's current program, normalised.
    Steinberg::Vst::ParamValue current() const;
    void setProgramCount(Steinberg::int32 count);

    bool setNormalized(Steinberg::Vst::ParamValue value) override;
    void toString(Steinberg::Vst::ParamValue value, Steinberg::Vst::String128 text) const override;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& value) const override;
    // Plain values are program indices.
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue value) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

    OBJ_METHODS(CAudioWrapperVST3ProgramParameter, Steinberg::Vst::Parameter)

private:
    CAudioParamRegistry& m_registry;
};

// The program list "Programs" of the root unit; names are read from the
// session bank when asked for, so renamed programs show at once.
class CAudioWrapperVST3ProgramList final : public Steinberg::Vst::ProgramList {
public:
    static constexpr Steinberg::Vst::ProgramListID kId = 1;

    explicit CAudioWrapperVST3ProgramList(CAudioParamRegistry& registry);

    void setCount(Steinberg::int32 count) { info.programCount = count; }
    Steinberg::tresult getProgramName(Steinberg::int32 index, Steinberg::Vst::String128 name) override;

    OBJ_METHODS(CAudioWrapperVST3ProgramList, Steinberg::Vst::ProgramList)

private:
    CAudioParamRegistry& m_registry;
};

class CAudioWrapperVST3;

// Runs an instance's idle round from the host's run loop.
class CAudioWrapperVST3IdleTimer final : public Steinberg::FObject, public Steinberg::Linux::ITimerHandler {
public:
    explicit CAudioWrapperVST3IdleTimer(CAudioWrapperVST3& owner) : m_owner(&owner) {}
    // The instance is going: the host may still call the timer once.
    void detach() { m_owner = nullptr; }
    void PLUGIN_API onTimer() override;

    OBJ_METHODS(CAudioWrapperVST3IdleTimer, Steinberg::FObject)
    DEF_INTERFACES_1(Steinberg::Linux::ITimerHandler, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    CAudioWrapperVST3* m_owner;
};

// The plug-in instance for VST3 hosts: a single-component effect over the
// host-neutral wrapper. Host parameter ids are the indices of the host
// parameter list, followed by the program parameter.
//
// Calls back into the host never happen inside setState or
// setComponentState, nor in what a host calls right after them under the
// same lock (getParamNormalized): they wait for the next idle round, which
// the host's run loop calls on the UI thread. A host without a run loop
// gets the idle round at its next call that may hear from the plug-in: a
// value set, a parameter's information or text, the component handler,
// the view, the processing set-up or activation, the bus arrangement.
class CAudioWrapperVST3 final : public CSingleComponentEffect,
                                public Steinberg::Vst::IMidiMapping,
                                public CAudioWrapper {
public:
    Steinberg::Vst::ParamID programParamId() const { return static_cast<Steinberg::Vst::ParamID>(extParamCount()); }

    // IPluginBase: a terminated instance initialises again like a new one.
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;

    // The UI thread's regular round: the audio thread's automation and the
    // host calls that had to wait.
    void hostIdle();

    // IComponent, IEditController: see the class comment.
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;

    // IEditController. Every index, pointer and value from the host is
    // checked here: the SDK's own versions index with at() and throw.
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                   Steinberg::Vst::ParameterInfo& info) override;
    Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value,
                                                        Steinberg::Vst::String128 string) override;
    Steinberg::tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID id, Steinberg::Vst::TChar* string,
                                                        Steinberg::Vst::ParamValue& value) override;
    Steinberg::Vst::ParamValue PLUGIN_API normalizedParamToPlain(Steinberg::Vst::ParamID id,
                                                                 Steinberg::Vst::ParamValue value) override;
    Steinberg::Vst::ParamValue PLUGIN_API plainParamToNormalized(Steinberg::Vst::ParamID id,
                                                                 Steinberg::Vst::ParamValue plain) override;
    Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                     Steinberg::Vst::ParamValue value) override;

    // "editor": the editor's view; no other view exists.
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // IUnitInfo
    Steinberg::tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;
    Steinberg::tresult PLUGIN_API getProgramInfo(Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
                                                 Steinberg::Vst::CString attributeId,
                                                 Steinberg::Vst::String128 attributeValue) override;
    Steinberg::tresult PLUGIN_API getProgramPitchName(Steinberg::Vst::ProgramListID listId,
                                                      Steinberg::int32 programIndex, Steinberg::int16 midiPitch,
                                                      Steinberg::Vst::String128 name) override;

    // IAudioProcessor
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) override;
    Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::uint32 PLUGIN_API getTailSamples() override;

    // IMidiMapping: the controller table ("ccmap") says which host
    // parameter a MIDI controller drives, on every channel of "MIDI In".
    Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                              Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                              Steinberg::Vst::ParamID& id) override;

    // CAudioExtParamHostBridge
    void reportExtParam(size_t index, double normalized) override;
    void beginExtParamEdit(size_t index) override;
    void performExtParamEdit(size_t index, double normalized) override;
    void endExtParamEdit(size_t index) override;

    OBJ_METHODS(CAudioWrapperVST3, CSingleComponentEffect)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Vst::IMidiMapping)
    END_DEFINE_INTERFACES(CSingleComponentEffect)
    REFCOUNT_METHODS(CSingleComponentEffect)

protected:
    Steinberg::tresult setComponentData(Steinberg::IBStream* state) override;
    Steinberg::tresult getComponentData(Steinberg::IBStream* state) override;
    void onLatencyChanged() override;
    void onProgramChanged(int program) override;
    void onProgramNameChanged() override;

private:
    Steinberg::tresult restore(Steinberg::IBStream* state);
    // restartComponent, now or (inside a state call) at the next idle round.
    void restartComponent(Steinberg::int32 flags);
    // The idle round, when no run loop brings it.
    void idleWithoutRunLoop();
    void queueChanges(Steinberg::Vst::IParameterChanges& changes, Steinberg::int32 numSamples);
    // The session bank may have been replaced by one of another size.
    void refreshPrograms();
    void reportToHost(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

    CAudioWrapperVST3ProgramList* m_programList = nullptr;
    CAudioWrapperVST3ProgramParameter* m_programParam = nullptr;
    Steinberg::int32 m_processMode = Steinberg::Vst::kRealtime;
    // Without a run loop, the host may call from several threads of its own.
    std::atomic<int> m_insideState{0};
    std::atomic<Steinberg::int32> m_pendingRestart{0};
    std::atomic<bool> m_pendingProgramList{false};
    std::atomic<bool> m_idling{false};
    // A program change from process(), normalised; negative: none. The UI
    // thread's idle round applies it.
    std::atomic<double> m_programFromAudio{-1.0};
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> m_runLoop;
    Steinberg::IPtr<CAudioWrapperVST3IdleTimer> m_idleTimer;
    // What setupProcessing agreed; a process call that claims another size
    // is refused, since its buffers are not what it says.
    Steinberg::int32 m_sampleSize = Steinberg::Vst::kSample32;
    bool m_initialised = false;
};

}  // namespace zel
