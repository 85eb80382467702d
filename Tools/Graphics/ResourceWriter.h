// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Encoders of the graphic resource files (image sets, fonts, brush sets).
// The pixel row packing mirrors the reader's (Sources/Other/ImageSet.h).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ToolSupport.h"

namespace lagwell::tools {

using Bytes = std::vector<unsigned char>;

inline void putI16(Bytes& out, int v) { putU16(out, static_cast<uint32_t>(v) & 0xFFFF); }
inline void putF64(Bytes& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    putU32(out, static_cast<uint32_t>(bits));
    putU32(out, static_cast<uint32_t>(bits >> 32));
}
inline void putString(Bytes& out, const std::string& s) {
    putU32(out, static_cast<uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

// One stored copy of a layer: `channels` bytes per pixel, rows top to bottom
// (grey, alpha for 2 channels; blue, green, red, alpha for 4).
struct LayerCopy {
    double scale = 1.0;
    int width = 0, height = 0;
    int offsetX = 0, offsetY = 0;
    int nominalWidth = 0, nominalHeight = 0;
    int level = 0;
    int channels = 2;
    std::vector<unsigned char> pixels;
};

struct Layer {
    int role = 0;
    std::vector<LayerCopy> copies;
};

struct Image {
    uint32_t number = 0;
    std::vector<Layer> layers;
};

struct Range {
    std::string name;
    uint32_t first = 0, last = 0;
};

enum RunKind : unsigned char {
    kClear = 0,
    kLiteral1 = 1,
    kLevel = 2,
    kLiteral2 = 3,
    kOpaque2 = 4,
    kRepeat2 = 5,
    kLiteral4 = 6,
    kRepeat4 = 7,
};
constexpr int kMaxRun = 31;

inline Bytes packRow(const LayerCopy& c, int y) {
    const int ch = c.channels;
    const unsigned char* row = c.pixels.data() + static_cast<size_t>(y) * c.width * ch;
    const auto px = [&](int x) { return row + static_cast<size_t>(x) * ch; };
    const auto clear = [&](int x) { return ch == 1 ? px(x)[0] == 0 : px(x)[ch - 1] == 0; };
    const auto same = [&](int a, int b) { return std::memcmp(px(a), px(b), ch) == 0; };
    const auto header = [](Bytes& out, int n, int kind) { out.push_back(static_cast<unsigned char>(n << 3 | kind)); };
    Bytes out;
    int x = 0;
    while (x < c.width) {
        int n = 1;
        if (clear(x)) {
            while (x + n < c.width && n < kMaxRun && clear(x + n)) ++n;
            header(out, n, kClear);
        } else if (ch == 1 && px(x)[0] == c.level) {
            while (x + n < c.width && n < kMaxRun && px(x + n)[0] == c.level) ++n;
            header(out, n, kLevel);
        } else {
            while (x + n < c.width && n < kMaxRun && same(x, x + n)) ++n;
            if (n >= 2 && ch > 1) {
                header(out, n, ch == 2 ? kRepeat2 : kRepeat4);
                out.insert(out.end(), px(x), px(x) + ch);
            } else {
                // A literal stretch ends before a clear pixel, a repeat or a level run.
                n = 1;
                while (x + n < c.width && n < kMaxRun && !clear(x + n) && !(ch == 1 && px(x + n)[0] == c.level) &&
                       !(ch > 1 && x + n + 1 < c.width && same(x + n, x + n + 1)))
                    ++n;
                bool opaque = ch == 2;
                for (int i = 0; i < n && opaque; ++i) opaque = px(x + i)[1] == 255;
                if (ch == 1) {
                    header(out, n, kLiteral1);
                    for (int i = 0; i < n; ++i) out.push_back(px(x + i)[0]);
                } else if (opaque) {
                    header(out, n, kOpaque2);
                    for (int i = 0; i < n; ++i) out.push_back(px(x + i)[0]);
                } else {
                    header(out, n, ch == 2 ? kLiteral2 : kLiteral4);
                    out.insert(out.end(), px(x), px(x) + static_cast<size_t>(n) * ch);
                }
            }
        }
        x += n;
    }
    return out;
}

// Clear pixels are stored as all zero, which is what they decode to.
inline Bytes packPixels(LayerCopy& c) {
    const int ch = c.channels;
    for (size_t i = 0; i < c.pixels.size(); i += ch)
        if (c.pixels[i + ch - 1] == 0) std::fill_n(c.pixels.begin() + i, ch, 0);
    Bytes block;
    putU16(block, static_cast<uint32_t>(c.height));
    const size_t table = block.size();
    block.resize(table + 4 * static_cast<size_t>(c.height), 0);
    for (int y = 0; y < c.height; ++y) {
        bool empty = true;
        for (int x = 0; x < c.width && empty; ++x)
            empty = c.pixels[(static_cast<size_t>(y) * c.width + x) * ch + ch - 1] == 0;
        if (empty) continue;
        patchU32(block, table + 4 * static_cast<size_t>(y), static_cast<uint32_t>(block.size()));
        const Bytes row = packRow(c, y);
        block.insert(block.end(), row.begin(), row.end());
    }
    return block;
}

inline void putLayer(Bytes& out, Layer& layer) {
    putI16(out, layer.role);
    putU16(out, static_cast<uint32_t>(layer.copies.size()));
    for (const LayerCopy& c : layer.copies) putF64(out, c.scale);
    for (LayerCopy& c : layer.copies) {
        for (int v : {c.width, c.height, c.offsetX, c.offsetY, c.nominalWidth, c.nominalHeight, c.level})
            putI16(out, v);
        out.insert(out.end(), 8, 0);
        putI16(out, c.channels);
        putI16(out, -1);
        const Bytes block = packPixels(c);
        putU32(out, static_cast<uint32_t>(block.size()));
        out.insert(out.end(), block.begin(), block.end());
    }
}

// The image set as stored after the resource's size field: version 1, the
// ranges sorted by name, the images.
inline Bytes encodeImageSet(std::vector<Range> ranges, std::vector<Image>& images) {
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.name < b.name; });
    Bytes out;
    putU32(out, 1);
    putU32(out, static_cast<uint32_t>(ranges.size()));
    for (const Range& r : ranges) {
        putString(out, r.name);
        putU32(out, r.first);
        putU32(out, r.last);
    }
    putU32(out, static_cast<uint32_t>(images.size()));
    for (Image& image : images) {
        putU32(out, image.number);
        putU16(out, static_cast<uint32_t>(image.layers.size()));
        for (Layer& layer : image.layers) putLayer(out, layer);
    }
    return out;
}

}  // namespace lagwell::tools
