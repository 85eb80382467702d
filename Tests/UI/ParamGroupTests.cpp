// SPDX-License-Identifier: GPL-3.0-or-later
// The channel-group selector object and the group controller on a real
// instance: copying one group's parameters to another, resetting them.

#include <gtest/gtest.h>

#include "Audio/Param.h"
#include "EditorInstance.h"
#include "UI/Controls/ButtonOK.h"
#include "UI/ParamGroupController.h"
#include "UI/ParamGroupSelector.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

double instanceValue(CAudioWrapper& w, const char* name, size_t group, size_t element) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
    CAudioParam* p = collector->find(name);
    std::lock_guard<std::mutex> lock(p->lock());
    return p->storage().read(group, element);
}

const char* kGroups = R"(
    <ui:param-group-selector name="groupsel"/>
    <ui:param-group-controller name="groups" group-selector="ui.groupsel">
      <core:object name="item" bridge="ui.adelay-bridge"/>
      <core:object name="item" bridge="ui.mode-bridge"/>
    </ui:param-group-controller>
    <ui:button-ok name="copy-to" title="Copy to" param-group-controller="ui.groups" image-set="shared::is.button"/>)";

class ParamGroups : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(instance.init(), nullptr);
        root = std::make_unique<CInstanceRoot>(instance);
        CErrorPtr err = test::buildEditor(*root, kGroups);
        ASSERT_EQ(err, nullptr) << err->describe();
        frame();
        selector = dynamic_cast<CParamGroupSelector*>(root->findObject("ui.groupsel"));
        controller = dynamic_cast<CParamGroupController*>(root->findObject("ui.groups"));
        adelay = dynamic_cast<CParamBridge*>(root->findObject("ui.adelay-bridge"));
        mode = dynamic_cast<CParamBridge*>(root->findObject("ui.mode-bridge"));
        ASSERT_TRUE(selector && controller && adelay && mode && adelay->isReady() && mode->isReady());
    }
    void frame() { ASSERT_EQ(root->ui().refresh(), nullptr); }
    void set(CParamBridge& bridge, size_t group, size_t element, double value) {
        CParamBridge::CChange where;
        where.group = group;
        where.element = element;
        ASSERT_EQ(bridge.change(where, {value}), nullptr);
    }

    CTestInstance instance;
    std::unique_ptr<CInstanceRoot> root;
    CParamGroupSelector* selector = nullptr;
    CParamGroupController* controller = nullptr;
    CParamBridge* adelay = nullptr;
    CParamBridge* mode = nullptr;
};

TEST_F(ParamGroups, CopyTakesEveryItemOfTheChosenGroupToAnotherInOneUndoStep) {
    // Group 2: 4321.56 ms, in feet.
    const double digits[6] = {6, 5, 1, 2, 3, 4};
    ASSERT_EQ(selector->select(1), nullptr);
    for (size_t e = 0; e < 6; ++e) set(*adelay, 1, e, digits[e]);
    set(*mode, 1, 0, 2);
    frame();
    const size_t steps = instance.undoCount();

    ASSERT_EQ(controller->copyTo(3), nullptr);
    frame();
    for (size_t e = 0; e < 6; ++e)
        EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.adelay", 3, e), digits[e]);
    EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.delay-time-mode", 3, 0), 2.0);
    EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.adelay", 0, 5), 0.0) << "other groups stay";
    EXPECT_EQ(instance.undoCount(), steps + 1);

    // Reset: the chosen group's items back to their defaults, one step more.
    ASSERT_EQ(controller->reset(), nullptr);
    frame();
    for (size_t e = 0; e < 6; ++e) EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.adelay", 1, e), 0.0);
    EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.delay-time-mode", 1, 0), 0.0);
    EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.adelay", 3, 5), 4.0) << "the copy stays";
    EXPECT_EQ(instance.undoCount(), steps + 2);
    // Copying a group onto itself does nothing.
    ASSERT_EQ(controller->copyTo(1), nullptr);
    frame();
    EXPECT_EQ(instance.undoCount(), steps + 2);
}

TEST_F(ParamGroups, TheCopyToButtonListsTheOtherGroupsAndConfirmsTheCopy) {
    auto* copy = dynamic_cast<CButtonOK*>(root->findObject("ui.copy-to"));
    ASSERT_NE(copy, nullptr);
    ASSERT_GE(selector->groupCount(), 4u);
    ASSERT_EQ(selector->select(1), nullptr);
    set(*mode, 1, 0, 1);
    frame();
    const std::vector<CTextView::CListEntry> entries = copy->entries();
    ASSERT_EQ(entries.size(), selector->groupCount() - 1);
    EXPECT_EQ(entries[0].title, CString("Group 1"));
    EXPECT_EQ(entries[1].title, CString("Group 3")) << "not the group copied from";
    ASSERT_EQ(copy->chooseItem(0), nullptr);
    frame();
    EXPECT_EQ(instanceValue(instance, "plugin.modMain.modLagwell.delay-time-mode", 0, 0), 1.0);
    EXPECT_TRUE(copy->isShowingOk());
    EXPECT_EQ(copy->getAttr("title"), "OK");
    EXPECT_EQ(copy->selectedItem(), -1);
}

TEST_F(ParamGroups, TheActiveListHoldsTheGroupsThatChangeAlongWithTheSelectedOne) {
    ASSERT_GE(selector->groupCount(), 4u);
    EXPECT_TRUE(selector->additionalGroups().empty());
    ASSERT_EQ(selector->toggleActive(3), nullptr);
    ASSERT_EQ(selector->toggleActive(1), nullptr);
    EXPECT_EQ(selector->getAttr("active-groups-list"), CString("1,3"));
    EXPECT_EQ(selector->additionalGroups(), (std::vector<size_t>{1, 3}));
    EXPECT_TRUE(selector->isActive(0));
    EXPECT_FALSE(selector->isActive(2));

    // The selected group changes anyway: it is no additional one while selected.
    ASSERT_EQ(selector->select(1), nullptr);
    EXPECT_EQ(selector->additionalGroups(), (std::vector<size_t>{3}));
    EXPECT_FALSE(selector->isActive(0));
    // Groups the instance does not have, and text that names none, are left out.
    ASSERT_EQ(selector->setAttr("active-groups-list", "9, x,0,3,3"), nullptr);
    EXPECT_EQ(selector->additionalGroups(), (std::vector<size_t>{0, 3}));
    ASSERT_EQ(selector->toggleActive(3), nullptr);
    EXPECT_EQ(selector->getAttr("active-groups-list"), CString("0,9"));
}

}  // namespace
}  // namespace zel
