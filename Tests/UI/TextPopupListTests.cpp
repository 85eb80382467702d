// SPDX-License-Identifier: GPL-3.0-or-later
#include <fstream>
#include <iterator>

#include "EditorWindowTest.h"
#include "UI/Controls/ScrollerBar.h"
#include "UI/Controls/TextView.h"
#include "UI/WindowOpener.h"

using namespace zel;
using namespace zel::test;

namespace {

const char* const kListTemplate = R"(<template name="test:popup-list">
  <ui:window-drag width="100" height="90" color="Panel">
    <ui:window-renderer name="window-renderer" title="List" num-threads="1" fps="40" window-alignment="right"
                        is-local-popup="true" window-position-id="popup-list">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:textview name="list" placement="full" font-name="shared::font.base" is-paragraph-hoverable="true"/>
  </ui:window-drag>
</template>)";

const char* const kMain = R"(
  <ui:window-drag name="main" width="300" height="200" color="Panel">
    <ui:window-renderer name="window-renderer" title="Main" num-threads="0" window-x="100" window-y="100" fps="40"
                        window-position-id="main">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:textview name="drop" width="80" height="20" outer-border="L30 T50" font-name="shared::font.base"
                 title="[B]Stereo[/B];Mid/Side;Mono" separator-char=";" popup-tag="test:popup-list"
                 list-id="mode" result-target="ui.main" is-same-width="true" window-alignment="bottom"/>
  </ui:window-drag>)";

class TextPopupListThreads : public EditorWindowTest {};

TEST_F(TextPopupListThreads, TheChosenEntryComesBackToTheOpenerAndThePopupCloses) {
    open(kMain, kListTemplate);
    waitShown(rendererOf("main"));
    auto* drop = dynamic_cast<CTextView*>(view("main.drop"));
    auto* opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
    ASSERT_TRUE(drop && opener);
    listen({"main.drop"}, {"popup-result", "selected-paragraph-changed"});

    CObject press;
    press.setInt("x", drop->area().left + 4);
    press.setInt("y", drop->area().top + 4);
    ASSERT_EQ(drop->runViewEvent("mouse-press", &press, nullptr), nullptr);
    auto* list = dynamic_cast<CTextView*>(root->findObject("ui.test:popup-list.list"));
    ASSERT_NE(list, nullptr);
    waitShown(list->windowRenderer());
    ASSERT_EQ(list->paragraphs().size(), 3u) << "the opener's paragraphs";
    EXPECT_TRUE(list->paragraphs()[0].items[0].style.bold) << "with their markup";
    EXPECT_EQ(list->selectedParagraph(), -1);
    // The opener's width, below it: the main window is at (100, 100), the opener at (30, 50) - (110, 70).
    const auto rect = list->windowRenderer()->window()->rect();
    EXPECT_EQ(rect.width, 80) << "is-same-width";
    EXPECT_EQ(rect.x, 100 + 30);
    EXPECT_EQ(rect.y, 100 + 70) << "the opener's window-alignment over the template's";

    CObject choose;
    choose.setInt("x", list->area().left + 4);
    choose.setInt("y", list->area().top + list->paragraphs()[2].top + 4);
    ASSERT_EQ(list->runViewEvent("mouse-press", &choose, nullptr), nullptr);
    ASSERT_TRUE(heard("drop:popup-result"));
    EXPECT_EQ(log->param("drop:popup-result", "index"), "2");
    EXPECT_EQ(log->param("drop:popup-result", "list-id"), "mode");
    EXPECT_EQ(log->param("drop:popup-result", "result-target"), "ui.main");
    EXPECT_EQ(drop->selectedParagraph(), 2);
    EXPECT_EQ(log->param("drop:selected-paragraph-changed", "paragraph-index"), "2");
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; })) << "the popup closes once chosen";
}

// A template of the plug-in's own document.
std::string shippedTemplate(const std::string& name) {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"" + name + "\">");
    const size_t to = doc.find("</template>", from);
    return from == std::string::npos ? std::string() : doc.substr(from, to + 11 - from);
}

std::string numbers(int count) {
    std::string out;
    for (int i = 1; i <= count; ++i) out += (i > 1 ? ";" : "") + std::to_string(i);
    return out;
}

