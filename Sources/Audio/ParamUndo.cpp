// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamUndo.h"

#include "Audio/ParamTransaction.h"

#define ZEL_SOURCE_TAG "ParamUndo"

namespace zel {

bool CAudioParamUndoRecord::sameShape(const CAudioParamUndoRecord& other) const {
    if (changes.size() != other.changes.size()) return false;
    for (size_t i = 0; i < changes.size(); ++i) {
        const CParamChange& a = changes[i];
        const CParamChange& b = other.changes[i];
        if (a.param != b.param || a.runs != b.runs) return false;
    }
    return true;
}

CAudioParamUndo::CAudioParamUndo(CAudioParamCollector& collector, long long maxCount) : m_collector(collector) {
    setMaxCount(maxCount);
}

void CAudioParamUndo::setMaxCount(long long maxCount) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_max = maxCount < 5 ? 4 : size_t(maxCount);
}

void CAudioParamUndo::push(CAudioParamUndoRecord record) {
    if (record.changes.empty()) return;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        auto& records = m_history.records;
        if (!records.empty() && m_history.position == records.size() && records.back()->merge && record.merge &&
            records.back()->mergeId == record.mergeId && records.back()->sameShape(record)) {
            // The drag goes on: the entry keeps where it started and takes
            // where it is now.
            auto merged = std::make_shared<CAudioParamUndoRecord>(*records.back());
            for (size_t i = 0; i < merged->changes.size(); ++i)
                merged->changes[i].after = std::move(record.changes[i].after);
            records.back() = std::move(merged);
        } else {
            records.erase(records.begin() + long(m_history.position), records.end());
            while (records.size() >= m_max) records.pop_front();
            records.push_back(std::make_shared<const CAudioParamUndoRecord>(std::move(record)));
        }
        m_history.position = records.size();
    }
    changed();
}

void CAudioParamUndo::moveTo(size_t target) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (target > m_history.records.size() || target == m_history.position) return;
        while (m_history.position < target) applyStep(*m_history.records[m_history.position++], true);
        while (m_history.position > target) applyStep(*m_history.records[--m_history.position], false);
    }
    changed();
}

void CAudioParamUndo::applyStep(const CAudioParamUndoRecord& record, bool redo) {
    CAudioParamTransaction step(m_collector);
    for (const auto& change : record.changes) step.restore(*change.param, redo ? change.after : change.before);
    step.finish(record.name);
}

std::vector<CString> CAudioParamUndo::history(size_t* position) const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<CString> out{CString(kStartEntry)};
    for (const auto& r : m_history.records) out.push_back(r->name);
    if (position) *position = m_history.position;
    return out;
}

size_t CAudioParamUndo::count() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_history.records.size();
}

size_t CAudioParamUndo::position() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_history.position;
}

CAudioParamUndo::CHistory CAudioParamUndo::snapshot() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_history;
}

void CAudioParamUndo::exchange(CHistory& other) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        std::swap(m_history, other);
    }
    changed();
}

void CAudioParamUndo::restore(const CHistory& history) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        m_history = history;
    }
    changed();
}

void CAudioParamUndo::changed() {
    if (m_changed) m_changed();
}

}  // namespace zel
