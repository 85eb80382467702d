// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Audio/AudioEnv.h"
#include "Audio/ParamChangeSet.h"
#include "Audio/ParamDef.h"
#include "Audio/ParamFilters/ParamFilter.h"
#include "Audio/ParamStorage.h"
#include "Core/Object.h"

namespace zel {

// A parameter of one plug-in instance: its definition's information and its
// current value. The value lives here once; everything else reads it.
class CAudioParam final : public CObject {
public:
    explicit CAudioParam(const CAudioParamDef& def);

    const CAudioParamDef& def() const { return m_def; }
    const CAudioParamInfo& info() const { return m_def.info(); }
    // Callers hold lock() while they read or write the storage.
    CAudioParamStorage& storage() { return m_storage; }
    const CAudioParamStorage& storage() const { return m_storage; }
    std::mutex& lock() const { return m_lock; }
    // Counts the changes of the value, starting at 1: whoever shows the
    // value compares it with the version it showed last, without a lock.
    uint64_t version() const { return m_version.load(std::memory_order_acquire); }
    // After the change is written; wait-free, so the audio thread may call it.
    void markChanged() { m_version.fetch_add(1, std::memory_order_acq_rel); }

private:
    const CAudioParamDef& m_def;
    CAudioParamStorage m_storage;
    mutable std::mutex m_lock;
    std::atomic<uint64_t> m_version{1};
};

// `audio:param-collector`: creates the instance's parameters from the
// definitions of the shared "audio" section, mirrored under the instance's
// plug-in object ("audio.modMain.x" becomes "plugin.modMain.x"), and finds
// them by full name. It also binds the parameter filters of those
// definitions to the instance's parameters.
class CAudioParamCollector final : public CObject {
public:
    CErrorPtr init() override;

    CAudioParam* find(const CString& fullName) const;
    // A parameter that code adds under `target`, named `name`, from an
    // existing definition (several parameters may share one template
    // definition). Adding the same name from the same definition again
    // returns the parameter that exists.
    CErrorPtr addParam(const CAudioParamDef& def, CObject& target, const CString& name, CAudioParam*& out);
    const std::map<CString, CAudioParam*>& params() const { return m_params; }

    // Hands the values of a change set's groups to the audio thread: a
    // snapshot is taken under each parameter's lock and joins the update
    // waiting for the audio thread, which takes it without a lock.
    void post(const CAudioParamChangeSet& changes);
    // Called after every post() with the changes, on the poster's thread
    // (the host layer reports host parameters from it).
    void setChangeListener(std::function<void(const CAudioParamChangeSet&)> listener) {
        m_listener = std::move(listener);
    }
    // Called in every post() before the values are handed over, on the
    // poster's thread, once the parameters hold them (the engine prepares
    // what they will need on the audio thread).
    void setHandOverHook(std::function<void()> hook) { m_beforeHandOver = std::move(hook); }
    // The audio thread's side, wait-free: the update waiting for it (null
    // when none), which it hands back with releasePending() once applied.
    const CAudioParamUpdate* acquirePending();
    void releasePending(const CAudioParamUpdate* update);
    // The same for other threads: a copy of the waiting update.
    void takePending(CAudioParamUpdate& out);
    CAudioEnv* audioEnv() const { return m_env; }

    // Host automation that the audio thread has already applied to its own
    // values. Each element the host automates gets a slot, made off the
    // audio thread; the audio thread sets the slot's latest value,
    // wait-free, and another thread writes the values set since it last
    // looked into the parameters, runs their filters and returns the
    // changes, without handing them back. Every transaction takes them over
    // before it writes.
    size_t addHostSlot(CAudioParam& param, size_t group, size_t element);
    void setFromAudio(size_t slot, double plain);
    CAudioParamChangeSet takeOverFromAudio();

    // Runs every filter that reads `source`, for its group `group`, and adds
    // the destinations' changed elements to `changes`. Takes the source's
    // lock, then the destination's.
    void runFilters(CAudioParam& source, size_t group, CAudioParamChangeSet& changes);

    struct CFilterBinding {
        const CAudioParamFilter* filter;
        CAudioParam* source;
        CAudioParam* destination;
    };
    // Every bound filter, for an engine that derives values on its own.
    std::vector<CFilterBinding> filterBindings() const;

private:
    struct CBoundFilter {
        std::unique_ptr<CAudioParamFilter> filter;
        CAudioParam* source;
        CAudioParam* destination;
    };
    CErrorPtr mirror(const CObject& defs, CObject& target);
    CErrorPtr bindFilter(const CAudioParamFilterDef& def, const CObject& target);

    std::map<CString, CAudioParam*> m_params;
    std::vector<std::pair<const CAudioParamFilterDef*, const CObject*>> m_filterDefs;
    std::vector<CBoundFilter> m_filters;
    struct CHandOver {
        CAudioParamUpdate update;
        std::atomic<bool> busy{false};  // waiting or with the audio thread
    };
    struct CHostSlot {
        CAudioParam* param;
        size_t group;
        size_t element;
        std::atomic<double> plain{0.0};
        std::atomic<bool> pending{false};
    };

    void snapshot(const CAudioParamChangeSet& changes, CAudioParamUpdate& out);
    void handOver(const CAudioParamUpdate& update);

    CAudioEnv* m_env = nullptr;
    std::function<void(const CAudioParamChangeSet&)> m_listener;
    std::function<void()> m_beforeHandOver;
    // One hand-over waits, the audio thread holds at most one: a third is
    // always free for the next.
    std::array<CHandOver, 3> m_handOvers;
    std::atomic<CHandOver*> m_waiting{nullptr};
    std::mutex m_postLock;              // posting threads only, never the audio thread
    std::deque<CHostSlot> m_hostSlots;  // made before processing starts
};

}  // namespace zel
