// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/AudioWrapperVST3.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Audio/ParamDef.h"
#include "Audio/ParamRegistry.h"
#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "Audio/VST/VSTStream.h"
#include "Core/Notify.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace zel {

using Steinberg::int32;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;
using Steinberg::uint32;
namespace Vst = Steinberg::Vst;
using Vst::ParameterInfo;
using Vst::ParamID;
using Vst::ParamValue;

namespace {

// The short names of the speakers of an arrangement ("L", "R", "C", "Lfe"),
// in channel order.
std::vector<CString> speakerLabels(Vst::SpeakerArrangement arrangement) {
    std::vector<CString> labels;
    const int32 count = Vst::SpeakerArr::getChannelCount(arrangement);
    for (int32 i = 0; i < count; ++i)
        labels.push_back(CString::fromUtf8(Vst::SpeakerArr::getSpeakerShortName(arrangement, i)));
    return labels;
}

std::u16string utf16(const CString& text) {
    std::u16string out;
    out.reserve(text.length());
    for (size_t i = 0; i < text.length(); ++i) out += text.at(i);
    return out;
}

void copyText(const CString& text, Vst::String128 out) {
    const size_t n = std::min<size_t>(text.length(), 127);
    for (size_t i = 0; i < n; ++i) out[i] = text.at(i);
    out[n] = 0;
}

CString fromHost(const Vst::TChar* text) {
    std::u16string units;
    for (; text && *text; ++text) units += *text;
    return CString(units);
}

// What the host is changing on this thread: the plug-in does not report
// the host's own changes back to it, and never calls the host from its
// audio thread.
class CHostChange {
public:
    static constexpr int64_t kAll = -1;

    CHostChange(const CAudioWrapperVST3* instance, int64_t id) : m_instance(instance), m_id(id), m_outer(t_current) {
        t_current = this;
    }
    ~CHostChange() { t_current = m_outer; }
    CHostChange(const CHostChange&) = delete;
    CHostChange& operator=(const CHostChange&) = delete;

    static bool covers(const CAudioWrapperVST3* instance, ParamID id) {
        for (const CHostChange* c = t_current; c; c = c->m_outer)
            if (c->m_instance == instance && (c->m_id == kAll || c->m_id == id)) return true;
        return false;
    }

private:
    static thread_local const CHostChange* t_current;
    const CAudioWrapperVST3* m_instance;
    int64_t m_id;
    const CHostChange* m_outer;
};

thread_local const CHostChange* CHostChange::t_current = nullptr;

// The main output in the sample size that was set up, which is what the
// host's buffers hold whatever a single call claims.
void silenceOutputs(Vst::ProcessData& data, int32 sampleSize) {
    if (data.numOutputs <= 0 || !data.outputs || data.numSamples <= 0) return;
    Vst::AudioBusBuffers& bus = data.outputs[0];
    const size_t n = static_cast<size_t>(data.numSamples);
    for (int32 c = 0; c < bus.numChannels; ++c) {
        if (sampleSize == Vst::kSample64) {
            if (bus.channelBuffers64 && bus.channelBuffers64[c]) std::fill_n(bus.channelBuffers64[c], n, 0.0);
        } else if (bus.channelBuffers32 && bus.channelBuffers32[c]) {
            std::fill_n(bus.channelBuffers32[c], n, 0.0f);
        }
    }
}

}  // namespace

size_t thinnedPoint(size_t i, size_t count) {
    if (count <= kMaxPointsPerQueue) return i;
    if (i == kMaxPointsPerQueue - 1) return count - 1;
    return i * count / kMaxPointsPerQueue;
}

// ---- host parameters

CAudioWrapperVST3Parameter::CAudioWrapperVST3Parameter(CAudioWrapper& wrapper, size_t index)
    : Parameter(utf16(wrapper.extParam(index).extName()).c_str(), static_cast<ParamID>(index), nullptr,
                wrapper.extParamNormalized(index), wrapper.extParamSteps(index), ParameterInfo::kCanAutomate,
                Vst::kRootUnitId),
      m_wrapper(wrapper),
      m_index(index) {
    if (wrapper.extParam(index).extName() == CString("Bypass")) info.flags |= ParameterInfo::kIsBypass;
}

