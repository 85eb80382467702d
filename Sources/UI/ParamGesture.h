// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace zel {

// A control that a param controller drives by hand: where a press grips it
// and, for a radial drag, which value a pointer position points to. Views
// without it take presses anywhere and are dragged linearly.
class IParamGestureSurface {
public:
    virtual ~IParamGestureSurface() = default;
    // Whether a press at window point (x, y) grips the control; `radial`
    // tells whether it may start a radial drag there.
    virtual bool gripsAt(int x, int y, bool& radial) const = 0;
    // The normalised value the pointer at (x, y) points to.
    virtual double radialValueAt(int x, int y) const = 0;
};

// The arithmetic of a hand gesture on normalised values, apart from any
// view: linear and axis-zero drags, radial positions and wheel steps.
class CParamGesture {
public:
    enum EMode { kNone = 0, kLinear = 1, kRadial = 2 };

    // Pixels of pointer movement per unit of drag position: with the default
    // precision a drag over the height of a common screen (1080 pixels)
    // sweeps the whole range.
    static constexpr double kPixelsPerRange = 1080.0 * 0.8;
    // The normalised step of one wheel notch (a delta of 1) before the
    // wheel precision.
    static constexpr double kWheelNotch = 0.05;
    // Values this far outside [0, 1] stop the drag position.
    static constexpr double kTolerance = 0.0001;

    // The turn t of a pointer offset from the centre (0.5 pointing right,
    // growing clockwise on screen), and the value it gives with the zone's
    // start and end (fractions of a turn; the dead zone lies between them).
    static double turnOf(double dx, double dy);
    static double radialValue(double turn, double zoneStart, double zoneEnd);

    // A linear drag of `starts` with scale k; with `axisZero` the values
    // scale towards or away from `zero` instead of moving together.
    void beginLinear(std::vector<double> starts, double k, bool axisZero = false, double zero = 0.0);
    void beginRadial() { m_mode = kRadial; }
    void end();
    EMode mode() const { return m_mode; }
    const std::vector<double>& starts() const { return m_starts; }

    // Adds `pixels` of pointer movement along the axis (down or left is
    // positive), times `factor` (the fine mode's precision). The drag
    // position stops where a value reaches 0 or 1, so that moving back
    // changes the values at once.
    void move(double pixels, double factor);
    double position() const { return m_position; }
    // The values at the current drag position, within [0, 1].
    std::vector<double> values() const;

    // The value `current` after a wheel turn of `delta` notches.
    // `steps` > 0: a stepped parameter with that many steps over its
    // range, which moves exactly one step per turn whatever the delta.
    static double wheelValue(double current, double delta, double precision, int steps);

private:
    double valueAt(size_t i, double position) const;

    EMode m_mode = kNone;
    std::vector<double> m_starts;
    double m_k = 0.8;
    bool m_axisZero = false;
    double m_zero = 0.0;
    double m_position = 0.0;
};

}  // namespace zel
