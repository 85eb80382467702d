// SPDX-License-Identifier: GPL-3.0-or-later
// Values typed by the user: read-outs of a real instance's parameters and
// the split of a quick entry's number into digits.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Audio/Param.h"
#include "EditFieldTest.h"
#include "EditorInstance.h"
#include "Platform/Clock.h"
#include "Support/Xvfb.h"
#include "UI/Controls/QuickEntry.h"
#include "UI/Controls/ReadOut.h"
#include "UI/EditBox.h"
#include "UI/WindowRenderer.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

std::vector<double> digits(const char* text, unsigned decimals, unsigned count) {
    std::vector<double> out;
    EXPECT_TRUE(CQuickEntryFieldDecConv::digitsOf(CString(text), decimals, count, out)) << text;
    return out;
}

TEST(QuickEntryDigits, ANumberSplitsIntoItsDigitsLowestFirstClampedToWhatTheyHold) {
    using D = std::vector<double>;
    EXPECT_EQ(digits("1234.56", 2, 6), (D{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(digits("250", 2, 6), (D{0, 0, 0, 5, 2, 0}));
    // Nothing below zero, nothing beyond the last digit: clamped before the split.
    EXPECT_EQ(digits("-5", 2, 6), D(6, 0.0));
    EXPECT_EQ(digits("123456.789", 2, 6), D(6, 9.0));
    EXPECT_EQ(digits("123456", 0, 5), D(5, 9.0));
    // Rounded half away from zero at the last decimal; a comma is a decimal separator.
    EXPECT_EQ(digits("0.005", 2, 6), (D{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(digits("12,5", 0, 5), (D{3, 1, 0, 0, 0}));
    EXPECT_EQ(digits("1e3", 0, 5), (D{0, 0, 0, 1, 0}));
    std::vector<double> untouched{4};
    EXPECT_FALSE(CQuickEntryFieldDecConv::digitsOf(CString("-"), 2, 6, untouched));
    EXPECT_FALSE(CQuickEntryFieldDecConv::digitsOf(CString(""), 2, 6, untouched));
    EXPECT_EQ(untouched, D{4});
    // And back to the number they make.
    EXPECT_EQ(CQuickEntryFieldDecConv::textOf({6, 5, 4, 3, 2, 1}, 2).utf8(), "1234.56");
    EXPECT_EQ(CQuickEntryFieldDecConv::textOf(D(6, 9.0), 2).utf8(), "9999.99");
    EXPECT_EQ(CQuickEntryFieldDecConv::textOf({0, 0, 0, 0, 0}, 0).utf8(), "0");
    EXPECT_EQ(CQuickEntryFieldDecConv::textOf({5, 0, 0, 0, 0, 0}, 2).utf8(), "0.05");
}

TEST(QuickEntryDigits, AConverterOutsideWhatItCanHoldIsRefusedWhenTheEditorOpens) {
    const auto errorOf = [](const std::string& attrs, const std::string& child) {
        CErrorPtr err;
        auto root = test::buildTree(
            "<ui:quick-entry-field-dec-conv name=\"conv\" " + attrs + ">" + child + "</ui:quick-entry-field-dec-conv>",
            err);
        return err ? err->text().utf8() : std::string();
    };
    const std::string values = R"(<ui:ui-param name="ui-param-values" is-simple-attr="true"/>)";
    EXPECT_EQ(errorOf(R"(decimals="2" element-count="6")", values), "");
    EXPECT_EQ(errorOf(R"(decimals="11")", values), "Invalid decimals 11 specified.");
    EXPECT_EQ(errorOf(R"(element-count="16")", values), "Invalid element count 16 specified.");
    EXPECT_EQ(errorOf(R"(element-count="0")", values), "Invalid element count 0 specified.");
    EXPECT_NE(errorOf("", "").find("Unable to find ui-param 'ui-param-values'"), std::string::npos);
}

// Read-outs of the output gain and of one delay digit of group 0, the quick
// entry of the delay's digits of the group that "groupsel" chose, and a
// plain view, in a window at (100, 100) of the screen.
const std::string kWindow = R"(
    <ui:param-bridge name="gain-bridge" param="plugin.modMain.modOutGain.gain"/>
    <core:object name="groupsel" selected-group="0"/>
)" + test::editWindow("Read-outs", 300, 150, R"(
      <ui:readout name="gain" placement="top" height="24" text-color="PanelText">
        <ui:ui-param name="ui-param-value" bridge="ui.gain-bridge"/>
      </ui:readout>
      <ui:readout name="digit" placement="top" height="24" text-color="PanelText" default-value="7">
        <ui:ui-param name="ui-param-value" bridge="ui.adelay-bridge" element="3"/>
      </ui:readout>
      <ui:editbox-quick-entry name="entry" placement="top" height="24" font-name="shared::font.base">
        <ui:quick-entry-field-dec-conv name="conv" decimals="2" element-count="6">
          <ui:ui-param name="ui-param-values" bridge="ui.adelay-bridge" group-selector="ui.groupsel"/>
        </ui:quick-entry-field-dec-conv>
      </ui:editbox-quick-entry>
      <ui:view name="plain" placement="top" height="full"/>)");

class ValueEntryThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        ASSERT_EQ(instance.init(), nullptr);
        root = std::make_unique<CInstanceRoot>(instance);
        ASSERT_EQ(test::buildEditor(*root, kWindow), nullptr);
        renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main.window-renderer"));
        ASSERT_NE(renderer, nullptr);
        ASSERT_TRUE(until([&] { return renderer->frameCount() >= 1 && readout("gain")->getAttr("title") != ""; }));
        renderer->window()->display().sync();
    }
    void TearDown() override { root.reset(); }

    // The loop runs, with the parameter link's frames, until `done` holds.
    bool until(const std::function<bool()>& done) {
        return root->loop.runUntil(
            [&] {
                if (CErrorPtr err = root->ui().refresh()) ADD_FAILURE() << err->describe();
                return done();
            },
            10000);
    }
    void settle(uint32_t ms) {
        const double end = platform::secondsSinceStart() + ms / 1000.0;
        until([&] { return platform::secondsSinceStart() >= end; });
    }
    CReadOut* readout(const char* name) {
        return dynamic_cast<CReadOut*>(root->findObject(std::string("ui.main.") + name));
    }
    CEditBoxQuickEntry* entry() { return dynamic_cast<CEditBoxQuickEntry*>(root->findObject("ui.main.entry")); }
    std::string title(const char* name) { return readout(name)->getAttr("title").utf8(); }
    bool editing(const char* name) { return readout(name)->editor().isEditing(); }
    std::string boxText(const char* name) {
        CEditBox* box = readout(name)->editor().editBox();
        return box ? box->buffer().text() : std::string();
    }
    double gain() { return dynamic_cast<CParamBridge*>(root->findObject("ui.gain-bridge"))->value(0, 0); }
    double digit(size_t element, size_t group = 0) {
        return dynamic_cast<CParamBridge*>(root->findObject("ui.adelay-bridge"))->value(group, element);
    }
    std::vector<double> digits(size_t group = 0) {
        std::vector<double> out;
        for (size_t i = 0; i < 6; ++i) out.push_back(digit(i, group));
        return out;
    }
    std::string point(const char* name, int dy = 0) {
        const CRect& r = dynamic_cast<CView*>(root->findObject(std::string("ui.main.") + name))->area();
        return std::to_string(100 + (r.left + r.right) / 2) + " " + std::to_string(100 + (r.top + r.bottom) / 2 + dy);
    }
    void xdo(const std::string& args) { ASSERT_EQ(x.run("xdotool " + args), 0) << args; }
    // A single click, then the wait until its edit box is open.
    void openByClick(const char* name) {
        xdo("mousemove " + point(name) + " click 1");
        ASSERT_TRUE(until([&] { return editing(name) && renderer->window()->holdsInputFocus(); }));
    }
    void typed(const std::string& text) { xdo("type --delay 10 -- '" + text + "'"); }

    lagwell::test::CXvfb x;
    CTestInstance instance;
    std::unique_ptr<CInstanceRoot> root;
    CWindowRenderer* renderer = nullptr;
};

TEST_F(ValueEntryThreads, AReadOutShowsItsConverterTextAndTypedTextGoesThroughTheConverter) {
    EXPECT_EQ(title("gain"), "0.0 dB");
    EXPECT_EQ(title("digit"), "0");
    const size_t undoBefore = instance.undoCount();
    const double start = platform::secondsSinceStart();
    openByClick("gain");
    EXPECT_GE(platform::secondsSinceStart() - start, 0.5) << "a single click waits for a second press";
    EXPECT_EQ(boxText("gain"), "0.0 dB");
    typed("-6");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return title("gain") == "-6.0 dB"; }));
    EXPECT_NEAR(gain(), std::pow(10.0, -6.0 / 20.0), 1e-9);
    EXPECT_EQ(instance.undoCount(), undoBefore + 1);

    // Beyond the range: clamped to it.
    openByClick("gain");
    typed("40");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return title("gain") == "12.0 dB"; }));
    EXPECT_NEAR(gain(), std::pow(10.0, 12.0 / 20.0), 1e-9);

    // Text that is no number changes nothing, and does not stay on show.
    openByClick("gain");
    typed("loud");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return !editing("gain"); }));
    settle(100);
    EXPECT_EQ(title("gain"), "12.0 dB");
    EXPECT_NEAR(gain(), std::pow(10.0, 12.0 / 20.0), 1e-9);
    EXPECT_EQ(instance.undoCount(), undoBefore + 2);
}

