// SPDX-License-Identifier: GPL-3.0-or-later
// How the editor's windows behave together, in our host on an X server of
// the test's own: a modal window blocks every other window, popups stay on
// the screen and come back where the user left them, and the preset
// manager's selection lasts as long as the instance's state does.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>

#include "EditorInHostFixture.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/PresetManager.h"
#include "UI/WindowPlacement.h"
#include "public.sdk/source/common/memorystream.h"

namespace zel {
namespace {

using Steinberg::IBStream;
using Steinberg::kResultOk;

class WindowManners : public test::CInstanceEditorInHost {
protected:
    CWindowRenderer* rendererOf(CView* root) {
        return root ? dynamic_cast<CWindowRenderer*>(root->findChild("window-renderer")) : nullptr;
    }
    // Opens the window of `tag` as its button does, and waits until it shows.
    // With (x, y), it then moves there.
    CWinDrag* openByButton(const std::string& button, const char* tag, int x = -1, int y = -1) {
        CWinDrag* popup = CInstanceEditorInHost::openByButton(button, tag);
        if (popup && x >= 0) {
            rendererOf(popup)->moveWindow(x, y);
            popup->windowRenderer()->window()->display().sync();
        }
        return popup;
    }
    void moveHostWindow(int x, int y) {
        xdo("windowmove " + std::to_string(window->topLevel()) + " " + std::to_string(x) + " " + std::to_string(y));
        ASSERT_TRUE(until([&] { return renderer->window()->screenOrigin(ox, oy) && ox == x && oy == y; }));
    }
    void closeAndWait(CWinDrag* popup) {
        const CString name = popup->name();
        ASSERT_EQ(rendererOf(popup)->closeWindow(), nullptr);
        ASSERT_TRUE(until([&] { return opener->findPopup(name) == nullptr && !root->findObject("ui." + name); }));
    }
    // The blocker of a window, shown over all of it while blocked.
    bool showsBlocker(CView* window) {
        auto* blocker = window ? dynamic_cast<CView*>(window->findChild("window-blocker")) : nullptr;
        if (!blocker || blocker->getBool("is-hidden", true)) return false;
        const CRect& b = blocker->area();
        const CRect& w = window->area();
        return b.left == w.left && b.top == w.top && b.right == w.right && b.bottom == w.bottom;
    }
    // The brightness of a pixel of a window's bitmap, as it was last drawn.
    int brightness(CView* window, int px, int py) {
        const uint8_t* p = rendererOf(window)->bitmap().pixel(px, py);
        return p[0] + p[1] + p[2];
    }
};

// A confirmation over the preset manager, and the file browser over it,
// block every other window: each shows its blocker, darker, and ignores
// clicks until the modal window goes.
TEST_F(WindowManners, AModalWindowBlocksAndDarkensEveryOtherWindow) {
    // Side by side, the editor in the corner: each window can be clicked.
    moveHostWindow(480, 450);
    CWinDrag* manager = openByButton("main-window.buttons.presets", "ui:win-preset-manager", 0, 0);
    CWinDrag* routing = openByButton("main-window.buttons.routing", "ui:win-channel-routing", 450, 0);
    CWinDrag* settings = openByButton("main-window.buttons.settings", "ui:win-settings", 0, 320);
    ASSERT_TRUE(manager && routing && settings);
    auto* main = find("main-window");
    auto* m = dynamic_cast<CPresetManager*>(manager);
    const std::vector<CView*> others = {main, manager, routing, settings};
    // The title bar and the selected bank of the manager.
    const int mx = manager->area().width() / 2, my = 12, lx = 40, ly = 39;
    const int before = brightness(manager, mx, my);
    const int listBefore = brightness(manager, lx, ly);
    ASSERT_NE(before, listBefore);

    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.add")));
    ASSERT_TRUE(until([&] { return m->userBanks().size() == 1; }));
    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.delete")));
    CWinDrag* confirmation = nullptr;
    ASSERT_TRUE(until([&] { return (confirmation = opener->findPopup("confirmation")) != nullptr; }));
    ASSERT_TRUE(shown(confirmation));
    for (CView* w : others) {
        EXPECT_TRUE(rendererOf(w)->isBlocked()) << w->name().utf8();
        EXPECT_TRUE(showsBlocker(w)) << w->name().utf8();
    }
    EXPECT_FALSE(showsBlocker(confirmation));
    EXPECT_TRUE(until([&] { return brightness(manager, mx, my) < before; })) << "darker";
    EXPECT_LT(brightness(manager, lx, ly), listBefore);
    EXPECT_NE(brightness(manager, mx, my), brightness(manager, lx, ly)) << "the window shows through";
    // A click on a blocked window does nothing there.
    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.add")));
    loop.runFor(200);
    EXPECT_EQ(m->userBanks().size(), 1u);
    EXPECT_NE(opener->findPopup("confirmation"), nullptr);

    click(*dynamic_cast<CView*>(confirmation->findObject(".buttons.confirm")));
    ASSERT_TRUE(until([&] { return !rendererOf(main)->isBlocked(); })) << "once the confirmation is gone";
    EXPECT_TRUE(m->userBanks().empty());
    for (CView* w : others) {
        EXPECT_FALSE(rendererOf(w)->isBlocked()) << w->name().utf8();
        EXPECT_FALSE(showsBlocker(w)) << w->name().utf8();
    }

    // The file browser is modal too: the manager waits for its answer.
    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.save")));
    CWinDrag* browser = nullptr;
    ASSERT_TRUE(until([&] { return (browser = opener->findPopup("file-browser")) != nullptr; }));
    ASSERT_TRUE(shown(browser));
    for (CView* w : others) EXPECT_TRUE(showsBlocker(w)) << w->name().utf8();
    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.add")));
    loop.runFor(200);
    EXPECT_TRUE(m->userBanks().empty());
    click(*dynamic_cast<CView*>(browser->findObject(".browser.actions.buttons.cancel")));
    ASSERT_TRUE(until([&] { return !rendererOf(main)->isBlocked(); })) << "once the browser is gone";
    for (CView* w : others) EXPECT_FALSE(showsBlocker(w)) << w->name().utf8();
    click(*dynamic_cast<CView*>(manager->findObject(".c.banks.buttons.add")));
    ASSERT_TRUE(until([&] { return m->userBanks().size() == 1; }));
    ASSERT_EQ(m->deleteBank(), nullptr);
}

// Where the top-level window `id` is in the screen's stacking order
// (bottom first), or -1.
int stackingPlace(uint32_t id) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    int place = -1;
    if (!xcb_connection_has_error(c)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr)) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            const int count = xcb_query_tree_children_length(tree);
            const auto at = std::find(children, children + count, id);
            place = at == children + count ? -1 : int(at - children);
            std::free(tree);
        }
    }
    xcb_disconnect(c);
    return place;
}

