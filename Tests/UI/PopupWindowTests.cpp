// SPDX-License-Identifier: GPL-3.0-or-later
#include <dirent.h>

#include "Core/AppData.h"
#include "EditorWindowTest.h"
#include "Support/Printers.h"
#include "UI/UpdateTimer.h"
#include "UI/WindowOpener.h"
#include "UI/WindowPlacement.h"

using namespace zel;
using namespace zel::test;

namespace {

std::string text(const CErrorPtr& err) { return err ? err->describe() : std::string(); }
bool mentions(const CErrorPtr& err, const std::string& what) { return text(err).find(what) != std::string::npos; }

// ---------------------------------------------------------------- placement arithmetic

// An opener of 60 × 20 at (300, 200) in a window at (100, 100) of 540 × 315,
// on a monitor whose work area is 1000 × 700 from (0, 30).
CPopupAnchor anchor() {
    CPopupAnchor a;
    a.opener = CRect{300, 200, 360, 220};
    a.openerWindow = CRect{100, 100, 640, 415};
    a.cursorX = 330;
    a.cursorY = 210;
    a.workArea = CRect{0, 30, 1000, 730};
    return a;
}

EWindowAlignment alignment(const char* name) {
    EWindowAlignment a = EWindowAlignment::Center;
    EXPECT_EQ(parseWindowAlignment(name, a), nullptr) << name;
    return a;
}

CRect at(int x, int y, int w, int h) { return CRect{x, y, x + w, y + h}; }

TEST(PopupPlacement, EveryAlignmentPlacesThePopupByItsOpener) {
    const CPopupAnchor a = anchor();
    EXPECT_EQ(placePopup(alignment("left"), a, 100, 50, true), at(200, 200, 100, 50));
    EXPECT_EQ(placePopup(alignment("right"), a, 100, 50, true), at(360, 200, 100, 50));
    EXPECT_EQ(placePopup(alignment("center"), a, 200, 100, true), at(270, 207, 200, 100));
    EXPECT_EQ(placePopup(alignment("bottom"), a, 100, 50, true), at(300, 220, 100, 50));
    EXPECT_EQ(placePopup(alignment("bottom-center"), a, 100, 50, true), at(280, 220, 100, 50));
    EXPECT_EQ(placePopup(alignment("bottom-local-center"), a, 100, 50, true), at(320, 220, 100, 50));
    EXPECT_EQ(placePopup(alignment("center-overlay"), a, 100, 50, true), at(280, 185, 100, 50));
    EXPECT_EQ(placePopup(alignment("cursor"), a, 100, 50, true), at(330, 210, 100, 50));
    // Without an alignment a popup centres on its opener's window.
    EXPECT_EQ(placePopup(alignment(""), a, 200, 100, true), at(270, 207, 200, 100));

    EWindowAlignment out = EWindowAlignment::Cursor;
    const CErrorPtr err = parseWindowAlignment("middle", out);
    EXPECT_TRUE(mentions(err, "Invalid window alignment 'middle'")) << text(err);
    EXPECT_EQ(out, EWindowAlignment::Cursor) << "a bad value leaves the old one";
    EXPECT_NE(parseWindowAlignment("Left", out), nullptr) << "values are exact";
}

TEST(PopupPlacement, APopupStaysWithinTheWorkAreaOfItsMonitor) {
    CPopupAnchor a = anchor();
    // No room below: a drop-down opens above its opener.
    a.opener = CRect{300, 650, 360, 670};
    EXPECT_EQ(placePopup(alignment("bottom"), a, 100, 80, true), at(300, 570, 100, 80));
    // Unless asked to keep its side: then it is pushed up into the area.
    EXPECT_EQ(placePopup(alignment("bottom"), a, 100, 80, false), at(300, 650, 100, 80));
    // No room on the right: it goes to the left of the opener.
    a.opener = CRect{900, 200, 960, 220};
    EXPECT_EQ(placePopup(alignment("right"), a, 100, 50, true), at(800, 200, 100, 50));
    a.opener = CRect{20, 200, 80, 220};
    EXPECT_EQ(placePopup(alignment("left"), a, 100, 50, true), at(80, 200, 100, 50));
    // At the cursor in the corner: it opens up and to the left of it.
    a.cursorX = 990;
    a.cursorY = 720;
    EXPECT_EQ(placePopup(alignment("cursor"), a, 100, 50, true), at(890, 670, 100, 50));
    // Above the top panel and left of the screen: moved in.
    a.opener = CRect{-50, 0, 10, 20};
    EXPECT_EQ(placePopup(alignment("center-overlay"), a, 100, 50, true), at(0, 30, 100, 50));
    // Larger than the area: its top left corner stays visible.
    EXPECT_EQ(placePopup(alignment("center"), a, 1200, 900, true), at(0, 30, 1200, 900));
    // On a second monitor to the right.
    a = anchor();
    a.workArea = CRect{1000, 0, 2000, 800};
    a.opener = CRect{1950, 100, 1990, 120};
    EXPECT_EQ(placePopup(alignment("bottom-center"), a, 100, 50, true), at(1900, 120, 100, 50));
}

TEST(WindowPositions, AStoredPositionComesBackFromItsOwnStore) {
    const CString id = CString::fromUtf8(uniqueLeaf("pos"));
    int x = 0, y = 0;
    EXPECT_FALSE(CWindowPositionStore::load(id, true, x, y));
    ASSERT_EQ(CWindowPositionStore::save(id, true, 120, -40), nullptr);
    ASSERT_EQ(CWindowPositionStore::save(id, false, 7, 8), nullptr);
    ASSERT_TRUE(CWindowPositionStore::load(id, true, x, y));
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, -40);
    ASSERT_TRUE(CWindowPositionStore::load(id, false, x, y));
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 8);
    EXPECT_NE(CAppDataGlobal::instance().itemPath("winpos-" + id.utf8()).find("winpos-pos-"), std::string::npos);
}

