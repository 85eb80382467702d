// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditFieldTest.h"
#include "Platform/Clock.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/ParamLink.h"

using namespace zel;
using namespace zel::test;

namespace {

// A list whose paragraphs open with a double click, two fields of one tab
// group opened by a single click, a read-only list and a plain view, in a
// window at (100, 100) of the screen.
const std::string kWindow = editWindow("Text edit", 300, 220, R"(
    <ui:textview name="names" placement="top" height="70" title="Kick|Snare|Hats" separator-char="|"
                 font-name="shared::font.base" paragraph-spacing="6" is-read-only="false"
                 is-editbox-on-dblclick="true" is-editbox-full="false" inner-border="LR4 T2"/>
    <ui:textview name="first" placement="top" height="22" font-name="shared::font.base" is-read-only="false"
                 is-editbox-on-singleclick="true" tab-group="fields" inner-border="LR4">
      <ui:ui-param name="ui-param-value" is-simple-attr="true" simple-def-value="Bus 1"/>
    </ui:textview>
    <ui:textview name="fixed" placement="top" height="22" title="Read only" font-name="shared::font.base"
                 is-paragraph-selectable="true" inner-border="LR4"/>
    <ui:textview name="second" placement="top" height="22" title="250" font-name="shared::font.base"
                 is-read-only="false" is-editbox-on-singleclick="true" tab-group="fields" accept-chars="0123456789"
                 max-paragraph-length="4" text-alignment="right" is-select-all-on-focus="true" inner-border="LR4"/>
    <ui:view name="plain" placement="top" height="full"/>)");

class TextEditThreads : public EditFieldTest {
protected:
    void SetUp() override {
        EditFieldTest::SetUp();
        if (IsSkipped()) return;
        openFields(kWindow, {"main.names", "main.first", "main.second", "main.fixed"},
                   {"editbox-text-changed", "paragraph-text-changed", "editbox-empty-value", "paragraph-dbl-clicked"});
    }
    CTextView* text(const char* name) { return dynamic_cast<CTextView*>(view(std::string("main.") + name)); }
    CEditBox* box(const char* name) { return text(name)->editor().editBox(); }
    bool editing(const char* name) { return text(name)->editor().isEditing(); }
    std::string title(const char* name) { return text(name)->getAttr("title").utf8(); }
    // The screen point on the first line of paragraph `at` of "main.`name`".
    std::string paragraphPoint(const char* name, int at) {
        const CRect& r = view(std::string("main.") + name)->area();
        return windowPoint((r.left + r.right) / 2, text(name)->paragraphTop(at) + 8);
    }
    void click(const std::string& point, int count = 1) {
        ASSERT_EQ(x.run("xdotool mousemove " + point + " click --repeat " + std::to_string(count) + " --delay 80 1"),
                  0);
    }
    bool boxHolds(const char* name, const std::string& s) {
        return runUntil([&] { return box(name) && box(name)->buffer().text() == s; });
    }
};

TEST_F(TextEditThreads, ADoubleClickEditsTheParagraphUnderItAndEnterReplacesIt) {
    // A single click on a list edited by double clicks selects nothing and opens nothing.
    click(paragraphPoint("names", 1));
    root->loop.runFor(700);
    EXPECT_FALSE(editing("names"));

    click(paragraphPoint("names", 1), 2);
    ASSERT_TRUE(runUntil([&] { return editing("names") && box("names")->isEditing(); }));
    EXPECT_EQ(text("names")->editor().paragraph(), 1);
    EXPECT_EQ(box("names")->buffer().text(), "Snare");
    // The box covers the paragraph, not the whole list.
    const CRect& boxArea = box("names")->area();
    EXPECT_LT(boxArea.height(), view("main.names")->area().height() / 2);
    EXPECT_LE(boxArea.top, text("names")->paragraphTop(1));
    EXPECT_GT(boxArea.bottom, text("names")->paragraphTop(1) + 8);
    EXPECT_EQ(log->count("names:paragraph-dbl-clicked"), 0u);

    keys("ctrl+a");
    typed("Tom 2");
    ASSERT_TRUE(boxHolds("names", "Tom 2"));
    keys("Return");
    ASSERT_TRUE(heard("names:paragraph-text-changed"));
    EXPECT_EQ(log->param("names:editbox-text-changed", "text"), "Tom 2");
    EXPECT_EQ(log->param("names:editbox-text-changed", "paragraph-index"), "1");
    EXPECT_EQ(log->param("names:editbox-text-changed", "is-cancelled"), "false");
    EXPECT_EQ(log->param("names:paragraph-text-changed", "paragraph-index"), "1");
    EXPECT_EQ(title("names"), "Kick|Tom 2|Hats");
    EXPECT_FALSE(editing("names"));
    EXPECT_EQ(renderer->router()->focusView(), nullptr);

    // Escape leaves the paragraph as it was and changes nothing.
    click(paragraphPoint("names", 2), 2);
    ASSERT_TRUE(boxHolds("names", "Hats"));
    typed("xyz");
    ASSERT_TRUE(boxHolds("names", "Hatsxyz"));
    keys("Escape");
    ASSERT_TRUE(runUntil([&] { return log->count("names:editbox-text-changed") == 2; }));
    EXPECT_EQ(log->param("names:editbox-text-changed", "is-cancelled"), "true");
    EXPECT_EQ(log->count("names:paragraph-text-changed"), 1u);
    EXPECT_EQ(title("names"), "Kick|Tom 2|Hats");
}

TEST_F(TextEditThreads, ASingleClickOpensAfterItsDelayOnceAndReadOnlyViewsNever) {
    const double start = platform::secondsSinceStart();
    click(screenPoint("second"));
    ASSERT_TRUE(runUntil([&] { return editing("second"); }));
    EXPECT_GE(platform::secondsSinceStart() - start, 0.5);
    // All of it selected: typing replaces it, within the accepted characters and the limit.
    typed("12a3456");
    ASSERT_TRUE(boxHolds("second", "1234"));
    keys("ctrl+a Delete");
    ASSERT_TRUE(boxHolds("second", ""));
    // Losing the focus accepts, and the empty text is told.
    click(screenPoint("plain"));
    ASSERT_TRUE(heard("second:editbox-empty-value"));
    EXPECT_EQ(log->param("second:editbox-text-changed", "is-cancelled"), "false");
    EXPECT_EQ(title("second"), "");

    // A double click on a single-click field is not two single clicks: it opens nothing.
    click(screenPoint("first"), 2);
    root->loop.runFor(900);
    EXPECT_FALSE(editing("first"));
    click(screenPoint("first", 40));
    ASSERT_TRUE(runUntil([&] { return editing("first"); }));
    EXPECT_EQ(box("first")->buffer().text(), "Bus 1");
    keys("Escape");
    ASSERT_TRUE(heard("first:editbox-text-changed"));
    EXPECT_EQ(log->count("first:editbox-text-changed"), 1u);

    click(screenPoint("fixed"), 2);
    ASSERT_TRUE(heard("fixed:paragraph-dbl-clicked"));
    root->loop.runFor(700);
    EXPECT_EQ(box("fixed"), nullptr);
    EXPECT_EQ(text("fixed")->findChild("temp-editbox"), nullptr);
}

TEST_F(TextEditThreads, TabMovesThroughTheGroupsFieldsAndAcceptsEachEdit) {
    click(screenPoint("first"));
    ASSERT_TRUE(runUntil([&] { return editing("first"); }));
    keys("End");
    typed("0");
    ASSERT_TRUE(boxHolds("first", "Bus 10"));
    keys("Tab");
    ASSERT_TRUE(runUntil([&] { return editing("second") && box("second")->isEditing(); }));
    EXPECT_FALSE(editing("first"));
    EXPECT_EQ(title("first"), "Bus 10");
    EXPECT_EQ(log->param("first:paragraph-text-changed", "text"), "Bus 10");
    EXPECT_EQ(box("second")->buffer().selectedText(), "250");
    // The read-only view between them is not a field; Tab comes round to the first again.
    keys("Tab");
    ASSERT_TRUE(runUntil([&] { return editing("first") && box("first")->isEditing(); }));
    EXPECT_FALSE(editing("second"));
    keys("shift+Tab");
    ASSERT_TRUE(runUntil([&] { return editing("second") && box("second")->isEditing(); }));
    EXPECT_FALSE(editing("first"));
    EXPECT_EQ(log->count("second:editbox-text-changed"), 1u);
    EXPECT_EQ(log->count("first:editbox-text-changed"), 2u);
}

TEST_F(TextEditThreads, TheViewShowsItsValueAndAnAcceptedEditWritesIt) {
    auto* value = dynamic_cast<CUIParam*>(root->findObject("ui.main.first.ui-param-value"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(title("first"), "Bus 1");
    ASSERT_EQ(value->setText("Drums"), nullptr);
    EXPECT_EQ(title("first"), "Drums");

    click(screenPoint("first"));
    ASSERT_TRUE(runUntil([&] { return editing("first"); }));
    // A change from elsewhere while typing leaves the typing alone.
    ASSERT_EQ(value->setText("Elsewhere"), nullptr);
    keys("ctrl+a");
    typed("Vocals");
    ASSERT_TRUE(boxHolds("first", "Vocals"));
    keys("Return");
    ASSERT_TRUE(heard("first:paragraph-text-changed"));
    EXPECT_EQ(value->text().utf8(), "Vocals");
    EXPECT_EQ(title("first"), "Vocals");
    // Emptied, the value keeps one space: a text value is never empty.
    click(screenPoint("first", 30));
    ASSERT_TRUE(runUntil([&] { return editing("first"); }));
    keys("ctrl+a BackSpace Return");
    ASSERT_TRUE(heard("first:editbox-empty-value"));
    EXPECT_EQ(value->text().utf8(), " ");
}

}  // namespace
