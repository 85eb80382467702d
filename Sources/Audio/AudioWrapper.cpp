// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/AudioWrapper.h"

#include <algorithm>
#include <cmath>

#include "Audio/AudioEnv.h"
#include "Audio/CCTable.h"
#include "Audio/Converters/NumberText.h"
#include "Audio/Converters/ParamConverter.h"
#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Audio/Preset.h"
#include "Audio/VizCollector.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/Debug.h"
#include "Core/MemoryStream.h"
#include "Core/Notify.h"
#include "Other/AudioInterfaceBase.h"

#define ZEL_SOURCE_TAG "AudioWrapper"

namespace zel {

namespace {

constexpr size_t kMaxEvents = 4096;

bool validPluginCode(const CString& code) {
    if (code.length() != 4) return false;
    for (size_t i = 0; i < code.length(); ++i)
        if (code.at(i) < 0x20 || code.at(i) > 0x7E) return false;
    return true;
}

// Dotted decimal numbers: "1", "1.6", "2.0.13".
bool validVersion(const CString& text) {
    const std::vector<CString> parts = splitText(text, u'.');
    for (const CString& part : parts) {
        long long v;
        if (part.empty() || !parseInt(part, v) || v < 0) return false;
    }
    return !parts.empty();
}

// The wrapper whose host change this thread is applying: the host is not
// told of its own change. Per thread, because hosts change parameters from
// several threads at once.
thread_local const CAudioWrapper* t_hostChangeOf = nullptr;

const CAudioParamConverter* converterOf(const CAudioParam& p) {
    const auto& converters = p.info().converters;
    return converters.empty() ? nullptr : converters[0];
}

}  // namespace

CAudioWrapper::CAudioWrapper() = default;

CAudioWrapper::~CAudioWrapper() { shutdown(); }

void CAudioWrapper::shutdown() {
    if (m_interfaceBase) {
        m_interfaceBase->setDataProvider(nullptr);
        m_interfaceBase->setGestureListener(nullptr);
    }
    m_hostEdits.reset();
    if (m_collector) m_collector->setChangeListener(nullptr);
    if (m_registry) m_registry->setProgramChangeHandler(nullptr);
    // Listeners and the graph refer into the tree: they go before it.
    m_globals.clear();
    m_engine.release();
    m_extParams.clear();
    m_events.clear();
    m_root.removeAllChildren();
    if (m_root.rootId() > 0) CApplication::rootReleased(m_root.rootId());
    m_root.setRootId(0);
    m_plugin = nullptr;
    m_env = nullptr;
    m_collector = nullptr;
    m_viz = nullptr;
    m_interfaceBase = nullptr;
    m_extParamList = nullptr;
    m_ccTable = nullptr;
    m_registry = nullptr;
    m_inputs = m_outputs = 2;
    m_engineChannels = 0;
}

// ---------------------------------------------------------------- init

CErrorPtr CAudioWrapper::init() {
    const double started = secondsSinceStart();
    if (!CApplication::instance()) return ZEL_ERROR("@zelstr_CAudioWrapper_init_NoApp No application object created.");
    CObject* shared = CApplication::sharedObject();
    const CObject* audio = shared ? shared->findChild("audio") : nullptr;
    const CObject* project = shared ? shared->findChild("project") : nullptr;
    if (!audio || !project) return ZEL_ERROR("@zelstr_CAudioWrapper_init_NoApp No application object created.");

    const CString pluginTag = audio->getAttr("plugin-tag");
    ZEL_TRY(CApplication::instance()->initRootObject(m_root));
    ZEL_TRY(m_root.createChild(pluginTag, pluginTag, m_plugin));
    ZEL_TRY(m_root.init());

    ZEL_TRY(checkProject(*project));
    ZEL_TRY(bindInstance(*audio, *project));
    bindGlobals(*project);
    bindHostSlots();

    m_events.reserve(kMaxEvents + m_extParams.size());
    m_collector->setChangeListener([this](const CAudioParamChangeSet& changes) { reportChanges(changes); });
    m_registry->setProgramChangeHandler([this](int program) { onProgramChanged(program); });
    m_interfaceBase->setDataProvider(this);
    m_interfaceBase->setGestureListener(&m_hostEdits);
    debugLog("CAudioWrapper init time: %f s @ %f s", secondsSinceStart() - started, secondsSinceStart());
    return nullptr;
}

CErrorPtr CAudioWrapper::checkProject(const CObject& project) {
    if (project.getAttr("app-name").empty())
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_NoName Plug-in name is empty.");
    if (project.getAttr("app-vendor").empty())
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_NoVendor Vendor name is empty.");
    long long channels = 0, groups = 0;
    if (!project.readInt("plugin-intchannel-count", channels) || channels < 1 || channels > 16)
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_ChannelCount Invalid 'plugin-intchannel-count' attribute value.");
    if (!project.readInt("plugin-group-count", groups) || groups < 1 || groups > 8)
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_GroupCount Invalid 'plugin-group-count' attribute value.");
    m_internalChannels = size_t(channels);
    m_groupCount = size_t(groups);
    if (!validPluginCode(project.getAttr("plugin-code")))
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_Code Invalid plug-in code in string '%1'.",
                         project.getAttr("plugin-code"));
    if (!validVersion(project.getAttr("app-version")))
        return ZEL_ERROR("@zelstr_CAudioWrapper_init_Version Invalid version specification in string '%1'.",
                         project.getAttr("app-version"));
    double tail = 0.4;
    if (parseReal(project.getAttr("plugin-tail"), tail) && tail >= 0) m_tailSeconds = tail;
    return nullptr;
}

