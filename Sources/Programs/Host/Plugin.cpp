// SPDX-License-Identifier: GPL-3.0-or-later
#include "Plugin.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "MemoryStream.h"
#include "Strings.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace lagwell::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

SpeakerArrangement arrangementFor(int channels) {
    static const SpeakerArrangement kLayouts[] = {SpeakerArr::kEmpty,  SpeakerArr::kMono,    SpeakerArr::kStereo,
                                                  SpeakerArr::k30Cine, SpeakerArr::k40Music, SpeakerArr::k50,
                                                  SpeakerArr::k51,     SpeakerArr::k61Cine,  SpeakerArr::k71Cine};
    if (channels < 0 || channels > 8)
        throw HostError("no speaker arrangement of " + std::to_string(channels) + " channels");
    return kLayouts[channels];
}

Plugin::Plugin(std::shared_ptr<Module> module, const ClassInfo& cls) : m_module(std::move(module)) {
    try {
        open(cls);
    } catch (...) {
        close();
        throw;
    }
}

Plugin::~Plugin() { close(); }

void Plugin::open(const ClassInfo& cls) {
    IPluginFactory* factory = m_module->factory();
    FUnknown* context = &m_module->hostContext();
    IComponent* component = nullptr;
    if (factory->createInstance(cls.cid.data(), IComponent::iid.toTUID(), reinterpret_cast<void**>(&component)) !=
            kResultOk ||
        !component)
        throw HostError(cls.name + ": the factory cannot create the component");
    m_component = owned(component);
    if (m_component->initialize(context) != kResultOk)
        throw HostError(cls.name + ": the component failed to initialise");
    m_componentInitialized = true;
    m_processor = FUnknownPtr<IAudioProcessor>(m_component);
    if (!m_processor) throw HostError(cls.name + ": the component is no audio processor");

    m_controller = FUnknownPtr<IEditController>(m_component);
    m_single = m_controller.get() != nullptr;
    TUID controllerId;
    if (!m_single && m_component->getControllerClassId(controllerId) == kResultOk) {
        IEditController* controller = nullptr;
        if (factory->createInstance(controllerId, IEditController::iid.toTUID(),
                                    reinterpret_cast<void**>(&controller)) == kResultOk &&
            controller) {
            m_controller = owned(controller);
            if (m_controller->initialize(context) != kResultOk)
                throw HostError(cls.name + ": the edit controller failed to initialise");
            m_controllerInitialized = true;
        }
    }
    if (!m_controller) throw HostError(cls.name + ": no edit controller");
    if (!m_single) {
        m_componentPoint = FUnknownPtr<IConnectionPoint>(m_component);
        m_controllerPoint = FUnknownPtr<IConnectionPoint>(m_controller);
        if (m_componentPoint && m_controllerPoint) {
            m_componentPoint->connect(m_controllerPoint);
            m_controllerPoint->connect(m_componentPoint);
        }
        // The controller starts from the component's state.
        MemoryStream state;
        if (m_component->getState(&state) == kResultOk) {
            state.rewind();
            m_controller->setComponentState(&state);
        }
    }
    m_controller->setComponentHandler(&m_handler);
    m_unitInfo = FUnknownPtr<IUnitInfo>(m_controller);
}

void Plugin::close() {
    stop();
    if (m_controller) m_controller->setComponentHandler(nullptr);
    if (m_componentPoint && m_controllerPoint) {
        m_componentPoint->disconnect(m_controllerPoint);
        m_controllerPoint->disconnect(m_componentPoint);
    }
    m_componentPoint = nullptr;
    m_controllerPoint = nullptr;
    m_unitInfo = nullptr;
    if (m_controllerInitialized) m_controller->terminate();
    m_controller = nullptr;
    m_processor = nullptr;
    if (m_componentInitialized) m_component->terminate();
    m_component = nullptr;
}

