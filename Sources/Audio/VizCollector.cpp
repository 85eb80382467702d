// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VizCollector.h"

#include "Audio/Param.h"
#include "Audio/ParamTransaction.h"
#include "Audio/ProcessDef.h"
#include "Core/Application.h"

#define ZEL_SOURCE_TAG "VizCollector"

namespace zel {

void CAudioVizMeterStream::publish(int channel, int group, const CAudioVizDataMeter& data) {
    if (channel < 0 || size_t(channel) >= kMaxChannels) return;
    CCell& cell = m_cells[size_t(channel)];
    const uint64_t s = cell.sequence.load(std::memory_order_relaxed);
    cell.sequence.store(s + 1, std::memory_order_relaxed);
    // Release stores order the odd count before each value for a reader
    // that sees the value; unlike fences, ThreadSanitizer follows them.
    cell.level.store(data.level, std::memory_order_release);
    cell.peak.store(data.peak, std::memory_order_release);
    cell.group.store(group, std::memory_order_release);
    cell.sequence.store(s + 2, std::memory_order_release);
}

bool CAudioVizMeterStream::read(int channel, CFrame& out) const {
    if (channel < 0 || size_t(channel) >= kMaxChannels) return false;
    const CCell& cell = m_cells[size_t(channel)];
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const uint64_t before = cell.sequence.load(std::memory_order_acquire);
        if (before == 0) return false;
        if (before & 1) continue;
        // Acquire loads keep the second look at the count after the values,
        // and a value of a newer frame makes that look see its count.
        const double level = cell.level.load(std::memory_order_acquire);
        const double peak = cell.peak.load(std::memory_order_acquire);
        const int group = cell.group.load(std::memory_order_acquire);
        if (cell.sequence.load(std::memory_order_relaxed) != before) continue;
        out.data.level = level;
        out.data.peak = peak;
        out.group = group;
        out.index = before / 2;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- collector

CErrorPtr CAudioVizCollector::init() {
    ZEL_TRY(CObject::init());
    m_enables.clear();
    ZEL_TRY(findObjectByAttr("param-collector", m_params));
    CAudioProcessDef* graph = nullptr;
    ZEL_TRY(findObjectByAttr("process-def", graph));
    CAudioParamDef* enableDef = nullptr;
    ZEL_TRY(findObjectByAttr("enable-param-def", enableDef));
    const CObject* audio = CApplication::sharedObject() ? CApplication::sharedObject()->findChild("audio") : nullptr;
    if (!audio || !parent())
        return ZEL_ERROR("@zelstr_CAudioVizCollector_init_NoDefinitions No audio definitions available.");
    m_audioPath = audio->fullName();
    m_pluginPath = parent()->fullName();

    CObject* target = nullptr;
    ZEL_TRY(findObjectChecked(runTimePath(*graph), target));
    for (const auto& child : graph->children()) {
        const auto* meter = dynamic_cast<const CModMeterDef*>(child.get());
        if (!meter) continue;
        CAudioParam* enable = nullptr;
        ZEL_TRY(m_params->addParam(*enableDef, *target, meter->name() + "-enable", enable));
        m_enables[runTimePath(*meter)] = enable;
        // The editor may look the stream up before the graph is built.
        registerProducer(*meter);
    }
    return nullptr;
}

CString CAudioVizCollector::runTimePath(const CObject& def) const {
    const CString name = def.fullName();
    const size_t n = m_audioPath.length();
    if (n && name.startsWith(m_audioPath) && (name.length() == n || name.at(n) == u'.'))
        return m_pluginPath + name.substr(n);
    return name;
}

CAudioVizMeterStream* CAudioVizCollector::registerProducer(const CObject& def) {
    const CString path = runTimePath(def);
    std::lock_guard<std::mutex> lock(m_lock);
    std::unique_ptr<CAudioVizMeterStream>& stream = m_streams[path];
    if (!stream) stream = std::make_unique<CAudioVizMeterStream>(path);
    return stream.get();
}

const CAudioVizMeterStream* CAudioVizCollector::find(const CString& path) const {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = m_streams.find(path);
    return it == m_streams.end() ? nullptr : it->second.get();
}

std::vector<CString> CAudioVizCollector::producerPaths() const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<CString> out;
    for (const auto& entry : m_streams) out.push_back(entry.first);
    return out;
}

CAudioParam* CAudioVizCollector::enableParam(const CString& path) const {
    auto it = m_enables.find(path);
    return it == m_enables.end() ? nullptr : it->second;
}

void CAudioVizCollector::setActive(bool active) {
    CAudioParamTransaction tx(*m_params);
    for (const auto& entry : m_enables) tx.setElements(*entry.second, 0, 0, {active ? 1.0 : 0.0});
    tx.finish("Visualisation");
}

}  // namespace zel
