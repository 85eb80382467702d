// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioGraph.h"

#include <algorithm>

#define ZEL_SOURCE_TAG "AudioGraph"

namespace zel {

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
    m_skip.assign(m_children.size(), false);
    for (auto& s : m_states) s.active = evaluate(s);
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
    for (auto& s : m_states) s.active = evaluate(s);
    for (size_t i = 0; i < m_children.size(); ++i)
        m_skip[i] = m_childState[i] >= 0 && m_states[size_t(m_childState[i])].active;
}

const CAudioChannels& CAudioProcess::effectiveOutput(size_t child) const {
    // A skipped process hands its port-0 input on.
    return m_skip[child] ? m_children[child]->inputs[0] : m_children[child]->output;
}

void CAudioProcess::process(size_t n) {
    bool chainStarted = false;
    for (size_t i : m_order) {
        CAudioProcessBase& child = *m_children[i];
        for (auto& port : child.inputs) port.clear();
        bool fed = false;
        if (m_hasChain && !chainStarted && !child.def()->isOutOfOrder()) {
            // The first process of the chain takes the container's input.
            bool chained = false;
            for (const CLink& l : m_links)
                if (l.dst == i && l.state < 0 && l.port == 0 && !m_children[l.src]->def()->isOutOfOrder()) chained = true;
            if (!chained) {
                child.inputs[0].insert(child.inputs[0].end(), inputs[0].begin(), inputs[0].end());
                fed = true;
                chainStarted = true;
            }
        }
        for (const CLink& l : m_links) {
            if (l.dst != i || (l.state >= 0 && m_states[size_t(l.state)].active)) continue;
            const CAudioChannels& from = effectiveOutput(l.src);
            child.inputs[l.port].insert(child.inputs[l.port].end(), from.begin(), from.end());
            fed = true;
        }
        if (m_skip[i]) continue;
        if (!fed) {
            child.output.clear();
            continue;
        }
        child.update();
        child.process(n);
    }
    output.clear();
    if (m_hasChain) {
        const CAudioChannels& last = effectiveOutput(m_chainEnd);
        output.insert(output.end(), last.begin(), last.end());
    }
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

// ---------------------------------------------------------------- stack

CErrorPtr CAudioProcessStack::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(def, ctx));
    m_elements.reserve(kMaxChannels);
    // An element is built once here so that a definition that cannot be
    // built fails with the graph, not later on the audio thread. It stays
    // to answer latency(), which every element shares.
    m_probe = createAudioProcess(def, false);
    if (!m_probe) return ZEL_ERROR("Audio process def of invalid class supplied.");
    ZEL_TRY(m_probe->init(def, ctx));
    return nullptr;
}

void CAudioProcessStack::reset() {
    for (auto& e : m_elements) e.process->reset();
}

void CAudioProcessStack::formatChanged() {
    CAudioProcessBase::formatChanged();
    for (auto& e : m_elements) e.process->formatChanged();
}

long long CAudioProcessStack::latency() const { return m_probe ? m_probe->latency() : 0; }

CAudioProcessBase* CAudioProcessStack::element(int group) const {
    for (const auto& e : m_elements)
        if (e.group == group) return e.process.get();
    return nullptr;
}

void CAudioProcessStack::update() {
    const CAudioChannels& in = inputs[0];
    auto present = [&](int group) {
        for (const CAudioChannel& c : in)
            if (c.group == group) return true;
        return false;
    };
    // Groups that lost their last channel lose their element and its history.
    m_elements.erase(std::remove_if(m_elements.begin(), m_elements.end(),
                                    [&](const CElement& e) { return !present(e.group); }),
                     m_elements.end());
    for (const CAudioChannel& c : in) {
        if (element(c.group)) continue;
        std::unique_ptr<CAudioProcessBase> process = createAudioProcess(*m_def, false);
        if (!process || process->init(*m_def, *m_ctx)) continue;
        process->setStackGroup(c.group);
        m_elements.push_back({c.group, std::move(process)});
    }
}

void CAudioProcessStack::process(size_t n) {
    output.clear();
    for (CElement& e : m_elements) {
        CAudioProcessBase& p = *e.process;
        for (size_t port = 0; port < kPorts; ++port) {
            p.inputs[port].clear();
            for (const CAudioChannel& c : inputs[port])
                if (c.group == e.group) p.inputs[port].push_back(c);
        }
        p.update();
        p.process(n);
        output.insert(output.end(), p.output.begin(), p.output.end());
    }
}

}  // namespace zel
