// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/LevelMeter.h"

#include <algorithm>
#include <cmath>

#include "UI/Controls/LevelDensity.h"
#include "UI/Controls/MinMax.h"
#include "UI/Controls/Ruler.h"

#define ZEL_SOURCE_TAG "LevelMeter"

namespace zel {

CErrorPtr CLevelMeter::init() {
    if (!hasAttr("color")) ZEL_TRY(setAttr("color", "LevelMeter"));
    ZEL_TRY(CLevelMeterBase::init());
    if (!getAttr("ruler-scale").empty()) ZEL_TRY(findObjectByAttr("ruler-scale", m_scale));
    if (!getAttr("ruler-channels").empty()) ZEL_TRY(findObjectByAttr("ruler-channels", m_names));
    barsChanged();
    return nullptr;
}

void CLevelMeter::readRoles() {
    CLevelMeterBase::readRoles();
    const CString roles[3] = {getAttr("color"), "LevelMeterZone2", "LevelMeterZone3"};
    const CString dim[3] = {"LevelMeterZone1Dim", "LevelMeterZone2Dim", "LevelMeterZone3Dim"};
    for (int i = 0; i < 3; ++i) {
        if (!paletteColour(roles[i], m_zones[i], true)) m_zones[i] = 0;
        if (!paletteColour(dim[i], m_dim[i], true)) m_dim[i] = 0;
    }
    if (!paletteColour("LevelMeterPeak", m_peak, true)) m_peak = 0xffffff;
    if (!paletteColour("LevelMeterPeakRed", m_peakRed, true)) m_peakRed = 0xff0000;
    invalidateView();
}

CRect CLevelMeter::barRect(size_t index) const {
    const CRect inner = barArea();
    const size_t count = bars().size();
    if (index >= count) return {};
    const int gap = int(std::lround(uiScale()));
    const int across = isVertical() ? inner.width() : inner.height();
    const int room = std::max(0, across - gap * int(count - 1));
    // Spread evenly; the first bars take the pixels left over.
    const int start =
        int(index) * (room / int(count)) + std::min<int>(int(index), room % int(count)) + int(index) * gap;
    const int size = room / int(count) + (int(index) < room % int(count) ? 1 : 0);
    return isVertical() ? CRect{inner.left + start, inner.top, inner.left + start + size, inner.bottom}
                        : CRect{inner.left, inner.top + start, inner.right, inner.top + start + size};
}

CRect CLevelMeter::segment(const CRect& bar, int from, int to) const {
    return isVertical() ? CRect{bar.left, bar.bottom - to, bar.right, bar.bottom - from}
                        : CRect{bar.left + from, bar.top, bar.left + to, bar.bottom};
}

int CLevelMeter::zoneAt(int pixel, int length) const {
    // The pixel's middle decides.
    const double value = range().fromUnit((pixel + 0.5) / std::max(1, length));
    if (value >= getReal("zone-red", 0.0)) return 2;
    if (value >= getReal("zone-yellow", -12.0)) return 1;
    return 0;
}

void CLevelMeter::barsChanged() {
    if (m_scale) {
        const CRect inner = barArea();
        if (isVertical())
            m_scale->showScale(range(), inner.bottom - 1, inner.top, true);
        else
            m_scale->showScale(range(), inner.left, inner.right - 1, false);
    }
    if (m_names) {
        std::vector<CString> names;
        std::vector<int> centres;
        CString list;
        for (size_t i = 0; i < bars().size(); ++i) {
            const CRect r = barRect(i);
            CString name;
            for (size_t channel : bars()[i].channels) {
                const size_t at = size_t(std::find(shownChannels().begin(), shownChannels().end(), channel) -
                                         shownChannels().begin());
                if (!name.empty()) name.append(u'+');
                name += channelNames()[at];
            }
            names.push_back(name);
            centres.push_back(isVertical() ? (r.left + r.right) / 2 : (r.top + r.bottom) / 2);
            if (!list.empty()) list += ", ";
            list += name;
        }
        m_names->showNames(names, centres, !isVertical());
        (void)m_names->setAttr("hint", "Channels on the level meter: " + list);
    }
}

void CLevelMeter::shade(CLinearBitmap& bitmap, const CRect& clip, const CRect& bar) const {
    // Light from the upper left: a highlight a third of the way across,
    // the far side in shadow.
    const int across = isVertical() ? bar.width() : bar.height();
    for (int i = 0; i < across; ++i) {
        const double f = across > 1 ? double(i) / (across - 1) : 0.5;
        const double light = 0.35 * std::max(0.0, 1.0 - std::fabs(f - 0.3) * 3.0);
        const double dark = 0.4 * f * f;
        const CRect line = isVertical() ? CRect{bar.left + i, bar.top, bar.left + i + 1, bar.bottom}
                                        : CRect{bar.left, bar.top + i, bar.right, bar.top + i + 1};
        const CRect visible = line.intersect(clip);
        if (light > 0) bitmap.fillRect(visible, 0xffffff, light);
        if (dark > 0) bitmap.fillRect(visible, 0x000000, dark);
    }
}

void CLevelMeter::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect within = clip.intersect(barArea());
    if (within.isEmpty()) return;
    const int length = barLength();
    const int zoneEnds[3] = {int(std::lround(range().toUnit(getReal("zone-yellow", -12.0)) * length)),
                             int(std::lround(range().toUnit(getReal("zone-red", 0.0)) * length)), length};
    const bool density = getBool("is-density-mode", false), flat = getBool("is-flat", false);
    const bool peakShown = getBool("is-peak-shown", true);
    const int lamp = std::max(1, int(std::lround(getReal("lamp-size", 4) * uiScale())));
    for (size_t i = 0; i < bars().size(); ++i) {
        const CLevelMeterBase::CBar& bar = bars()[i];
        const CRect rect = barRect(i);
        const int lit = density ? 0 : int(std::lround(range().toUnit(bar.level) * length));
        // Zone by zone: the lit part, then the dim rest.
        int zoneStart = 0;
        for (int z = 0; z < 3; ++z) {
            const int end = std::max(zoneStart, zoneEnds[z]);
            const int litEnd = std::clamp(lit, zoneStart, end);
            bitmap.fillRect(segment(rect, zoneStart, litEnd).intersect(within), m_zones[z], 1.0);
            bitmap.fillRect(segment(rect, litEnd, end).intersect(within), m_dim[z], 1.0);
            zoneStart = end;
        }
        if (density) {
            // Opacity by how long the level stayed, not by the most visited
            // pixel: a lone level fades as it is forgotten.
            const double hold = densityHold();
            for (int p = 0; p < int(bar.density.size()); ++p)
                if (bar.density[size_t(p)] > 0)
                    bitmap.fillRect(segment(rect, p, p + 1).intersect(within), m_zones[zoneAt(p, length)],
                                    CLevelDensity::opacity(bar.density[size_t(p)], hold));
        }
        if (!flat) shade(bitmap, within, rect);
        const int peak = int(std::lround(range().toUnit(bar.peak) * length));
        if (peakShown && peak > 0) {
            const bool red = bar.peak >= getReal("zone-red", 0.0);
            bitmap.fillRect(segment(rect, std::max(0, peak - lamp), peak).intersect(within), red ? m_peakRed : m_peak,
                            1.0);
        }
    }
}

}  // namespace zel
