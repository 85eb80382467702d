// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModRouter.h"

#include <algorithm>

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "ModRouter"

namespace zel {

CErrorPtr CModRouter::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(def, ctx));
    m_isOutput = def.getBool("is-output", false);
    m_slots.assign(m_isOutput ? 1 : 2, CAudioParamSlot());
    ctx.bindSlots(def, m_slots);
    m_routes.reserve(kMaxChannels);
    m_layout.reserve(kMaxChannels);
    return nullptr;
}

int CModRouter::routedTo(size_t element) const { return int(roundHalfAwayToInt(m_slots[0].read(0, element, 0.0))) - 1; }

void CModRouter::rebuild() {
    m_routes.clear();
    const CAudioChannels& in = inputs[0];
    const CAudioParamSlot& routing = m_slots[0];
    // The routing table's own length says which channels it covers.
    const size_t elements = routing.visibleElementCount(0);
    if (!m_isOutput) {
        for (const CAudioChannel& c : in) {
            if (c.channel < 0 || size_t(c.channel) >= elements) continue;
            const int r = routedTo(size_t(c.channel));
            if (r < 0) continue;
            CRoute* route = nullptr;
            for (CRoute& existing : m_routes)
                if (existing.target == r) route = &existing;
            if (!route) {
                if (m_routes.size() == kMaxChannels) continue;
                m_routes.emplace_back();
                route = &m_routes.back();
                route->target = r;
                route->group = int(roundHalfAwayToInt(m_slots[1].read(0, size_t(r), 0.0)));
            }
            if (route->sourceCount < kMaxChannels) route->sources[route->sourceCount++] = c.channel;
        }
        for (CRoute& route : m_routes) route.gain = 1.0 / double(route.sourceCount);
    } else {
        for (size_t k = 0; k < elements && m_routes.size() < kMaxChannels; ++k) {
            const int r = routedTo(k);
            if (r < 0) continue;
            for (const CAudioChannel& c : in) {
                if (c.channel != r) continue;
                m_routes.emplace_back();
                CRoute& route = m_routes.back();
                route.target = int(k);
                route.group = c.group;
                route.sources[0] = r;
                route.sourceCount = 1;
                break;
            }
        }
    }
    m_passesOn = m_routes.size() == in.size();
    for (size_t i = 0; m_passesOn && i < in.size(); ++i) {
        const CRoute& r = m_routes[i];
        m_passesOn =
            r.sourceCount == 1 && r.sources[0] == in[i].channel && r.target == in[i].channel && r.group == in[i].group;
    }
}

void CModRouter::update() {
    if (formatValuesOrChannelsChanged(m_slots, m_layout)) rebuild();
}

void CModRouter::process(size_t n) {
    output.clear();
    const CAudioChannels& in = inputs[0];
    auto source = [&](int channel) -> const CAudioChannel* {
        for (const CAudioChannel& c : in)
            if (c.channel == channel) return &c;
        return nullptr;
    };
    for (const CRoute& route : m_routes) {
        CAudioChannel out;
        out.channel = route.target;
        out.group = route.group;
        if (route.sourceCount == 1) {
            if (const CAudioChannel* c = source(route.sources[0])) out.buffer = c->buffer;
        } else {
            out.buffer = m_ctx->newBuffer();
            if (out.buffer) {
                double* y = out.buffer.data();
                std::fill(y, y + n, 0.0);
                for (size_t s = 0; s < route.sourceCount; ++s) {
                    const CAudioChannel* c = source(route.sources[s]);
                    if (!c || !c->buffer) continue;
                    const double* x = c->buffer.data();
                    for (size_t j = 0; j < n; ++j) y[j] += x[j];
                }
                for (size_t j = 0; j < n; ++j) y[j] *= route.gain;
            }
        }
        if (out.buffer) output.push_back(std::move(out));
    }
}

}  // namespace zel
