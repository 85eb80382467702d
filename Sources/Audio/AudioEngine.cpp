// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/AudioEngine.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "Audio/AudioEnv.h"
#include "Audio/Converters/NumberText.h"
#include "Audio/Engine/DenormalGuard.h"
#include "Audio/Engine/SampleConvert.h"
#include "Audio/Modules/ModNode.h"
#include "Audio/Param.h"
#include "Audio/VizCollector.h"
#include "Core/Application.h"
#include "Core/Debug.h"

#define ZEL_SOURCE_TAG "AudioEngine"

namespace zel {

namespace {

// Processes that can hold a block of every channel at once, a stacked one
// once per group: with the host's channels and a fade's two passing
// blocks, more buffers than this are never alive together.
size_t bufferHolders(const CObject& def, size_t times) {
    size_t n = 0;
    for (const auto& child : def.children()) {
        const auto* process = dynamic_cast<const CAudioProcessDefBase*>(child.get());
        if (!process) continue;
        const size_t each = process->isStacked() ? times * size_t(CAudioProcessStack::kMaxGroups) : times;
        n += dynamic_cast<const CAudioProcessDef*>(process) ? bufferHolders(*process, each) : each;
    }
    return n;
}

}  // namespace

CAudioEngine::CAudioEngine() = default;

// The graph holds buffers of the pool: it goes first, after the keeper
// that serves it. The instance, unless released, outlives the engine.
CAudioEngine::~CAudioEngine() {
    if (m_collector) m_collector->setHandOverHook(nullptr);
    m_pageKeeper.clear();
    m_graph.reset();
    m_output.reset();
}

void CAudioEngine::release() {
    if (m_collector) m_collector->setHandOverHook(nullptr);
    m_pageKeeper.clear();
    m_graph.reset();
    m_output.reset();
    m_copyIndex.clear();
    m_copies.clear();
    m_plugin = nullptr;
    m_collector = nullptr;
    m_env = nullptr;
    m_viz = nullptr;
}

CErrorPtr CAudioEngine::build(CObject& plugin) {
    m_plugin = &plugin;
    ZEL_TRY(plugin.findObjectChecked(plugin.fullName() + ".param-collector", m_collector));
    ZEL_TRY(plugin.findObjectChecked(plugin.fullName() + ".audio-env", m_env));
    m_viz = dynamic_cast<CAudioVizCollector*>(plugin.findObject(plugin.fullName() + ".viz-collector"));
    const CObject* audio = CApplication::sharedObject()->findChild("audio");
    const auto* mainDef = audio ? dynamic_cast<const CAudioProcessDef*>(audio->findChild("modMain")) : nullptr;
    const auto* outputDef = audio ? dynamic_cast<const CModOutputDef*>(audio->findChild("modOutput")) : nullptr;
    if (!mainDef || !outputDef) return ZEL_ERROR("Audio process def of invalid class supplied.");
    m_definitionRoot = audio->fullName();
    // Every value a slot can read gets its audio-side copy now: stack
    // elements bind their slots later, on the audio thread, where nothing
    // may be created.
    m_building = true;
    m_pageKeeper.clear();
    prepareCopies(*mainDef);
    auto graph = std::make_unique<CAudioProcess>();
    ZEL_TRY(graph->init(*mainDef, *this));
    std::unique_ptr<CAudioProcessBase> output = createAudioProcess(*outputDef, false);
    if (!dynamic_cast<CModOutput*>(output.get())) return ZEL_ERROR("Audio process def of invalid class supplied.");
    ZEL_TRY(output->init(*outputDef, *this));
    m_graph = std::move(graph);
    m_output = std::move(output);
    m_bufferHolders = bufferHolders(*mainDef, 1);
    // Filters derive values on the audio thread too, for host automation:
    // their sources and destinations get audio-side copies.
    m_derivations.clear();
    for (const auto& f : m_collector->filterBindings()) {
        copyOf(f.source);
        m_derivations.push_back({f.filter, f.source, nullptr, copyOf(f.destination)});
    }
    m_copyIndex.clear();
    for (const auto& [param, copy] : m_copies) m_copyIndex.emplace_back(param, copy.get());
    for (CDerivation& d : m_derivations) d.sourceCopy = findCopy(d.source);
    m_building = false;

    m_paramOfCopy.clear();
    for (const auto& [param, copy] : m_copies) m_paramOfCopy.emplace_back(copy.get(), param);
    std::sort(m_paramOfCopy.begin(), m_paramOfCopy.end());
    const CString io = plugin.fullName() + ".modMain.io-params.";
    m_inRouting = m_collector->find(io + "in-routing");
    m_grouping = m_collector->find(io + "grouping");
    m_pageKeeper.setSources([this](const CAudioParamSlot& slot, size_t group,
                                   double fallback) { return instanceValue(slot, group, fallback); },
                            [this](int group) { return groupChannels(group); });
    // Values on their way to the audio thread may make delays longer: the
    // pages for them are there before the values are.
    m_collector->setHandOverHook([this] { m_pageKeeper.serve(); });
    return nullptr;
}

double CAudioEngine::instanceValue(const CAudioParamSlot& slot, size_t group, double fallback) const {
    auto it = std::lower_bound(m_paramOfCopy.begin(), m_paramOfCopy.end(), slot.copy(),
                               [](const auto& entry, const CAudioParamCopy* c) { return entry.first < c; });
    if (!slot.copy() || it == m_paramOfCopy.end() || it->first != slot.copy()) return fallback;
    const CAudioParam& param = *it->second;
    if (param.info().isSingleGroup) group = 0;
    std::lock_guard<std::mutex> lock(param.lock());
    return param.storage().read(group, 0);
}

size_t CAudioEngine::groupChannels(int group) const {
    if (!m_inRouting || !m_grouping) return CAudioProcessBase::kMaxChannels;
    // The internal channels that host inputs are routed to, as the input
    // router makes them; before the first block every input counts.
    size_t inputs = m_hostInputs.load(std::memory_order_relaxed);
    if (!inputs) inputs = CAudioProcessBase::kMaxChannels;
    bool fed[CAudioProcessBase::kMaxChannels] = {};
    {
        std::lock_guard<std::mutex> lock(m_inRouting->lock());
        const CAudioParamValue& v = m_inRouting->storage().value();
        const size_t stored = v.groupCount() ? v.elementCount(0) : 0;
        const size_t routed = stored ? stored : m_inRouting->info().defaultValue.elementCount(0);
        for (size_t c = 0; c < std::min(inputs, routed); ++c) {
            const long long r = roundHalfAwayToInt(m_inRouting->storage().read(0, c)) - 1;
            if (r >= 0 && size_t(r) < CAudioProcessBase::kMaxChannels) fed[r] = true;
        }
    }
    size_t count = 0;
    std::lock_guard<std::mutex> lock(m_grouping->lock());
    for (size_t r = 0; r < CAudioProcessBase::kMaxChannels; ++r)
        if (fed[r] && roundHalfAwayToInt(m_grouping->storage().read(0, r)) == group) ++count;
    return count;
}

void CAudioEngine::prepareCopies(const CObject& def) {
    for (const auto& child : def.children()) {
        if (const auto* alloc = dynamic_cast<const CAudioParamAllocDef*>(child.get()))
            copyOf(resolve(def, alloc->paramName()));
        prepareCopies(*child);
    }
}

void CAudioEngine::setFormat(double sampleRate, size_t maxBlock) {
    m_format.sampleRate = sampleRate;
    m_format.maxBlock = std::clamp<size_t>(maxBlock, 1, kMaxBlock);
    if (!m_graph) return;
    // The audio thread finds every buffer it can need in the pool.
    m_pool.reserve(sizeof(CAudioBuffer) + m_format.maxBlock * sizeof(double),
                   (m_bufferHolders + 3) * CAudioProcessBase::kMaxChannels);
    m_graph->formatChanged();
    m_pageKeeper.setSampleRate(sampleRate);
    m_pageKeeper.serve();
    m_pageKeeper.start();
    static_cast<CModOutput&>(*m_output).setGraphLatency(m_graph->latency());
    std::lock_guard<std::mutex> lock(m_env->lock());
    m_env->sampleRate = sampleRate;
    m_env->latency = latency();
}

void CAudioEngine::reset() {
    if (m_graph) m_graph->reset();
}

long long CAudioEngine::latency() const { return m_output ? m_output->latency() : 0; }

// ---------------------------------------------------------------- parameters

CAudioParam* CAudioEngine::runTimeParam(const CString& definitionName) const {
    // "audio.modMain.x" is "plugin.modMain.x" in the instance.
    if (!definitionName.startsWith(m_definitionRoot)) return m_collector->find(definitionName);
    return m_collector->find(m_plugin->fullName() + definitionName.substr(m_definitionRoot.length()));
}

CAudioParam* CAudioEngine::resolve(const CObject& def, const CString& name) const {
    // Remaps of the definition itself, then of each enclosing process, each
    // naming the parameter relative to where it stands.
    CString local = name;
    for (const CObject* scope = &def; scope && scope->fullName() != m_definitionRoot; scope = scope->parent()) {
        for (const auto& child : scope->children()) {
            const auto* remap = dynamic_cast<const CAudioParamRemapDef*>(child.get());
            if (!remap) continue;
            for (const auto& [orig, target] : remap->mappings()) {
                if (orig != local) continue;
                if (target.startsWith("/")) return m_collector->find(target.substr(1));
                const CObject* base = scope;
                CString rest = target;
                while (rest.startsWith("^") && base->parent()) {
                    base = base->parent();
                    rest = rest.substr(1);
                }
                return runTimeParam(base->fullName() + "." + rest);
            }
        }
        local = scope->name() + "." + local;
    }
    return runTimeParam(def.fullName() + "." + name);
}

CAudioParamCopy* CAudioEngine::copyOf(CAudioParam* param) {
    if (!param) return nullptr;
    auto it = m_copies.find(param);
    if (it != m_copies.end()) return it->second.get();
    if (!m_building) return nullptr;
    auto copy = std::make_unique<CAudioParamCopy>(param->info());
    {
        std::lock_guard<std::mutex> lock(param->lock());
        const CAudioParamValue& v = param->storage().value();
        for (size_t g = 0; g < v.groupCount(); ++g) copy->setGroup(g, v.group(g).data(), v.elementCount(g));
    }
    return (m_copies[param] = std::move(copy)).get();
}

void CAudioEngine::bindSlots(const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) {
    std::vector<bool> bound(slots.size(), false);
    for (const auto& child : def.children()) {
        const auto* alloc = dynamic_cast<const CAudioParamAllocDef*>(child.get());
        if (!alloc || alloc->index() < 0 || size_t(alloc->index()) >= slots.size()) continue;
        const CAudioParamCopy* copy = copyOf(resolve(def, alloc->paramName()));
        slots[size_t(alloc->index())].bind(copy, alloc->useAllGroups(), alloc->useAllElements());
        bound[size_t(alloc->index())] = copy != nullptr;
    }
    // Worth a note to whoever edits the document: the slot reads its
    // fallback. Complete documents never get here on the audio thread.
    for (size_t i = 0; i < slots.size(); ++i)
        if (!bound[i]) {
            debugLog("Parameter slot %zu of process '%s' (%s) has no parameter and reads its fallback.", i,
                     def.name().utf8().c_str(), def.fullName().utf8().c_str());
        }
}

const CAudioParamCopy* CAudioEngine::findParam(const CObject& scope, const CString& name) {
    return copyOf(runTimeParam(scope.fullName() + "." + name));
}

CAudioParamCopy* CAudioEngine::findCopy(const CAudioParam* param) const {
    auto it = std::lower_bound(m_copyIndex.begin(), m_copyIndex.end(), param,
                               [](const auto& entry, const CAudioParam* p) { return entry.first < p; });
    return it == m_copyIndex.end() || it->first != param ? nullptr : it->second;
}

void CAudioEngine::takeChanges() {
    const CAudioParamUpdate* update = m_collector->acquirePending();
    if (!update) return;
    ++m_valuesVersion;
    for (const auto& e : update->entries())
        if (CAudioParamCopy* copy = findCopy(e.param)) copy->setGroup(e.group, update->components(e), e.elementCount);
    m_collector->releasePending(update);
}

void CAudioEngine::applyHostValue(CAudioParam& param, size_t group, size_t element, double plain) {
    CAudioParamCopy* copy = findCopy(&param);
    if (!copy) return;
    ++m_valuesVersion;
    copy->setComponent(group, element, 0, plain);
    for (const CDerivation& d : m_derivations) {
        if (d.source != &param || !d.destinationCopy) continue;
        const CAudioParamInfo& info = d.destinationCopy->info();
        d.destinationCopy->setComponent(info.isSingleGroup ? 0 : group, 0, 0,
                                        d.filter->derive(copy->value(), group, info));
    }
}

// ---------------------------------------------------------------- processing

template <class T>
void CAudioEngine::process(const T* const* in, size_t numIn, T* const* out, size_t numOut, size_t n) {
    const CDenormalGuard denormals;
    m_hostInputs.store(numIn, std::memory_order_relaxed);
    for (size_t offset = 0; offset < n;) {
        const size_t len = std::min(n - offset, m_format.maxBlock);
        takeChanges();
        processBlock(in, numIn, out, numOut, offset, len);
        offset += len;
    }
}

template void CAudioEngine::process(const float* const*, size_t, float* const*, size_t, size_t);
template void CAudioEngine::process(const double* const*, size_t, double* const*, size_t, size_t);

template <class T>
void CAudioEngine::processBlock(const T* const* in, size_t numIn, T* const* out, size_t numOut, size_t offset,
                                size_t n) {
    // The host's samples go into the graph's buffers and come straight out
    // of them, converted on the way. Single precision samples are converted
    // where they are first read: a delay line converts them into its pages,
    // and with nothing else reading them they are converted only there.
    CAudioChannels& hostInputs = m_graph->inputs[0];
    // A host channel's buffer that nothing but the graph's input holds any
    // more is filled again rather than handed back to the pool for another.
    size_t kept = 0;
    while (kept < hostInputs.size() && kept < numIn && hostInputs[kept].channel == int(kept) &&
           hostInputs[kept].buffer.get()->refs() == 1)
        ++kept;
    hostInputs.resize(kept);
    for (size_t h = 0; h < numIn && h < CAudioProcessBase::kMaxChannels; ++h) {
        if (h >= kept) {
            CAudioChannel fresh;
            fresh.buffer = newBuffer();
            if (!fresh.buffer) continue;
            fresh.channel = int(h);
            hostInputs.push_back(std::move(fresh));
        }
        CAudioBuffer& buffer = *(h < kept ? hostInputs[h] : hostInputs.back()).buffer.get();
        if (!in[h])
            std::fill(buffer.data(), buffer.data() + n, 0.0);
        else if constexpr (std::is_same_v<T, float>)
            buffer.defer(in[h] + offset, n);
        else
            convertSamples(in[h] + offset, buffer.data(), n);
    }
    m_graph->update();
    m_graph->process(n);
    for (size_t k = 0; k < numOut; ++k) {
        if (!out[k]) continue;
        const CAudioChannel* source = nullptr;
        for (const CAudioChannel& c : m_graph->output)
            if (c.channel == int(k) && c.buffer) source = &c;
        if (source)
            convertSamples(source->buffer.data(), out[k] + offset, n);
        else
            std::fill(out[k] + offset, out[k] + offset + n, T(0));
    }
    // The host's block is not the graph's to read once it returns.
    for (CAudioChannel& c : hostInputs) c.buffer.get()->endDeferral();
}

}  // namespace zel