// The main audio buses and the event buses that ask for it are active; the
// other audio buses stay inactive, so that they may go without buffers. A
// plug-in may make its buses anew for a new arrangement, so this comes
// before each activation.
void Plugin::activateBuses() {
    for (BusDirection direction : {kInput, kOutput}) {
        if (m_component->getBusCount(kAudio, direction) > 0) m_component->activateBus(kAudio, direction, 0, true);
        const int32 events = m_component->getBusCount(kEvent, direction);
        for (int32 i = 0; i < events; ++i) {
            BusInfo info{};
            if (m_component->getBusInfo(kEvent, direction, i, info) == kResultOk &&
                (info.flags & BusInfo::kDefaultActive))
                m_component->activateBus(kEvent, direction, i, true);
        }
    }
}

std::vector<Bus> Plugin::buses(MediaType type, BusDirection direction) const {
    std::vector<Bus> out;
    const int32 count = m_component->getBusCount(type, direction);
    for (int32 i = 0; i < count; ++i) {
        BusInfo info{};
        if (m_component->getBusInfo(type, direction, i, info) == kResultOk)
            out.push_back({toUtf8(info.name), info.channelCount, info.busType, info.flags});
    }
    return out;
}

bool Plugin::setMainChannels(int inputs, int outputs) {
    std::vector<SpeakerArrangement> arrangements[2];
    for (BusDirection direction : {kInput, kOutput}) {
        auto& list = arrangements[direction];
        list.resize(static_cast<size_t>(m_component->getBusCount(kAudio, direction)));
        for (size_t i = 0; i < list.size(); ++i)
            m_processor->getBusArrangement(direction, static_cast<int32>(i), list[i]);
        const int wanted = direction == kInput ? inputs : outputs;
        if (!list.empty())
            list[0] = arrangementFor(wanted);
        else if (wanted != 0)
            return false;
    }
    return m_processor->setBusArrangements(arrangements[kInput].data(), static_cast<int32>(arrangements[kInput].size()),
                                           arrangements[kOutput].data(),
                                           static_cast<int32>(arrangements[kOutput].size())) == kResultTrue;
}

int Plugin::mainChannels(BusDirection direction) const {
    SpeakerArrangement arrangement = SpeakerArr::kEmpty;
    if (m_component->getBusCount(kAudio, direction) == 0 ||
        m_processor->getBusArrangement(direction, 0, arrangement) != kResultOk)
        return 0;
    return SpeakerArr::getChannelCount(arrangement);
}

std::vector<Parameter> Plugin::parameters() const {
    std::vector<Parameter> out;
    const int32 count = m_controller->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (m_controller->getParameterInfo(i, info) != kResultOk) continue;
        out.push_back({info.id, toUtf8(info.title), toUtf8(info.shortTitle), toUtf8(info.units), info.stepCount,
                       info.defaultNormalizedValue, info.unitId, info.flags});
    }
    return out;
}

std::optional<Parameter> Plugin::findParameter(const std::string& title) const {
    const std::vector<Parameter> all = parameters();
    auto at = std::find_if(all.begin(), all.end(), [&](const Parameter& p) { return p.title == title; });
    if (at == all.end())
        at = std::find_if(all.begin(), all.end(), [&](const Parameter& p) { return sameIgnoringCase(p.title, title); });
    if (at == all.end()) return std::nullopt;
    return *at;
}

std::optional<ParamID> Plugin::midiControllerParameter(int32 bus, int16 channel, CtrlNumber controller) const {
    FUnknownPtr<IMidiMapping> mapping(m_controller);
    ParamID id = 0;
    if (!mapping || mapping->getMidiControllerAssignment(bus, channel, controller, id) != kResultTrue)
        return std::nullopt;
    return id;
}

std::optional<Parameter> Plugin::programParameter() const {
    for (const Parameter& p : parameters())
        if (p.flags & ParameterInfo::kIsProgramChange) return p;
    return std::nullopt;
}