bool CAudioWrapperVST3Parameter::setNormalized(ParamValue value) {
    if (!std::isfinite(value)) return false;
    m_wrapper.setExtParamNormalized(m_index, std::clamp(value, 0.0, 1.0));
    return true;
}

void CAudioWrapperVST3Parameter::toString(ParamValue value, Vst::String128 text) const {
    copyText(m_wrapper.extParamText(m_index, value), text);
}

bool CAudioWrapperVST3Parameter::fromString(const Vst::TChar* text, ParamValue& value) const {
    return m_wrapper.extParamFromText(m_index, fromHost(text), value);
}

ParamValue CAudioWrapperVST3Parameter::toPlain(ParamValue value) const {
    return m_wrapper.extParamToPlain(m_index, value);
}

ParamValue CAudioWrapperVST3Parameter::toNormalized(ParamValue plain) const {
    return m_wrapper.extParamToNormalized(m_index, plain);
}

// ---- programs

CAudioWrapperVST3ProgramParameter::CAudioWrapperVST3ProgramParameter(CAudioParamRegistry& registry, ParamID id)
    : Parameter(u"Program", id, nullptr, 0.0, 0, ParameterInfo::kIsProgramChange | ParameterInfo::kIsList,
                Vst::kRootUnitId),
      m_registry(registry) {
    setProgramCount(static_cast<int32>(registry.programCount()));
}

void CAudioWrapperVST3ProgramParameter::setProgramCount(int32 count) { info.stepCount = std::max(count - 1, 0); }

ParamValue CAudioWrapperVST3ProgramParameter::current() const { return toNormalized(m_registry.currentProgram()); }

ParamValue CAudioWrapperVST3ProgramParameter::toPlain(ParamValue value) const {
    const double steps = info.stepCount;
    return std::min(steps, std::floor(std::clamp(value, 0.0, 1.0) * (steps + 1)));
}

ParamValue CAudioWrapperVST3ProgramParameter::toNormalized(ParamValue plain) const {
    return info.stepCount > 0 ? std::clamp(plain / info.stepCount, 0.0, 1.0) : 0.0;
}

bool CAudioWrapperVST3ProgramParameter::setNormalized(ParamValue value) {
    if (!std::isfinite(value) || m_registry.programCount() == 0) return false;
    m_registry.setCurrentProgram(static_cast<int>(toPlain(value)));
    return true;
}

void CAudioWrapperVST3ProgramParameter::toString(ParamValue value, Vst::String128 text) const {
    copyText(m_registry.programDisplayName(static_cast<size_t>(toPlain(value))), text);
}

bool CAudioWrapperVST3ProgramParameter::fromString(const Vst::TChar* text, ParamValue& value) const {
    const int index = m_registry.findProgram(fromHost(text));
    if (index < 0) return false;
    value = toNormalized(static_cast<ParamValue>(index));
    return true;
}

CAudioWrapperVST3ProgramList::CAudioWrapperVST3ProgramList(CAudioParamRegistry& registry)
    : ProgramList(u"Programs", kId, Vst::kRootUnitId), m_registry(registry) {
    setCount(static_cast<int32>(registry.programCount()));
}

tresult CAudioWrapperVST3ProgramList::getProgramName(int32 index, Vst::String128 name) {
    if (!name) return Steinberg::kInvalidArgument;
    if (index < 0 || static_cast<size_t>(index) >= m_registry.programCount()) return kResultFalse;
    copyText(m_registry.programDisplayName(static_cast<size_t>(index)), name);
    return kResultTrue;
}

// ---- the instance

Steinberg::IPlugView* PLUGIN_API CAudioWrapperVST3::createView(Steinberg::FIDString name) {
    idleWithoutRunLoop();
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    return new CAudioWrapperVST3Editor(*this);
}

void PLUGIN_API CAudioWrapperVST3IdleTimer::onTimer() {
    if (m_owner) m_owner->hostIdle();
}

