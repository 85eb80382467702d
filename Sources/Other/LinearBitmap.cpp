// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/LinearBitmap.h"

#include <cmath>
#include <cstring>

namespace zel {

void CLinearBitmap::resize(int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    if (width == m_width && height == m_height) return;
    m_width = width;
    m_height = height;
    m_pixels.assign(size_t(width) * height * 4, 0);
}

int32_t CLinearBitmap::opacityFactor(double opacity) {
    if (!(opacity > 0)) return 0;
    const double a = std::round(65536.0 * opacity);
    return a >= 2147483647.0 ? INT32_MAX : int32_t(a);
}

void CLinearBitmap::fillHLine(int x, int y, int length, CColor color, double opacity) {
    fillRect({x, y, x + std::max(0, length), y + 1}, color, opacity);
}

void CLinearBitmap::fillVLine(int x, int y, int length, CColor color, double opacity) {
    fillRect({x, y, x + 1, y + std::max(0, length)}, color, opacity);
}

void CLinearBitmap::fillRect(const CRect& rect, CColor color, double opacity) {
    const CRect r = rect.intersect(bounds());
    if (r.isEmpty()) return;
    const int32_t a = opacityFactor(opacity);
    if (a == 0) return;
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* p = pixel(r.left, y);
        for (int x = r.left; x < r.right; ++x, p += 4) blendPixel(p, color, a);
    }
}

void CLinearBitmap::blend(const CLinearBitmap& src, double opacity) {
    if (src.m_width != m_width || src.m_height != m_height) return;
    const int32_t a = opacityFactor(opacity);
    const size_t count = size_t(m_width) * m_height;
    const uint8_t* s = src.m_pixels.data();
    uint8_t* d = m_pixels.data();
    for (size_t i = 0; i < count; ++i, s += 4, d += 4) {
        for (int c = 0; c < 3; ++c) d[c] = a >= 65536 ? s[c] : blendByte(d[c], s[c], a);
    }
}

void CLinearBitmap::copyFrom(const CLinearBitmap& src) {
    if (&src == this) return;
    resize(src.m_width, src.m_height);
    if (!m_pixels.empty()) std::memcpy(m_pixels.data(), src.m_pixels.data(), m_pixels.size());
}

}  // namespace zel
