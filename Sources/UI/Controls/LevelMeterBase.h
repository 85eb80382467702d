// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <vector>

#include "UI/View.h"

namespace zel {

class CLevelMeterListener;
class CMinMax;
class CParamBridge;
class CUIParam;

// How the levels of several channels become one: "sum" adds their powers,
// "max" and "min" take the loudest and the quietest, "avg" averages their
// amplitudes and "rms" their powers. Levels are in dB, -inf for silence.
enum class ELevelCombo { Sum, Max, Min, Avg, Rms };
// False for a name that is none of the five.
bool parseLevelCombo(const CString& name, ELevelCombo& out);
double combineLevels(ELevelCombo mode, const std::vector<double>& levels);

// The data side of a level meter view: which channels it shows and what
// its bars hold. The channels are those of the listener (the first
// `ui:level-meter-listener` child), in routing order with
// `use-channel-routing` (the order in which host inputs feed them,
// `ui-param-in-routing`), of the selected channel group (`group-selector`,
// each channel's group from `ui-param-grouping`) unless the show-all
// switch (`ui-param-show-all-channels`) is on. Each channel is named by the
// host input that feeds it (`ui-param-channel-names`). When the bars do not
// all fit (bars thinner than `min-bar-width`), neighbours share a bar and
// their levels combine by `combo-mode`, their peaks by `combo-mode-peak`;
// all channels shown combine the same way into `sum-value` and `sum-peak`
// (formatted by `out-format`, "-inf" while silent). In density mode
// (`is-density-mode`) each bar also counts how long the level stays at
// each of its pixels (CLevelDensity), forgetting over the peak hold time
// (`ui-param-peaktime`, seconds).
class CLevelMeterBase : public CView {
public:
    struct CBar {
        std::vector<size_t> channels;
        double level = -HUGE_VAL, peak = -HUGE_VAL;
        // Along the bar, per pixel from its start: how much time the level
        // spent there lately.
        std::vector<float> density;
    };

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    const CMinMax& range() const { return *m_range; }
    // Internal channels shown, in order, with their names.
    const std::vector<size_t>& shownChannels() const { return m_shown; }
    const std::vector<CString>& channelNames() const { return m_names; }
    const std::vector<CBar>& bars() const { return m_bars; }
    double sumValue() const { return m_sumValue; }
    double sumPeak() const { return m_sumPeak; }
    // The pixels of the bars' length and the largest number of bars that
    // fit across.
    int barLength() const;
    size_t barCapacity() const;
    // Takes the listener's values in, at `nowSeconds`.
    CErrorPtr takeValues(double nowSeconds);
    // The peak hold time in seconds, over which the density forgets.
    double densityHold() const;

protected:
    void placed() override;
    // The shown channels or their bars changed.
    virtual void barsChanged() {}
    // The part of the view the bars fill.
    CRect barArea() const;
    bool isVertical() const { return m_vertical; }

private:
    CErrorPtr onValuesChanged(CObject* params, CObject* sender);
    CErrorPtr onParamChanged(CObject* params, CObject* sender);
    CErrorPtr onSelectedGroup();
    CErrorPtr onDensityMode();
    CErrorPtr rebuildChannels();
    void rebuildBars();
    CErrorPtr exportSums();
    CUIParam* param(const char* role) const;

    CLevelMeterListener* m_listener = nullptr;
    CMinMax* m_range = nullptr;
    // The bridges of the in-routing, the grouping and the channel names.
    CParamBridge* m_routing[3] = {nullptr, nullptr, nullptr};
    bool m_vertical = true;
    bool m_density = false;
    ELevelCombo m_combo = ELevelCombo::Sum, m_comboPeak = ELevelCombo::Max;
    std::vector<size_t> m_shown;
    std::vector<CString> m_names;
    std::vector<CBar> m_bars;
    double m_sumValue = -HUGE_VAL, m_sumPeak = -HUGE_VAL;
    double m_lastSeconds = -1;
    // What was drawn last, to redraw only on a visible change.
    std::vector<int> m_drawnPixels;
    bool m_ready = false;
};

}  // namespace zel
