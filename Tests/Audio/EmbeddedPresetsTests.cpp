// SPDX-License-Identifier: GPL-3.0-or-later
// The factory bank and the default routing preset list as the build embeds
// them: their records, their values, and what they do to an instance.
#include <gtest/gtest.h>

#include <cstdint>

#include <string>
#include <vector>

#include "Audio/Preset.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"
#include "Support/FactoryValues.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

using CBytes = std::vector<uint8_t>;
using CGroups = std::vector<std::vector<double>>;

// Read as the instances read it: with no list saved by the user, the store
// falls back to the embedded default.
CBytes routingPayload() {
    CBytes payload;
    EXPECT_EQ(CAppDataGlobal::instance().readItem("../routing-presets|AppDataGlobal_routing-presets-sys", payload,
                                                  CAudioPresetBank::kListTag),
              nullptr);
    return payload;
}

CBytes factoryPayload() {
    CResourceReader reader;
    EXPECT_EQ(reader.open("FactoryROM.cbf"), nullptr);
    EXPECT_TRUE(reader.isEmbedded());
    CBytes payload;
    EXPECT_EQ(reader.readCompressedData(CAudioPresetBank::kTag, payload, SIZE_MAX), nullptr);
    return payload;
}

// Reads a record from `payload` that must take all of it.
template <class T>
void loadWhole(const CBytes& payload, T& target, CErrorPtr (T::*load)(CInputStream&)) {
    CMemoryReaderStatic reader(payload.data(), payload.size());
    ASSERT_EQ((target.*load)(reader), nullptr);
    uint64_t pos = 0;
    reader.getPosition(pos);
    EXPECT_EQ(pos, payload.size()) << "bytes left over";
}

template <class T>
CBytes saved(const T& source, CErrorPtr (T::*save)(COutputStream&) const) {
    CMemoryWriter w;
    EXPECT_EQ((source.*save)(w), nullptr);
    return w.take();
}

std::vector<std::string> names(const CAudioPresetBank& bank) {
    std::vector<std::string> out;
    for (const CAudioPreset& p : bank.presets()) out.push_back(p.name().utf8());
    return out;
}

std::vector<std::string> keys(const CAudioPreset& preset) {
    std::vector<std::string> out;
    for (const auto& item : preset.items()) out.push_back(item.first.utf8());
    return out;
}

// A parameter record taken apart by hand, not by the storage code.
struct CParamRecord {
    std::string name;
    uint32_t elementSize = 0;
    uint32_t dataType = 0;
    std::vector<std::string> texts;  // data items in id order
    CGroups groups;                  // components, or item ids
};

CParamRecord decode(const CAudioPreset& preset, const char* key) {
    CParamRecord r;
    auto it = preset.items().find(key);
    if (it == preset.items().end()) {
        ADD_FAILURE() << preset.name().utf8() << " has no item " << key;
        return r;
    }
    CMemoryReaderStatic in(it->second.data(), it->second.size());
    auto ok = [&](CErrorPtr err) { EXPECT_EQ(err, nullptr) << key << ": " << err->describe(); };
    CString name;
    uint32_t version = 0, groupCount = 0, count = 0;
    ok(in.readString(name));
    r.name = name.utf8();
    ok(in.readUInt32(version));
    EXPECT_EQ(version, 1u);
    ok(in.readUInt32(r.elementSize));
    ok(in.readUInt32(r.dataType));
    ok(in.readUInt32(groupCount));
    if (r.dataType != 0) {
        ok(in.readUInt32(count));
        for (uint32_t k = 1; k <= count; ++k) {
            uint32_t id = 0, type = 0;
            CString text;
            ok(in.readUInt32(id));
            ok(in.readUInt32(type));
            ok(in.readString(text));
            EXPECT_EQ(id, k);
            EXPECT_EQ(type, 1u);
            r.texts.push_back(text.utf8());
        }
    }
    for (uint32_t g = 0; g < groupCount; ++g) {
        ok(in.readUInt32(count));
        r.groups.emplace_back();
        for (uint32_t i = 0; i < count * (r.dataType ? 1 : r.elementSize); ++i) {
            double v = 0;
            uint32_t id = 0;
            ok(r.dataType ? in.readUInt32(id) : in.readReal(v));
            r.groups.back().push_back(r.dataType ? id : v);
        }
    }
    uint64_t pos = 0;
    in.getPosition(pos);
    EXPECT_EQ(pos, it->second.size()) << key << ": bytes left over";
    return r;
}

}  // namespace

