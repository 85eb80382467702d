// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "Audio/CCTable.h"
#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Audio/Preset.h"
#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/PluginFactory.h"
#include "Audio/VST/VSTStream.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"
#include "Support/FactoryValues.h"
#include "Support/ShownErrors.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

extern "C" Steinberg::IPluginFactory* GetPluginFactory();

namespace zel {
namespace {

namespace Vst = Steinberg::Vst;
using Steinberg::int32;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;

constexpr size_t kExtParams = 49;
constexpr Vst::ParamID kBypass = 0;
constexpr Vst::ParamID kADelay3 = 4;  // tens of milliseconds, group 1
constexpr Vst::ParamID kProgram = kExtParams;

std::string text(const Vst::TChar* s) {
    std::string out;
    for (; *s; ++s) out += char(*s);
    return out;
}

class CTestQueue final : public Steinberg::FObject, public Vst::IParamValueQueue {
public:
    explicit CTestQueue(Vst::ParamID id) : m_id(id) {}
    void add(int32 offset, double value) { m_points.emplace_back(offset, value); }

    Vst::ParamID PLUGIN_API getParameterId() override { return m_id; }
    int32 PLUGIN_API getPointCount() override { return int32(m_points.size()); }
    tresult PLUGIN_API getPoint(int32 index, int32& offset, Vst::ParamValue& value) override {
        if (index < 0 || size_t(index) >= m_points.size()) return kResultFalse;
        offset = m_points[index].first;
        value = m_points[index].second;
        return kResultTrue;
    }
    tresult PLUGIN_API addPoint(int32, Vst::ParamValue, int32&) override { return kResultFalse; }

    OBJ_METHODS(CTestQueue, Steinberg::FObject)
    DEF_INTERFACES_1(Vst::IParamValueQueue, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    Vst::ParamID m_id;
    std::vector<std::pair<int32, double>> m_points;
};

class CTestChanges final : public Steinberg::FObject, public Vst::IParameterChanges {
public:
    CTestQueue& add(Vst::ParamID id) {
        m_queues.push_back(std::make_unique<CTestQueue>(id));
        return *m_queues.back();
    }

    int32 PLUGIN_API getParameterCount() override { return int32(m_queues.size()); }
    Vst::IParamValueQueue* PLUGIN_API getParameterData(int32 index) override { return m_queues.at(index).get(); }
    Vst::IParamValueQueue* PLUGIN_API addParameterData(const Vst::ParamID&, int32&) override { return nullptr; }

    OBJ_METHODS(CTestChanges, Steinberg::FObject)
    DEF_INTERFACES_1(Vst::IParameterChanges, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    std::vector<std::unique_ptr<CTestQueue>> m_queues;
};

// Records what the plug-in tells its host.
class CTestHandler final : public Steinberg::FObject, public Vst::IComponentHandler, public Vst::IUnitHandler {
public:
    std::vector<std::pair<Vst::ParamID, double>> edits;
    std::vector<int32> restarts;
    std::vector<Vst::ProgramListID> programListChanges;

    tresult PLUGIN_API beginEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(Vst::ParamID id, Vst::ParamValue value) override {
        edits.emplace_back(id, value);
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32 flags) override {
        restarts.push_back(flags);
        return kResultOk;
    }
    tresult PLUGIN_API notifyUnitSelection(Vst::UnitID) override { return kResultOk; }
    tresult PLUGIN_API notifyProgramListChange(Vst::ProgramListID listId, int32) override {
        programListChanges.push_back(listId);
        return kResultOk;
    }
    bool edited(Vst::ParamID id) const {
        for (const auto& e : edits)
            if (e.first == id) return true;
        return false;
    }

    OBJ_METHODS(CTestHandler, Steinberg::FObject)
    DEF_INTERFACES_2(Vst::IComponentHandler, Vst::IUnitHandler, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)
};

// A host application context with a run loop whose timers the test fires.
class CTestRunLoopHost final : public Steinberg::FObject, public Steinberg::Linux::IRunLoop {
public:
    std::vector<Steinberg::Linux::ITimerHandler*> timers;

    tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler*,
                                            Steinberg::Linux::FileDescriptor) override {
        return kResultFalse;
    }
    tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler*) override { return kResultFalse; }
    tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                     Steinberg::Linux::TimerInterval) override {
        timers.push_back(handler);
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override {
        timers.erase(std::remove(timers.begin(), timers.end(), handler), timers.end());
        return kResultOk;
    }
    void fire() {
        for (auto* t : timers) t->onTimer();
    }

    OBJ_METHODS(CTestRunLoopHost, Steinberg::FObject)
    DEF_INTERFACES_1(Steinberg::Linux::IRunLoop, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)
};

// A host stream that hands out its bytes a few at a time and then answers
// `endResult`, as some hosts do at the end.
class CPieceStream final : public Steinberg::FObject, public Steinberg::IBStream {
public:
    CPieceStream(std::vector<uint8_t> bytes, int32 piece, tresult endResult)
        : m_bytes(std::move(bytes)), m_piece(piece), m_endResult(endResult) {}

    tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        const int32 n = std::min({numBytes, m_piece, int32(m_bytes.size() - m_pos)});
        if (numBytesRead) *numBytesRead = n;
        if (n == 0) return m_endResult;
        std::memcpy(buffer, m_bytes.data() + m_pos, size_t(n));
        m_pos += size_t(n);
        return kResultOk;
    }
    tresult PLUGIN_API write(void*, int32, int32*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API seek(Steinberg::int64, int32, Steinberg::int64*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API tell(Steinberg::int64*) override { return Steinberg::kNotImplemented; }

    OBJ_METHODS(CPieceStream, Steinberg::FObject)
    DEF_INTERFACES_1(Steinberg::IBStream, Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    int32 m_piece;
    tresult m_endResult;
};

// One instance as a host makes it: from the module's factory, initialised,
// reached through its interfaces.
struct CPlugin {
    Steinberg::IPtr<Vst::IComponent> component;
    Steinberg::FUnknownPtr<Vst::IAudioProcessor> processor;
    Steinberg::FUnknownPtr<Vst::IEditController> controller;
    CAudioWrapperVST3* instance = nullptr;

    explicit CPlugin(Steinberg::FUnknown* context = nullptr) {
        auto factory = Steinberg::owned(GetPluginFactory());
        Steinberg::PClassInfo info;
        EXPECT_EQ(factory->getClassInfo(0, &info), kResultOk);
        void* obj = nullptr;
        EXPECT_EQ(factory->createInstance(info.cid, Vst::IComponent::iid, &obj), kResultOk);
        component = Steinberg::owned(static_cast<Vst::IComponent*>(obj));
        EXPECT_EQ(component->initialize(context), kResultOk);
        processor = Steinberg::FUnknownPtr<Vst::IAudioProcessor>(component);
        controller = Steinberg::FUnknownPtr<Vst::IEditController>(component);
        instance = dynamic_cast<CAudioWrapperVST3*>(component.get());
    }
    ~CPlugin() { component->terminate(); }

    void start(int32 sampleSize) {
        Vst::ProcessSetup setup{Vst::kRealtime, sampleSize, 512, 48000.0};
        ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
        processor->setProcessing(true);
    }
    CAudioParamRegistry& registry() { return instance->registry(); }
    // The factory bank becomes the session bank, whose presets the host
    // sees as programs (a new instance has just one).
    void loadFactoryBank() {
        CMemoryWriter bank;
        ASSERT_EQ(registry().romBank().save(bank), nullptr);
        CMemoryReader in(bank.take());
        ASSERT_EQ(registry().loadSessionBank(in), nullptr);
    }
    void activateFactoryPreset(const char* name) {
        const auto& presets = registry().romBank().presets();
        for (size_t i = 0; i < presets.size(); ++i)
            if (presets[i].displayName() == CString(name)) return registry().activateRomPreset(int(i));
        ADD_FAILURE() << "no factory preset " << name;
    }
    double fromText(Vst::ParamID id, const char16_t* s) {
        Vst::ParamValue v = -1;
        EXPECT_EQ(controller->getParamValueByString(id, const_cast<Vst::TChar*>(s), v), kResultTrue);
        return v;
    }
    // The host parameters; the program is no part of the state.
    std::vector<double> values() {
        std::vector<double> out;
        for (Vst::ParamID id = 0; id < kExtParams; ++id) out.push_back(controller->getParamNormalized(id));
        return out;
    }

    // One block of two channels in the sample type T.
    template <class T>
    void run(std::vector<std::vector<T>>& in, std::vector<std::vector<T>>& out, Vst::IParameterChanges* changes) {
        std::vector<T*> inPtrs, outPtrs;
        for (auto& c : in) inPtrs.push_back(c.data());
        for (auto& c : out) outPtrs.push_back(c.data());
        Vst::AudioBusBuffers inBus, outBus;
        inBus.numChannels = int32(in.size());
        outBus.numChannels = int32(out.size());
        if constexpr (std::is_same_v<T, double>) {
            inBus.channelBuffers64 = inPtrs.data();
            outBus.channelBuffers64 = outPtrs.data();
        } else {
            inBus.channelBuffers32 = inPtrs.data();
            outBus.channelBuffers32 = outPtrs.data();
        }
        Vst::ProcessData data;
        data.symbolicSampleSize = std::is_same_v<T, double> ? Vst::kSample64 : Vst::kSample32;
        data.numSamples = int32(out[0].size());
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        data.inputParameterChanges = changes;
        ASSERT_EQ(processor->process(data), kResultOk);
    }
};

TEST(VST3ClassId, UuidTextBecomesGuidByteOrder) {
    Steinberg::TUID id;
    ASSERT_TRUE(classIdFromUuid("00112233-4455-6677-8899-aabbccddeeff", id));
    const uint8_t expected[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                  0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(std::memcmp(id, expected, 16), 0);
    Steinberg::TUID upper;
    ASSERT_TRUE(classIdFromUuid("00112233-4455-6677-8899-AABBCCDDEEFF", upper));
    EXPECT_EQ(std::memcmp(id, upper, 16), 0);

    EXPECT_FALSE(classIdFromUuid("00112233-4455-6677-8899-aabbccddeef", id));
    EXPECT_FALSE(classIdFromUuid("00112233-4455-6677-8899-aabbccddeefg", id));
    EXPECT_FALSE(classIdFromUuid("x0112233-4455-6677-8899-aabbccddeeff", id));
    EXPECT_FALSE(classIdFromUuid("", id));
}

// A host finds one effect class under the project's identifier, creates it
// as often as it likes, and nothing under any other identifier.
TEST(VST3Factory, OneEffectClassUnderTheProjectIdentifier) {
    const CObject& project = *CApplication::sharedObject()->findChild("project");
    auto factory = Steinberg::owned(GetPluginFactory());
    ASSERT_TRUE(factory);
    {
        auto again = Steinberg::owned(GetPluginFactory());
        EXPECT_EQ(again.get(), factory.get());
    }
    EXPECT_EQ(factory->countClasses(), 1);

    Steinberg::FUnknownPtr<Steinberg::IPluginFactory2> factory2(factory);
    ASSERT_TRUE(factory2);
    Steinberg::PClassInfo2 c;
    ASSERT_EQ(factory2->getClassInfo2(0, &c), kResultOk);
    Steinberg::TUID cid;
    ASSERT_TRUE(classIdFromUuid(project.getAttr("plugin-uuid"), cid));
    EXPECT_EQ(std::memcmp(c.cid, cid, 16), 0);
    EXPECT_EQ(c.cardinality, Steinberg::PClassInfo::kManyInstances);
    EXPECT_STREQ(c.category, kVstAudioEffectClass);
    EXPECT_NE(factory2->getClassInfo2(1, &c), kResultOk);

    for (int i = 0; i < 2; ++i) {
        void* obj = nullptr;
        ASSERT_EQ(factory->createInstance(cid, Vst::IComponent::iid, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        static_cast<Vst::IComponent*>(obj)->release();
    }
    // Ids at an address that is not 8-byte aligned, as some hosts pass them.
    alignas(8) char shifted[2 * sizeof(Steinberg::TUID) + 4];
    std::memcpy(shifted + 4, c.cid, sizeof(Steinberg::TUID));
    std::memcpy(shifted + 4 + sizeof(Steinberg::TUID), Vst::IComponent::iid.toTUID(), sizeof(Steinberg::TUID));
    void* created = nullptr;
    ASSERT_EQ(factory->createInstance(shifted + 4, shifted + 4 + sizeof(Steinberg::TUID), &created), kResultOk);
    static_cast<Vst::IComponent*>(created)->release();

    Steinberg::TUID other = {};
    void* obj = &other;
    EXPECT_NE(factory->createInstance(other, Vst::IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
}

// A latency set in seconds changes with the sample rate: the host hears of
// each change through a restart and reads the new latency.
TEST(VST3Instance, ALatencyChangeRestartsTheComponent) {
    CObject* delay = CApplication::sharedObject()->findObject("audio.modMain.modLagwell.modDelay");
    ASSERT_NE(delay, nullptr);
    const CString latency = delay->getAttr("latency"), inSeconds = delay->getAttr("is-latency-seconds");
    ASSERT_EQ(delay->setAttr("latency", "0.001"), nullptr);
    ASSERT_EQ(delay->setAttr("is-latency-seconds", "true"), nullptr);
    {
        CPlugin plugin;
        CTestHandler handler;
        plugin.controller->setComponentHandler(&handler);
        Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 512, 48000.0};
        ASSERT_EQ(plugin.processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(plugin.processor->getLatencySamples(), 48u);
        handler.restarts.clear();
        setup.sampleRate = 96000.0;
        ASSERT_EQ(plugin.processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(plugin.processor->getLatencySamples(), 96u);
        EXPECT_EQ(handler.restarts, std::vector<int32>{Vst::kLatencyChanged});
        ASSERT_EQ(plugin.processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(handler.restarts.size(), 1u) << "the same latency again is no change";
        plugin.controller->setComponentHandler(nullptr);
    }
    delay->setAttr("latency", latency);
    delay->setAttr("is-latency-seconds", inSeconds);
}

TEST(VST3Instance, OneObjectWithALiveProgramList) {
    CPlugin plugin;
    ASSERT_NE(plugin.instance, nullptr);
    for (const Steinberg::FUID* iid :
         {&Vst::IAudioProcessor::iid, &Vst::IEditController::iid, &Vst::IEditController2::iid, &Vst::IUnitInfo::iid,
          &Vst::IConnectionPoint::iid}) {
        Steinberg::FUnknown* obj = nullptr;
        ASSERT_EQ(plugin.component->queryInterface(iid->toTUID(), reinterpret_cast<void**>(&obj)), kResultOk);
        EXPECT_EQ(dynamic_cast<CAudioWrapperVST3*>(obj), plugin.instance);
        obj->release();
    }

    Steinberg::FUnknownPtr<Vst::IUnitInfo> units(plugin.component);
    Vst::UnitInfo unit;
    ASSERT_EQ(units->getUnitCount(), 1);
    ASSERT_EQ(units->getUnitInfo(0, unit), kResultTrue);
    EXPECT_EQ(text(unit.name), "Root");
    ASSERT_EQ(units->getProgramListCount(), 1);
    auto expectPrograms = [&] {
        Vst::ProgramListInfo list;
        ASSERT_EQ(units->getProgramListInfo(0, list), kResultTrue);
        EXPECT_EQ(text(list.name), "Programs");
        EXPECT_EQ(list.id, unit.programListId);
        const auto& presets = plugin.registry().sessionBank().presets();
        ASSERT_EQ(list.programCount, int32(presets.size()));
        for (int32 i = 0; i < list.programCount; ++i) {
            Vst::String128 name;
            ASSERT_EQ(units->getProgramName(list.id, i, name), kResultTrue);
            EXPECT_EQ(text(name), presets[size_t(i)].displayName().utf8());
        }
        Vst::ParameterInfo program;
        ASSERT_EQ(plugin.controller->getParameterInfo(int32(kProgram), program), kResultTrue);
        EXPECT_EQ(program.stepCount, list.programCount - 1);
    };
    expectPrograms();

    // A bank of another size replaces the session bank: the host is told.
    CTestHandler handler;
    plugin.controller->setComponentHandler(&handler);
    plugin.loadFactoryBank();
    ASSERT_GT(plugin.registry().sessionBank().presets().size(), 1u);
    expectPrograms();
    EXPECT_EQ(handler.restarts, std::vector<int32>{Vst::kParamTitlesChanged});
    EXPECT_FALSE(handler.programListChanges.empty());

    // A rename, and undoing it, reach the host's list at the next idle round.
    auto nameAfterIdle = [&] {
        handler.programListChanges.clear();
        Vst::ParameterInfo info;
        plugin.controller->getParameterInfo(0, info);
        EXPECT_EQ(handler.programListChanges, std::vector<Vst::ProgramListID>{CAudioWrapperVST3ProgramList::kId});
        Vst::String128 name;
        EXPECT_EQ(units->getProgramName(CAudioWrapperVST3ProgramList::kId, 0, name), kResultTrue);
        return text(name);
    };
    const std::string before = plugin.registry().programDisplayName(0).utf8();
    plugin.registry().renameProgram("Kick", true);
    EXPECT_EQ(nameAfterIdle(), "Kick");
    CAudioParamUndo& undo = *plugin.registry().undo();
    undo.moveTo(undo.position() - 1);
    EXPECT_EQ(nameAfterIdle(), before);
    plugin.controller->setComponentHandler(nullptr);
}

TEST(VST3Instance, BusArrangementsFromOneToEightChannels) {
    CPlugin plugin;
    auto arrange = [&](Vst::SpeakerArrangement i, Vst::SpeakerArrangement o) {
        return plugin.processor->setBusArrangements(&i, 1, &o, 1);
    };
    auto input = [&] {
        Vst::SpeakerArrangement arr = 0;
        plugin.processor->getBusArrangement(Vst::kInput, 0, arr);
        return arr;
    };
    EXPECT_EQ(input(), Vst::SpeakerArr::kStereo);
    EXPECT_EQ(arrange(Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo), kResultTrue);
    EXPECT_EQ(input(), Vst::SpeakerArr::kMono);
    EXPECT_EQ(arrange(Vst::SpeakerArr::k80Cine, Vst::SpeakerArr::k51), kResultTrue);

    const Vst::SpeakerArrangement nine = (1 << 9) - 1;
    EXPECT_EQ(arrange(nine, Vst::SpeakerArr::kStereo), kResultFalse);
    EXPECT_EQ(arrange(Vst::SpeakerArr::kStereo, nine), kResultFalse);
    EXPECT_EQ(arrange(Vst::SpeakerArr::kEmpty, Vst::SpeakerArr::kStereo), kResultFalse);
    Vst::SpeakerArrangement two[2] = {Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo};
    EXPECT_EQ(plugin.processor->setBusArrangements(two, 2, two, 1), kResultFalse);
    EXPECT_EQ(input(), Vst::SpeakerArr::k80Cine) << "a refused arrangement keeps the last one";
}

TEST(VST3Instance, ARenegotiatedOrRestoredArrangementKeepsTheUsersRouting) {
    auto outRouting = [](CPlugin& p) {
        auto* param =
            dynamic_cast<CAudioParam*>(p.instance->plugin().findObject("plugin.modMain.io-params.out-routing"));
        std::lock_guard<std::mutex> lock(param->lock());
        return std::vector<double>{param->storage().read(0, 0), param->storage().read(0, 1)};
    };
    auto arrange = [](CPlugin& p, Vst::SpeakerArrangement i, Vst::SpeakerArrangement o) {
        ASSERT_EQ(p.processor->setBusArrangements(&i, 1, &o, 1), kResultTrue);
    };
    auto load = [](CPlugin& p, Steinberg::MemoryStream& state) {
        state.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
        ASSERT_EQ(p.component->setState(&state), kResultOk);
    };
    const std::vector<double> monoToStereo = {1, 1}, custom = {1, 0};

    CPlugin source;
    arrange(source, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(outRouting(source), monoToStereo) << "a new arrangement brings its routing";
    CAudioParamTransaction tx(
        *dynamic_cast<CAudioParamCollector*>(source.instance->plugin().findObject("plugin.param-collector")));
    tx.setElements(
        *dynamic_cast<CAudioParam*>(source.instance->plugin().findObject("plugin.modMain.io-params.out-routing")), 0, 0,
        custom);
    tx.finish("Routing");
    arrange(source, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(outRouting(source), custom) << "the same arrangement again changes nothing";
    Steinberg::MemoryStream state;
    ASSERT_EQ(source.component->getState(&state), kResultOk);

    // A project loads: arrangement, state, arrangement again; or the state
    // before the first arrangement.
    CPlugin before, after;
    arrange(before, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    load(before, state);
    arrange(before, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(outRouting(before), custom);
    load(after, state);
    arrange(after, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(outRouting(after), custom) << "the restored routing was made for this arrangement";

    // Later changes of the arrangement bring their routing again.
    arrange(after, Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo);
    arrange(after, Vst::SpeakerArr::kMono, Vst::SpeakerArr::kStereo);
    EXPECT_EQ(outRouting(after), monoToStereo);
}

TEST(VST3Parameters, FortyNineHostParametersThenTheProgramList) {
    CPlugin plugin;
    Vst::IEditController& c = *plugin.controller;
    ASSERT_EQ(c.getParameterCount(), int32(kExtParams + 1));

    std::vector<std::string> titles = {"Bypass"};
    for (int d = 0; d < 6; ++d) titles.push_back("ADelay" + std::to_string(d));
    for (int d = 0; d < 5; ++d) titles.push_back("SDelay" + std::to_string(d));
    titles.push_back("DlyDime");
    for (int g = 2; g <= 4; ++g) {
        const std::string p = std::to_string(g);
        for (int d = 0; d < 6; ++d) titles.push_back(p + "ADly" + std::to_string(d));
        for (int d = 0; d < 5; ++d) titles.push_back(p + "SDly" + std::to_string(d));
        titles.push_back(p + "DlyDim");
    }
    for (size_t i = 0; i < kExtParams; ++i) {
        Vst::ParameterInfo info;
        ASSERT_EQ(c.getParameterInfo(int32(i), info), kResultTrue);
        SCOPED_TRACE(titles[i]);
        EXPECT_EQ(text(info.title), titles[i]);
        EXPECT_EQ(info.id, Vst::ParamID(i));
        EXPECT_EQ(info.unitId, Vst::kRootUnitId);
        const int32 bypass = i == 0 ? Vst::ParameterInfo::kIsBypass : 0;
        EXPECT_EQ(info.flags, Vst::ParameterInfo::kCanAutomate | bypass);
        EXPECT_EQ(info.stepCount, i == 0 ? 1 : 0);
    }
    Vst::ParameterInfo program;
    ASSERT_EQ(c.getParameterInfo(int32(kExtParams), program), kResultTrue);
    EXPECT_EQ(text(program.title), "Program");
    EXPECT_EQ(program.id, kProgram);
    EXPECT_EQ(program.flags, 0x8008);
    EXPECT_EQ(program.stepCount, int32(plugin.registry().sessionBank().presets().size()) - 1);
    EXPECT_EQ(program.unitId, Vst::kRootUnitId);
}

TEST(VST3Parameters, PlainValuesGoThroughTheConverters) {
    CPlugin plugin;
    Vst::IEditController& c = *plugin.controller;
    auto id = [&](const char* title) {
        for (int32 i = 0; i < c.getParameterCount(); ++i) {
            Vst::ParameterInfo info;
            if (c.getParameterInfo(i, info) == kResultTrue && text(info.title) == title) return info.id;
        }
        ADD_FAILURE() << "no parameter " << title;
        return Vst::ParamID(0);
    };
    EXPECT_EQ(c.normalizedParamToPlain(id("ADelay0"), 0.5), 5.0) << "digits 0 to 9, rounded half away";
    EXPECT_EQ(c.normalizedParamToPlain(id("Bypass"), 0.5), 1.0);
    EXPECT_EQ(c.normalizedParamToPlain(id("DlyDime"), 0.5), 1.0) << "Msec, Meter, Foot";
    EXPECT_DOUBLE_EQ(c.plainParamToNormalized(id("ADelay0"), 5.0), 5.0 / 9.0);
    EXPECT_EQ(c.plainParamToNormalized(id("Bypass"), 1.0), 1.0);
    EXPECT_EQ(c.plainParamToNormalized(id("DlyDime"), 2.0), 1.0);
}

TEST(VST3Parameters, TextsProgramsAndWhatTheHostIsTold) {
    CTestHandler handler;
    CPlugin plugin;
    Vst::IEditController& c = *plugin.controller;
    ASSERT_EQ(c.setComponentHandler(&handler), kResultTrue);

    // The host's own change is applied, shown as text, and not echoed.
    const double five = plugin.fromText(kADelay3, u"5");
    ASSERT_EQ(c.setParamNormalized(kADelay3, five), kResultTrue);
    EXPECT_EQ(c.getParamNormalized(kADelay3), five);
    Vst::String128 shown;
    ASSERT_EQ(c.getParamStringByValue(kADelay3, five, shown), kResultTrue);
    EXPECT_EQ(text(shown), "5");
    EXPECT_TRUE(handler.edits.empty());

    // A program chosen by the host: the parameters it changes are reported,
    // the program parameter itself is not.
    plugin.loadFactoryBank();
    handler.edits.clear();
    const auto& presets = plugin.registry().sessionBank().presets();
    int stereoDelay = -1;
    for (size_t i = 0; i < presets.size(); ++i)
        if (presets[i].displayName() == CString("Stereo Delay")) stereoDelay = int(i);
    ASSERT_GE(stereoDelay, 0);
    const double chosen = plugin.fromText(kProgram, u"Stereo Delay");
    EXPECT_EQ(c.normalizedParamToPlain(kProgram, chosen), double(stereoDelay));
    ASSERT_EQ(c.setParamNormalized(kProgram, chosen), kResultTrue);
    EXPECT_EQ(plugin.registry().currentProgram(), stereoDelay);
    EXPECT_EQ(c.getParamNormalized(kProgram), chosen);
    ASSERT_EQ(c.getParamStringByValue(kProgram, chosen, shown), kResultTrue);
    EXPECT_EQ(text(shown), "Stereo Delay");
    EXPECT_EQ(c.getParamNormalized(kADelay3), plugin.fromText(kADelay3, u"1"));
    EXPECT_TRUE(handler.edited(kADelay3));
    EXPECT_FALSE(handler.edited(kProgram));

    // A program chosen inside the plug-in (editor, preset manager).
    handler.edits.clear();
    plugin.registry().setCurrentProgram(0);
    EXPECT_TRUE(handler.edited(kADelay3));
    ASSERT_TRUE(handler.edited(kProgram));
    EXPECT_EQ(c.getParamNormalized(kProgram), 0.0);
    c.setComponentHandler(nullptr);
}

TEST(VST3Processing, LongAutomationQueuesAreThinnedTo32Points) {
    std::vector<size_t> picked;
    for (size_t i = 0; i < kMaxPointsPerQueue; ++i) picked.push_back(thinnedPoint(i, 100));
    const std::vector<size_t> expected = {0,  3,  6,  9,  12, 15, 18, 21, 25, 28, 31, 34, 37, 40, 43, 46,
                                          50, 53, 56, 59, 62, 65, 68, 71, 75, 78, 81, 84, 87, 90, 93, 99};
    EXPECT_EQ(picked, expected);
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(thinnedPoint(i, 20), i);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(thinnedPoint(i, 32), i);
    EXPECT_EQ(thinnedPoint(31, 33), 32u);

    // Whatever is thinned out, the last point is the value after the block.
    CPlugin plugin;
    plugin.start(Vst::kSample32);
    const double digits[3] = {plugin.fromText(kADelay3, u"2"), plugin.fromText(kADelay3, u"9"),
                              plugin.fromText(kADelay3, u"7")};
    CTestChanges changes;
    CTestQueue& queue = changes.add(kADelay3);
    for (int32 p = 0; p < 99; ++p) queue.add(p * 5, digits[p % 2]);
    queue.add(500, digits[2]);
    changes.add(Vst::ParamID(-1)).add(0, 1.0);
    changes.add(kProgram).add(0, 1.0);
    std::vector<std::vector<float>> in(2, std::vector<float>(512)), out(2, std::vector<float>(512));
    plugin.run(in, out, &changes);
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), digits[2]);
    EXPECT_EQ(plugin.registry().currentProgram(), 0);
}

TEST(VST3Processing, ChangesWithoutAudioAreAppliedAtOnce) {
    CPlugin plugin;
    plugin.start(Vst::kSample32);
    CTestChanges changes;
    changes.add(kBypass).add(0, 1.0);
    Vst::ProcessData data;
    data.inputParameterChanges = &changes;
    ASSERT_EQ(plugin.processor->process(data), kResultOk);
    EXPECT_EQ(plugin.controller->getParamNormalized(kBypass), 1.0);

    // Samples, but no buffers to put them in.
    CTestChanges more;
    more.add(kBypass).add(10, 0.0);
    data.inputParameterChanges = &more;
    data.numSamples = 64;
    ASSERT_EQ(plugin.processor->process(data), kResultOk);
    EXPECT_EQ(plugin.controller->getParamNormalized(kBypass), 0.0);
}

// The audio thread leaves the program to the UI thread's idle round: the
// run loop's timer, or without a run loop the host's next call that may
// hear from the plug-in.
TEST(VST3Processing, AProgramChangeInProcessTakesEffectAndIsReported) {
    for (bool runLoop : {true, false}) {
        SCOPED_TRACE(runLoop ? "run loop" : "no run loop");
        CTestRunLoopHost host;
        CPlugin plugin(runLoop ? static_cast<Steinberg::Linux::IRunLoop*>(&host) : nullptr);
        plugin.loadFactoryBank();
        plugin.start(Vst::kSample32);
        CTestHandler handler;
        plugin.controller->setComponentHandler(&handler);
        const double chosen = plugin.fromText(kProgram, u"Stereo Delay");
        const int expected = int(plugin.controller->normalizedParamToPlain(kProgram, chosen));
        CTestChanges changes;
        changes.add(kProgram).add(0, chosen);
        std::vector<std::vector<float>> in(2, std::vector<float>(64, 0.5f)), out = in;
        plugin.run(in, out, &changes);
        plugin.controller->getParamNormalized(kBypass);
        EXPECT_NE(plugin.registry().currentProgram(), expected) << "not on the audio thread, nor on a value read";
        if (runLoop) {
            host.fire();
        } else {
            Vst::ParameterInfo info;
            ASSERT_EQ(plugin.controller->getParameterInfo(0, info), kResultTrue);
        }
        EXPECT_EQ(plugin.registry().currentProgram(), expected);
        EXPECT_TRUE(handler.edited(kProgram)) << "the host hears which program took effect";
        EXPECT_NE(plugin.values(), CPlugin().values()) << "the program's values are in place";
        plugin.controller->setComponentHandler(nullptr);
    }
}

TEST(VST3Processing, MidiControllersDriveParametersThroughTheControllerTable) {
    CMemoryWriter map;
    const std::pair<uint32_t, const char*> entries[] = {{7, "plugin.modMain.bypass-enable"},
                                                        {11, "plugin.modMain.modLagwell.adelay"},
                                                        {12, "plugin.modMain.modOutGain.gain"}};
    map.writeUInt32(3);
    for (const auto& [controller, name] : entries) {
        map.writeUInt32(controller);
        map.writeString(name);
    }
    ASSERT_EQ(CAppDataLocal::instance().writeItem(CAudioCCTable::kItemName, map.bytes().data(), map.bytes().size(),
                                                  makeTag("adat")),
              nullptr);
    CPlugin plugin;
    std::filesystem::remove(CAppDataLocal::instance().itemPath(CAudioCCTable::kItemName));
    Steinberg::FUnknownPtr<Vst::IMidiMapping> midi(plugin.component);
    ASSERT_TRUE(midi);
    Vst::ParamID id = 999;
    for (Steinberg::int16 channel : {0, 15}) {
        ASSERT_EQ(midi->getMidiControllerAssignment(0, channel, 7, id), kResultTrue);
        EXPECT_EQ(id, kBypass);
    }
    ASSERT_EQ(midi->getMidiControllerAssignment(0, 0, 11, id), kResultTrue);
    EXPECT_EQ(id, 1u) << "the first host parameter of the delay digits, ADelay0";
    EXPECT_EQ(midi->getMidiControllerAssignment(0, 0, 12, id), kResultFalse) << "the gain is no host parameter";
    EXPECT_EQ(midi->getMidiControllerAssignment(0, 0, 5, id), kResultFalse);
    EXPECT_EQ(midi->getMidiControllerAssignment(1, 0, 7, id), kResultFalse);

    // As a host sends controller 7 at 127: the mapped parameter at 1.0.
    plugin.start(Vst::kSample32);
    ASSERT_EQ(midi->getMidiControllerAssignment(0, 0, 7, id), kResultTrue);
    CTestChanges changes;
    changes.add(id).add(0, 127.0 / 127.0);
    std::vector<std::vector<float>> in(2, std::vector<float>(64, 0.25f)), out = in;
    plugin.run(in, out, &changes);
    EXPECT_EQ(plugin.controller->getParamNormalized(kBypass), 1.0);
}

TEST(VST3Processing, SampleSizesTailAndLatency) {
    CPlugin plugin;
    EXPECT_EQ(plugin.processor->canProcessSampleSize(Vst::kSample32), kResultTrue);
    EXPECT_EQ(plugin.processor->canProcessSampleSize(Vst::kSample64), kResultTrue);
    EXPECT_EQ(plugin.processor->canProcessSampleSize(2), kResultFalse);
    Vst::ProcessSetup odd{Vst::kRealtime, 2, 512, 48000.0};
    EXPECT_EQ(plugin.processor->setupProcessing(odd), kResultFalse);
    for (const double rate : {0.0, 4000.0, 2147483647.0, std::numeric_limits<double>::quiet_NaN()}) {
        Vst::ProcessSetup absurd{Vst::kRealtime, Vst::kSample32, 512, rate};
        EXPECT_EQ(plugin.processor->setupProcessing(absurd), kResultFalse) << rate;
    }

    plugin.start(Vst::kSample64);
    EXPECT_EQ(plugin.processor->getTailSamples(), 576000u);
    EXPECT_EQ(plugin.processor->getLatencySamples(), 0u);
}

// The "Stereo Delay" factory preset puts the left channel 10 ms late and
// the right one 3.32 dB down; single and double precision must agree on it.
template <class T>
std::vector<std::vector<T>> renderStereoDelay(int32 sampleSize) {
    CPlugin plugin;
    plugin.start(sampleSize);
    plugin.activateFactoryPreset("Stereo Delay");
    std::vector<std::vector<T>> in(2, std::vector<T>(512)), out(2, std::vector<T>(512));
    // Past the cross-fade from the old delay to the new one.
    for (int block = 0; block < 20; ++block) plugin.run(in, out, nullptr);
    std::vector<std::vector<T>> result(2);
    for (int block = 0; block < 2; ++block) {
        in[0][0] = in[1][0] = T(block == 0 ? 1 : 0);
        plugin.run(in, out, nullptr);
        for (size_t c = 0; c < 2; ++c) result[c].insert(result[c].end(), out[c].begin(), out[c].end());
    }
    return result;
}

size_t peakAt(const std::vector<double>& samples) {
    size_t peak = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (std::abs(samples[i]) > std::abs(samples[peak])) peak = i;
    return peak;
}

TEST(VST3Processing, SingleAndDoublePrecisionAgree) {
    const auto single = renderStereoDelay<float>(Vst::kSample32);
    const auto dual = renderStereoDelay<double>(Vst::kSample64);
    ASSERT_EQ(dual.size(), 2u);
    EXPECT_EQ(peakAt(dual[0]), 480u);
    EXPECT_NEAR(dual[0][480], 1.0, 1e-6);
    EXPECT_EQ(peakAt(dual[1]), 0u);
    EXPECT_NEAR(dual[1][0], test::kStereoDelayRightGain, 1e-6);
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < dual[c].size(); ++i) ASSERT_NEAR(single[c][i], dual[c][i], 1e-6) << c << " " << i;
}

TEST(VST3State, RoundTripsThroughComponentAndController) {
    CPlugin source;
    source.activateFactoryPreset("Stereo Delay");
    source.controller->setParamNormalized(kADelay3, source.fromText(kADelay3, u"4"));
    const std::vector<double> saved = source.values();
    Steinberg::MemoryStream state;
    ASSERT_EQ(source.component->getState(&state), kResultOk);
    ASSERT_GT(state.getSize(), 12);
    // The controller has no state of its own: everything is the component's.
    Steinberg::MemoryStream controllerState;
    EXPECT_EQ(source.controller->getState(&controllerState), kResultOk);
    EXPECT_EQ(controllerState.getSize(), 0);

    CTestHandler handler;
    CTestRunLoopHost host;
    CPlugin viaComponent(static_cast<Steinberg::Linux::IRunLoop*>(&host));
    viaComponent.controller->setComponentHandler(&handler);
    const std::vector<double> defaults = viaComponent.values();
    ASSERT_NE(saved, defaults);
    state.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(viaComponent.component->setState(&state), kResultOk);
    EXPECT_EQ(viaComponent.values(), saved);
    host.fire();
    EXPECT_TRUE(handler.edits.empty());
    EXPECT_EQ(handler.restarts, std::vector<int32>{Vst::kParamValuesChanged});
    viaComponent.controller->setComponentHandler(nullptr);

    // A host that hands the component's state to the controller as well.
    CPlugin viaController;
    state.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(viaController.controller->setComponentState(&state), kResultOk);
    EXPECT_EQ(viaController.values(), saved);
}

// A host may hold a lock inside setState that its restartComponent needs:
// the plug-in calls back only after the state call, from the UI thread's
// run-loop timer (or the next controller call where there is no run loop).
TEST(VST3State, NoHostCallbackHappensInsideAStateCall) {
    CPlugin source;
    source.loadFactoryBank();  // a bank of another size: the program list changes too
    source.controller->setParamNormalized(kADelay3, source.fromText(kADelay3, u"4"));
    Steinberg::MemoryStream state;
    ASSERT_EQ(source.component->getState(&state), kResultOk);

    CTestRunLoopHost host;
    auto target = std::make_unique<CPlugin>(static_cast<Steinberg::Linux::IRunLoop*>(&host));
    ASSERT_EQ(host.timers.size(), 1u) << "the instance runs its idle round from the host's run loop";
    CTestHandler handler;
    target->controller->setComponentHandler(&handler);
    for (int viaController = 0; viaController < 2; ++viaController) {
        state.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
        if (viaController)
            ASSERT_EQ(target->controller->setComponentState(&state), kResultOk);
        else
            ASSERT_EQ(target->component->setState(&state), kResultOk);
        // As a host that reads the values back while it still holds the
        // lock of the state call.
        target->values();
        EXPECT_TRUE(handler.restarts.empty()) << "nothing reaches the host during the call";
        EXPECT_TRUE(handler.edits.empty());
        host.fire();
        ASSERT_FALSE(handler.restarts.empty());
        EXPECT_TRUE(handler.restarts.back() & Vst::kParamValuesChanged);
        handler.restarts.clear();
    }
    target->controller->setComponentHandler(nullptr);
    target.reset();
    EXPECT_TRUE(host.timers.empty()) << "the timer goes with the instance";
}

TEST(VST3Streams, EndOfHostStreamIsNoErrorButAFailureIs) {
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (tresult end : {kResultOk, kResultFalse}) {
        CPieceStream host(bytes, 3, end);
        CInputStreamVST in(&host);
        std::vector<uint8_t> got(100);
        size_t count = got.size();
        ASSERT_EQ(in.readStreamed(got.data(), count), nullptr);
        ASSERT_EQ(count, bytes.size());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), got.begin()));
        CErrorPtr err = in.read(got.data(), 1);
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(err->key(), "@zelstr_CInputStreamVST_read_EOF");
    }

    CPieceStream broken({}, 3, Steinberg::kInternalError);
    CInputStreamVST in(&broken);
    uint8_t b[4];
    size_t count = sizeof b;
    CErrorPtr err = in.readStreamed(b, count);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStreamVST_read_Failed");
}

// ---- a hostile host

// No host call may throw into the host, whatever it passes.
template <class F>
tresult noThrow(F&& call) {
    try {
        return call();
    } catch (...) {
        ADD_FAILURE() << "exception escaped into the host";
        return kResultOk;
    }
}

bool refused(tresult rc) { return rc == Steinberg::kInvalidArgument || rc == kResultFalse; }

TEST(VST3HostMisuse, BadIndicesNullPointersAndEmptyStringsAreRefusedNotThrown) {
    CPlugin plugin;
    Steinberg::FUnknownPtr<Vst::IUnitInfo> units(plugin.component);
    Steinberg::FUnknownPtr<Vst::IConnectionPoint> connection(plugin.component);
    const int32 bad[] = {-1, int32(kExtParams) + 1, int32(kExtParams) + 2, 1 << 30, std::numeric_limits<int32>::min()};
    Vst::ParameterInfo info;
    Vst::UnitInfo unit;
    Vst::ProgramListInfo list;
    Vst::BusInfo bus;
    Vst::String128 name;
    Vst::SpeakerArrangement arr = Vst::SpeakerArr::kStereo;
    for (const int32 i : bad) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParameterInfo(i, info); })));
        EXPECT_TRUE(refused(noThrow([&] { return units->getUnitInfo(i, unit); })));
        EXPECT_TRUE(refused(noThrow([&] { return units->getProgramListInfo(i, list); })));
        EXPECT_TRUE(
            refused(noThrow([&] { return units->getProgramName(CAudioWrapperVST3ProgramList::kId, i, name); })));
        EXPECT_TRUE(refused(noThrow([&] { return units->getProgramName(i, 0, name); })));
        EXPECT_TRUE(refused(
            noThrow([&] { return units->getProgramInfo(CAudioWrapperVST3ProgramList::kId, i, "name", name); })));
        EXPECT_TRUE(
            refused(noThrow([&] { return units->hasProgramPitchNames(CAudioWrapperVST3ProgramList::kId, i); })));
        EXPECT_TRUE(refused(
            noThrow([&] { return units->getProgramPitchName(CAudioWrapperVST3ProgramList::kId, i, 60, name); })));
        EXPECT_TRUE(refused(noThrow([&] { return plugin.component->getBusInfo(Vst::kAudio, Vst::kInput, i, bus); })));
        EXPECT_TRUE(refused(noThrow([&] { return plugin.component->getBusInfo(Vst::kEvent, Vst::kInput, i, bus); })));
        EXPECT_TRUE(
            refused(noThrow([&] { return plugin.component->activateBus(Vst::kAudio, Vst::kOutput, i, true); })));
        EXPECT_TRUE(refused(noThrow([&] { return plugin.processor->getBusArrangement(Vst::kOutput, i, arr); })));
        EXPECT_TRUE(refused(noThrow([&] { return plugin.processor->setBusArrangements(&arr, i, &arr, i); })));
        const auto id = Vst::ParamID(i);
        EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->setParamNormalized(id, 0.5); })));
        EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamStringByValue(id, 0.5, name); })));
        Vst::ParamValue v = 0;
        EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamValueByString(id, name, v); })));
    }
    Vst::ParamValue v = 0;
    char16_t empty[] = u"";
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamStringByValue(kADelay3, 0.5, nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamValueByString(kADelay3, nullptr, v); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamValueByString(kADelay3, empty, v); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getParamValueByString(kProgram, empty, v); })));
    EXPECT_TRUE(refused(noThrow([&] { return units->getProgramName(CAudioWrapperVST3ProgramList::kId, 0, nullptr); })));
    EXPECT_TRUE(
        refused(noThrow([&] { return units->getProgramInfo(CAudioWrapperVST3ProgramList::kId, 0, nullptr, name); })));
    EXPECT_TRUE(refused(
        noThrow([&] { return units->getProgramPitchName(CAudioWrapperVST3ProgramList::kId, 0, 60, nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.processor->setBusArrangements(nullptr, 1, nullptr, 1); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.component->setState(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.component->getState(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->setComponentState(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->setState(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return plugin.controller->getState(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return connection->connect(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return connection->notify(nullptr); })));
    EXPECT_TRUE(refused(noThrow([&] { return connection->disconnect(nullptr); })));
    // Nothing of it changed the instance.
    EXPECT_EQ(plugin.controller->getParameterCount(), int32(kExtParams) + 1);
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), 0.0);
}

TEST(VST3HostMisuse, NonFiniteValuesAreRejectedAtEveryEntry) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    CPlugin plugin;
    plugin.start(Vst::kSample32);
    const double four = plugin.fromText(kADelay3, u"4");
    ASSERT_EQ(plugin.controller->setParamNormalized(kADelay3, four), kResultTrue);
    Vst::String128 name;
    for (const double bad : {nan, inf, -inf}) {
        EXPECT_EQ(plugin.controller->setParamNormalized(kADelay3, bad), Steinberg::kInvalidArgument);
        EXPECT_EQ(plugin.controller->setParamNormalized(kProgram, bad), Steinberg::kInvalidArgument);
        EXPECT_EQ(plugin.controller->getParamStringByValue(kADelay3, bad, name), Steinberg::kInvalidArgument);
        EXPECT_TRUE(std::isfinite(plugin.controller->normalizedParamToPlain(kADelay3, bad)));
        CTestChanges changes;
        changes.add(kADelay3).add(0, bad);
        std::vector<std::vector<float>> in(2, std::vector<float>(64)), out(2, std::vector<float>(64));
        plugin.run(in, out, &changes);
        EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), four);
    }
    Vst::ParamValue v = 0;
    char16_t huge[] = u"1e999";
    if (plugin.controller->getParamValueByString(kADelay3, huge, v) == kResultTrue) {
        EXPECT_TRUE(std::isfinite(v));
    }

    // A state whose delay digits hold NaN is refused as a whole.
    CMemoryWriter record;
    record.writeString("audio.modMain.modLagwell.adelay");
    for (uint32_t u : {1u, 1u, 0u, 1u, 6u}) record.writeUInt32(u);
    for (double d : {0.0, 0.0, 0.0, nan, 0.0, 0.0}) record.writeReal(d);
    CAudioPreset preset("t4c9:Poisoned");
    preset.setItem("modLagwell.adelay", record.bytes());
    CMemoryWriter block;
    ASSERT_EQ(preset.saveCompressed(block), nullptr);
    Steinberg::MemoryStream state;
    state.write(const_cast<uint8_t*>(block.bytes().data()), int32(block.bytes().size()), nullptr);
    state.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
    CShownErrors shown;
    EXPECT_EQ(plugin.component->setState(&state), kResultFalse);
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), four);
    Steinberg::MemoryStream saved;
    ASSERT_EQ(plugin.component->getState(&saved), kResultOk);
    CPlugin fresh;
    saved.seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(fresh.component->setState(&saved), kResultOk);
    for (double value : fresh.values()) EXPECT_TRUE(std::isfinite(value));
}

