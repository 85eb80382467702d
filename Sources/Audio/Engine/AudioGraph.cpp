// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioGraph.h"

#include <algorithm>

#define ZEL_SOURCE_TAG "AudioGraph"

namespace zel {

namespace {

// Within the capacity reserved when the graph is built, without the
// general range insertion.
void append(CAudioChannels& to, const CAudioChannels& from) {
    for (const CAudioChannel& c : from) to.push_back(c);
}

// The same channels in the same order, sharing their buffers.
bool handedOn(const CAudioChannels& in, const CAudioChannels& out) {
    if (in.size() != out.size()) return false;
    for (size_t i = 0; i < in.size(); ++i)
        if (in[i].buffer.get() != out[i].buffer.get() || in[i].channel != out[i].channel || in[i].group != out[i].group)
            return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------- container

CErrorPtr CAudioProcess::init(const CAudioProcessDefBase& defBase, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(defBase, ctx));
    const auto* def = dynamic_cast<const CAudioProcessDef*>(&defBase);
    if (!def) return ZEL_ERROR("Audio process def of invalid class supplied.");
    for (const auto& child : def->children()) {
        const auto* childDef = dynamic_cast<const CAudioProcessDefBase*>(child.get());
        if (!childDef) continue;
        for (const auto& existing : m_children)
            if (existing->name() == childDef->name())
                return ZEL_ERROR("Duplicate audio process name '%1'.", childDef->name());
        std::unique_ptr<CAudioProcessBase> process = createAudioProcess(*childDef, childDef->isStacked());
        if (!process) return ZEL_ERROR("Audio process def of invalid class supplied.");
        ZEL_TRY(process->init(*childDef, ctx));
        m_children.push_back(std::move(process));
    }
    ZEL_TRY(addStates(*def));
    m_childState.clear();
    for (const auto& child : m_children) {
        const int id = child->def()->bypassStateId();
        m_childState.push_back(id < 0 ? -1 : stateIndex(id));
        if (id >= 0 && m_childState.back() < 0)
            return ZEL_ERROR("Invalid state identifier '%1' specified.", toText(id));
    }
    // The automatic chain: each child that is not out of order takes the
    // previous one's output; the first takes the container's input.
    m_links.clear();
    m_hasChain = false;
    if (def->isAutoLinks()) {
        bool first = true;
        size_t previous = 0;
        for (size_t i = 0; i < m_children.size(); ++i) {
            if (m_children[i]->def()->isOutOfOrder()) continue;
            if (!first) m_links.push_back({previous, i, 0, -1});
            first = false;
            previous = i;
            m_chainEnd = i;
            m_hasChain = true;
        }
    }
    ZEL_TRY(addLinks(*def));
    ZEL_TRY(computeOrder());
    // What the block walk needs, fixed with the links: the links into each
    // child, and the first process of the chain in the order, which takes
    // the container's input because no chain link feeds it.
    m_linksInto.assign(m_children.size(), {});
    for (size_t l = 0; l < m_links.size(); ++l) m_linksInto[m_links[l].dst].push_back(l);
    m_inputChild = m_children.size();
    for (size_t i : m_order) {
        if (!m_hasChain || m_children[i]->def()->isOutOfOrder()) continue;
        bool chained = false;
        for (size_t l : m_linksInto[i])
            if (m_links[l].state < 0 && m_links[l].port == 0 && !m_children[m_links[l].src]->def()->isOutOfOrder())
                chained = true;
        if (!chained) {
            m_inputChild = i;
            break;
        }
    }
    m_gated.clear();
    for (size_t i = 0; i < m_children.size(); ++i)
        if (m_childState[i] >= 0) m_gated.push_back(i);
    m_skip.assign(m_children.size(), false);
    m_bypassed.assign(m_children.size(), false);
    m_forwards.clear();
    for (const auto& child : m_children) m_forwards.push_back(child->forwardsInput());
    m_outputOf.clear();
    for (const auto& child : m_children) m_outputOf.push_back(&child->output);
    m_resting.assign(m_children.size(), false);
    m_steps.clear();
    m_steps.reserve(m_children.size());
    m_feeds.clear();
    m_feeds.reserve(m_links.size() + 1);
    m_scheduled = false;
    m_lastValues = CAudioGraphContext::kUncounted;
    m_gatesSettled = false;
    update();
    return nullptr;
}

CErrorPtr CAudioProcess::addStates(const CAudioProcessDef& def) {
    m_states.clear();
    for (const auto& child : def.children()) {
        const auto* s = dynamic_cast<const CAudioProcessBypassStateDef*>(child.get());
        if (!s) continue;
        const CAudioParamCopy* param = m_ctx->findParam(def, s->param());
        const CAudioParamCopy* andParam = s->andParam().empty() ? nullptr : m_ctx->findParam(def, s->andParam());
        if (!param || (!s->andParam().empty() && !andParam)) return ZEL_ERROR("Invalid parameter name specified.");
        m_states.push_back({s, param, andParam, false});
    }
    return nullptr;
}

int CAudioProcess::stateIndex(int id) const {
    for (size_t i = 0; i < m_states.size(); ++i)
        if (m_states[i].def->id() == id) return int(i);
    return -1;
}

CErrorPtr CAudioProcess::addLinks(const CAudioProcessDef& def) {
    auto find = [&](const CString& name) -> long {
        for (size_t i = 0; i < m_children.size(); ++i)
            if (m_children[i]->name() == name) return long(i);
        return -1;
    };
    for (const auto& child : def.children()) {
        const auto* l = dynamic_cast<const CAudioProcessLinkDef*>(child.get());
        if (!l) continue;
        const long src = find(l->srcProcess());
        if (src < 0)
            return ZEL_ERROR("Invalid process in the 'src' attribute value '%1' specified.", l->getAttr("src"));
        // A process has one output port.
        if (l->srcPort() != 0)
            return ZEL_ERROR("Invalid port in the 'src' attribute value '%1' specified.", l->getAttr("src"));
        const long dst = find(l->dstProcess());
        if (dst < 0)
            return ZEL_ERROR("Invalid process in the 'dst' attribute value '%1' specified.", l->getAttr("dst"));
        if (size_t(l->dstPort()) >= kPorts)
            return ZEL_ERROR("Invalid port in the 'dst' attribute value '%1' specified.", l->getAttr("dst"));
        int state = -1;
        if (l->bypassStateId() >= 0) {
            state = stateIndex(l->bypassStateId());
            if (state < 0) return ZEL_ERROR("Invalid state identifier '%1' specified.", l->getAttr("bypass-state-id"));
        }
        m_links.push_back({size_t(src), size_t(dst), size_t(l->dstPort()), state});
    }
    return nullptr;
}

CErrorPtr CAudioProcess::computeOrder() {
    // Every link counts, whatever its state: an order that holds for all of
    // them holds for any subset, so switching states never reorders.
    m_order.clear();
    std::vector<bool> placed(m_children.size(), false);
    while (m_order.size() < m_children.size()) {
        bool progress = false;
        for (size_t i = 0; i < m_children.size(); ++i) {
            if (placed[i]) continue;
            bool ready = true;
            for (const CLink& l : m_links)
                if (l.dst == i && !placed[l.src]) ready = false;
            if (!ready) continue;
            placed[i] = true;
            m_order.push_back(i);
            progress = true;
        }
        if (!progress) return ZEL_ERROR("@zelstr_CAudioProcess_computeOrder_Cycle The process links form a cycle.");
    }
    return nullptr;
}

bool CAudioProcess::evaluate(const CState& s) const {
    const auto read = [](const CAudioParamCopy* p) { return p->info().read(p->value(), 0, 0, 0); };
    return s.def->evaluate(read(s.param), s.andParam ? read(s.andParam) : 0.0);
}

void CAudioProcess::reset() {
    for (auto& c : m_children) c->reset();
    m_lastValues = CAudioGraphContext::kUncounted;
}

void CAudioProcess::formatChanged() {
    CAudioProcessBase::formatChanged();
    for (auto& c : m_children) c->formatChanged();
}

void CAudioProcess::setStackGroup(int group) {
    for (auto& c : m_children) c->setStackGroup(group);
}

long long CAudioProcess::latency() const {
    long long l = 0;
    for (const auto& c : m_children) l = std::max(l, c->latency());
    return l;
}

void CAudioProcess::update() {
    // The states read counted values, and a child skipped by its state stays
    // skipped until they change: with no child fading over to its input,
    // the same values leave everything as it is.
    const uint64_t values = m_ctx->valuesVersion();
    if (m_gatesSettled && values != CAudioGraphContext::kUncounted && values == m_gatesValues) return;
    m_gatesValues = values;
    m_gatesSettled = true;
    // A state changes only with its parameters.
    for (auto& s : m_states) {
        const uint64_t version = s.param->version(), andVersion = s.andParam ? s.andParam->version() : 0;
        if (version == s.version && andVersion == s.andVersion) continue;
        s.active = evaluate(s);
        s.version = version;
        s.andVersion = andVersion;
    }
    // Only a child with a bypass state is ever skipped.
    for (size_t i : m_gated) {
        const bool bypassed = m_states[size_t(m_childState[i])].active;
        if (bypassed != bool(m_bypassed[i])) {
            m_bypassed[i] = bypassed;
            m_children[i]->bypassChanged(bypassed);
        }
        // A process fading over to its input runs until the fade is done.
        const bool skip = bypassed && !m_children[i]->keepsRunning();
        if (skip != bool(m_skip[i])) m_scheduled = false;
        m_skip[i] = skip;
        if (bypassed && !skip) m_gatesSettled = false;
    }
}

bool CAudioProcess::carries(const CLink& link) const { return link.state < 0 || !m_states[size_t(link.state)].active; }

bool CAudioProcess::asLastBlock() {
    const uint64_t values = m_ctx->valuesVersion();
    bool same = values != CAudioGraphContext::kUncounted && values == m_lastValues && !m_formatChanged;
    m_lastValues = values;
    m_formatChanged = false;
    size_t k = 0;
    const auto see = [&](int v) {
        if (k == kLayoutLength) {
            // More channels than a layout holds: never taken for the same.
            same = false;
            m_lastValues = CAudioGraphContext::kUncounted;
            return;
        }
        same = same && k < m_lastLayoutLength && m_lastLayout[k] == v;
        m_lastLayout[k++] = v;
    };
    for (const CAudioChannels& port : inputs) {
        see(int(port.size()));
        for (const CAudioChannel& c : port) {
            see(c.channel);
            see(c.group);
        }
    }
    same = same && k == m_lastLayoutLength;
    m_lastLayoutLength = k;
    return same;
}

void CAudioProcess::process(size_t n) {
    // Until a value or the channels coming in change, a process found
    // handing its input on as it is does no more than one that forwards
    // it: neither its update nor its channel lists are worth a block's time.
    if (!asLastBlock()) {
        std::fill(m_resting.begin(), m_resting.end(), uint8_t(0));
        m_scheduled = false;
    }
    if (m_scheduled)
        for (const CStep& step : m_steps) runStep(step, n);
    else
        walk(n);
    output.clear();
    if (m_hasChain) {
        append(output, *m_outputOf[m_chainEnd]);
    }
}

void CAudioProcess::walk(size_t n) {
    m_steps.clear();
    m_feeds.clear();
    m_scheduled = true;
    for (size_t i : m_order) {
        CAudioProcessBase& child = *m_children[i];
        for (auto& port : child.inputs) port.clear();
        // A skipped process hands its port-0 input on, as one that only
        // forwards it does; what it put out when it last ran holds on to
        // old buffers.
        const bool passes = m_skip[i] | m_forwards[i] | m_resting[i];
        if (passes) child.output.clear();
        const size_t first = m_feeds.size();
        if (i == m_inputChild) m_feeds.push_back({0, &inputs[0]});
        for (size_t index : m_linksInto[i]) {
            const CLink& l = m_links[index];
            if (carries(l) && (!passes || l.port == 0)) m_feeds.push_back({l.port, m_outputOf[l.src]});
        }
        const size_t count = m_feeds.size() - first;
        if (passes && count == 1) {
            // With one source, the consumers read the source's channels
            // where they are: counting every buffer in and out again at
            // each process it passes through costs more than the work of
            // most of them.
            m_outputOf[i] = m_feeds[first].from;
            m_feeds.resize(first);
            continue;
        }
        m_outputOf[i] = passes ? &child.inputs[0] : &child.output;
        if (count == 0) {
            // Fed by nothing: no work and no channels.
            child.output.clear();
            continue;
        }
        m_steps.push_back({i, !passes, first, count});
        runStep(m_steps.back(), n);
    }
}

void CAudioProcess::runStep(const CStep& step, size_t n) {
    CAudioProcessBase& child = *m_children[step.child];
    for (auto& port : child.inputs) port.clear();
    for (size_t f = step.firstFeed; f < step.firstFeed + step.feedCount; ++f)
        append(child.inputs[m_feeds[f].port], *m_feeds[f].from);
    // Passed on from several sources: the gathered input is the output.
    if (!step.runs) return;
    child.update();
    child.process(n);
    if (child.passesInputOn() && handedOn(child.inputs[0], child.output)) {
        m_resting[step.child] = true;
        m_scheduled = false;
    }
    // Let go of the inputs while they are still in cache: the consumers
    // read only the output.
    for (auto& port : child.inputs) port.clear();
}

CAudioProcessBase* CAudioProcess::child(const CString& name) const {
    for (const auto& c : m_children)
        if (c->name() == name) return c.get();
    return nullptr;
}

bool CAudioProcess::isBypassed(const CString& name) const {
    for (size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i]->name() == name) return m_skip[i];
    return false;
}

bool CAudioProcess::isResting(const CString& name) const {
    for (size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i]->name() == name) return m_resting[i];
    return false;
}

