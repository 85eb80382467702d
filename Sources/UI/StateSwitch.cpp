// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/StateSwitch.h"

#include <algorithm>
#include <cmath>

#include "Core/Notify.h"
#include "UI/ParamLink.h"
#include "UI/View.h"

#define ZEL_SOURCE_TAG "StateSwitch"

namespace zel {

namespace {

CString trimmed(const CString& text) {
    size_t from = 0, to = text.length();
    while (from < to && (text.at(from) == u' ' || text.at(from) == u'\t')) ++from;
    while (to > from && (text.at(to - 1) == u' ' || text.at(to - 1) == u'\t')) --to;
    return text.substr(from, to - from);
}

std::vector<CString> split(const CString& text, char16_t separator) {
    std::vector<CString> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.length(); ++i)
        if (i == text.length() || text.at(i) == separator) {
            parts.push_back(trimmed(text.substr(start, i - start)));
            start = i + 1;
        }
    return parts;
}

std::vector<CString> splitNames(const CString& text) {
    std::vector<CString> names;
    for (const CString& part : split(text, u' '))
        if (!part.empty()) names.push_back(part);
    return names;
}

CErrorPtr parseTest(const CString& text, bool hasDefaultBridge, CCondition::CTest& out) {
    const size_t eq = text.find(u'=');
    if (eq == CString::npos) return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_Syntax Invalid 'if' attribute syntax.");
    out.bridge = trimmed(text.substr(0, eq));
    CString values = trimmed(text.substr(eq + 1));
    if (out.bridge.find(u'!') != CString::npos)
        return ZEL_ERROR(
            "@zelstr_CStateSwitch_parseIf_Negation The '!' sign is only allowed before the list of values: '%1'", text);
    if (out.bridge.empty() && !hasDefaultBridge)
        return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_NoBridge Default bridge name is not set.");
    if (values.startsWith("!")) {
        out.negated = true;
        values = trimmed(values.substr(1));
    }
    if (values.empty())
        return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_NoValues Value list cannot be empty: '%1'", text);
    for (const CString& value : split(values, u',')) {
        if (value.empty())
            return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_NoValues Value list cannot be empty: '%1'", text);
        if (value.find(u'!') != CString::npos)
            return ZEL_ERROR(
                "@zelstr_CStateSwitch_parseIf_Negation The '!' sign is only allowed before the list of values: '%1'",
                text);
        long long number;
        if (!parseInt(value, number))
            return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_Integer Invalid integer value '%1'", value);
        out.values.push_back(number);
    }
    return nullptr;
}

}  // namespace

CErrorPtr CCondition::parse(const CString& text, bool hasDefaultBridge, CCondition& out) {
    out.m_groups.clear();
    if (trimmed(text).empty()) return nullptr;
    std::vector<CGroup> groups;
    for (const CString& groupText : split(text, u'|')) {
        if (groupText.empty())
            return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_NoGroups Condition group list cannot be empty: '%1'", text);
        CGroup group;
        for (const CString& testText : split(groupText, u'&')) {
            if (testText.empty())
                return ZEL_ERROR("@zelstr_CStateSwitch_parseIf_NoConditions Condition list cannot be empty: '%1'",
                                 groupText);
            CTest test;
            ZEL_TRY(parseTest(testText, hasDefaultBridge, test));
            group.push_back(std::move(test));
        }
        groups.push_back(std::move(group));
    }
    out.m_groups = std::move(groups);
    return nullptr;
}

// ---------------------------------------------------------------- state-data

CErrorPtr CStateData::init() {
    ZEL_TRY(CObject::init());
    auto* owner = dynamic_cast<CStateSwitch*>(parent());
    if (getAttr("state-attrs").empty() && getAttr("state-tag").empty() &&
        !(owner && !owner->getAttr("state-attrs").empty()))
        return ZEL_ERROR("@zelstr_CStateData_init_Empty Both state-attrs and state-tag are empty in %1", fullName());
    ZEL_TRY(CCondition::parse(getAttr("if"), owner && owner->hasDefaultBridge(), m_condition));
    return nullptr;
}

// ---------------------------------------------------------------- switch

void CStateSwitch::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("param-change", &CStateSwitch::onParamChange);
    info.onAttr("selected-group", &CStateSwitch::evaluate);
}

