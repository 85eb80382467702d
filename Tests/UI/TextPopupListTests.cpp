// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorWindowTest.h"
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

}  // namespace
