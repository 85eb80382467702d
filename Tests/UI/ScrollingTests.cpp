// SPDX-License-Identifier: GPL-3.0-or-later
// A view whose content is taller than itself, scrolled through the X server
// with the wheel and its scroll bar: what shows, what takes the pointer and
// what is drawn again.

#include <cmath>

#include "EditorWindowTest.h"
#include "UI/Controls/ScrollerBar.h"
#include "UI/InputRouter.h"

namespace zel {
namespace {

CColor pixelAt(const CLinearBitmap& b, int x, int y) {
    const uint8_t* p = b.pixel(x, y);
    return CColor(p[2]) << 16 | CColor(p[1]) << 8 | p[0];
}

// Ten rows of 20 in alternating colours, in a pane whose room is 88 high.
std::string rows() {
    std::string out;
    for (int i = 0; i < 10; ++i)
        out += "<ui:view name=\"r" + std::to_string(i) + "\" placement=\"top\" height=\"20\" color=\"" +
               (i % 2 ? "LevelMeterZone3" : "LevelMeterZone1") + "\"/>";
    return out;
}

class ScrollingOnX : public test::EditorWindowTest {
protected:
    void SetUp() override {
        EditorWindowTest::SetUp();
        if (IsSkipped()) return;
        open(R"(
  <ui:window-drag name="main" width="200" height="200" color="Panel">
    <ui:window-renderer name="window-renderer" title="Scroll" num-threads="0" window-x="100" window-y="100" fps="40">
      <ui:sector-map name="sector-map" sector-size="16"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:view name="head" placement="top" height="32" color="Border"/>
    <ui:view name="pane" placement="left" width="96" height="96" is-scrollable="true" inner-border="4" color="Panel">
      <ui:view name="scroller-v" placement="scroller-v" width="12">
        <ui:scroller-bar name="bar" placement="full"/>
      </ui:view>)" +
             rows() +
             R"(
    </ui:view>
    <ui:view name="bare" placement="left" width="64" height="64" is-scrollable="true" color="Panel">)" +
             rows() + R"(
    </ui:view>
  </ui:window-drag>)");
        if (HasFatalFailure()) return;
        renderer = rendererOf("main");
        waitShown(renderer);
        pane = view("main.pane");
        bar = dynamic_cast<CScrollerBar*>(view("main.pane.scroller-v.bar"));
        ASSERT_TRUE(pane && bar);
        ASSERT_TRUE(pane->paletteColour("LevelMeterZone1", even, true));
        ASSERT_TRUE(pane->paletteColour("LevelMeterZone3", odd, true));
        ASSERT_TRUE(pane->paletteColour("Border", border, true));
        ASSERT_NE(even, odd);
    }
    std::string point(int x, int y) { return std::to_string(100 + x) + " " + std::to_string(100 + y); }
    int rowTop(const char* pane, int i) {
        return view(std::string("main.") + pane + ".r" + std::to_string(i))->area().top;
    }
    // The next frames are drawn.
    void frames(int count) {
        const uint64_t until = renderer->frameCount() + uint64_t(count);
        ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= until; }));
    }

    CWindowRenderer* renderer = nullptr;
    CView* pane = nullptr;
    CScrollerBar* bar = nullptr;
    CColor even = 0, odd = 0, border = 0;
};

