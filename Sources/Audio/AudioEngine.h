// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Audio/Engine/AudioGraph.h"
#include "Audio/Modules/DelayPageKeeper.h"
#include "Audio/ParamChangeSet.h"
#include "Core/Object.h"

namespace zel {

class CAudioEnv;
class CAudioParam;
class CAudioParamCollector;
class CAudioParamFilter;
class CModOutput;

// The engine of one plug-in instance without a host: builds the process
// graph `plugin.modMain` from the shared definitions, is sized for a sample
// rate and a maximum block, takes over pending parameter changes at block
// boundaries and processes blocks of double samples. Tests, benchmarks and
// the host wrapper drive the instance through it.
//
// Phases: build (any thread), setFormat (off the audio thread), then
// process on the audio thread, one thread at a time.
class CAudioEngine final : public CAudioGraphContext {
public:
    static constexpr size_t kMaxBlock = 512;

    CAudioEngine();
    ~CAudioEngine() override;

    // `plugin` is the instance's plug-in object (the `plugin` template
    // instantiated and initialised).
    CErrorPtr build(CObject& plugin);
    // Drops the graph and everything bound to the instance, before the
    // instance goes; build may run again afterwards.
    void release();
    // Sizes the engine; blocks longer than `maxBlock` (at most kMaxBlock)
    // are split.
    void setFormat(double sampleRate, size_t maxBlock);
    void reset();
    // Takes the collector's pending changes over into the audio-side values.
    void takeChanges();
    // Host automation on the audio thread: element `element` of group
    // `group` of `param` becomes `plain` in the audio-side values at once,
    // and so do the values the parameter's filters derive from it. Without
    // locks or allocation; the registry hears of it through the collector.
    void applyHostValue(CAudioParam& param, size_t group, size_t element, double plain);
    // Processes n samples from `numIn` host inputs into `numOut` host
    // outputs, single or double precision (float or double); outputs
    // without a source get zeros. A null input reads as silence, a null
    // output is left alone.
    template <class T>
    void process(const T* const* in, size_t numIn, T* const* out, size_t numOut, size_t n);

    long long latency() const;
    CAudioProcess& graph() { return *m_graph; }
    size_t heapAllocations() const { return m_pool.heapAllocations(); }

    // CAudioGraphContext
    CPoolAllocator& pool() override { return m_pool; }
    CDelayPageKeeper* pageKeeper() override { return &m_pageKeeper; }
    const CAudioStreamFormat& format() const override { return m_format; }
    void bindSlots(const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) override;
    const CAudioParamCopy* findParam(const CObject& scope, const CString& name) override;
    CAudioVizCollector* vizCollector() override { return m_viz; }
    uint64_t valuesVersion() const override { return m_valuesVersion; }

private:
    // The instance parameter a module parameter reads, after remaps.
    CAudioParam* resolve(const CObject& def, const CString& name) const;
    CAudioParam* runTimeParam(const CString& definitionName) const;
    // The audio-side copy of a parameter; created only while building.
    CAudioParamCopy* copyOf(CAudioParam* param);
    void prepareCopies(const CObject& def);
    CAudioParamCopy* findCopy(const CAudioParam* param) const;
    // For the page keeper, off the audio thread: a slot's value as the
    // instance holds it, and the channels a group can have with the
    // current routing and host inputs.
    double instanceValue(const CAudioParamSlot& slot, size_t group, double fallback) const;
    size_t groupChannels(int group) const;
    template <class T>
    void processBlock(const T* const* in, size_t numIn, T* const* out, size_t numOut, size_t offset, size_t n);

    CPoolAllocator m_pool;
    CAudioStreamFormat m_format;
    CObject* m_plugin = nullptr;
    CAudioParamCollector* m_collector = nullptr;
    CAudioEnv* m_env = nullptr;
    CAudioVizCollector* m_viz = nullptr;
    CString m_definitionRoot;
    bool m_building = false;  // "audio": the shared section the graph comes from
    std::map<CAudioParam*, std::unique_ptr<CAudioParamCopy>> m_copies;
    std::vector<std::pair<CAudioParam*, CAudioParamCopy*>> m_copyIndex;  // sorted, for the audio thread
    struct CDerivation {
        const CAudioParamFilter* filter;
        const CAudioParam* source;
        CAudioParamCopy* sourceCopy;
        CAudioParamCopy* destinationCopy;
    };
    std::vector<CDerivation> m_derivations;
    // Moves on with every change the audio side takes over.
    uint64_t m_valuesVersion = 1;
    std::unique_ptr<CAudioProcess> m_graph;
    std::unique_ptr<CAudioProcessBase> m_output;
    // The delay pages' keeper; it serves the graph, so it stops first.
    CDelayPageKeeper m_pageKeeper;
    std::vector<std::pair<const CAudioParamCopy*, CAudioParam*>> m_paramOfCopy;  // sorted
    CAudioParam* m_inRouting = nullptr;
    CAudioParam* m_grouping = nullptr;
    std::atomic<size_t> m_hostInputs{0};  // of the last block; 0: none seen yet
    size_t m_bufferHolders = 0;
};

}  // namespace zel
