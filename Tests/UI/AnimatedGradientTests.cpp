// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>

#include "Support/Xvfb.h"
#include "UI/WindowRenderer.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

constexpr uint32_t kPatienceMs = 10000;

// A window of 4 × 2 sectors with a gradient in its top-left sector.
std::string window(const char* animated) {
    return std::string(R"(
  <ui:window-drag name="main-window" width="256" height="128" color="Panel">
    <ui:window-renderer name="window-renderer" title="Test" num-threads="0" fps="60">
      <ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:overlay-gradient name="sheen" placement="overlay" width="40" height="40" alignment-h="left"
                         alignment-v="top" offset-x="10" offset-y="10" color="Border" duration="0.2"
                         gradient-direction="right" is-gradient-animated=")") +
           animated + R"("/>
  </ui:window-drag>)";
}

class AnimatedGradient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
    }
    void open(const char* animated) {
        CErrorPtr err;
        root = buildTree(window(animated), err);
        ASSERT_EQ(err, nullptr) << err->describe();
        renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main-window.window-renderer"));
        ASSERT_NE(renderer, nullptr);
        ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() >= 2; }, kPatienceMs));
    }
    // The column of the gradient where it is darkest.
    int darkest() const {
        int column = -1, level = 256;
        for (int x = 10; x < 50; ++x) {
            const int blue = renderer->bitmap().pixel(x, 30)[0];
            if (blue < level) level = blue, column = x;
        }
        return column;
    }

    lagwell::test::CXvfb x;
    std::unique_ptr<CLoopRoot> root;
    CWindowRenderer* renderer = nullptr;
};

TEST_F(AnimatedGradient, RedrawsOnlyItsOwnSectorOnEveryFrameAndMoves) {
    open("true");
    std::set<int> places;
    for (int i = 0; i < 20; ++i) {
        const uint64_t frames = renderer->frameCount(), sectors = renderer->drawnSectorCount();
        ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() > frames; }, kPatienceMs));
        EXPECT_EQ(renderer->drawnSectorCount() - sectors, renderer->frameCount() - frames) << "one sector per frame";
        places.insert(darkest());
    }
    EXPECT_GT(places.size(), 3u) << "the light runs across";
}

TEST_F(AnimatedGradient, AStillGradientLeavesTheFramesIdle) {
    open("false");
    const uint64_t frames = renderer->frameCount();
    ASSERT_TRUE(root->loop.runUntil([&] { return renderer->frameCount() >= frames + 5; }, kPatienceMs));
    EXPECT_EQ(renderer->drawnSectorCount(), 8u) << "the first frame's sectors only";
    EXPECT_EQ(darkest(), 10) << "strongest where it starts, on the left";
}

}  // namespace