TEST_F(ValueEntryThreads, EscapeLeavesTheValueAndADoubleClickSetsTheDefault) {
    openByClick("digit");
    typed("4");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return digit(3) == 4.0 && title("digit") == "4"; }));

    openByClick("digit");
    typed("9");
    xdo("key Escape");
    ASSERT_TRUE(until([&] { return !editing("digit"); }));
    settle(100);
    EXPECT_EQ(digit(3), 4.0);
    EXPECT_EQ(title("digit"), "4");

    // Its own default-value; the gain read-out has none and takes the parameter's default.
    xdo("mousemove " + point("digit") + " click --repeat 2 --delay 80 1");
    ASSERT_TRUE(until([&] { return digit(3) == 7.0 && title("digit") == "7"; }));
    openByClick("gain");
    typed("-3");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return title("gain") == "-3.0 dB"; }));
    xdo("mousemove " + point("gain") + " click --repeat 2 --delay 80 1");
    ASSERT_TRUE(until([&] { return title("gain") == "0.0 dB"; }));
    EXPECT_NEAR(gain(), 1.0, 1e-12);
    // A double click opens nothing.
    settle(800);
    EXPECT_FALSE(editing("gain"));
    EXPECT_FALSE(editing("digit"));
}

TEST_F(ValueEntryThreads, APressThatMovesIsADragAndOpensNothing) {
    xdo("mousemove " + point("gain") + " mousedown 1 mousemove " + point("gain", 8) + " mouseup 1");
    settle(900);
    EXPECT_FALSE(editing("gain"));
    // The next single click opens as ever.
    openByClick("gain");
}

