// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"

namespace zel {

// A round anti-aliased pen at one UI scale: 2^b × 2^b precomputed stamps of
// n × n coverage bytes, one per sub-pixel position of the pen centre.
// Stamp (sx, sy), stored at index sy · 2^b + sx, is the pen centred at
// (anchor() + sx / 2^b, anchor() + sy / 2^b) in stamp pixels, where pixel
// (i, j) covers [i, i + 1) × [j, j + 1).
class CBrush {
public:
    CErrorPtr read(CInputStream& in, double uiScale);

    double width() const { return m_width; }
    uint32_t subPixelBits() const { return m_bits; }
    double scale() const { return m_scale; }
    int stampSize() const { return m_size; }
    double radius() const { return m_radius; }
    // Offset from a stamp's top-left pixel to the pixel holding the centre.
    int anchor() const { return m_anchor; }
    const uint8_t* stamp(uint32_t sx, uint32_t sy) const;

private:
    double m_width = 0;
    uint32_t m_bits = 0;
    double m_scale = 0;
    int m_size = 0;
    double m_radius = 0;
    int m_anchor = 0;
    std::vector<uint8_t> m_stamps;
};

class CBrushSet {
public:
    // A version other than 1 leaves the set empty without an error.
    CErrorPtr read(CInputStream& in, double uiScale);
    CErrorPtr load(const CString& resourceName, double uiScale);

    bool isLoaded() const { return m_loaded; }
    const std::vector<CBrush>& brushes() const { return m_brushes; }
    // The brush whose nominal width is closest to `width`; null when empty.
    const CBrush* find(double width) const;

private:
    bool m_loaded = false;
    std::vector<CBrush> m_brushes;
};

}  // namespace zel
