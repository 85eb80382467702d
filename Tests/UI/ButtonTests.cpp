// SPDX-License-Identifier: GPL-3.0-or-later
// Buttons, drop-downs and selectors driven by real input through the X server.

#include <fstream>
#include <iterator>

#include "EditorWindowTest.h"
#include "Platform/Clock.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ButtonOK.h"
#include "UI/Controls/SettingSelector.h"
#include "UI/Controls/TextView.h"
#include "UI/DynamicPalette.h"
#include "UI/UpdateTimer.h"
#include "UI/WindowOpener.h"

namespace zel {
namespace {

// A template of the plug-in's own document.
std::string shipped(const std::string& name) {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"" + name + "\">");
    const size_t to = doc.find("</template>", from);
    return from == std::string::npos ? std::string() : doc.substr(from, to + 11 - from);
}

class ButtonsOnX : public test::EditorWindowTest {
protected:
    void openMain() {
        open(R"(
  <ui:style name="style" button-image-set="shared::is.button"/>
  <core:object name="local-data"><core:object name="ui-scale" scale="1.0"/></core:object>
  <ui:window-drag name="main" width="320" height="200" color="Panel" ui-scale="{*/ui.local-data.ui-scale scale?1}">
    <ui:window-renderer name="window-renderer" title="Buttons" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + test::rendererChildren() +
                 R"(
    </ui:window-renderer>
    <ui:button name="check" width="80" title="Check" is-checkbox="true">
      <ui:view-command on-event="mouse-release" toggle-attr="is-command-run"/>
    </ui:button>
    <ui:view name="elsewhere" width="80" height="24"/>
    <ui:button name="drop" width="90" item-list=".items" inner-border="L4 R14 B1">
      <ui:value-list-manual name="items">
        <core:object content="Stereo"/><core:object content="Mid/Side"/><core:object content="Mono"/>
      </ui:value-list-manual>
    </ui:button>
    <ui:button name="sparse" width="60" item-list=".items" selected-item="0">
      <ui:value-list-manual name="items">
        <core:object content="A"/><core:object content="B" is-disabled="true"/><core:object content="C"/>
      </ui:value-list-manual>
    </ui:button>
    <ui:button-ok name="ok" width="80" title="Copy" is-new-inline-row="true"/>
    <ui:button name="right" width="60" title="Right" is-checkbox="true" is-right-click-allowed="true"/>
    <ui:selector-scale name="scale" width="150" height="24"/>
  </ui:window-drag>)",
             shipped("ui:button") + shipped("ui:button-ok") + shipped("ui:window-app-popup-list"));
        if (HasFatalFailure()) return;
        waitShown(rendererOf("main"));
    }
    std::string screenPoint(const std::string& path, int dx = 0) {
        const CRect& r = view("main." + path)->area();
        return std::to_string(100 + (r.left + r.right) / 2 + dx) + " " + std::to_string(100 + (r.top + r.bottom) / 2);
    }
    CButton* button(const std::string& name) { return dynamic_cast<CButton*>(view("main." + name)); }

    // The app's popup list, once it has drawn.
    CTextView* openList() {
        CTextView* list = nullptr;
        const bool shown = runUntil([&] {
            list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
            return list && list->windowRenderer() && list->windowRenderer()->frameCount() > 0;
        });
        return shown ? list : nullptr;
    }
    // The screen point of entry `index` of an open list.
    std::string entryPoint(CTextView& list, size_t index) {
        int ox = 0, oy = 0;
        if (!list.windowRenderer()->window()->screenOrigin(ox, oy)) return {};
        const int y = oy + list.paragraphTop(index) + list.paragraphs()[index].height / 2 + 2;
        return std::to_string(ox + list.area().left + 10) + " " + std::to_string(y);
    }
    CWindowOpener* opener() {
        return dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
    }
    // The colour of the button's face, left of its title.
    uint32_t face(const std::string& name) {
        const CRect& r = view("main." + name)->area();
        const CLinearBitmap& bitmap = rendererOf("main")->bitmap();
        const int x = r.left + 5, y = (r.top + r.bottom) / 2;
        return *reinterpret_cast<const uint32_t*>(bitmap.pixels() + size_t(y) * bitmap.stride() + size_t(x) * 4) &
               0xffffffu;
    }
};

