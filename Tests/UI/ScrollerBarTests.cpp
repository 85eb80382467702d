// SPDX-License-Identifier: GPL-3.0-or-later
// The scroll bar driven by real input through the X server: dragging the
// bar, pages on the track, arrows that repeat while held, the wheel.

#include "EditorWindowTest.h"
#include "UI/Controls/ScrollerBar.h"

namespace zel {
namespace {

class ScrollerBarOnX : public test::EditorWindowTest {
protected:
    void SetUp() override {
        EditorWindowTest::SetUp();
        if (IsSkipped()) return;
        open(R"(
  <ui:window-drag name="main" width="100" height="200" color="Panel">
    <ui:window-renderer name="window-renderer" title="Scroll" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + test::rendererChildren() +
             R"(
    </ui:window-renderer>
    <ui:scroller-bar name="bar" width="12" height="150" outer-border="L20 T20" is-vertical="true">
      <ui:ui-param name="ui-param-offset" is-simple-attr="true" simple-def-value="0" simple-min-value="0"
                   simple-max-value="1"/>
      <ui:ui-param name="ui-param-ratio" is-simple-attr="true" simple-def-value="0.25" simple-min-value="0"
                   simple-max-value="1"/>
    </ui:scroller-bar>
  </ui:window-drag>)");
        if (HasFatalFailure()) return;
        waitShown(rendererOf("main"));
        bar = dynamic_cast<CScrollerBar*>(view("main.bar"));
        ASSERT_NE(bar, nullptr);
    }
    std::string point(int x, int y) { return std::to_string(100 + x) + " " + std::to_string(100 + y); }
    int centreX() { return (bar->area().left + bar->area().right) / 2; }

    CScrollerBar* bar = nullptr;
};

TEST_F(ScrollerBarOnX, DraggingTheBarMovesTheOffsetByTheDistance) {
    const CRect start = bar->barRect();
    // 150 high, arrows of 12: a track of 126, a bar of a quarter of it.
    EXPECT_EQ(start.height(), 32);
    const int travel = 126 - 32;
    const int y = (start.top + start.bottom) / 2;
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), y) + " mousedown 1 mousemove " +
                    point(centreX(), y + travel / 2) + " mouseup 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() > 0.3; }));
    EXPECT_NEAR(bar->offset(), 0.375, 0.01);
    EXPECT_EQ(bar->barRect().top, start.top + travel / 2);
    // Never past the end.
    const int y2 = (bar->barRect().top + bar->barRect().bottom) / 2;
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), y2) + " mousedown 1 mousemove " + point(centreX(), 190) +
                    " mouseup 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() == 0.75; }));
    // A double-click goes to the other end.
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), (bar->barRect().top + bar->barRect().bottom) / 2) +
                    " click --repeat 2 --delay 60 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() == 0.0; }));
}

TEST_F(ScrollerBarOnX, ArrowsStepAndRepeatWhileHeldTheTrackPagesAndTheWheelSteps) {
    const CRect& r = bar->area();
    // A press on the lower arrow: one step of a tenth of the visible quarter at once.
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), r.bottom - 4) + " mousedown 1"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() > 0; }));
    EXPECT_NEAR(bar->offset(), 0.025, 1e-9);
    EXPECT_TRUE(bar->isScrolling());
    // Held: after the hold time it goes on at four screens a second, to the end.
    ASSERT_TRUE(runUntil([&] { return bar->offset() > 0.2; }));
    ASSERT_TRUE(runUntil([&] { return bar->offset() == 0.75; }));
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(runUntil([&] { return !bar->isScrolling(); }));

    // The track above the bar: most of a screen back.
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), r.top + 16) + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() < 0.75; }));
    EXPECT_NEAR(bar->offset(), 0.75 - 0.225, 1e-9);
    const double paged = bar->offset();
    ASSERT_EQ(x.run("xdotool click 4"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() < paged; }));
    EXPECT_NEAR(bar->offset(), paged - 0.025, 1e-9);

    // A short press steps once only.
    ASSERT_EQ(x.run("xdotool mousemove " + point(centreX(), r.top + 4) + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() < paged - 0.03; }));
    root->loop.runFor(400);
    EXPECT_NEAR(bar->offset(), paged - 0.05, 1e-9);
}

// A bar much longer than its image: the image's ends cap it, its middle
// fills the rest, with no gap where the halves would have met.
class LongScrollerBarOnX : public test::EditorWindowTest {};

TEST_F(LongScrollerBarOnX, TheBarIsWholeAlongItsLength) {
    open(R"(
  <ui:window-drag name="main" width="60" height="460" color="Panel">
    <ui:window-renderer name="window-renderer" title="Scroll" num-threads="0" window-x="100" window-y="100" fps="40">
      )" +
         test::rendererChildren() +
         R"(
    </ui:window-renderer>
    <ui:scroller-bar name="bar" width="12" height="420" outer-border="L20 T20" is-vertical="true">
      <ui:ui-param name="ui-param-offset" is-simple-attr="true" simple-def-value="0" simple-min-value="0"
                   simple-max-value="1"/>
      <ui:ui-param name="ui-param-ratio" is-simple-attr="true" simple-def-value="1" simple-min-value="0"
                   simple-max-value="1"/>
    </ui:scroller-bar>
  </ui:window-drag>)");
    if (HasFatalFailure()) return;
    CWindowRenderer* renderer = rendererOf("main");
    waitShown(renderer);
    auto* bar = dynamic_cast<CScrollerBar*>(view("main.bar"));
    ASSERT_NE(bar, nullptr);
    const CRect r = bar->barRect();
    ASSERT_GT(r.height(), 300);
    const int x = (r.left + r.right) / 2;
    auto tone = [&](int y) {
        const uint8_t* p = renderer->bitmap().pixel(x, y);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    const uint32_t body = tone(r.top + 40), panel = renderer->bitmap().pixel(5, 5)[0];
    EXPECT_NE(body & 0xff, panel);
    for (int y = r.top + 40; y < r.bottom - 40; y += 5) ASSERT_EQ(tone(y), body) << "at " << y - r.top;
}

}  // namespace
}  // namespace zel
