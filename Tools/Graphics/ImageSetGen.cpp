// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-isgen out_dir
//
// Draws the 26 image sets of the editor and writes out_dir/<set>.is. Every
// image is drawn anew at each UI scale (0.8, 1.0, 1.25; the screenshots at
// 1.0 only) from geometry given for scale 1.0. Interface images are grey
// with alpha around mid-grey 128, which the plug-in tints with a colour
// role; light comes from above: highlights on upper edges, soft shadows
// below. Frame-like sets hold eight strips per look: the frame's top,
// bottom, left and right strips, then the same for its hover highlight.

#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Painter.h"

using namespace lagwell::tools;

namespace {

constexpr float kPi = 3.14159265358979f;
const std::vector<double> kScales = {0.8, 1.0, 1.25};
constexpr float kMid = 128.0f / 255.0f;
constexpr int kStrip = 120;

int px(double v, double s) { return static_cast<int>(std::lround(v * s)); }

Sdf moved(Sdf shape, float dx, float dy) {
    return [shape, dx, dy](float x, float y) { return shape(x - dx, y - dy); };
}
Sdf inset(Sdf shape, float d) {
    return [shape, d](float x, float y) { return shape(x, y) + d; };
}

// Builds one set: ranges and images, each layer drawn once per scale.
class SetBuilder {
public:
    using Draw = std::function<LayerCopy(double scale)>;

