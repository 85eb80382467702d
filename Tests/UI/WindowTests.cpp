// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Platform/XWindow.h"
#include "Support/Printers.h"
#include "Support/Xvfb.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

constexpr uint32_t kPatienceMs = 10000;

// A popup window at (100, 100) on the test's own server.
const char* const kPopup = R"(
  <ui:window-drag name="main-window" width="540" height="315" color="Panel">
    <ui:window-renderer name="window-renderer" title="Test" num-threads="2" window-x="100" window-y="100" fps="40">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
  </ui:window-drag>
  <test:recorder name="recorder"/>)";

class NullListener final : public platform::IWindowListener {
public:
    void windowEvent(const platform::CWindowEvent&) override {}
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
    }

    void open(const std::string& body = kPopup) {
        CErrorPtr err;
        root = buildTree(body, err);
        ASSERT_EQ(err, nullptr) << err->describe();
        renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main-window.window-renderer"));
        recorder = dynamic_cast<CRecorder*>(root->findObject("ui.recorder"));
        ASSERT_NE(renderer, nullptr);
        ASSERT_NE(renderer->window(), nullptr);
        for (const char* event : {"mouse-move", "mouse-press", "mouse-release", "mouse-press-r", "mouse-wheel",
                                  "key-press", "key-release", "close-window", "mouse-cancel"})
            if (recorder) CNotifyServer::instance().subscribe(renderer, event, recorder, 0, "record");
    }

    bool runUntil(const std::function<bool()>& condition) { return root->loop.runUntil(condition, kPatienceMs); }
    bool waitFor(const std::string& event) {
        return runUntil([&] { return recorder->heard(event); });
    }
    std::string param(const std::string& event, const char* name) {
        auto it = recorder->last[event].find(name);
        return it == recorder->last[event].end() ? std::string() : it->second.utf8();
    }

    lagwell::test::CXvfb x;
    std::unique_ptr<CLoopRoot> root;
    CWindowRenderer* renderer = nullptr;
    CRecorder* recorder = nullptr;
};

TEST_F(WindowTest, DrawsEverySectorOnceThenOnlyWhatIsInvalidated) {
    open();
    EXPECT_EQ(renderer->threadCount(), 2u);
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= 2; }));
    // 540 × 315 in sectors of 64: 9 columns, 5 rows, drawn by the frame's
    // thread and the two render threads.
    EXPECT_EQ(renderer->drawnSectorCount(), 45u);
    const uint8_t* p = renderer->bitmap().pixel(539, 314);
    EXPECT_EQ((int(p[2]) << 16) | (int(p[1]) << 8) | p[0], 0xf6edce);
    const uint64_t frames = renderer->frameCount();
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= frames + 5; }));
    EXPECT_EQ(renderer->drawnSectorCount(), 45u);
    renderer->invalidate(CRect{70, 70, 80, 80});
    ASSERT_TRUE(runUntil([&] { return renderer->drawnSectorCount() > 45; }));
    EXPECT_EQ(renderer->drawnSectorCount(), 46u);
}

TEST_F(WindowTest, PointerAndKeysThroughTheServerBecomeViewEvents) {
    open();
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= 1; }));
    ASSERT_EQ(x.run("xdotool mousemove 150 160"), 0);
    ASSERT_TRUE(waitFor("mouse-move"));
    EXPECT_EQ(param("mouse-move", "x"), "50");
    EXPECT_EQ(param("mouse-move", "y"), "60");

    ASSERT_EQ(x.run("xdotool click 1"), 0);
    ASSERT_TRUE(waitFor("mouse-release"));
    EXPECT_EQ(param("mouse-press", "is-double-click"), "false");
    EXPECT_EQ(param("mouse-press", "button"), "1");
    recorder->events.clear();
    // Far enough from the first click in time not to pair with it.
    ASSERT_EQ(x.run("sleep 0.5; xdotool click --repeat 2 --delay 80 1"), 0);
    ASSERT_TRUE(
        runUntil([&] { return std::count(recorder->events.begin(), recorder->events.end(), "mouse-release") == 2; }));
    EXPECT_EQ(param("mouse-press", "is-double-click"), "true");

    ASSERT_EQ(x.run("xdotool click 3"), 0);
    ASSERT_TRUE(waitFor("mouse-press-r"));
    EXPECT_EQ(param("mouse-press-r", "is-button-r"), "true");
    ASSERT_EQ(x.run("xdotool click 5"), 0);
    ASSERT_TRUE(waitFor("mouse-wheel"));
    EXPECT_EQ(param("mouse-wheel", "delta"), "-1");

    // Keys reach the window while it holds the key focus.
    renderer->setKeyFocus(true);
    ASSERT_EQ(x.run("xdotool key a"), 0);
    ASSERT_TRUE(waitFor("key-release"));
    EXPECT_EQ(param("key-press", "keycode"), "97");
    EXPECT_EQ(param("key-press", "text"), "a");
    recorder->events.clear();
    ASSERT_EQ(x.run("xdotool key shift+b"), 0);
    ASSERT_TRUE(runUntil([&] { return param("key-press", "text") == "B"; }));
    EXPECT_EQ(param("key-press", "is-shift"), "true");
}

