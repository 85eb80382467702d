// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "Audio/ParamDef.h"
#include "Audio/ParamFilters/ParamFilter.h"
#include "Audio/ProcessDef.h"
#include "Core/Application.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

const CAudioParamInfo* info(const char* path) {
    auto* def = dynamic_cast<CAudioParamDef*>(CApplication::sharedObject()->findObject(path));
    return def ? &def->info() : nullptr;
}

}  // namespace

// Every parameter the plug-in declares, as users and hosts see it.
TEST(SharedParams, EveryParameterHasItsRangeDefaultAndFlags) {
    struct Row {
        const char* path;
        double min, max;  // plain units
        std::vector<double> def;  // group 0
        bool storable, global, singleGroup, singleElement;
        const char* visualName;
    };
    const double ms = 0.001, dB12 = std::pow(10.0, 12.0 / 20);
    const Row rows[] = {
        {"audio.modMain.io-params.show-all-channels", 0, 1, {0}, true, false, true, true, "Show all channel meters"},
        {"audio.modMain.io-params.in-routing", 0, 16, {1, 2, 0, 0, 0, 0, 0, 0}, true, false, true, false, "In routing"},
        {"audio.modMain.io-params.grouping", 0, 7, {0, 0, 1, 1, 2, 2, 3, 3}, true, false, true, false, "Group assign"},
        {"audio.modMain.io-params.channel-group-solo", 0, 1, {0}, false, true, false, false, "Channel group solo"},
        {"audio.modMain.io-params.out-routing", 0, 16, {1, 2, 0, 0, 0, 0, 0, 0}, true, false, true, false, "Out routing"},
        {"audio.modMain.io-params.ms-pairs", 0, 4, {0, 0, 0, 0, 0, 0, 0, 0}, true, false, true, false, "M/S pairs"},
        {"audio.modMain.mid-side-bypass", 0, 1, {0}, false, true, true, true, ""},
        {"audio.modMain.modLagwell.adelay", 0, 9, {0}, true, false, false, false, "Audio delay"},
        {"audio.modMain.modLagwell.sdelay", 0, 9, {0}, true, false, false, false, "Sample delay"},
        {"audio.modMain.modLagwell.audio-delay", 0, 9999.99 * ms, {0}, false, true, false, false, ""},
        {"audio.modMain.modLagwell.sample-delay", 0, 99999, {0}, false, true, false, false, ""},
        {"audio.modMain.modLagwell.delay-time-mode", 0, 2, {0}, true, false, false, false, "Dimension"},
        {"audio.modMain.modOutGain.gain", 1 / dB12, dB12, {1}, true, false, false, false, "Output gain"},
        {"audio.modMain.group-solo-bypass", 0, 1, {0}, false, true, true, true, ""},
        {"audio.modMain.bypass-enable", 0, 1, {0}, false, true, true, true, "Bypass"},
        {"audio.modMain.ab-state", 0, 1, {0}, false, true, true, true, ""},
        {"audio.modMain.host-oversampling-mode", 0, 3, {0}, false, true, true, true, ""},
        {"audio.modMain.host-offline", 0, 1, {0}, false, true, true, true, ""},
        {"audio.modMain.host-latency-change", 0, 1, {0}, false, true, true, true, ""},
        {"audio.modMain.meter-rmstime", 1 * ms, 1000 * ms, {2 * ms}, false, true, true, true, "Meter integration time"},
        {"audio.modMain.meter-releasetime", 0, 5000 * ms, {750 * ms}, false, true, true, true, "Meter release time"},
        {"audio.modMain.meter-peaktime", 100 * ms, 10000 * ms, {1000 * ms}, false, true, true, true, "Meter peak time"},
        {"audio.modMain.groupsel", 0, 7, {0}, true, false, true, true, ""},
        {"audio.param-enable-viz", 0, 1, {0}, false, true, true, true, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        const CAudioParamInfo* i = info(r.path);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->dataType, CAudioParamInfo::kFloat);
        EXPECT_NEAR(i->minValues[0], r.min, 1e-12);
        EXPECT_NEAR(i->maxValues[0], r.max, 1e-12);
        ASSERT_EQ(i->defaultValue.groupCount(), 1u);
        ASSERT_EQ(i->defaultValue.group(0).size(), r.def.size());
        for (size_t k = 0; k < r.def.size(); ++k) EXPECT_NEAR(i->defaultValue.group(0)[k], r.def[k], 1e-12);
        EXPECT_EQ(i->isStorable, r.storable);
        EXPECT_EQ(i->isGlobal, r.global);
        EXPECT_EQ(i->isSingleGroup, r.singleGroup);
        EXPECT_EQ(i->isSingleElement, r.singleElement);
        EXPECT_EQ(i->visualName, r.visualName);
    }
    EXPECT_EQ(info("audio.modMain.io-params.ms-pairs")->stateNames,
              (std::vector<CString>{"---", "MS1", "MS2", "MS3", "MS4"}));
    EXPECT_EQ(info("audio.modMain.modLagwell.delay-time-mode")->stateNames,
              (std::vector<CString>{"Msec", "Meter", "Foot"}));
    EXPECT_TRUE(info("audio.modMain.groupsel")->isPersistent);
}

