// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorWindowTest.h"

using namespace zel;
using namespace zel::test;

namespace {

// Three columns of 100 × 200 in a window at (100, 100) of the screen.
std::string windowDoc(const std::string& rendererExtras = {}) {
    return R"(
  <ui:window-drag name="main" width="300" height="200" color="Panel">
    <ui:window-renderer name="window-renderer" title="Test" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + rendererChildren() +
           rendererExtras + R"(
    </ui:window-renderer>
    <ui:view name="left" placement="left" width="100" is-focusable="true">
      <ui:view name="knob" width="40" height="40" is-focusable="true" auto-click-timeout="0.1"/>
      <ui:view name="label" width="40" height="40" is-click-through="true"/>
    </ui:view>
    <ui:view name="middle" placement="left" width="100" is-scrollable="true">
      <ui:view name="scroller-v" placement="right" width="10"><ui:view name="bar" width="full" height="full"/></ui:view>
      <ui:view name="row" width="full" height="40"/>
      <ui:view name="entry" width="full" height="40" is-focusable="true" is-new-inline-row="true"/>
    </ui:view>
    <ui:view name="right" placement="left" width="100">
      <ui:view name="off" width="40" height="40" is-disabled="true" is-focusable="true"/>
      <ui:view name="gone" width="40" height="40" is-hidden="true" is-focusable="true"/>
      <ui:view name="badge" placement="overlay" width="20" height="20" alignment-h="left" alignment-v="top" z-index="1"/>
    </ui:view>
  </ui:window-drag>)";
}

const std::initializer_list<std::string> kViews = {
    "main",        "main.left",       "main.left.knob",    "main.left.label",
    "main.middle", "main.middle.row", "main.middle.entry", "main.middle.scroller-v.bar",
    "main.right",  "main.right.off",  "main.right.badge"};
const std::initializer_list<const char*> kEvents = {
    "mouse-press",    "mouse-release", "mouse-press-r", "mouse-release-r",  "mouse-move",  "mouse-cancel",
    "mouse-cancel-r", "mouse-enter",   "mouse-exit",    "mouse-top-exit",   "mouse-wheel", "key-press",
    "focus",          "blur",          "focus-lost",    "change-key-focus", "auto-click"};

class InputRouting : public EditorWindowTest {
protected:
    void open(const std::string& extras = {}) {
        EditorWindowTest::open(windowDoc(extras));
        renderer = rendererOf("main");
        ASSERT_NE(renderer, nullptr);
        router = renderer->router();
        listen(kViews, kEvents);
    }
    // The centre of a view, in window coordinates.
    void centre(const char* path, int& x, int& y) {
        const CRect& r = view(std::string("main.") + path)->area();
        x = (r.left + r.right) / 2;
        y = (r.top + r.bottom) / 2;
    }
    std::string at(int x, int y) {
        CView* v = CInputRouter::viewAt(*view("main"), x, y);
        return v ? v->name().utf8() : std::string("none");
    }
    std::string atCentreOf(const char* path) {
        int x = 0, y = 0;
        centre(path, x, y);
        return at(x, y);
    }
    void move(const char* path) {
        int x = 0, y = 0;
        centre(path, x, y);
        CObject params;
        ASSERT_EQ(router->mouseMove(params, x, y), nullptr);
    }
    void press(const char* path, bool right = false) {
        int x = 0, y = 0;
        centre(path, x, y);
        CObject params;
        ASSERT_EQ(router->mousePress(right ? "mouse-press-r" : "mouse-press", params, x, y, right), nullptr);
    }
    void release(const char* path, bool last = true, bool right = false) {
        int x = 0, y = 0;
        centre(path, x, y);
        CObject params;
        ASSERT_EQ(router->mouseRelease(right ? "mouse-release-r" : "mouse-release", params, x, y, last), nullptr);
    }
    void key(uint32_t keysym, bool shift = false) {
        CObject params;
        ASSERT_EQ(router->key("key-press", params, keysym, shift), nullptr);
    }
    // The screen point of a view's centre.
    std::string screenPoint(const char* path) {
        int x = 0, y = 0;
        centre(path, x, y);
        return std::to_string(100 + x) + " " + std::to_string(100 + y);
    }

    CWindowRenderer* renderer = nullptr;
    CInputRouter* router = nullptr;
};

