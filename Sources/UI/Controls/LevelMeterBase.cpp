// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/LevelMeterBase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "UI/Controls/LevelDensity.h"
#include "UI/Controls/LevelMeterListener.h"
#include "UI/Controls/MinMax.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "LevelMeter"

namespace zel {

namespace {

constexpr double kSilence = -HUGE_VAL;

// One printf conversion of a double ("%0.1f"), with text around it.
bool isLevelFormat(const std::string& format) {
    const size_t at = format.find('%');
    if (at == std::string::npos || format.find('%', at + 1) != std::string::npos) return false;
    size_t i = at + 1;
    while (i < format.size() && std::strchr("-+ #0123456789.", format[i])) ++i;
    return i < format.size() && std::strchr("fFeEgG", format[i]) && i - at <= 8;
}

}  // namespace

bool parseLevelCombo(const CString& name, ELevelCombo& out) {
    static const std::pair<const char*, ELevelCombo> names[] = {{"sum", ELevelCombo::Sum},
                                                                {"max", ELevelCombo::Max},
                                                                {"min", ELevelCombo::Min},
                                                                {"avg", ELevelCombo::Avg},
                                                                {"rms", ELevelCombo::Rms}};
    for (const auto& [text, mode] : names)
        if (name == CString(text)) {
            out = mode;
            return true;
        }
    return false;
}

double combineLevels(ELevelCombo mode, const std::vector<double>& levels) {
    if (levels.empty()) return kSilence;
    switch (mode) {
        case ELevelCombo::Max:
            return *std::max_element(levels.begin(), levels.end());
        case ELevelCombo::Min:
            return *std::min_element(levels.begin(), levels.end());
        case ELevelCombo::Avg: {
            double sum = 0;
            for (double l : levels) sum += std::pow(10.0, l / 20.0);
            sum /= double(levels.size());
            return sum > 0 ? 20.0 * std::log10(sum) : kSilence;
        }
        case ELevelCombo::Sum:
        case ELevelCombo::Rms: {
            double power = 0;
            for (double l : levels) power += std::pow(10.0, l / 10.0);
            if (mode == ELevelCombo::Rms) power /= double(levels.size());
            return power > 0 ? 10.0 * std::log10(power) : kSilence;
        }
    }
    return kSilence;
}

void CLevelMeterBase::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("values-changed", &CLevelMeterBase::onValuesChanged);
    info.onEvent("ui-param-ready", &CLevelMeterBase::onParamChanged);
    info.onEvent("value-changed", &CLevelMeterBase::onParamChanged);
    info.onEvent("routing-changed", &CLevelMeterBase::onParamChanged);
    info.onAttr("selected-group", &CLevelMeterBase::onSelectedGroup);
    info.onAttr("is-density-mode", &CLevelMeterBase::onDensityMode);
}

CErrorPtr CLevelMeterBase::init() {
    ZEL_TRY(CView::init());
    if (!parseLevelCombo(getAttr("combo-mode").empty() ? CString("sum") : getAttr("combo-mode"), m_combo))
        return ZEL_ERROR("@zelstr_CLevelMeterBase_init_Combo Invalid combo mode.");
    if (!parseLevelCombo(getAttr("combo-mode-peak").empty() ? CString("max") : getAttr("combo-mode-peak"), m_comboPeak))
        return ZEL_ERROR("@zelstr_CLevelMeterBase_init_ComboPeak Invalid peak combo mode.");
    if (!hasAttr("out-format")) ZEL_TRY(setAttr("out-format", "%0.1f"));
    if (!isLevelFormat(getAttr("out-format").utf8()))
        return ZEL_ERROR("@zelstr_CLevelMeterBase_init_Format Invalid output format '%1'.", getAttr("out-format"));
    ZEL_TRY(findObjectByAttr("min-max", m_range));
    for (const auto& child : children())
        if ((m_listener = dynamic_cast<CLevelMeterListener*>(child.get()))) break;
    if (!m_listener)
        return ZEL_ERROR("@zelstr_CLevelMeterBase_init_NoListener At least one listener object is required.");
    // Every element of the routing matters, not one: the meter hears the
    // bridges of these ui-params itself.
    const char* routingRoles[3] = {"ui-param-in-routing", "ui-param-grouping", "ui-param-channel-names"};
    for (int i = 0; i < 3; ++i) {
        CObject* role = findChild(routingRoles[i]);
        if (!role) continue;
        ZEL_TRY(role->findObjectByAttr("bridge", m_routing[i]));
        ZEL_TRY(listenObject(m_routing[i], "param-change", "routing-changed"));
    }
    m_vertical = getBool("is-vertical", true);
    m_density = getBool("is-density-mode", false);
    const CString selector = getAttr("group-selector");
    if (!selector.empty()) ZEL_TRY(setAttrExpanded("selected-group", "{*/" + selector + " selected-group?0}"));
    m_ready = true;
    ZEL_TRY(rebuildChannels());
    ZEL_TRY(exportSums());
    return nullptr;
}

