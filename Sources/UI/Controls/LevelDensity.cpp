// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/LevelDensity.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

// Below this share of the hold time a pixel is gone, so that the bar stops
// redrawing.
constexpr double kFloor = 1e-3;

}  // namespace

bool CLevelDensity::advance(std::vector<float>& density, int at, int spread, double seconds, double hold) {
    const double keep = std::exp(-seconds / hold);
    const auto floor = float(kFloor * hold);
    bool any = false;
    for (float& d : density) {
        d = d * float(keep) < floor ? 0.0f : d * float(keep);
        any |= d > 0;
    }
    if (at < 0 || size_t(at) >= density.size() || seconds <= 0) return any;
    for (int o = -spread; o <= spread; ++o) {
        const int p = at + o;
        if (p < 0 || size_t(p) >= density.size()) continue;
        density[size_t(p)] += float(seconds * (spread + 1 - std::abs(o)) / (spread + 1));
    }
    return true;
}

double CLevelDensity::opacity(float density, double hold) { return std::clamp(density / (0.5 * hold), 0.0, 1.0); }

}  // namespace zel