TEST_F(InputRouting, ThePointerReachesTheTopmostViewThatTakesInput) {
    open();
    EXPECT_EQ(atCentreOf("left.knob"), "knob");
    // Click-through: the view below takes it.
    EXPECT_EQ(atCentreOf("left.label"), "left");
    // The overlay over a disabled view wins where it covers it; the
    // disabled view passes the rest on to its parent.
    EXPECT_EQ(atCentreOf("right.badge"), "badge");
    const CRect& off = view("main.right.off")->area();
    EXPECT_EQ(at(off.right - 2, off.bottom - 2), "right");
    // A hidden view gives up its room and takes nothing.
    EXPECT_TRUE(view("main.right.gone")->area().isEmpty());
    EXPECT_EQ(at(-1, 10), "none");
    EXPECT_EQ(at(300, 10), "none");
    // A disabled parent takes its children with it.
    view("main.left")->setBool("is-disabled", true);
    EXPECT_EQ(atCentreOf("left.knob"), "main");
}

TEST_F(InputRouting, APressKeepsThePointerUntilItsLastButtonOrItsCancel) {
    open();
    press("left.knob");
    move("middle.row");
    press("middle.row", true);
    release("middle.row", false, true);
    release("middle.row");
    EXPECT_EQ(log->only({"mouse-press", "mouse-move", "mouse-press-r", "mouse-release-r", "mouse-release"}),
              (std::vector<std::string>{"knob:mouse-press", "knob:mouse-move", "knob:mouse-press-r",
                                        "knob:mouse-release-r", "knob:mouse-release"}));
    // Only the end of the press lets the view under the pointer have it.
    EXPECT_EQ(log->only({"mouse-enter", "mouse-exit"}),
              (std::vector<std::string>{"knob:mouse-enter", "knob:mouse-exit", "row:mouse-enter"}));

    log->entries.clear();
    press("middle.row", true);
    ASSERT_EQ(router->cancelPress(), nullptr);
    release("middle.row", true, true);
    press("left.knob");
    ASSERT_EQ(router->cancelPress(), nullptr);
    // Nothing is left to cancel.
    ASSERT_EQ(router->cancelPress(), nullptr);
    EXPECT_EQ(
        log->only({"mouse-press", "mouse-press-r", "mouse-release-r", "mouse-cancel", "mouse-cancel-r"}),
        (std::vector<std::string>{"row:mouse-press-r", "row:mouse-cancel-r", "knob:mouse-press", "knob:mouse-cancel"}));
}

TEST_F(InputRouting, TheViewLeftHearsItsExitBeforeTheNextOneItsEnter) {
    open();
    move("left.knob");
    move("left.knob");
    move("left.label");
    move("right.badge");
    CObject params;
    ASSERT_EQ(router->pointerLeft(params), nullptr);
    EXPECT_EQ(log->only({"mouse-enter", "mouse-exit", "mouse-top-exit"}),
              (std::vector<std::string>{"knob:mouse-enter", "knob:mouse-exit", "left:mouse-enter", "left:mouse-exit",
                                        "badge:mouse-enter", "badge:mouse-exit", "badge:mouse-top-exit"}));
    EXPECT_EQ(shared->hoverView(), nullptr);
    // A window that goes blocked keeps nothing hovered.
    move("left.knob");
    renderer->setBlocked(true);
    EXPECT_EQ(shared->hoverView(), nullptr);
    EXPECT_EQ(log->entries.back(), "knob:mouse-exit");
}