std::vector<std::string> Plugin::programNames() const {
    const std::optional<Parameter> program = programParameter();
    if (!program) return {};
    std::vector<std::string> names;
    ProgramListID listId = kNoProgramListId;
    if (m_unitInfo) {
        const int32 units = m_unitInfo->getUnitCount();
        for (int32 i = 0; i < units; ++i) {
            UnitInfo unit{};
            if (m_unitInfo->getUnitInfo(i, unit) == kResultOk && unit.id == program->unitId)
                listId = unit.programListId;
        }
        const int32 lists = m_unitInfo->getProgramListCount();
        for (int32 i = 0; listId != kNoProgramListId && i < lists; ++i) {
            ProgramListInfo list{};
            if (m_unitInfo->getProgramListInfo(i, list) != kResultOk || list.id != listId) continue;
            for (int32 k = 0; k < list.programCount; ++k) {
                String128 name{};
                m_unitInfo->getProgramName(listId, k, name);
                names.push_back(toUtf8(name));
            }
            return names;
        }
    }
    const int32 steps = std::max(program->stepCount, 0);
    for (int32 k = 0; k <= steps; ++k)
        names.push_back(valueText(program->id, steps == 0 ? 0.0 : static_cast<double>(k) / steps));
    return names;
}

std::string Plugin::valueText(ParamID id, ParamValue normalized) const {
    String128 text{};
    if (m_controller->getParamStringByValue(id, normalized, text) != kResultOk) return {};
    return toUtf8(text);
}

std::optional<ParamValue> Plugin::valueFromText(ParamID id, const std::string& text) const {
    std::u16string wide = toUtf16(text);
    ParamValue value = 0;
    if (m_controller->getParamValueByString(id, wide.data(), value) != kResultOk) return std::nullopt;
    return value;
}