tresult PLUGIN_API CAudioWrapperVST3::initialize(Steinberg::FUnknown* context) {
    if (m_initialised) return kResultFalse;
    const tresult rc = EditControllerEx1::initialize(context);
    if (rc != kResultOk) return rc;
    addAudioInput(u"Audio In", Vst::SpeakerArr::kStereo);
    addAudioOutput(u"Audio Out", Vst::SpeakerArr::kStereo);
    setHostChannelLabels(speakerLabels(Vst::SpeakerArr::kStereo));
    addEventInput(u"MIDI In", 16);
    if (CErrorPtr err = init()) {
        CSystem::showError(*err);
        shutdown();
        CSingleComponentEffect::terminate();
        return kResultFalse;
    }
    m_initialised = true;
    m_sampleSize = Vst::kSample32;
    setIOChannels(2, 2);

    for (size_t i = 0; i < extParamCount(); ++i) parameters.addParameter(new CAudioWrapperVST3Parameter(*this, i));
    m_programParam = new CAudioWrapperVST3ProgramParameter(registry(), programParamId());
    parameters.addParameter(m_programParam);
    m_programList = new CAudioWrapperVST3ProgramList(registry());
    addUnit(new Vst::Unit(u"Root", Vst::kRootUnitId, Vst::kNoParentUnitId, CAudioWrapperVST3ProgramList::kId));
    addProgramList(m_programList);

    Steinberg::FUnknownPtr<Steinberg::Linux::IRunLoop> loop(context);
    if (loop) {
        constexpr Steinberg::Linux::TimerInterval kIdleMs = 30;
        m_idleTimer = Steinberg::owned(new CAudioWrapperVST3IdleTimer(*this));
        if (loop->registerTimer(m_idleTimer, kIdleMs) == kResultOk) m_runLoop = loop;
    }
    return kResultOk;
}

// The SDK's parameters, units and buses go first: they refer to the
// wrapper's objects.
tresult PLUGIN_API CAudioWrapperVST3::terminate() {
    if (m_runLoop) m_runLoop->unregisterTimer(m_idleTimer);
    if (m_idleTimer) m_idleTimer->detach();
    m_runLoop = nullptr;
    m_idleTimer = nullptr;
    endHostEdits();
    const tresult rc = CSingleComponentEffect::terminate();
    m_programList = nullptr;
    m_programParam = nullptr;
    shutdown();
    m_initialised = false;
    return rc;
}

void CAudioWrapperVST3::hostIdle() {
    if (m_insideState || !m_initialised) return;
    // What the round calls may bring the host back here.
    if (m_idling.exchange(true)) return;
    idle();
    const double program = m_programFromAudio.exchange(-1.0);
    // Chosen by the host, and still reported back (onProgramChanged): the
    // host shows the program that took effect.
    if (program >= 0.0 && m_programParam) m_programParam->setNormalized(program);
    if (componentHandler) {
        const int32 restart = m_pendingRestart.exchange(0);
        if (m_pendingProgramList.exchange(false)) notifyProgramListChange(CAudioWrapperVST3ProgramList::kId);
        if (restart) componentHandler->restartComponent(restart);
    }
    m_idling = false;
}

void CAudioWrapperVST3::idleWithoutRunLoop() {
    if (!m_runLoop) hostIdle();
}

void CAudioWrapperVST3::restartComponent(int32 flags) {
    if (m_insideState)
        m_pendingRestart |= flags;
    else if (componentHandler)
        componentHandler->restartComponent(flags);
}

tresult PLUGIN_API CAudioWrapperVST3::setActive(Steinberg::TBool state) {
    idleWithoutRunLoop();
    return CSingleComponentEffect::setActive(state);
}

tresult PLUGIN_API CAudioWrapperVST3::setComponentHandler(Vst::IComponentHandler* handler) {
    // The old handler began the open edits; it ends them.
    endHostEdits();
    const tresult rc = CSingleComponentEffect::setComponentHandler(handler);
    // What waited for a handler reaches the new one.
    idleWithoutRunLoop();
    return rc;
}

// ---- parameters

tresult PLUGIN_API CAudioWrapperVST3::getParameterInfo(int32 paramIndex, Vst::ParameterInfo& info) {
    idleWithoutRunLoop();
    if (paramIndex < 0 || paramIndex >= getParameterCount()) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getParameterInfo(paramIndex, info);
}