CErrorPtr CStateSwitch::bridgeOf(const CString& path, CParamBridge*& out) {
    const CString where = path.empty() ? getAttr("bridge") : path;
    out = dynamic_cast<CParamBridge*>(findObject(where));
    if (!out)
        return ZEL_ERROR("@zelstr_CStateSwitch_init_Bridge Unable to find the param bridge '%1' of %2.", where,
                         fullName());
    return nullptr;
}

CErrorPtr CStateSwitch::init() {
    ZEL_TRY(CObject::init());
    m_cases.clear();
    std::vector<CParamBridge*> bridges;
    if (hasDefaultBridge()) {
        CParamBridge* bridge = nullptr;
        ZEL_TRY(bridgeOf(CString(), bridge));
        bridges.push_back(bridge);
    }
    for (const auto& child : children()) {
        auto* data = dynamic_cast<CStateData*>(child.get());
        if (!data) continue;
        m_cases.push_back(data);
        for (const auto& group : data->condition().groups())
            for (const auto& test : group) {
                CParamBridge* bridge = nullptr;
                ZEL_TRY(bridgeOf(test.bridge, bridge));
                if (std::find(bridges.begin(), bridges.end(), bridge) == bridges.end()) bridges.push_back(bridge);
            }
    }
    for (CParamBridge* bridge : bridges) ZEL_TRY(listenObject(bridge, "param-change", "param-change"));
    const CString selector = getAttr("group-selector");
    if (!selector.empty()) ZEL_TRY(setAttrExpanded("selected-group", "{*/" + selector + " selected-group?0}"));
    ZEL_TRY(evaluate());
    return nullptr;
}

CErrorPtr CStateSwitch::onParamChange(CObject*, CObject*) {
    ZEL_TRY(evaluate());
    return nullptr;
}

CErrorPtr CStateSwitch::holds(const CCondition& condition, bool& out, bool& ready) {
    out = condition.isEmpty();
    ready = true;
    const size_t group = size_t(std::max<long long>(0, getInt("selected-group", 0)));
    const size_t element = size_t(std::max<long long>(0, getInt("element", 0)));
    for (const auto& tests : condition.groups()) {
        bool all = true;
        for (const auto& test : tests) {
            CParamBridge* bridge = nullptr;
            ZEL_TRY(bridgeOf(test.bridge, bridge));
            if (!bridge->isReady()) {
                ready = false;
                return nullptr;
            }
            const long long value = std::llround(bridge->value(group, element));
            const bool listed = std::find(test.values.begin(), test.values.end(), value) != test.values.end();
            if (listed == test.negated) all = false;
        }
        if (all) out = true;
    }
    return nullptr;
}

CErrorPtr CStateSwitch::evaluate() {
    if (m_cases.empty()) return nullptr;
    for (const CStateData* data : m_cases) {
        bool holdsNow = false, ready = true;
        ZEL_TRY(holds(data->condition(), holdsNow, ready));
        // Nothing is decided on values that have not arrived yet.
        if (!ready) return nullptr;
        if (!holdsNow) continue;
        if (data != m_current) ZEL_TRY(applyCase(*data));
        return nullptr;
    }
    return nullptr;
}

CErrorPtr CStateSwitch::applyCase(const CStateData& data) {
    m_current = &data;
    const CString targetPath = !data.getAttr("state-target").empty()
                                   ? data.getAttr("state-target")
                                   : (getAttr("target").empty() ? CString("^") : getAttr("target"));
    CObject* target = findObject(targetPath);
    if (!target)
        return ZEL_ERROR("@zelstr_CStateSwitch_apply_Target Unable to find the target '%1' of %2.", targetPath,
                         fullName());
    const CString attrs = data.getAttr("state-attrs").empty() ? getAttr("state-attrs") : data.getAttr("state-attrs");
    for (const CString& attr : splitNames(attrs)) ZEL_TRY(target->setAttr(attr, data.getAttr(attr)));
    auto* view = dynamic_cast<CView*>(target);
    if (!view) return nullptr;
    const double now = CViewBaseState::clock(*this);
    for (const CStateData* other : m_cases)
        if (other != &data && !other->getAttr("state-tag").empty())
            ZEL_TRY(view->states().set(other->getAttr("state-tag"), false, now));
    if (!data.getAttr("state-tag").empty()) ZEL_TRY(view->states().set(data.getAttr("state-tag"), true, now));
    return nullptr;
}

}  // namespace zel
