// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamChangeSet.h"

#include <algorithm>

namespace zel {

void CAudioParamChangeSet::add(const CRun& run) {
    if (std::find(m_runs.begin(), m_runs.end(), run) == m_runs.end()) m_runs.push_back(run);
}

void CAudioParamChangeSet::merge(const CAudioParamChangeSet& other) {
    for (const CRun& run : other.m_runs) add(run);
}

}  // namespace zel
