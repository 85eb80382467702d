// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/SingleComponentEffect.h"

namespace zel {

using Steinberg::int32;
using Steinberg::kNotImplemented;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::TBool;
using Steinberg::tresult;
namespace Vst = Steinberg::Vst;

CSingleComponentEffect::CSingleComponentEffect()
    : m_audioInputs(Vst::kAudio, Vst::kInput),
      m_audioOutputs(Vst::kAudio, Vst::kOutput),
      m_eventInputs(Vst::kEvent, Vst::kInput) {}

tresult PLUGIN_API CSingleComponentEffect::terminate() {
    m_audioInputs.clear();
    m_audioOutputs.clear();
    m_eventInputs.clear();
    return EditControllerEx1::terminate();
}

// There is no separate controller class: the host finds the controller by
// asking this object for IEditController.
tresult PLUGIN_API CSingleComponentEffect::getControllerClassId(Steinberg::TUID) { return kNotImplemented; }

tresult PLUGIN_API CSingleComponentEffect::setIoMode(Vst::IoMode) { return kNotImplemented; }

Vst::BusList* CSingleComponentEffect::busList(Vst::MediaType type, Vst::BusDirection dir) {
    if (type == Vst::kAudio) return dir == Vst::kInput ? &m_audioInputs : &m_audioOutputs;
    if (type == Vst::kEvent && dir == Vst::kInput) return &m_eventInputs;
    return nullptr;
}

int32 PLUGIN_API CSingleComponentEffect::getBusCount(Vst::MediaType type, Vst::BusDirection dir) {
    Vst::BusList* list = busList(type, dir);
    return list ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API CSingleComponentEffect::getBusInfo(Vst::MediaType type, Vst::BusDirection dir, int32 index,
                                                      Vst::BusInfo& info) {
    Vst::BusList* list = busList(type, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size())) return kResultFalse;
    info.mediaType = type;
    info.direction = dir;
    return list->at(index)->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CSingleComponentEffect::getRoutingInfo(Vst::RoutingInfo&, Vst::RoutingInfo&) {
    return kNotImplemented;
}

tresult PLUGIN_API CSingleComponentEffect::activateBus(Vst::MediaType type, Vst::BusDirection dir, int32 index,
                                                       TBool state) {
    Vst::BusList* list = busList(type, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size())) return kResultFalse;
    list->at(index)->setActive(state);
    return kResultTrue;
}

tresult PLUGIN_API CSingleComponentEffect::setActive(TBool) { return kResultOk; }

tresult PLUGIN_API CSingleComponentEffect::getBusArrangement(Vst::BusDirection dir, int32 index,
                                                             Vst::SpeakerArrangement& arr) {
    Vst::BusList& list = dir == Vst::kInput ? m_audioInputs : m_audioOutputs;
    if (index < 0 || index >= static_cast<int32>(list.size())) return kResultFalse;
    arr = static_cast<Vst::AudioBus*>(list.at(index).get())->getArrangement();
    return kResultTrue;
}

Vst::AudioBus* CSingleComponentEffect::addAudioInput(const Vst::TChar* name, Vst::SpeakerArrangement arr) {
    auto* bus = new Vst::AudioBus(name, Vst::kMain, Vst::BusInfo::kDefaultActive, arr);
    m_audioInputs.push_back(Steinberg::IPtr<Vst::Bus>(bus, false));
    return bus;
}

Vst::AudioBus* CSingleComponentEffect::addAudioOutput(const Vst::TChar* name, Vst::SpeakerArrangement arr) {
    auto* bus = new Vst::AudioBus(name, Vst::kMain, Vst::BusInfo::kDefaultActive, arr);
    m_audioOutputs.push_back(Steinberg::IPtr<Vst::Bus>(bus, false));
    return bus;
}

Vst::EventBus* CSingleComponentEffect::addEventInput(const Vst::TChar* name, int32 channels) {
    auto* bus = new Vst::EventBus(name, Vst::kMain, 0, channels);
    m_eventInputs.push_back(Steinberg::IPtr<Vst::Bus>(bus, false));
    return bus;
}

}  // namespace zel