// ---------------------------------------------------------------- popups on a server

// The main window at (100, 100) with a button that opens popups, and a
// picture that shows while a modal window blocks it.
const char* const kMain = R"(
  <ui:window-drag name="main" width="300" height="200" color="Panel">
    <ui:window-renderer name="window-renderer" title="Main" num-threads="0" window-x="100" window-y="100" fps="40"
                        window-position-id="main">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:view name="button" width="60" height="20" outer-border="L30 T50"/>
    <ui:view name="window-blocker" placement="full" is-hidden="true" color="Background"/>
  </ui:window-drag>)";

// A draggable popup; `extras` go to its renderer.
std::string popupTemplate(const char* name, const std::string& extras, const char* content = "",
                          const char* timers = "") {
    return std::string(R"(<template name=")") + name + R"(">
  <ui:window-drag width="120" height="80" color="Panel" is-window-draggable="true">
    <ui:window-renderer name="window-renderer" title="Popup" num-threads="1" fps="40"
                        is-window-position-storing-enabled="{*/ui.global-data winpos-store?true}" )" +
           extras + R"(>
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
      )" + timers +
           R"(
    </ui:window-renderer>)" +
           content + R"(
  </ui:window-drag>
</template>)";
}

size_t threadCount() {
    size_t n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

class Popups : public EditorWindowTest {
protected:
    void openEditor(const std::string& templates) {
        open(kMain, templates);
        main = rendererOf("main");
        waitShown(main);
        opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
        ASSERT_NE(opener, nullptr);
        button = view("main.button");
        listen({"main.button"}, {"popup-created", "popup-changed", "mouse-press", "mouse-cancel"});
    }
    CWindowRenderer* popup(const char* tag, const char* name = "") {
        CWinDrag* out = nullptr;
        const CErrorPtr err = opener->openPopup(tag, name, *button, out);
        EXPECT_EQ(err, nullptr) << text(err);
        if (!out) return nullptr;
        auto* r = dynamic_cast<CWindowRenderer*>(out->findChild("window-renderer"));
        waitShown(r);
        return r;
    }
    // Closes and waits until the opener released the popup's tree.
    void closeAndRelease(CWindowRenderer* r) {
        const size_t popups = opener->popupCount();
        ASSERT_EQ(r->closeWindow(), nullptr);
        ASSERT_TRUE(runUntil([&] { return opener->popupCount() < popups; }));
    }

    CWindowRenderer* main = nullptr;
    CWindowOpener* opener = nullptr;
    CView* button = nullptr;
};

TEST_F(Popups, APopupOpensByItsOpenerAndItsTreeGoesOnceItClosed) {
    openEditor(popupTemplate("test:drop", R"(window-alignment="bottom-center" is-local-popup="true")"));
    // The button sits at (30, 50) - (90, 70) of the window at (100, 100).
    EXPECT_EQ(button->area(), (CRect{30, 50, 90, 70}));
    CWindowRenderer* drop = popup("test:drop", "drop");
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(drop->window()->rect().x, 100 + 60 - 60);
    EXPECT_EQ(drop->window()->rect().y, 100 + 70);
    int x = 0, y = 0;
    ASSERT_TRUE(drop->window()->screenOrigin(x, y));
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 170);
    EXPECT_EQ(log->param("button:popup-created", "popup"), "ui.drop");
    EXPECT_EQ(shared->windowCount(), 2u);
    // Asked for again while open: the same popup.
    EXPECT_EQ(popup("test:drop", "drop"), drop);
    EXPECT_EQ(log->param("button:popup-changed", "is-open"), "true");
    EXPECT_EQ(opener->popupCount(), 1u);

    closeAndRelease(drop);
    EXPECT_EQ(root->findObject("ui.drop"), nullptr);
    EXPECT_EQ(log->param("button:popup-changed", "is-open"), "false");
    EXPECT_EQ(shared->windowCount(), 1u);
    // With nothing open the opener's timer rests.
    EXPECT_FALSE(opener->isTimerRunning());

    // A close button's command closes the window it is in.
    drop = popup("test:drop", "drop");
    ASSERT_EQ(drop->parent()->runEvent("close-window"), nullptr);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));

    // Toggling opens, then closes.
    ASSERT_EQ(opener->togglePopup("test:drop", "drop", *button), nullptr);
    ASSERT_NE(opener->findPopup("drop"), nullptr);
    ASSERT_EQ(opener->togglePopup("test:drop", "drop", *button), nullptr);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));
}