// A click on a window that waits for a modal one (a window manager raises
// it) brings the modal window back in front of it.
TEST_F(WindowManners, AClickOnABlockedWindowBringsTheModalOneToTheFront) {
    auto* m = dynamic_cast<CPresetManager*>(openByButton("main-window.buttons.presets", "ui:win-preset-manager"));
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->addBank(false), nullptr);
    click(*dynamic_cast<CView*>(m->findObject(".c.banks.buttons.delete")));
    CWinDrag* confirmation = nullptr;
    ASSERT_TRUE(until([&] { return (confirmation = opener->findPopup("confirmation")) != nullptr; }));
    ASSERT_TRUE(shown(confirmation));
    const uint32_t managerId = rendererOf(m)->window()->id();
    const uint32_t confirmationId = rendererOf(confirmation)->window()->id();
    xdo("windowraise " + std::to_string(managerId));
    ASSERT_TRUE(until([&] { return stackingPlace(managerId) > stackingPlace(confirmationId); }));
    // Beside the confirmation, which sits over the manager's middle.
    int left = 0, top = 0;
    ASSERT_TRUE(rendererOf(m)->window()->screenOrigin(left, top));
    xdo("mousemove " + std::to_string(left + 6) + " " + std::to_string(top + m->area().height() - 60) + " click 1");
    EXPECT_TRUE(until([&] { return stackingPlace(confirmationId) > stackingPlace(managerId); }));
    click(*dynamic_cast<CView*>(confirmation->findObject(".buttons.confirm")));
    ASSERT_TRUE(until([&] { return !rendererOf(m)->isBlocked(); }));
    EXPECT_TRUE(m->userBanks().empty());
}

// What a window manager that framed the window `id` tells its clients.
void setFrameExtents(uint32_t id, uint32_t left, uint32_t right, uint32_t top, uint32_t bottom) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const char name[] = "_NET_FRAME_EXTENTS";
    if (xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr)) {
        const uint32_t extents[] = {left, right, top, bottom};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom->atom, XCB_ATOM_CARDINAL, 32, 4, extents);
        std::free(atom);
    }
    // A round trip: the server has set the property before anyone moves the window.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

