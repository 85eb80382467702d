// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"

namespace zel {

// What every process definition of the graph declares: how it is stacked,
// chained, bypassed and smoothed.
class CAudioProcessDefBase : public CObject {
public:
    static constexpr int kNoBypassState = -1;

    CErrorPtr init() override;

    bool isSmoothUpdate() const { return m_isSmoothUpdate; }
    bool isStacked() const { return m_isStacked; }
    bool isCompInput() const { return m_isCompInput; }
    bool isOutOfOrder() const { return m_isOutOfOrder; }
    int bypassStateId() const { return m_bypassStateId; }
    double xfadeLength() const { return m_xfadeLength; }

private:
    bool m_isSmoothUpdate = false;
    bool m_isStacked = false;
    bool m_isCompInput = false;
    bool m_isOutOfOrder = false;
    int m_bypassStateId = kNoBypassState;
    double m_xfadeLength = 0.0;
};

// `audio:process-def`: a container of processes, parameters, filters,
// links and bypass states.
class CAudioProcessDef final : public CAudioProcessDefBase {
public:
    CErrorPtr init() override;
    bool isAutoLinks() const { return m_isAutoLinks; }

private:
    bool m_isAutoLinks = false;
};

// The module definitions; their run-time processes belong to the engine.
class CModRouterDef final : public CAudioProcessDefBase {};
class CModNodeDef final : public CAudioProcessDefBase {};
class CModMSCoderDef final : public CAudioProcessDefBase {};
class CModDelayDef final : public CAudioProcessDefBase {};
class CModGainDef final : public CAudioProcessDefBase {};
class CModBypassDef final : public CAudioProcessDefBase {};
class CModMeterDef final : public CAudioProcessDefBase {};
class CModOutputDef final : public CAudioProcessDefBase {};

// `audio:process-link`: "process[/port]" to "process[/port]".
class CAudioProcessLinkDef final : public CObject {
public:
    CErrorPtr init() override;

    const CString& srcProcess() const { return m_srcProcess; }
    int srcPort() const { return m_srcPort; }
    const CString& dstProcess() const { return m_dstProcess; }
    int dstPort() const { return m_dstPort; }
    // -1 when the link always carries audio.
    int bypassStateId() const { return m_bypassStateId; }

private:
    CString m_srcProcess, m_dstProcess;
    int m_srcPort = 0, m_dstPort = 0;
    int m_bypassStateId = -1;
};

// An integer interval over round(v / step). Written "[a,b]": "[" or "]" on
// the inside makes an end inclusive, "(" or ")" exclusive, an empty end is
// open; an optional "/step" follows (step 1 by default).
struct CBypassRange {
    bool hasLow = false, hasHigh = false;
    bool lowInclusive = true, highInclusive = true;
    long long low = 0, high = 0;
    double step = 1.0;

    static bool parse(const CString& text, CBypassRange& out);
    bool contains(double v) const;
};

// `audio:process-bypass-state`: a condition over one or two parameters.
class CAudioProcessBypassStateDef final : public CObject {
public:
    CErrorPtr init() override;

    int id() const { return m_id; }
    const CString& param() const { return m_param; }
    const CString& andParam() const { return m_andParam; }
    // Whether the state is active for these parameter values.
    bool evaluate(double v, double w = 0.0) const;

private:
    int m_id = -1;
    CString m_param, m_andParam;
    double m_value = 0.0, m_andValue = 0.0;
    bool m_hasRange = false, m_hasAndRange = false;
    CBypassRange m_range, m_andRange;
    bool m_isInverted = false;
};

}  // namespace zel