tresult PLUGIN_API CAudioWrapperVST3::getParamStringByValue(ParamID id, ParamValue value, Vst::String128 string) {
    idleWithoutRunLoop();
    if (!string || !std::isfinite(value) || !getParameterObject(id)) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getParamStringByValue(id, std::clamp(value, 0.0, 1.0), string);
}

tresult PLUGIN_API CAudioWrapperVST3::getParamValueByString(ParamID id, Vst::TChar* string, ParamValue& value) {
    idleWithoutRunLoop();
    if (!string || !getParameterObject(id)) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getParamValueByString(id, string, value);
}

ParamValue PLUGIN_API CAudioWrapperVST3::normalizedParamToPlain(ParamID id, ParamValue value) {
    if (!std::isfinite(value)) return 0.0;
    return EditControllerEx1::normalizedParamToPlain(id, value);
}

ParamValue PLUGIN_API CAudioWrapperVST3::plainParamToNormalized(ParamID id, ParamValue plain) {
    if (!std::isfinite(plain)) return 0.0;
    return EditControllerEx1::plainParamToNormalized(id, plain);
}

tresult PLUGIN_API CAudioWrapperVST3::getUnitInfo(int32 unitIndex, Vst::UnitInfo& info) {
    if (unitIndex < 0 || unitIndex >= getUnitCount()) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getUnitInfo(unitIndex, info);
}

tresult PLUGIN_API CAudioWrapperVST3::getProgramInfo(Vst::ProgramListID listId, int32 programIndex,
                                                     Vst::CString attributeId, Vst::String128 attributeValue) {
    if (!attributeId || !attributeValue) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getProgramInfo(listId, programIndex, attributeId, attributeValue);
}

tresult PLUGIN_API CAudioWrapperVST3::getProgramPitchName(Vst::ProgramListID listId, int32 programIndex,
                                                          Steinberg::int16 midiPitch, Vst::String128 name) {
    if (!name) return Steinberg::kInvalidArgument;
    return EditControllerEx1::getProgramPitchName(listId, programIndex, midiPitch, name);
}

ParamValue PLUGIN_API CAudioWrapperVST3::getParamNormalized(ParamID id) {
    // Controller calls come on the host's UI thread: the audio thread's
    // automation can be taken over here. Host calls cannot: some hosts ask
    // for values while they still hold the lock of a state call.
    idle();
    if (id < extParamCount()) return extParamNormalized(id);
    if (id == programParamId() && m_programParam) return m_programParam->current();
    return 0.0;
}

tresult PLUGIN_API CAudioWrapperVST3::setParamNormalized(ParamID id, ParamValue value) {
    if (!std::isfinite(value)) return Steinberg::kInvalidArgument;
    // Before the host's value, which a waiting program would overwrite.
    idleWithoutRunLoop();
    CHostChange change(this, id);
    return EditControllerEx1::setParamNormalized(id, value);
}

tresult PLUGIN_API CAudioWrapperVST3::getMidiControllerAssignment(int32 busIndex, Steinberg::int16 channel,
                                                                  Vst::CtrlNumber midiControllerNumber, ParamID& id) {
    if (busIndex != 0 || channel < 0 || channel >= 16 || midiControllerNumber < 0) return kResultFalse;
    size_t index = 0;
    if (!controllerExtParam(static_cast<size_t>(midiControllerNumber), index)) return kResultFalse;
    id = static_cast<ParamID>(index);
    return kResultTrue;
}

void CAudioWrapperVST3::reportExtParam(size_t index, double normalized) {
    reportToHost(static_cast<ParamID>(index), normalized);
}

// An edit is begun and ended whatever the host is changing itself, so that
// the host sees them in pairs; only the value the host set is not echoed.
void CAudioWrapperVST3::beginExtParamEdit(size_t index) {
    if (componentHandler) beginEdit(static_cast<ParamID>(index));
}

void CAudioWrapperVST3::performExtParamEdit(size_t index, double normalized) {
    const auto id = static_cast<ParamID>(index);
    if (componentHandler && !CHostChange::covers(this, id)) performEdit(id, normalized);
}

void CAudioWrapperVST3::endExtParamEdit(size_t index) {
    if (componentHandler) endEdit(static_cast<ParamID>(index));
}

