// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamGesture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zel {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

double CParamGesture::turnOf(double dx, double dy) { return std::atan2(dy, dx) / (2.0 * kPi) + 0.5; }

double CParamGesture::radialValue(double t, double s, double e) {
    if (e < t && t < s) return t > (s + e) / 2.0 ? 0.0 : 1.0;
    // The zone's end itself belongs to the part after the turn's wrap.
    const double value = t <= e ? (1.0 - s + t) / (e + 1.0 - s) : (t - s) / (1.0 + e - s);
    return std::clamp(value, 0.0, 1.0);
}

void CParamGesture::beginLinear(std::vector<double> starts, double k, bool axisZero, double zero) {
    m_mode = kLinear;
    m_starts = std::move(starts);
    m_k = k;
    m_axisZero = axisZero;
    m_zero = zero;
    m_position = 0.0;
}

void CParamGesture::end() {
    m_mode = kNone;
    m_starts.clear();
    m_position = 0.0;
}

double CParamGesture::valueAt(size_t i, double position) const {
    const double start = m_starts[i];
    if (m_axisZero) return (start - m_zero) * (1.0 - m_k * position) + m_zero;
    return start - m_k * position;
}

void CParamGesture::move(double pixels, double factor) {
    if (m_mode != kLinear) return;
    double position = m_position + pixels * factor / kPixelsPerRange;
    // Each value is linear in the position: the positions where it leaves
    // the range bound the drag.
    double low = -std::numeric_limits<double>::infinity(), high = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < m_starts.size(); ++i) {
        const double at0 = valueAt(i, 0.0), slope = valueAt(i, 1.0) - at0;
        if (slope == 0.0) continue;
        const double a = (-kTolerance - at0) / slope, b = (1.0 + kTolerance - at0) / slope;
        low = std::max(low, std::min(a, b));
        high = std::min(high, std::max(a, b));
    }
    if (low <= high) position = std::clamp(position, low, high);
    m_position = position;
}

std::vector<double> CParamGesture::values() const {
    std::vector<double> out;
    out.reserve(m_starts.size());
    for (size_t i = 0; i < m_starts.size(); ++i) out.push_back(std::clamp(valueAt(i, m_position), 0.0, 1.0));
    return out;
}

double CParamGesture::wheelValue(double current, double delta, double precision, int steps) {
    const double step = steps > 0 ? (delta > 0.01 ? 1.0 : -1.0) / steps : delta * kWheelNotch * precision;
    return std::clamp(current + step, 0.0, 1.0);
}

}  // namespace zel
