// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Audio/Engine/AudioBuffer.h"
#include "Audio/Engine/AudioModule.h"
#include "Audio/ProcessDef.h"
#include "Core/String.h"

namespace zel {

class CAudioVizCollector;
class CDelayPageKeeper;

// The stream format every process is configured for.
struct CAudioStreamFormat {
    double sampleRate = 0.0;
    size_t maxBlock = 0;
};

// What a process needs from the engine that builds it: the buffer pool, the
// stream format, and the binding of numbered slots to parameters.
class CAudioGraphContext {
public:
    virtual ~CAudioGraphContext() = default;

    virtual CPoolAllocator& pool() = 0;
    virtual const CAudioStreamFormat& format() const = 0;
    // A fresh buffer of maxBlock samples (null only when memory is out).
    CAudioBufferRef newBuffer() { return CAudioBufferRef(CAudioBuffer::create(pool(), format().maxBlock)); }
    // Who supplies the delay lines' pages off the audio thread; without
    // one, lines take their pages from the pool.
    virtual CDelayPageKeeper* pageKeeper() { return nullptr; }
    // Binds slot i to the parameter that the definition's `audio:param-alloc`
    // with index i names, following the remaps of the definition and its
    // enclosing processes. Slots without an allocation stay unbound.
    virtual void bindSlots(const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) = 0;
    // The current value of the parameter `name`, resolved from `scope` (a
    // definition object) as bypass states name theirs; null when unknown.
    virtual const CAudioParamCopy* findParam(const CObject& scope, const CString& name) = 0;
    // The instance's visualisation collector (meters register with it).
    virtual CAudioVizCollector* vizCollector() = 0;
    // A count that moves on whenever a value the slots read may have
    // changed, so that processes need not look at every slot of every
    // module before each block; kUncounted where the context keeps no such
    // count (processes then look every time).
    static constexpr uint64_t kUncounted = 0;
    virtual uint64_t valuesVersion() const { return kUncounted; }
};

// A node of the run-time graph. The enclosing container fills `inputs`
// (per port) from the links, then calls update() and process(); the
// process publishes its channels in `output`.
class CAudioProcessBase {
public:
    static constexpr size_t kMaxChannels = 16;
    static constexpr size_t kPorts = 2;

    CAudioProcessBase();
    virtual ~CAudioProcessBase() = default;

    // Builds the process from its definition, off the audio thread.
    virtual CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx);
    // Clears signal history.
    virtual void reset() {}
    // Takes over parameter and format changes before a block.
    virtual void update() {}
    // Processes one block of n samples (n <= maxBlock).
    virtual void process(size_t) {}
    // The stream format changed: reconfigure on the next update.
    virtual void formatChanged() { m_formatChanged = true; }
    // Latency of the output relative to the graph input, in samples.
    virtual long long latency() const { return 0; }
    // The process is the element of a stack for this channel group: its
    // modules read that group's values.
    virtual void setStackGroup(int) {}
    // The enclosing container bypasses the process from now on (or no
    // longer does): its consumers are to get its port-0 input.
    virtual void bypassChanged(bool) {}
    // Whether the process still has to run although it is bypassed: it is
    // fading over to its input.
    virtual bool keepsRunning() const { return false; }
    // Whether the output is always the port-0 input as it is: a container
    // then hands that input to the consumers and does not run the process.
    virtual bool forwardsInput() const { return false; }
    // Whether the block just processed handed the port-0 input on as it is,
    // and every block will do so until a counted value (valuesVersion())
    // or the channels coming in change: the container then hands the input
    // on without updating or running the process.
    virtual bool passesInputOn() const { return false; }

    const CAudioProcessDefBase* def() const { return m_def; }
    const CString& name() const { return m_name; }