TEST_F(Popups, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
    openEditor(popupTemplate("test:drop", R"(window-alignment="bottom")"));
    CUpdateTimerGroup* group = shared->existingGroup();
    ASSERT_NE(group, nullptr);
    // One round first: the opener's timer stays as its child.
    closeAndRelease(popup("test:drop", "drop"));
    const size_t timers = group->timerCount(), threads = threadCount(),
                 objects = root->findObject("ui")->children().size();
    for (int i = 0; i < 100; ++i) {
        CWindowRenderer* drop = popup("test:drop", "drop");
        ASSERT_NE(drop, nullptr);
        EXPECT_EQ(drop->threadCount(), 1u);
        closeAndRelease(drop);
    }
    EXPECT_EQ(group->timerCount(), timers);
    EXPECT_EQ(threadCount(), threads);
    EXPECT_EQ(root->findObject("ui")->children().size(), objects);
    EXPECT_EQ(shared->windowCount(), 1u);
    platform::CDisplay& display = main->window()->display();
    display.sync();
    display.dispatch();
    EXPECT_EQ(display.errorCount(), 0);
}

TEST_F(Popups, AStoredPositionIsWhereThePopupOpensNextTime) {
    const std::string id = uniqueLeaf("settings");
    openEditor(popupTemplate("test:settings", R"(window-alignment="right" is-window-position-stored="true" )"
                                              R"(is-window-position-stored-globally="true" window-position-id=")" +
                                                  id + R"(")") +
               popupTemplate("test:helper", R"(is-helper-window="true" is-window-position-stored="true")") +
               popupTemplate("test:nameless", R"(is-window-position-stored="true")") +
               popupTemplate("test:bad", R"(window-alignment="middle")"));
    CWindowRenderer* settings = popup("test:settings", "settings");
    ASSERT_NE(settings, nullptr);
    // First opening: by its alignment, right of the button.
    EXPECT_EQ(settings->window()->rect().x, 190);
    EXPECT_EQ(settings->window()->rect().y, 150);
    settings->moveWindow(400, 333);
    closeAndRelease(settings);
    settings = popup("test:settings", "settings");
    EXPECT_EQ(settings->window()->rect().x, 400);
    EXPECT_EQ(settings->window()->rect().y, 333);
    closeAndRelease(settings);
    // The user's setting off: neither restored nor stored.
    root->findObject("ui.global-data")->setBool("winpos-store", false);
    settings = popup("test:settings", "settings");
    EXPECT_EQ(settings->window()->rect().x, 190);
    settings->moveWindow(10, 10);
    closeAndRelease(settings);
    root->findObject("ui.global-data")->setBool("winpos-store", true);
    settings = popup("test:settings", "settings");
    EXPECT_EQ(settings->window()->rect().x, 400);
    closeAndRelease(settings);

    // A helper window is kept per window that opens it: the main window has
    // an id, a popup opened from a popup without one has none.
    CWindowRenderer* helper = popup("test:helper", "helper");
    ASSERT_NE(helper, nullptr);
    CString helperId;
    EXPECT_EQ(helper->windowPositionId(helperId), nullptr);
    EXPECT_EQ(helperId.utf8(), "main.");
    CWinDrag* out = nullptr;
    CView* inHelper = dynamic_cast<CView*>(helper->parent());
    helper->setAttr("window-position-id", "");
    EXPECT_TRUE(
        mentions(opener->openPopup("test:helper", "helper-2", *inHelper, out), "Parent window position ID is empty."));
    EXPECT_TRUE(mentions(opener->openPopup("test:nameless", "nameless", *button, out), "Window position ID is empty."));
    EXPECT_TRUE(mentions(opener->openPopup("test:bad", "bad", *button, out), "Invalid window alignment 'middle'"));
    // Failed openings leave nothing behind.
    EXPECT_EQ(root->findObject("ui.nameless"), nullptr);
    EXPECT_EQ(root->findObject("ui.bad"), nullptr);
    EXPECT_EQ(shared->windowCount(), 2u);
}

