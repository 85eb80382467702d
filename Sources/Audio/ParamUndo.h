// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Audio/ParamChangeSet.h"
#include "Core/String.h"

namespace zel {

class CAudioParam;
class CAudioParamCollector;

// One user-visible change: per changed parameter its storage record before
// and after, and the runs of elements that changed.
struct CAudioParamUndoRecord {
    struct CParamChange {
        CAudioParam* param = nullptr;
        std::vector<CAudioParamChangeSet::CRun> runs;
        std::vector<uint8_t> before;
        std::vector<uint8_t> after;
    };

    CString name;
    bool merge = false;
    long long mergeId = -1;
    std::vector<CParamChange> changes;

    // Same parameters changed in the same places: what a continuous drag
    // produces step after step.
    bool sameShape(const CAudioParamUndoRecord& other) const;
};

class CAudioParamUndo;

// What keeps an instance's undo history (the editor bridge's base): the
// registries reach the history through it without depending on the bridge.
class CAudioParamUndoOwner {
public:
    virtual CAudioParamUndo& undo() = 0;

protected:
    ~CAudioParamUndoOwner() = default;
};

// The bounded history of undo records of one instance, with the position of
// the next redo. The audio thread never touches it.
class CAudioParamUndo {
public:
    using CRecordPtr = std::shared_ptr<const CAudioParamUndoRecord>;
    // A history that can be put aside and brought back (per program, the
    // other A/B slot). Records are immutable, so copies share them.
    struct CHistory {
        std::deque<CRecordPtr> records;
        size_t position = 0;
    };
    static constexpr const char* kStartEntry = "Undo history start";

    explicit CAudioParamUndo(CAudioParamCollector& collector, long long maxCount = 32);

    // Values below 5 become 4.
    void setMaxCount(long long maxCount);
    size_t maxCount() const { return m_max; }

    void push(CAudioParamUndoRecord record);
    // Undoes or redoes records until `position` records are applied;
    // positions outside 0..count do nothing.
    void moveTo(size_t position);
    // "Undo history start" followed by each record's name, oldest first, and
    // the current position.
    std::vector<CString> history(size_t* position = nullptr) const;
    size_t count() const;
    size_t position() const;

    CHistory snapshot() const;
    void exchange(CHistory& other);
    void restore(const CHistory& history);

    // Called after every change of the history, outside the undo lock.
    void setChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void applyStep(const CAudioParamUndoRecord& record, bool redo);
    void changed();

    CAudioParamCollector& m_collector;
    mutable std::recursive_mutex m_lock;
    CHistory m_history;
    size_t m_max;
    std::function<void()> m_changed;
};

}  // namespace zel