TEST_F(ButtonsOnX, OnlyAReleaseOverTheButtonClicksIt) {
    openMain();
    CButton* check = button("check");
    ASSERT_NE(check, nullptr);
    listen({"main.check"}, {"button-clicked", "mouse-release"});

    // Pressed inside, released outside: pushed while over it, then nothing.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check") + " mousedown 1"), 0);
    ASSERT_TRUE(runUntil([&] { return check->isPushed(); }));
    EXPECT_EQ(check->getAttr("image-set-range"), "Pushed");
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("elsewhere")), 0);
    ASSERT_TRUE(runUntil([&] { return !check->isPushed(); })) << "leaving shows the release will do nothing";
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(heard("check:mouse-release"));
    EXPECT_EQ(log->count("check:button-clicked"), 0u);
    EXPECT_FALSE(check->isActive());
    EXPECT_FALSE(check->getBool("is-command-run", false)) << "its release commands did not run either";
    EXPECT_EQ(check->getAttr("image-set-range"), "");

    // A click toggles the check box and runs its commands.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check") + " click 1"), 0);
    ASSERT_TRUE(heard("check:button-clicked"));
    EXPECT_TRUE(check->isActive());
    EXPECT_TRUE(check->states().isSet("active"));
    EXPECT_EQ(check->getAttr("image-set-range"), "Active");
    EXPECT_TRUE(check->getBool("is-command-run", false));
    ASSERT_EQ(x.run("xdotool click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return !check->isActive(); }));
}

TEST_F(ButtonsOnX, ADropDownStepsWithTheWheelAndTakesTheEntryChosenInItsList) {
    openMain();
    CButton* drop = button("drop");
    ASSERT_NE(drop, nullptr);
    auto* opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
    ASSERT_NE(opener, nullptr);
    EXPECT_EQ(drop->selectedItem(), -1);

    // Down steps to the next entry, never past the last; up goes back.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " click 5"), 0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 0; }));
    ASSERT_EQ(x.run("xdotool click --repeat 4 --delay 30 5"), 0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 2; }));
    EXPECT_EQ(drop->getAttr("title"), "Mono") << "the entry's title shows";
    ASSERT_EQ(x.run("xdotool click 4"), 0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 1; }));
    EXPECT_EQ(drop->getAttr("title"), "Mid/Side");

    // Entries that cannot be chosen are stepped over.
    CButton* sparse = button("sparse");
    EXPECT_EQ(sparse->getAttr("title"), "A");
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("sparse") + " click 5"), 0);
    ASSERT_TRUE(runUntil([&] { return sparse->selectedItem() == 2; }));
    ASSERT_EQ(x.run("xdotool click 4"), 0);
    ASSERT_TRUE(runUntil([&] { return sparse->selectedItem() == 0; }));
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop")), 0);

    // A press opens the list; a click on an entry there chooses it.
    ASSERT_EQ(x.run("xdotool click 1"), 0);
    auto* list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
    ASSERT_TRUE(runUntil([&] {
        list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
        return list && list->windowRenderer() && list->windowRenderer()->frameCount() > 0;
    }));
    ASSERT_EQ(list->paragraphs().size(), 3u);
    EXPECT_EQ(list->selectedParagraph(), 1);
    int ox = 0, oy = 0;
    ASSERT_TRUE(list->windowRenderer()->window()->screenOrigin(ox, oy));
    const int y = oy + list->paragraphTop(0) + list->paragraphs()[0].height / 2 + 2;
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(ox + list->area().left + 10) + " " + std::to_string(y) +
                    " click 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 0; }));
    EXPECT_EQ(drop->getAttr("title"), "Stereo");
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));

    // Open again, a press anywhere else closes the list and chooses nothing.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 1; }));
    ASSERT_TRUE(runUntil([&] {
        auto* open = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
        return open && open->windowRenderer()->frameCount() > 0;
    }));
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("elsewhere") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));
    EXPECT_EQ(drop->selectedItem(), 0);
}

