// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One plug-in instance as a host drives it: the component and its edit
// controller (the same object for a single-component plug-in, otherwise a
// second instance connected through IConnectionPoint), the buses, the
// parameters and programs, processing on the main buses and the state.
// Failures of the set-up steps throw HostError; process returns the
// plug-in's result.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostContext.h"
#include "Module.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"

namespace lagwell::host {

struct Parameter {
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    std::string shortTitle;
    std::string units;
    Steinberg::int32 stepCount = 0;
    Steinberg::Vst::ParamValue defaultNormalized = 0;
    Steinberg::Vst::UnitID unitId = 0;
    Steinberg::int32 flags = 0;
};

struct Bus {
    std::string name;
    Steinberg::int32 channelCount = 0;
    Steinberg::Vst::BusType type = 0;
    Steinberg::uint32 flags = 0;
};

// The channels of the main buses for one process call; the other audio
// buses are kept inactive and get no sample buffers.
template <class Sample>
struct MainBuses {
    Sample* const* inputs = nullptr;
    Steinberg::int32 numInputs = 0;
    Sample* const* outputs = nullptr;
    Steinberg::int32 numOutputs = 0;
};

// A usual speaker arrangement of 1 to 8 channels (mono, stereo, LRC, quad,
// 5.0, 5.1, 6.1, 7.1), the empty one for 0.
Steinberg::Vst::SpeakerArrangement arrangementFor(int channels);

class Plugin {
public:
    Plugin(std::shared_ptr<Module> module, const ClassInfo& cls);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    Steinberg::Vst::IComponent* component() const { return m_component; }
    Steinberg::Vst::IAudioProcessor* processor() const { return m_processor; }
    Steinberg::Vst::IEditController* controller() const { return m_controller; }
    bool isSingleComponent() const { return m_single; }
    ComponentHandler& handler() { return m_handler; }

    // ---- buses
    std::vector<Bus> buses(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection direction) const;
    // Asks for these channel counts on the main buses; the other buses keep
    // their arrangement. True when the plug-in accepts them.
    bool setMainChannels(int inputs, int outputs);
    // The current channel count of the main bus (0 without one).
    int mainChannels(Steinberg::Vst::BusDirection direction) const;

    // ---- parameters and programs
    std::vector<Parameter> parameters() const;
    // By exact title, else by a title that matches regardless of case.
    std::optional<Parameter> findParameter(const std::string& title) const;
    // The parameter flagged as program change, if any.
    std::optional<Parameter> programParameter() const;
    // The program names of the program parameter's unit, or its value texts.
    std::vector<std::string> programNames() const;
    std::string valueText(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue normalized) const;
    // The parameter that a MIDI controller drives, as the plug-in's MIDI
    // mapping says (none without a mapping). A host sends the controller's
    // value, 0 to 127, as that parameter's normalised value / 127.
    std::optional<Steinberg::Vst::ParamID> midiControllerParameter(Steinberg::int32 bus, Steinberg::int16 channel,
                                                                   Steinberg::Vst::CtrlNumber controller) const;
    std::optional<Steinberg::Vst::ParamValue> valueFromText(Steinberg::Vst::ParamID id, const std::string& text) const;
    // A value a person gives: a displayed value ("On", "12.5"), else a plain
    // number, or a normalized one with the suffix "n" ("0.25n").
    std::optional<Steinberg::Vst::ParamValue> parseValue(Steinberg::Vst::ParamID id, const std::string& text) const;

    // ---- processing
    void setupProcessing(double sampleRate, Steinberg::int32 maxBlock, Steinberg::int32 sampleSize,
                         Steinberg::int32 processMode);
    // setActive and setProcessing; stop undoes both.
    void start();
    void stop();
    Steinberg::tresult process(Steinberg::int32 numSamples, const MainBuses<float>& audio,
                               Steinberg::Vst::IParameterChanges* in = nullptr,
                               Steinberg::Vst::IParameterChanges* out = nullptr);
    Steinberg::tresult process(Steinberg::int32 numSamples, const MainBuses<double>& audio,
                               Steinberg::Vst::IParameterChanges* in = nullptr,
                               Steinberg::Vst::IParameterChanges* out = nullptr);
    // A call without samples or buses that delivers parameter changes.
    Steinberg::tresult flush(Steinberg::Vst::IParameterChanges& in, Steinberg::Vst::IParameterChanges* out = nullptr);

    // ---- state
    std::vector<uint8_t> saveState() const;
    // The component's setState, then the controller's setComponentState.
    void loadState(const std::vector<uint8_t>& state);

private:
    template <class Sample>
    Steinberg::tresult processMain(Steinberg::int32 numSamples, const MainBuses<Sample>& audio,
                                   Steinberg::Vst::IParameterChanges* in, Steinberg::Vst::IParameterChanges* out);
    Steinberg::tresult run(Steinberg::Vst::ProcessData& data);
    void open(const ClassInfo& cls);
    void close();
    void activateBuses();
    void prepareAuxBuses();

    std::shared_ptr<Module> m_module;
    Steinberg::IPtr<Steinberg::Vst::IComponent> m_component;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> m_processor;
    Steinberg::IPtr<Steinberg::Vst::IEditController> m_controller;
    Steinberg::IPtr<Steinberg::Vst::IUnitInfo> m_unitInfo;
    Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> m_componentPoint;
    Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> m_controllerPoint;
    bool m_single = false;
    bool m_componentInitialized = false;
    bool m_controllerInitialized = false;
    ComponentHandler m_handler;

    Steinberg::int32 m_sampleSize = Steinberg::Vst::kSample32;
    Steinberg::int32 m_processMode = Steinberg::Vst::kRealtime;
    double m_sampleRate = 44100;
    bool m_active = false;
    bool m_processing = false;
    Steinberg::Vst::ProcessContext m_context{};
    // Audio buses of both directions: index 0 is the main bus, the others
    // (inactive) get channel arrays of null buffers.
    std::vector<Steinberg::Vst::AudioBusBuffers> m_inputs;
    std::vector<Steinberg::Vst::AudioBusBuffers> m_outputs;
    std::vector<Steinberg::Vst::Sample32*> m_null32;
    std::vector<Steinberg::Vst::Sample64*> m_null64;
};

}  // namespace lagwell::host