TEST_F(ScrollingOnX, TheWheelOverTheContentScrollsItThroughTheBarAndRedrawsOnlyThePane) {
    // 200 of content in a room of 88 (the pane's 96 less its border of 4).
    EXPECT_NEAR(bar->ratio(), 0.44, 1e-9);
    EXPECT_EQ(bar->offset(), 0.0);
    EXPECT_EQ(rowTop("pane", 0), 36);
    EXPECT_EQ(view("main.pane.r0")->area().width(), 96 - 8 - 12) << "beside the scroll bar";
    frames(2);
    renderer->sectorMap()->takeHandedOut();

    // Over a row, which does not take the wheel: the pane's bar does.
    ASSERT_EQ(x.run("xdotool mousemove " + point(40, 60) + " click 5 click 5"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() > 0.08; }));
    EXPECT_NEAR(bar->offset(), 0.088, 1e-9) << "two steps of a tenth of the visible part";
    EXPECT_EQ(rowTop("pane", 0), 36 - 18) << "200 x 0.088, rounded";
    frames(2);
    const std::vector<CRect> drawn = renderer->sectorMap()->takeHandedOut();
    ASSERT_FALSE(drawn.empty());
    for (const CRect& sector : drawn)
        EXPECT_FALSE(sector.intersect(pane->area()).isEmpty()) << sector.left << "," << sector.top;

    // What shows: the pane's border where the first row has gone, the
    // head untouched above it, the rows moved up.
    const CLinearBitmap& b = renderer->bitmap();
    EXPECT_EQ(pixelAt(b, 40, 30), border) << "the head";
    EXPECT_NE(pixelAt(b, 40, 34), even) << "the first row does not spill into the pane's border";
    EXPECT_EQ(pixelAt(b, 40, 37), even) << "the rest of the first row";
    EXPECT_EQ(pixelAt(b, 40, 39), odd) << "the second row, 18 higher";
    EXPECT_EQ(pixelAt(b, 40, 122), odd) << "row 5 reaches the bottom of the room";

    // The other way, back to the top.
    ASSERT_EQ(x.run("xdotool click 4 click 4 click 4"), 0);
    ASSERT_TRUE(runUntil([&] { return bar->offset() == 0.0; }));
    EXPECT_EQ(rowTop("pane", 0), 36);
}

TEST_F(ScrollingOnX, DraggingTheBarToTheEndShowsTheLastRowAtTheBottom) {
    const CRect r = bar->barRect();
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    ASSERT_EQ(x.run("xdotool mousemove " + point(cx, cy) + " mousedown 1 mousemove " + point(cx, cy + 40) +
                    " mousemove " + point(cx, 190) + " mouseup 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return std::abs(bar->offset() - (1.0 - bar->ratio())) < 1e-9; }));
    EXPECT_EQ(view("main.pane.r9")->area().bottom, 36 + 88);
    frames(2);
    EXPECT_EQ(pixelAt(renderer->bitmap(), 40, 123), odd) << "the last row";

    // Content that shrinks keeps the offset within its new extent: five rows
    // hidden leave 100 of content, its end at the bottom of the room still.
    for (int i = 0; i < 5; ++i) view("main.pane.r" + std::to_string(i))->setAttr("is-hidden", "true");
    EXPECT_NEAR(bar->ratio(), 0.88, 1e-9);
    EXPECT_NEAR(bar->offset(), 0.12, 1e-9);
    EXPECT_EQ(view("main.pane.r9")->area().bottom, 36 + 88);
}

TEST_F(ScrollingOnX, ContentOutsideTheRoomTakesNoPointer) {
    ASSERT_EQ(x.run("xdotool mousemove " + point(40, 60) + " click 5"), 0);
    ASSERT_TRUE(runUntil([&] { return rowTop("pane", 0) < 36; }));
    // The first row lies under the pane's top border now: the pane takes the
    // pointer there, the row only where it shows.
    CView& root = *view("main");
    EXPECT_EQ(CInputRouter::viewAt(root, 40, 34), pane);
    EXPECT_EQ(CInputRouter::viewAt(root, 40, 36), view("main.pane.r0"));
}

TEST_F(ScrollingOnX, AViewWithoutABarScrollsItselfWithTheWheel) {
    CView* bare = view("main.bare");
    const int top = rowTop("bare", 0);
    ASSERT_EQ(x.run("xdotool mousemove " + point(bare->area().left + 10, bare->area().top + 10) + " click 5"), 0);
    // A tenth of the visible 64, of 200: 6.4 of content.
    ASSERT_TRUE(runUntil([&] { return rowTop("bare", 0) < top; }));
    EXPECT_EQ(rowTop("bare", 0), top - 6);
    ASSERT_EQ(x.run("xdotool click 4 click 4"), 0);
    ASSERT_TRUE(runUntil([&] { return rowTop("bare", 0) == top; })) << "and not above its start";
}

}  // namespace
}  // namespace zel
