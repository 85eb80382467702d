// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small anti-aliased painter for the procedural image sets: shapes are
// signed distance functions in pixels (negative inside), filled with one
// pixel of anti-aliasing and composited source-over in premultiplied float.

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "ResourceWriter.h"

namespace lagwell::tools {

// Straight (not premultiplied) colour, components 0 to 1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};
inline Rgba grey(float level, float alpha = 1) { return {level, level, level, alpha}; }

using Sdf = std::function<float(float x, float y)>;
using Paint = std::function<Rgba(float x, float y)>;

float sdRoundRect(float x, float y, float x0, float y0, float x1, float y1, float radius);
float sdCircle(float x, float y, float cx, float cy, float radius);
// A stroke of the given width along the segment, with round caps.
float sdSegment(float x, float y, float ax, float ay, float bx, float by, float width);
// A ring of the given width around the circle, between two angles in
// radians (0 points right, growing clockwise on screen).
float sdArc(float x, float y, float cx, float cy, float radius, float width, float from, float to);
inline Sdf unite(Sdf a, Sdf b) {
    return [a, b](float x, float y) { return std::min(a(x, y), b(x, y)); };
}
inline Sdf subtract(Sdf a, Sdf b) {
    return [a, b](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}
// The band of `width` along the outline of a shape, inset by `inset`.
inline Sdf outline(Sdf s, float inset, float width) {
    return [s, inset, width](float x, float y) { return std::fabs(s(x, y) + inset + width / 2) - width / 2; };
}

class Canvas {
public:
    Canvas(int width, int height);
    int width() const { return m_w; }
    int height() const { return m_h; }

    void fill(const Sdf& shape, const Paint& paint);
    void fill(const Sdf& shape, Rgba color) {
        fill(shape, [color](float, float) { return color; });
    }
    // A blurred, offset copy of the shape's coverage in `color`: shadows in
    // black, glows in white.
    void shadow(const Sdf& shape, float blur, float dx, float dy, Rgba color);
    // Per-pixel paint over the whole canvas (gradients, noise).
    void paintAll(const Paint& paint);

    // Grey-with-alpha or blue, green, red, alpha pixels of a rectangle.
    LayerCopy layer(int channels, int x, int y, int w, int h) const;
    LayerCopy layer(int channels) const { return layer(channels, 0, 0, m_w, m_h); }

private:
    struct Px {
        float r = 0, g = 0, b = 0, a = 0;
    };
    void over(Px& d, Rgba c, float coverage);

    int m_w, m_h;
    std::vector<Px> m_px;
};

}  // namespace lagwell::tools
