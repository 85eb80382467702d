// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamTransaction.h"

#include <algorithm>

#include "Audio/Param.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "ParamTransaction"

namespace zel {

CAudioParamTransaction::CAudioParamTransaction(CAudioParamCollector& collector) : m_collector(collector) {
    collector.takeOverFromAudio();
}

namespace {

std::vector<uint8_t> record(const CAudioParamStorage& storage) {
    CMemoryWriter out;
    storage.save(out);  // a memory writer does not fail
    return out.bytes();
}

}  // namespace

CAudioParamUndoRecord::CParamChange& CAudioParamTransaction::touch(CAudioParam& p) {
    for (auto& c : m_changes)
        if (c.param == &p) return c;
    CAudioParamUndoRecord::CParamChange change;
    change.param = &p;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        change.before = record(p.storage());
    }
    m_changes.push_back(std::move(change));
    return m_changes.back();
}

void CAudioParamTransaction::changed(CAudioParam& p, size_t group, size_t first, size_t count) {
    const CAudioParamChangeSet::CRun run{&p, group, first, count};
    auto& runs = touch(p).runs;
    if (std::find(runs.begin(), runs.end(), run) == runs.end()) runs.push_back(run);
    m_changeSet.add(run);
    m_collector.runFilters(p, group, m_changeSet);
}

std::vector<size_t> CAudioParamTransaction::counts(const CAudioParam& p) {
    std::vector<size_t> out;
    const CAudioParamValue& v = p.storage().value();
    for (size_t g = 0; g < v.groupCount(); ++g) out.push_back(v.elementCount(g));
    return out;
}

void CAudioParamTransaction::changedAllGroups(CAudioParam& p, const std::vector<size_t>& countsBefore) {
    std::vector<size_t> after;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        after = counts(p);
    }
    // A run covers the elements before and after: elements that went back to
    // their default changed too, and a group that lost them all as well.
    const size_t groups = std::max(countsBefore.size(), after.size());
    for (size_t g = 0; g < groups; ++g) {
        const size_t before = g < countsBefore.size() ? countsBefore[g] : 0;
        changed(p, g, 0, std::max(before, g < after.size() ? after[g] : 0));
    }
}

void CAudioParamTransaction::setElements(CAudioParam& p, size_t group, size_t first,
                                         const std::vector<double>& components) {
    touch(p);
    const size_t esize = p.info().elementSize;
    const size_t count = components.size() / esize;
    if (p.info().isSingleGroup) group = 0;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        for (size_t i = 0; i < count * esize; ++i) {
            const size_t c = i % esize;
            const double lo = std::min(p.info().minValue(c), p.info().maxValue(c));
            const double hi = std::max(p.info().minValue(c), p.info().maxValue(c));
            p.storage().setComponent(group, first + i / esize, c, std::clamp(components[i], lo, hi));
        }
    }
    changed(p, group, first, count);
}

void CAudioParamTransaction::setText(CAudioParam& p, size_t group, size_t element, const CString& text) {
    touch(p);
    if (p.info().isSingleGroup) group = 0;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        p.storage().setText(group, element, text);
    }
    changed(p, group, element, 1);
}

void CAudioParamTransaction::setBytes(CAudioParam& p, size_t group, size_t element, std::vector<uint8_t> bytes) {
    touch(p);
    if (p.info().isSingleGroup) group = 0;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        p.storage().setBytes(group, element, std::move(bytes));
    }
    changed(p, group, element, 1);
}

void CAudioParamTransaction::setDefault(CAudioParam& p) {
    touch(p);
    std::vector<size_t> before;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        before = counts(p);
        p.storage().setDefault();
    }
    changedAllGroups(p, before);
}

CErrorPtr CAudioParamTransaction::loadRecord(CAudioParam& p, CInputStream& in) {
    touch(p);
    std::vector<size_t> before;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        before = counts(p);
        ZEL_TRY(p.storage().load(in));
        p.storage().clamp();
    }
    changedAllGroups(p, before);
    return nullptr;
}

CErrorPtr CAudioParamTransaction::loadRecordIntoGroup(CAudioParam& p, CInputStream& in, size_t group) {
    touch(p);
    if (p.info().isSingleGroup) group = 0;
    size_t count;
    {
        std::lock_guard<std::mutex> lock(p.lock());
        ZEL_TRY(p.storage().loadGroup(in, group));
        p.storage().clamp();
        count = p.storage().value().elementCount(group);
    }
    changed(p, group, 0, count);
    return nullptr;
}

void CAudioParamTransaction::restore(CAudioParam& p, const std::vector<uint8_t>& bytes) {
    CMemoryReaderStatic in(bytes.data(), bytes.size());
    loadRecord(p, in);  // the record was written by this storage: it fits
}

CAudioParamUndoRecord CAudioParamTransaction::finish(const CString& name, bool merge, long long mergeId) {
    CAudioParamUndoRecord out;
    out.name = name;
    out.merge = merge;
    out.mergeId = mergeId;
    for (auto& c : m_changes) {
        {
            std::lock_guard<std::mutex> lock(c.param->lock());
            c.after = record(c.param->storage());
        }
        if (c.after != c.before) out.changes.push_back(std::move(c));
    }
    m_changes.clear();
    if (!m_changeSet.empty()) m_collector.post(m_changeSet);
    m_changeSet.clear();
    return out;
}

}  // namespace zel
