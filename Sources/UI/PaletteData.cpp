// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PaletteData.h"

#include <cmath>

#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "PaletteData"

namespace zel {

namespace {

constexpr uint32_t kVersion = 1;

// A tone is 24 bits of colour; a secondary tone may also be -1 (none).
bool validTone(int64_t tone, bool optional) { return (tone >= 0 && tone <= 0xffffff) || (optional && tone == -1); }

CErrorPtr damaged() { return ZEL_ERROR("@zelstr_CDynamicPalette_readPaletteData_Damaged Palette data is damaged."); }

}  // namespace

std::vector<uint8_t> writePaletteData(const std::vector<CPaletteEntry>& entries) {
    CMemoryWriter out;
    (void)out.writeUInt32(kVersion);
    for (const CPaletteEntry& e : entries) {
        (void)out.writeString(e.name);
        (void)out.writeReal(e.brightness);
        (void)out.writeReal(e.contrast);
        (void)out.writeReal(e.opacity);
        (void)out.writeUInt32(e.tone);
        (void)out.writeInt32(e.tone2);
        (void)out.writeInt32(e.tone3);
    }
    return out.take();
}

CErrorPtr readPaletteData(const std::vector<uint8_t>& data, std::vector<CPaletteEntry>& out) {
    CMemoryReaderStatic in(data.data(), data.size());
    uint32_t version = 0;
    if (in.readUInt32(version)) return damaged();
    if (version != kVersion)
        return ZEL_ERROR("@zelstr_CDynamicPalette_readPaletteData_Version Unknown palette data version %1.",
                         toText((long long)version));
    std::vector<CPaletteEntry> entries;
    uint64_t position = 0;
    while (!in.getPosition(position) && position < data.size()) {
        CPaletteEntry e;
        if (in.readString(e.name) || e.name.empty() || in.readReal(e.brightness) || in.readReal(e.contrast) ||
            in.readReal(e.opacity) || in.readUInt32(e.tone) || in.readInt32(e.tone2) || in.readInt32(e.tone3))
            return damaged();
        if (!std::isfinite(e.brightness) || !std::isfinite(e.contrast) || !std::isfinite(e.opacity) ||
            !validTone(e.tone, false) || !validTone(e.tone2, true) || !validTone(e.tone3, true))
            return damaged();
        entries.push_back(std::move(e));
    }
    out = std::move(entries);
    return nullptr;
}

}  // namespace zel