CErrorPtr CAudioWrapper::bindInstance(const CObject& audio, const CObject& project) {
    const CString base = m_plugin->fullName() + ".";
    ZEL_TRY(m_plugin->findObjectChecked(base + "audio-env", m_env));
    ZEL_TRY(m_plugin->findObjectChecked(base + "param-collector", m_collector));
    ZEL_TRY(m_plugin->findObjectChecked(base + "viz-collector", m_viz));
    ZEL_TRY(m_plugin->findObjectChecked(base + "interface-base", m_interfaceBase));
    ZEL_TRY(m_plugin->findObjectChecked(base + "ext-param-list", m_extParamList));
    ZEL_TRY(m_plugin->findObjectChecked(base + "cctable", m_ccTable));
    ZEL_TRY(m_plugin->findObjectChecked(base + "param-registry", m_registry));
    for (const char* name : {"host-oversampling-mode", "host-offline", "host-latency-change", "bypass-enable"}) {
        CAudioParam* p = nullptr;
        ZEL_TRY(m_plugin->findObjectChecked(base + "modMain." + name, p));
    }
    m_extParams.clear();
    for (const auto& child : m_extParamList->children())
        if (auto* ext = dynamic_cast<CAudioExtParam*>(child.get())) m_extParams.push_back(ext);

    // The editor is not the only one to see the meters: they run from the start.
    if (project.getBool("is-viz-always-active", false)) m_viz->setActive(true);

    if (!dynamic_cast<const CModOutputDef*>(audio.findChild("modOutput")))
        return ZEL_ERROR(
            "@zelstr_CAudioWrapper_init_Output Output process object 'shared::audio.modOutput' is not of "
            "required 'CModOutput' type.");
    ZEL_TRY(m_engine.build(*m_plugin));

    if (project.getBool("use-routing", false) || project.getBool("use-mid-side", false))
        for (const char* name :
             {"in-channel-names", "group-names", "in-routing", "grouping", "out-routing", "ms-pairs"}) {
            CAudioParam* p = nullptr;
            ZEL_TRY(m_plugin->findObjectChecked(base + "modMain.io-params." + name, p));
        }
    return nullptr;
}

void CAudioWrapper::bindGlobals(const CObject& project) {
    // Parameters this plug-in does not have are skipped.
    const CString base = m_plugin->fullName() + ".modMain.";
    m_globals.clear();
    const std::pair<const char*, const char*> globals[] = {
        {"lp-oversampling-enable", "lp-oversampling-enable"},
        {"meter-rmstime", "integration-time"},
        {"meter-releasetime", "release-time"},
        {"meter-peaktime", "peak-level-hold-time"},
        {"denorm-enable", "denorm-enable"},
        {"uicolor-params.mode-name", "uicolor-name|AppDataLocal_uicolor-name"},
        {"uicolor-params.palette", "uicolor-palette|AppDataLocal_uicolor-palette"}};
    const bool newPalette = project.getBool("use-new-palette", false);
    for (const auto& [name, key] : globals) {
        if (!newPalette && CString(key).startsWith("uicolor")) continue;
        if (CAudioParam* p = m_collector->find(base + name)) {
            m_globals.push_back(std::make_unique<CGlobalParam>(*m_collector, *p, key));
            m_globals.back()->load();
        }
    }
}

