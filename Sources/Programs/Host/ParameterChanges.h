// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Parameter changes of one process call, in both directions: the host fills
// the input changes, the plug-in the output ones. Each parameter has one
// queue; its points stay ordered by sample offset, and a second point at the
// same offset replaces the first.

#include <memory>
#include <vector>

#include "HostObject.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace lagwell::host {

class ParamValueQueue final : public HostOwned<Steinberg::Vst::IParamValueQueue> {
public:
    explicit ParamValueQueue(Steinberg::Vst::ParamID id) : m_id(id) {}

    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return m_id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return static_cast<Steinberg::int32>(m_points.size()); }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

private:
    struct Point {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };
    Steinberg::Vst::ParamID m_id;
    std::vector<Point> m_points;
};

class ParameterChanges final : public HostOwned<Steinberg::Vst::IParameterChanges> {
public:
    ParameterChanges() = default;

    // Queues a point, as the host does for automation.
    void add(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value);
    // The queue of a parameter, or null when it has no change.
    ParamValueQueue* find(Steinberg::Vst::ParamID id) const;

    Steinberg::int32 PLUGIN_API getParameterCount() override { return static_cast<Steinberg::int32>(m_queues.size()); }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

private:
    std::vector<std::unique_ptr<ParamValueQueue>> m_queues;
};

}  // namespace lagwell::host
