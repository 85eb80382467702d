// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Converters/ParamConverter.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"
#include "Audio/ParamDef.h"

#define ZEL_SOURCE_TAG "ParamConverter"

namespace zel {

namespace {

// Within this of 1.0 a scale power counts as 1 and the power step is skipped.
constexpr double kPowerEpsilon = 2.220446049250313e-16;

// A real attribute; an absent or empty one gives `fallback`, text that is
// not a number gives false.
bool readRealAttr(const CObject& obj, const char* name, double fallback, double& out) {
    if (obj.getAttr(name).empty()) {
        out = fallback;
        return true;
    }
    return obj.readReal(name, out);
}

char16_t foldCase(char16_t u) {
    if (u >= u'A' && u <= u'Z') return static_cast<char16_t>(u + 32);
    // Latin-1 capitals À..Þ except the multiplication sign.
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char16_t>(u + 32);
    return u;
}

bool equalNoCase(const CString& a, const CString& b) {
    if (a.length() != b.length()) return false;
    for (size_t i = 0; i < a.length(); ++i)
        if (foldCase(a.at(i)) != foldCase(b.at(i))) return false;
    return true;
}

// Position of the first name equal to `text` regardless of case, or -1.
long long findName(const std::vector<CString>& names, const CString& text) {
    for (size_t i = 0; i < names.size(); ++i)
        if (equalNoCase(names[i], text)) return static_cast<long long>(i);
    return -1;
}

}  // namespace

// ---------------------------------------------------------------- CAudioParamConverter

CErrorPtr CAudioParamConverter::init() {
    ZEL_TRY(CObject::init());
    m_label = getAttr("label");
    m_isDiscrete = getBool("is-discrete", false);
    return nullptr;
}

double CAudioParamConverter::normalizedToDisplay(const CAudioParamInfo& info, size_t component,
                                                 double normalized) const {
    return normalizedToPlain(info, component, normalized);
}

double CAudioParamConverter::clampPlain(const CAudioParamInfo& info, size_t component, double value) {
    const double a = info.minValue(component), b = info.maxValue(component);
    return std::clamp(value, std::min(a, b), std::max(a, b));
}

double CAudioParamConverter::textToPlainClamped(const CAudioParamInfo& info, size_t component, const CString& text,
                                                bool* ok) const {
    return clampPlain(info, component, textToPlain(info, component, text, ok));
}

CErrorPtr CAudioParamConverter::readDecimals(unsigned fallback, const char* message, unsigned& out) const {
    const CString text = getAttr("decimals");
    if (text.empty()) {
        out = fallback;
        return nullptr;
    }
    long long decimals = -1;
    if (!readInt("decimals", decimals) || decimals < 0 || decimals > 10) return ZEL_ERROR(message, text);
    out = static_cast<unsigned>(decimals);
    return nullptr;
}

// ---------------------------------------------------------------- CAudioParamConverterLog

CErrorPtr CAudioParamConverterLog::init() {
    ZEL_TRY(CAudioParamConverter::init());
    if (!readRealAttr(*this, "scale-power", 1.0, m_power) || !(m_power > 0.0))
        return ZEL_ERROR("Invalid 'scale-power' attribute value %1 specified.", getAttr("scale-power"));
    if (!readRealAttr(*this, "scale-threshold", -1.0, m_threshold) || !(m_threshold <= 1.0))
        return ZEL_ERROR("Invalid 'scale-threshold' attribute value %1 specified.", getAttr("scale-threshold"));
    return nullptr;
}

bool CAudioParamConverterLog::usesPower() const { return std::fabs(m_power - 1.0) > kPowerEpsilon; }

double CAudioParamConverterLog::normalizedToPlain(const CAudioParamInfo& info, size_t component,
                                                  double normalized) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    const double t = m_threshold;
    if (t <= 0.0) {
        const double n = usesPower() ? std::pow(normalized, 1.0 / m_power) : normalized;
        return lo * std::pow(hi / lo, n);
    }
    if (normalized < t) {
        const double n = usesPower() ? std::pow(normalized / t, 1.0 / m_power) : normalized / t;
        return lo * std::pow(1.0 / lo, n);
    }
    // A threshold of 1.0 leaves the upper part a single point: gain 1.0.
    const double n = t < 1.0 ? (normalized - t) / (1.0 - t) : 0.0;
    return std::pow(hi, n);
}

