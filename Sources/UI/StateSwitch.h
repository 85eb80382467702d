// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Object.h"

namespace zel {

class CParamBridge;

// A parsed `if` condition. The text is a list of condition groups joined
// by "|", of which one must hold; a group is a list of conditions joined
// by "&", all of which must hold; a condition is an optional bridge path,
// "=", an optional "!" and a list of integers joined by ",": it holds when
// the bridged value is (with "!": is not) one of them. Without a path the
// switch's own bridge is meant. An empty text always holds.
class CCondition {
public:
    struct CTest {
        CString bridge;  // empty: the default bridge
        bool negated = false;
        std::vector<long long> values;
    };
    using CGroup = std::vector<CTest>;

    // `hasDefaultBridge` tells whether a condition may leave out the path.
    static CErrorPtr parse(const CString& text, bool hasDefaultBridge, CCondition& out);

    bool isEmpty() const { return m_groups.empty(); }
    const std::vector<CGroup>& groups() const { return m_groups; }

private:
    std::vector<CGroup> m_groups;
};

// `ui:state-data`: one case of a state switch: when its `if` holds, its
// values of `state-attrs` go to `state-target` (default: the switch's
// `target`) and its state `state-tag` is set there, the other cases'
// states unset.
class CStateData : public CObject {
public:
    CErrorPtr init() override;
    const CCondition& condition() const { return m_condition; }

private:
    CCondition m_condition;
};

// `ui:state-switch`: whenever a bridged parameter that its cases look at
// changes, the first `ui:state-data` child whose condition holds applies.
// Values are read at `element` of the group chosen by `group-selector`.
class CStateSwitch : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    bool hasDefaultBridge() const { return !getAttr("bridge").empty(); }
    // Applies the first case that holds; none while a bridge is not ready.
    CErrorPtr evaluate();
    // The case applied last, or null.
    const CStateData* current() const { return m_current; }

private:
    CErrorPtr onParamChange(CObject* params, CObject* sender);
    CErrorPtr bridgeOf(const CString& path, CParamBridge*& out);
    CErrorPtr holds(const CCondition& condition, bool& out, bool& ready);
    CErrorPtr applyCase(const CStateData& data);

    std::vector<CStateData*> m_cases;
    const CStateData* m_current = nullptr;
};

}  // namespace zel
