// SPDX-License-Identifier: GPL-3.0-or-later
#include "ParameterChanges.h"

#include <algorithm>

namespace lagwell::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= getPointCount()) return kInvalidArgument;
    sampleOffset = m_points[static_cast<size_t>(index)].offset;
    value = m_points[static_cast<size_t>(index)].value;
    return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    if (sampleOffset < 0) return kInvalidArgument;
    const auto at = std::lower_bound(m_points.begin(), m_points.end(), sampleOffset,
                                     [](const Point& p, int32 offset) { return p.offset < offset; });
    index = static_cast<int32>(at - m_points.begin());
    if (at != m_points.end() && at->offset == sampleOffset)
        at->value = value;
    else
        m_points.insert(at, Point{sampleOffset, value});
    return kResultOk;
}

void ParameterChanges::add(ParamID id, int32 sampleOffset, ParamValue value) {
    int32 index;
    addParameterData(id, index)->addPoint(sampleOffset, value, index);
}

ParamValueQueue* ParameterChanges::find(ParamID id) const {
    for (const auto& queue : m_queues)
        if (queue->getParameterId() == id) return queue.get();
    return nullptr;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
    if (index < 0 || index >= getParameterCount()) return nullptr;
    return m_queues[static_cast<size_t>(index)].get();
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (size_t i = 0; i < m_queues.size(); ++i) {
        if (m_queues[i]->getParameterId() == id) {
            index = static_cast<int32>(i);
            return m_queues[i].get();
        }
    }
    index = static_cast<int32>(m_queues.size());
    m_queues.push_back(std::make_unique<ParamValueQueue>(id));
    return m_queues.back().get();
}

}  // namespace lagwell::host