    void range(const std::string& name, uint32_t first, uint32_t last) { m_ranges.push_back({name, first, last}); }
    void image(uint32_t number, const std::vector<std::pair<int, Draw>>& layers,
               const std::vector<double>& scales = kScales) {
        Image image{number, {}};
        for (const auto& [role, draw] : layers) {
            Layer layer{role, {}};
            for (double s : scales) {
                LayerCopy c = draw(s);
                c.scale = s;
                layer.copies.push_back(std::move(c));
            }
            image.layers.push_back(std::move(layer));
        }
        m_images.push_back(std::move(image));
    }
    void single(uint32_t number, const Draw& draw, const std::vector<double>& scales = kScales) {
        image(number, {{0, draw}}, scales);
    }
    void named(const std::string& name, uint32_t number, const Draw& draw) {
        range(name, number, number);
        single(number, draw);
    }
    Bytes encode() { return encodeImageSet(m_ranges, m_images); }

private:
    std::vector<Range> m_ranges;
    std::vector<Image> m_images;
};

// A canvas with a margin around a nominal w × h image.
struct Sized {
    Canvas canvas;
    float m;
    LayerCopy finish(int channels, int nominalW, int nominalH) const {
        LayerCopy c = canvas.layer(channels);
        c.offsetX = c.offsetY = -static_cast<int>(m);
        c.nominalWidth = nominalW;
        c.nominalHeight = nominalH;
        return c;
    }
};
Sized sized(double s, double w, double h, double margin) {
    const int m = px(margin, s);
    return {Canvas(px(w, s) + 2 * m, px(h, s) + 2 * m), static_cast<float>(m)};
}

// ---- frames

enum class Look { Raised, Sunken, Flat, Outline, Shadow, Pushed, Lit };

struct FrameStyle {
    Look look;
    float radius, band, margin;
    float blur = 0, dy = 0, opacity = 0;
};

void paintFrame(Canvas& c, const Sdf& body, const FrameStyle& st, double s, bool highlight) {
    const float u = static_cast<float>(s);
    if (highlight) {
        if (st.look == Look::Shadow) return;
        c.shadow(body, 3 * u, 0, 0, grey(1, 0.25f));
        c.fill(outline(body, 0, 1.2f * u), grey(0.9f, 0.55f));
        return;
    }
    switch (st.look) {
        case Look::Shadow:
            c.shadow(body, st.blur * u, 0, st.dy * u, grey(0, st.opacity));
            return;
        case Look::Outline:
            c.fill(outline(body, 0, 1 * u), grey(kMid));
            return;
        case Look::Raised:
        case Look::Lit:
            if (st.opacity > 0) c.shadow(body, st.blur * u, 0, st.dy * u, grey(0, st.opacity));
            c.fill(body, grey(kMid));
            c.fill(subtract(inset(body, u), moved(inset(body, u), 0, u)), grey(1, st.look == Look::Lit ? 0.8f : 0.5f));
            c.fill(subtract(inset(body, u), moved(inset(body, u), 0, -u)), grey(0, 0.18f));
            if (st.look == Look::Lit) c.fill(outline(body, u, 1.2f * u), grey(0.85f, 0.5f));
            c.fill(outline(body, 0, u), grey(0.12f, 0.55f));
            return;
        case Look::Sunken:
        case Look::Pushed:
            c.fill(subtract(moved(body, 0, u), body), grey(1, 0.45f));
            c.fill(body, grey(kMid));
            c.fill(subtract(body, moved(body, 0, 2 * u)), grey(0, st.look == Look::Pushed ? 0.24f : 0.16f));
            c.fill(subtract(body, moved(body, 0, u)), grey(0, st.look == Look::Pushed ? 0.3f : 0.22f));
            c.fill(outline(body, 0, u), grey(0.1f, 0.5f));
            return;
        case Look::Flat:
            c.fill(body, grey(kMid));
            c.fill(subtract(inset(body, u), moved(inset(body, u), 0, u)), grey(1, 0.3f));
            c.fill(outline(body, 0, u), grey(0.15f, 0.4f));
            return;
    }
}

// Four strips (top, bottom, left, right) cut from a frame drawn around a
// 120 × (120 + 2 bands) rectangle, so the side strips are 120 long.
void addFrame(SetBuilder& set, uint32_t first, const FrameStyle& st) {
    for (int part = 0; part < 2; ++part) {
        for (int piece = 0; piece < 4; ++piece) {
            set.single(first + 4 * part + piece, [=](double s) {
                const int L = px(kStrip, s), tb = std::max(1, px(st.band, s)), m = px(st.margin, s);
                Canvas c(L + 2 * m, L + 2 * tb + 2 * m);
                const float x0 = m, y0 = m, x1 = m + L, y1 = m + L + 2 * tb, r = st.radius * s;
                const Sdf body = [=](float x, float y) { return sdRoundRect(x, y, x0, y0, x1, y1, r); };
                paintFrame(c, body, st, s, part == 1);
                LayerCopy out;
                switch (piece) {
                    case 0:
                        out = c.layer(2, 0, 0, L + 2 * m, m + tb);
                        out.offsetX = out.offsetY = -m;
                        out.nominalWidth = L;
                        out.nominalHeight = tb;
                        break;
                    case 1:
                        out = c.layer(2, 0, m + L + tb, L + 2 * m, tb + m);
                        out.offsetX = -m;
                        out.nominalWidth = L;
                        out.nominalHeight = tb;
                        break;
                    case 2:
                        out = c.layer(2, 0, m + tb, m + tb, L);
                        out.offsetX = -m;
                        out.nominalWidth = tb;
                        out.nominalHeight = L;
                        break;
                    default:
                        out = c.layer(2, m + L - tb, m + tb, tb + m, L);
                        out.nominalWidth = tb;
                        out.nominalHeight = L;
                        break;
                }
                return out;
            });
        }
    }
}

void frameSet(SetBuilder& set, const FrameStyle& st) {
    set.range("", 1, 8);
    addFrame(set, 1, st);
}

// ---- icons: shapes in mid-grey with a faint shadow, drawn on a nominal
// w × h box with a 2-pixel margin.

using Shape = std::function<Sdf(double s, float ox, float oy)>;

SetBuilder::Draw icon(double w, double h, Shape shape, float level = kMid) {
    return [=](double s) {
        Sized z = sized(s, w, h, 2);
        const Sdf sdf = shape(s, z.m, z.m);
        z.canvas.shadow(sdf, 1.5f * s, 0, 1 * s, grey(0, 0.3f));
        z.canvas.fill(sdf, grey(level));
        return z.finish(2, px(w, s), px(h, s));
    };
}

Sdf chevron(float ax, float ay, float bx, float by, float cx, float cy, float width) {
    return [=](float x, float y) {
        return std::min(sdSegment(x, y, ax, ay, bx, by, width), sdSegment(x, y, bx, by, cx, cy, width));
    };
}

// Points given for scale 1.0 inside the icon box.
Shape chevronIcon(float ax, float ay, float bx, float by, float cx, float cy, float width) {
    return [=](double s, float ox, float oy) {
        const float u = static_cast<float>(s);
        return chevron(ox + ax * u, oy + ay * u, ox + bx * u, oy + by * u, ox + cx * u, oy + cy * u, width * u);
    };
}

Shape mouseIcon(int button, bool twice, bool wheel) {
    return [=](double s, float ox, float oy) -> Sdf {
        const float u = static_cast<float>(s);
        const float x0 = ox + 1 * u, y0 = oy + 0.5f * u, x1 = ox + 10 * u, y1 = oy + 13.5f * u;
        Sdf body = outline([=](float x, float y) { return sdRoundRect(x, y, x0, y0, x1, y1, 4.5f * u); }, 0, 1.3f * u);
        const float mx = (x0 + x1) / 2, my = y0 + 5.5f * u;
        body = unite(body, [=](float x, float y) { return sdSegment(x, y, x0, my, x1, my, 1.2f * u); });
        body = unite(body, [=](float x, float y) { return sdSegment(x, y, mx, y0, mx, my, 1.2f * u); });
        if (button) {
            const float bx0 = button < 0 ? x0 : mx, bx1 = button < 0 ? mx : x1;
            const Sdf half = [=](float x, float y) {
                return std::max(sdRoundRect(x, y, x0, y0, x1, y1, 4.5f * u),
                                sdRoundRect(x, y, bx0, y0 - 2 * u, bx1, my, 0));
            };
            body = unite(body, half);
        }
        if (wheel)
            body = unite(body, [=](float x, float y) {
                return sdSegment(x, y, mx, y0 + 2.5f * u, mx, my - 1.5f * u, 2.4f * u);
            });
        if (twice) {
            const float dx = button < 0 ? ox - 2.5f * u : ox + 13.5f * u;
            body = unite(body, [=](float x, float y) { return sdCircle(x, y, dx, oy + 2 * u, 1.1f * u); });
            body = unite(body, [=](float x, float y) { return sdCircle(x, y, dx, oy + 5.5f * u, 1.1f * u); });
        }
        return body;
    };
}

void buttonSet(SetBuilder& set) {
    const FrameStyle normal{Look::Raised, 3, 4, 6, 4, 1.5f, 0.35f};
    set.range("", 1, 8);
    addFrame(set, 1, normal);
    set.range("Pushed", 11, 18);
    addFrame(set, 11, {Look::Pushed, 3, 4, 6});
    set.range("Active", 21, 28);
    addFrame(set, 21, {Look::Lit, 3, 4, 6, 5, 1.5f, 0.35f});

    uint32_t n = 31;
    set.named("Arrow", n++, icon(9, 6, chevronIcon(1, 1, 4.5f, 4.5f, 8, 1, 1.7f)));
    set.named("ArrowLeft", n++, icon(6, 9, chevronIcon(4.5f, 1, 1.5f, 4.5f, 4.5f, 8, 1.7f)));
    set.named("ArrowRight", n++, icon(6, 9, chevronIcon(1.5f, 1, 4.5f, 4.5f, 1.5f, 8, 1.7f)));
    set.named("ArrowSm", n++, icon(7, 4, chevronIcon(1, 0.8f, 3.5f, 3.2f, 6, 0.8f, 1.4f)));
    set.named("ArrowUp", n++, icon(9, 6, chevronIcon(1, 5, 4.5f, 1.5f, 8, 5, 1.7f)));
    set.named("ArrowUpDn", n++, icon(7, 11, [](double s, float ox, float oy) {
                  return unite(chevronIcon(1, 4, 3.5f, 1.3f, 6, 4, 1.4f)(s, ox, oy),
                               chevronIcon(1, 7, 3.5f, 9.7f, 6, 7, 1.4f)(s, ox, oy));
              }));
    set.named("Color", n++, [](double s) {
        Sized z = sized(s, 12, 12, 2);
        const float u = static_cast<float>(s), m = z.m;
        const Sdf box = [=](float x, float y) { return sdRoundRect(x, y, m, m, m + 12 * u, m + 12 * u, 2.5f * u); };
        z.canvas.shadow(box, 1.5f * u, 0, u, grey(0, 0.3f));
        z.canvas.fill(box, grey(kMid));
        z.canvas.fill(subtract(inset(box, u), moved(inset(box, u), 0, u)), grey(1, 0.45f));
        z.canvas.fill(outline(box, 0, u), grey(0.1f, 0.5f));
        return z.finish(2, px(12, s), px(12, s));
    });
    set.named("DynListArrow", n++, icon(9, 6, chevronIcon(1.2f, 1.2f, 4.5f, 4.6f, 7.8f, 1.2f, 2.2f)));
    set.named("DynListCircle", n++, icon(8, 8, [](double s, float ox, float oy) -> Sdf {
                  const float u = static_cast<float>(s);
                  return [=](float x, float y) { return sdCircle(x, y, ox + 4 * u, oy + 4 * u, 3 * u); };
              }));
    set.named("HR", n++, [](double s) {
        const int w = px(kStrip, s), h = std::max(2, px(2, s));
        Canvas c(w, h);
        const float u = static_cast<float>(s);
        c.paintAll([=](float x, float y) {
            const float fade = std::min(1.0f, std::min(x, w - x) / (12 * u));
            return y < h / 2.0f ? grey(0.15f, 0.5f * fade) : grey(1, 0.5f * fade);
        });
        LayerCopy out = c.layer(2);
        out.nominalWidth = w;
        out.nominalHeight = h;
        return out;
    });
    set.named("IconCMD", n++, icon(13, 13, [](double s, float ox, float oy) -> Sdf {
                  const float u = static_cast<float>(s), a = ox + 4 * u, b = ox + 9 * u, c = oy + 4 * u, d = oy + 9 * u,
                              w = 1.3f * u, r = 2 * u;
                  Sdf shape = [=](float x, float y) { return std::fabs(sdRoundRect(x, y, a, c, b, d, 0)) - w / 2; };
                  for (float cx : {a - r, b + r})
                      for (float cy : {c - r, d + r})
                          shape = unite(shape,
                                        [=](float x, float y) { return std::fabs(sdCircle(x, y, cx, cy, r)) - w / 2; });
                  return shape;
              }));
    set.named("IconCTRL", n++, icon(20, 13, [](double s, float ox, float oy) -> Sdf {
                  const float u = static_cast<float>(s);
                  const Sdf key = [=](float x, float y) {
                      return std::fabs(sdRoundRect(x, y, ox + 0.7f * u, oy + 0.7f * u, ox + 19.3f * u, oy + 12.3f * u,
                                                   2.5f * u)) -
                             0.65f * u;
                  };
                  return unite(key, chevron(ox + 6.5f * u, oy + 8 * u, ox + 10 * u, oy + 4.5f * u, ox + 13.5f * u,
                                            oy + 8 * u, 1.5f * u));
              }));
    set.named("IconLMB", n++, icon(11, 14, mouseIcon(-1, false, false)));
    set.named("IconLMBD", n++, icon(11, 14, mouseIcon(-1, true, false)));
    set.named("IconRMB", n++, icon(11, 14, mouseIcon(1, false, false)));
    set.named("IconRMBD", n++, icon(11, 14, mouseIcon(1, true, false)));
    set.named("IconWheel", n++, icon(11, 14, mouseIcon(0, false, true)));
    for (bool on : {true, false}) {
        set.named(on ? "Lamp" : "LampOff", n++, [on](double s) {
            Sized z = sized(s, 10, 10, 3);
            const float u = static_cast<float>(s), c = z.m + 5 * u;
            const Sdf lamp = [=](float x, float y) { return sdCircle(x, y, c, c, 4 * u); };
            if (on) z.canvas.shadow(lamp, 4 * u, 0, 0, grey(kMid, 0.8f));
            z.canvas.fill(subtract(moved(lamp, 0, u), lamp), grey(1, 0.35f));
            z.canvas.fill(lamp, [=](float, float y) { return grey(on ? kMid + 0.1f * (c - y) / (4 * u) : 0.3f); });
            z.canvas.fill([=](float x, float y) { return sdCircle(x, y, c - 1.2f * u, c - 1.5f * u, 1.3f * u); },
                          grey(1, on ? 0.85f : 0.25f));
            z.canvas.fill(outline(lamp, 0, 0.8f * u), grey(0.1f, 0.5f));
            return z.finish(2, px(10, s), px(10, s));
        });
    }
}

// ---- pictures built from strokes

Sdf letterA(float x0, float y0, float h, float w) {
    const float top = y0, bottom = y0 + h, cx = x0 + h * 0.32f;
    return [=](float x, float y) {
        return std::min({sdSegment(x, y, cx, top, x0, bottom, w), sdSegment(x, y, cx, top, x0 + h * 0.64f, bottom, w),
                         sdSegment(x, y, x0 + h * 0.14f, y0 + h * 0.64f, x0 + h * 0.5f, y0 + h * 0.64f, w)});
    };
}

Sdf letterB(float x0, float y0, float h, float w) {
    const float mid = y0 + h * 0.47f, r1 = h * 0.235f, r2 = h * 0.265f, bx = x0 + h * 0.26f;
    return [=](float x, float y) {
        return std::min({sdSegment(x, y, x0, y0, x0, y0 + h, w), sdSegment(x, y, x0, y0, bx, y0, w),
                         sdSegment(x, y, x0, mid, bx, mid, w), sdSegment(x, y, x0, y0 + h, bx, y0 + h, w),
                         sdArc(x, y, bx, y0 + r1, r1, w, -kPi / 2, kPi / 2),
                         sdArc(x, y, bx, mid + r2, r2, w, -kPi / 2, kPi / 2)});
    };
}

void buttonAbSet(SetBuilder& set) {
    set.range("", 1, 2);
    set.range("Active", 21, 22);
    for (uint32_t base : {1u, 21u})
        for (int letter = 0; letter < 2; ++letter)
            set.single(base + letter, [=](double s) {
                Sized z = sized(s, 24, 20, 6);
                const float u = static_cast<float>(s), m = z.m;
                const Sdf body = [=](float x, float y) {
                    return sdRoundRect(x, y, m, m, m + 24 * u, m + 20 * u, 4 * u);
                };
                paintFrame(z.canvas, body, {base == 1 ? Look::Raised : Look::Lit, 4, 4, 6, 4, 1.5f, 0.35f}, s, false);
                const float h = 10 * u, lx = m + (letter ? 9.3f : 8.8f) * u, ly = m + 5 * u;
                const Sdf glyph = letter ? letterB(lx, ly, h, 1.8f * u) : letterA(lx, ly, h, 1.8f * u);
                z.canvas.fill(moved(glyph, 0, u), grey(1, 0.4f));
                z.canvas.fill(glyph, grey(base == 1 ? 0.2f : 0.1f));
                return z.finish(2, px(24, s), px(20, s));
            });
}

void checkboxSet(SetBuilder& set) {
    set.range("", 1, 2);
    set.range("Active", 21, 22);
    for (uint32_t base : {1u, 21u}) {
        set.single(base, [=](double s) {
            Sized z = sized(s, 14, 14, 3);
            const float u = static_cast<float>(s), m = z.m;
            const Sdf box = [=](float x, float y) { return sdRoundRect(x, y, m, m, m + 14 * u, m + 14 * u, 3 * u); };
            paintFrame(z.canvas, box, {base == 1 ? Look::Sunken : Look::Lit, 3, 3, 3, 3, 1, 0.3f}, s, false);
            return z.finish(2, px(14, s), px(14, s));
        });
        set.single(base + 1, [=](double s) {
            Sized z = sized(s, 14, 14, 3);
            const float u = static_cast<float>(s), m = z.m;
            const Sdf tick = chevron(m + 3.3f * u, m + 7.2f * u, m + 6 * u, m + 10 * u, m + 11 * u, m + 3.8f * u,
                                     (base == 1 ? 2.0f : 2.4f) * u);
            z.canvas.shadow(tick, 1.5f * u, 0, u, grey(0, 0.35f));
            z.canvas.fill(tick, grey(base == 1 ? 0.2f : 0.95f));
            return z.finish(2, px(14, s), px(14, s));
        });
    }
}

void closeSet(SetBuilder& set) {
    const struct {
        const char* range;
        uint32_t number;
        Look look;
    } looks[] = {{"", 1, Look::Raised}, {"Pushed", 11, Look::Pushed}, {"Active", 21, Look::Lit}};
    for (const auto& l : looks) {
        set.range(l.range, l.number, l.number);
        const Look look = l.look;
        set.single(l.number, [=](double s) {
            Sized z = sized(s, 16, 16, 4);
            const float u = static_cast<float>(s), c = z.m + 8 * u;
            const Sdf disc = [=](float x, float y) { return sdCircle(x, y, c, c, 7.5f * u); };
            paintFrame(z.canvas, disc, {look, 8, 4, 4, 3, 1, 0.35f}, s, false);
            const float d = 3 * u;
            const Sdf cross = [=](float x, float y) {
                return std::min(sdSegment(x, y, c - d, c - d, c + d, c + d, 1.8f * u),
                                sdSegment(x, y, c - d, c + d, c + d, c - d, 1.8f * u));
            };
            z.canvas.fill(moved(cross, 0, u), grey(1, 0.35f));
            z.canvas.fill(cross, grey(0.15f));
            return z.finish(2, px(16, s), px(16, s));
        });
    }
}

// ---- knob: 85 frames of three layers over a 270° sweep, and a label plate

struct KnobGeometry {
    float cx, cy, body, cap, track, trackWidth;
};
KnobGeometry knobAt(double s, float size) {
    const float u = static_cast<float>(s);
    return {size / 2, size * 0.45f, 19 * u, 13.5f * u, 26 * u, 3.2f * u};
}
constexpr int kKnobFrames = 85;
constexpr float kSweepFrom = 0.75f * kPi, kSweep = 1.5f * kPi;

LayerCopy knobLayer(double s, int role, int frame) {
    const int size = px(74, s);
    Canvas c(size, size);
    const float u = static_cast<float>(s);
    const KnobGeometry k = knobAt(s, static_cast<float>(size));
    const float angle = kSweepFrom + kSweep * frame / (kKnobFrames - 1);
    if (role == 0) {
        const Sdf groove = [=](float x, float y) {
            return sdArc(x, y, k.cx, k.cy, k.track, k.trackWidth, kSweepFrom, kSweepFrom + kSweep);
        };
        c.fill(moved(groove, 0, 0.8f * u), grey(1, 0.35f));
        c.fill(groove, grey(0.1f, 0.45f));
        const Sdf body = [=](float x, float y) { return sdCircle(x, y, k.cx, k.cy, k.body); };
        const Sdf cap = [=](float x, float y) { return sdCircle(x, y, k.cx, k.cy, k.cap); };
        c.shadow(body, 6 * u, 0, 2.5f * u, grey(0, 0.5f));
        c.fill(body, [=](float, float y) { return grey(kMid + 0.16f * (k.cy - y) / k.body); });
        c.fill(subtract(inset(body, u), moved(inset(body, u), 0, 1.3f * u)), grey(1, 0.55f));
        c.fill(outline(body, 0, u), grey(0.08f, 0.6f));
        c.fill(outline(cap, -0.5f * u, 1.2f * u), grey(0, 0.18f));
        c.fill(cap, [=](float, float y) { return grey(kMid - 0.07f * (k.cy - y) / k.cap); });
    } else if (role == 1) {
        if (frame > 0)
            c.fill([=](float x, float y) { return sdArc(x, y, k.cx, k.cy, k.track, k.trackWidth, kSweepFrom, angle); },
                   grey(kMid));
    } else {
        const float dx = std::cos(angle), dy = std::sin(angle);
        const Sdf pointer = [=](float x, float y) {
            return sdSegment(x, y, k.cx + dx * 6.5f * u, k.cy + dy * 6.5f * u, k.cx + dx * 15.5f * u,
                             k.cy + dy * 15.5f * u, 2.4f * u);
        };
        c.fill(moved(pointer, 0, 0.8f * u), grey(1, 0.6f));
        c.fill(pointer, grey(0.16f));
    }
    LayerCopy out = c.layer(2);
    out.nominalWidth = out.nominalHeight = size;
    return out;
}

void knobSet(SetBuilder& set) {
    set.range("", 0, kKnobFrames - 1);
    for (int f = 0; f < kKnobFrames; ++f)
        set.image(static_cast<uint32_t>(f), {{0, [f](double s) { return knobLayer(s, 0, f); }},
                                             {1, [f](double s) { return knobLayer(s, 1, f); }},
                                             {2, [f](double s) { return knobLayer(s, 2, f); }}});
    set.named("LabelBG", 100, [](double s) {
        Sized z = sized(s, 18, 12, 3);
        const float u = static_cast<float>(s), m = z.m;
        const Sdf plate = [=](float x, float y) { return sdRoundRect(x, y, m, m, m + 18 * u, m + 12 * u, 6 * u); };
        paintFrame(z.canvas, plate, {Look::Raised, 6, 3, 3, 2.5f, 1, 0.3f}, s, false);
        return z.finish(2, px(18, s), px(12, s));
    });
}

void shadowKnobSet(SetBuilder& set) {
    set.range("", 1, 1);
    set.single(1, [](double s) {
        const int size = px(74, s);
        Canvas c(size, size);
        const KnobGeometry k = knobAt(s, static_cast<float>(size));
        const float u = static_cast<float>(s);
        c.shadow([=](float x, float y) { return sdCircle(x, y, k.cx, k.cy, k.body + 3 * u); }, 10 * u, 0, 4 * u,
                 grey(0, 0.45f));
        LayerCopy out = c.layer(2);
        out.nominalWidth = out.nominalHeight = size;
        return out;
    });
}

// ---- scroller: tracks, bars, arrow buttons and the corner between bars

void scrollerSet(SetBuilder& set) {
    const float t = 10;
    for (int vertical = 0; vertical < 2; ++vertical) {
        const std::string p = vertical ? "V" : "H";
        const uint32_t base = vertical ? 11 : 1;
        const auto strip = [vertical, t](bool bar) {
            return [vertical, t, bar](double s) {
                const int L = px(kStrip, s), T = px(t, s);
                const float u = static_cast<float>(s);
                Canvas c(vertical ? T : L, vertical ? L : T);
                const float w = static_cast<float>(c.width()), h = static_cast<float>(c.height());
                const float in = bar ? 2 * u : 0.5f * u;
                const Sdf shape = [=](float x, float y) {
                    return sdRoundRect(x, y, in, in, w - in, h - in, (T / 2.0f) - in);
                };
                if (bar) {
                    c.fill(shape, grey(kMid));
                    c.fill(subtract(inset(shape, 0.8f * u), moved(inset(shape, 0.8f * u), 0, u)), grey(1, 0.5f));
                    c.fill(outline(shape, 0, 0.9f * u), grey(0.1f, 0.45f));
                } else {
                    c.fill(shape, grey(0.2f, 0.25f));
                    c.fill(subtract(shape, moved(shape, 0, 1.5f * u)), grey(0, 0.2f));
                }
                LayerCopy out = c.layer(2);
                out.nominalWidth = c.width();
                out.nominalHeight = c.height();
                return out;
            };
        };
        set.named(p + "Bar", base, strip(true));
        set.named(p + "Base", base + 1, strip(false));
        for (int next = 1; next >= 0; --next)
            for (int pushed = 0; pushed < 2; ++pushed) {
                const uint32_t number = base + 2 + (1 - next) * 2 + pushed;
                set.named(p + "Button" + (next ? "Next" : "Prev") + (pushed ? "Pushed" : ""), number, [=](double s) {
                    Sized z = sized(s, t, t, 0);
                    const float u = static_cast<float>(s), T = t * u;
                    if (pushed)
                        z.canvas.fill([=](float x, float y) { return sdRoundRect(x, y, 0, 0, T, T, 2 * u); },
                                      grey(0.2f, 0.3f));
                    const float a = 3.2f * u, b = 6.8f * u, c0 = 5 * u, lo = 3.5f * u, hi = 6.5f * u;
                    Sdf arrow;
                    if (vertical)
                        arrow =
                            next ? chevron(a, lo, c0, hi, b, lo, 1.5f * u) : chevron(a, hi, c0, lo, b, hi, 1.5f * u);
                    else
                        arrow =
                            next ? chevron(lo, a, hi, c0, lo, b, 1.5f * u) : chevron(hi, a, lo, c0, hi, b, 1.5f * u);
                    z.canvas.fill(arrow, grey(kMid));
                    return z.finish(2, px(t, s), px(t, s));
                });
            }
        if (!vertical)
            for (int pushed = 0; pushed < 2; ++pushed)
                set.named(pushed ? "PanPushed" : "Pan", 9 + pushed, [=](double s) {
                    Sized z = sized(s, t, t, 0);
                    const float u = static_cast<float>(s), T = t * u;
                    if (pushed)
                        z.canvas.fill([=](float x, float y) { return sdRoundRect(x, y, 0, 0, T, T, 2 * u); },
                                      grey(0.2f, 0.3f));
                    for (float gx : {3.5f, 6.5f})
                        for (float gy : {3.5f, 6.5f})
                            z.canvas.fill([=](float x, float y) { return sdCircle(x, y, gx * u, gy * u, 0.9f * u); },
                                          grey(kMid));
                    return z.finish(2, px(t, s), px(t, s));
                });
    }
}

// ---- colour images

Rgba hsv(float h, float sat, float v) {
    const float c = v * sat, hp = std::fmod(h, 1.0f) * 6, x = c * (1 - std::fabs(std::fmod(hp, 2.0f) - 1));
    float r = 0, g = 0, b = 0;
    switch (static_cast<int>(hp)) {
        case 0:
            r = c;
            g = x;
            break;
        case 1:
            r = x;
            g = c;
            break;
        case 2:
            g = c;
            b = x;
            break;
        case 3:
            g = x;
            b = c;
            break;
        case 4:
            r = x;
            b = c;
            break;
        default:
            r = c;
            b = x;
            break;
    }
    const float m = v - c;
    return {r + m, g + m, b + m, 1};
}

LayerCopy fullCanvas(const Canvas& c, int channels) {
    LayerCopy out = c.layer(channels);
    out.nominalWidth = c.width();
    out.nominalHeight = c.height();
    return out;
}

void colorPickerSet(SetBuilder& set) {
    set.named("Spectrum", 1, [](double s) {
        Canvas c(px(160, s), px(100, s));
        const float w = static_cast<float>(c.width()), h = static_cast<float>(c.height());
        c.paintAll([=](float x, float y) { return hsv(x / w, 1 - y / h, 1); });
        return fullCanvas(c, 4);
    });
    set.named("GradBlack", 2, [](double s) {
        Canvas c(px(16, s), px(100, s));
        const float h = static_cast<float>(c.height());
        c.paintAll([=](float, float y) { return Rgba{0, 0, 0, y / h}; });
        return fullCanvas(c, 4);
    });
    set.named("GradWhite", 3, [](double s) {
        Canvas c(px(16, s), px(100, s));
        const float h = static_cast<float>(c.height());
        c.paintAll([=](float, float y) { return Rgba{1, 1, 1, 1 - y / h}; });
        return fullCanvas(c, 4);
    });
    set.named("GradSelector", 4, [](double s) {
        Sized z = sized(s, 24, 7, 1);
        const float u = static_cast<float>(s), m = z.m, cy = m + 3.5f * u;
        const Sdf marker = [=](float x, float y) {
            return std::min({sdSegment(x, y, m + 4 * u, cy, m + 20 * u, cy, 1.2f * u),
                             sdSegment(x, y, m + 0.5f * u, cy - 3 * u, m + 3.5f * u, cy, 1.4f * u),
                             sdSegment(x, y, m + 0.5f * u, cy + 3 * u, m + 3.5f * u, cy, 1.4f * u),
                             sdSegment(x, y, m + 23.5f * u, cy - 3 * u, m + 20.5f * u, cy, 1.4f * u),
                             sdSegment(x, y, m + 23.5f * u, cy + 3 * u, m + 20.5f * u, cy, 1.4f * u)});
        };
        z.canvas.fill(inset(marker, -u), Rgba{0, 0, 0, 0.6f});
        z.canvas.fill(marker, Rgba{1, 1, 1, 1});
        return z.finish(4, px(24, s), px(7, s));
    });
    set.named("SpectrumSelector", 5, [](double s) {
        Sized z = sized(s, 11, 11, 1);
        const float u = static_cast<float>(s), c = z.m + 5.5f * u;
        const Sdf ring = [=](float x, float y) { return std::fabs(sdCircle(x, y, c, c, 4 * u)) - 0.8f * u; };
        z.canvas.fill(inset(ring, -u), Rgba{0, 0, 0, 0.7f});
        z.canvas.fill(ring, Rgba{1, 1, 1, 1});
        return z.finish(4, px(11, s), px(11, s));
    });
}

// A miniature of the editor: bordered window, panels of knobs and meters.
void screenshotsSet(SetBuilder& set) {
    set.range("", 1, 2);
    for (uint32_t shot = 1; shot <= 2; ++shot)
        set.single(
            shot,
            [shot](double) {
                Canvas c(270, 158);
                c.paintAll([](float, float y) { return Rgba{0.25f - y / 2000, 0.245f - y / 2000, 0.17f, 1}; });
                const Rgba panel{0.965f, 0.93f, 0.81f, 1}, indicator{0.99f, 0.84f, 0.14f, 1};
                const Sdf inner = [](float x, float y) { return sdRoundRect(x, y, 4, 18, 266, 154, 3); };
                c.fill(inner, Rgba{0.70f, 0.68f, 0.56f, 1});
                const int columns = shot == 1 ? 4 : 8;
                const float cw = 258.0f / columns;
                for (int i = 0; i < columns; ++i) {
                    const float x0 = 8 + i * cw, x1 = x0 + cw - 4;
                    const Sdf box = [=](float x, float y) { return sdRoundRect(x, y, x0, 22, x1, 150, 3); };
                    c.shadow(box, 4, 0, 1.5f, grey(0, 0.35f));
                    c.fill(box, [=](float, float y) {
                        return Rgba{panel.r - y / 1500, panel.g - y / 1500, panel.b - y / 1500, 1};
                    });
                    const float kx = (x0 + x1) / 2, ky = 50, kr = std::min(12.0f, cw / 4);
                    c.shadow([=](float x, float y) { return sdCircle(x, y, kx, ky, kr); }, 3, 0, 1.5f, grey(0, 0.45f));
                    c.fill(
                        [=](float x, float y) {
                            return sdArc(x, y, kx, ky, kr + 4, 2, kSweepFrom, kSweepFrom + kSweep * (0.3f + 0.15f * i));
                        },
                        indicator);
                    c.fill([=](float x, float y) { return sdCircle(x, y, kx, ky, kr); },
                           [=](float, float y) { return grey(0.45f + (ky - y) / 80); });
                    const float mh = 60 - 9 * (i % 4);
                    c.fill([=](float x, float y) { return sdRoundRect(x, y, kx - 3, 140 - 60, kx + 3, 140, 1.5f); },
                           Rgba{0.15f, 0.15f, 0.12f, 1});
                    c.fill([=](float x, float y) { return sdRoundRect(x, y, kx - 2, 139 - mh, kx + 2, 139, 1); },
                           Rgba{0.09f, 0.73f, 0.0f, 1});
                }
                c.fill([](float x, float y) { return sdRoundRect(x, y, 4, 3, 70, 14, 2); },
                       Rgba{0.93f, 0.85f, 0.47f, 1});
                return fullCanvas(c, 4);
            },
            {1.0});
}

// A seamless paper grain: value noise on wrapping lattices of three sizes,
// mostly fine so that no blotch repeats visibly across a panel.
void textureSet(SetBuilder& set) {
    set.range("", 1, 1);
    set.single(1, [](double s) {
        const int size = px(128, s);
        Canvas c(size, size);
        const auto hash = [](int x, int y, int seed) {
            uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                         static_cast<uint32_t>(seed) * 2246822519u;
            h = (h ^ (h >> 13)) * 1274126177u;
            return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
        };
        const auto noise = [&](float x, float y, int cells, int seed) {
            const float fx = x / size * cells, fy = y / size * cells;
            const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
            const float tx = fx - ix, ty = fy - iy;
            const auto at = [&](int i, int j) {
                return hash(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed);
            };
            const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
            return (at(ix, iy) * (1 - sx) + at(ix + 1, iy) * sx) * (1 - sy) +
                   (at(ix, iy + 1) * (1 - sx) + at(ix + 1, iy + 1) * sx) * sy;
        };
        c.paintAll([&](float x, float y) {
            const float v = 0.15f * noise(x, y, 16, 1) + 0.35f * noise(x, y, 64, 2) + 0.5f * noise(x, y, 128, 3);
            return grey(kMid + (v - 0.5f) * 0.22f);
        });
        return fullCanvas(c, 2);
    });
}

// The vendor mark: a rounded tile with a stroked Z, in its own colours.
void logoSet(SetBuilder& set) {
    set.range("", 1, 1);
    set.single(1, [](double s) {
        Sized z = sized(s, 36, 36, 4);
        const float u = static_cast<float>(s), m = z.m, e = 36 * u;
        const Sdf tile = [=](float x, float y) { return sdRoundRect(x, y, m, m, m + e, m + e, 8 * u); };
        z.canvas.shadow(tile, 5 * u, 0, 2 * u, grey(0, 0.4f));
        z.canvas.fill(tile, [=](float x, float y) {
            const float t = ((x - m) + (y - m)) / (2 * e);
            return Rgba{0.10f + 0.05f * t, 0.55f - 0.25f * t, 0.62f + 0.18f * t, 1};
        });
        z.canvas.fill(subtract(inset(tile, u), moved(inset(tile, u), 0, u)), Rgba{1, 1, 1, 0.45f});
        const float a = m + 10 * u, b = m + 26 * u;
        const Sdf zed = [=](float x, float y) {
            return std::min({sdSegment(x, y, a, a, b, a, 3.4f * u), sdSegment(x, y, b, a, a, b, 3.4f * u),
                             sdSegment(x, y, a, b, b, b, 3.4f * u)});
        };
        z.canvas.shadow(zed, 2 * u, 0, u, grey(0, 0.35f));
        z.canvas.fill(zed, Rgba{1, 1, 1, 1});
        return z.finish(4, px(36, s), px(36, s));
    });
}

// Control surface: a sunken field and its control points.
void csurfaceSet(SetBuilder& set) {
    frameSet(set, {Look::Sunken, 4, 5, 2});
    for (int off = 0; off < 2; ++off)
        set.named(off ? "PointOff" : "Point", 31 + off, [off](double s) {
            Sized z = sized(s, 14, 14, 4);
            const float u = static_cast<float>(s), c = z.m + 7 * u;
            const Sdf dot = [=](float x, float y) { return sdCircle(x, y, c, c, 6 * u); };
            z.canvas.shadow(dot, 3 * u, 0, 1.5f * u, grey(0, 0.45f));
            z.canvas.fill(dot, [=](float, float y) { return grey(kMid + (off ? 0 : 0.12f) * (c - y) / (6 * u)); });
            z.canvas.fill(subtract(inset(dot, u), moved(inset(dot, u), 0, u)), grey(1, 0.5f));
            z.canvas.fill(outline(dot, 0, u), grey(0.1f, off ? 0.35f : 0.6f));
            return z.finish(2, px(14, s), px(14, s));
        });
}

void listOutlineSet(SetBuilder& set) {
    frameSet(set, {Look::Outline, 3, 4, 1});
    set.named("Arrow", 31, icon(6, 9, chevronIcon(1.5f, 1, 4.5f, 4.5f, 1.5f, 8, 1.6f)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: lagwell-isgen out_dir\n";
        return 2;
    }
    using Maker = std::function<void(SetBuilder&)>;
    const auto frame = [](FrameStyle st) { return Maker([st](SetBuilder& b) { frameSet(b, st); }); };
    const std::vector<std::pair<std::string, Maker>> sets = {
        {"button", buttonSet},
        {"buttonab", buttonAbSet},
        {"checkbox", checkboxSet},
        {"close", closeSet},
        {"colorpicker", colorPickerSet},
        {"csurface", csurfaceSet},
        {"editbox", frame({Look::Sunken, 3, 4, 2})},
        {"frame", frame({Look::Raised, 4, 5, 10, 8, 2, 0.35f})},
        {"groupcaption", frame({Look::Raised, 3, 4, 6, 4, 1, 0.3f})},
        {"history", frame({Look::Outline, 2, 3, 1})},
        {"instancename", frame({Look::Sunken, 3, 4, 2})},
        {"knob", knobSet},
        {"levelmeter", frame({Look::Sunken, 2, 4, 2})},
        {"listoutline", listOutlineSet},
        {"multichange", frame({Look::Raised, 6, 7, 6, 4, 1, 0.3f})},
        {"popup2", frame({Look::Raised, 3, 4, 10, 8, 3, 0.4f})},
        {"popup", frame({Look::Raised, 5, 6, 14, 12, 4, 0.45f})},
        {"ruler", frame({Look::Outline, 0, 2, 1})},
        {"screenshots", screenshotsSet},
        {"scroller", scrollerSet},
        {"shadow", frame({Look::Shadow, 4, 5, 14, 12, 3, 0.5f})},
        {"shadowhard", frame({Look::Shadow, 3, 4, 4, 2, 1, 0.6f})},
        {"shadowknob", shadowKnobSet},
        {"statusbar", frame({Look::Flat, 2, 3, 2})},
        {"texture", textureSet},
        {"zelmora", logoSet},
    };
    try {
        for (const auto& [name, make] : sets) {
            SetBuilder builder;
            make(builder);
            const Bytes out = builder.encode();
            writeFile(std::string(argv[1]) + "/" + name + ".is", out.data(), out.size());
        }
    } catch (const std::exception& e) {
        std::cerr << "lagwell-isgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