// ---------------------------------------------------------------- stack

CErrorPtr CAudioProcessStack::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(def, ctx));
    m_elements.clear();
    for (int group = 0; group < kMaxGroups; ++group) {
        std::unique_ptr<CAudioProcessBase> process = createAudioProcess(def, false);
        if (!process) return ZEL_ERROR("Audio process def of invalid class supplied.");
        ZEL_TRY(process->init(def, ctx));
        process->setStackGroup(group);
        m_elements.push_back({group, std::move(process), false});
    }
    return nullptr;
}

void CAudioProcessStack::reset() {
    for (auto& e : m_elements) e.process->reset();
}

void CAudioProcessStack::formatChanged() {
    CAudioProcessBase::formatChanged();
    for (auto& e : m_elements) e.process->formatChanged();
}

long long CAudioProcessStack::latency() const {
    // Every element builds on the one definition, so any of them answers;
    // which of them run is the audio thread's business.
    return m_elements.empty() ? 0 : m_elements.front().process->latency();
}

CAudioProcessBase* CAudioProcessStack::element(int group) const {
    for (const auto& e : m_elements)
        if (e.group == group && e.active) return e.process.get();
    return nullptr;
}

size_t CAudioProcessStack::elementCount() const {
    size_t n = 0;
    for (const auto& e : m_elements) n += e.active ? 1 : 0;
    return n;
}

