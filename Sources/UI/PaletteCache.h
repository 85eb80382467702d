// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Core/Error.h"
#include "UI/DynamicPalette.h"

namespace zel {

// The prepared roles of the last palette built, kept in the application
// data so that opening an editor does not prepare every role again. An
// entry serves only a role whose values are still the same. The record:
// u32 version 1, then per role its name (u32 byte count and UTF-8), tone
// (u32), tone2 and tone3 (i32), brightness, contrast and opacity (f64),
// gradient size (u32) and the 256 ramp entries (u32), little-endian.
class CPaletteCache {
public:
    using CEntries = std::map<std::string, CPreparedColor>;

    static std::vector<uint8_t> write(const CEntries& entries);
    // Reads the whole record or fails without touching `out`.
    static CErrorPtr read(const std::vector<uint8_t>& data, CEntries& out);
    // The cached preparation of `role` made from `values`, or null.
    static const CPreparedColor* find(const CEntries& entries, const std::string& role, const CRoleValues& values);
};

}  // namespace zel
