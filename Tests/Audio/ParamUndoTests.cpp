// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

TEST(ParamUndo, HistoryIsBoundedAndStartsWithTheStartEntry) {
    CInstance inst;
    EXPECT_EQ(inst.undo().maxCount(), 32u) << "from the interface base's undo-count-max";
    for (int i = 1; i <= 33; ++i)
        inst.edit("modOutGain.gain", 0, 0, {i % 2 ? 2.0 : 0.5}, i == 1 ? "First" : i == 2 ? "Second" : "Later");
    size_t position = 0;
    const auto list = inst.undo().history(&position);
    ASSERT_EQ(list.size(), 33u);
    EXPECT_EQ(list[0], "Undo history start");
    EXPECT_EQ(list[1], "Second") << "the oldest record was dropped";
    EXPECT_EQ(position, 32u);

    CAudioParamUndo small(*inst.collector, 2);
    EXPECT_EQ(small.maxCount(), 4u) << "counts below 5 become 4";
}

TEST(ParamUndo, UndoRedoRestoreValuesAndANewChangeDropsTheRedoTail) {
    CInstance inst;
    for (double d : {1.0, 2.0, 3.0, 4.0}) inst.edit("modLagwell.sdelay", 1, 0, {d});
    inst.undo().moveTo(1);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 1), 1.0);
    EXPECT_EQ(inst.value("modLagwell.sample-delay", 1), 1.0) << "derived values follow undo";
    inst.undo().moveTo(3);
    EXPECT_EQ(inst.value("modLagwell.sample-delay", 1), 3.0);
    inst.undo().moveTo(0);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 1), 0.0);
    inst.undo().moveTo(9);
    EXPECT_EQ(inst.undo().position(), 0u) << "outside the history: nothing happens";

    inst.undo().moveTo(1);
    inst.edit("modLagwell.sdelay", 1, 0, {8}, "New");
    EXPECT_EQ(inst.undo().history(), (std::vector<CString>{"Undo history start", "Edit", "New"}));
    inst.undo().moveTo(1);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 1), 1.0);
}

TEST(ParamUndo, ADragMergesIntoOneEntryThatUndoesToItsStart) {
    CInstance inst;
    inst.edit("modOutGain.gain", 1, 0, {0.5}, "Gain", 7);
    inst.edit("modOutGain.gain", 1, 0, {0.6}, "Gain", 7);
    inst.edit("modOutGain.gain", 1, 0, {0.7}, "Gain", 7);
    EXPECT_EQ(inst.undo().count(), 1u);
    inst.edit("modOutGain.gain", 1, 0, {0.8}, "Gain", 8);
    inst.edit("modOutGain.gain", 2, 0, {0.8}, "Gain", 8);
    EXPECT_EQ(inst.undo().count(), 3u) << "another drag, then another place: separate entries";
    inst.edit("modOutGain.gain", 2, 0, {0.9}, "Gain");
    inst.edit("modOutGain.gain", 2, 0, {1.1}, "Gain");
    EXPECT_EQ(inst.undo().count(), 5u) << "records without the merge flag never merge";

    inst.undo().moveTo(1);
    EXPECT_DOUBLE_EQ(inst.value("modOutGain.gain", 1), 0.7);
    inst.undo().moveTo(0);
    EXPECT_EQ(inst.value("modOutGain.gain", 1), 1.0) << "the value before the drag";
}

TEST(ParamUndo, ABSwitchKeepsTheSoundAtFirstAndGivesEachSlotItsHistory) {
    CInstance inst;
    CAudioParamRegistry& master = inst.registry();
    inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 1}, "A edit");
    master.exchangeShadow();
    EXPECT_EQ(inst.value("ab-state"), 1.0);
    EXPECT_EQ(inst.values("modLagwell.adelay"), (std::vector<double>{0, 0, 0, 1})) << "B starts as a copy of A";
    EXPECT_EQ(inst.undo().history().back(), "A edit") << "and with a copy of its history";

    inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 5}, "B edit");
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay"), 0.05);
    master.exchangeShadow();
    EXPECT_EQ(inst.value("ab-state"), 0.0);
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay"), 0.01) << "back to A, derived values included";
    EXPECT_EQ(inst.undo().history().back(), "A edit");

    master.exchangeShadow();
    EXPECT_EQ(inst.undo().history().back(), "B edit");
    inst.undo().moveTo(inst.undo().count() - 1);
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay"), 0.01) << "undo works on the live slot's history";

    master.updateShadow();
    inst.edit("modOutGain.gain", 0, 0, {2.0});
    master.exchangeShadow();
    EXPECT_EQ(inst.value("modOutGain.gain"), 1.0) << "the copy holds the state at the time of copying";
}

TEST(ParamUndo, EditsAreClampedAndReachTheAudioThreadOnce) {
    CInstance inst;
    inst.edit("io-params.in-routing", 0, 2, {40, -3});
    EXPECT_EQ(inst.values("io-params.in-routing"), (std::vector<double>{1, 2, 16, 0, 0, 0, 0, 0}));
    CAudioParamUpdate taken;
    {
        std::lock_guard<std::mutex> lock(inst.collector->audioEnv()->lock());
        inst.collector->takePending(taken);
    }
    ASSERT_EQ(taken.entries().size(), 1u);
    EXPECT_EQ(taken.entries()[0].elementCount, 8u);

    inst.edit("io-params.in-routing", 0, 2, {16, 0});
    EXPECT_EQ(inst.undo().count(), 1u) << "a change to the same value is no undo step";
}