    // Within the process, so that the block walk reaches them without
    // another indirection.
    std::array<CAudioChannels, kPorts> inputs;
    CAudioChannels output;

protected:
    // Whether the format, a slot's value or the channels of port 0 changed
    // since the last call that said so; `layout` keeps the channels seen.
    bool formatValuesOrChannelsChanged(std::vector<CAudioParamSlot>& slots, std::vector<int>& layout);

    const CAudioProcessDefBase* m_def = nullptr;
    CAudioGraphContext* m_ctx = nullptr;
    CString m_name;
    bool m_formatChanged = true;
};

// A process whose signal work is done by one module per input channel
// (delay, gain, bypass, meter). With `is-smooth-update`, a change of a bound
// value moves to a second set of modules that read the new values, over a
// raised-cosine cross-fade of `xfade-length`; otherwise the modules take the
// change themselves. A change of the channel layout rebuilds the modules at
// once. Being bypassed is a switch like any other: the output fades over to
// the input, and back from it when the bypass ends. The modules for every
// channel the process can see are made when it is built; on the audio
// thread a layout only assigns them.
class CAudioModuleProcess : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;
    long long latency() const override;
    void setStackGroup(int group) override { m_fixedGroup = group; }
    void bypassChanged(bool bypassed) override;
    bool keepsRunning() const override { return m_fadeLeft > 0 || m_toInput != m_bypassed; }
    bool passesInputOn() const override;
    // The modules that process the channels now, one per input channel.
    size_t moduleCount() const { return m_count; }
    const CAudioModule& module(size_t i) const { return *(*m_current)[i]; }
    CAudioModule& module(size_t i) { return *(*m_current)[i]; }

protected:
    // One module for one channel ("create module instance").
    virtual std::unique_ptr<CAudioModule> createModule() const = 0;
    // Runs `module` over the block of `in`: either hands the input on
    // (out.buffer = in.buffer) or writes a new buffer from the context.
    // `aux` is the channel of the same internal number on port 1 (a dry or
    // reference input), null when there is none.
    virtual void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux,
                                CAudioChannel& out, size_t n) = 0;
    // Whether processChannel() hands the input on (out.buffer = in.buffer)
    // for as long as the module's values stay as they are.
    virtual bool passesChannelOn(const CAudioModule&) const { return false; }
    // Every module of the process, in use or not.
    template <class F>
    void forEachModule(F f) {
        for (CModuleSet& set : m_sets)
            for (auto& m : set) f(*m);
    }

private:
    using CModuleSet = std::vector<std::unique_ptr<CAudioModule>>;
    // Answers latency() on the host's thread from the definition and the
    // format; the modules themselves belong to the audio thread and exist
    // only once a block has run.
    std::unique_ptr<CAudioModule> m_prototype;
    bool layoutChanged() const;
    void rebuild();
    CErrorPtr makeSet(CModuleSet& set);
    void assign(CModuleSet& set);
    bool smooth() const;
    void updateChanged(bool all);
    void beginFade();
    void startFade();

    // Two sets of kMaxChannels modules (one without smooth update); the
    // first m_count of each are in use.
    CModuleSet m_sets[2];
    CModuleSet* m_current = &m_sets[0];
    CModuleSet* m_previous = &m_sets[1];  // the set faded out, or the spare one
    size_t m_count = 0;
    std::vector<std::pair<int, int>> m_layout;  // channel, group per input
    int m_fixedGroup = -1;                      // -1: each module reads its channel's group
    size_t m_fadeLength = 0;
    size_t m_fadeLeft = 0;
    bool m_bypassed = false;   // what the container wants
    bool m_toInput = false;    // the output is (or fades to) the input
    bool m_fromInput = false;  // the running fade starts from the input
    bool m_started = false;    // update() ran once
    // The context's values version when the slots were last found with no
    // change left to take (m_settled).
    uint64_t m_valuesSeen = 0;
    bool m_settled = false;
    double m_c = 0.0, m_cPrev = 0.0, m_k = 0.0;
};

}  // namespace zel
