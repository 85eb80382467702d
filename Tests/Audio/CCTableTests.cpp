// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Audio/CCTable.h"
#include "Audio/Param.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"

using namespace zel;

namespace {

std::vector<uint8_t> ccmap(const std::vector<std::pair<uint32_t, const char*>>& entries, uint32_t count) {
    CMemoryWriter w;
    w.writeUInt32(count);
    for (const auto& [controller, name] : entries) {
        w.writeUInt32(controller);
        w.writeString(name);
    }
    return w.take();
}

struct CInstance {
    CObject root;
    CAudioCCTable* table = nullptr;
    CAudioParamCollector* collector = nullptr;
    CInstance() {
        EXPECT_EQ(CApplication::instance()->initRootObject(root), nullptr);
        CObject* plugin = nullptr;
        EXPECT_EQ(root.createChild("plugin", "plugin", plugin), nullptr);
        EXPECT_EQ(root.init(), nullptr);
        table = dynamic_cast<CAudioCCTable*>(root.findObject("plugin.cctable"));
        collector = dynamic_cast<CAudioParamCollector*>(root.findObject("plugin.param-collector"));
    }
};

}  // namespace

TEST(CCTable, SlotsFollowTheStoredMapAndSkipWhatDoesNotFit) {
    {
        CInstance fresh;
        ASSERT_NE(fresh.table, nullptr);
        for (size_t c = 0; c < CAudioCCTable::kSlots; ++c) EXPECT_EQ(fresh.table->slot(c), nullptr);
    }
    const std::vector<uint8_t> stored = ccmap({{7, "plugin.modMain.modOutGain.gain"},
                                               {200, "plugin.modMain.bypass-enable"},
                                               {8, "plugin.modMain.no-such-param"},
                                               {9, "plugin.param-collector"},
                                               {64, "plugin.modMain.bypass-enable"}},
                                              5);
    ASSERT_EQ(
        CAppDataLocal::instance().writeItem(CAudioCCTable::kItemName, stored.data(), stored.size(), makeTag("adat")),
        nullptr);
    CInstance inst;
    EXPECT_EQ(inst.table->slot(7), inst.collector->find("plugin.modMain.modOutGain.gain"));
    EXPECT_EQ(inst.table->slot(64), inst.collector->find("plugin.modMain.bypass-enable"));
    EXPECT_EQ(inst.table->slot(8), nullptr) << "an unknown name fills nothing";
    EXPECT_EQ(inst.table->slot(9), nullptr) << "an object that is no parameter fills nothing";
    EXPECT_EQ(inst.table->slot(200), nullptr);

    // A payload cut in its third entry keeps the first two.
    std::vector<uint8_t> cut =
        ccmap({{1, "plugin.modMain.groupsel"}, {2, "plugin.modMain.ab-state"}, {3, "plugin.modMain.host-offline"}}, 3);
    cut.resize(cut.size() - 5);
    inst.table->load(cut);
    EXPECT_NE(inst.table->slot(1), nullptr);
    EXPECT_NE(inst.table->slot(2), nullptr);
    EXPECT_EQ(inst.table->slot(3), nullptr);
    EXPECT_EQ(inst.table->slot(7), nullptr) << "a load starts from empty slots";
}