void CAudioWrapper::bindHostSlots() {
    const CString base = m_plugin->fullName() + ".";
    m_offlineParam = m_collector->find(base + "modMain.host-offline");
    if (m_offlineParam) m_offlineSlot = m_collector->addHostSlot(*m_offlineParam, 0, 0);
    m_extSlots.clear();
    for (CAudioExtParam* ext : m_extParams) {
        CAudioParam& p = *ext->param();
        const size_t group = p.info().isSingleGroup ? 0 : size_t(ext->group());
        m_extSlots.push_back(m_collector->addHostSlot(p, group, size_t(ext->elementIndex())));
    }
}

// ---------------------------------------------------------------- host facts

void CAudioWrapper::setupProcessing(double sampleRate, size_t maxBlock) {
    const long long before = latency();
    m_engine.setFormat(sampleRate, std::min(maxBlock ? maxBlock : kSubBlock, kSubBlock));
    m_engineChannels = CAudioProcessBase::kMaxChannels;
    if (latency() != before) latencyChanged();
    m_interfaceBase->audioFactsChanged();
}

void CAudioWrapper::setOffline(bool offline) {
    m_engine.setOffline(offline);
    setHostParam("host-offline", offline ? 1.0 : 0.0);
}

void CAudioWrapper::setHostParam(const char* name, double value) {
    CAudioParam* p = m_collector->find(m_plugin->fullName() + ".modMain." + name);
    if (!p) return;
    CAudioParamTransaction tx(*m_collector);
    tx.setElements(*p, 0, 0, {value});
    tx.finish(CString());
}

void CAudioWrapper::latencyChanged() {
    setHostParam("host-latency-change", 1.0);
    onLatencyChanged();
}

void CAudioWrapper::setIOChannels(size_t inputs, size_t outputs) {
    bool changed;
    {
        std::lock_guard<std::mutex> lock(m_env->lock());
        changed = inputs != m_inputs || outputs != m_outputs;
        m_inputs = inputs;
        m_outputs = outputs;
    }
    // Hosts renegotiate the same arrangement often; only a new one, or the
    // very first, brings its routing.
    if ((changed || !m_layoutApplied) && !m_routingRestored) applyRoutingLayout(inputs, outputs);
    m_layoutApplied = true;
    m_routingRestored = false;
    m_interfaceBase->audioFactsChanged();
}

void CAudioWrapper::reset() { m_engine.reset(); }

long long CAudioWrapper::latency() const { return m_engine.latency(); }

long long CAudioWrapper::tailSamples() const { return roundHalfAwayToInt(m_tailSeconds * sampleRate()); }

double CAudioWrapper::sampleRate() const {
    if (!m_env) return 0.0;
    std::lock_guard<std::mutex> lock(m_env->lock());
    return m_env->sampleRate;
}

void CAudioWrapper::ioChannelCounts(size_t& inputs, size_t& outputs, size_t& sidechain) const {
    sidechain = 0;
    if (!m_env) {
        inputs = outputs = 0;
        return;
    }
    std::lock_guard<std::mutex> lock(m_env->lock());
    inputs = m_inputs;
    outputs = m_outputs;
    sidechain = 0;
}

CErrorPtr CAudioWrapper::importChannelLabels(const std::vector<CString>& labels) {
    CAudioParam* names = m_collector->find(m_plugin->fullName() + ".modMain.io-params.in-channel-names");
    if (!names) return nullptr;
    CAudioParamTransaction tx(*m_collector);
    for (size_t i = 0; i < labels.size(); ++i) tx.setText(*names, 0, i, labels[i]);
    m_interfaceBase->undo().push(tx.finish("Channel label import"));
    return nullptr;
}

std::vector<CString> CAudioWrapper::hostChannelLabels() const {
    std::lock_guard<std::mutex> lock(m_labelsLock);
    return m_hostChannelLabels;
}

void CAudioWrapper::setHostChannelLabels(std::vector<CString> labels) {
    std::lock_guard<std::mutex> lock(m_labelsLock);
    m_hostChannelLabels = std::move(labels);
}