TEST_F(Popups, AModalPopupBlocksTheOtherWindowsUntilItCloses) {
    openEditor(popupTemplate("test:modal", R"(is-modal-window="true" window-alignment="center")") +
               popupTemplate("test:drop", R"(window-alignment="bottom")"));
    CWindowRenderer* plain = popup("test:drop", "plain");
    // A press held on the main window is taken away by the modal window.
    ASSERT_EQ(x.run("xdotool mousemove 160 160 mousedown 1"), 0);
    ASSERT_TRUE(heard("button:mouse-press"));
    CWindowRenderer* modal = popup("test:modal", "modal");
    ASSERT_NE(modal, nullptr);
    EXPECT_EQ(log->count("button:mouse-cancel"), 1u);
    EXPECT_FALSE(main->window()->isPointerGrabbed());
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    EXPECT_TRUE(main->isBlocked());
    EXPECT_TRUE(plain->isBlocked());
    EXPECT_FALSE(modal->isBlocked());
    EXPECT_EQ(main->getAttr("is-blocked").utf8(), "true");
    EXPECT_EQ(view("main.window-blocker")->area(), (CRect{0, 0, 300, 200}));
    // Input to a blocked window goes nowhere.
    ASSERT_EQ(x.run("xdotool mousemove 160 160 click 1"), 0);
    root->loop.runFor(100);
    EXPECT_EQ(log->count("button:mouse-press"), 1u);
    // A window opened from the modal one takes input.
    CWinDrag* out = nullptr;
    ASSERT_EQ(opener->openPopup("test:drop", "list", *dynamic_cast<CView*>(modal->parent()), out), nullptr);
    auto* list = dynamic_cast<CWindowRenderer*>(out->findChild("window-renderer"));
    EXPECT_FALSE(list->isBlocked());

    closeAndRelease(modal);
    EXPECT_FALSE(main->isBlocked());
    EXPECT_FALSE(plain->isBlocked());
    EXPECT_TRUE(view("main.window-blocker")->area().isEmpty());
    ASSERT_EQ(x.run("xdotool mousemove 160 160 click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return log->count("button:mouse-press") == 2; }));
}

TEST_F(Popups, DraggingAPopupMovesItsWindowAndKeepsThePlace) {
    const std::string id = uniqueLeaf("drag");
    openEditor(popupTemplate("test:panel",
                             R"(window-alignment="bottom" is-window-position-stored="true" )"
                             R"(window-position-id=")" +
                                 id + R"(")",
                             R"(<ui:view name="caption" width="full" height="20" is-click-through="true"/>
                                <ui:view name="field" width="40" height="20" outer-border="T20" is-new-inline-row="true"/>)"));
    CWindowRenderer* panel = popup("test:panel", "panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->window()->rect().x, 130);
    EXPECT_EQ(panel->window()->rect().y, 170);
    auto* dragRoot = dynamic_cast<CWinDrag*>(panel->parent());
    // Grabbed by its caption, moved in steps, let go.
    ASSERT_EQ(x.run("xdotool mousemove 140 180 mousedown 1 mousemove 160 190 mousemove 190 210 mousemove 210 230"), 0);
    ASSERT_TRUE(runUntil([&] { return panel->window()->rect().x == 200 && panel->window()->rect().y == 220; }));
    EXPECT_TRUE(dragRoot->isDragging());
    EXPECT_EQ(dragRoot->getAttr("actual-x").utf8(), "130");
    EXPECT_EQ(panel->getAttr("window-x").utf8(), "200");
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(runUntil([&] { return !dragRoot->isDragging(); }));
    int sx = 0, sy = 0;
    ASSERT_TRUE(panel->window()->screenOrigin(sx, sy));
    EXPECT_EQ(sx, 200);
    EXPECT_EQ(sy, 220);
    int stored = 0, storedY = 0;
    ASSERT_TRUE(CWindowPositionStore::load(CString::fromUtf8(id), false, stored, storedY));
    EXPECT_EQ(stored, 200);
    EXPECT_EQ(storedY, 220);
    // A press on a view of its own does not drag the window.
    listen({"panel.field"}, {"mouse-press"});
    const CRect& field = view("panel.field")->area();
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(200 + field.left + 5) + " " +
                    std::to_string(220 + field.top + 5) + " mousedown 1 mousemove 300 300 mouseup 1"),
              0);
    ASSERT_TRUE(heard("field:mouse-press"));
    root->loop.runFor(100);
    EXPECT_EQ(panel->window()->rect().x, 200);
}

