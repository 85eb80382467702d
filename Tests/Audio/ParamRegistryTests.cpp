// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "Core/AppData.h"
#include "Core/MemoryStream.h"
#include "Support/Instance.h"
#include "Support/Printers.h"
#include "Support/ShownErrors.h"

using namespace zel;

namespace {

std::vector<CString> keys(const CAudioPreset& p) {
    std::vector<CString> out;
    for (const auto& [key, blob] : p.items()) out.push_back(key);
    return out;
}

// A float parameter record as a preset item holds it.
CAudioPreset::CBlob floatRecord(const std::string& defName, const std::vector<std::vector<double>>& groups,
                                uint32_t version = 1) {
    CMemoryWriter w;
    w.writeString(CString::fromUtf8(defName));
    w.writeUInt32(version);
    w.writeUInt32(1);
    w.writeUInt32(0);
    w.writeUInt32(uint32_t(groups.size()));
    for (const auto& g : groups) {
        w.writeUInt32(uint32_t(g.size()));
        for (double v : g) w.writeReal(v);
    }
    return w.bytes();
}

std::vector<CAudioParamUpdate::CEntry> pending(CInstance& inst) {
    CAudioParamUpdate taken;
    std::lock_guard<std::mutex> lock(inst.collector->audioEnv()->lock());
    inst.collector->takePending(taken);
    return taken.entries();
}

bool hasRun(const std::vector<CAudioParamUpdate::CEntry>& entries, CAudioParam& p, size_t group) {
    for (const auto& e : entries)
        if (e.param == &p && e.group == group) return true;
    return false;
}

}  // namespace

TEST(ParamRegistry, EachRegistryCapturesItsOwnStorableParameters) {
    CInstance inst;
    CAudioPreset io, master, colour;
    inst.registry("param-registry-io").capture(io);
    EXPECT_EQ(io.name(), "ZMIO:");
    EXPECT_EQ(keys(io), (std::vector<CString>{"group-names", "grouping", "in-channel-names", "in-routing", "ms-pairs",
                                              "out-routing", "show-all-channels"}))
        << "channel-group-solo is global and not stored by routing presets";

    inst.registry().capture(master);
    EXPECT_EQ(master.name(), "t4c9:Default");
    EXPECT_EQ(keys(master), (std::vector<CString>{
                                "groupsel", "io-params.group-names", "io-params.grouping", "io-params.in-channel-names",
                                "io-params.in-routing", "io-params.ms-pairs", "io-params.out-routing",
                                "io-params.show-all-channels", "modLagwell.adelay", "modLagwell.delay-time-mode",
                                "modLagwell.sdelay", "modOutGain.gain", "preset-name"}));
    CAudioPreset withPersistent;
    inst.registry().capture(withPersistent, -1, true);
    EXPECT_EQ(withPersistent.items().count("instance-name"), 1u);

    inst.registry("param-registry-uicolor").capture(colour);
    EXPECT_EQ(colour.name(), "ZMUS:Default") << "named by its mode-name parameter";
    EXPECT_EQ(keys(colour), (std::vector<CString>{"mode-name", "palette"})) << "this registry stores globals";

    // The item is the definition name and the storage record.
    CMemoryReaderStatic in(master.items().at("io-params.grouping").data(),
                           master.items().at("io-params.grouping").size());
    CString defName;
    ASSERT_EQ(in.readString(defName), nullptr);
    EXPECT_EQ(defName, "audio.modMain.io-params.grouping");
}

