// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioParamSlot.h"

#include <algorithm>

namespace zel {

CAudioParamCopy::CAudioParamCopy(const CAudioParamInfo& info) : m_info(info), m_value(info.elementSize) {
    m_groupVersions.fill(1);
    // Every group exists from the start with its full capacity; a group
    // without elements reads as the default, like one that is not stored.
    m_value.setGroupCount(kMaxGroups);
    for (size_t g = 0; g < kMaxGroups; ++g) m_value.group(g).reserve(kMaxElements * info.elementSize);
    for (size_t g = 0; g < info.defaultValue.groupCount() && g < kMaxGroups; ++g) {
        const auto& src = info.defaultValue.group(g);
        setGroup(g, src.data(), src.size() / info.elementSize);
    }
}

void CAudioParamCopy::setGroup(size_t g, const double* components, size_t count) {
    if (g >= kMaxGroups) return;
    count = std::min(count, kMaxElements);
    // Within the reserved capacity this allocates nothing.
    auto& group = m_value.group(g);
    group.assign(components, components + count * m_info.elementSize);
    ++m_version;
    ++m_groupVersions[g];
}

void CAudioParamCopy::setComponent(size_t g, size_t e, size_t c, double v) {
    const size_t size = m_info.elementSize;
    if (g >= kMaxGroups || e >= kMaxElements || c >= size) return;
    auto& group = m_value.group(g);
    while (group.size() < (e + 1) * size) {
        const size_t element = group.size() / size, component = group.size() % size;
        group.push_back(m_info.read(m_info.defaultValue, g, element, component));
    }
    group[e * size + c] = v;
    ++m_version;
    ++m_groupVersions[g];
}

void CAudioParamSlot::bind(const CAudioParamCopy* copy, bool useAllGroups, bool useAllElements) {
    m_copy = copy;
    m_useAllGroups = useAllGroups;
    m_useAllElements = useAllElements;
    m_seen = 0;
    m_seenUnbound = false;
    m_version = copy ? copy->versionCounter(-1) : nullptr;
}

void CAudioParamSlot::watchGroup(size_t group) {
    m_seen = 0;
    if (m_copy) m_version = m_copy->versionCounter(m_useAllGroups ? -1 : long(group));
}

double CAudioParamSlot::read(size_t group, size_t element, double fallback, size_t component) const {
    if (!m_copy) return fallback;
    const CAudioParamInfo& info = m_copy->info();
    if (info.isSingleGroup) group = 0;
    if (info.isSingleElement) element = 0;
    return info.read(m_copy->value(), group, element, component);
}

size_t CAudioParamSlot::groupCount() const { return m_copy ? m_copy->value().groupCount() : 0; }

size_t CAudioParamSlot::elementCount(size_t group) const { return m_copy ? m_copy->value().elementCount(group) : 0; }

size_t CAudioParamSlot::visibleElementCount(size_t group) const {
    if (!m_copy) return 0;
    if (m_copy->info().isSingleGroup) group = 0;
    const size_t stored = m_copy->value().elementCount(group);
    return stored ? stored : m_copy->info().defaultValue.elementCount(0);
}

}  // namespace zel
