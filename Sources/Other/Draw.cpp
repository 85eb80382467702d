// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/Draw.h"

#include <cmath>
#include <functional>
#include <vector>

namespace zel {

namespace {

int32_t pixelFactor(int alpha, int32_t a) { return int32_t((int64_t(alpha) * a + 127) / 255); }

CColor colorOf(const uint8_t* bgr) { return CColor(bgr[2]) << 16 | CColor(bgr[1]) << 8 | bgr[0]; }

int floorDiv(int v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

// The ramps of the last few colours this thread drew with: building one
// costs more than drawing a small piece, and views draw their pieces in
// few colours, sector after sector.
const CTint& tintOf(CColor color) {
    struct CCached {
        CColor color;
        CTint tint;
    };
    constexpr size_t kSlots = 8;
    thread_local std::vector<CCached> cache;
    thread_local size_t next = 0;
    for (const CCached& c : cache)
        if (c.color == color) return c.tint;
    // Room for every slot at once: a ramp handed out stays where it is.
    cache.reserve(kSlots);
    if (cache.size() < kSlots) {
        cache.push_back({color, CTint(color)});
        return cache.back().tint;
    }
    CCached& slot = cache[next];
    next = (next + 1) % kSlots;
    slot = {color, CTint(color)};
    return slot.tint;
}

// Draws a destination area of outW × outH at (x, y) whose pixels come from
// the layer's canvas through the column and row maps.
void drawMapped(CLinearBitmap& bitmap, const CRect& clip, const CImageLayerData& layer, int x, int y, int outW,
                int outH, const std::function<int(int)>& colMap, const std::function<int(int)>& rowMap, CColor color,
                double opacity) {
    if (!layer.hasPixels()) return;
    const CRect area = CRect{x, y, x + outW, y + outH}.intersect(clip).intersect(bitmap.bounds());
    if (area.isEmpty()) return;
    const int32_t a = std::min<int32_t>(CLinearBitmap::opacityFactor(opacity), 65536);
    if (a == 0) return;
    const int ch = layer.channels();
    const CTint& tint = tintOf(ch == 2 ? color : 0);
    // The maps may point past the canvas when a border is drawn smaller
    // than its pieces; such pixels repeat the nearest edge.
    const auto clampTo = [](int v, int size) { return v < 0 ? 0 : (v >= size ? size - 1 : v); };
    for (int dy = area.top; dy < area.bottom; ++dy) {
        const uint8_t* row = layer.row(clampTo(rowMap(dy - y), layer.height()));
        uint8_t* d = bitmap.pixel(area.left, dy);
        for (int dx = area.left; dx < area.right; ++dx, d += 4) {
            const uint8_t* s = row + size_t(clampTo(colMap(dx - x), layer.width())) * ch;
            switch (ch) {
                case 1:
                    if (s[0]) CLinearBitmap::blendPixel(d, color, pixelFactor(s[0], a));
                    break;
                case 2:
                    if (s[1]) CLinearBitmap::blendPixel(d, tint[s[0]], pixelFactor(s[1], a));
                    break;
                default:
                    if (s[3]) CLinearBitmap::blendPixel(d, colorOf(s), pixelFactor(s[3], a));
                    break;
            }
        }
    }
}

// Column of a strip split at `split` and widened (or narrowed) by `extra`.
int stretchIndex(int d, int split, int extra) {
    if (extra >= 0) return d < split ? d : (d >= split + extra ? d - extra : split - 1);
    return d < split + extra / 2 ? d : d - extra;
}

}  // namespace

CTint::CTint(CColor color) {
    const int c[3] = {int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF)};
    for (int g = 0; g < 256; ++g) {
        CColor out = 0;
        for (int i = 0; i < 3; ++i) {
            const int v = g <= 128 ? (c[i] * g + 64) / 128 : c[i] + ((255 - c[i]) * (g - 128) + 63) / 127;
            out |= CColor(v) << (8 * i);
        }
        m_ramp[g] = out;
    }
}

void drawLayer(CLinearBitmap& bitmap, const CRect& clip, const CImageLayerData& layer, int x, int y, CColor color,
               double opacity) {
    const auto same = [](int i) { return i; };
    drawMapped(bitmap, clip, layer, x + layer.offsetX(), y + layer.offsetY(), layer.width(), layer.height(), same, same,
               color, opacity);
}

void drawImage(CLinearBitmap& bitmap, const CRect& clip, const CImage& image, int x, int y, CColor color,
               double opacity) {
    for (const CImageLayer& layer : image.layers()) drawLayer(bitmap, clip, layer.data(), x, y, color, opacity);
}

void drawBorder(CLinearBitmap& bitmap, const CRect& clip, const CImageSet& set, uint32_t first, const CRect& rect,
                CColor color, double opacity) {
    const CImage* pieces[4];
    for (uint32_t i = 0; i < 4; ++i) {
        pieces[i] = set.image(first + i);
        if (!pieces[i] || pieces[i]->layers().empty()) return;
    }
    const auto data = [&](int i) -> const CImageLayerData& { return pieces[i]->layers()[0].data(); };
    const auto same = [](int i) { return i; };
    for (int i = 0; i < 2; ++i) {
        const CImageLayerData& d = data(i);
        const int extra = rect.width() - d.nominalWidth();
        const int split = d.width() / 2;
        const int y = (i == 0 ? rect.top : rect.bottom - d.nominalHeight()) + d.offsetY();
        drawMapped(
            bitmap, clip, d, rect.left + d.offsetX(), y, d.width() + extra, d.height(),
            [split, extra](int c) { return stretchIndex(c, split, extra); }, same, color, opacity);
    }
    const int top = rect.top + data(0).nominalHeight();
    const int bottom = rect.bottom - data(1).nominalHeight();
    for (int i = 2; i < 4; ++i) {
        const CImageLayerData& d = data(i);
        if (d.height() <= 0) continue;
        const int x = (i == 2 ? rect.left : rect.right - d.nominalWidth()) + d.offsetX();
        const int extra = (bottom - top) - d.height();
        const int split = d.height() / 2;
        drawMapped(
            bitmap, clip, d, x, top, d.width(), bottom - top, same,
            [split, extra](int r) { return stretchIndex(r, split, extra); }, color, opacity);
    }
}

int drawText(CLinearBitmap& bitmap, const CRect& clip, const CFont& font, int x, int baseline, const CString& text,
             CColor color, double opacity) {
    int pen = x;
    for (size_t i = 0; i < text.length(); ++i) {
        const char16_t c = text.at(i);
        if (c == u'\n') {
            pen = x;
            baseline += font.lineHeight();
            continue;
        }
        const CImageLayerData* g = font.glyph(c);
        if (!g) continue;
        drawLayer(bitmap, clip, *g, pen, baseline, color, opacity);
        pen += g->nominalWidth();
    }
    return pen;
}

void drawPolyline(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, const std::vector<CPointF>& points,
                  CColor color, double opacity) {
    if (points.empty() || brush.stampSize() == 0) return;
    const int n = brush.stampSize();
    const int side = 1 << brush.subPixelBits();
    double minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
    for (const CPointF& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const CRect target = clip.intersect(bitmap.bounds());
    const double margin = n + 1;
    if (target.isEmpty() || maxX + margin < target.left || minX - margin > target.right || maxY + margin < target.top ||
        minY - margin > target.bottom)
        return;
    // The mask covers the visible part of the path only.
    const CRect box = CRect{int(std::floor(std::max(minX - margin, double(target.left)))),
                            int(std::floor(std::max(minY - margin, double(target.top)))),
                            int(std::ceil(std::min(maxX + margin, double(target.right)))),
                            int(std::ceil(std::min(maxY + margin, double(target.bottom))))}
                          .intersect(target);
    if (box.isEmpty()) return;
    std::vector<uint8_t> mask(size_t(box.width()) * box.height(), 0);
    const auto stampAt = [&](CPointF p) {
        if (p.x < box.left - margin || p.x > box.right + margin || p.y < box.top - margin || p.y > box.bottom + margin)
            return;
        const int vx = int(std::floor(p.x * side)), vy = int(std::floor(p.y * side));
        const int left = floorDiv(vx, side) - brush.anchor(), top = floorDiv(vy, side) - brush.anchor();
        if (left >= box.right || top >= box.bottom || left + n <= box.left || top + n <= box.top) return;
        const uint8_t* s =
            brush.stamp(uint32_t(vx - floorDiv(vx, side) * side), uint32_t(vy - floorDiv(vy, side) * side));
        for (int j = 0; j < n; ++j) {
            const int py = top + j;
            if (py < box.top || py >= box.bottom) continue;
            for (int i = 0; i < n; ++i) {
                const int px = left + i;
                if (px < box.left || px >= box.right) continue;
                uint8_t& m = mask[size_t(py - box.top) * box.width() + (px - box.left)];
                m = std::max(m, s[j * n + i]);
            }
        }
    };
    stampAt(points[0]);
    for (size_t k = 1; k < points.size(); ++k) {
        const CPointF a = points[k - 1], b = points[k];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        // Far-off points are clipped by the mask; the step count stays bounded.
        const int steps = int(std::min(std::ceil(length * 4), 1e6));
        for (int s = 1; s <= steps; ++s) {
            const double t = double(s) / steps;
            stampAt({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    const int32_t a = std::min<int32_t>(CLinearBitmap::opacityFactor(opacity), 65536);
    for (int y = box.top; y < box.bottom; ++y) {
        const uint8_t* m = &mask[size_t(y - box.top) * box.width()];
        uint8_t* d = bitmap.pixel(box.left, y);
        for (int x = box.left; x < box.right; ++x, ++m, d += 4)
            if (*m) CLinearBitmap::blendPixel(d, color, pixelFactor(*m, a));
    }
}

void drawLine(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, CPointF from, CPointF to, CColor color,
              double opacity) {
    drawPolyline(bitmap, clip, brush, {from, to}, color, opacity);
}

void drawCurve(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, CPointF p0, CPointF p1, CPointF p2,
               CPointF p3, CColor color, double opacity) {
    const double span = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                        std::hypot(p3.x - p2.x, p3.y - p2.y);
    const int segments = std::isfinite(span) ? std::clamp(int(span / 3), 4, 256) : 4;
    std::vector<CPointF> points;
    for (int i = 0; i <= segments; ++i) {
        const double t = double(i) / segments, u = 1 - t;
        const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
        points.push_back(
            {w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x, w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y});
    }
    drawPolyline(bitmap, clip, brush, points, color, opacity);
}

}  // namespace zel
