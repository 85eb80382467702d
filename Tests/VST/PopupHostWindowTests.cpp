// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's popups with the host's window, as Ardour treats it: hidden
// and shown again without the editor closing, and raised over the popups.

#include <gtest/gtest.h>

#include <cstdio>

#include "EditorInHostFixture.h"
#include "UI/PresetManager.h"
#include "UI/WindowOpener.h"

namespace zel {
namespace {

class PopupsWithTheHostWindow : public test::CInstanceEditorInHost {
protected:
    CPresetManager* openManager() {
        return dynamic_cast<CPresetManager*>(openByButton("main-window.buttons.presets", "ui:win-preset-manager"));
    }
    CView* in(CView& popup, const std::string& path) { return dynamic_cast<CView*>(popup.findObject("." + path)); }
    static platform::CNativeWindow& native(CView& popup) { return *popup.windowRenderer()->window(); }
};

TEST_F(PopupsWithTheHostWindow, BelongToTheHostsTopLevelWindowAndHideAndComeBackWithIt) {
    CPresetManager* manager = openManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_TRUE(native(*manager).isViewable());
    // The editor sits in a child of the host's window; the popup belongs to
    // the top-level one, for the window manager to keep it above.
    ASSERT_NE(window->id(), window->topLevel());
    char owner[32];
    std::snprintf(owner, sizeof owner, "window id # 0x%x", window->topLevel());
    EXPECT_EQ(
        x.run("xprop -id " + std::to_string(native(*manager).id()) + " WM_TRANSIENT_FOR | grep -q '" + owner + "$'"),
        0);

    window->show(false);
    EXPECT_TRUE(until([&] { return !native(*manager).isViewable(); }));
    // Only hidden: the editor and its popup stay open.
    EXPECT_EQ(opener->popupCount(), 1u);
    window->show(true);
    EXPECT_TRUE(until([&] { return native(*manager).isViewable(); }));

    // Hidden twice over: still one showing. This time the host raises its
    // window once it is shown, as Ardour does: the popup comes above it.
    window->show(false);
    EXPECT_TRUE(until([&] { return !native(*manager).isViewable(); }));
    window->show(true);
    EXPECT_TRUE(until([&] { return native(*manager).isViewable(); }));
    window->raise();
    EXPECT_TRUE(until([&] { return window->isBelow(native(*manager).id()); }));
    click(*in(*manager, "window-title.close"));
    EXPECT_TRUE(until([&] { return opener->popupCount() == 0; }));
}

TEST_F(PopupsWithTheHostWindow, APressInTheBlockedEditorBringsItsConfirmationAboveTheHostsWindow) {
    CPresetManager* manager = openManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_EQ(manager->addBank(false), nullptr);
    click(*in(*manager, "c.banks.buttons.delete"));
    CWinDrag* confirmation = nullptr;
    ASSERT_TRUE(until([&] { return (confirmation = opener->findPopup("confirmation")) != nullptr; }));
    ASSERT_TRUE(shown(confirmation));
    ASSERT_TRUE(renderer->isBlocked());
    const uint32_t managerId = native(*manager).id(), confirmationId = native(*confirmation).id();
    EXPECT_TRUE(window->isBelow(confirmationId));

    // The host raises its window over both, as Ardour does when its window
    // is asked for and others cover it.
    window->raise();
    ASSERT_TRUE(until([&] { return !window->isBelow(confirmationId) && !window->isBelow(managerId); }));
    xdo("mousemove " + point(270, 150) + " click 1");
    ASSERT_TRUE(until([&] { return window->isBelow(confirmationId); }));
    // It still answers.
    click(*in(*confirmation, "buttons.confirm"));
    EXPECT_TRUE(until([&] { return opener->findPopup("confirmation") == nullptr; }));
    EXPECT_TRUE(until([&] { return !renderer->isBlocked(); }));
}

}  // namespace
}  // namespace zel
