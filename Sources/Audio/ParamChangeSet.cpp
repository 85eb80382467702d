// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamChangeSet.h"

#include <algorithm>

#include "Audio/Param.h"

namespace zel {

void CAudioParamChangeSet::add(const CRun& run) {
    run.param->markChanged();
    if (std::find(m_runs.begin(), m_runs.end(), run) == m_runs.end()) m_runs.push_back(run);
}

void CAudioParamChangeSet::merge(const CAudioParamChangeSet& other) {
    // The runs of `other` moved their versions on when they were added.
    for (const CRun& run : other.m_runs)
        if (std::find(m_runs.begin(), m_runs.end(), run) == m_runs.end()) m_runs.push_back(run);
}

void CAudioParamUpdate::set(CAudioParam* param, uint32_t group, uint32_t elementCount, const double* components,
                            size_t size) {
    for (CEntry& e : m_entries) {
        if (e.param != param || e.group != group) continue;
        if (size <= e.size) {
            std::copy(components, components + size, m_components.begin() + long(e.offset));
        } else {
            e.offset = m_components.size();
            m_components.insert(m_components.end(), components, components + size);
        }
        e.size = size;
        e.elementCount = elementCount;
        return;
    }
    m_entries.push_back({param, group, elementCount, m_components.size(), size});
    m_components.insert(m_components.end(), components, components + size);
}

void CAudioParamUpdate::merge(const CAudioParamUpdate& other) {
    for (const CEntry& e : other.m_entries) set(e.param, e.group, e.elementCount, other.components(e), e.size);
}

}  // namespace zel