TEST(ParamRegistry, ActivationAppliesFiltersResetsMissingItemsAndIsOneUndoEntry) {
    CInstance inst;
    inst.edit("modOutGain.gain", 2, 0, {2.0});
    inst.edit("io-params.ms-pairs", 0, 0, {1, 1});
    ASSERT_EQ(inst.value("mid-side-bypass"), 0.0) << "an edit runs the filters";
    pending(inst);

    CAudioPreset preset("t4c9:Delayed");
    preset.setItem("modLagwell.adelay", floatRecord("audio.modMain.modLagwell.adelay", {{0, 0, 0, 1}, {0, 0, 0, 5}}));
    preset.setItem("modLagwell.gone", floatRecord("audio.modMain.modLagwell.gone", {{1}}));
    ASSERT_EQ(inst.registry().activatePreset(preset), nullptr);

    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay", 0), 0.01);
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay", 1), 0.05);
    EXPECT_EQ(inst.value("modOutGain.gain", 2), 1.0) << "no item: back to the default";
    EXPECT_EQ(inst.values("io-params.ms-pairs"), std::vector<double>(8, 0.0));
    EXPECT_EQ(inst.value("mid-side-bypass"), 1.0) << "the reset ms-pairs ran their filter";
    EXPECT_EQ(inst.param("preset-name").storage().text(0, 0), "Delayed");
    EXPECT_EQ(inst.registry().sessionBank().presets()[0].name(), "t4c9:Delayed");

    const auto runs = pending(inst);
    EXPECT_TRUE(hasRun(runs, inst.param("modLagwell.audio-delay"), 1)) << "derived values reach the audio thread";
    EXPECT_TRUE(hasRun(runs, inst.param("mid-side-bypass"), 0));

    EXPECT_EQ(inst.undo().history(),
              (std::vector<CString>{"Undo history start", "Edit", "Edit", "Master preset activate"}));
    inst.undo().moveTo(2);
    EXPECT_EQ(inst.value("modOutGain.gain", 2), 2.0);
    EXPECT_EQ(inst.value("modLagwell.audio-delay", 1), 0.0);
    EXPECT_EQ(inst.value("mid-side-bypass"), 0.0) << "undo runs the filters too";
}

TEST(ParamRegistry, ForeignOrBrokenPresetsAreRefusedWithTheirMessages) {
    CInstance inst;
    CAudioParamRegistry& master = inst.registry();
    CAudioPreset routing("ZMIO:Dual Mono"), bare("Default");
    routing.setItem("grouping", floatRecord("audio.modMain.io-params.grouping", {{0, 1, 1, 1, 1, 1, 1, 1}}));
    for (const CAudioPreset* p : {&routing, &bare}) {
        CErrorPtr err = master.activatePreset(*p);
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(err->text(), "Incompatible preset.");
    }
    EXPECT_EQ(inst.undo().count(), 0u) << "a refused preset changes nothing";

    // Items apply in key order; a record that does not fit stops there.
    CAudioPreset broken("t4c9:Broken");
    broken.setItem("io-params.grouping", floatRecord("audio.modMain.io-params.grouping", {{0, 1, 1, 1, 1, 1, 1, 1}}));
    broken.setItem("modLagwell.adelay", floatRecord("audio.modMain.modLagwell.adelay", {{5}}, 2));
    broken.setItem("modOutGain.gain", floatRecord("audio.modMain.modOutGain.gain", {{2.0}}));
    CErrorPtr err = master.activatePreset(broken);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->describe().find("Unsupported data set version 2."), std::string::npos) << err->describe();
    EXPECT_EQ(inst.values("io-params.grouping"), (std::vector<double>{0, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(inst.value("modOutGain.gain"), 1.0);
    EXPECT_EQ(inst.undo().count(), 1u) << "what was applied can be undone";

    CMemoryWriter out;
    err = master.acquirePreset(true, 11, out);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "Invalid preset index 11 specified.");
    err = inst.registry("param-registry-io").acquireBank(out);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "Acquiring bank in a non-master registry is an error.");

    // A hostile record fails on reading, not by allocating.
    CMemoryWriter hostile;
    hostile.writeString("t4c9:x");
    hostile.writeUInt32(4000000000u);
    CMemoryReaderStatic in(hostile.bytes().data(), hostile.bytes().size());
    EXPECT_NE(master.activatePreset(in), nullptr);
}

