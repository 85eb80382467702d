// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

namespace zel {

class CAudioParam;

// The parameter changes of one operation (an apply, a reset, an undo step,
// an editor change): per parameter, the changed runs of elements.
class CAudioParamChangeSet {
public:
    struct CRun {
        CAudioParam* param;
        size_t group;
        size_t firstElement;
        size_t elementCount;
        bool operator==(const CRun& o) const {
            return param == o.param && group == o.group && firstElement == o.firstElement &&
                   elementCount == o.elementCount;
        }
    };

    // Adds a run unless the same run is already in the set.
    void add(const CRun& run);
    // Adds every run of `other` that this set does not hold yet.
    void merge(const CAudioParamChangeSet& other);
    const std::vector<CRun>& runs() const { return m_runs; }
    bool empty() const { return m_runs.empty(); }
    void clear() { m_runs.clear(); }

private:
    std::vector<CRun> m_runs;
};

}  // namespace zel