TEST_F(WindowTest, ClosingWhileThePointerIsGrabbedReleasesIt) {
    open();
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= 1; }));
    ASSERT_EQ(x.run("xdotool mousemove 150 150 mousedown 1"), 0);
    ASSERT_TRUE(runUntil([&] { return renderer->window()->isPointerGrabbed(); }));
    ASSERT_EQ(renderer->closeWindow(), nullptr);
    // The press is cancelled at once; the window goes on the closer's turn,
    // not inside the call.
    EXPECT_TRUE(recorder->heard("mouse-cancel"));
    EXPECT_NE(renderer->window(), nullptr);
    ASSERT_TRUE(waitFor("close-window"));
    EXPECT_EQ(renderer->window(), nullptr);
    // Another client can take the pointer now.
    std::string error;
    auto other = platform::CDisplay::open(root->loop, "", error);
    ASSERT_NE(other, nullptr) << error;
    NullListener listener;
    platform::CNativeWindow::COptions options;
    options.rect = platform::CPixelRect{0, 0, 50, 50};
    auto window = platform::CNativeWindow::create(other, options, listener, error);
    ASSERT_NE(window, nullptr) << error;
    window->show(true);
    other->sync();
    window->grabPointer();
    EXPECT_TRUE(window->isPointerGrabbed());
    EXPECT_EQ(x.run("xdotool mouseup 1"), 0);
}

TEST_F(WindowTest, TheServerGoingAwayLeavesTheProcessRunning) {
    open();
    ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= 1; }));
    x.kill();
    // A frame that writes to the dead connection before anything read
    // from it.
    renderer->invalidate(CRect{0, 0, 540, 315});
    EXPECT_EQ(renderer->renderFrame(), nullptr);
    ASSERT_TRUE(runUntil([&] { return renderer->isWindowLost(); }));
    const uint64_t frames = renderer->frameCount();
    root->loop.runFor(100);
    // Its timers stopped with the window.
    EXPECT_EQ(renderer->frameCount(), frames);
    root.reset();
}

TEST_F(WindowTest, TheMainWindowEmbedsIntoTheHostWindow) {
    std::string error;
    platform::CStandaloneRunLoop hostLoop;
    auto host = platform::CDisplay::open(hostLoop, "", error);
    ASSERT_NE(host, nullptr) << error;
    NullListener listener;
    platform::CNativeWindow::COptions options;
    options.rect = platform::CPixelRect{0, 0, 540, 315};
    auto parent = platform::CNativeWindow::create(host, options, listener, error);
    ASSERT_NE(parent, nullptr) << error;
    std::string body = kPopup;
    body.replace(body.find("title=\"Test\""), 12, "title=\"Test\" is-main-window=\"true\"");
    CErrorPtr err;
    // Without the host's window there is nothing to embed into.
    auto orphan = buildTree(body, err);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->describe().find("Unable to locate parent window."), std::string::npos);
    orphan.reset();
    registerRecorder();
    root = std::make_unique<CLoopRoot>();
    root->setClassInfo(CClassRegistry::instance().find("core:object"));
    root->setInt("ParentWindow", parent->id());
    ASSERT_EQ(CApplication::instance()->initRootObject(*root), nullptr);
    ASSERT_EQ(CXMLData::loadFromMemory("embed",
                                       compileDocument("<document><core:object name=\"ui\">"
                                                       "<ui:window-shared-data name=\"window-shared-data\"/>" +
                                                           body + "</core:object></document>",
                                                       uniqueLeaf("embed")),
                                       *root),
              nullptr);
    ASSERT_EQ(root->init(), nullptr);
    renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main-window.window-renderer"));
    ASSERT_NE(renderer->window(), nullptr);
    EXPECT_EQ(host->topLevelOf(renderer->window()->id()), parent->id());
    ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() >= 2; }, kPatienceMs));
    // A host that destroys its window before it removes the editor: the
    // editor stops drawing and asks nothing of the window that is gone.
    parent.reset();
    host->sync();
    ASSERT_TRUE(root->loop.runUntil([&] { return renderer->isWindowLost(); }, kPatienceMs));
    EXPECT_TRUE(renderer->window()->isDestroyed());
    const uint64_t frames = renderer->frameCount();
    root->loop.runFor(100);
    EXPECT_EQ(renderer->frameCount(), frames);
    platform::CDisplay& display = renderer->window()->display();
    renderer->destroyWindow();
    display.sync();
    display.dispatch();
    EXPECT_EQ(display.errorCount(), 0);
    root.reset();
}

