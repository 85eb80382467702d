// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Param.h"

#include <algorithm>

#include "Core/Application.h"

#define ZEL_SOURCE_TAG "Param"

namespace zel {

CAudioParam::CAudioParam(const CAudioParamDef& def) : m_def(def), m_storage(def.info()) { m_storage.setDefault(); }

CErrorPtr CAudioParamCollector::init() {
    ZEL_TRY(CObject::init());
    // The instance's plug-in object is the collector's parent; its name is
    // what the shared "audio" section calls the plug-in tag.
    CObject* plugin = parent();
    const CObject* audio = CApplication::sharedObject() ? CApplication::sharedObject()->findChild("audio") : nullptr;
    if (!plugin || !audio)
        return ZEL_ERROR("@zelstr_CAudioParamCollector_init_NoDefinitions No parameter definitions available.");
    m_params.clear();
    m_filterDefs.clear();
    m_filters.clear();
    ZEL_TRY(findObjectChecked("^audio-env", m_env));
    ZEL_TRY(mirror(*audio, *plugin));
    for (const auto& [def, target] : m_filterDefs) ZEL_TRY(bindFilter(*def, *target));
    m_filterDefs.clear();
    return nullptr;
}

CErrorPtr CAudioParamCollector::bindFilter(const CAudioParamFilterDef& def, const CObject& target) {
    // Names are relative to the filter's parent, which the target mirrors.
    std::vector<CAudioParam*> sources, destinations;
    for (const CString& name : def.sources()) {
        CAudioParam* p = find(target.fullName() + "." + name);
        if (!p)
            return ZEL_ERROR(
                "@zelstr_CAudioParamCollector_bindFilter_NoParam Parameter '%1' of the param filter '%2' not found.",
                name, def.fullName());
        sources.push_back(p);
    }
    for (const CString& name : def.destinations()) {
        CAudioParam* p = find(target.fullName() + "." + name);
        if (!p)
            return ZEL_ERROR(
                "@zelstr_CAudioParamCollector_bindFilter_NoParam Parameter '%1' of the param filter '%2' not found.",
                name, def.fullName());
        destinations.push_back(p);
    }
    std::unique_ptr<CAudioParamFilter> filter = def.createFilter();
    std::vector<const CAudioParamStorage*> src;
    std::vector<CAudioParamStorage*> dst;
    for (CAudioParam* p : sources) src.push_back(&p->storage());
    for (CAudioParam* p : destinations) dst.push_back(&p->storage());
    ZEL_TRY(filter->bind(std::move(src), std::move(dst)));
    // Derived values start consistent with their sources' defaults.
    for (size_t g = 0; g < std::max<size_t>(1, sources[0]->storage().value().groupCount()); ++g) filter->apply(int(g));
    m_filters.push_back({std::move(filter), sources[0], destinations[0]});
    return nullptr;
}

void CAudioParamCollector::runFilters(CAudioParam& source, size_t group, CAudioParamChangeSet& changes) {
    for (CBoundFilter& f : m_filters) {
        if (f.source != &source) continue;
        {
            std::lock_guard<std::mutex> srcLock(source.lock());
            std::lock_guard<std::mutex> dstLock(f.destination->lock());
            f.filter->apply(int(group));
        }
        const size_t g = f.destination->info().isSingleGroup ? 0 : group;
        changes.add({f.destination, g, 0, 1});
    }
}

void CAudioParamCollector::snapshot(const CAudioParamChangeSet& changes, CAudioParamUpdate& update) {
    update.clear();
    for (const auto& run : changes.runs()) {
        std::lock_guard<std::mutex> lock(run.param->lock());
        const CAudioParamValue& v = run.param->storage().value();
        const bool stored = run.group < v.groupCount();
        const double* data = stored ? v.group(run.group).data() : nullptr;
        const size_t size = stored ? v.group(run.group).size() : 0;
        update.set(run.param, uint32_t(run.group), uint32_t(stored ? v.elementCount(run.group) : 0), data, size);
    }
}

void CAudioParamCollector::post(const CAudioParamChangeSet& changes) {
    if (m_beforeHandOver) m_beforeHandOver();
    CAudioParamUpdate update;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        snapshot(changes, update);
        handOver(update);
    }
    if (m_listener) m_listener(changes);
}

void CAudioParamCollector::handOver(const CAudioParamUpdate& update) {
    if (update.empty()) return;
    // A hand-over the audio thread has not taken yet takes the new values
    // too; otherwise a free one carries them.
    if (CHandOver* waiting = m_waiting.exchange(nullptr, std::memory_order_acq_rel)) {
        waiting->update.merge(update);
        m_waiting.store(waiting, std::memory_order_release);
        return;
    }
    for (CHandOver& h : m_handOvers) {
        if (h.busy.load(std::memory_order_acquire)) continue;
        h.busy.store(true, std::memory_order_relaxed);
        h.update.clear();
        h.update.merge(update);
        m_waiting.store(&h, std::memory_order_release);
        return;
    }
}

