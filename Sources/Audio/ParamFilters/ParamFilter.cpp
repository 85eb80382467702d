// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamFilters/ParamFilter.h"

#include <algorithm>
#include <map>

#include "Audio/Converters/NumberText.h"
#include "Audio/ParamDef.h"

#define ZEL_SOURCE_TAG "ParamFilter"

namespace zel {

CErrorPtr CAudioParamFilter::checkCounts(size_t sources, size_t destinations, size_t requiredSources,
                                         size_t requiredDestinations) {
    const auto s = static_cast<unsigned long long>(sources), d = static_cast<unsigned long long>(destinations);
    if (sources < requiredSources)
        return ZEL_ERROR("Not enough source parameters %1 defined in the param filter (required %2).", s,
                         static_cast<unsigned long long>(requiredSources));
    if (sources >= kMaxParams) return ZEL_ERROR("Too many source parameters %1 defined in the param filter.", s);
    if (destinations < requiredDestinations)
        return ZEL_ERROR("Not enough destination parameters %1 defined in the param filter (required %2).", d,
                         static_cast<unsigned long long>(requiredDestinations));
    if (destinations >= kMaxParams)
        return ZEL_ERROR("Too many destination parameters %1 defined in the param filter.", d);
    return nullptr;
}

CErrorPtr CAudioParamFilter::bind(std::vector<const CAudioParamStorage*> sources,
                                  std::vector<CAudioParamStorage*> destinations) {
    ZEL_TRY(checkCounts(sources.size(), destinations.size(), requiredSources(), requiredDestinations()));
    m_sources = std::move(sources);
    m_destinations = std::move(destinations);
    return nullptr;
}

void CAudioParamFilter::apply(int group) {
    if (m_sources.empty() || m_destinations.empty()) return;
    const size_t g = group == kAnyGroup || group < 0 ? 0 : size_t(group);
    CAudioParamStorage& dst = *m_destinations[0];
    static const CAudioParamValue kNone;
    const CAudioParamStorage& src = *m_sources[0];
    dst.setComponent(dst.info().isSingleGroup ? 0 : g, 0, 0,
                     derive(src.hasValue() ? src.value() : kNone, g, dst.info()));
}

double CAudioParamFilter::derive(const CAudioParamValue& source, size_t group,
                                 const CAudioParamInfo& destination) const {
    // The destination's range bounds what it stores, as for any other write.
    const double lo = std::min(destination.minValue(0), destination.maxValue(0));
    const double hi = std::max(destination.minValue(0), destination.maxValue(0));
    return std::clamp(compute(source, group), lo, hi);
}

double CAudioParamFilterDigit::compute(const CAudioParamValue& source, size_t group) const {
    const size_t digits = source.elementCount(group);
    double sum = 0.0, weight = 1.0;
    for (size_t i = 0; i < digits; ++i, weight *= 10.0) sum += source.group(group)[i] * weight;
    return m_factor * sum;
}

double CAudioParamFilterBypassMS::compute(const CAudioParamValue& source, size_t group) const {
    if (group >= source.groupCount()) return 1.0;
    std::map<long long, int> carriers;
    for (double v : source.group(group)) {
        const long long pair = roundHalfAwayToInt(v);
        if (pair > 0 && ++carriers[pair] >= 2) return 0.0;
    }
    return 1.0;
}

double CAudioParamFilterBypassGroupSolo::compute(const CAudioParamValue& v, size_t) const {
    for (size_t g = 0; g < v.groupCount(); ++g)
        if (v.elementCount(g) > 0 && v.group(g)[0] >= 0.5) return 0.0;
    return 1.0;
}

// ---------------------------------------------------------------- definitions

CErrorPtr CAudioParamFilterDef::init() {
    ZEL_TRY(CObject::init());
    auto names = [](const CString& list) {
        std::vector<CString> out;
        for (const CString& n : splitText(list, u','))
            if (!trimText(n).empty()) out.push_back(trimText(n));
        return out;
    };
    m_sources = names(getAttr("src"));
    m_destinations = names(getAttr("dst"));
    if (m_sources.empty()) return ZEL_ERROR("No source parameters defined.");
    if (m_destinations.empty()) return ZEL_ERROR("No destination parameters defined.");
    const std::unique_ptr<CAudioParamFilter> probe = createFilter();
    ZEL_TRY(CAudioParamFilter::checkCounts(m_sources.size(), m_destinations.size(), probe->requiredSources(),
                                           probe->requiredDestinations()));
    return nullptr;
}

CErrorPtr CAudioParamFilterDigitDef::init() {
    long long decimals = 0;
    if (!readInt("decimals", decimals) || decimals < 0 || decimals > kMaxDecimals)
        return ZEL_ERROR("Invalid 'decimals' attribute '%1' defined.", getAttr("decimals"));
    double multiplier = getReal("multiplier", 1.0);
    double scale = 1.0;
    for (long long i = 0; i < decimals; ++i) scale *= 10.0;
    m_factor = multiplier / scale;
    ZEL_TRY(CAudioParamFilterDef::init());
    return nullptr;
}

std::unique_ptr<CAudioParamFilter> CAudioParamFilterDigitDef::createFilter() const {
    return std::make_unique<CAudioParamFilterDigit>(m_factor);
}

std::unique_ptr<CAudioParamFilter> CAudioParamFilterBypassMSDef::createFilter() const {
    return std::make_unique<CAudioParamFilterBypassMS>();
}

std::unique_ptr<CAudioParamFilter> CAudioParamFilterBypassGroupSoloDef::createFilter() const {
    return std::make_unique<CAudioParamFilterBypassGroupSolo>();
}

}  // namespace zel
