// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "Audio/ParamValue.h"

namespace zel {

// The audio thread's own copy of one parameter's value. The engine refreshes
// it from the collector's hand-over at sub-block boundaries and counts a
// version, so that the slots bound to it see that it changed.
class CAudioParamCopy {
public:
    explicit CAudioParamCopy(const CAudioParamInfo& info);

    const CAudioParamInfo& info() const { return m_info; }
    const CAudioParamValue& value() const { return m_value; }
    uint64_t version() const { return m_version; }
    // Counts the changes of group g alone.
    uint64_t groupVersion(size_t g) const { return g < kMaxGroups ? m_groupVersions[g] : m_version; }
    // Where the count a reader of group g (any group: -1) watches lives.
    const uint64_t* versionCounter(long g) const {
        if (g < 0 || size_t(g) >= kMaxGroups || m_info.isSingleGroup) return &m_version;
        return &m_groupVersions[size_t(g)];
    }

    CAudioParamCopy(const CAudioParamCopy&) = delete;
    CAudioParamCopy& operator=(const CAudioParamCopy&) = delete;

    // Group g now holds `count` elements from `components` (none: the group
    // reads as the default). Groups and elements beyond what was reserved
    // are dropped, so the audio thread never allocates; they are far beyond
    // any layout of the plug-in.
    void setGroup(size_t g, const double* components, size_t count);
    // Component c of element e of group g becomes v; missing elements before
    // it take their defaults. Within the reserved capacity, as setGroup.
    void setComponent(size_t g, size_t e, size_t c, double v);

    static constexpr size_t kMaxGroups = 16;
    static constexpr size_t kMaxElements = 64;

private:
    const CAudioParamInfo& m_info;
    CAudioParamValue m_value;
    uint64_t m_version = 1;
    std::array<uint64_t, kMaxGroups> m_groupVersions;
};

// A numbered parameter slot of a process or module, bound by an
// `audio:param-alloc` to a parameter (through any remaps). Reading folds a
// single-group parameter to group 0 and a single-element one to element 0,
// and falls back to the parameter's default for what the value does not
// hold; an unbound slot reads the caller's fallback.
class CAudioParamSlot {
public:
    void bind(const CAudioParamCopy* copy, bool useAllGroups, bool useAllElements);
    // The slot is read for this group only: changes of other groups do not
    // count as changes of the slot (unless it uses all groups, or the
    // parameter has a single group).
    void watchGroup(size_t group);
    bool bound() const { return m_copy != nullptr; }
    const CAudioParamCopy* copy() const { return m_copy; }
    bool useAllGroups() const { return m_useAllGroups; }
    bool useAllElements() const { return m_useAllElements; }

    double read(size_t group, size_t element, double fallback, size_t component = 0) const;
    // Groups and elements the value stores (0 when unbound).
    size_t groupCount() const;
    size_t elementCount(size_t group) const;
    // The elements a reader of the group sees: the stored ones, or the
    // default's when the group stores none.
    size_t visibleElementCount(size_t group) const;

    // Whether the value changed since markSeen(); a fresh slot counts as
    // changed once.
    bool changed() const { return m_version ? m_seen != *m_version : !m_seenUnbound; }
    void markSeen() {
        if (m_version) m_seen = *m_version;
        m_seenUnbound = true;
    }

private:
    const CAudioParamCopy* m_copy = nullptr;
    // The count the slot watches, found once: processes ask every block.
    const uint64_t* m_version = nullptr;
    uint64_t m_seen = 0;
    bool m_seenUnbound = false;
    bool m_useAllGroups = false;
    bool m_useAllElements = false;
};

}  // namespace zel
