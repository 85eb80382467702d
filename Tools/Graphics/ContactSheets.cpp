// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-contact-sheets resource_dir out_dir
//
// Reads the generated fonts, image sets and brushes back with the plug-in's
// readers and draws them with its bitmap code into PNG sheets, one per kind
// and UI scale (imagesets-1.0.png, fonts-1.25.png, ...), for a person to
// judge. Borders are shown assembled at two sizes, grey images tinted with
// colours of the default scheme.

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Core/MemoryStream.h"
#include "Other/Draw.h"
#include "ToolSupport.h"

using namespace zel;
using lagwell::tools::ToolError;

namespace {

const char* const kSets[] = {"button",      "buttonab",    "checkbox",     "close",      "colorpicker",  "csurface",
                             "editbox",     "frame",       "groupcaption", "history",    "instancename", "knob",
                             "levelmeter",  "listoutline", "multichange",  "popup2",     "popup",        "ruler",
                             "screenshots", "scroller",    "shadow",       "shadowhard", "shadowknob",   "statusbar",
                             "texture",     "zelmora"};
const char* const kFonts[] = {"base", "base_b", "compact", "compact_b", "micro", "micro-sm", "small", "title"};
const double kScales[] = {0.8, 1.0, 1.25};

constexpr CColor kBackground = 0xB3AD8F, kPanel = 0xF6EDCE, kInk = 0x000000, kAction = 0xFFF8D8, kIndicator = 0xFDD624,
                 kKnob = 0xD9D8C6;

std::unique_ptr<CMemoryReader> openFile(const std::string& path) {
    const std::vector<unsigned char> bytes = lagwell::tools::readFile(path);
    return std::make_unique<CMemoryReader>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void check(CErrorPtr e, const std::string& what) {
    if (e) throw ToolError(what + ": " + e->describe());
}

void writePng(const CLinearBitmap& bmp, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw ToolError(path + ": cannot open for writing");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        throw ToolError(path + ": PNG write error");
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(bmp.width()), png_uint_32(bmp.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(size_t(bmp.width()) * 3);
    for (int y = 0; y < bmp.height(); ++y) {
        const uint8_t* p = bmp.pixel(0, y);
        for (int x = 0; x < bmp.width(); ++x, p += 4) {
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

// Places boxes left to right, wrapping at the sheet width.
struct Flow {
    int width, x, y, rowHeight = 0;
    void place(int w, int h, int& outX, int& outY) {
        if (x + w > width - 16 && x > 16) newRow();
        outX = x;
        outY = y;
        x += w + 14;
        rowHeight = std::max(rowHeight, h);
    }
    void newRow() {
        y += rowHeight + 14;
        x = 16;
        rowHeight = 0;
    }
};

bool isBorderSet(const CImageSet& set) {
    const CImage* top = set.image(1);
    const CImage* left = set.image(3);
    return top && left && top->nominalWidth() > 3 * top->nominalHeight() &&
           left->nominalHeight() == top->nominalWidth();
}

// Whether the frame's inner edge is solid, i.e. the view fills the inside;
// outlines leave it open.
bool hasBody(const CImageSet& set, uint32_t first) {
    const CImageLayerData& top = set.image(first)->layers()[0].data();
    if (!top.hasPixels() || top.channels() != 2) return false;
    return top.row(top.height() - 1)[2 * (top.width() / 2) + 1] == 255;
}

CColor colorFor(const CImageLayer& layer) {
    return layer.role() == 1 ? kIndicator : layer.role() == 2 ? kKnob : kAction;
}

// Lays out (dry run) or draws one scale's image sets; returns the height used.
int imageSets(CLinearBitmap& bmp, const std::string& dir, double scale, const CFont& label, const CFont& small,
              bool draw) {
    const CRect clip = bmp.bounds();
    Flow flow{draw ? bmp.width() : 1400, 16, 16};
    for (const char* name : kSets) {
        CImageSet set;
        check(set.read(*openFile(dir + "/Imagesets/" + name + ".is"), scale), name);
        if (draw) drawText(bmp, clip, label, flow.x, flow.y + 12, CString(name), kInk, 1.0);
        flow.rowHeight = 18;
        flow.newRow();
        if (isBorderSet(set)) {
            for (uint32_t first : {1u, 11u, 21u}) {
                if (!set.image(first)) continue;
                for (int big = 1; big >= 0; --big) {
                    const int w = int((big ? 190 : 64) * scale), h = int((big ? 64 : 30) * scale);
                    int x, y;
                    flow.place(w + 24, h + 24, x, y);
                    if (!draw) continue;
                    const CRect r{x + 12, y + 12, x + 12 + w, y + 12 + h};
                    if (hasBody(set, first))
                        bmp.fillRect(
                            {r.left + set.image(first + 2)->nominalWidth(), r.top + set.image(first)->nominalHeight(),
                             r.right - set.image(first + 3)->nominalWidth(),
                             r.bottom - set.image(first + 1)->nominalHeight()},
                            kPanel, 1.0);
                    drawBorder(bmp, clip, set, first, r, kPanel, 1.0);
                    if (!big) drawBorder(bmp, clip, set, first + 4, r, kPanel, 0.8);
                }
            }
        }
        // Images that make up a named range of their own are captioned with it.
        std::map<uint32_t, CString> captions;
        for (const CImageSet::CRange& r : set.ranges())
            if (r.first == r.last && !r.name.empty()) captions[r.first] = r.name;
        for (const auto& [number, image] : set.images()) {
            if (isBorderSet(set) && number < 31) continue;
            const auto caption = captions.find(number);
            const int textW = caption == captions.end() ? 0 : small.textWidth(caption->second);
            const int textH = caption == captions.end() ? 0 : small.lineHeight() + 2;
            int x, y;
            flow.place(std::max(image.nominalWidth() + 8, textW), image.nominalHeight() + 8 + textH, x, y);
            if (!draw) continue;
            for (const CImageLayer& layer : image.layers())
                drawLayer(bmp, clip, layer.data(), x + 4, y + 4, colorFor(layer), 1.0);
            if (textW)
                drawText(bmp, clip, small, x, y + image.nominalHeight() + 8 + small.lineHeight(), caption->second,
                         0x3F3E2B, 1.0);
        }
        flow.newRow();
        flow.y += 6;
    }
    return flow.y + 16;
}

int fonts(CLinearBitmap& bmp, const std::string& dir, double scale, bool draw) {
    const CRect clip = bmp.bounds();
    int y = 16;
    for (const char* name : kFonts) {
        CFont font;
        check(font.read(*openFile(dir + "/Fonts/" + name + ".fnt"), scale), name);
        const int lh = font.lineHeight();
        std::vector<CString> lines = {
            CString(name) + ": The quick brown fox jumps over the lazy dog. 0123456789",
            "Delay 250.00 ms  -12.0 dB  L/R  M/S  Group 1-8  \xC0\xC9\xD6\xDC\xDF \xE0\xE9\xF6\xFC\xB5\xB0\xB1"};
        CString line;
        int count = 0;
        for (const auto& entry : font.glyphs().images()) {
            line.append(char16_t(entry.first));
            if (++count % 64 == 0) {
                lines.push_back(line);
                line.clear();
            }
        }
        lines.push_back(line);
        for (const CString& text : lines) {
            y += lh + 2;
            if (draw) drawText(bmp, clip, font, 16, y, text, kInk, 1.0);
        }
        y += lh;
    }
    return y + 16;
}

int brushes(CLinearBitmap& bmp, const std::string& dir, double scale, bool draw) {
    CBrushSet set;
    check(set.read(*openFile(dir + "/Brushes/brushes.bs"), scale), "brushes");
    const CRect clip = bmp.bounds();
    int y = 20;
    for (const CBrush& b : set.brushes()) {
        if (draw) {
            for (int i = 0; i < 12; ++i) {
                const double x0 = 20 + i * 60 * scale;
                drawLine(bmp, clip, b, {x0, y + 0.3 * i}, {x0 + 40 * scale, y + 40 * scale - 3.7 * i}, kInk, 1.0);
            }
            const double x0 = 20 + 12 * 60 * scale;
            drawCurve(bmp, clip, b, {x0, y + 40 * scale}, {x0 + 40 * scale, y - 30 * scale},
                      {x0 + 80 * scale, y + 70 * scale}, {x0 + 120 * scale, double(y)}, 0x3971B8, 1.0);
        }
        y += int(60 * scale);
    }
    return y;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lagwell-contact-sheets resource_dir out_dir\n";
        return 2;
    }
    try {
        const std::string dir = argv[1], out = argv[2];
        for (double scale : kScales) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "-%.2f.png", scale);
            CFont label;
            check(label.read(*openFile(dir + "/Fonts/base_b.fnt"), scale), "label font");
            CFont small;
            check(small.read(*openFile(dir + "/Fonts/micro-sm.fnt"), scale), "caption font");
            CLinearBitmap bmp;
            bmp.resize(1400, imageSets(bmp, dir, scale, label, small, false));
            bmp.fillRect(bmp.bounds(), kBackground, 1.0);
            imageSets(bmp, dir, scale, label, small, true);
            writePng(bmp, out + "/imagesets" + suffix);

            bmp.resize(1400, fonts(bmp, dir, scale, false));
            bmp.fillRect(bmp.bounds(), kPanel, 1.0);
            fonts(bmp, dir, scale, true);
            writePng(bmp, out + "/fonts" + suffix);

            bmp.resize(1000 * 1.25 * scale + 200, brushes(bmp, dir, scale, false));
            bmp.fillRect(bmp.bounds(), kPanel, 1.0);
            brushes(bmp, dir, scale, true);
            writePng(bmp, out + "/brushes" + suffix);
        }
    } catch (const std::exception& e) {
        std::cerr << "lagwell-contact-sheets: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
