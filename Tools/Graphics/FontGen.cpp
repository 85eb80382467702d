// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-fontgen font_dir out_dir
//
// Renders the eight bitmap fonts from the DejaVu faces in font_dir with
// FreeType (8-bit coverage) at the UI scales 0.8, 1.0 and
// 1.25 and writes out_dir/<name>.fnt. Every font holds the same characters;
// a face without one of them is an error.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "ResourceWriter.h"

using namespace lagwell::tools;

namespace {

struct FontRecipe {
    const char* name;
    const char* face;
    double pixelSize;  // at scale 1.0
    int metrics[3];    // line height, space above, space below
};

const FontRecipe kFonts[] = {
    {"base", "DejaVuSans.ttf", 15, {14, 3, 3}},    {"base_b", "DejaVuSans-Bold.ttf", 15, {14, 3, 3}},
    {"compact", "DejaVuSans.ttf", 13, {14, 4, 4}}, {"compact_b", "DejaVuSans-Bold.ttf", 13, {14, 4, 4}},
    {"micro", "DejaVuSans.ttf", 11, {14, 3, 2}},   {"micro-sm", "DejaVuSans.ttf", 10, {11, 3, 2}},
    {"small", "DejaVuSans.ttf", 9, {10, 3, 3}},    {"title", "DejaVuSans-Bold.ttf", 17, {16, 5, 4}},
};

const double kScales[] = {0.8, 1.0, 1.25};

// Printable ASCII, Latin-1 and the typographic marks, arrows and the delta
// the interface texts use.
std::vector<uint32_t> repertoire() {
    std::vector<uint32_t> codes;
    for (uint32_t c = 32; c <= 126; ++c) codes.push_back(c);
    for (uint32_t c = 160; c <= 255; ++c) codes.push_back(c);
    for (uint32_t c : {8211, 8212, 8216, 8217, 8220, 8221, 8226, 8230, 8364, 8482, 8592, 8593, 8594, 8595, 8710})
        codes.push_back(c);
    return codes;
}

class Face {
public:
    Face(FT_Library lib, const std::string& path) {
        if (FT_New_Face(lib, path.c_str(), 0, &m_face)) throw ToolError(path + ": cannot open font face");
    }
    ~Face() { FT_Done_Face(m_face); }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    LayerCopy glyph(uint32_t code, double pixelSize, double scale, int lineHeight) {
        if (FT_Set_Char_Size(m_face, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * scale * 64)), 72, 72))
            throw ToolError("cannot set the font size");
        const FT_UInt index = FT_Get_Char_Index(m_face, code);
        if (index == 0) throw ToolError("the face has no glyph for U+" + std::to_string(code));
        // Below 11 pixels the faces' own hinting keeps stems on whole pixels;
        // above it light hinting keeps the shapes truer.
        const bool tiny = pixelSize * scale < 11;
        if (FT_Load_Glyph(m_face, index, tiny ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_LIGHT) ||
            FT_Render_Glyph(m_face->glyph, tiny ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_LIGHT))
            throw ToolError("cannot render U+" + std::to_string(code));
        const FT_GlyphSlot slot = m_face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        LayerCopy c;
        c.scale = scale;
        c.channels = 1;
        c.level = 255;
        c.width = static_cast<int>(bm.width);
        c.height = static_cast<int>(bm.rows);
        c.offsetX = slot->bitmap_left;
        c.offsetY = -slot->bitmap_top;
        // Hinting may narrow an advance at small sizes; never below the design's.
        c.nominalWidth =
            static_cast<int>(std::max<long>((slot->advance.x + 32) >> 6, (slot->linearHoriAdvance + 0x8000) >> 16));
        c.nominalHeight = static_cast<int>(std::lround(lineHeight * scale));
        c.pixels.resize(static_cast<size_t>(c.width) * c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                c.pixels[static_cast<size_t>(y) * c.width + x] = bm.buffer[y * bm.pitch + x];
        if (c.width == 0 || c.height == 0) c.width = c.height = 0;
        return c;
    }

private:
    FT_Face m_face = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lagwell-fontgen font_dir out_dir\n";
        return 2;
    }
    FT_Library lib = nullptr;
    try {
        if (FT_Init_FreeType(&lib)) throw ToolError("cannot initialise FreeType");
        const std::vector<uint32_t> codes = repertoire();
        for (const FontRecipe& recipe : kFonts) {
            Face face(lib, std::string(argv[1]) + "/" + recipe.face);
            std::vector<Image> images;
            for (uint32_t code : codes) {
                Image image{code, {Layer{0, {}}}};
                for (double scale : kScales)
                    image.layers[0].copies.push_back(face.glyph(code, recipe.pixelSize, scale, recipe.metrics[0]));
                images.push_back(std::move(image));
            }
            Bytes out;
            putU32(out, 1);
            const Bytes set = encodeImageSet({}, images);
            out.insert(out.end(), set.begin(), set.end());
            for (int m : recipe.metrics) putU32(out, static_cast<uint32_t>(m));
            const std::string path = std::string(argv[2]) + "/" + recipe.name + ".fnt";
            writeFile(path, out.data(), out.size());
        }
        FT_Done_FreeType(lib);
    } catch (const std::exception& e) {
        if (lib) FT_Done_FreeType(lib);
        std::cerr << "lagwell-fontgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