TEST_F(InputRouting, TabWalksTheFocusableViewsThatCanTakeIt) {
    open();
    waitShown(renderer);
    key(0xff09);
    EXPECT_EQ(router->focusView(), view("main.left"));
    // The window holds the keyboard while a view has the focus.
    EXPECT_TRUE(renderer->window()->hasKeyFocus());
    key(0xff09);
    EXPECT_EQ(log->param("left:change-key-focus", "key-focus-view"), view("main.left.knob")->fullName().utf8());
    EXPECT_EQ(log->param("left:change-key-focus", "is-tab"), "true");
    // The disabled and the hidden view are passed over; the end wraps.
    key(0xff09);
    key(0xff09);
    EXPECT_EQ(router->focusView(), view("main.left"));
    key(0xff09, true);
    EXPECT_EQ(router->focusView(), view("main.middle.entry"));
    key(0xfe20);
    EXPECT_EQ(router->focusView(), view("main.left.knob"));
    EXPECT_EQ(log->only({"focus", "blur", "change-key-focus"}),
              (std::vector<std::string>{"left:focus", "left:change-key-focus", "left:blur", "knob:focus",
                                        "knob:change-key-focus", "knob:blur", "entry:focus", "entry:change-key-focus",
                                        "entry:blur", "left:focus", "left:change-key-focus", "left:blur", "entry:focus",
                                        "entry:change-key-focus", "entry:blur", "knob:focus"}));
    // Keys go to the focused view.
    key('a');
    EXPECT_EQ(log->count("knob:key-press"), 1u);
    // A press on a view that takes no focus ends it and hands the keyboard back.
    press("middle.row");
    release("middle.row");
    const std::vector<std::string> pressing = log->only({"blur", "mouse-press"});
    EXPECT_EQ(std::vector<std::string>(pressing.end() - 2, pressing.end()),
              (std::vector<std::string>{"knob:blur", "row:mouse-press"}));
    EXPECT_EQ(router->focusView(), nullptr);
    EXPECT_FALSE(renderer->window()->hasKeyFocus());
    press("left.knob");
    release("left.knob");
    EXPECT_EQ(router->focusView(), view("main.left.knob"));
}

TEST_F(InputRouting, TheWheelGoesToTheViewThenToTheScrollBarAbove) {
    open();
    CObject params;
    int x = 0, y = 0;
    centre("middle.row", x, y);
    ASSERT_EQ(router->wheel(params, x, y), nullptr);
    EXPECT_TRUE(router->wheelTaken());
    centre("left.knob", x, y);
    ASSERT_EQ(router->wheel(params, x, y), nullptr);
    EXPECT_FALSE(router->wheelTaken());
    EXPECT_EQ(log->only({"mouse-wheel"}),
              (std::vector<std::string>{"row:mouse-wheel", "bar:mouse-wheel", "knob:mouse-wheel"}));
    // A step the host passes on goes where the pointer was last.
    move("middle.row");
    EXPECT_TRUE(renderer->wheelStep(-1));
    EXPECT_EQ(log->param("bar:mouse-wheel", "delta"), "-1");
    move("left.knob");
    EXPECT_FALSE(renderer->wheelStep(1));
}

TEST_F(InputRouting, AViewLosesTheFocusWhenTheKeyboardGoesElsewhere) {
    EditorWindowTest::open(windowDoc() + R"(
  <ui:window-drag name="other" width="100" height="100" color="Panel">
    <ui:window-renderer name="window-renderer" title="Other" num-threads="0" window-x="500" window-y="100" fps="40">
      )" + rendererChildren() +
                           R"(
    </ui:window-renderer>
    <ui:view name="field" width="40" height="20" is-focusable="true"/>
  </ui:window-drag>)");
    renderer = rendererOf("main");
    CWindowRenderer* other = rendererOf("other");
    waitShown(renderer);
    waitShown(other);
    listen({"main.left.knob", "other.field"}, {"focus", "blur", "focus-lost"});
    ASSERT_EQ(renderer->router()->setFocus(view("main.left.knob")), nullptr);
    ASSERT_EQ(other->router()->setFocus(view("other.field")), nullptr);
    EXPECT_EQ(log->entries, (std::vector<std::string>{"knob:focus", "knob:focus-lost", "knob:blur", "field:focus"}));
    EXPECT_EQ(renderer->router()->focusView(), nullptr);
    EXPECT_FALSE(renderer->window()->hasKeyFocus());
    EXPECT_TRUE(other->window()->hasKeyFocus());
    ASSERT_TRUE(runUntil([&] { return other->window()->holdsInputFocus(); }));
    // Another client takes the keyboard: the view lets go and nothing is
    // handed back when it does.
    ASSERT_EQ(x.run("xdotool windowfocus " + std::to_string(renderer->window()->id())), 0);
    ASSERT_TRUE(heard("field:focus-lost"));
    EXPECT_EQ(log->entries.back(), "field:blur");
    EXPECT_FALSE(other->window()->hasKeyFocus());
    EXPECT_EQ(shared->keyFocusWindow(), nullptr);
    root->loop.runFor(50);
    EXPECT_TRUE(renderer->window()->holdsInputFocus());
}

// ---------------------------------------------------------------- through the server

