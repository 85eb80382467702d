// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Audio/Engine/AudioBuffer.h"
#include "Audio/Engine/AudioModule.h"
#include "Audio/ProcessDef.h"
#include "Core/String.h"

namespace zel {

class CAudioVizCollector;

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
    // Binds slot i to the parameter that the definition's `audio:param-alloc`
    // with index i names, following the remaps of the definition and its
    // enclosing processes. Slots without an allocation stay unbound.
    virtual void bindSlots(const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) = 0;
    // The current value of the parameter `name`, resolved from `scope` (a
    // definition object) as bypass states name theirs; null when unknown.
    virtual const CAudioParamCopy* findParam(const CObject& scope, const CString& name) = 0;
    // The instance's visualisation collector (meters register with it).
    virtual CAudioVizCollector* vizCollector() = 0;
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

    const CAudioProcessDefBase* def() const { return m_def; }
    const CString& name() const { return m_name; }

    std::vector<CAudioChannels> inputs;
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
// once.
class CAudioModuleProcess : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;
    long long latency() const override;
    void setStackGroup(int group) override { m_fixedGroup = group; }

protected:
    // One module for one channel ("create module instance").
    virtual std::unique_ptr<CAudioModule> createModule() const = 0;
    // Runs `module` over the block of `in`: either hands the input on
    // (out.buffer = in.buffer) or writes a new buffer from the context.
    // `aux` is the channel of the same internal number on port 1 (a dry or
    // reference input), null when there is none.
    virtual void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux,
                                CAudioChannel& out, size_t n) = 0;

private:
    using CModuleSet = std::vector<std::unique_ptr<CAudioModule>>;
    // Answers latency() on the host's thread from the definition and the
    // format; the modules themselves belong to the audio thread and exist
    // only once a block has run.
    std::unique_ptr<CAudioModule> m_prototype;
    bool layoutChanged() const;
    CErrorPtr rebuild();
    CErrorPtr makeSet(CModuleSet& set);
    void startFade();

    CModuleSet m_current;
    CModuleSet m_previous;  // the set faded out, or the spare one
    std::vector<std::pair<int, int>> m_layout;  // channel, group per input
    int m_fixedGroup = -1;  // -1: each module reads its channel's group
    size_t m_fadeLength = 0;
    size_t m_fadeLeft = 0;
    bool m_fadePending = false;
    double m_c = 0.0, m_cPrev = 0.0, m_k = 0.0;
};

}  // namespace zel
