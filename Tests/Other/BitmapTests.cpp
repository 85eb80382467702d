// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "Core/Object.h"
#include "Core/ResourceReader.h"
#include "Other/Draw.h"
#include "UI/Resources/ResourceObjects.h"

using namespace zel;

namespace {

struct Px {
    int b, g, r, a;
    bool operator==(const Px& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};
std::ostream& operator<<(std::ostream& os, const Px& p) {
    return os << "(" << p.b << "," << p.g << "," << p.r << "," << p.a << ")";
}

Px at(const CLinearBitmap& bmp, int x, int y) {
    const uint8_t* p = bmp.pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

void setPixel(CLinearBitmap& bmp, int x, int y, Px v) {
    uint8_t* p = bmp.pixel(x, y);
    p[0] = uint8_t(v.b);
    p[1] = uint8_t(v.g);
    p[2] = uint8_t(v.r);
    p[3] = uint8_t(v.a);
}

CFont loadFont(const char* file, double scale) {
    CFont font;
    EXPECT_EQ(font.load(CString("../../../Gfx/Fonts/") + file, scale), nullptr);
    return font;
}

}  // namespace

TEST(LinearBitmap, OpacityFactorRoundsHalfAwayFromZero) {
    EXPECT_EQ(CLinearBitmap::opacityFactor(0.5), 32768);
    EXPECT_EQ(CLinearBitmap::opacityFactor(1.0 / 3), 21845);
    EXPECT_EQ(CLinearBitmap::opacityFactor(0.5 / 65536), 1);
    EXPECT_EQ(CLinearBitmap::opacityFactor(1.0), 65536);
    EXPECT_EQ(CLinearBitmap::opacityFactor(-0.2), 0);
}

TEST(LinearBitmap, FillsBlendColourBytesAndKeepAlpha) {
    CLinearBitmap bmp;
    bmp.resize(4, 3);
    setPixel(bmp, 1, 1, {10, 200, 100, 77});
    // (10·65536 + 190·32768 + 32768) >> 16 = 105; (200·65536 − 200·32768 + 32768) >> 16 = 100.
    bmp.fillHLine(0, 1, 3, 0xC8 << 16 | 0x00 << 8 | 0xC8, 0.5);
    EXPECT_EQ(at(bmp, 1, 1), (Px{105, 100, 150, 77}));
    EXPECT_EQ(at(bmp, 3, 1), (Px{0, 0, 0, 0}));
    // a = 16384: 105 → (105·65536 + 95·16384 + 32768) >> 16 = 129.
    bmp.fillVLine(1, 0, 5, 0x0000C8, 0.25);
    EXPECT_EQ(at(bmp, 1, 1).b, 129);
    EXPECT_EQ(at(bmp, 1, 0), (Px{50, 0, 0, 0}));
    bmp.fillRect({-5, -5, 50, 50}, 0x123456, 1.0);
    EXPECT_EQ(at(bmp, 1, 1), (Px{0x56, 0x34, 0x12, 77}));
    EXPECT_EQ(at(bmp, 3, 2), (Px{0x56, 0x34, 0x12, 0}));
}

TEST(LinearBitmap, BlendAndCopyWholeBitmaps) {
    CLinearBitmap dst, src, other;
    dst.resize(2, 2);
    src.resize(2, 2);
    other.resize(3, 2);
    setPixel(dst, 0, 0, {0, 100, 255, 9});
    setPixel(src, 0, 0, {255, 0, 255, 1});
    dst.blend(other, 1.0);
    EXPECT_EQ(at(dst, 0, 0), (Px{0, 100, 255, 9}));
    dst.blend(src, 0.5);
    EXPECT_EQ(at(dst, 0, 0), (Px{128, 50, 255, 9}));
    other.copyFrom(src);
    EXPECT_EQ(other.width(), 2);
    EXPECT_EQ(other.stride(), 8u);
    EXPECT_EQ(at(other, 0, 0), (Px{255, 0, 255, 1}));
}

TEST(Drawing, TintMapsMidGreyToTheColourItself) {
    const CTint tint(0x3971B8);
    EXPECT_EQ(tint[128], 0x3971B8u);
    EXPECT_EQ(tint[0], 0u);
    EXPECT_EQ(tint[255], 0xFFFFFFu);
}

TEST(Drawing, ImageLayersAreTintedClippedAndScaledByOpacity) {
    CImageSet button;
    ASSERT_EQ(button.load("../../../Gfx/Imagesets/button.is", 1.0), nullptr);
    const CImage* color = button.image("Color", 0);
    ASSERT_NE(color, nullptr);
    const CImageLayerData& chip = color->layers()[0].data();
    CLinearBitmap bmp;
    bmp.resize(40, 40);
    drawImage(bmp, bmp.bounds(), *color, 10, 10, 0x3971B8, 1.0);
    // The chip's centre is mid-grey and opaque: exactly the colour.
    EXPECT_EQ(at(bmp, 16, 16), (Px{0xB8, 0x71, 0x39, 0}));
    CLinearBitmap half;
    half.resize(40, 40);
    drawImage(half, bmp.bounds(), *color, 10, 10, 0x3971B8, 0.5);
    EXPECT_EQ(at(half, 16, 16), (Px{0x5C, 0x39, 0x1D, 0}));
    CLinearBitmap clipped;
    clipped.resize(40, 40);
    drawImage(clipped, {0, 0, 16, 40}, *color, 10, 10, 0x3971B8, 1.0);
    EXPECT_EQ(at(clipped, 15, 16), at(bmp, 15, 16));
    EXPECT_EQ(at(clipped, 16, 16), (Px{0, 0, 0, 0}));
    // Drawing far outside the bitmap touches nothing.
    drawLayer(clipped, clipped.bounds(), chip, -1000, 30000, 0xFFFFFF, 1.0);
}

TEST(Drawing, TextAdvancesByTheGlyphsNominalWidths) {
    const CFont base = loadFont("base.fnt", 1.0);
    ASSERT_TRUE(base.isLoaded());
    EXPECT_EQ(base.lineHeight(), 14);
    const CString text("Delay 250 ms");
    int expected = 7;
    for (size_t i = 0; i < text.length(); ++i) expected += base.glyph(text.at(i))->nominalWidth();
    CLinearBitmap bmp;
    bmp.resize(200, 30);
    EXPECT_EQ(drawText(bmp, bmp.bounds(), base, 7, 20, text, 0xFFFFFF, 1.0), expected);
    EXPECT_EQ(base.textWidth(text), expected - 7);
    // Ink lands between the cap height and the descender, nowhere else.
    int inkRows = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x)
            if (at(bmp, x, y).r) {
                EXPECT_GE(y, 20 - 13);
                EXPECT_LE(y, 20 + 4);
                ++inkRows;
            }
    EXPECT_GT(inkRows, 0);
    CLinearBitmap two;
    two.resize(200, 60);
    drawText(two, two.bounds(), base, 0, 20, "A\nA", 0xFFFFFF, 1.0);
    EXPECT_EQ(at(two, 5, 20 - 6), at(two, 5, 34 - 6));
}

TEST(Drawing, BrushLinesCoverThePathAndNothingFar) {
    CBrushSet brushes;
    ASSERT_EQ(brushes.load("../../../Gfx/Brushes/brushes.bs", 1.0), nullptr);
    const CBrush* pen = brushes.find(2.0);
    ASSERT_NE(pen, nullptr);
    EXPECT_EQ(pen->width(), 2.0);
    CLinearBitmap bmp;
    bmp.resize(40, 20);
    drawLine(bmp, bmp.bounds(), *pen, {5.5, 10.5}, {35.5, 10.5}, 0xFFFFFF, 1.0);
    EXPECT_EQ(at(bmp, 20, 10), (Px{255, 255, 255, 0}));
    EXPECT_EQ(at(bmp, 20, 14), (Px{0, 0, 0, 0}));
    EXPECT_EQ(at(bmp, 39, 10), (Px{0, 0, 0, 0}));
    EXPECT_GT(at(bmp, 20, 11).r, 0);
    EXPECT_LT(at(bmp, 20, 12).r, 255);
    drawCurve(bmp, {0, 0, 10, 10}, *pen, {-1e9, 0}, {1e300, 5}, {0, 1e9}, {5, 5}, 0xFF0000, 1.0);
    drawLine(bmp, bmp.bounds(), *pen, {-1e12, -1e12}, {1e12, -1e12}, 0xFF0000, 1.0);
    EXPECT_EQ(at(bmp, 0, 0), (Px{0, 0, 0, 0}));
}

TEST(Drawing, BordersTileToAnySize) {
    CImageSet frame;
    ASSERT_EQ(frame.load("../../../Gfx/Imagesets/frame.is", 1.0), nullptr);
    for (int w : {20, 119, 120, 121, 400}) {
        CLinearBitmap bmp;
        bmp.resize(w + 40, 60);
        const CRect r{20, 20, 20 + w, 40};
        drawBorder(bmp, bmp.bounds(), frame, 1, r, 0x808080, 1.0);
        // The border line runs unbroken along the top and the sides.
        for (int x = r.left + 6; x < r.right - 6; ++x) ASSERT_GT(at(bmp, x, r.top).g, 0) << w << " " << x;
        for (int y = r.top + 6; y < r.bottom - 6; ++y) ASSERT_GT(at(bmp, r.left, y).g, 0) << w << " " << y;
        EXPECT_EQ(at(bmp, r.left + w / 2, r.top).g, at(bmp, r.left + 8, r.top).g) << w;
    }
}

TEST(ResourceObjects, LoadTheirFilesAndFindFontsByName) {
    CObject root;
    auto fonts = std::make_unique<CObject>();
    fonts->setName("font");
    auto base = std::make_unique<CFontObject>();
    base->setName("base");
    for (const char* style : {"regular", "bold"}) {
        auto s = std::make_unique<CObject>();
        s->setName(style);
        s->setAttr("is-font-style", "true");
        s->setAttr("file", std::string("../../../Gfx/Fonts/") + (style[0] == 'b' ? "base_b.fnt" : "base.fnt"));
        ASSERT_EQ(base->addChild(std::move(s)), nullptr);
    }
    CFontObject* baseObject = base.get();
    ASSERT_EQ(fonts->addChild(std::move(base)), nullptr);
    ASSERT_EQ(root.addChild(std::move(fonts)), nullptr);
    auto view = std::make_unique<CObject>();
    CObject* v = view.get();
    ASSERT_EQ(root.addChild(std::move(view)), nullptr);

    CFontObject* found = nullptr;
    CErrorPtr e = CFontObject::findFont(*v, found);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->text().utf8(), "Attribute 'font-name' is empty");
    v->setAttr("font-name", "/font.nothing");
    e = CFontObject::findFont(*v, found);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->text().utf8(), "Font '/font.nothing' not found.");
    v->setAttr("font-name", "/font.base");
    ASSERT_EQ(CFontObject::findFont(*v, found), nullptr);
    EXPECT_EQ(found, baseObject);
    EXPECT_EQ(found->style("bold", 1.25), nullptr);
    ASSERT_EQ(found->prepare(1.25), nullptr);
    ASSERT_NE(found->style("bold", 1.25), nullptr);
    EXPECT_NE(found->style("bold", 1.25), found->style("regular", 1.25));
    EXPECT_EQ(found->style("superscript", 1.25), found->style("regular", 1.25));
    EXPECT_EQ(found->style("regular", 1.25)->scale(), 1.25);
    EXPECT_EQ(found->style("regular", 1.0), nullptr);
    // Another editor at another scale gets its own copy; the first one's
    // stays where it is.
    const CFont* large = found->style("regular", 1.25);
    ASSERT_EQ(found->prepare(0.8), nullptr);
    EXPECT_EQ(found->style("regular", 1.25), large);
    EXPECT_EQ(found->style("regular", 0.8)->scale(), 0.8);
    EXPECT_EQ(large->scale(), 1.25);

    CImageSetObject set;
    set.setAttr("file", "../../../Gfx/Imagesets/no-such-set.is");
    EXPECT_NE(set.prepare(1.0), nullptr);
    EXPECT_EQ(set.imageSet(1.0), nullptr);
    set.setAttr("file", "../../../Gfx/Imagesets/knob.is");
    ASSERT_EQ(set.prepare(1.0), nullptr);
    EXPECT_EQ(set.imageSet(1.0)->image(84)->layers().size(), 3u);
    const CImageSet* normal = set.imageSet(1.0);
    ASSERT_EQ(set.prepare(1.25), nullptr);
    EXPECT_EQ(set.imageSet(1.0), normal);
    EXPECT_EQ(normal->image(84)->layers()[0].scale(), 1.0);
    EXPECT_EQ(set.imageSet(1.25)->image(84)->layers()[0].scale(), 1.25);
    CBrushSetObject brushes;
    brushes.setAttr("file", "../../../Gfx/Brushes/brushes.bs");
    ASSERT_EQ(brushes.prepare(0.8), nullptr);
    EXPECT_EQ(brushes.brushSet(0.8)->brushes().size(), 6u);
}