TEST_F(ValueEntryThreads, TheQuickEntryWritesEveryDigitAsOneUndoStep) {
    EXPECT_EQ(entry()->getAttr("title").utf8(), "0.00");
    const auto enter = [&](const std::string& text) {
        xdo("mousemove " + point("entry") + " click 1");
        ASSERT_TRUE(until([&] { return entry()->isEditing() && renderer->window()->holdsInputFocus(); }));
        // The number is selected: typing replaces it.
        EXPECT_EQ(entry()->buffer().selectedText(), entry()->getAttr("title").utf8());
        typed(text);
        xdo("key Return");
    };
    const size_t undoBefore = instance.undoCount();
    enter("1234.56");
    ASSERT_TRUE(until([&] { return digits() == std::vector<double>{6, 5, 4, 3, 2, 1}; }));
    EXPECT_EQ(entry()->getAttr("title").utf8(), "1234.56");
    EXPECT_EQ(instance.undoCount(), undoBefore + 1);
    // The read-out of digit 3 follows.
    ASSERT_TRUE(until([&] { return title("digit") == "3"; }));

    enter("123456.789");
    ASSERT_TRUE(until([&] { return digits() == std::vector<double>(6, 9.0); }));
    EXPECT_EQ(entry()->getAttr("title").utf8(), "9999.99");
    enter("-5");
    ASSERT_TRUE(until([&] { return digits() == std::vector<double>(6, 0.0); }));
    EXPECT_EQ(entry()->getAttr("title").utf8(), "0.00");
    EXPECT_EQ(instance.undoCount(), undoBefore + 3);

    // A digit changed elsewhere shows in the entry; Escape keeps the value.
    openByClick("digit");
    typed("8");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return entry()->getAttr("title").utf8() == "80.00"; }));
    xdo("mousemove " + point("entry") + " click 1");
    ASSERT_TRUE(until([&] { return entry()->isEditing(); }));
    typed("55");
    xdo("key Escape");
    ASSERT_TRUE(until([&] { return !entry()->isEditing(); }));
    settle(100);
    EXPECT_EQ(entry()->getAttr("title").utf8(), "80.00");
    EXPECT_EQ(digits(), (std::vector<double>{0, 0, 0, 8, 0, 0}));
}

TEST_F(ValueEntryThreads, TheQuickEntryEditsTheGroupThatTheSelectorChose) {
    CObject* selector = root->findObject("ui.groupsel");
    ASSERT_NE(selector, nullptr);
    openByClick("digit");
    typed("6");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return entry()->getAttr("title").utf8() == "60.00"; }));

    ASSERT_EQ(selector->setAttr("selected-group", "2"), nullptr);
    EXPECT_EQ(entry()->getAttr("title").utf8(), "0.00") << "group 2's delay shows at once";
    xdo("mousemove " + point("entry") + " click 1");
    ASSERT_TRUE(until([&] { return entry()->isEditing(); }));
    typed("12.5");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return digits(2) == std::vector<double>{0, 5, 2, 1, 0, 0}; }));
    EXPECT_EQ(digits(0), (std::vector<double>{0, 0, 0, 6, 0, 0}));
    // A change of group 0 leaves the entry showing group 2.
    openByClick("digit");
    typed("3");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return digit(3, 0) == 3.0; }));
    settle(100);
    EXPECT_EQ(entry()->getAttr("title").utf8(), "12.50");
    ASSERT_EQ(selector->setAttr("selected-group", "0"), nullptr);
    EXPECT_EQ(entry()->getAttr("title").utf8(), "30.00");
}

}  // namespace
}  // namespace zel