TEST_F(ButtonsOnX, PressDragAndReleaseOnAnEntryPicksItAPlainClickLeavesTheListOpen) {
    openMain();
    CButton* drop = button("drop");
    ASSERT_NE(drop, nullptr);
    CWindowOpener* windows = opener();
    ASSERT_NE(windows, nullptr);

    // Press, drag onto "Mono", release: chosen and closed in one gesture.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " mousedown 1"), 0);
    CTextView* list = openList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->paragraphs().size(), 3u);
    const std::string mono = entryPoint(*list, 2);
    ASSERT_EQ(x.run("xdotool mousemove " + entryPoint(*list, 1) + " sleep 0.05 mousemove " + mono), 0);
    ASSERT_TRUE(runUntil([&] { return list->hoveredParagraph() == 2; })) << "the entry under the pointer lights up";
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 2; }));
    EXPECT_EQ(drop->getAttr("title"), "Mono");
    ASSERT_TRUE(runUntil([&] { return windows->popupCount() == 0; }));

    // A plain click opens the list and leaves it open; nothing is chosen.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " click 1"), 0);
    list = openList();
    ASSERT_NE(list, nullptr);
    const auto later = list->windowRenderer()->frameCount() + 5;
    ASSERT_TRUE(runUntil([&] { return list->windowRenderer()->frameCount() >= later; }));
    EXPECT_EQ(windows->popupCount(), 1u);
    EXPECT_EQ(drop->selectedItem(), 2);
    // ...and a click on an entry then picks it.
    ASSERT_EQ(x.run("xdotool mousemove " + entryPoint(*list, 0) + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return drop->selectedItem() == 0; }));
    ASSERT_TRUE(runUntil([&] { return windows->popupCount() == 0; }));

    // Dragged away from both and released: closed, nothing chosen.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " mousedown 1"), 0);
    ASSERT_NE(openList(), nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check") + " mouseup 1"), 0);
    ASSERT_TRUE(runUntil([&] { return windows->popupCount() == 0; }));
    EXPECT_EQ(drop->selectedItem(), 0);
    EXPECT_FALSE(button("check")->isActive()) << "the release belonged to the drop-down";

    // With the drop-down behaviour off, releasing over an entry picks nothing.
    ASSERT_TRUE(drop->setAttr("is-drop-down-behavior-disabled", "true") == nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " mousedown 1"), 0);
    list = openList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + entryPoint(*list, 1) + " mouseup 1"), 0);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("elsewhere") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return windows->popupCount() == 0; }));
    EXPECT_EQ(drop->selectedItem(), 0);
}

TEST_F(ButtonsOnX, TheRightButtonClicksOnlyButtonsThatAllowIt) {
    openMain();
    listen({"main.check", "main.right", "main.drop"}, {"button-clicked", "mouse-release-r"});
    // Without is-right-click-allowed: neither pushed, nor clicked, nor opened.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check") + " mousedown 3"), 0);
    ASSERT_TRUE(runUntil([&] { return rendererOf("main")->router()->pressTarget() == button("check"); }));
    EXPECT_FALSE(button("check")->isPushed());
    ASSERT_EQ(x.run("xdotool mouseup 3"), 0);
    ASSERT_TRUE(heard("check:mouse-release-r"));
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("drop") + " click 3"), 0);
    ASSERT_TRUE(heard("drop:mouse-release-r"));
    EXPECT_EQ(log->count("check:button-clicked"), 0u);
    EXPECT_FALSE(button("check")->isActive());
    EXPECT_EQ(opener()->popupCount(), 0u);

    // With it, the right button clicks as the left one does, and only over it.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("right") + " click 3"), 0);
    ASSERT_TRUE(heard("right:button-clicked"));
    EXPECT_TRUE(button("right")->isActive());
    ASSERT_EQ(x.run("xdotool mousedown 3 mousemove " + screenPoint("elsewhere") + " mouseup 3"), 0);
    ASSERT_TRUE(runUntil([&] { return log->count("right:mouse-release-r") == 2; }));
    EXPECT_EQ(log->count("right:button-clicked"), 1u);
    EXPECT_TRUE(button("right")->isActive());
}

TEST_F(ButtonsOnX, AHoveredButtonDrawsInTheHoverVariantOfItsState) {
    openMain();
    auto* palette = dynamic_cast<CDynamicPalette*>(root->findObject("ui.palette"));
    ASSERT_NE(palette, nullptr);
    const auto colour = [&](const char* role) {
        const CPreparedColor* c = palette->find(role);
        return c ? uint32_t(c->colour) & 0xffffffu : 0xdeadbeefu;
    };
    CButton* check = button("check");
    auto* label = dynamic_cast<CTextView*>(check->findChild("label"));
    ASSERT_NE(label, nullptr);
    ASSERT_NE(colour("Button_Hover"), colour("Button"));
    ASSERT_NE(colour("Button_ActiveHover"), colour("Button_Active"));
    ASSERT_TRUE(runUntil([&] { return face("check") == colour("Button"); })) << std::hex << face("check");

    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check")), 0);
    ASSERT_TRUE(runUntil([&] { return face("check") == colour("Button_Hover"); })) << std::hex << face("check");
    EXPECT_EQ(label->getAttr("color-state"), "/Hover");
    // Active and hovered: the combined variant.
    ASSERT_EQ(x.run("xdotool click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return check->isActive(); }));
    ASSERT_TRUE(runUntil([&] { return face("check") == colour("Button_ActiveHover"); })) << std::hex << face("check");
    EXPECT_EQ(label->getAttr("color-state"), "Active/Hover");
    // Leaving: the active colour alone.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("elsewhere")), 0);
    ASSERT_TRUE(runUntil([&] { return face("check") == colour("Button_Active"); })) << std::hex << face("check");
}

TEST_F(ButtonsOnX, TheOkButtonShowsOkForEightTenthsOfASecond) {
    openMain();
    auto* ok = dynamic_cast<CButtonOK*>(view("main.ok"));
    ASSERT_NE(ok, nullptr);
    auto* label = dynamic_cast<CTextView*>(ok->findChild("label"));
    ASSERT_NE(label, nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("ok") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return ok->isShowingOk(); }));
    const double shown = platform::secondsSinceStart();
    EXPECT_EQ(ok->getAttr("title"), "OK");
    EXPECT_EQ(label->paragraphText(0), CString("OK")) << "its label shows it";
    ASSERT_TRUE(runUntil([&] { return !ok->isShowingOk(); }));
    const double lasted = platform::secondsSinceStart() - shown;
    EXPECT_GE(lasted, 0.75);
    EXPECT_LE(lasted, 1.0);
    EXPECT_EQ(ok->getAttr("title"), "Copy");
}