CUIParam* CLevelMeterBase::param(const char* role) const {
    auto* p = dynamic_cast<CUIParam*>(findChild(role));
    return p && p->isReady() ? p : nullptr;
}

CErrorPtr CLevelMeterBase::onParamChanged(CObject* params, CObject*) {
    const CString role = params ? params->getAttr("ui-param") : CString();
    // The hold time is read when it is used.
    if (m_ready && role != CString("ui-param-peaktime")) ZEL_TRY(rebuildChannels());
    return nullptr;
}

CErrorPtr CLevelMeterBase::onSelectedGroup() {
    if (m_ready) ZEL_TRY(rebuildChannels());
    return nullptr;
}

CErrorPtr CLevelMeterBase::onDensityMode() {
    m_density = getBool("is-density-mode", false);
    for (CBar& bar : m_bars) std::fill(bar.density.begin(), bar.density.end(), 0.0f);
    invalidateView();
    return nullptr;
}

CErrorPtr CLevelMeterBase::rebuildChannels() {
    const auto ready = [](CParamBridge* b) { return b && b->isReady() ? b : nullptr; };
    CParamBridge* routing = ready(m_routing[0]);
    CParamBridge* grouping = ready(m_routing[1]);
    CParamBridge* names = ready(m_routing[2]);
    CUIParam* showAll = param("ui-param-show-all-channels");
    std::vector<size_t> order;
    std::vector<CString> labels;
    if (getBool("use-channel-routing", true)) {
        // Internal channels as the input router makes them: in the order in
        // which host inputs first feed them.
        if (routing) {
            const CParamBridge& b = *routing;
            for (size_t input = 0; input < b.elementCount(0); ++input) {
                const long channel = std::lround(b.value(0, input)) - 1;
                if (channel < 0 || size_t(channel) >= CLevelMeterListener::kMaxChannels) continue;
                if (std::find(order.begin(), order.end(), size_t(channel)) != order.end()) continue;
                order.push_back(size_t(channel));
                CString label = names ? names->text(0, input) : CString();
                labels.push_back(label.empty() ? toText(channel + 1) : label);
            }
        }
    } else if (grouping) {
        for (size_t channel = 0; channel < grouping->elementCount(0); ++channel) {
            order.push_back(channel);
            labels.push_back(toText(channel + 1));
        }
    }
    const bool all = showAll && std::lround(showAll->value()) != 0;
    const long group = std::max(0L, long(getInt("selected-group", 0)));
    std::vector<size_t> shown;
    std::vector<CString> shownNames;
    for (size_t i = 0; i < order.size(); ++i) {
        const long channelGroup = grouping ? std::lround(grouping->value(0, order[i])) : 0;
        if (!all && channelGroup != group) continue;
        shown.push_back(order[i]);
        shownNames.push_back(labels[i]);
    }
    if (shown == m_shown && shownNames == m_names) return nullptr;
    m_shown = std::move(shown);
    m_names = std::move(shownNames);
    rebuildBars();
    return nullptr;
}

CRect CLevelMeterBase::barArea() const {
    const CRect& r = area();
    const CBorder& b = placement().inner;
    return {r.left + b.left, r.top + b.top, std::max(r.left + b.left, r.right - b.right),
            std::max(r.top + b.top, r.bottom - b.bottom)};
}