// A window that the user moved by its window manager's frame, and left open
// when the editor closed, opens there again with the frame where it was.
TEST_F(WindowManners, AWindowMovedByItsFrameAndLeftOpenComesBackThere) {
    CWinDrag* settings = openByButton("main-window.buttons.settings", "ui:win-settings");
    ASSERT_NE(settings, nullptr);
    const uint32_t id = rendererOf(settings)->window()->id();
    setFrameExtents(id, 3, 3, 22, 3);
    xdo("windowmove " + std::to_string(id) + " 203 222");
    int left = 0, top = 0;
    ASSERT_TRUE(until([&] { return rendererOf(settings)->window()->screenOrigin(left, top) && left == 203; }));

    closeEditor(view);
    ASSERT_NO_FATAL_FAILURE(openInstanceEditor(plugin.view()));
    settings = openByButton("main-window.buttons.settings", "ui:win-settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(rendererOf(settings)->window()->rect().x, 200);
    EXPECT_EQ(rendererOf(settings)->window()->rect().y, 200);
}

// Every popup window keeps its place under its own id: moved, closed and
// opened again it is where the user left it, unless the user's setting
// says not to keep places.
TEST_F(WindowManners, EveryWindowComesBackWhereItWasLeftUnderItsOwnId) {
    struct CWindowId {
        const char* tag;
        const char* id;
    };
    const CWindowId windows[] = {{"ui:win-preset-manager", "preset-manager"},
                                 {"ui:win-preset-manager-routing", "presets"},
                                 {"ui:win-settings", "settings"},
                                 {"ui:win-global-settings", "global-settings"},
                                 {"ui:win-channel-routing", "routing"},
                                 {"ui:win-channel-label-setup", "chanlabels"},
                                 {"ui:win-group-name-setup", "groupnames"},
                                 {"ui:uicolor-editor", "uicolor-editor"},
                                 {"ui:win-whatsnew", "whatsnew"}};
    auto* main = find("main-window");
    CObject* storing = root->findObject("ui.global-data.winpos-store");
    ASSERT_TRUE(main && storing);
    const auto open = [&](const char* tag) -> CWindowRenderer* {
        CWinDrag* popup = nullptr;
        EXPECT_EQ(opener->openPopup(tag, "", *main, popup), nullptr) << tag;
        EXPECT_TRUE(shown(popup)) << tag;
        return rendererOf(popup);
    };
    int place = 0;
    for (const CWindowId& w : windows) {
        CWindowRenderer* r = open(w.tag);
        ASSERT_NE(r, nullptr) << w.tag;
        CString id;
        ASSERT_EQ(r->windowPositionId(id), nullptr);
        EXPECT_EQ(id.utf8(), w.id);
        ++place;
        const int x = 20 + 7 * place, y = 30 + 5 * place;
        r->moveWindow(x, y);
        closeAndWait(dynamic_cast<CWinDrag*>(r->parent()));
        r = open(w.tag);
        EXPECT_EQ(r->window()->rect().x, x) << w.id;
        EXPECT_EQ(r->window()->rect().y, y) << w.id;

        // Not kept while the user's setting is off, and not restored.
        ASSERT_EQ(storing->setAttr("winpos-store", "false"), nullptr);
        EXPECT_FALSE(r->isPositionStored()) << w.id;
        r->moveWindow(x + 100, y + 100);
        closeAndWait(dynamic_cast<CWinDrag*>(r->parent()));
        r = open(w.tag);
        EXPECT_NE(r->window()->rect().x, x) << w.id << ": by its opener, not where it was";
        closeAndWait(dynamic_cast<CWinDrag*>(r->parent()));
        ASSERT_EQ(storing->setAttr("winpos-store", "true"), nullptr);
        r = open(w.tag);
        EXPECT_EQ(r->window()->rect().x, x) << w.id << ": the place kept before";
        int sx = 0, sy = 0;
        EXPECT_TRUE(CWindowPositionStore::load(id, r->getBool("is-window-position-stored-globally", false), sx, sy));
        closeAndWait(dynamic_cast<CWinDrag*>(r->parent()));
    }
}

// Every popup moves when dragged by its title bar, grabbed on its title's
// text or beside it, and keeps the place where it was let go.
TEST_F(WindowManners, EveryPopupMovesWhenDraggedByItsTitleBar) {
    const char* tags[] = {
        "ui:win-preset-manager",  "ui:win-preset-manager-routing", "ui:win-settings",         "ui:win-global-settings",
        "ui:win-channel-routing", "ui:win-channel-label-setup",    "ui:win-group-name-setup", "ui:uicolor-editor",
        "ui:win-whatsnew",        "ui:win-confirmation",           "ui:win-message",          "ui:win-file-browser"};
    auto* main = find("main-window");
    ASSERT_NE(main, nullptr);
    for (const char* tag : tags) {
        CWinDrag* popup = nullptr;
        ASSERT_EQ(opener->openPopup(tag, "", *main, popup), nullptr) << tag;
        ASSERT_TRUE(shown(popup)) << tag;
        CWindowRenderer* r = rendererOf(popup);
        r->moveWindow(300, 250);
        r->window()->display().sync();
        const int width = popup->area().width();
        for (const int grab : {40, width / 2}) {
            int x = 0, y = 0;
            ASSERT_TRUE(r->window()->screenOrigin(x, y));
            const std::string from = std::to_string(x + grab) + " " + std::to_string(y + 11);
            const std::string to = std::to_string(x + grab + 30) + " " + std::to_string(y + 11 + 20);
            xdo("mousemove " + from + " mousedown 1");
            if (!until([&] { return popup->isDragging(); })) {
                ADD_FAILURE() << tag << " grabbed at " << grab << " does not move";
                xdo("mouseup 1");
                continue;
            }
            xdo("mousemove " + to);
            xdo("mouseup 1");
            ASSERT_TRUE(until([&] { return !popup->isDragging(); })) << tag;
            int left = 0, top = 0;
            EXPECT_TRUE(until([&] {
                r->window()->display().sync();
                return r->window()->screenOrigin(left, top) && left == x + 30 && top == y + 20;
            })) << tag
                << " grabbed at " << grab << ": at " << left << "," << top;
        }
        closeAndWait(popup);
    }
}

// The host's window near the screen's corner: windows that open by the
// editor's buttons open within the screen, not beyond its edges.
TEST_F(WindowManners, PopupsOpenWithinTheScreenWhenTheEditorIsAtItsEdge) {
    CObject* storing = root->findObject("ui.global-data.winpos-store");
    ASSERT_EQ(storing->setAttr("winpos-store", "false"), nullptr);
    moveHostWindow(484, 453);
    const std::pair<const char*, const char*> buttons[] = {{"main-window.buttons.routing", "ui:win-channel-routing"},
                                                           {"main-window.buttons.presets", "ui:win-preset-manager"},
                                                           {"main-window.buttons.settings", "ui:win-settings"}};
    for (const auto& [button, tag] : buttons) {
        CWinDrag* popup = openByButton(button, tag);
        ASSERT_NE(popup, nullptr);
        int x = 0, y = 0;
        ASSERT_TRUE(rendererOf(popup)->window()->screenOrigin(x, y));
        EXPECT_GE(x, 0) << tag;
        EXPECT_GE(y, 0) << tag;
        EXPECT_LE(x + popup->area().width(), 1024) << tag;
        EXPECT_LE(y + popup->area().height(), 768) << tag;
        closeAndWait(popup);
    }
    ASSERT_EQ(storing->setAttr("winpos-store", "true"), nullptr);
}

// The bank and preset chosen in the preset manager are there again when it
// opens next, when the editor opens next and in an instance made from the
// saved state.
TEST_F(WindowManners, ThePresetManagersSelectionLastsWithTheInstance) {
    const auto openManager = [&]() {
        return dynamic_cast<CPresetManager*>(openByButton("main-window.buttons.presets", "ui:win-preset-manager"));
    };
    const auto clickEntry = [&](CPresetManager& m, const char* list, int index) {
        auto* view = dynamic_cast<CTextView*>(m.findObject(std::string(".c.") + list + ".frame.list"));
        ASSERT_NE(view, nullptr);
        clickParagraph(*view, index);
    };
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    ASSERT_GE(m->banks().size(), 2u);
    clickEntry(*m, "banks", 1);
    ASSERT_TRUE(until([&] { return m->selectedBank() == 1; })) << "Session Bank";
    closeAndWait(m);
    m = openManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->selectedBank(), 1);
    clickEntry(*m, "banks", 0);
    ASSERT_TRUE(until([&] { return m->selectedBank() == 0; })) << "Factory ROM";
    ASSERT_GE(m->presetTitles().size(), 3u);
    clickEntry(*m, "presets", 2);
    ASSERT_TRUE(until([&] { return m->selectedPreset() == 2; }));
    closeAndWait(m);
    m = openManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->selectedBank(), 0);
    EXPECT_EQ(m->selectedPreset(), 2);
    closeAndWait(m);

    // The editor closed and opened again.
    closeEditor(view);
    ASSERT_NO_FATAL_FAILURE(openInstanceEditor(plugin.view()));
    m = openManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->selectedBank(), 0);
    EXPECT_EQ(m->selectedPreset(), 2);
    closeEditor(view);
    view = nullptr;

    // The saved state, in a new instance.
    Steinberg::MemoryStream state;
    ASSERT_EQ(plugin.component->getState(&state), kResultOk);
    test::CVST3Instance restored;
    state.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(restored.component->setState(&state), kResultOk);
    ASSERT_NO_FATAL_FAILURE(openInstanceEditor(restored.view()));
    m = openManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->selectedBank(), 0);
    EXPECT_EQ(m->selectedPreset(), 2);
    closeEditor(view);
    view = nullptr;
}

}  // namespace
}  // namespace zel