void CAudioWrapperVST3::reportToHost(ParamID id, ParamValue value) {
    if (!componentHandler || CHostChange::covers(this, id)) return;
    beginEdit(id);
    performEdit(id, value);
    endEdit(id);
}

void CAudioWrapperVST3::onLatencyChanged() { restartComponent(Vst::kLatencyChanged); }

void CAudioWrapperVST3::onProgramChanged(int) {
    refreshPrograms();
    reportToHost(programParamId(), m_programParam->current());
}

// Told at the next idle round, on the UI thread and outside the lock of
// whatever changed the name: the host may ask for the names at once.
void CAudioWrapperVST3::onProgramNameChanged() { m_pendingProgramList = true; }

void CAudioWrapperVST3::refreshPrograms() {
    const int32 count = static_cast<int32>(registry().programCount());
    if (count == m_programList->getCount()) return;
    m_programList->setCount(count);
    m_programParam->setProgramCount(count);
    if (m_insideState)
        m_pendingProgramList = true;
    else if (componentHandler)
        notifyProgramListChange(CAudioWrapperVST3ProgramList::kId);
    restartComponent(Vst::kParamTitlesChanged);
}

// ---- state

tresult CAudioWrapperVST3::getComponentData(Steinberg::IBStream* state) {
    if (!state) return Steinberg::kInvalidArgument;
    if (!m_initialised) return kResultFalse;
    COutputStreamVST out(state);
    if (CErrorPtr err = saveState(out)) {
        CSystem::showError(*err);
        return kResultFalse;
    }
    return kResultOk;
}

tresult CAudioWrapperVST3::setComponentData(Steinberg::IBStream* state) { return restore(state); }

// The controller is this same object, so the component's state is simply
// restored again: hosts that hand it over expect the controller to show it.
tresult PLUGIN_API CAudioWrapperVST3::setComponentState(Steinberg::IBStream* state) { return restore(state); }

tresult CAudioWrapperVST3::restore(Steinberg::IBStream* state) {
    if (!state) return Steinberg::kInvalidArgument;
    if (!m_initialised) return kResultFalse;
    CHostChange change(this, CHostChange::kAll);
    CInputStreamVST in(state);
    ++m_insideState;
    CErrorPtr err = restoreState(in);
    // The host is told after the call has returned, from the UI thread.
    if (!err) restartComponent(Vst::kParamValuesChanged);
    --m_insideState;
    if (err) {
        CSystem::showError(*err);
        return kResultFalse;
    }
    return kResultOk;
}

// ---- processing

tresult PLUGIN_API CAudioWrapperVST3::setBusArrangements(Vst::SpeakerArrangement* inputs, int32 numIns,
                                                         Vst::SpeakerArrangement* outputs, int32 numOuts) {
    if (!m_initialised || !inputs || !outputs || numIns != static_cast<int32>(m_audioInputs.size()) ||
        numOuts != static_cast<int32>(m_audioOutputs.size()) || numIns != 1 || numOuts != 1)
        return kResultFalse;
    const int32 in = Vst::SpeakerArr::getChannelCount(inputs[0]);
    const int32 out = Vst::SpeakerArr::getChannelCount(outputs[0]);
    const int32 most = static_cast<int32>(internalChannelCount());
    if (in < 1 || out < 1 || in > most || out > most) return kResultFalse;
    idleWithoutRunLoop();
    static_cast<Vst::AudioBus*>(m_audioInputs[0].get())->setArrangement(inputs[0]);
    static_cast<Vst::AudioBus*>(m_audioOutputs[0].get())->setArrangement(outputs[0]);
    setHostChannelLabels(speakerLabels(inputs[0]));
    setIOChannels(static_cast<size_t>(in), static_cast<size_t>(out));
    return kResultTrue;
}

tresult PLUGIN_API CAudioWrapperVST3::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == Vst::kSample32 || symbolicSampleSize == Vst::kSample64 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API CAudioWrapperVST3::getLatencySamples() { return static_cast<uint32>(std::max(0LL, latency())); }