double CAudioParamConverterLog::plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    const double t = m_threshold;
    if (t <= 0.0) {
        const double r = std::log(value / lo) / std::log(hi / lo);
        return usesPower() ? std::pow(r, m_power) : r;
    }
    if (value >= 1.0) return t + (std::log(value) / std::log(hi)) * (1.0 - t);
    const double r = std::log(value / lo) / std::log(1.0 / lo);
    return t * (usesPower() ? std::pow(r, m_power) : r);
}

// ---------------------------------------------------------------- CAudioParamConverterGain

CErrorPtr CAudioParamConverterGain::init() {
    ZEL_TRY(CAudioParamConverterLog::init());
    ZEL_TRY(readDecimals(1, "Invalid 'decimals' attribute value %1 specified.", m_decimals));
    return nullptr;
}

double CAudioParamConverterGain::textToPlainClamped(const CAudioParamInfo& info, size_t component, const CString& text,
                                                    bool* ok) const {
    double db = 0.0;
    const bool parsed = parseNumber(text, db);
    report(ok, parsed);
    if (!parsed) return info.minValue(component);
    return clampPlain(info, component, std::exp(db / kDecibelFactor));
}

double CAudioParamConverterGain::textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                                             bool* ok) const {
    double db = 0.0;
    const bool parsed = parseNumber(text, db);
    report(ok, parsed);
    return parsed ? std::exp(db / kDecibelFactor) : info.minValue(component);
}

CString CAudioParamConverterGain::plainToText(const CAudioParamInfo&, size_t, double value, int mode) const {
    // Silence has no decibel value; "-inf" reads back as the minimum.
    if (!(value > 0.0)) return CString("-inf");
    const double db = kDecibelFactor * std::log(value);
    unsigned decimals = m_decimals;
    if (mode == kModePrecise)
        decimals = 2;
    else if (mode == kModeCompact)
        decimals = roundHalfAway(std::fabs(db) * 10.0) < 100.0 ? 1 : 0;
    return formatNumber(db, decimals);
}

double CAudioParamConverterGain::normalizedToDisplay(const CAudioParamInfo& info, size_t component,
                                                     double normalized) const {
    return kDecibelFactor * std::log(normalizedToPlain(info, component, normalized));
}

// ---------------------------------------------------------------- CAudioParamConverterRound

double CAudioParamConverterRound::normalizedToPlain(const CAudioParamInfo& info, size_t component,
                                                    double normalized) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    return lo + (hi - lo) * normalized;
}

double CAudioParamConverterRound::plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    return (value - lo) / (hi - lo);
}

// ---------------------------------------------------------------- CAudioParamConverterReal

CErrorPtr CAudioParamConverterReal::init() {
    ZEL_TRY(CAudioParamConverterRound::init());
    ZEL_TRY(readDecimals(2, "Invalid decimals %1 specified.", m_decimals));
    return nullptr;
}

double CAudioParamConverterReal::textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                                             bool* ok) const {
    double value = 0.0;
    const bool parsed = parseNumber(text, value);
    report(ok, parsed);
    return parsed ? value : info.minValue(component);
}

CString CAudioParamConverterReal::plainToText(const CAudioParamInfo&, size_t, double value, int mode) const {
    unsigned decimals = m_decimals;
    if (mode == kModeCompact) decimals = roundHalfAway(std::fabs(value) * 10.0) < 100.0 ? 1 : 0;
    return formatNumber(value, decimals);
}

// ---------------------------------------------------------------- CAudioParamConverterText

double CAudioParamConverterText::textToPlainClamped(const CAudioParamInfo&, size_t, const CString&, bool* ok) const {
    report(ok, true);
    return 0.0;
}

double CAudioParamConverterText::textToPlain(const CAudioParamInfo&, size_t, const CString&, bool* ok) const {
    report(ok, true);
    return 0.0;
}

CString CAudioParamConverterText::plainToText(const CAudioParamInfo& info, size_t, double value, int) const {
    CString text;
    if (info.dataItems) info.dataItems->itemText(roundHalfAwayToInt(value), text);
    return text;
}

// ---------------------------------------------------------------- CAudioParamConverterEnum

CErrorPtr CAudioParamConverterEnum::init() {
    ZEL_TRY(CAudioParamConverterRound::init());
    rebuildStateNames();
    return nullptr;
}

void CAudioParamConverterEnum::rebuildStateNames() {
    m_names.clear();
    m_shortNames.clear();
    const CString names = getAttr("state-names");
    if (names.empty()) return;
    for (const CString& name : splitText(names, u';')) {
        m_names.push_back(name);
        m_shortNames.push_back(shortName(name));
    }
}