TEST_F(Popups, APopupThatLosesActivationClosesItself) {
    openEditor(popupTemplate("test:menu", R"(window-alignment="bottom")", "",
                             R"(<ui:update-timer name="deactivate-timer" interval="300"/>)"));
    CWindowRenderer* menu = popup("test:menu", "menu");
    ASSERT_NE(menu, nullptr);
    const std::string menuId = std::to_string(menu->window()->id());
    const std::string mainId = std::to_string(main->window()->id());
    ASSERT_EQ(x.run("xdotool windowfocus " + menuId), 0);
    ASSERT_TRUE(runUntil([&] { return menu->window()->holdsInputFocus(); }));
    root->loop.runFor(50);
    // Focus that only passes through elsewhere keeps it open.
    ASSERT_EQ(x.run("xdotool windowfocus " + mainId + " windowfocus " + menuId), 0);
    root->loop.runFor(500);
    EXPECT_EQ(opener->popupCount(), 1u);
    EXPECT_FALSE(menu->getBool("popup-deactivated", false));
    ASSERT_EQ(x.run("xdotool windowfocus " + mainId), 0);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));
    // The main window has no such timer: it stays whatever has the focus.
    EXPECT_NE(main->window(), nullptr);
}

TEST_F(Popups, ADropDownClosesOnAPressElsewhereInTheEditor) {
    openEditor(popupTemplate("test:list", R"(window-alignment="bottom" is-local-popup="true")", "",
                             R"(<ui:update-timer name="deactivate-timer" interval="50"/>)") +
               popupTemplate("test:more", R"(window-alignment="right")"));
    CWindowRenderer* list = popup("test:list", "list");
    ASSERT_NE(list, nullptr);
    CWinDrag* out = nullptr;
    ASSERT_EQ(opener->openPopup("test:more", "more", *dynamic_cast<CView*>(list->parent()), out), nullptr);
    auto* more = dynamic_cast<CWindowRenderer*>(out->findChild("window-renderer"));
    waitShown(more);
    // The list sits at (130, 170), the window it opened at (250, 170).
    ASSERT_EQ(x.run("xdotool mousemove 140 180 click 1 mousemove 260 180 click 1"), 0);
    root->loop.runFor(200);
    EXPECT_NE(opener->findPopup("list"), nullptr);
    ASSERT_EQ(x.run("xdotool mousemove 110 110 click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return opener->findPopup("list") == nullptr; }));
    EXPECT_TRUE(list->getBool("popup-deactivated", false));
    // The window it opened stays, without its opener.
    EXPECT_NE(opener->findPopup("more"), nullptr);
}

}  // namespace