class DropDownListThreads : public EditorWindowTest {
protected:
    // The main window and its popups at the UI `scale` of the instance's settings.
    void openMain(const std::string& scale = "1") {
        const std::string drop = R"(width="80" height="20" font-name="shared::font.base" separator-char=";"
            popup-tag="ui:window-app-popup-list" is-same-width="true")";
        open(R"(
  <core:object name="local-data"><core:object name="ui-scale" scale=")" +
                 scale + R"("/></core:object>
  <ui:window-drag name="main" width="300" height="200" color="Panel" ui-scale="{*/ui.local-data.ui-scale scale?1}">
    <ui:window-renderer name="window-renderer" title="Main" num-threads="0" window-x="100" window-y="100" fps="40"
                        window-position-id="main">)" +
                 rendererChildren() + R"(
    </ui:window-renderer>
    <ui:textview name="three" )" +
                 drop + R"( title="Stereo;Mid/Side;Mono" outer-border="L30 T50" shift-x="6"
                 shift-y="2" popup-inner-border="L12 R4 TB3" popup-text-alignment="right"/>
    <ui:textview name="four" )" +
                 drop + R"( title="Stereo;Mid/Side;Mono;Quad"/>
    <ui:textview name="many" )" +
                 drop + R"( title=")" + numbers(100) + R"("/>
    <ui:textview name="late" )" +
                 drop + R"( title=")" + numbers(100) + R"(" selected-paragraph="89" is-paragraph-selectable="true"/>
  </ui:window-drag>)",
             shippedTemplate("ui:window-app-popup-list"));
        if (HasFatalFailure()) return;
        waitShown(rendererOf("main"));
        opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
    }
    // Opens the drop-down of `name`; the popup's list, shown.
    CTextView* openList(const char* name) {
        EXPECT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));
        CView* drop = view(std::string("main.") + name);
        CObject press;
        press.setInt("x", drop->area().left + 4);
        press.setInt("y", drop->area().top + 4);
        CErrorPtr e = drop->runViewEvent("mouse-press", &press, nullptr);
        EXPECT_EQ(e, nullptr) << e->describe();
        auto* list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
        if (list) waitShown(list->windowRenderer());
        return list;
    }
    void close(CTextView& list) { ASSERT_EQ(list.windowRenderer()->closeWindow(), nullptr); }
    platform::CPixelRect rectOf(CTextView& list) { return list.windowRenderer()->window()->rect(); }

    CWindowOpener* opener = nullptr;
};

TEST_F(DropDownListThreads, TheListIsAsHighAsItsEntriesAndTakesTheOpenersShape) {
    openMain();
    CTextView* three = openList("three");
    ASSERT_NE(three, nullptr);
    const auto r3 = rectOf(*three);
    EXPECT_EQ(r3.x, 100 + 30 + 6) << "shift-x";
    EXPECT_EQ(r3.y, 100 + 70 + 2) << "below the opener, shifted down";
    EXPECT_EQ(r3.width, 80);
    EXPECT_EQ(three->getAttr("inner-border"), CString("L12 R4 TB3"));
    EXPECT_EQ(three->getAttr("text-alignment"), CString("right"));
    ASSERT_EQ(three->paragraphs().size(), 3u);
    const auto& lines = three->paragraphs()[0].lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_GT(lines[0].left, 0);
    EXPECT_EQ(lines[0].left + lines[0].width, 80 - 16) << "right-aligned within the popup's inner border";
    const int pitch = three->paragraphs()[1].top - three->paragraphs()[0].top;
    close(*three);

    CTextView* four = openList("four");
    ASSERT_NE(four, nullptr);
    const auto r4 = rectOf(*four);
    EXPECT_LT(r4.height, 200) << "not the template's height";
    EXPECT_EQ(r4.height - r3.height, pitch) << "one more entry, one more row";
    const auto& last = four->paragraphs().back();
    EXPECT_LE(last.top + last.height, r4.height);
    close(*four);
}

TEST_F(DropDownListThreads, AtALargerScaleTheListIsMeasuredInThatScale) {
    openMain("1.25");
    CTextView* three = openList("three");
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->uiScale(), 1.25);
    const auto r3 = rectOf(*three);
    EXPECT_EQ(r3.width, 100) << "the opener's 80 pixels, scaled";
    const int pitch = three->paragraphs()[1].top - three->paragraphs()[0].top;
    close(*three);
    CTextView* four = openList("four");
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(rectOf(*four).height - r3.height, pitch);
    const auto& last = four->paragraphs().back();
    EXPECT_LE(last.top + last.height, rectOf(*four).height);
    close(*four);
}

