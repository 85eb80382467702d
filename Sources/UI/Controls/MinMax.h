// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"

namespace zel {

// `ui:min-max`: the range a display shows, `min` to `max`, placed linearly
// or, with `is-log` (a positive range), logarithmically, and bent by
// `scale-power` (1: not bent). Meters and their rulers share one, so that
// both put a value at the same place.
class CMinMax : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    double minValue() const { return m_min; }
    double maxValue() const { return m_max; }
    // 0 at `min`, 1 at `max`, clamped; values below the range (-inf) give 0.
    double toUnit(double value) const;
    // The value at a place of the range.
    double fromUnit(double unit) const;

private:
    CErrorPtr read();

    double m_min = 0, m_max = 1, m_power = 1;
    bool m_log = false;
};

}  // namespace zel
