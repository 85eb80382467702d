// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PaletteCache.h"

#include <algorithm>
#include <cmath>

#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "PaletteCache"

namespace zel {

namespace {

constexpr uint32_t kVersion = 1;

bool sameValues(const CRoleValues& a, const CRoleValues& b) {
    return a.tone == b.tone && a.tone2 == b.tone2 && a.tone3 == b.tone3 && a.brightness == b.brightness &&
           a.contrast == b.contrast && a.opacity == b.opacity && a.gradientSize == b.gradientSize;
}

}  // namespace

std::vector<uint8_t> CPaletteCache::write(const CEntries& entries) {
    CMemoryWriter out;
    (void)out.writeUInt32(kVersion);
    for (const auto& [name, p] : entries) {
        (void)out.writeString(CString::fromUtf8(name));
        (void)out.writeUInt32(p.values.tone);
        (void)out.writeInt32(p.values.tone2);
        (void)out.writeInt32(p.values.tone3);
        (void)out.writeReal(p.values.brightness);
        (void)out.writeReal(p.values.contrast);
        (void)out.writeReal(p.values.opacity);
        (void)out.writeUInt32(uint32_t(p.values.gradientSize));
        for (uint32_t entry : p.ramp) (void)out.writeUInt32(entry);
    }
    return out.take();
}

CErrorPtr CPaletteCache::read(const std::vector<uint8_t>& data, CEntries& out) {
    const auto damaged = [] {
        return ZEL_ERROR("@zelstr_CDynamicPalette_readCache_Damaged Palette cache is damaged.");
    };
    CMemoryReaderStatic in(data.data(), data.size());
    uint32_t version = 0;
    if (in.readUInt32(version) || version != kVersion) return damaged();
    CEntries entries;
    uint64_t position = 0;
    while (!in.getPosition(position) && position < data.size()) {
        CString name;
        CPreparedColor p;
        uint32_t gradientSize = 0;
        if (in.readString(name) || in.readUInt32(p.values.tone) || in.readInt32(p.values.tone2) ||
            in.readInt32(p.values.tone3) || in.readReal(p.values.brightness) || in.readReal(p.values.contrast) ||
            in.readReal(p.values.opacity) || in.readUInt32(gradientSize))
            return damaged();
        for (uint32_t& entry : p.ramp)
            if (in.readUInt32(entry)) return damaged();
        if (!std::isfinite(p.values.brightness) || !std::isfinite(p.values.contrast) ||
            !std::isfinite(p.values.opacity) || gradientSize < 1 || gradientSize > 4096)
            return damaged();
        p.values.gradientSize = int(gradientSize);
        // The colour and opacity follow from the values; only the ramp is kept.
        p.colour = applyBrightness(p.values.tone, p.values.brightness);
        p.opacity = std::clamp(p.values.opacity, 0.0, 1.0);
        entries[name.utf8()] = p;
    }
    out = std::move(entries);
    return nullptr;
}

const CPreparedColor* CPaletteCache::find(const CEntries& entries, const std::string& role, const CRoleValues& values) {
    const auto it = entries.find(role);
    return it != entries.end() && sameValues(it->second.values, values) ? &it->second : nullptr;
}

}  // namespace zel
