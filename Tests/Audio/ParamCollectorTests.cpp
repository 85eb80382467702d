// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Audio/Param.h"
#include "Core/Application.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

size_t countDefs(const CObject& o) {
    size_t n = dynamic_cast<const CAudioParamDef*>(&o) ? 1 : 0;
    for (const auto& c : o.children()) n += countDefs(*c);
    return n;
}

}  // namespace

TEST(ParamCollector, EveryDefinitionBecomesAnInstanceParameterAtItsRunTimeName) {
    CInstance inst;
    ASSERT_NE(inst.collector, nullptr);
    EXPECT_EQ(inst.collector->params().size(), countDefs(*CApplication::sharedObject()->findChild("audio")) + 2)
        << "and the enable parameters of the two meters";

    CAudioParam* grouping = inst.collector->find("plugin.modMain.io-params.grouping");
    ASSERT_NE(grouping, nullptr);
    EXPECT_EQ(grouping, inst.root.findObject("plugin.modMain.io-params.grouping"));
    EXPECT_EQ(grouping->def().fullName(), "audio.modMain.io-params.grouping");
    EXPECT_EQ(grouping->storage().value().group(0), (std::vector<double>{0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(grouping->storage().read(5, 2), 1.0);

    ASSERT_NE(inst.collector->find("plugin.param-enable-viz"), nullptr);
    ASSERT_NE(inst.collector->find("plugin.modMain.modLagwell.modDelay.trans-time"), nullptr);
    EXPECT_EQ(inst.collector->find("plugin.modMain.io-params.in-channel-names")->storage().text(0, 15), "IN16");
    EXPECT_EQ(inst.root.findObject("plugin.paramcvt"), nullptr) << "containers without parameters are not mirrored";
}

TEST(ParamCollector, InstancesKeepTheirOwnValues) {
    CInstance a, b;
    CAudioParam* gainA = a.collector->find("plugin.modMain.modOutGain.gain");
    CAudioParam* gainB = b.collector->find("plugin.modMain.modOutGain.gain");
    ASSERT_TRUE(gainA && gainB);
    gainA->storage().setComponent(1, 0, 0, 0.5);
    EXPECT_EQ(gainA->storage().read(1, 0), 0.5);
    EXPECT_EQ(gainB->storage().read(1, 0), 1.0);
    EXPECT_EQ(&gainA->info(), &gainB->info()) << "both read the one shared definition";
}

TEST(ParamCollector, HostSeesFortyNineElementsInOrder) {
    CInstance inst;
    CObject* list = inst.root.findObject("plugin.ext-param-list");
    ASSERT_NE(dynamic_cast<CAudioExtParamList*>(list), nullptr);
    ASSERT_EQ(list->children().size(), 49u);
    auto ext = [&](size_t i) { return dynamic_cast<CAudioExtParam*>(list->children()[i].get()); };
    EXPECT_EQ(ext(0)->extName(), "Bypass");
    EXPECT_EQ(ext(0)->param(), inst.collector->find("plugin.modMain.bypass-enable"));
    EXPECT_EQ(ext(6)->extName(), "ADelay5");
    EXPECT_EQ(ext(6)->elementIndex(), 5);
    EXPECT_EQ(ext(12)->extName(), "DlyDime") << "seven characters, as written";
    EXPECT_EQ(ext(24)->extName(), "2DlyDim");
    EXPECT_EQ(ext(24)->group(), 1);
    EXPECT_EQ(ext(37)->extName(), "4ADly0");
    EXPECT_EQ(ext(48)->extName(), "4DlyDim");
    EXPECT_EQ(ext(48)->group(), 3);
    EXPECT_EQ(ext(48)->param(), inst.collector->find("plugin.modMain.modLagwell.delay-time-mode"));
}

TEST(ParamCollector, ChangesMoveTheVersionsOfWhatTheyTouched) {
    CInstance inst;
    CAudioParam& adelay = inst.param("modLagwell.adelay");
    CAudioParam& derived = inst.param("modLagwell.audio-delay");
    CAudioParam& gain = inst.param("modOutGain.gain");
    const uint64_t a = adelay.version(), d = derived.version(), g = gain.version();
    inst.edit("modLagwell.adelay", 1, 2, {5.0});
    EXPECT_GT(adelay.version(), a);
    EXPECT_GT(derived.version(), d) << "the filter's destination changed too";
    EXPECT_EQ(gain.version(), g);
}

TEST(ParamCollector, PostedChangesReachTheAudioThreadAsGroupSnapshots) {
    CInstance inst;
    ASSERT_NE(inst.collector->audioEnv(), nullptr);
    CAudioParam& gain = inst.param("modOutGain.gain");
    CAudioParam& routing = inst.param("io-params.in-routing");
    gain.storage().setComponent(1, 0, 0, 0.5);
    CAudioParamChangeSet first, second;
    first.add({&gain, 1, 0, 1});
    second.add({&gain, 1, 0, 1});
    second.add({&routing, 0, 2, 3});
    inst.collector->post(first);
    gain.storage().setComponent(1, 0, 0, 2.0);
    inst.collector->post(second);

    CAudioParamUpdate taken;
    {
        std::lock_guard<std::mutex> lock(inst.collector->audioEnv()->lock());
        inst.collector->takePending(taken);
    }
    ASSERT_EQ(taken.entries().size(), 2u) << "one entry per parameter and group";
    const auto& g = taken.entries()[0];
    EXPECT_EQ(g.param, &gain);
    EXPECT_EQ(g.group, 1u);
    ASSERT_EQ(g.elementCount, 1u);
    EXPECT_EQ(taken.components(g)[0], 2.0) << "the newest value wins";
    const auto& r = taken.entries()[1];
    EXPECT_EQ(std::vector<double>(taken.components(r), taken.components(r) + r.size),
              (std::vector<double>{1, 2, 0, 0, 0, 0, 0, 0}))
        << "the whole group travels";
    inst.collector->takePending(taken);
    EXPECT_TRUE(taken.empty()) << "an update is taken over once";
}
