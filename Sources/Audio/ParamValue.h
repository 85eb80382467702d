// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "Core/String.h"

namespace zel {

class CAudioParamConverter;

// A parameter value: groups of elements of `elementSize` components, in
// plain units. Groups may differ in length; what a value does not hold is
// at default (see CAudioParamInfo::read).
class CAudioParamValue {
public:
    using CGroup = std::vector<double>;  // elementCount × elementSize components

    explicit CAudioParamValue(unsigned elementSize = 1) : m_elementSize(elementSize ? elementSize : 1) {}

    unsigned elementSize() const { return m_elementSize; }
    size_t groupCount() const { return m_groups.size(); }
    size_t elementCount(size_t group) const {
        return group < m_groups.size() ? m_groups[group].size() / m_elementSize : 0;
    }
    const CGroup& group(size_t g) const { return m_groups[g]; }
    CGroup& group(size_t g) { return m_groups[g]; }
    void addGroup() { m_groups.emplace_back(); }
    void setGroupCount(size_t count) { m_groups.resize(count); }
    void clear() { m_groups.clear(); }
    bool empty() const { return m_groups.empty(); }

    // The stored component, when group, element and component exist.
    bool get(size_t g, size_t e, size_t c, double& out) const {
        if (g >= m_groups.size() || e >= elementCount(g) || c >= m_elementSize) return false;
        out = m_groups[g][e * m_elementSize + c];
        return true;
    }
    // Grows the group and element count as needed; new components are 0.
    void set(size_t g, size_t e, size_t c, double v) {
        if (g >= m_groups.size()) m_groups.resize(g + 1);
        CGroup& grp = m_groups[g];
        if ((e + 1) * m_elementSize > grp.size()) grp.resize((e + 1) * m_elementSize, 0.0);
        grp[e * m_elementSize + c] = v;
    }

    bool operator==(const CAudioParamValue& o) const {
        return m_elementSize == o.m_elementSize && m_groups == o.m_groups;
    }
    bool operator!=(const CAudioParamValue& o) const { return !(*this == o); }

private:
    unsigned m_elementSize;
    std::vector<CGroup> m_groups;
};

// Texts and byte blocks of string and raw parameters live in a per-instance
// table; values hold their ids.
class IAudioDataItems {
public:
    virtual ~IAudioDataItems() = default;
    virtual bool itemText(long long id, CString& out) const = 0;
};

// What a parameter definition becomes after parsing: everything converters,
// filters and editors need to know about it.
struct CAudioParamInfo {
    enum EDataType { kFloat = 0, kString = 1, kRaw = 2 };

    unsigned elementSize = 1;
    EDataType dataType = kFloat;
    std::vector<double> minValues;  // per component, plain units
    std::vector<double> maxValues;
    std::vector<CAudioParamConverter*> converters;  // per component
    // The parameter's own state names (full and at most 7 characters);
    // empty when the converter's apply.
    std::vector<CString> stateNames;
    std::vector<CString> stateShortNames;
    CString visualName;
    bool isSingleGroup = false;
    bool isSingleElement = false;
    bool isStorable = false;
    bool isPersistent = false;
    bool isGlobal = false;
    // For string and raw parameters the default value holds ids 1..n of
    // these texts, in the order the default names them.
    CAudioParamValue defaultValue;
    std::vector<CString> defaultItems;
    // Data items of the instance, for string parameters' texts; may be null.
    const IAudioDataItems* dataItems = nullptr;

    double minValue(size_t c) const { return c < minValues.size() ? minValues[c] : 0.0; }
    double maxValue(size_t c) const { return c < maxValues.size() ? maxValues[c] : 1.0; }

    // Component c of element e of group g of `value`; what the value does
    // not hold comes from the default: element e of the first default group
    // when it has one, else the first default element.
    double read(const CAudioParamValue& value, size_t g, size_t e, size_t c) const {
        double v;
        if (value.get(g, e, c, v)) return v;
        if (defaultValue.get(0, e, c, v)) return v;
        if (defaultValue.get(0, 0, c, v)) return v;
        return 0.0;
    }
};

}  // namespace zel