namespace {

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != 0 || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ParamValue> Plugin::parseValue(ParamID id, const std::string& text) const {
    if (text.size() > 1 && text.back() == 'n') {
        const std::optional<double> normalized = parseNumber(text.substr(0, text.size() - 1));
        if (normalized && *normalized >= 0 && *normalized <= 1) return *normalized;
    }
    if (const std::optional<ParamValue> value = valueFromText(id, text)) return value;
    if (const std::optional<double> plain = parseNumber(text))
        return std::clamp(m_controller->plainParamToNormalized(id, *plain), 0.0, 1.0);
    return std::nullopt;
}

void Plugin::setupProcessing(double sampleRate, int32 maxBlock, int32 sampleSize, int32 processMode) {
    if (m_processor->canProcessSampleSize(sampleSize) != kResultTrue)
        throw HostError(sampleSize == kSample64 ? "the plug-in cannot process 64-bit samples"
                                                : "the plug-in cannot process 32-bit samples");
    ProcessSetup setup{processMode, sampleSize, maxBlock, sampleRate};
    if (m_processor->setupProcessing(setup) != kResultOk)
        throw HostError("the plug-in refused the processing set-up (" + std::to_string(sampleRate) + " Hz, " +
                        std::to_string(maxBlock) + " samples)");
    m_sampleRate = sampleRate;
    m_sampleSize = sampleSize;
    m_processMode = processMode;
}

void Plugin::start() {
    activateBuses();
    prepareAuxBuses();
    if (m_component->setActive(true) != kResultOk) throw HostError("the plug-in failed to activate");
    m_active = true;
    const tresult processing = m_processor->setProcessing(true);
    if (processing != kResultOk && processing != kNotImplemented)
        throw HostError("the plug-in failed to start processing");
    m_processing = true;
    m_context = ProcessContext{};
    m_context.state = ProcessContext::kPlaying | ProcessContext::kContTimeValid;
    m_context.sampleRate = m_sampleRate;
}

void Plugin::stop() {
    if (m_processing) m_processor->setProcessing(false);
    m_processing = false;
    if (m_active) m_component->setActive(false);
    m_active = false;
}

void Plugin::prepareAuxBuses() {
    size_t widest = 0;
    for (auto* list : {&m_inputs, &m_outputs}) {
        const BusDirection direction = list == &m_inputs ? kInput : kOutput;
        list->assign(static_cast<size_t>(m_component->getBusCount(kAudio, direction)), AudioBusBuffers{});
        for (size_t i = 1; i < list->size(); ++i) {
            SpeakerArrangement arrangement = SpeakerArr::kEmpty;
            m_processor->getBusArrangement(direction, static_cast<int32>(i), arrangement);
            (*list)[i].numChannels = SpeakerArr::getChannelCount(arrangement);
            widest = std::max(widest, static_cast<size_t>((*list)[i].numChannels));
        }
    }
    m_null32.assign(widest, nullptr);
    m_null64.assign(widest, nullptr);
}

template <class Sample>
tresult Plugin::processMain(int32 numSamples, const MainBuses<Sample>& audio, IParameterChanges* in,
                            IParameterChanges* out) {
    constexpr bool wide = std::is_same_v<Sample, double>;
    if ((wide ? kSample64 : kSample32) != m_sampleSize || !m_processing) return kInvalidArgument;
    for (auto* list : {&m_inputs, &m_outputs}) {
        for (size_t i = 0; i < list->size(); ++i) {
            AudioBusBuffers& bus = (*list)[i];
            if (i == 0) {
                const bool input = list == &m_inputs;
                bus.numChannels = input ? audio.numInputs : audio.numOutputs;
                Sample** channels = const_cast<Sample**>(input ? audio.inputs : audio.outputs);
                if constexpr (wide)
                    bus.channelBuffers64 = channels;
                else
                    bus.channelBuffers32 = channels;
            } else if constexpr (wide) {
                bus.channelBuffers64 = m_null64.data();
            } else {
                bus.channelBuffers32 = m_null32.data();
            }
        }
    }
    ProcessData data;
    data.numSamples = numSamples;
    data.numInputs = static_cast<int32>(m_inputs.size());
    data.numOutputs = static_cast<int32>(m_outputs.size());
    data.inputs = m_inputs.empty() ? nullptr : m_inputs.data();
    data.outputs = m_outputs.empty() ? nullptr : m_outputs.data();
    data.inputParameterChanges = in;
    data.outputParameterChanges = out;
    return run(data);
}

tresult Plugin::process(int32 numSamples, const MainBuses<float>& audio, IParameterChanges* in,
                        IParameterChanges* out) {
    return processMain(numSamples, audio, in, out);
}

tresult Plugin::process(int32 numSamples, const MainBuses<double>& audio, IParameterChanges* in,
                        IParameterChanges* out) {
    return processMain(numSamples, audio, in, out);
}

tresult Plugin::flush(IParameterChanges& in, IParameterChanges* out) {
    if (!m_processing) return kInvalidArgument;
    ProcessData data;
    data.inputParameterChanges = &in;
    data.outputParameterChanges = out;
    return run(data);
}

tresult Plugin::run(ProcessData& data) {
    data.processMode = m_processMode;
    data.symbolicSampleSize = m_sampleSize;
    data.processContext = &m_context;
    const tresult result = m_processor->process(data);
    m_context.projectTimeSamples += data.numSamples;
    m_context.continousTimeSamples += data.numSamples;
    return result;
}

std::vector<uint8_t> Plugin::saveState() const {
    MemoryStream state;
    if (m_component->getState(&state) != kResultOk) throw HostError("the plug-in could not save its state");
    return state.bytes();
}

void Plugin::loadState(const std::vector<uint8_t>& bytes) {
    MemoryStream state(bytes);
    if (m_component->setState(&state) != kResultOk) throw HostError("the plug-in rejected the state");
    state.rewind();
    const tresult controller = m_controller->setComponentState(&state);
    if (controller != kResultOk && controller != kNotImplemented)
        throw HostError("the edit controller rejected the state");
}

}  // namespace lagwell::host