int CLevelMeterBase::barLength() const {
    const CRect inner = barArea();
    return m_vertical ? inner.height() : inner.width();
}

size_t CLevelMeterBase::barCapacity() const {
    const CRect inner = barArea();
    const int across = m_vertical ? inner.width() : inner.height();
    const int gap = int(std::lround(uiScale())), minimum = int(std::lround(getReal("min-bar-width", 3) * uiScale()));
    return size_t(std::max(1, (across + gap) / std::max(1, minimum + gap)));
}

void CLevelMeterBase::rebuildBars() {
    const size_t n = m_shown.size();
    const size_t count = std::min(n, barCapacity());
    m_bars.assign(count, CBar());
    for (size_t k = 0; k < count; ++k) {
        for (size_t i = k * n / count; i < (k + 1) * n / count; ++i) m_bars[k].channels.push_back(m_shown[i]);
        m_bars[k].density.assign(size_t(std::max(0, barLength())), 0.0f);
    }
    m_drawnPixels.clear();
    // The new bars show the levels at once.
    (void)takeValues(m_lastSeconds);
    barsChanged();
    invalidateView();
}

void CLevelMeterBase::placed() {
    CView::placed();
    rebuildBars();
}

CErrorPtr CLevelMeterBase::onValuesChanged(CObject*, CObject* sender) {
    if (sender == m_listener) ZEL_TRY(takeValues(m_listener->updateSeconds()));
    return nullptr;
}

CErrorPtr CLevelMeterBase::takeValues(double now) {
    const int length = barLength();
    // The time since the last values, which the density counts.
    const double elapsed = m_lastSeconds >= 0 && now > m_lastSeconds ? now - m_lastSeconds : 0.0;
    if (now >= 0) m_lastSeconds = now;
    const double hold = densityHold();
    const int spread = std::max(1, int(std::lround(getReal("lamp-size", 4) * uiScale() / 2)));
    std::vector<int> pixels;
    bool fading = false;
    std::vector<double> levels, peaks, allLevels, allPeaks;
    for (CBar& bar : m_bars) {
        levels.clear();
        peaks.clear();
        for (size_t channel : bar.channels) {
            levels.push_back(m_listener->channel(channel).level);
            peaks.push_back(m_listener->channel(channel).peak);
        }
        allLevels.insert(allLevels.end(), levels.begin(), levels.end());
        allPeaks.insert(allPeaks.end(), peaks.begin(), peaks.end());
        bar.level = combineLevels(m_combo, levels);
        bar.peak = combineLevels(m_comboPeak, peaks);
        const int lit = int(std::lround(m_range->toUnit(bar.level) * length));
        const int peak = int(std::lround(m_range->toUnit(bar.peak) * length));
        pixels.push_back(lit);
        pixels.push_back(peak);
        // A fading density redraws every frame until it is gone.
        if (m_density) fading |= CLevelDensity::advance(bar.density, lit - 1, spread, elapsed, hold);
    }
    m_sumValue = combineLevels(m_combo, allLevels);
    m_sumPeak = combineLevels(m_comboPeak, allPeaks);
    ZEL_TRY(exportSums());
    if (pixels != m_drawnPixels || fading) {
        m_drawnPixels = std::move(pixels);
        invalidateView();
    }
    return nullptr;
}

CErrorPtr CLevelMeterBase::exportSums() {
    const std::string format = getAttr("out-format").utf8();
    const auto text = [&](double v) {
        if (!(v > -HUGE_VAL)) return CString("-inf");
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, format.c_str(), v);
        return CString(buffer);
    };
    ZEL_TRY(setAttr("sum-value", text(m_sumValue)));
    ZEL_TRY(setAttr("sum-peak", text(m_sumPeak)));
    return nullptr;
}

double CLevelMeterBase::densityHold() const {
    // The parameter's plain value is in seconds, as the audio side reads it.
    CUIParam* hold = param("ui-param-peaktime");
    return std::max(0.05, hold ? hold->value() : 1.0);
}

}  // namespace zel