void CAudioWrapper::applyRoutingLayout(size_t inputs, size_t outputs) {
    // A layout picks the system routing preset made for it; layouts without
    // one keep the user's routing.
    std::lock_guard<std::mutex> lock(m_routingLock);
    const char* name = nullptr;
    if (inputs == 1 && outputs == 1)
        name = "Force Mono";
    else if (inputs == 1 && outputs >= 2)
        name = "Mono To Stereo";
    else if (inputs == 6 && outputs == 6)
        name = "5.1 Surround (Groups)";
    else if (inputs == 8 && outputs == 8)
        name = "7.1 Surround (Groups)";
    if (!name) return;
    auto* io = dynamic_cast<CAudioParamRegistry*>(m_plugin->findObject(m_plugin->fullName() + ".param-registry-io"));
    if (!io) return;
    std::vector<uint8_t> payload;
    if (CAppDataGlobal::instance().readItem("../routing-presets-sys|AppDataGlobal_routing-presets-sys", payload,
                                            CAudioPresetBank::kListTag))
        return;
    CMemoryReader in(std::move(payload));
    CAudioPresetBank list;
    if (list.loadList(in)) return;
    for (const CAudioPreset& preset : list.presets()) {
        if (preset.displayName() != name) continue;
        CAudioParamTransaction tx(*m_collector);
        if (!io->check(preset) && !io->apply(preset, tx)) tx.finish(CString());
        return;
    }
}

// ---------------------------------------------------------------- host parameters

double CAudioWrapper::extParamNormalized(size_t index) const {
    const CAudioExtParam& ext = *m_extParams[index];
    const CAudioParam* p = ext.param();
    const CAudioParamConverter* cvt = converterOf(*p);
    if (!cvt) return 0.0;
    double plain;
    {
        std::lock_guard<std::mutex> lock(p->lock());
        plain = p->storage().read(size_t(ext.group()), size_t(ext.elementIndex()));
    }
    return std::clamp(cvt->plainToNormalized(p->info(), 0, plain), 0.0, 1.0);
}

void CAudioWrapper::setExtParamNormalized(size_t index, double normalized) {
    if (index >= m_extParams.size() || !std::isfinite(normalized)) return;
    const CAudioExtParam& ext = *m_extParams[index];
    CAudioParam* p = ext.param();
    const CAudioParamConverter* cvt = converterOf(*p);
    if (!cvt) return;
    const double plain = cvt->normalizedToPlain(p->info(), 0, std::clamp(normalized, 0.0, 1.0));
    CAudioParamTransaction tx(*m_collector);
    tx.setElements(*p, size_t(ext.group()), size_t(ext.elementIndex()), {plain});
    // The host's own change goes back to the host through the listener only
    // when it changed something the host shows elsewhere (derived values).
    const CAudioWrapper* outer = t_hostChangeOf;
    t_hostChangeOf = this;
    tx.finish(CString());
    t_hostChangeOf = outer;
}

double CAudioWrapper::extParamToPlain(size_t index, double normalized) const {
    const CAudioParam* p = m_extParams[index]->param();
    const CAudioParamConverter* cvt = converterOf(*p);
    return cvt ? cvt->normalizedToPlain(p->info(), 0, std::clamp(normalized, 0.0, 1.0)) : normalized;
}

double CAudioWrapper::extParamToNormalized(size_t index, double plain) const {
    const CAudioParam* p = m_extParams[index]->param();
    const CAudioParamConverter* cvt = converterOf(*p);
    return cvt ? std::clamp(cvt->plainToNormalized(p->info(), 0, plain), 0.0, 1.0) : plain;
}

CString CAudioWrapper::extParamText(size_t index, double normalized) const {
    const CAudioExtParam& ext = *m_extParams[index];
    const CAudioParam* p = ext.param();
    const CAudioParamConverter* cvt = converterOf(*p);
    if (!cvt) return CString();
    return cvt->plainToText(p->info(), 0, cvt->normalizedToPlain(p->info(), 0, normalized),
                            CAudioParamConverter::kModeShort);
}

