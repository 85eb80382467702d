// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "Core/Stream.h"

namespace zel {

// Little-endian 16-bit fields of the graphic resources, which the core
// stream primitives do not cover.
inline uint16_t loadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline int16_t loadI16(const uint8_t* p) { return int16_t(loadU16(p)); }
inline uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline CErrorPtr readU16(CInputStream& in, uint16_t& out) {
    uint8_t b[2];
    if (CErrorPtr e = in.read(b, 2)) return e;
    out = loadU16(b);
    return nullptr;
}

inline CErrorPtr readI16(CInputStream& in, int16_t& out) {
    uint16_t u;
    if (CErrorPtr e = readU16(in, u)) return e;
    out = int16_t(u);
    return nullptr;
}

}  // namespace zel
