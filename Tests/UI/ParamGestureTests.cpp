// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic of hand gestures: radial positions, linear and axis-zero
// drags with their limits, and wheel steps.

#include <gtest/gtest.h>

#include "UI/ParamGesture.h"

using zel::CParamGesture;

namespace {

constexpr double kStart = 0.89, kEnd = 0.60;

double radial(double dx, double dy) { return CParamGesture::radialValue(CParamGesture::turnOf(dx, dy), kStart, kEnd); }

TEST(ParamGesture, RadialValuesFollowThePointersAngleClockwiseAroundTheDeadZone) {
    EXPECT_NEAR(CParamGesture::turnOf(0, -1), 0.25, 1e-12);
    EXPECT_NEAR(CParamGesture::turnOf(1, 0), 0.5, 1e-12);
    EXPECT_NEAR(radial(0, -10), 0.36 / 0.71, 1e-12);  // straight up: 0.507
    EXPECT_NEAR(radial(10, 0), 0.61 / 0.71, 1e-12);   // right: 0.859
    EXPECT_NEAR(radial(-10, 0), 0.11 / 0.71, 1e-12);  // left: 0.155
    // Straight down lies in the dead zone just past its middle (0.745): the
    // minimum's side. A little to the right of it is the maximum's.
    EXPECT_EQ(radial(0, 10), 0.0);
    EXPECT_EQ(radial(1, 10), 1.0);
    // The zone's edges are the ends of the range.
    EXPECT_NEAR(CParamGesture::radialValue(kStart, kStart, kEnd), 0.0, 1e-12);
    EXPECT_NEAR(CParamGesture::radialValue(kEnd, kStart, kEnd), 1.0, 1e-12);
    // Clockwise is upwards all the way round.
    double last = -1;
    for (double t = kStart; t < 1.0 + kEnd; t += 0.01) {
        const double v = CParamGesture::radialValue(t > 1.0 ? t - 1.0 : t, kStart, kEnd);
        EXPECT_GT(v, last) << t;
        last = v;
    }
}

TEST(ParamGesture, ALinearDragMovesUpwardsPerPixelAndShiftHalvesIt) {
    CParamGesture g;
    g.beginLinear({0.5, 0.2}, 0.8);
    g.move(-100, 1.0);
    const double step = 100 * 0.8 / CParamGesture::kPixelsPerRange;
    EXPECT_NEAR(g.values()[0], 0.5 + step, 1e-12);
    EXPECT_NEAR(g.values()[1], 0.2 + step, 1e-12);
    g.move(-100, 0.5);
    EXPECT_NEAR(g.values()[0], 0.5 + 1.5 * step, 1e-12);
    // Back down to where it started.
    g.move(150, 1.0);
    EXPECT_NEAR(g.values()[0], 0.5, 1e-12);
    // A drag over the height of a common screen sweeps the whole range.
    CParamGesture full;
    full.beginLinear({0.0}, 0.8);
    full.move(-1080, 1.0);
    EXPECT_NEAR(full.values()[0], 1.0, 1e-9);
}

TEST(ParamGesture, ADragPastAnEndStopsThereAndComesBackAtOnce) {
    CParamGesture g;
    g.beginLinear({0.9, 0.5}, 0.8);
    // Far past the top: the first element stops at 1, the other with it.
    g.move(-5000, 1.0);
    EXPECT_NEAR(g.values()[0], 1.0, 1e-3);
    EXPECT_NEAR(g.values()[1], 0.6, 1e-3);
    // No dead travel on the way back.
    g.move(10, 1.0);
    EXPECT_LT(g.values()[0], 1.0);
    EXPECT_NEAR(g.values()[0], 1.0 - 10 * 0.8 / CParamGesture::kPixelsPerRange, 1e-3);
    // The bottom stops the drag at the second element's 0.
    g.move(5000, 1.0);
    EXPECT_NEAR(g.values()[1], 0.0, 1e-3);
    EXPECT_NEAR(g.values()[0], 0.4, 1e-3);
    for (double v : g.values()) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
}

TEST(ParamGesture, AnAxisZeroDragScalesAroundTheZeroPoint) {
    CParamGesture g;
    g.beginLinear({0.75, 0.25, 0.5}, 0.8, true, 0.5);
    const double pixels = -0.5 * CParamGesture::kPixelsPerRange / 0.8;  // k × position = -0.5
    g.move(pixels, 1.0);
    EXPECT_NEAR(g.values()[0], 0.875, 1e-12);
    EXPECT_NEAR(g.values()[1], 0.125, 1e-12);
    EXPECT_NEAR(g.values()[2], 0.5, 1e-12);
    // Spread until the outermost reaches an end; the zero point stays.
    g.move(-1e6, 1.0);
    EXPECT_NEAR(g.values()[0], 1.0, 1e-3);
    EXPECT_NEAR(g.values()[1], 0.0, 1e-3);
    // Downwards they gather at the zero point and pass through it.
    g.move(1e6, 1.0);
    EXPECT_NEAR(g.values()[0], 0.0, 1e-3);
    EXPECT_NEAR(g.values()[1], 1.0, 1e-3);
}

TEST(ParamGesture, AWheelTurnOfASteppedParameterIsExactlyOneStep) {
    for (double delta : {0.02, 1.0, 3.0, 120.0})
        EXPECT_NEAR(CParamGesture::wheelValue(3.0 / 9, delta, 0.5, 9), 4.0 / 9, 1e-12) << delta;
    for (double delta : {-0.02, -1.0, -120.0, 0.005})
        EXPECT_NEAR(CParamGesture::wheelValue(3.0 / 9, delta, 0.5, 9), 2.0 / 9, 1e-12) << delta;
    EXPECT_EQ(CParamGesture::wheelValue(1.0, 1.0, 0.5, 9), 1.0);
    EXPECT_EQ(CParamGesture::wheelValue(0.0, -1.0, 0.5, 9), 0.0);
    // Continuous parameters move by the delta times the precision.
    EXPECT_NEAR(CParamGesture::wheelValue(0.5, 2.0, 0.5, 0), 0.5 + 2 * CParamGesture::kWheelNotch * 0.5, 1e-12);
    EXPECT_NEAR(CParamGesture::wheelValue(0.5, -1.0, 0.25, 0), 0.5 - CParamGesture::kWheelNotch * 0.25, 1e-12);
}

}  // namespace