bool CAudioWrapper::extParamFromText(size_t index, const CString& text, double& normalized) const {
    const CAudioExtParam& ext = *m_extParams[index];
    const CAudioParam* p = ext.param();
    const CAudioParamConverter* cvt = converterOf(*p);
    if (!cvt) return false;
    bool ok = false;
    const double plain = cvt->textToPlainClamped(p->info(), 0, text, &ok);
    if (!ok || !std::isfinite(plain)) return false;
    normalized = std::clamp(cvt->plainToNormalized(p->info(), 0, plain), 0.0, 1.0);
    return true;
}

int CAudioWrapper::extParamSteps(size_t index) const {
    const CAudioParam* p = m_extParams[index]->param();
    return p && p->name() == "bypass-enable" ? 1 : 0;
}

bool CAudioWrapper::controllerExtParam(size_t controller, size_t& index) const {
    const CAudioParam* target = m_ccTable ? m_ccTable->slot(controller) : nullptr;
    if (!target) return false;
    for (size_t i = 0; i < m_extParams.size(); ++i)
        if (m_extParams[i]->param() == target) {
            index = i;
            return true;
        }
    return false;
}

void CAudioWrapper::reportChanges(const CAudioParamChangeSet& changes) {
    // Editors see the changes by their versions at their next frame.
    for (const auto& global : m_globals)
        for (const auto& run : changes.runs())
            if (run.param == &global->param()) {
                global->store();
                break;
            }
    if (const CAudioParam* name = m_registry->presetNameParam())
        for (const auto& run : changes.runs())
            if (run.param == name) {
                onProgramNameChanged();
                break;
            }
    if (t_hostChangeOf == this) return;
    for (size_t i = 0; i < m_extParams.size(); ++i) {
        const CAudioExtParam& ext = *m_extParams[i];
        for (const auto& run : changes.runs()) {
            const size_t e = size_t(ext.elementIndex());
            const bool group = run.param->info().isSingleGroup || run.group == size_t(ext.group());
            if (run.param == ext.param() && group && e >= run.firstElement && e < run.firstElement + run.elementCount) {
                m_hostEdits.report(i, extParamNormalized(i));
                break;
            }
        }
    }
}

// ---------------------------------------------------------------- processing

void CAudioWrapper::queueEvent(uint32_t offset, uint32_t type, int32_t index, double normalized) {
    if (type != kEventParamChange || index < 0 || size_t(index) >= m_extParams.size() || !std::isfinite(normalized))
        return;
    if (m_events.size() < kMaxEvents) {
        m_events.push_back({offset, type, index, normalized});
        return;
    }
    // Beyond kMaxEvents in one block a change takes the place of its
    // parameter's latest queued one, so that automation still ends on its
    // last point; only intermediate points are lost. A parameter with no
    // change queued yet gets one of the slots reserved per parameter: the
    // queue never grows on the audio thread.
    CEvent* latest = nullptr;
    for (CEvent& e : m_events)
        if (e.index == index && (!latest || e.offset >= latest->offset)) latest = &e;
    if (!latest)
        m_events.push_back({offset, type, index, normalized});
    else if (offset >= latest->offset)
        *latest = {offset, type, index, normalized};
}

void CAudioWrapper::dispatch(const CEvent& e) {
    if (e.type != kEventParamChange || e.index < 0 || size_t(e.index) >= m_extParams.size() || !std::isfinite(e.value))
        return;
    // Host automation on the audio thread: the engine takes the value at
    // once, the parameters hear of it later on another thread (idle()).
    const CAudioExtParam& ext = *m_extParams[size_t(e.index)];
    CAudioParam* p = ext.param();
    const CAudioParamConverter* cvt = converterOf(*p);
    if (!cvt) return;
    const double plain = cvt->normalizedToPlain(p->info(), 0, std::clamp(e.value, 0.0, 1.0));
    const double lo = std::min(p->info().minValue(0), p->info().maxValue(0));
    const double hi = std::max(p->info().minValue(0), p->info().maxValue(0));
    const size_t group = p->info().isSingleGroup ? 0 : size_t(ext.group());
    const size_t element = size_t(ext.elementIndex());
    m_engine.applyHostValue(*p, group, element, std::clamp(plain, lo, hi));
    m_collector->setFromAudio(m_extSlots[size_t(e.index)], std::clamp(plain, lo, hi));
}

void CAudioWrapper::setOfflineFromAudio(bool offline) {
    m_engine.setOffline(offline);
    if (!m_offlineParam) return;
    m_engine.applyHostValue(*m_offlineParam, 0, 0, offline ? 1.0 : 0.0);
    m_collector->setFromAudio(m_offlineSlot, offline ? 1.0 : 0.0);
}

