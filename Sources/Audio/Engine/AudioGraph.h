// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Audio/Engine/AudioProcess.h"

namespace zel {

// Creates the run-time process for a definition: a container for
// `audio:process-def`, the module's process otherwise, wrapped in a stack
// when the definition is stacked. Null for a definition without one.
std::unique_ptr<CAudioProcessBase> createAudioProcess(const CAudioProcessDefBase& def, bool stacked);

// A container process: runs its children once per block in an order where
// every process comes after the processes that feed it. Children are
// chained in document order with `is-auto-links` (except out-of-order
// ones); explicit links add connections. A child whose bypass state is
// active is skipped and its consumers get its port-0 input; a link whose
// bypass state is active carries nothing, and a child fed by nothing does
// no work.
class CAudioProcess final : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;
    void formatChanged() override;
    long long latency() const override;
    void setStackGroup(int group) override;

    // The child named `name`, for tests and the wrapper.
    CAudioProcessBase* child(const CString& name) const;
    // Whether the child is skipped by its bypass state right now.
    bool isBypassed(const CString& name) const;

private:
    struct CLink {
        size_t src;
        size_t dst;
        size_t port;
        int state;  // index into m_states, -1: always active
    };
    struct CState {
        const CAudioProcessBypassStateDef* def;
        const CAudioParamCopy* param;
        const CAudioParamCopy* andParam;
        bool active;
    };

    CErrorPtr addLinks(const CAudioProcessDef& def);
    CErrorPtr addStates(const CAudioProcessDef& def);
    CErrorPtr computeOrder();
    int stateIndex(int id) const;
    bool evaluate(const CState& s) const;
    const CAudioChannels& effectiveOutput(size_t child) const;

    std::vector<std::unique_ptr<CAudioProcessBase>> m_children;
    std::vector<int> m_childState;  // bypass state per child, -1 none
    std::vector<CLink> m_links;
    std::vector<CState> m_states;
    std::vector<size_t> m_order;
    std::vector<bool> m_skip;
    size_t m_chainEnd = 0;  // the child whose output is the container's
    bool m_hasChain = false;
};

// A stacked process: one element per channel group present among its
// input channels, each processing the channels of its group with that
// group's values. Elements of groups that are gone are destroyed with their
// history; groups that appear get fresh elements.
class CAudioProcessStack final : public CAudioProcessBase {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;
    void formatChanged() override;
    long long latency() const override;

    // The element of a group, null when the group has no channel.
    CAudioProcessBase* element(int group) const;
    size_t elementCount() const { return m_elements.size(); }

private:
    struct CElement {
        int group;
        std::unique_ptr<CAudioProcessBase> process;
    };
    std::vector<CElement> m_elements;
    // Elements come and go on the audio thread; this one answers for them
    // on the host's thread.
    std::unique_ptr<CAudioProcessBase> m_probe;
};

}  // namespace zel
