// SPDX-License-Identifier: GPL-3.0-or-later
#include "Painter.h"

#include <algorithm>
#include <cmath>

namespace lagwell::tools {

namespace {
constexpr float kPi = 3.14159265358979f;

float clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }
unsigned char byteOf(float v) { return static_cast<unsigned char>(std::lround(clamp01(v) * 255)); }
}  // namespace

float sdRoundRect(float x, float y, float x0, float y0, float x1, float y1, float radius) {
    const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const float hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
    const float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float sdCircle(float x, float y, float cx, float cy, float radius) { return std::hypot(x - cx, y - cy) - radius; }

float sdSegment(float x, float y, float ax, float ay, float bx, float by, float width) {
    const float px = x - ax, py = y - ay, vx = bx - ax, vy = by - ay;
    const float len2 = vx * vx + vy * vy;
    const float t = len2 > 0 ? clamp01((px * vx + py * vy) / len2) : 0;
    return std::hypot(px - vx * t, py - vy * t) - width / 2;
}

float sdArc(float x, float y, float cx, float cy, float radius, float width, float from, float to) {
    float angle = std::atan2(y - cy, x - cx);
    // Measure from `from` so that the span is one interval.
    float rel = angle - from;
    while (rel < 0) rel += 2 * kPi;
    while (rel >= 2 * kPi) rel -= 2 * kPi;
    const float span = to - from;
    if (rel <= span) return std::fabs(std::hypot(x - cx, y - cy) - radius) - width / 2;
    const float ex[2] = {cx + radius * std::cos(from), cx + radius * std::cos(to)};
    const float ey[2] = {cy + radius * std::sin(from), cy + radius * std::sin(to)};
    return std::min(std::hypot(x - ex[0], y - ey[0]), std::hypot(x - ex[1], y - ey[1])) - width / 2;
}

Canvas::Canvas(int width, int height) : m_w(std::max(0, width)), m_h(std::max(0, height)), m_px(size_t(m_w) * m_h) {}

void Canvas::over(Px& d, Rgba c, float coverage) {
    const float a = clamp01(c.a * coverage);
    if (a <= 0) return;
    d.r = c.r * a + d.r * (1 - a);
    d.g = c.g * a + d.g * (1 - a);
    d.b = c.b * a + d.b * (1 - a);
    d.a = a + d.a * (1 - a);
}

void Canvas::fill(const Sdf& shape, const Paint& paint) {
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            // Four samples per pixel keep thin strokes and tight curves smooth.
            float coverage = 0;
            for (float oy : {-0.25f, 0.25f})
                for (float ox : {-0.25f, 0.25f}) coverage += clamp01(0.5f - 2 * shape(px + ox, py + oy)) / 4;
            if (coverage > 0) over(m_px[size_t(y) * m_w + x], paint(px, py), coverage);
        }
}

void Canvas::shadow(const Sdf& shape, float blur, float dx, float dy, Rgba color) {
    std::vector<float> mask(m_px.size());
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) mask[size_t(y) * m_w + x] = clamp01(0.5f - shape(x + 0.5f - dx, y + 0.5f - dy));
    // Three box passes each way approximate a Gaussian of about `blur` pixels.
    const int r = std::max(0, static_cast<int>(std::lround(blur / 2)));
    std::vector<float> tmp(mask.size());
    for (int pass = 0; pass < 3 && r > 0; ++pass) {
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x) {
                float s = 0;
                for (int k = -r; k <= r; ++k) s += mask[size_t(y) * m_w + std::clamp(x + k, 0, m_w - 1)];
                tmp[size_t(y) * m_w + x] = s / (2 * r + 1);
            }
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x) {
                float s = 0;
                for (int k = -r; k <= r; ++k) s += tmp[size_t(std::clamp(y + k, 0, m_h - 1)) * m_w + x];
                mask[size_t(y) * m_w + x] = s / (2 * r + 1);
            }
    }
    for (size_t i = 0; i < m_px.size(); ++i) over(m_px[i], color, mask[i]);
}

void Canvas::paintAll(const Paint& paint) {
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) over(m_px[size_t(y) * m_w + x], paint(x + 0.5f, y + 0.5f), 1);
}

LayerCopy Canvas::layer(int channels, int x0, int y0, int w, int h) const {
    LayerCopy c;
    c.channels = channels;
    c.width = w;
    c.height = h;
    c.pixels.reserve(size_t(w) * h * channels);
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const Px p = (x >= 0 && y >= 0 && x < m_w && y < m_h) ? m_px[size_t(y) * m_w + x] : Px{};
            const unsigned char alpha = byteOf(p.a);
            const float inv = p.a > 0 ? 1 / p.a : 0;
            if (channels == 2) {
                c.pixels.push_back(alpha ? byteOf((p.r + p.g + p.b) / 3 * inv) : 0);
                c.pixels.push_back(alpha);
            } else {
                c.pixels.push_back(alpha ? byteOf(p.b * inv) : 0);
                c.pixels.push_back(alpha ? byteOf(p.g * inv) : 0);
                c.pixels.push_back(alpha ? byteOf(p.r * inv) : 0);
                c.pixels.push_back(alpha);
            }
        }
    return c;
}

}  // namespace lagwell::tools
