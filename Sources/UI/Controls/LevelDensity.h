// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

namespace zel {

// How long the level of a meter bar stayed at each of its pixels lately,
// in seconds, forgetting over the hold time: a level is counted over a few
// pixels around it, as wide as the peak lamp, so that a steady level shows
// as a band; it shows fully once it has held for half the hold time, and
// fades as it is forgotten.
struct CLevelDensity {
    // The level spent `seconds` at pixel `at` (none when outside the bar),
    // counted less towards the `spread` pixels on either side; what was
    // there before fades by the hold time (`hold` seconds). False once
    // nothing is left.
    static bool advance(std::vector<float>& density, int at, int spread, double seconds, double hold);
    // The opacity (0 to 1) a pixel of `density` shows with.
    static double opacity(float density, double hold);
};

}  // namespace zel