TEST(ParamRegistry, GroupActivationWritesOneGroupAndNamesIt) {
    CInstance inst;
    CAudioPreset group;
    inst.edit("modOutGain.gain", 0, 0, {0.5});
    inst.registry().capture(group, 0);
    inst.edit("modOutGain.gain", 0, 0, {1.0});
    inst.edit("modOutGain.gain", 3, 0, {2.0});
    ASSERT_EQ(inst.registry().activatePreset(group, 2), nullptr);
    EXPECT_EQ(inst.value("modOutGain.gain", 2), 0.5);
    EXPECT_EQ(inst.value("modOutGain.gain", 3), 2.0) << "other groups keep their values";
    EXPECT_EQ(inst.undo().history().back(), "Master preset activate (3)") << "group names default to their numbers";

    inst.param("io-params.group-names").storage().setText(0, 1, "Side");
    CAudioPreset routing;
    inst.registry("param-registry-io").capture(routing, 0);
    inst.edit("io-params.grouping", 0, 0, {1});
    ASSERT_EQ(inst.registry("param-registry-io").activatePreset(routing, 1), nullptr);
    EXPECT_EQ(inst.undo().history().back(), "Routing preset activate (Side)");
}

TEST(ParamRegistry, InstanceStateRoundTripsThroughTheAprsBlock) {
    CInstance source;
    source.edit("modLagwell.sdelay", 1, 0, {2, 3});
    source.edit("io-params.grouping", 0, 0, {0, 1, 1, 1});
    source.param("instance-name").storage().setText(0, 0, "Overheads");
    CMemoryWriter state;
    ASSERT_EQ(source.registry().saveState(state), nullptr);

    CInstance target;
    CMemoryReaderStatic in(state.bytes().data(), state.bytes().size());
    CErrorPtr err = target.registry().restoreState(in);
    ASSERT_EQ(err, nullptr) << err->describe();
    EXPECT_EQ(target.values("modLagwell.sdelay", 1), (std::vector<double>{2, 3}));
    EXPECT_EQ(target.value("modLagwell.sample-delay", 1), 32.0);
    EXPECT_EQ(target.values("io-params.grouping"), (std::vector<double>{0, 1, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(target.param("instance-name").storage().text(0, 0), "Overheads") << "persistent values travel too";
    EXPECT_EQ(target.undo().history().back(), "Master preset activate") << "a restore can be undone";

    CMemoryWriter again;
    ASSERT_EQ(target.registry().saveState(again), nullptr);
    EXPECT_EQ(again.bytes(), state.bytes());

    CMemoryWriter wrongTag;
    wrongTag.writeCompressedData(makeTag("abnk"), state.bytes().data(), 4);
    CMemoryReaderStatic bad(wrongTag.bytes().data(), wrongTag.bytes().size());
    EXPECT_NE(target.registry().restoreState(bad), nullptr);
    EXPECT_EQ(target.value("modLagwell.sample-delay", 1), 32.0);
}

TEST(ParamRegistry, ProgramsKeepTheirStateAndUndoHistory) {
    CInstance inst;
    CAudioParamRegistry& master = inst.registry();
    CAudioPresetBank bank("anything");
    CAudioPreset a, b;
    master.capture(a);
    a.setName("t4c9:First");
    inst.edit("modOutGain.gain", 1, 0, {0.5});
    master.capture(b);
    b.setName("t4c9:Second");
    bank.presets() = {a, b};
    CMemoryWriter w;
    ASSERT_EQ(bank.save(w), nullptr);
    CMemoryReaderStatic r(w.bytes().data(), w.bytes().size());
    ASSERT_EQ(master.loadSessionBank(r), nullptr);
    EXPECT_EQ(master.sessionBank().name(), "Session Bank");
    EXPECT_EQ(inst.value("modOutGain.gain", 1), 1.0) << "program 0 applied";

    inst.edit("modLagwell.adelay", 0, 0, {7}, "Program one edit");
    master.setCurrentProgram(1);
    EXPECT_EQ(master.currentProgram(), 1);
    EXPECT_EQ(inst.value("modOutGain.gain", 1), 0.5);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 0.0);
    EXPECT_EQ(inst.param("preset-name").storage().text(0, 0), "Second");
    EXPECT_EQ(inst.undo().history(), std::vector<CString>{"Undo history start"}) << "program 1 has its own history";

    master.setCurrentProgram(0);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 7.0) << "the edit was kept in program 0";
    EXPECT_EQ(inst.undo().history().back(), "Program one edit");
    master.setCurrentProgram(5);
    EXPECT_EQ(master.currentProgram(), 0);

    master.renameProgram("Kick", true);
    EXPECT_EQ(master.sessionBank().presets()[0].name(), "t4c9:Kick");
    EXPECT_EQ(inst.undo().history().back(), "Program name change");
    ASSERT_EQ(master.masterReset(), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 0.0);
    EXPECT_EQ(inst.param("preset-name").storage().text(0, 0), "Default");
    EXPECT_EQ(inst.undo().history().back(), "Master reset");
}

TEST(ParamRegistry, TheCurrentProgramsNameFollowsThePresetNameThroughUndoRedoAndAB) {
    CInstance inst;
    CAudioParamRegistry& master = inst.registry();
    auto presetName = [&] { return inst.param("preset-name").storage().text(0, 0); };
    auto savedName = [&] {
        CMemoryWriter w;
        EXPECT_EQ(master.acquireBank(w), nullptr);
        CAudioPresetBank bank;
        CMemoryReaderStatic r(w.bytes().data(), w.bytes().size());
        EXPECT_EQ(bank.load(r), nullptr);
        return bank.presets().empty() ? CString() : bank.presets()[0].name();
    };

    master.renameProgram("Kick", true);
    const size_t renamed = inst.undo().position();
    inst.undo().moveTo(renamed - 1);
    EXPECT_EQ(presetName(), "Default");
    EXPECT_EQ(master.programDisplayName(0), "Default") << "the program list shows the undone name";
    EXPECT_EQ(savedName(), "t4c9:Default") << "a saved bank carries it too";
    EXPECT_EQ(master.findProgram("Kick"), -1);

    inst.undo().moveTo(renamed);
    EXPECT_EQ(presetName(), "Kick");
    EXPECT_EQ(master.programDisplayName(0), "Kick");
    EXPECT_EQ(savedName(), "t4c9:Kick");

    // Slot B keeps the typed name while slot A undoes it: each switch shows
    // the name of the slot switched to.
    master.updateShadow();
    inst.undo().moveTo(renamed - 1);
    master.exchangeShadow();
    EXPECT_EQ(presetName(), "Kick");
    EXPECT_EQ(master.programDisplayName(0), "Kick");
    master.exchangeShadow();
    EXPECT_EQ(presetName(), "Default");
    EXPECT_EQ(master.programDisplayName(0), "Default");
    EXPECT_EQ(savedName(), "t4c9:Default");
}

TEST(ParamRegistry, StoredDefaultPresetSeedsNewInstances) {
    CAudioPreset mine;
    {
        CInstance inst;
        EXPECT_FALSE(inst.registry().isDefaultPresetLoaded());
        inst.edit("modOutGain.gain", 0, 0, {0.5});
        inst.registry().capture(mine);
        mine.setName("t4c9:Mine");
        ASSERT_EQ(inst.registry().storeDefaultPreset(mine), nullptr);
        EXPECT_NE(inst.registry("param-registry-io").storeDefaultPreset(mine), nullptr)
            << "checked like any activation";
    }
    CInstance next;
    EXPECT_TRUE(next.registry().isDefaultPresetLoaded());
    EXPECT_EQ(next.registry().sessionBank().presets()[0].name(), "t4c9:Mine");
    EXPECT_EQ(next.value("modOutGain.gain"), 0.5) << "the instance starts in the stored state, not only its name";
    EXPECT_EQ(next.param("preset-name").storage().text(0, 0), "Mine");
    EXPECT_EQ(next.undo().count(), 0u);
    std::filesystem::remove(CAppDataLocal::instance().itemPath(CAudioParamRegistry::kDefaultPresetItem));
}

TEST(ParamRegistry, DamagedDefaultPresetIsSetAsideAndStatesStayLoadable) {
    CShownErrors shown;
    const std::string file = CAppDataLocal::instance().itemPath(CAudioParamRegistry::kDefaultPresetItem);
    // A correctly framed block whose record has an empty name.
    const std::vector<uint8_t> zeros(16, 0);
    ASSERT_EQ(CAppDataLocal::instance().writeItem(CAudioParamRegistry::kDefaultPresetItem, zeros.data(), zeros.size(),
                                                  CAudioPreset::kTag),
              nullptr);
    CInstance inst;
    EXPECT_FALSE(inst.registry().isDefaultPresetLoaded());
    EXPECT_EQ(inst.registry().sessionBank().presets()[0].name(), "t4c9:Default");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(std::filesystem::exists(file + CAppData::kDamagedSuffix));
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_NE(shown.shown()[0].find("Incompatible preset."), std::string::npos) << shown.shown()[0];

    inst.edit("modOutGain.gain", 0, 0, {0.5});
    CMemoryWriter state;
    ASSERT_EQ(inst.registry().saveState(state), nullptr);
    CInstance clean;
    CMemoryReaderStatic in(state.bytes().data(), state.bytes().size());
    CErrorPtr err = clean.registry().restoreState(in);
    ASSERT_EQ(err, nullptr) << err->describe();
    EXPECT_EQ(clean.value("modOutGain.gain"), 0.5);
    std::filesystem::remove(file + CAppData::kDamagedSuffix);
}

TEST(ParamRegistry, DefaultPresetWithAnItemThatDoesNotFitLeavesTheEmbeddedDefault) {
    CShownErrors shown;
    const std::string file = CAppDataLocal::instance().itemPath(CAudioParamRegistry::kDefaultPresetItem);
    CAudioPreset bad("t4c9:Bad");
    bad.setItem("modLagwell.adelay", floatRecord("audio.modMain.modLagwell.adelay", {{0, 0, 0, 4}}));
    bad.setItem("modOutGain.gain", floatRecord("audio.modMain.modOutGain.gain", {{0.5}}, 2));
    CMemoryWriter record;
    ASSERT_EQ(bad.save(record), nullptr);
    ASSERT_EQ(CAppDataLocal::instance().writeItem(CAudioParamRegistry::kDefaultPresetItem, record.bytes().data(),
                                                  record.bytes().size(), CAudioPreset::kTag),
              nullptr);
    CInstance inst;
    EXPECT_FALSE(inst.registry().isDefaultPresetLoaded());
    EXPECT_EQ(inst.registry().sessionBank().presets()[0].name(), "t4c9:Default");
    EXPECT_EQ(inst.value("modLagwell.adelay", 0, 3), 0.0) << "nothing of the refused default stays applied";
    EXPECT_EQ(inst.param("preset-name").storage().text(0, 0), "Default");
    EXPECT_TRUE(std::filesystem::exists(file + CAppData::kDamagedSuffix));
    EXPECT_EQ(shown.shown().size(), 1u);
    std::filesystem::remove(file + CAppData::kDamagedSuffix);
}

TEST(ParamRegistry, AStateIsNeverNamedSoThatItsReaderRefusesIt) {
    CInstance inst;
    CAudioPresetBank bank("foreign");
    CAudioPreset program;
    inst.registry().capture(program);
    program.setName("Unprefixed");
    bank.presets() = {program};
    CMemoryWriter w;
    ASSERT_EQ(bank.save(w), nullptr);
    CMemoryReaderStatic r(w.bytes().data(), w.bytes().size());
    inst.registry().loadSessionBank(r);
    inst.edit("modOutGain.gain", 0, 0, {0.5});

    CMemoryWriter state;
    ASSERT_EQ(inst.registry().saveState(state), nullptr);
    CInstance other;
    CMemoryReaderStatic in(state.bytes().data(), state.bytes().size());
    CErrorPtr err = other.registry().restoreState(in);
    ASSERT_EQ(err, nullptr) << err->describe();
    EXPECT_EQ(other.value("modOutGain.gain"), 0.5);
    EXPECT_EQ(other.registry().sessionBank().presets()[0].name(), "t4c9:Unprefixed");
}