TEST_F(InputRouting, ARealDragStaysWithThePressedView) {
    open();
    waitShown(renderer);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("left.knob") + " mousedown 1 mousemove " +
                    screenPoint("middle.row") + " mouseup 1"),
              0);
    ASSERT_TRUE(heard("knob:mouse-release"));
    EXPECT_EQ(log->count("knob:mouse-press"), 1u);
    EXPECT_GE(log->count("knob:mouse-move"), 1u);
    EXPECT_EQ(log->count("row:mouse-press") + log->count("row:mouse-release") + log->count("row:mouse-move"), 0u);
    int rx = 0, ry = 0;
    centre("middle.row", rx, ry);
    EXPECT_EQ(log->param("knob:mouse-release", "x"), std::to_string(rx));
    EXPECT_EQ(log->param("knob:mouse-release", "y"), std::to_string(ry));
    EXPECT_FALSE(renderer->window()->isPointerGrabbed());
    ASSERT_TRUE(heard("row:mouse-enter"));
}

TEST_F(InputRouting, ClosingTheWindowCancelsTheHeldPressAndFreesThePointer) {
    open();
    waitShown(renderer);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("left.knob") + " mousedown 1"), 0);
    ASSERT_TRUE(heard("knob:mouse-press"));
    ASSERT_TRUE(renderer->window()->isPointerGrabbed());
    ASSERT_EQ(renderer->closeWindow(), nullptr);
    EXPECT_EQ(log->count("knob:mouse-cancel"), 1u);
    EXPECT_EQ(router->pressTarget(), nullptr);
    // The press had given the knob the focus; it lets go of it too.
    EXPECT_EQ(log->only({"focus", "blur"}), (std::vector<std::string>{"knob:focus", "knob:blur"}));
    EXPECT_EQ(shared->keyFocusWindow(), nullptr);
    ASSERT_TRUE(runUntil([&] { return renderer->window() == nullptr; }));
    // The server has no grab left: a new client takes the pointer.
    EXPECT_EQ(x.run("xdotool mouseup 1"), 0);
    EXPECT_EQ(log->count("knob:mouse-release"), 0u);
}

TEST_F(InputRouting, AGrabTheServerBreaksCancelsThePress) {
    open();
    waitShown(renderer);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("left.knob") + " mousedown 1"), 0);
    ASSERT_TRUE(heard("knob:mouse-press"));
    ASSERT_TRUE(renderer->window()->isPointerGrabbed());
    // An unviewable window loses its grab.
    renderer->window()->show(false);
    ASSERT_TRUE(heard("knob:mouse-cancel"));
    EXPECT_FALSE(renderer->window()->isPointerGrabbed());
    EXPECT_EQ(router->pressTarget(), nullptr);
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    root->loop.runFor(50);
    EXPECT_EQ(log->count("knob:mouse-release"), 0u);
}

TEST_F(InputRouting, RealKeysReachTheViewThatAPressFocused) {
    open();
    waitShown(renderer);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("left.knob") + " click 1"), 0);
    ASSERT_TRUE(heard("knob:focus"));
    ASSERT_TRUE(runUntil([&] { return renderer->window()->holdsInputFocus(); }));
    ASSERT_EQ(x.run("xdotool key a Tab"), 0);
    ASSERT_TRUE(heard("entry:focus"));
    EXPECT_EQ(log->param("knob:key-press", "keycode"), "97");
    EXPECT_EQ(log->param("knob:change-key-focus", "key-focus-view"), view("main.middle.entry")->fullName().utf8());
}

TEST_F(InputRouting, AHeldControlRepeatsItsClickUntilReleased) {
    open(R"(<ui:update-timer name="auto-click-timer" fps="50"/>)");
    waitShown(renderer);
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("left.knob") + " mousedown 1"), 0);
    ASSERT_TRUE(heard("knob:mouse-press"));
    // Nothing before the timeout, then one per tick.
    root->loop.runFor(60);
    EXPECT_EQ(log->count("knob:auto-click"), 0u);
    ASSERT_TRUE(runUntil([&] { return log->count("knob:auto-click") >= 3; }));
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(heard("knob:mouse-release"));
    const size_t clicks = log->count("knob:auto-click");
    root->loop.runFor(150);
    EXPECT_EQ(log->count("knob:auto-click"), clicks);
    // A view without a timeout of its own takes the window's: none.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("middle.row") + " mousedown 1"), 0);
    ASSERT_TRUE(heard("row:mouse-press"));
    root->loop.runFor(200);
    EXPECT_EQ(log->count("row:auto-click"), 0u);
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
}

}  // namespace