TEST_F(ButtonsOnX, ChoosingAScaleWritesItAndLeavesTheOpenWindowAsItIs) {
    openMain();
    auto* scale = dynamic_cast<CSelectorScale*>(view("main.scale"));
    ASSERT_NE(scale, nullptr);
    ASSERT_EQ(scale->buttonCount(), 3u);
    EXPECT_EQ(scale->activeButton(), 1) << "100 %";
    const CRect before = button("check")->area();
    CView* larger = dynamic_cast<CView*>(scale->button(2));
    ASSERT_EQ(larger->getAttr("title"), "125%");
    const CRect& r = larger->area();
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(100 + (r.left + r.right) / 2) + " " +
                    std::to_string(100 + (r.top + r.bottom) / 2) + " click 1"),
              0);
    CObject* setting = root->findObject("ui.local-data.ui-scale");
    ASSERT_TRUE(runUntil([&] { return setting->getAttr("scale") == "1.25"; }));
    EXPECT_EQ(scale->activeButton(), 2);
    // A press lays the window out again, at its own scale.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("check") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return button("check")->isActive(); }));
    EXPECT_EQ(button("check")->area(), before);
    EXPECT_EQ(button("check")->uiScale(), 1.0);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("scale", -50) + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return setting->getAttr("scale") == "0.8"; }));
}

TEST_F(ButtonsOnX, ChoosingAFrameRateWritesItAndTheOpenWindowFollows) {
    open(R"(
  <ui:style name="style" button-image-set="shared::is.button"/>
  <core:object name="settings"><core:object name="frames-per-second" frames-per-second="40"/></core:object>
  <ui:window-drag name="main" width="320" height="60" color="Panel">
    <ui:window-renderer name="window-renderer" title="Rates" num-threads="0" window-x="100" window-y="100"
                        fps="{*/ui.settings.frames-per-second frames-per-second?40}">
      )" + test::rendererChildren() +
             R"(
    </ui:window-renderer>
    <ui:selector-fps name="fps" width="250" height="24" shared-attribute="ui.settings.frames-per-second"/>
  </ui:window-drag>)",
         shipped("ui:button"));
    if (HasFatalFailure()) return;
    CWindowRenderer* renderer = rendererOf("main");
    waitShown(renderer);
    auto* fps = dynamic_cast<CSelectorFPS*>(view("main.fps"));
    ASSERT_NE(fps, nullptr);
    ASSERT_EQ(fps->buttonCount(), 5u);
    EXPECT_EQ(fps->activeButton(), 2) << "40";
    auto* timer = dynamic_cast<CUpdateTimer*>(renderer->findChild("render-timer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->periodMs(), 25u);

    CView* fastest = dynamic_cast<CView*>(fps->button(4));
    ASSERT_EQ(fastest->getAttr("title"), "60");
    const CRect& r = fastest->area();
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(100 + (r.left + r.right) / 2) + " " +
                    std::to_string(100 + (r.top + r.bottom) / 2) + " click 1"),
              0);
    CObject* setting = root->findObject("ui.settings.frames-per-second");
    ASSERT_TRUE(runUntil([&] { return setting->getAttr("frames-per-second") == "60"; }));
    EXPECT_EQ(fps->activeButton(), 4);
    ASSERT_TRUE(runUntil([&] { return timer->periodMs() == 17u; })) << timer->periodMs();
    // Frames keep coming at the new rate.
    const uint64_t frames = renderer->frameCount();
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= frames + 3; }));
}

}  // namespace
}  // namespace zel
