// SPDX-License-Identifier: GPL-3.0-or-later
// The routing told as labels: each label mode over one routing, and the
// value list and list view that show them on a real instance.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "EditorInstance.h"
#include "UI/Controls/RoutingLabels.h"
#include "UI/Controls/TextView.h"
#include "UI/Controls/ValueList.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

std::string titles(const std::vector<CRoutingLabels::CLabel>& labels) {
    std::string out;
    for (const auto& label : labels) out += (out.empty() ? "" : "|") + label.title.utf8();
    return out;
}

// Six inputs: L and R to channels 1 and 2 (group "Front"), Ls and Rs both
// to channel 3 ("Rear"), none from the fifth, LFE to channel 5, whose group
// has a blank name.
CRoutingLabels::CRouting surround() {
    CRoutingLabels::CRouting r;
    r.inRouting = {1, 2, 3, 3, 0, 5};
    r.grouping = {0, 0, 1, 1, 2, 2, 3, 3};
    r.inputNames = {"L", "R", "Ls", "Rs", "C", "LFE"};
    r.groupNames = {"Front", "Rear", " ", "", "5", "6", "7", "8"};
    return r;
}

TEST(RoutingLabels, EachModeTellsTheRoutingItsOwnWay) {
    const struct {
        const char* mode;
        const char* titles;
        std::vector<int> values;
    } table[] = {
        {"active-channels", "1|2|3|5", {0, 1, 2, 4}},
        {"active-channel-names", "L|R|Ls+Rs|LFE", {0, 1, 2, 4}},
        {"active-group-per-channel", "Front|Front|Rear|3", {0, 1, 2, 4}},
        {"active-groups", "Front|Rear|3", {0, 1, 2}},
        {"active-groups-with-channels", "Front: L, R|Rear: Ls+Rs|3: LFE", {0, 1, 2}},
        {"full",
         "1: L (Front)|2: R (Front)|3: Ls+Rs (Rear)|4: - (Rear)|5: LFE (3)|6: - (3)|7: - (4)|8: - (4)",
         {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.mode);
        ASSERT_TRUE(CRoutingLabels::isMode(row.mode));
        const auto labels = CRoutingLabels::labels(surround(), row.mode);
        EXPECT_EQ(titles(labels), row.titles);
        std::vector<int> values;
        for (const auto& label : labels) values.push_back(label.value);
        EXPECT_EQ(values, row.values);
    }
    const auto full = CRoutingLabels::labels(surround(), "full");
    std::vector<bool> active;
    for (const auto& label : full) active.push_back(label.isActive);
    EXPECT_EQ(active, (std::vector<bool>{true, true, true, false, true, false, false, false}));
    EXPECT_EQ(full[4].group, 2);
    EXPECT_FALSE(CRoutingLabels::isMode("active"));
    EXPECT_FALSE(CRoutingLabels::isMode(""));
}

TEST(RoutingLabels, FedChannelsComeInTheRoutersOrderAndOutOfRangeInputsAddChannels) {
    CRoutingLabels::CRouting r;
    // Channel 4 first, then 1; a channel past the grouping's end is still told.
    r.inRouting = {4, 1, 10};
    r.grouping = {0, 0, 1, 1};
    EXPECT_EQ(titles(CRoutingLabels::labels(r, "active-channels")), "4|1|10");
    EXPECT_EQ(titles(CRoutingLabels::labels(r, "active-channel-names")), "1|2|3") << "unnamed inputs by number";
    EXPECT_EQ(titles(CRoutingLabels::labels(r, "active-groups")), "1|2");
    EXPECT_EQ(CRoutingLabels::labels(r, "full").size(), 10u);
    EXPECT_EQ(titles(CRoutingLabels::labels({}, "full")), "");
}

std::string dynlistTemplate() {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"ui:dynlist-value-list\">");
    return from == std::string::npos ? std::string() : doc.substr(from, doc.find("</template>", from) + 11 - from);
}