void CAudioWrapper::idle() {
    if (!m_collector) return;
    const CAudioParamChangeSet changes = m_collector->takeOverFromAudio();
    if (changes.empty()) return;
    // The host's own automation is not reported back to it.
    const CAudioWrapper* outer = t_hostChangeOf;
    t_hostChangeOf = this;
    reportChanges(changes);
    t_hostChangeOf = outer;
}

void CAudioWrapper::process(const float* const* inputs, size_t numInputs, float* const* outputs, size_t numOutputs,
                            size_t n) {
    processBlock(inputs, numInputs, outputs, numOutputs, n);
}

void CAudioWrapper::process(const double* const* inputs, size_t numInputs, double* const* outputs, size_t numOutputs,
                            size_t n) {
    processBlock(inputs, numInputs, outputs, numOutputs, n);
}

template <class T>
void CAudioWrapper::processBlock(const T* const* inputs, size_t numInputs, T* const* outputs, size_t numOutputs,
                                 size_t n) {
    std::sort(m_events.begin(), m_events.end(), [](const CEvent& a, const CEvent& b) { return a.offset < b.offset; });
    const double rate = m_engine.format().sampleRate;
    size_t next = 0, position = 0;
    const size_t channelsIn = std::min(numInputs, m_engineChannels);
    const size_t channelsOut = std::min(numOutputs, m_engineChannels);
    // The host's channels at the sub-block, as the engine reads and writes
    // them; null where the host gave none.
    const T* in[CAudioProcessBase::kMaxChannels];
    T* out[CAudioProcessBase::kMaxChannels];
    bool first = true;
    while (position < n || (first && n == 0)) {
        // Events at this position take effect before its samples.
        while (next < m_events.size() && m_events[next].offset <= position) dispatch(m_events[next++]);
        if (n == 0) break;
        size_t len = std::min(n - position, kSubBlock);
        if (next < m_events.size() && m_events[next].offset < position + len) len = m_events[next].offset - position;
        // Other threads read each time on its own: no store needs to order
        // anything around it, and a fenced one costs more than a sub-block's
        // bookkeeping.
        if (first)
            m_env->blockEndTime.store(
                m_env->blockStartTime.load(std::memory_order_relaxed) + double(len) / (rate > 0 ? rate : 1),
                std::memory_order_relaxed);
        first = false;
        for (size_t c = 0; c < channelsIn; ++c) in[c] = inputs && inputs[c] ? inputs[c] + position : nullptr;
        for (size_t c = 0; c < channelsOut; ++c) out[c] = outputs && outputs[c] ? outputs[c] + position : nullptr;
        m_engine.process(in, channelsIn, out, channelsOut, len);
        // Host outputs beyond what the engine serves are silent.
        for (size_t c = channelsOut; c < numOutputs; ++c)
            if (outputs && outputs[c]) std::fill(outputs[c] + position, outputs[c] + position + len, T(0));
        position += len;
    }
    // Events past the block's end belong to no sample: they take effect now.
    while (next < m_events.size()) dispatch(m_events[next++]);
    m_events.clear();
    if (rate > 0)
        m_env->blockStartTime.store(m_env->blockStartTime.load(std::memory_order_relaxed) + double(n) / rate,
                                    std::memory_order_relaxed);
}

// ---------------------------------------------------------------- global settings

namespace {
constexpr uint32_t kTextTag = makeTag("dstr");
constexpr uint32_t kDataTag = makeTag("adat");
}  // namespace

CAudioWrapper::CGlobalParam::CGlobalParam(CAudioParamCollector& collector, CAudioParam& param, CString key)
    : m_collector(collector),
      m_param(param),
      m_key(std::move(key)),
      m_dataListener(*this, &CGlobalParam::onStoreChanged, CAppDataGlobal::instance()) {}

