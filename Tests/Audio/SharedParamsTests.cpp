// SPDX-License-Identifier: GPL-3.0-or-later
// The shared document's parameters as the engine and the host use them:
// whatever their rows say, every converter spans its parameter's range and
// every module slot binds to an instance parameter and reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Audio/AudioEngine.h"
#include "Audio/Converters/ParamConverter.h"
#include "Audio/Engine/AudioParamSlot.h"
#include "Audio/ParamDef.h"
#include "Audio/ProcessDef.h"
#include "Core/Application.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

template <class T>
void collect(CObject& o, std::vector<T*>& out) {
    if (auto* t = dynamic_cast<T*>(&o)) out.push_back(t);
    for (const auto& c : o.children()) collect(*c, out);
}

}  // namespace

// Normalised 0 and 1 are the ends of the range, plain values rise with the
// normalised value, and continuous converters invert exactly: a host that
// automates a parameter reaches all of it and reads back what it wrote.
TEST(SharedParams, EveryConverterSpansItsParametersRange) {
    std::vector<CAudioParamDef*> defs;
    collect(*CApplication::sharedObject(), defs);
    size_t checked = 0;
    for (const CAudioParamDef* def : defs) {
        const CAudioParamInfo& info = def->info();
        if (info.dataType != CAudioParamInfo::kFloat) continue;
        for (size_t c = 0; c < info.converters.size(); ++c) {
            const CAudioParamConverter* cvt = info.converters[c];
            if (!cvt) continue;
            SCOPED_TRACE(def->fullName().utf8() + ", component " + std::to_string(c));
            ASSERT_LT(c, std::min(info.minValues.size(), info.maxValues.size()));
            const double lo = info.minValues[c], hi = info.maxValues[c];
            const double tolerance = 1e-9 * std::max(1.0, std::fabs(hi - lo));
            EXPECT_NEAR(cvt->normalizedToPlain(info, c, 0.0), lo, tolerance);
            EXPECT_NEAR(cvt->normalizedToPlain(info, c, 1.0), hi, tolerance);
            double previous = lo;
            for (int i = 0; i <= 16; ++i) {
                const double n = i / 16.0, plain = cvt->normalizedToPlain(info, c, n);
                EXPECT_GE(plain, previous - tolerance) << "at " << n;
                previous = plain;
                if (!cvt->isDiscrete()) {
                    EXPECT_NEAR(cvt->plainToNormalized(info, c, plain), n, 1e-9) << n;
                }
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 10u) << "the walk found the parameters";
}

// A slot left unbound reads its fallback for ever: every slot of every
// module binds, through the remaps where there are any, and reads the
// value its parameter holds.
TEST(SharedParams, EveryModuleSlotBindsToTheParameterThatDrivesIt) {
    CInstance inst;
    CAudioEngine engine;
    CErrorPtr err = engine.build(*inst.root.findObject("plugin"));
    ASSERT_EQ(err, nullptr) << err->describe();
    engine.setFormat(48000, 512);

    std::vector<CAudioProcessDefBase*> processes;
    collect(*CApplication::sharedObject()->findObject("audio.modMain"), processes);
    size_t checked = 0;
    const auto bind = [&](const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) {
        std::vector<const CAudioParamAllocDef*> allocs;
        for (const auto& c : def.children())
            if (auto* a = dynamic_cast<const CAudioParamAllocDef*>(c.get())) allocs.push_back(a);
        int last = -1;
        for (const CAudioParamAllocDef* a : allocs) last = std::max(last, a->index());
        slots.assign(size_t(last + 1), CAudioParamSlot());
        engine.bindSlots(def, slots);
        for (const CAudioParamAllocDef* a : allocs) {
            EXPECT_TRUE(slots[size_t(a->index())].bound()) << def.fullName().utf8() << ": " << a->paramName().utf8();
            ++checked;
        }
        return allocs;
    };
    std::vector<CAudioParamSlot> slots;
    for (const CAudioProcessDefBase* def : processes) bind(*def, slots);
    EXPECT_GT(checked, 20u) << "the walk found the slots";

    // Two that pass through a filter and a remap on their way.
    inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 1});  // 10.00 ms
    inst.edit("modOutGain.gain", 1, 0, {0.5});
    engine.takeChanges();
    const struct {
        const char* process;
        const char* slot;
        size_t group;
        double expected;
    } driven[] = {{"audio.modMain.modLagwell.modDelay", "time", 0, 0.010},
                  {"audio.modMain.modOutGain", "gain", 1, 0.5}};
    for (const auto& d : driven) {
        auto* def = dynamic_cast<CAudioProcessDefBase*>(CApplication::sharedObject()->findObject(d.process));
        ASSERT_NE(def, nullptr) << d.process;
        bool found = false;
        for (const CAudioParamAllocDef* a : bind(*def, slots)) {
            if (a->paramName() != d.slot) continue;
            found = true;
            EXPECT_NEAR(slots[size_t(a->index())].read(d.group, 0, -1.0), d.expected, 1e-12)
                << d.process << " " << d.slot;
        }
        EXPECT_TRUE(found) << d.process << " has no slot " << d.slot;
    }
}