const CAudioParamUpdate* CAudioParamCollector::acquirePending() {
    // Mostly nothing waits: a load spares the audio thread the exchange,
    // which waits for every store of the block before it to land.
    if (!m_waiting.load(std::memory_order_relaxed)) return nullptr;
    CHandOver* waiting = m_waiting.exchange(nullptr, std::memory_order_acq_rel);
    return waiting ? &waiting->update : nullptr;
}

void CAudioParamCollector::releasePending(const CAudioParamUpdate* update) {
    for (CHandOver& h : m_handOvers)
        if (&h.update == update) h.busy.store(false, std::memory_order_release);
}

void CAudioParamCollector::takePending(CAudioParamUpdate& out) {
    out.clear();
    if (const CAudioParamUpdate* pending = acquirePending()) {
        out.merge(*pending);
        releasePending(pending);
    }
}

size_t CAudioParamCollector::addHostSlot(CAudioParam& param, size_t group, size_t element) {
    CHostSlot& slot = m_hostSlots.emplace_back();
    slot.param = &param;
    slot.group = group;
    slot.element = element;
    return m_hostSlots.size() - 1;
}

void CAudioParamCollector::setFromAudio(size_t slot, double plain) {
    if (slot >= m_hostSlots.size()) return;
    m_hostSlots[slot].plain.store(plain, std::memory_order_relaxed);
    m_hostSlots[slot].pending.store(true, std::memory_order_release);
}

CAudioParamChangeSet CAudioParamCollector::takeOverFromAudio() {
    CAudioParamChangeSet changes;
    std::lock_guard<std::mutex> lock(m_postLock);
    // Only the latest value of each slot matters to the parameters.
    for (CHostSlot& slot : m_hostSlots) {
        if (!slot.pending.exchange(false, std::memory_order_acquire)) continue;
        {
            std::lock_guard<std::mutex> paramLock(slot.param->lock());
            slot.param->storage().setComponent(slot.group, slot.element, 0, slot.plain.load(std::memory_order_relaxed));
        }
        changes.add({slot.param, slot.group, slot.element, 1});
        runFilters(*slot.param, slot.group, changes);
    }
    return changes;
}

std::vector<CAudioParamCollector::CFilterBinding> CAudioParamCollector::filterBindings() const {
    std::vector<CFilterBinding> out;
    for (const CBoundFilter& f : m_filters) out.push_back({f.filter.get(), f.source, f.destination});
    return out;
}

CErrorPtr CAudioParamCollector::mirror(const CObject& defs, CObject& target) {
    for (const auto& child : defs.children()) {
        if (auto* filter = dynamic_cast<const CAudioParamFilterDef*>(child.get())) {
            m_filterDefs.emplace_back(filter, &target);
            continue;
        }
        if (auto* def = dynamic_cast<const CAudioParamDef*>(child.get())) {
            if (target.findChild(def->name())) continue;
            auto param = std::make_unique<CAudioParam>(*def);
            param->setName(def->name());
            CAudioParam* raw = param.get();
            ZEL_TRY(target.addChild(std::move(param)));
            m_params[raw->fullName()] = raw;
            continue;
        }
        if (child->children().empty() || child->name().empty()) continue;
        // Converters and other shared objects are not parameters; only
        // containers that hold parameters somewhere below are mirrored.
        CObject* node = target.findChild(child->name());
        std::unique_ptr<CObject> made;
        if (!node) {
            made = std::make_unique<CObject>();
            made->setName(child->name());
            node = made.get();
            ZEL_TRY(target.addChild(std::move(made)));
        }
        const size_t before = m_params.size(), filtersBefore = m_filterDefs.size();
        ZEL_TRY(mirror(*child, *node));
        if (m_params.size() == before && m_filterDefs.size() == filtersBefore && node->children().empty())
            target.removeChild(node);
    }
    return nullptr;
}

CErrorPtr CAudioParamCollector::addParam(const CAudioParamDef& def, CObject& target, const CString& name,
                                         CAudioParam*& out) {
    out = nullptr;
    if (CObject* existing = target.findChild(name)) {
        auto* param = dynamic_cast<CAudioParam*>(existing);
        if (!param || &param->def() != &def)
            return ZEL_ERROR("@zelstr_CAudioParamCollector_addParam_Exists Object '%1' already exists.",
                             existing->fullName());
        m_params[param->fullName()] = param;
        out = param;
        return nullptr;
    }
    auto param = std::make_unique<CAudioParam>(def);
    param->setName(name);
    CAudioParam* raw = param.get();
    ZEL_TRY(target.addChild(std::move(param)));
    m_params[raw->fullName()] = raw;
    out = raw;
    return nullptr;
}

CAudioParam* CAudioParamCollector::find(const CString& fullName) const {
    auto it = m_params.find(fullName);
    return it == m_params.end() ? nullptr : it->second;
}

}  // namespace zel
