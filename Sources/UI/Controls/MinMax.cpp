// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/MinMax.h"

#include <algorithm>
#include <cmath>

#define ZEL_SOURCE_TAG "MinMax"

namespace zel {

void CMinMax::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    for (const char* attr : {"min", "max", "is-log", "scale-power"}) info.onAttr(attr, &CMinMax::read);
}

CErrorPtr CMinMax::init() {
    ZEL_TRY(CObject::init());
    ZEL_TRY(read());
    return nullptr;
}

CErrorPtr CMinMax::read() {
    const double lo = getReal("min", 0.0), hi = getReal("max", 1.0), power = getReal("scale-power", 1.0);
    const bool log = getBool("is-log", false);
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi))
        return ZEL_ERROR("@zelstr_CMinMax_read_Range Invalid range %1 to %2 in %3.", toText(lo), toText(hi),
                         fullName());
    if (log && lo <= 0)
        return ZEL_ERROR("@zelstr_CMinMax_read_Log A logarithmic range must be positive in %1.", fullName());
    if (!(power > 0))
        return ZEL_ERROR("@zelstr_CMinMax_read_Power Invalid scale power %1 in %2.", toText(power), fullName());
    m_min = lo;
    m_max = hi;
    m_power = power;
    m_log = log;
    return nullptr;
}

double CMinMax::toUnit(double value) const {
    if (!(value > m_min)) return 0.0;
    if (value >= m_max) return 1.0;
    const double t = m_log ? std::log(value / m_min) / std::log(m_max / m_min) : (value - m_min) / (m_max - m_min);
    return m_power == 1.0 ? t : std::pow(t, m_power);
}

double CMinMax::fromUnit(double unit) const {
    double t = std::clamp(unit, 0.0, 1.0);
    if (m_power != 1.0) t = std::pow(t, 1.0 / m_power);
    return m_log ? m_min * std::pow(m_max / m_min, t) : m_min + t * (m_max - m_min);
}

}  // namespace zel
