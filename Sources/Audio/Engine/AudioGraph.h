// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
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
// port-0 input; a link whose bypass state is active carries nothing, and a
// child fed by nothing does no work. A child found handing its port-0 input
// on as it is (passesInputOn()) is skipped in the same way until a value
// or the channels coming in change, and while nothing changes a block only
// repeats the steps with work in them that the last full walk found.
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
    // Whether the child hands its input on without being run, until a
    // value or the channels coming in change.
    bool isResting(const CString& name) const;

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
    // A child's work in a block: gathering its inputs from where its
    // sources' channels are, then, unless it only passes them on, running.
    struct CFeed {
        size_t port;
        const CAudioChannels* from;
    };
    struct CStep {
        size_t child;
        bool runs;
        size_t firstFeed, feedCount;
    };
    // Walks every child, finding where each one's consumers read its
    // channels, and writes down the steps that have work in them.
    void walk(size_t n);
    void runStep(const CStep& step, size_t n);
    // Whether the values and the channels coming in are those of the last
    // block; remembers them for the next.
    bool asLastBlock();

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
    // The children found handing their input on as it is, since the values
    // and the channels coming in last changed.
    std::vector<uint8_t> m_resting;
    // The last walk's steps, which are all a block does while no child
    // starts or stops being skipped, forwarding or resting; every other
    // child's consumers read where the walk found its channels.
    std::vector<CStep> m_steps;
    std::vector<CFeed> m_feeds;
    bool m_scheduled = false;
    // The values the bypass states were last evaluated for, and whether no
    // child was still fading over to its input then.
    uint64_t m_gatesValues = CAudioGraphContext::kUncounted;
    bool m_gatesSettled = false;
    uint64_t m_lastValues = CAudioGraphContext::kUncounted;
    // Per port: the channel count, then channel and group of each.
    static constexpr size_t kLayoutLength = kPorts * (1 + 2 * kMaxChannels);
    std::array<int, kLayoutLength> m_lastLayout{};
    size_t m_lastLayoutLength = 0;
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
    bool passesInputOn() const override;

    // The element of a group, null when the group has no channel.
    CAudioProcessBase* element(int group) const;
    size_t elementCount() const;

private:
    struct CElement {
        int group;
        std::unique_ptr<CAudioProcessBase> process;
        bool active;
    };
    // The group of every channel coming in when they all have the same
    // one; -1 when there are several, none, or one out of range.
    int soleGroup() const;

    std::vector<CElement> m_elements;  // one per group, in group order
};

}  // namespace zel