bool CAudioProcessStack::passesInputOn() const {
    // Whether the groups came out in the order their channels went in is
    // the container's to see.
    for (const CElement& e : m_elements)
        if (e.active && !e.process->passesInputOn()) return false;
    return true;
}

void CAudioProcessStack::update() {
    unsigned groups = 0;
    for (const CAudioChannel& c : inputs[0])
        if (c.group >= 0 && c.group < kMaxGroups) groups |= 1u << c.group;
    for (CElement& e : m_elements) {
        const bool present = groups & (1u << e.group);
        // Leaving or coming back, the element starts over without history.
        if (present != e.active) e.process->reset();
        e.active = present;
    }
}

int CAudioProcessStack::soleGroup() const {
    if (inputs[0].empty()) return -1;
    const int group = inputs[0].front().group;
    if (group < 0 || group >= kMaxGroups) return -1;
    for (const CAudioChannels& port : inputs)
        for (const CAudioChannel& c : port)
            if (c.group != group) return -1;
    return group;
}

void CAudioProcessStack::process(size_t n) {
    output.clear();
    // With a single group, its element gets the channels as they came and
    // its output is the stack's: the lists change hands instead of being
    // copied, buffer by counted buffer, on the way in and out.
    if (const int group = soleGroup(); group >= 0) {
        CAudioProcessBase& p = *m_elements[size_t(group)].process;
        for (size_t port = 0; port < kPorts; ++port) {
            p.inputs[port].clear();
            p.inputs[port].swap(inputs[port]);
        }
        p.update();
        p.process(n);
        for (size_t port = 0; port < kPorts; ++port) inputs[port].swap(p.inputs[port]);
        output.swap(p.output);
        return;
    }
    // Groups in order of their first channel, as the channels arrive.
    bool done[kMaxGroups] = {};
    for (const CAudioChannel& first : inputs[0]) {
        if (first.group < 0 || first.group >= kMaxGroups || done[first.group]) continue;
        done[first.group] = true;
        CAudioProcessBase& p = *m_elements[size_t(first.group)].process;
        for (size_t port = 0; port < kPorts; ++port) {
            p.inputs[port].clear();
            for (const CAudioChannel& c : inputs[port])
                if (c.group == first.group) p.inputs[port].push_back(c);
        }
        p.update();
        p.process(n);
        for (auto& port : p.inputs) port.clear();
        append(output, p.output);
    }
}

}  // namespace zel