TEST(FactoryBank, PayloadIsOneBankOfElevenPresetsOfElevenItemsThatSavesBackIdentically) {
    const CBytes payload = factoryPayload();
    CAudioPresetBank bank;
    loadWhole(payload, bank, &CAudioPresetBank::load);
    EXPECT_EQ(bank.name(), "Factory ROM");
    EXPECT_EQ(names(bank), (std::vector<std::string>{"t4c9:Default", "t4c9:32 samples", "t4c9:64 samples",
                                                     "t4c9:128 samples", "t4c9:256 samples", "t4c9:512 samples",
                                                     "t4c9:1024 samples", "t4c9:2048 samples", "t4c9:4096 samples",
                                                     "t4c9:Stereo Delay", "t4c9:Mid-Side Delay"}));
    const std::vector<std::string> expectedKeys = {"io-params.grouping",    "io-params.in-channel-names",
                                                   "io-params.in-routing",  "io-params.ms-pairs",
                                                   "io-params.out-routing", "io-params.oversampling",
                                                   "modLagwell.adelay",     "modLagwell.sdelay",
                                                   "modOutGain.gain",       "modOutGain.mute",
                                                   "modOutGain.time"};
    for (const CAudioPreset& p : bank.presets()) {
        EXPECT_EQ(keys(p), expectedKeys) << p.name().utf8();
        for (const char* key : {"io-params.oversampling", "modOutGain.mute", "modOutGain.time"})
            EXPECT_EQ(decode(p, key).name, std::string("audio.modMain.") + key);
        EXPECT_EQ(decode(p, "io-params.oversampling").groups, (CGroups{{1.0}}));
        EXPECT_EQ(decode(p, "modOutGain.mute").groups, (CGroups{{0.0}}));
        EXPECT_EQ(decode(p, "modOutGain.time").groups, (CGroups{{0.015}}));
    }
    EXPECT_EQ(saved(bank, &CAudioPresetBank::save), payload);
}

// The string table, and groups left empty so that they read the defaults.
TEST(FactoryBank, RecordsHoldTheChannelNamesAndEmptyGroups) {
    CAudioPresetBank bank;
    loadWhole(factoryPayload(), bank, &CAudioPresetBank::load);
    ASSERT_EQ(bank.presets().size(), 11u);

    const CParamRecord channels = decode(bank.presets()[0], "io-params.in-channel-names");
    EXPECT_EQ(channels.name, "audio.modMain.io-params.in-channel-names");
    EXPECT_EQ(channels.elementSize, 1u);
    EXPECT_EQ(channels.dataType, 1u);
    std::vector<std::string> texts = {"L", "R"};
    for (int i = 3; i <= 16; ++i) texts.push_back("IN" + std::to_string(i));
    EXPECT_EQ(channels.texts, texts);
    EXPECT_EQ(channels.groups, (CGroups{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}));

    const CAudioPreset& midSide = bank.presets()[10];
    EXPECT_EQ(decode(midSide, "modOutGain.gain").groups, (CGroups{{1.0}, {}}));
    EXPECT_EQ(decode(midSide, "modLagwell.adelay").groups, (CGroups{{0}, {0, 0, 0, 5}}));
    EXPECT_EQ(decode(midSide, "modLagwell.sdelay").groups, (CGroups{{0}, {}}));
}