TEST(VST3HostMisuse, ProcessRefusesASampleSizeOtherThanTheOneSetUp) {
    CPlugin plugin;
    plugin.start(Vst::kSample32);
    // Buffers as set up (32-bit), a call that claims 64-bit.
    const int32 n = 256;
    std::vector<std::vector<float>> in(2, std::vector<float>(n, 0.5f)), out(2, std::vector<float>(n, -9.0f));
    std::vector<float*> inPtrs{in[0].data(), in[1].data()}, outPtrs{out[0].data(), out[1].data()};
    Vst::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = inPtrs.data();
    outBus.channelBuffers32 = outPtrs.data();
    Vst::ProcessData data;
    data.symbolicSampleSize = Vst::kSample64;
    data.numSamples = n;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    EXPECT_EQ(plugin.processor->process(data), kResultFalse);
    for (const auto& channel : out)
        EXPECT_EQ(channel, std::vector<float>(n, 0.0f)) << "silence in the size set up, and nothing past it";

    data.symbolicSampleSize = Vst::kSample32;
    EXPECT_EQ(plugin.processor->process(data), kResultOk);
}

TEST(VST3HostMisuse, ATerminatedInstanceInitialisesAgainLikeANewOne) {
    CShownErrors shown;
    CPlugin plugin;
    plugin.controller->setParamNormalized(kADelay3, plugin.fromText(kADelay3, u"4"));
    ASSERT_EQ(plugin.component->terminate(), kResultOk);
    EXPECT_EQ(plugin.controller->getParameterCount(), 0);
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 512, 48000.0};
    EXPECT_EQ(plugin.processor->setupProcessing(setup), kResultFalse) << "nothing to set up while terminated";

    ASSERT_EQ(plugin.component->initialize(nullptr), kResultOk);
    EXPECT_TRUE(shown.shown().empty()) << shown.shown()[0];
    EXPECT_EQ(plugin.controller->getParameterCount(), int32(kExtParams) + 1);
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), 0.0) << "a new instance's values";
    EXPECT_EQ(plugin.component->initialize(nullptr), kResultFalse) << "initialised once";
    plugin.instance = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
    plugin.start(Vst::kSample32);
    plugin.activateFactoryPreset("Stereo Delay");
    std::vector<std::vector<float>> in(2, std::vector<float>(512)), out(2, std::vector<float>(512));
    plugin.run(in, out, nullptr);
    Steinberg::MemoryStream state;
    EXPECT_EQ(plugin.component->getState(&state), kResultOk);
}

// Hosts call the controller from several threads at once; run under the
// thread sanitizer, these must not race.
TEST(VST3Threads, ControlThreadsSaveStateNameProgramsAndSetParameters) {
    CPlugin plugin;
    plugin.start(Vst::kSample32);
    const double four = plugin.fromText(kADelay3, u"4");
    const double seven = plugin.fromText(kADelay3 + 1, u"7");
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) {
            Steinberg::MemoryStream state;
            EXPECT_EQ(plugin.component->getState(&state), kResultOk);
        }
    });
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) {
            Vst::String128 name;
            ASSERT_EQ(plugin.controller->getParamStringByValue(kProgram, 0.0, name), kResultTrue);
            EXPECT_EQ(text(name), "Default");
        }
    });
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) plugin.controller->setParamNormalized(kADelay3, r % 2 ? four : 0.0);
    });
    threads.emplace_back([&] {
        for (int r = 0; r < kRounds; ++r) plugin.controller->setParamNormalized(kADelay3 + 1, r % 2 ? seven : 0.0);
    });
    for (auto& t : threads) t.join();
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3), four);
    EXPECT_EQ(plugin.controller->getParamNormalized(kADelay3 + 1), seven);
}

}  // namespace
}  // namespace zel
