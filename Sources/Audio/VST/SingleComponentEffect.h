// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace zel {

// IComponent and IEditController both declare setState and getState with
// one signature, so one override would serve both. These two bases give
// each interface's pair its own name.
class CComponentStateCalls : public Steinberg::Vst::IComponent {
public:
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) final { return setComponentData(state); }
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) final { return getComponentData(state); }

protected:
    virtual Steinberg::tresult setComponentData(Steinberg::IBStream* state) = 0;
    virtual Steinberg::tresult getComponentData(Steinberg::IBStream* state) = 0;
};

// The component state holds everything; the controller has no state of
// its own and accepts whatever the host stored for it.
class CControllerStateCalls : public Steinberg::Vst::EditControllerEx1 {
public:
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) final {
        return state ? Steinberg::kResultOk : Steinberg::kInvalidArgument;
    }
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) final {
        return state ? Steinberg::kResultOk : Steinberg::kInvalidArgument;
    }
};

// Processor and edit controller in one object (a plug-in that cannot be
// distributed across processes): the edit controller with units of the
// SDK, plus the component's audio buses and event inputs. The derived class
// does the processing.
class CSingleComponentEffect : public CControllerStateCalls,
                               public CComponentStateCalls,
                               public Steinberg::Vst::IAudioProcessor {
public:
    CSingleComponentEffect();

    Steinberg::tresult PLUGIN_API terminate() override;

    // IComponent
    Steinberg::tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
    Steinberg::tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    Steinberg::int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) override;
    Steinberg::tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                             Steinberg::int32 index, Steinberg::Vst::BusInfo& info) override;
    Steinberg::tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                                 Steinberg::Vst::RoutingInfo& outInfo) override;
    Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                              Steinberg::int32 index, Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;

    // IAudioProcessor
    Steinberg::tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                                    Steinberg::Vst::SpeakerArrangement& arr) override;

    OBJ_METHODS(CSingleComponentEffect, Steinberg::Vst::EditControllerEx1)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Vst::IComponent)
    DEF_INTERFACE(Steinberg::Vst::IAudioProcessor)
    END_DEFINE_INTERFACES(Steinberg::Vst::EditControllerEx1)
    REFCOUNT_METHODS(Steinberg::Vst::EditControllerEx1)

protected:
    Steinberg::Vst::AudioBus* addAudioInput(const Steinberg::Vst::TChar* name, Steinberg::Vst::SpeakerArrangement arr);
    Steinberg::Vst::AudioBus* addAudioOutput(const Steinberg::Vst::TChar* name, Steinberg::Vst::SpeakerArrangement arr);
    Steinberg::Vst::EventBus* addEventInput(const Steinberg::Vst::TChar* name, Steinberg::int32 channels);
    Steinberg::Vst::BusList* busList(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir);

    Steinberg::Vst::BusList m_audioInputs;
    Steinberg::Vst::BusList m_audioOutputs;
    Steinberg::Vst::BusList m_eventInputs;
};

}  // namespace zel
