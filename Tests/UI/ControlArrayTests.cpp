// SPDX-License-Identifier: GPL-3.0-or-later
// The control array on a real instance's input routing: one drop-down per
// channel, showing and choosing the input that feeds it.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Audio/Param.h"
#include "Core/Notify.h"
#include "EditorInstance.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ControlArray.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CRecorder;
using test::CTestInstance;

std::string buttonTemplate() {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"ui:button\">");
    return doc.substr(from, doc.find("</template>", from) + 11 - from);
}

double stored(CAudioWrapper& w, const char* param, size_t element, size_t group = 0) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
    CAudioParam* p = collector->find(CString("plugin.modMain.io-params.") + param);
    std::lock_guard<std::mutex> lock(p->lock());
    return p->storage().read(group, element);
}

double routing(CAudioWrapper& w, size_t element) { return stored(w, "in-routing", element); }

TEST(ControlArray, EachObjectShowsItsValueAndAChoiceSwapsWithTheObjectThatHeldIt) {
    CTestInstance instance;
    ASSERT_EQ(instance.init(), nullptr);
    CInstanceRoot root(instance);
    CErrorPtr err = test::buildEditor(root, buttonTemplate() + R"(
    <test:recorder name="recorder"/>
    <ui:style name="style" button-image-set="shared::is.button"/>
    <ui:param-bridge name="in-routing-bridge" param="plugin.modMain.io-params.in-routing"/>
    <ui:value-list-manual name="channels">
      <core:object content="Ch 1"/><core:object content="Ch 2"/><core:object content="Ch 3"/><core:object content="Ch 4"/>
    </ui:value-list-manual>
    <ui:value-list-manual name="inputs">
      <core:object content="Off" value="0"/><core:object content="In 1" value="1"/><core:object content="In 2" value="2"/>
    </ui:value-list-manual>
    <ui:control-array name="matrix" object-title-list="ui.channels" object-value-list="ui.inputs" element-width="40"
                      is-unique-values-only="true">
      <ui:ui-param name="ui-param-value" bridge="ui.in-routing-bridge"/>
    </ui:control-array>)");
    ASSERT_EQ(err, nullptr) << err->describe();
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* matrix = dynamic_cast<CControlArray*>(root.findObject("ui.matrix"));
    auto* recorder = dynamic_cast<CRecorder*>(root.findObject("ui.recorder"));
    ASSERT_TRUE(matrix && recorder);
    ASSERT_EQ(recorder->listenObject(matrix, "popup-result", "record"), nullptr);
    ASSERT_EQ(matrix->buttonCount(), 4u);
    // The default routing: channel 1 from input 1, channel 2 from input 2.
    EXPECT_EQ(matrix->button(0)->getAttr("title"), "In 1");
    EXPECT_EQ(matrix->button(1)->getAttr("title"), "In 2");
    EXPECT_EQ(matrix->button(2)->getAttr("title"), "Off");
    EXPECT_EQ(matrix->button(2)->getAttr("hint"), "Ch 3");
    ASSERT_EQ(matrix->button(2)->entries().size(), 3u);

    // Channel 3 takes input 1: channel 1, which had it, takes channel 3's "Off".
    const size_t steps = instance.undoCount();
    ASSERT_EQ(matrix->button(2)->chooseItem(1), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(routing(instance, 2), 1.0);
    EXPECT_EQ(routing(instance, 0), 0.0);
    EXPECT_EQ(routing(instance, 1), 2.0);
    EXPECT_EQ(instance.undoCount(), steps + 1) << "one step for both";
    EXPECT_EQ(matrix->button(0)->getAttr("title"), "Off");
    EXPECT_EQ(matrix->button(2)->getAttr("title"), "In 1");
    ASSERT_TRUE(recorder->heard("popup-result"));
    EXPECT_EQ(recorder->last["popup-result"]["object-index"], CString("2"));
    EXPECT_EQ(recorder->last["popup-result"]["combine-changes"], CString("true"));

    // A value the list does not name shows as unknown.
    CParamBridge::CChange where;
    where.element = 3;
    auto* bridge = dynamic_cast<CParamBridge*>(root.findObject("ui.in-routing-bridge"));
    ASSERT_EQ(bridge->change(where, {9.0}), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(matrix->button(3)->getAttr("title"), "?");
}

TEST(ControlArray, SwitchesTurnTheirGroupOnAndOffAndFollowTheValue) {
    CTestInstance instance;
    ASSERT_EQ(instance.init(), nullptr);
    CInstanceRoot root(instance);
    CErrorPtr err = test::buildEditor(root, buttonTemplate() + R"(
    <ui:style name="style" button-image-set="shared::is.button"/>
    <ui:param-bridge name="group-solo-bridge" param="plugin.modMain.io-params.channel-group-solo"/>
    <ui:value-list-manual name="groups">
      <core:object content="Front"/><core:object content="Rear"/><core:object content="Sub"/>
    </ui:value-list-manual>
    <ui:control-array name="solo" object-title-list="ui.groups" is-switches="true" is-object-per-group="true">
      <ui:ui-param name="ui-param-value" bridge="ui.group-solo-bridge" is-update-on-any-group="true"/>
    </ui:control-array>)");
    ASSERT_EQ(err, nullptr) << err->describe();
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* solo = dynamic_cast<CControlArray*>(root.findObject("ui.solo"));
    ASSERT_NE(solo, nullptr);
    ASSERT_EQ(solo->buttonCount(), 3u);
    EXPECT_EQ(solo->button(1)->getAttr("title"), "Rear");
    EXPECT_FALSE(solo->button(1)->isDropDown()) << "a switch, not a list";
    EXPECT_FALSE(solo->button(1)->isActive());

    // A click turns its own group on, and a second one off again.
    ASSERT_EQ(CNotifyServer::instance().notify(solo->button(1), "button-clicked", nullptr), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(stored(instance, "channel-group-solo", 0, 1), 1.0);
    EXPECT_EQ(stored(instance, "channel-group-solo", 0, 0), 0.0);
    EXPECT_TRUE(solo->button(1)->isActive());
    EXPECT_FALSE(solo->button(0)->isActive());
    ASSERT_EQ(CNotifyServer::instance().notify(solo->button(1), "button-clicked", nullptr), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(stored(instance, "channel-group-solo", 0, 1), 0.0);
    EXPECT_FALSE(solo->button(1)->isActive());

    // Changed elsewhere, the switches show it.
    CParamBridge::CChange where;
    where.group = 2;
    auto* bridge = dynamic_cast<CParamBridge*>(root.findObject("ui.group-solo-bridge"));
    ASSERT_EQ(bridge->change(where, {1.0}), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_TRUE(solo->button(2)->isActive());
}

}  // namespace
}  // namespace zel
