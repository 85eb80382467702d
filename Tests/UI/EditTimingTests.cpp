// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "UI/EditTiming.h"

namespace zel {
namespace {

CEditGesture gesture(bool click, bool single, bool dbl) {
    CEditGesture g;
    g.setOptions(CEditGesture::COptions{click, single, dbl, 0.5});
    return g;
}

// Counts the openings over a run of presses and ticks every 10 ms.
int openings(CEditGesture& g, const std::vector<std::pair<double, bool>>& presses, double until) {
    int opened = 0;
    size_t next = 0;
    for (double t = 0; t <= until + 1e-9; t += 0.01) {
        while (next < presses.size() && presses[next].first <= t + 1e-9) {
            opened += g.press(presses[next].first, presses[next].second);
            ++next;
        }
        opened += g.tick(t);
    }
    return opened;
}

TEST(EditGesture, SingleClickOpensOnlyAfterTheDelay) {
    CEditGesture g = gesture(false, true, false);
    EXPECT_FALSE(g.press(1.0, false));
    EXPECT_TRUE(g.isWaiting());
    EXPECT_FALSE(g.tick(1.49));
    EXPECT_TRUE(g.tick(1.5));
    EXPECT_FALSE(g.tick(2.0));
    EXPECT_EQ(openings(g, {{0.1, false}}, 2.0), 1);
}

TEST(EditGesture, ADoubleClickNeverOpensTwo) {
    // Single-click editing alone: the double click opens nothing.
    CEditGesture single = gesture(false, true, false);
    EXPECT_EQ(openings(single, {{0.1, false}, {0.3, true}}, 2.0), 0);
    // With double-click editing as well: exactly one.
    CEditGesture both = gesture(false, true, true);
    EXPECT_EQ(openings(both, {{0.1, false}, {0.3, true}}, 2.0), 1);
    // A slow second click (no double click to the window) restarts the
    // wait and still opens once.
    CEditGesture slow = gesture(false, true, false);
    EXPECT_EQ(openings(slow, {{0.1, false}, {0.45, false}}, 2.0), 1);
    // A cancelled wait opens nothing.
    CEditGesture cancelled = gesture(false, true, false);
    cancelled.press(0.0, false);
    cancelled.cancel();
    EXPECT_FALSE(cancelled.tick(1.0));
}

TEST(EditGesture, ClickAndDoubleClickModesOpenAtOnce) {
    CEditGesture click = gesture(true, false, false);
    EXPECT_TRUE(click.press(0.0, false));
    EXPECT_FALSE(click.isWaiting());
    CEditGesture dbl = gesture(false, false, true);
    EXPECT_FALSE(dbl.press(0.0, false));
    EXPECT_TRUE(dbl.press(0.2, true));
    EXPECT_EQ(openings(dbl, {{0.1, false}}, 2.0), 0);
}

TEST(CaretBlink, AKeyKeepsTheCaretLitForAWholePeriodThenItBlinks) {
    CCaretBlink blink;
    blink.restart();
    EXPECT_FALSE(blink.tick());
    EXPECT_TRUE(blink.isVisible());
    EXPECT_TRUE(blink.tick());
    EXPECT_FALSE(blink.isVisible());
    EXPECT_TRUE(blink.tick());
    EXPECT_TRUE(blink.isVisible());
    blink.tick();
    EXPECT_FALSE(blink.isVisible());
    blink.restart();
    EXPECT_TRUE(blink.isVisible());
    EXPECT_FALSE(blink.tick());
    EXPECT_TRUE(blink.isVisible());
}

}  // namespace
}  // namespace zel
