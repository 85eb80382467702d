// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ProcessDef.h"

#include <cmath>
#include <cstdlib>

#include "Audio/Converters/NumberText.h"
#include "Audio/ParamDef.h"

#define ZEL_SOURCE_TAG "ProcessDef"

namespace zel {

namespace {

// An optional integer attribute: absent or empty keeps `out`.
bool readOptionalInt(const CObject& o, const char* name, int& out) {
    const CString text = trimText(o.getAttr(name));
    if (text.empty()) return true;
    long long v;
    if (!parseInt(text, v) || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

// "name" or "name/port"; the port is a non-negative integer.
bool splitEndpoint(const CString& text, CString& process, int& port, bool& badPort) {
    badPort = false;
    const size_t slash = text.find(u'/');
    process = trimText(slash == CString::npos ? text : text.substr(0, slash));
    port = 0;
    if (slash != CString::npos) {
        long long p;
        if (!parseInt(trimText(text.substr(slash + 1)), p) || p < 0 || p > INT32_MAX) {
            badPort = true;
            return false;
        }
        port = static_cast<int>(p);
    }
    return !process.empty();
}

}  // namespace

CErrorPtr CAudioProcessDefBase::init() {
    ZEL_TRY(CObject::init());
    m_isSmoothUpdate = getBool("is-smooth-update", false);
    m_isStacked = getBool("is-stacked", false);
    m_isCompInput = getBool("is-comp-input", false);
    m_isOutOfOrder = getBool("is-outoforder", false);
    m_xfadeLength = getReal("xfade-length", 0.0);
    // Checked although this engine has no use for the value: a document
    // that gets it wrong is refused as it would be elsewhere.
    int stackIndexShift = 0;
    if (!readOptionalInt(*this, "stack-index-shift", stackIndexShift))
        return ZEL_ERROR("Invalid stack index shift value '%1' specified.", getAttr("stack-index-shift"));
    if (!readOptionalInt(*this, "bypass-state-id", m_bypassStateId))
        return ZEL_ERROR("Invalid state identifier '%1' specified.", getAttr("bypass-state-id"));
    if (getBool("is-multiband", false)) {
        if (getAttr("multiband-freq-param").empty()) return ZEL_ERROR("No 'multiband-freq-param' attribute defined.");
        if (getAttr("multiband-count-param").empty()) return ZEL_ERROR("No 'multiband-count-param' attribute defined.");
    }
    return nullptr;
}

CErrorPtr CAudioProcessDef::init() {
    ZEL_TRY(CAudioProcessDefBase::init());
    m_isAutoLinks = getBool("is-auto-links", false);
    return nullptr;
}

CErrorPtr CAudioProcessLinkDef::init() {
    ZEL_TRY(CObject::init());
    const CString src = getAttr("src"), dst = getAttr("dst");
    if (trimText(src).empty()) return ZEL_ERROR("No 'src' attribute defined.");
    if (trimText(dst).empty()) return ZEL_ERROR("No 'dst' attribute defined.");
    bool badPort = false;
    if (!splitEndpoint(src, m_srcProcess, m_srcPort, badPort)) {
        if (badPort) return ZEL_ERROR("Invalid port in the 'src' attribute value '%1' specified.", src);
        return ZEL_ERROR("Invalid process in the 'src' attribute value '%1' specified.", src);
    }
    if (!splitEndpoint(dst, m_dstProcess, m_dstPort, badPort)) {
        if (badPort) return ZEL_ERROR("Invalid port in the 'dst' attribute value '%1' specified.", dst);
        return ZEL_ERROR("Invalid process in the 'dst' attribute value '%1' specified.", dst);
    }
    if (!readOptionalInt(*this, "bypass-state-id", m_bypassStateId))
        return ZEL_ERROR("Invalid state identifier '%1' specified.", getAttr("bypass-state-id"));
    int stateId = -1;
    if (!readOptionalInt(*this, "state-id", stateId))
        return ZEL_ERROR("Invalid state identifier '%1' specified.", getAttr("state-id"));
    return nullptr;
}

// ---------------------------------------------------------------- bypass states

bool CBypassRange::parse(const CString& textIn, CBypassRange& out) {
    CString text = trimText(textIn);
    out = CBypassRange();
    const size_t slash = text.find(u'/');
    if (slash != CString::npos) {
        if (!parseReal(trimText(text.substr(slash + 1)), out.step) || !(out.step > 0)) return false;
        text = trimText(text.substr(0, slash));
    }
    if (text.length() < 3) return false;
    const char16_t open = text.at(0), close = text.at(text.length() - 1);
    if ((open != u'[' && open != u'(' && open != u']') || (close != u']' && close != u')' && close != u'['))
        return false;
    out.lowInclusive = open == u'[';
    out.highInclusive = close == u']';
    const std::vector<CString> ends = splitText(text.substr(1, text.length() - 2), u',');
    if (ends.size() != 2) return false;
    const CString lo = trimText(ends[0]), hi = trimText(ends[1]);
    out.hasLow = !lo.empty();
    out.hasHigh = !hi.empty();
    if ((out.hasLow && !parseInt(lo, out.low)) || (out.hasHigh && !parseInt(hi, out.high))) return false;
    return true;
}

bool CBypassRange::contains(double v) const {
    const long long k = roundHalfAwayToInt(v / step);
    if (hasLow && (lowInclusive ? k < low : k <= low)) return false;
    if (hasHigh && (highInclusive ? k > high : k >= high)) return false;
    return true;
}

CErrorPtr CAudioProcessBypassStateDef::init() {
    ZEL_TRY(CObject::init());
    if (!readOptionalInt(*this, "id", m_id))
        return ZEL_ERROR("Invalid state identifier '%1' specified.", getAttr("id"));
    m_param = trimText(getAttr("param"));
    if (m_param.empty()) return ZEL_ERROR("Invalid parameter name specified.");
    m_andParam = trimText(getAttr("and-param"));
    m_value = getReal("value", 0.0);
    m_andValue = getReal("and-value", 0.0);
    m_isInverted = getBool("is-inverted", false);
    const CString range = getAttr("range"), andRange = getAttr("and-range");
    m_hasRange = !trimText(range).empty();
    if (m_hasRange && !CBypassRange::parse(range, m_range))
        return ZEL_ERROR("Invalid 'range' attribute value '%1' specified.", range);
    m_hasAndRange = !trimText(andRange).empty();
    if (m_hasAndRange && !CBypassRange::parse(andRange, m_andRange))
        return ZEL_ERROR("Invalid 'and-range' attribute value '%1' specified.", andRange);
    return nullptr;
}

bool CAudioProcessBypassStateDef::evaluate(double v, double w) const {
    constexpr double kTolerance = 0.1;
    bool active;
    if (m_andParam.empty()) {
        active = m_hasRange ? m_range.contains(v) : std::fabs(v - m_value) <= kTolerance;
    } else if (m_hasRange && m_hasAndRange) {
        active = m_range.contains(v) && m_andRange.contains(w);
    } else {
        active = std::fabs(v - m_value) <= kTolerance && std::fabs(w - m_andValue) <= kTolerance;
    }
    return m_isInverted ? !active : active;
}

}  // namespace zel