TEST(SharedParams, TextParametersHoldTheirDefaultTexts) {
    const CAudioParamInfo* names = info("audio.modMain.io-params.in-channel-names");
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(names->defaultItems.size(), 16u);
    EXPECT_EQ(names->defaultItems[0], "L");
    EXPECT_EQ(names->defaultItems[15], "IN16");
    EXPECT_EQ(info("audio.modMain.io-params.group-names")->defaultItems,
              (std::vector<CString>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    const CAudioParamInfo* instance = info("audio.modMain.instance-name");
    EXPECT_EQ(instance->defaultItems, std::vector<CString>{" "});
    EXPECT_TRUE(instance->isPersistent && !instance->isStorable);
    EXPECT_EQ(info("audio.modMain.preset-name")->defaultItems, std::vector<CString>{"Default"});
    EXPECT_EQ(info("audio.modMain.uicolor-params.mode-name")->defaultItems, std::vector<CString>{"Default"});
    EXPECT_EQ(info("audio.modMain.uicolor-params.palette")->dataType, CAudioParamInfo::kRaw);
}

TEST(SharedParams, FiltersConnectTheDerivedParameters) {
    CObject* lagwell = CApplication::sharedObject()->findObject("audio.modMain.modLagwell");
    ASSERT_NE(lagwell, nullptr);
    std::vector<const CAudioParamFilterDigitDef*> digits;
    for (const auto& c : lagwell->children())
        if (auto* d = dynamic_cast<const CAudioParamFilterDigitDef*>(c.get())) digits.push_back(d);
    ASSERT_EQ(digits.size(), 2u);
    EXPECT_EQ(digits[0]->sources(), std::vector<CString>{"adelay"});
    EXPECT_EQ(digits[0]->destinations(), std::vector<CString>{"audio-delay"});
    EXPECT_DOUBLE_EQ(digits[0]->factor(), 0.001 / 100);
    EXPECT_DOUBLE_EQ(digits[1]->factor(), 1.0);
    auto* ms = dynamic_cast<CAudioParamFilterBypassMSDef*>(
        CApplication::sharedObject()->findObject("audio.modMain.paramFilterBypassMS"));
    ASSERT_NE(ms, nullptr);
    EXPECT_EQ(ms->sources(), std::vector<CString>{"io-params.ms-pairs"});
}

TEST(SharedParams, MainGraphListsItsProcessesLinksAndStates) {
    CObject* main = CApplication::sharedObject()->findObject("audio.modMain");
    ASSERT_NE(dynamic_cast<CAudioProcessDef*>(main), nullptr);
    std::vector<std::string> processes;
    int links = 0, states = 0;
    for (const auto& c : main->children()) {
        if (dynamic_cast<CAudioProcessDefBase*>(c.get())) processes.push_back(c->name().utf8());
        links += dynamic_cast<CAudioProcessLinkDef*>(c.get()) != nullptr;
        states += dynamic_cast<CAudioProcessBypassStateDef*>(c.get()) != nullptr;
    }
    EXPECT_EQ(processes, (std::vector<std::string>{"modInRouter", "modInputNode", "modMSEncoder", "modPreUpsampler",
                                                   "modMainPre", "modLagwell", "modOutGain", "modPostDownsampler",
                                                   "modMeterOut", "modMeterIODiff", "modGroupSolo", "modMSDecoder",
                                                   "modBypass", "modOutRouter"}));
    EXPECT_EQ(links, 4);
    EXPECT_EQ(states, 4);
    EXPECT_NE(dynamic_cast<CModOutputDef*>(CApplication::sharedObject()->findObject("audio.modOutput")), nullptr);

    // The delay's five slots in order, and the remap that feeds three of them.
    std::vector<std::string> slots;
    CObject* delay = main->findObject(".modLagwell.modDelay");
    ASSERT_NE(delay, nullptr);
    for (const auto& c : delay->children())
        if (auto* a = dynamic_cast<CAudioParamAllocDef*>(c.get())) {
            EXPECT_EQ(a->index(), int(slots.size()));
            slots.push_back(a->paramName().utf8());
        }
    EXPECT_EQ(slots, (std::vector<std::string>{"time", "samples", "trans-time", "block-size", "time-mode"}));
    auto* remap = dynamic_cast<CAudioParamRemapDef*>(main->findObject(".modLagwell.param-remap"));
    ASSERT_NE(remap, nullptr);
    EXPECT_EQ(remap->mappings().size(), 3u);
    EXPECT_NEAR(info("audio.modMain.modLagwell.modDelay.trans-time")->defaultValue.group(0)[0], 0.01, 1e-15);
    EXPECT_EQ(info("audio.modMain.modLagwell.modDelay.block-size")->defaultValue.group(0)[0], 8100.0);
    // The two meters differ in their integration time and bias.
    EXPECT_NEAR(info("audio.modMain.modMeterOut.rms-time")->defaultValue.group(0)[0], 0.1, 1e-15);
    EXPECT_NEAR(info("audio.modMain.modMeterIODiff.rms-time")->defaultValue.group(0)[0], 3.0, 1e-15);
    EXPECT_EQ(info("audio.modMain.modMeterIODiff.use-bias")->defaultValue.group(0)[0], 0.0);
    EXPECT_EQ(info("audio.modMain.modMSDecoder.mode")->defaultValue.group(0)[0], 1.0);
    EXPECT_EQ(dynamic_cast<CModMSCoderDef*>(main->findObject(".modMSDecoder"))->bypassStateId(), 31);
    EXPECT_EQ(dynamic_cast<CModBypassDef*>(main->findObject(".modGroupSolo"))->bypassStateId(), 35);
}
