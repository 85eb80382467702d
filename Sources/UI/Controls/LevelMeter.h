// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/LevelMeterBase.h"

namespace zel {

class CRuler;

// `ui:level-meter`: bars growing upwards (`is-vertical`) or to the right,
// one per bar of the base, on the range of `min-max`. The lit part takes
// the zone colours: the role `color` ("LevelMeter") below `zone-yellow`,
// "LevelMeterZone2" up to `zone-red`, "LevelMeterZone3" above; the unlit
// part their dim variants. The held peak is a lamp `lamp-size` pixels long
// in "LevelMeterPeak", or "LevelMeterPeakRed" in the red zone
// (`is-peak-shown`). Bars are shaded across unless `is-flat`; in density
// mode each pixel of a bar shows how often the level stays there. The dB
// ruler (`ruler-scale`) and the channel ruler (`ruler-channels`), when
// named, follow the meter, and the channel ruler's hint lists the
// channels shown.
class CLevelMeter : public CLevelMeterBase {
public:
    CErrorPtr init() override;
    void readRoles() override;

    // The rectangle of bar `index` across the bar area.
    CRect barRect(size_t index) const;

protected:
    void barsChanged() override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    // The part of bar `bar` from `from` to `to` pixels along it.
    CRect segment(const CRect& bar, int from, int to) const;
    // The zone of a pixel along a bar of `length` pixels: 0, 1 or 2.
    int zoneAt(int pixel, int length) const;
    void shade(CLinearBitmap& bitmap, const CRect& clip, const CRect& bar) const;

    CRuler* m_scale = nullptr;
    CRuler* m_names = nullptr;
    CColor m_zones[3] = {0, 0, 0}, m_dim[3] = {0, 0, 0};
    CColor m_peak = 0, m_peakRed = 0;
};

}  // namespace zel
