// SPDX-License-Identifier: GPL-3.0-or-later
// A state's fade and morph drawn frame by frame end in the very pixels that a
// full redraw of the window gives.

#include <gtest/gtest.h>

#include <cstring>

#include "Support/Xvfb.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

constexpr uint32_t kPatienceMs = 10000;

// Two lamps in a row, as the items of a knob's group list, and a bar that
// grows; each lights up over a fade.
const char* const kWindow = R"(
  <ui:window-drag name="main-window" width="256" height="128" color="Panel">
    <ui:window-renderer name="window-renderer" title="Test" num-threads="0" fps="60">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:view name="row" placement="overlay" alignment-h="left" alignment-v="top" offset-x="60" offset-y="60"
             width="28" height="14">
      <ui:view name="lamp-0" placement="inline" width="5" height="5" outer-border="1" color="Panel"
               has-view-states="true">
        <ui:view-state state-name="active" state-attrs="color" color="Border" duration="0.2"/>
      </ui:view>
      <ui:view name="lamp-1" placement="inline" width="5" height="5" outer-border="1" color="Panel"
               has-view-states="true">
        <ui:view-state state-name="active" state-attrs="color" color="Border" duration="0.2"/>
      </ui:view>
    </ui:view>
    <ui:view name="bar" placement="overlay" alignment-h="left" alignment-v="top" offset-x="100" offset-y="10"
             width="20" height="8" color="Panel" has-view-states="true">
      <ui:view-state state-name="active" state-attrs="color width" color="Border" width="120" duration="0.2"
                     morph-duration="0.2"/>
    </ui:view>
  </ui:window-drag>)";

class StateFadeRedraw : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        CErrorPtr err;
        root = buildTree(kWindow, err);
        ASSERT_EQ(err, nullptr) << err->describe();
        renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main-window.window-renderer"));
        ASSERT_NE(renderer, nullptr);
        ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() >= 2; }, kPatienceMs));
    }
    CView* view(const char* path) {
        return dynamic_cast<CView*>(root->findObject(std::string("ui.main-window.") + path));
    }
    // Waits for the transitions of `views` to end and for the frame after.
    void settle(std::initializer_list<CView*> views) {
        ASSERT_TRUE(root->loop.runUntil(
            [&] {
                for (CView* v : views)
                    if (v->states().isTransitioning()) return false;
                return true;
            },
            kPatienceMs));
        const uint64_t frames = renderer->frameCount();
        ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() >= frames + 2; }, kPatienceMs));
    }
    // The rows of the window that a full redraw changes.
    std::string staleRows() {
        CLinearBitmap drawn;
        drawn.copyFrom(renderer->bitmap());
        renderer->invalidate(CRect{0, 0, 256, 128});
        EXPECT_EQ(renderer->renderFrame(), nullptr);
        const CLinearBitmap& full = renderer->bitmap();
        std::string rows;
        for (int y = 0; y < full.height(); ++y)
            if (std::memcmp(full.pixel(0, y), drawn.pixel(0, y), size_t(full.width()) * 4) != 0)
                rows += std::to_string(y) + " ";
        return rows;
    }

    lagwell::test::CXvfb x;
    std::unique_ptr<CLoopRoot> root;
    CWindowRenderer* renderer = nullptr;
};

TEST_F(StateFadeRedraw, FadesAndMorphsEndAsAFullRedrawDrawsThem) {
    CView* lamp0 = view("row.lamp-0");
    CView* lamp1 = view("row.lamp-1");
    CView* bar = view("bar");
    ASSERT_TRUE(lamp0 && lamp1 && bar);
    const double now = CViewBaseState::clock(*lamp0);
    ASSERT_EQ(lamp0->states().set("active", true, now), nullptr);
    ASSERT_EQ(lamp1->states().set("active", true, now), nullptr);
    ASSERT_EQ(bar->states().set("active", true, now), nullptr);
    settle({lamp0, lamp1, bar});
    EXPECT_EQ(bar->area().width(), 120);
    EXPECT_EQ(staleRows(), "") << "lit";

    // Off again, beside a neighbour that stays lit.
    ASSERT_EQ(lamp0->states().set("active", false, CViewBaseState::clock(*lamp0)), nullptr);
    ASSERT_EQ(bar->states().set("active", false, CViewBaseState::clock(*bar)), nullptr);
    settle({lamp0, bar});
    EXPECT_EQ(bar->area().width(), 20);
    EXPECT_EQ(staleRows(), "") << "dark";
}

}  // namespace
