// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
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
// active is skipped, once it has faded over, and its consumers get its
// port-0 input; a link whose
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
        // The parameter versions `active` was evaluated for.
        uint64_t version = 0, andVersion = 0;
    };

    CErrorPtr addLinks(const CAudioProcessDef& def);
    CErrorPtr addStates(const CAudioProcessDef& def);
    CErrorPtr computeOrder();
    int stateIndex(int id) const;
    bool evaluate(const CState& s) const;
    // Whether a link carries channels now (its bypass state is not active).
    bool carries(const CLink& link) const;
    // What a skipped or forwarding child hands on in this block: its port-0
    // input, or the one source of that input itself.
    const CAudioChannels* passedOn(size_t child);

    std::vector<std::unique_ptr<CAudioProcessBase>> m_children;
    std::vector<int> m_childState;  // bypass state per child, -1 none
    std::vector<CLink> m_links;
    std::vector<CState> m_states;
    std::vector<size_t> m_order;
    std::vector<std::vector<size_t>> m_linksInto;  // per child, the links it receives
    size_t m_inputChild = 0;                       // the child that takes the container's input (with a chain)
    std::vector<size_t> m_gated;                   // the children with a bypass state
    // Bytes rather than bits: read for every child and link on every block.
    std::vector<uint8_t> m_skip;
    std::vector<uint8_t> m_bypassed;  // by its bypass state, fading or not
    std::vector<uint8_t> m_forwards;  // hands its input on (forwardsInput())
    // Per child, where its consumers find its channels in this block.
    std::vector<const CAudioChannels*> m_outputOf;
    size_t m_chainEnd = 0;  // the child whose output is the container's
    bool m_hasChain = false;
};

// A stacked process: one element per channel group present among its
// input channels, each processing the channels of its group with that
// group's values. Elements of groups that are gone lose their history;
// groups that appear get fresh elements. The elements of every group are
// built with the stack, so the audio thread only switches them.
class CAudioProcessStack final : public CAudioProcessBase {
public:
    // Channel groups are numbered 0 to 7 (the range of `grouping`).
    static constexpr int kMaxGroups = 8;

    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;
    void formatChanged() override;
    long long latency() const override;

    // The element of a group, null when the group has no channel.
    CAudioProcessBase* element(int group) const;
    size_t elementCount() const;

private:
    struct CElement {
        int group;
        std::unique_ptr<CAudioProcessBase> process;
        bool active;
    };
    std::vector<CElement> m_elements;  // one per group, in group order
};

}  // namespace zel