TEST_F(DropDownListThreads, AListLongerThanTheScreenScrollsAllItsEntriesWithTheWheel) {
    openMain();
    listen({"main.many"}, {"popup-result"});
    CTextView* many = openList("many");
    ASSERT_NE(many, nullptr);
    const auto r = rectOf(*many);
    EXPECT_EQ(r.height, 768) << "as high as the screen of the test server";
    EXPECT_EQ(r.y, 0);
    const auto& ps = many->paragraphs();
    ASSERT_EQ(ps.size(), 100u) << "every entry, none left out";
    auto* bar = dynamic_cast<CScrollerBar*>(root->findObject("ui.ui:window-app-popup-list.scroller-v.bar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->area().isEmpty()) << "the scroll bar shows";
    EXPECT_EQ(bar->offset(), 0.0);
    EXPECT_EQ(many->area().left + many->area().width(), bar->area().left) << "the entries beside it";
    const auto bottomOf = [&](size_t i) { return many->area().top + ps[i].top + ps[i].height; };
    EXPECT_GT(bottomOf(99), r.height);

    // The wheel over the entries, through the X server, until the last one shows.
    const std::string over = std::to_string(r.x + 20) + " " + std::to_string(r.y + 300);
    for (int turn = 0; turn < 40 && bottomOf(99) > r.height; ++turn) {
        ASSERT_EQ(x.run("xdotool mousemove " + over + " click 5"), 0);
        const double was = bar->offset();
        runUntil([&] { return bar->offset() != was; });
    }
    EXPECT_LE(bottomOf(99), r.height);
    EXPECT_GT(bottomOf(99), r.height - ps[99].height - 8) << "at the bottom";
    EXPECT_NEAR(bar->offset(), 1.0 - bar->ratio(), 1e-9);
    // The entry under the still pointer is the hovered one, not the one
    // that was there before the list moved.
    size_t under = 0;
    while (under + 1 < ps.size() && many->area().top + ps[under + 1].top <= 300) ++under;
    ASSERT_TRUE(runUntil([&] { return many->hoveredParagraph() == int(under); }))
        << many->hoveredParagraph() << " " << under;

    // A click chooses the entry under the pointer, scrolled as it is.
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(r.x + 20) + " " +
                    std::to_string(r.y + bottomOf(99) - ps[99].height / 2) + " click 1"),
              0);
    ASSERT_TRUE(heard("many:popup-result"));
    EXPECT_EQ(log->param("many:popup-result", "index"), "99");
}

TEST_F(DropDownListThreads, ALongListStartsWhereItsSelectedEntryShowsAndAnswersWithEntryIndices) {
    openMain();
    listen({"main.late"}, {"popup-result"});
    CTextView* late = openList("late");
    ASSERT_NE(late, nullptr);
    const auto& ps = late->paragraphs();
    ASSERT_EQ(ps.size(), 100u);
    EXPECT_EQ(late->selectedParagraph(), 89);
    // The selected entry, "90", shows, with the list at its end: ten
    // entries after it are not enough to bring it to the middle.
    const int height = rectOf(*late).height;
    EXPECT_LT(late->area().top + ps[89].top + ps[89].height, height - 8 * ps[89].height);
    EXPECT_GE(late->area().bottom, height - 4);
    EXPECT_LE(late->area().bottom, height);

    CObject choose;
    choose.setInt("x", late->area().left + 4);
    choose.setInt("y", late->area().top + ps[90].top + 4);
    ASSERT_EQ(late->runViewEvent("mouse-press", &choose, nullptr), nullptr);
    ASSERT_TRUE(heard("late:popup-result"));
    EXPECT_EQ(log->param("late:popup-result", "index"), "90") << "the entry \"91\"";
    EXPECT_EQ(dynamic_cast<CTextView*>(view("main.late"))->selectedParagraph(), 90);
}

TEST_F(DropDownListThreads, ALongListShowsItsSelectedEntryInTheMiddle) {
    openMain();
    view("main.many")->setAttr("selected-paragraph", "49");
    CTextView* many = openList("many");
    ASSERT_NE(many, nullptr);
    const auto& ps = many->paragraphs();
    ASSERT_EQ(ps.size(), 100u);
    const int middle = many->area().top + ps[49].top + ps[49].height / 2;
    EXPECT_NEAR(middle, rectOf(*many).height / 2, ps[49].height);
}

TEST_F(DropDownListThreads, ChoosingTheChosenEntryClosesThePopupAndAnswersOnlyWhenAsked) {
    openMain();
    listen({"main.four"}, {"popup-result"});
    view("main.four")->setAttr("selected-paragraph", "1");
    const auto chooseSecond = [&] {
        CTextView* list = openList("four");
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->selectedParagraph(), 1);
        CObject choose;
        choose.setInt("x", list->area().left + 4);
        choose.setInt("y", list->area().top + list->paragraphs()[1].top + 4);
        ASSERT_EQ(list->runViewEvent("mouse-press", &choose, nullptr), nullptr);
        ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; })) << "closed";
    };
    chooseSecond();
    EXPECT_EQ(log->count("four:popup-result"), 0u);
    view("main.four")->setAttr("do-send-same-result", "true");
    chooseSecond();
    ASSERT_TRUE(heard("four:popup-result"));
    EXPECT_EQ(log->param("four:popup-result", "index"), "1");
}

}  // namespace
