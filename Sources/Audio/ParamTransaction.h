// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Audio/ParamChangeSet.h"
#include "Audio/ParamUndo.h"
#include "Core/Stream.h"

namespace zel {

class CAudioParam;
class CAudioParamCollector;

// The value changes of one operation (an editor gesture, a host change, a
// preset apply, a reset, an undo step). Every change runs the filters of the
// changed group at once; each touched parameter's value before its first
// change is kept, so that finish() can describe the whole operation as one
// undo record and hand the changed runs to the audio thread in one set.
// Each method takes the parameter's own lock while it reads or writes.
class CAudioParamTransaction {
public:
    // Host automation the audio thread applied so far is taken over first,
    // so that this change comes after it.
    explicit CAudioParamTransaction(CAudioParamCollector& collector);

    // Elements first.. of group g from `components` (element size each),
    // clamped into the parameter's range.
    void setElements(CAudioParam& p, size_t group, size_t first, const std::vector<double>& components);
    // Element e of group g of a string parameter.
    void setText(CAudioParam& p, size_t group, size_t element, const CString& text);
    // Element e of group g of a raw parameter.
    void setBytes(CAudioParam& p, size_t group, size_t element, std::vector<uint8_t> bytes);
    void setDefault(CAudioParam& p);
    // A storage record replaces the whole value, clamped; on failure the
    // value stays as it was.
    CErrorPtr loadRecord(CAudioParam& p, CInputStream& in);
    // A one-group storage record becomes group g, the other groups stay.
    CErrorPtr loadRecordIntoGroup(CAudioParam& p, CInputStream& in, size_t group);
    // Puts back a value kept by an undo record.
    void restore(CAudioParam& p, const std::vector<uint8_t>& record);

    bool empty() const { return m_changes.empty(); }
    const CAudioParamChangeSet& changeSet() const { return m_changeSet; }

    // Posts the changed runs to the audio thread and returns the undo record
    // (its change list is empty when nothing changed).
    CAudioParamUndoRecord finish(const CString& name, bool merge = false, long long mergeId = -1);

private:
    CAudioParamUndoRecord::CParamChange& touch(CAudioParam& p);
    // Records the run and runs the filters that read the parameter.
    void changed(CAudioParam& p, size_t group, size_t first, size_t count);
    // Per group, the element count before a whole-value change.
    static std::vector<size_t> counts(const CAudioParam& p);
    void changedAllGroups(CAudioParam& p, const std::vector<size_t>& countsBefore);

    CAudioParamCollector& m_collector;
    std::vector<CAudioParamUndoRecord::CParamChange> m_changes;
    CAudioParamChangeSet m_changeSet;
};

}  // namespace zel
