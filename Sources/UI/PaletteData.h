// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"

namespace zel {

// What the user set for one role of the palette.
struct CPaletteEntry {
    CString name;
    double brightness = 0.0;
    double contrast = 0.5;
    double opacity = 1.0;
    uint32_t tone = 0;               // 0x00RRGGBB
    int32_t tone2 = -1, tone3 = -1;  // -1: none
};

// The palette record that the palette parameter and colour presets hold:
// u32 version 1, then entries to the end of the data, each the role name
// (u32 byte count and UTF-8), brightness, contrast and opacity (f64), tone
// (u32), tone2 and tone3 (i32), all little-endian.
std::vector<uint8_t> writePaletteData(const std::vector<CPaletteEntry>& entries);
// Reads the whole record or fails without touching `out`.
CErrorPtr readPaletteData(const std::vector<uint8_t>& data, std::vector<CPaletteEntry>& out);

}  // namespace zel