std::string routingList(const std::string& mode) {
    return R"(
    <ui:param-bridge name="in-routing-bridge" param="plugin.modMain.io-params.in-routing"/>
    <ui:param-bridge name="grouping-bridge" param="plugin.modMain.io-params.grouping"/>
    <ui:param-bridge name="in-channel-names-bridge" param="plugin.modMain.io-params.in-channel-names"/>
    <ui:param-bridge name="group-names-bridge" param="plugin.modMain.io-params.group-names"/>
    <ui:value-list name="labels" mode="audio-routing-labels" routing-label-mode=")" +
           mode + R"(">
      <ui:ui-param name="ui-param-in-routing" bridge="ui.in-routing-bridge"/>
      <ui:ui-param name="ui-param-grouping" bridge="ui.grouping-bridge"/>
      <ui:ui-param name="ui-param-in-channel-names" bridge="ui.in-channel-names-bridge"/>
      <ui:ui-param name="ui-param-group-names" bridge="ui.group-names-bridge"/>
    </ui:value-list>)";
}

TEST(RoutingLabels, AValueListFollowsTheInstancesRoutingAndAListViewShowsIt) {
    CTestInstance instance;
    ASSERT_EQ(instance.init(), nullptr);
    CInstanceRoot root(instance);
    const std::string list = dynlistTemplate();
    ASSERT_FALSE(list.empty()) << "the document has the list's template";
    CErrorPtr err = test::buildEditor(root, list + routingList("full") + R"(
    <ui:dynlist-value-list name="view" text-source="ui.labels"/>)");
    ASSERT_EQ(err, nullptr) << err->describe();
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* labels = dynamic_cast<CValueList*>(root.findObject("ui.labels"));
    auto* view = dynamic_cast<CTextView*>(root.findObject("ui.view"));
    ASSERT_TRUE(labels && view);
    // The instance's defaults: L and R into channels 1 and 2 of group 1.
    ASSERT_EQ(labels->items().size(), 8u);
    EXPECT_EQ(labels->items()[0].title, CString("1: L (1)"));
    EXPECT_EQ(labels->items()[1].title, CString("2: R (1)"));
    EXPECT_EQ(labels->items()[2].title, CString("3: - (2)"));
    ASSERT_EQ(view->paragraphs().size(), 8u);
    EXPECT_EQ(view->paragraphText(1), CString("2: R (1)"));
    EXPECT_TRUE(view->paragraphs()[1].isEnabled);
    EXPECT_FALSE(view->paragraphs()[2].isEnabled) << "an unfed channel cannot be chosen";

    // Input 2 moves to channel 3, group 2 is named: the list and the view follow.
    auto* routing = dynamic_cast<CParamBridge*>(root.findObject("ui.in-routing-bridge"));
    auto* names = dynamic_cast<CParamBridge*>(root.findObject("ui.group-names-bridge"));
    CParamBridge::CChange where;
    where.element = 1;
    ASSERT_EQ(routing->change(where, {3.0}), nullptr);
    ASSERT_EQ(names->changeText(where, "Rear"), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(labels->items()[1].title, CString("2: - (1)"));
    EXPECT_EQ(labels->items()[2].title, CString("3: R (Rear)"));
    ASSERT_EQ(view->paragraphs().size(), 8u);
    EXPECT_EQ(view->paragraphText(2), CString("3: R (Rear)"));
    EXPECT_TRUE(view->paragraphs()[2].isEnabled);
    EXPECT_FALSE(view->paragraphs()[1].isEnabled);
}

TEST(RoutingLabels, AnUnknownLabelModeFailsWithItsName) {
    CTestInstance instance;
    ASSERT_EQ(instance.init(), nullptr);
    CInstanceRoot root(instance);
    CErrorPtr err = test::buildEditor(root, routingList("active-outputs"));
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->describe().find("Invalid routing label mode specified: active-outputs"), std::string::npos)
        << err->describe();
}

}  // namespace
}  // namespace zel