void CAudioWrapper::CGlobalParam::load() {
    const auto type = m_param.info().dataType;
    std::vector<uint8_t> payload;
    if (CAppDataGlobal::instance().readItem(m_key, payload, type == CAudioParamInfo::kRaw ? kDataTag : kTextTag))
        return;  // nothing stored yet: the parameter keeps its default
    CAudioParamTransaction tx(m_collector);
    if (type == CAudioParamInfo::kRaw) {
        tx.setBytes(m_param, 0, 0, std::move(payload));
    } else {
        CMemoryReader in(std::move(payload));
        CString text;
        if (in.readString(text)) return;
        double v;
        if (type == CAudioParamInfo::kString)
            tx.setText(m_param, 0, 0, text);
        else if (parseReal(text, v))
            tx.setElements(m_param, 0, 0, {v});
        else
            return;
    }
    m_applying = true;
    tx.finish(CString());
    m_applying = false;
}

void CAudioWrapper::CGlobalParam::store() {
    if (m_applying) return;
    const auto type = m_param.info().dataType;
    std::vector<uint8_t> payload;
    {
        std::lock_guard<std::mutex> lock(m_param.lock());
        if (type == CAudioParamInfo::kRaw) {
            payload = m_param.storage().bytes(0, 0);
        } else {
            CMemoryWriter out;
            out.writeString(type == CAudioParamInfo::kString ? m_param.storage().text(0, 0)
                                                             : toText(m_param.storage().read(0, 0)));
            payload = out.bytes();
        }
    }
    m_writing = true;
    if (CErrorPtr err = CAppDataGlobal::instance().writeItem(m_key, payload.data(), payload.size(),
                                                             type == CAudioParamInfo::kRaw ? kDataTag : kTextTag))
        CSystem::showError(*err);
    m_writing = false;
}

void CAudioWrapper::CGlobalParam::onStoreChanged(CAppData&, const CString& item) {
    // Items are announced by their file, without the name of their default.
    const std::string key = m_key.utf8();
    if (!m_writing && item.utf8() == key.substr(0, key.find('|'))) load();
}

// ---------------------------------------------------------------- state

// The state is the registry's compressed record, then the instance's UI
// settings as a trailer: their bytes, their u32 size and kUiSettingsMark.
// The record's reader may read past its end, so the trailer is found from
// the end of the state; a state of an older version has none.
CErrorPtr CAudioWrapper::saveState(COutputStream& out) {
    idle();  // the host's latest automation is part of the state
    ZEL_TRY(m_registry->saveState(out));
    CMemoryWriter settings;
    ZEL_TRY(m_uiSettings.save(settings));
    ZEL_TRY(out.write(settings.bytes().data(), settings.bytes().size()));
    ZEL_TRY(out.writeUInt32(uint32_t(settings.bytes().size())));
    ZEL_TRY(out.writeUInt32(kUiSettingsMark));
    return nullptr;
}

CErrorPtr CAudioWrapper::restoreState(CInputStream& in) {
    // The whole state, bounded by the largest record and its trailer.
    constexpr size_t kMaxState = CAudioPreset::kMaxRecordBytes + (size_t(2) << 20);
    std::vector<uint8_t> state;
    for (;;) {
        const size_t at = state.size();
        size_t count = 64 * 1024;
        state.resize(at + count);
        ZEL_TRY(in.readStreamed(state.data() + at, count));
        state.resize(at + count);
        if (count == 0) break;
        if (state.size() > kMaxState)
            return ZEL_ERROR("@zelstr_CAudioWrapper_restoreState_TooLong State of more than %1 bytes.", kMaxState);
    }
    size_t recordBytes = state.size();
    const uint8_t* settings = nullptr;
    size_t settingsBytes = 0;
    if (state.size() >= 8) {
        const uint8_t* tail = state.data() + state.size() - 8;
        auto u32 = [](const uint8_t* b) {
            return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        };
        const size_t size = u32(tail);
        if (u32(tail + 4) == kUiSettingsMark && size <= state.size() - 8) {
            recordBytes = state.size() - 8 - size;
            settings = tail - size;
            settingsBytes = size;
        }
    }
    // Damaged settings are refused before anything changes.
    if (settings) {
        CAppDataInstance check;
        CMemoryReaderStatic reader(settings, settingsBytes);
        ZEL_TRY(check.load(reader));
    }
    CMemoryReaderStatic record(state.data(), recordBytes);
    ZEL_TRY(m_registry->restoreState(record));
    m_routingRestored = true;
    if (settings) {
        CMemoryReaderStatic reader(settings, settingsBytes);
        ZEL_TRY(m_uiSettings.load(reader));
    }
    return nullptr;
}

}  // namespace zel