TEST_F(WindowTest, DoubleClicksArePairsOfPressesCloseInTimeAndPlace) {
    std::string error;
    platform::CStandaloneRunLoop loop;
    auto display = platform::CDisplay::open(loop, "", error);
    ASSERT_NE(display, nullptr) << error;
    NullListener listener;
    platform::CNativeWindow::COptions options;
    options.rect = platform::CPixelRect{0, 0, 50, 50};
    auto window = platform::CNativeWindow::create(display, options, listener, error);
    ASSERT_NE(window, nullptr) << error;
    EXPECT_FALSE(window->isDoubleClick(1, 10, 10, 1000));
    EXPECT_TRUE(window->isDoubleClick(1, 13, 14, 1300));
    // A third press starts a new pair.
    EXPECT_FALSE(window->isDoubleClick(1, 13, 14, 1350));
    // Too far, too late, another button.
    EXPECT_FALSE(window->isDoubleClick(1, 18, 14, 1400));
    EXPECT_FALSE(window->isDoubleClick(1, 18, 14, 1801));
    EXPECT_FALSE(window->isDoubleClick(3, 18, 14, 1900));
    // The millisecond clock of the server wraps around.
    EXPECT_FALSE(window->isDoubleClick(1, 0, 0, 0xFFFFFF00u));
    EXPECT_TRUE(window->isDoubleClick(1, 0, 0, 0x40u));
    // The monitor's work area: the whole screen of a server without panels.
    const platform::CPixelRect area = display->workArea(500, 300);
    EXPECT_EQ(area.width, 1024);
    EXPECT_EQ(area.height, 768);
}

TEST_F(WindowTest, CursorHidingIsCountedAndKeyFocusMovesBetweenWindows) {
    std::string second = kPopup;
    second.replace(second.find("main-window"), 11, "other-window");
    second.replace(second.find("<test:recorder name=\"recorder\"/>"), 32, "");
    open(std::string(kPopup) + second);
    auto* other = dynamic_cast<CWindowRenderer*>(root->findObject("ui.other-window.window-renderer"));
    ASSERT_NE(other, nullptr);
    renderer->hideCursor();
    renderer->hideCursor();
    renderer->showCursor();
    EXPECT_EQ(renderer->cursorHideCount(), 1);
    renderer->showCursor();
    // One show too many changes nothing.
    renderer->showCursor();
    EXPECT_EQ(renderer->cursorHideCount(), 0);

    auto* shared = dynamic_cast<CWindowSharedData*>(root->findObject("ui.window-shared-data"));
    renderer->setKeyFocus(true);
    EXPECT_TRUE(renderer->window()->hasKeyFocus());
    other->setKeyFocus(true);
    EXPECT_EQ(shared->keyFocusWindow(), other);
    EXPECT_FALSE(renderer->window()->hasKeyFocus());
    other->hideCursor();
    other->destroyWindow();
    EXPECT_EQ(shared->keyFocusWindow(), nullptr);
    EXPECT_EQ(other->cursorHideCount(), 0);
}

}  // namespace