// Saturated below kInfiniteTail, which would mean a tail that never ends.
uint32 PLUGIN_API CAudioWrapperVST3::getTailSamples() {
    return static_cast<uint32>(std::clamp(tailSamples(), 0LL, static_cast<long long>(Vst::kInfiniteTail) - 1));
}

tresult PLUGIN_API CAudioWrapperVST3::setupProcessing(Vst::ProcessSetup& setup) {
    if (!m_initialised || canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue ||
        !(setup.sampleRate >= kMinSampleRate && setup.sampleRate <= kMaxSampleRate))
        return kResultFalse;
    idleWithoutRunLoop();
    m_sampleSize = setup.symbolicSampleSize;
    m_processMode = setup.processMode;
    CAudioWrapper::setupProcessing(setup.sampleRate, static_cast<size_t>(std::max(setup.maxSamplesPerBlock, 0)));
    setOffline(m_processMode == Vst::kOffline);
    return kResultOk;
}

// A new run starts from silence: nothing of the last one is left in the
// delay lines.
tresult PLUGIN_API CAudioWrapperVST3::setProcessing(Steinberg::TBool state) {
    if (!m_initialised) return kResultFalse;
    if (state) reset();
    return kResultOk;
}

tresult PLUGIN_API CAudioWrapperVST3::process(Vst::ProcessData& data) {
    if (!m_initialised || data.symbolicSampleSize != m_sampleSize) {
        silenceOutputs(data, m_sampleSize);
        return kResultFalse;
    }
    CHostChange change(this, CHostChange::kAll);
    if (data.processMode != m_processMode) {
        m_processMode = data.processMode;
        setOfflineFromAudio(m_processMode == Vst::kOffline);
    }
    if (data.inputParameterChanges) queueChanges(*data.inputParameterChanges, data.numSamples);

    // Without audio (a flush of parameter changes) the wrapper applies the
    // queued changes and processes nothing.
    Vst::AudioBusBuffers* in =
        data.numInputs > 0 && data.inputs && data.inputs->channelBuffers32 ? data.inputs : nullptr;
    Vst::AudioBusBuffers* out =
        data.numOutputs > 0 && data.outputs && data.outputs->channelBuffers32 ? data.outputs : nullptr;
    const size_t n = out ? static_cast<size_t>(std::max(data.numSamples, 0)) : 0;
    const size_t numIn = in && n ? static_cast<size_t>(std::max(in->numChannels, 0)) : 0;
    const size_t numOut = out && n ? static_cast<size_t>(std::max(out->numChannels, 0)) : 0;
    if (m_sampleSize == Vst::kSample64)
        CAudioWrapper::process(in ? in->channelBuffers64 : nullptr, numIn, out ? out->channelBuffers64 : nullptr,
                               numOut, n);
    else
        CAudioWrapper::process(in ? in->channelBuffers32 : nullptr, numIn, out ? out->channelBuffers32 : nullptr,
                               numOut, n);
    if (out) out->silenceFlags = 0;
    return kResultOk;
}

void CAudioWrapperVST3::queueChanges(Vst::IParameterChanges& changes, int32 numSamples) {
    const int32 lastOffset = std::max(numSamples - 1, 0);
    const int32 queues = changes.getParameterCount();
    for (int32 q = 0; q < queues; ++q) {
        Vst::IParamValueQueue* queue = changes.getParameterData(q);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        const int32 count = queue->getPointCount();
        if (id == programParamId() && count > 0) {
            // Presets are no work for the audio thread: the last program of
            // the block goes to the UI thread.
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(count - 1, offset, value) == kResultTrue && std::isfinite(value))
                m_programFromAudio.store(std::clamp(value, 0.0, 1.0));
            continue;
        }
        if (id >= extParamCount() || count <= 0) continue;
        const size_t events = std::min(static_cast<size_t>(count), kMaxPointsPerQueue);
        for (size_t i = 0; i < events; ++i) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(static_cast<int32>(thinnedPoint(i, static_cast<size_t>(count))), offset, value) !=
                    kResultTrue ||
                !std::isfinite(value))
                continue;
            queueEvent(static_cast<uint32>(std::clamp(offset, 0, lastOffset)), kEventParamChange,
                       static_cast<int32_t>(id), value);
        }
    }
}

}  // namespace zel