// Through the master registry, which loads the bank at initialisation: the
// delay digits reach the delays, and the items of other builds are skipped.
TEST(FactoryBank, EveryPresetActivatesWithItsDelaysAndGains) {
    CInstance inst;
    CAudioParamRegistry& master = inst.registry();
    ASSERT_EQ(master.romBank().presets().size(), 11u);
    const auto& rom = master.romBank().presets();
    for (size_t i = 0; i < 9; ++i) {
        ASSERT_EQ(master.activatePreset(rom[i]), nullptr) << rom[i].name().utf8();
        EXPECT_EQ(inst.value("modLagwell.sample-delay"), i ? 16 << i : 0) << rom[i].name().utf8();
        EXPECT_EQ(inst.value("modLagwell.audio-delay"), 0.0);
    }
    ASSERT_EQ(master.activatePreset(rom[9]), nullptr);
    EXPECT_EQ(inst.values("io-params.grouping"), (std::vector<double>{0, 1, 1, 1, 2, 2, 3, 3}));
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay", 0), 0.010);
    EXPECT_EQ(inst.value("modOutGain.gain", 1), test::kStereoDelayRightGain);
    ASSERT_EQ(master.activatePreset(rom[10]), nullptr);
    EXPECT_EQ(inst.value("modLagwell.audio-delay", 0), 0.0);
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay", 1), 0.050);
    EXPECT_EQ(inst.value("modOutGain.gain", 1), 1.0);
    EXPECT_EQ(inst.values("io-params.ms-pairs"), (std::vector<double>{1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(inst.param("preset-name").storage().text(0, 0), "Mid-Side Delay");
}

TEST(RoutingPresets, DefaultListIsOneNamelessBankOfElevenPresetsThatSavesBackIdentically) {
    const CBytes payload = routingPayload();
    ASSERT_GE(payload.size(), 4u);
    EXPECT_EQ(payload[0] | payload[1] << 8 | payload[2] << 16 | payload[3] << 24, 1);
    CAudioPresetBank list;
    loadWhole(payload, list, &CAudioPresetBank::loadList);
    EXPECT_EQ(list.name(), "");
    EXPECT_EQ(names(list),
              (std::vector<std::string>{"ZMIO:Default Stereo", "ZMIO:2.1 Stereo", "ZMIO:5.1 Surround (Groups)",
                                        "ZMIO:5.1 Surround (Multi)", "ZMIO:7.1 Surround (Groups)", "ZMIO:Dual Mono",
                                        "ZMIO:Mid-Side Stereo", "ZMIO:Mono To Stereo", "ZMIO:Stereo Side-Chain",
                                        "ZMIO:Mono Side-Chain", "ZMIO:Force Mono"}));
    EXPECT_EQ(saved(list, &CAudioPresetBank::saveList), payload);

    const std::vector<std::string> all = {"group-names", "grouping",    "in-channel-names", "in-routing",
                                          "ms-pairs",    "out-routing", "show-all-channels"};
    const std::vector<std::string> noPairs = {"group-names", "grouping",    "in-channel-names",
                                              "in-routing",  "out-routing", "show-all-channels"};
    const std::vector<std::string> sideChain = {"group-names",  "grouping",  "in-channel-names",
                                                "in-routing",   "ms-pairs",  "out-routing",
                                                "oversampling", "sidechain", "sidechain-mute"};
    for (size_t i = 0; i < list.presets().size(); ++i) {
        const CAudioPreset& p = list.presets()[i];
        EXPECT_EQ(keys(p), i == 3 || i == 4 ? noPairs : i == 8 || i == 9 ? sideChain : all) << p.name().utf8();
        for (const std::string& key : keys(p)) {
            const CParamRecord r = decode(p, key.c_str());
            EXPECT_EQ(r.name, "audio.modMain.io-params." + key);
            EXPECT_EQ(r.groups.size(), 1u) << key;
        }
    }
    const CAudioPreset& stereoSideChain = list.presets()[8];
    EXPECT_EQ(decode(stereoSideChain, "oversampling").groups, (CGroups{{1}}));
    EXPECT_EQ(decode(stereoSideChain, "sidechain").groups, (CGroups{{2, 3, 2, 3, 4, 5, 6, 7}}));
    EXPECT_EQ(decode(stereoSideChain, "sidechain-mute").groups, (CGroups{{0, 0, 1, 1, 0, 0, 0, 0}}));
    const CParamRecord groupNames = decode(list.presets()[1], "group-names");
    EXPECT_EQ(groupNames.texts, (std::vector<std::string>{"Front", "LFE", "3", "4", "5", "6", "7", "8"}));
}

TEST(RoutingPresets, EveryPresetActivatesOnTheRoutingRegistry) {
    CInstance inst;
    CAudioParamRegistry& io = inst.registry("param-registry-io");
    CAudioPresetBank list;
    loadWhole(routingPayload(), list, &CAudioPresetBank::loadList);
    ASSERT_EQ(list.presets().size(), 11u);
    for (const CAudioPreset& p : list.presets()) EXPECT_EQ(io.activatePreset(p), nullptr) << p.name().utf8();

    auto text = [&](const char* param, size_t e) { return inst.param(param).storage().text(0, e).utf8(); };
    ASSERT_EQ(io.activatePreset(list.presets()[4]), nullptr);
    EXPECT_EQ(text("io-params.group-names", 4), "SurB");
    EXPECT_EQ(text("io-params.group-names", 5), "6");
    EXPECT_EQ(text("io-params.in-channel-names", 6), "IN7") << "names past the stored six are the defaults";
    EXPECT_EQ(inst.values("io-params.in-routing"), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(inst.value("io-params.show-all-channels"), 1.0);

    ASSERT_EQ(io.activatePreset(list.presets()[9]), nullptr);
    EXPECT_EQ(text("io-params.in-channel-names", 1), "scL");
    EXPECT_EQ(inst.value("io-params.show-all-channels"), 0.0) << "no item: back to the default";
}