CString CAudioParamConverterEnum::shortName(const CString& name) {
    const size_t bar = name.find(u'|');
    const CString source = bar == CString::npos ? name : name.substr(bar + 1);
    return source.substr(0, kShortNameLength);
}

double CAudioParamConverterEnum::textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                                             bool* ok) const {
    long long number = 0;
    if (parseWholeNumber(text, number)) {
        report(ok, true);
        return static_cast<double>(number);
    }
    const double first = roundHalfAway(info.minValue(component));
    const CString typed = trimText(text);
    long long pos = findName(m_names, typed);
    if (pos < 0) pos = findName(info.stateNames, typed);
    if (pos < 0) {
        const CString cut = typed.substr(0, kShortNameLength);
        pos = findName(m_shortNames, cut);
        if (pos < 0) pos = findName(info.stateShortNames, cut);
    }
    report(ok, pos >= 0);
    return pos >= 0 ? first + static_cast<double>(pos) : first;
}

CString CAudioParamConverterEnum::plainToText(const CAudioParamInfo& info, size_t component, double value,
                                              int mode) const {
    const bool own = !info.stateNames.empty();
    const std::vector<CString>& names = own ? info.stateNames : m_names;
    if (names.empty()) return formatNumber(value, 0);
    const long long i = roundHalfAwayToInt(value) - roundHalfAwayToInt(info.minValue(component));
    if (i < 0 || i >= static_cast<long long>(names.size())) return CString(mode == kModeCompact ? "Rsv" : "Reserve");
    const size_t at = static_cast<size_t>(i);
    if (mode == kModeCompact) return names[at].substr(0, 3);
    if (mode == kModeShort) {
        const std::vector<CString>& shorts = own ? info.stateShortNames : m_shortNames;
        return at < shorts.size() ? shorts[at] : shortName(names[at]);
    }
    return names[at];
}

double CAudioParamConverterEnum::normalizedToPlain(const CAudioParamInfo& info, size_t component,
                                                   double normalized) const {
    return roundHalfAway(CAudioParamConverterRound::normalizedToPlain(info, component, normalized));
}

// ---------------------------------------------------------------- CAudioParamConverterTime

CErrorPtr CAudioParamConverterTime::init() {
    ZEL_TRY(CAudioParamConverter::init());
    m_isLog = getBool("is-log", false);
    m_isExact = getBool("is-exact", false);
    m_isPrecise = getBool("is-precise", false);
    if (!readRealAttr(*this, "scale", 1.0, m_scale)) m_scale = 0.0;
    if (!(m_scale > 0.0)) return ZEL_ERROR("Invalid scale %1 specified.", formatNumber(m_scale, 4));
    return nullptr;
}

double CAudioParamConverterTime::textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                                             bool* ok) const {
    double shown = 0.0;
    const bool parsed = parseNumber(text, shown);
    report(ok, parsed);
    if (!parsed) shown = info.minValue(component) / m_scale;
    return shown * m_scale;
}

CString CAudioParamConverterTime::plainToText(const CAudioParamInfo&, size_t, double value, int mode) const {
    const double shown = value / m_scale;
    const double r = roundHalfAway(std::fabs(shown));
    if (mode == kModeCompact) {
        if (r < 10.0) return formatNumber(shown, 1);
        if (r < 100.0) return formatNumber(shown, 0);
        // From 100 display units on, a thousandth of them with a star mark.
        return formatNumber(value * 0.001 / m_scale, 1) + "*";
    }
    const unsigned base = m_isPrecise ? 1 : 0;
    if (!m_isExact && r >= 10.0) return formatNumber(shown, r < 100.0 ? base + 1 : base);
    return formatNumber(shown, base + 2);
}

double CAudioParamConverterTime::normalizedToPlain(const CAudioParamInfo& info, size_t component,
                                                   double normalized) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    if (m_isLog) return lo * std::pow(hi / lo, normalized);
    // Squared so that short times get more of the knob's travel.
    return lo + (hi - lo) * (m_isExact ? normalized : normalized * normalized);
}

double CAudioParamConverterTime::plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const {
    const double lo = info.minValue(component), hi = info.maxValue(component);
    if (m_isLog) return std::log(value / lo) / std::log(hi / lo);
    const double r = (value - lo) / (hi - lo);
    return m_isExact ? r : std::sqrt(std::fabs(r));
}

double CAudioParamConverterTime::normalizedToDisplay(const CAudioParamInfo& info, size_t component,
                                                     double normalized) const {
    return normalizedToPlain(info, component, normalized) / m_scale;
}

}  // namespace zel
