// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
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

    // Adds a run unless the same run is already in the set. A run is added
    // once its values are written, so the parameter's version moves on here
    // (wait-free, whatever the thread).
    void add(const CRun& run);
    // Adds every run of `other` that this set does not hold yet.
    void merge(const CAudioParamChangeSet& other);
    const std::vector<CRun>& runs() const { return m_runs; }
    bool empty() const { return m_runs.empty(); }
    void clear() { m_runs.clear(); }

private:
    std::vector<CRun> m_runs;
};

// The hand-over of changed values to the audio thread: per parameter and
// group, the components the group now stores (none: the group is at
// default). Buffers are reused, so a taker that keeps one update object
// stops allocating once it has seen the largest hand-over.
class CAudioParamUpdate {
public:
    struct CEntry {
        CAudioParam* param;
        uint32_t group;
        uint32_t elementCount;
        size_t offset;  // into the component array
        size_t size;    // components
    };

    // Sets the group's components; a newer value replaces an older one.
    void set(CAudioParam* param, uint32_t group, uint32_t elementCount, const double* components, size_t size);
    void merge(const CAudioParamUpdate& other);
    const std::vector<CEntry>& entries() const { return m_entries; }
    const double* components(const CEntry& e) const { return m_components.data() + e.offset; }
    bool empty() const { return m_entries.empty(); }
    void clear() {
        m_entries.clear();
        m_components.clear();
    }

private:
    std::vector<CEntry> m_entries;
    std::vector<double> m_components;
};

}  // namespace zel
