// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zel {

// A colour as 0x00RRGGBB.
using CColor = uint32_t;

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    CRect intersect(const CRect& o) const {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    }
};

// The window's drawing surface: 32-bit pixels, rows top to bottom, bytes in
// the order blue, green, red, alpha, stride width × 4. Fills and blends
// leave the alpha byte alone.
class CLinearBitmap {
public:
    // New pixels are zero; a resize to the same size keeps the contents.
    void resize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }
    size_t stride() const { return size_t(m_width) * 4; }
    CRect bounds() const { return {0, 0, m_width, m_height}; }
    uint8_t* pixels() { return m_pixels.data(); }
    const uint8_t* pixels() const { return m_pixels.data(); }
    uint8_t* pixel(int x, int y) { return m_pixels.data() + size_t(y) * stride() + size_t(x) * 4; }
    const uint8_t* pixel(int x, int y) const { return m_pixels.data() + size_t(y) * stride() + size_t(x) * 4; }

    // round(65536 × opacity), half away from zero; never below 0.
    static int32_t opacityFactor(double opacity);
    // The rounded linear blend of one byte with a 16.16 factor below 65536.
    static uint8_t blendByte(int dst, int src, int32_t a) {
        return uint8_t((dst * 65536 + (src - dst) * a + 32768) >> 16);
    }
    // Blends blue, green and red of `p` towards the colour; a ≥ 65536 stores
    // it. Inline: every drawn pixel goes through it.
    static void blendPixel(uint8_t* p, CColor color, int32_t a) {
        const int b = color & 0xFF, g = color >> 8 & 0xFF, r = color >> 16 & 0xFF;
        if (a >= 65536) {
            p[0] = uint8_t(b);
            p[1] = uint8_t(g);
            p[2] = uint8_t(r);
            return;
        }
        p[0] = blendByte(p[0], b, a);
        p[1] = blendByte(p[1], g, a);
        p[2] = blendByte(p[2], r, a);
    }

    // Runs clipped to the bitmap.
    void fillHLine(int x, int y, int length, CColor color, double opacity);
    void fillVLine(int x, int y, int length, CColor color, double opacity);
    void fillRect(const CRect& rect, CColor color, double opacity);
    // Blends `src` over this bitmap; does nothing when the sizes differ.
    void blend(const CLinearBitmap& src, double opacity);
    // Takes the size and the pixels of `src`.
    void copyFrom(const CLinearBitmap& src);

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_pixels;
};

}  // namespace zel
