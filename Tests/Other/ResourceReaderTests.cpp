// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"
#include "Other/Brush.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

using namespace zel;

namespace {

const std::string kPrefix = "../../../Gfx/";
const char* const kSets[] = {"button",      "buttonab",    "checkbox",     "close",      "colorpicker",  "csurface",
                             "editbox",     "frame",       "groupcaption", "history",    "instancename", "knob",
                             "levelmeter",  "listoutline", "multichange",  "popup2",     "popup",        "ruler",
                             "screenshots", "scroller",    "shadow",       "shadowhard", "shadowknob",   "statusbar",
                             "texture",     "zelmora"};
const double kScales[] = {0.8, 1.0, 1.25};

// Little-endian bytes of a hand-made resource.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(unsigned v) {
        b.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return u32(uint32_t(bits)).u32(uint32_t(bits >> 32));
    }
    Bytes& str(const std::string& s) {
        u32(uint32_t(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};

// The 24 fixed bytes and marker of a layer copy, then its pixel block.
Bytes layerData(int w, int h, int channels, int level, const std::vector<uint8_t>& block) {
    Bytes d;
    d.u16(w).u16(h).u16(uint16_t(-1)).u16(uint16_t(-2)).u16(w).u16(h).u16(level);
    for (int i = 0; i < 8; ++i) d.u8(0);
    d.u16(channels).u16(0xFFFF).u32(uint32_t(block.size())).raw(block);
    return d;
}

// A 1-channel, one-row block whose row is `runs`.
std::vector<uint8_t> oneRow(const std::vector<uint8_t>& runs) {
    Bytes blk;
    blk.u16(1).u32(6).raw(runs);
    return blk.b;
}

Bytes setWithImages(const std::vector<std::pair<uint32_t, Bytes>>& images) {
    Bytes s;
    s.u32(1).u32(1).str("").u32(1).u32(9).u32(uint32_t(images.size()));
    for (const auto& [number, layers] : images) s.u32(number).raw(layers.b);
    return s;
}

// One image of one layer with the given copies.
Bytes singleLayer(const std::vector<std::pair<double, Bytes>>& copies) {
    Bytes img;
    img.u16(1).u16(0).u16(uint16_t(copies.size()));
    for (const auto& c : copies) img.f64(c.first);
    for (const auto& c : copies) img.raw(c.second.b);
    return img;
}

CErrorPtr readSet(const Bytes& bytes, CImageSet& set, double scale = 1.0) {
    CMemoryReaderStatic in(bytes.b.data(), bytes.b.size());
    return set.read(in, scale);
}

template <class T>
void readWhole(const std::string& name, T& out, double scale) {
    CResourceReader in;
    ASSERT_EQ(in.open(CString(name)), nullptr) << name;
    EXPECT_TRUE(in.isEmbedded()) << name;
    ASSERT_EQ(out.read(in, scale), nullptr) << name;
    uint64_t pos = 0, size = 0;
    ASSERT_EQ(in.getPosition(pos), nullptr);
    ASSERT_EQ(in.getSize(size), nullptr);
    EXPECT_EQ(pos, size) << name << " at scale " << scale;
    EXPECT_TRUE(out.isLoaded()) << name;
}

}  // namespace

TEST(GraphicResources, EveryEmbeddedResourceParsesToItsExactSize) {
    for (double scale : kScales) {
        for (const char* name : kSets) {
            CImageSet set;
            readWhole(kPrefix + "Imagesets/" + name + ".is", set, scale);
            EXPECT_GT(set.imageCount(), 0u) << name;
        }
        for (const char* name : {"base_b", "base", "compact", "micro", "micro-sm", "small", "title"}) {
            CFont font;
            readWhole(kPrefix + "Fonts/" + name + ".fnt", font, scale);
        }
        CBrushSet brushes;
        readWhole(kPrefix + "Brushes/brushes.bs", brushes, scale);
    }
}

TEST(GraphicResources, FontsCarryTheirMetricsAndOneRepertoire) {
    const struct {
        const char* name;
        int metrics[3];
    } fonts[] = {{"base", {14, 3, 3}},     {"base_b", {14, 3, 3}}, {"compact", {14, 4, 4}}, {"micro", {14, 3, 2}},
                 {"micro-sm", {11, 3, 2}}, {"small", {10, 3, 3}},  {"title", {16, 5, 4}}};
    std::vector<uint32_t> repertoire;
    for (const auto& f : fonts) {
        CFont font;
        readWhole(kPrefix + "Fonts/" + f.name + ".fnt", font, 1.0);
        EXPECT_EQ(font.metricLineHeight(), f.metrics[0]) << f.name;
        EXPECT_EQ(font.metricAbove(), f.metrics[1]) << f.name;
        EXPECT_EQ(font.metricBelow(), f.metrics[2]) << f.name;
        std::vector<uint32_t> codes;
        for (const auto& entry : font.glyphs().images()) {
            codes.push_back(entry.first);
            ASSERT_EQ(entry.second.layers().size(), 1u);
            const CImageLayerData& g = entry.second.layers()[0].data();
            EXPECT_TRUE(g.channels() == 1 || !g.hasPixels()) << f.name << " " << entry.first;
            EXPECT_GT(g.nominalWidth(), 0) << f.name << " " << entry.first;
        }
        EXPECT_EQ(codes.front(), 32u);
        EXPECT_EQ(codes.back(), 8710u);
        if (repertoire.empty()) repertoire = codes;
        EXPECT_EQ(codes, repertoire) << f.name;
    }
    CFont base;
    readWhole(kPrefix + "Fonts/base.fnt", base, 1.25);
    EXPECT_EQ(base.lineHeight(), 18);
    EXPECT_LT(base.glyph('A')->offsetY(), 0);
}

TEST(GraphicResources, BrushesFollowTheRadiusAndStampRules) {
    const double widths[] = {0.0, 1.5, 2.0, 2.25, 2.5, 3.5};
    for (double scale : kScales) {
        CBrushSet set;
        readWhole(kPrefix + "Brushes/brushes.bs", set, scale);
        ASSERT_EQ(set.brushes().size(), 6u);
        for (size_t i = 0; i < 6; ++i) {
            const CBrush& b = set.brushes()[i];
            EXPECT_EQ(b.width(), widths[i]);
            EXPECT_EQ(b.subPixelBits(), 4u);
            EXPECT_EQ(b.scale(), scale);
            EXPECT_DOUBLE_EQ(b.radius(), 0.5 + widths[i] * scale / 2);
            EXPECT_EQ(b.stampSize(), int(std::ceil(2 * b.radius())) + 1);
            EXPECT_NE(b.stamp(15, 15), nullptr);
            EXPECT_EQ(b.stamp(16, 0), nullptr);
        }
    }
    CBrushSet at1;
    readWhole(kPrefix + "Brushes/brushes.bs", at1, 1.0);
    EXPECT_EQ(at1.brushes()[1].stampSize(), 4);
    EXPECT_DOUBLE_EQ(at1.brushes()[1].radius(), 1.25);
    CBrushSet at125;
    readWhole(kPrefix + "Brushes/brushes.bs", at125, 1.25);
    EXPECT_EQ(at125.brushes()[5].stampSize(), 7);
    EXPECT_DOUBLE_EQ(at125.brushes()[5].radius(), 2.6875);
    // A centred stamp of the widest pen is solid in the middle.
    const CBrush& wide = at125.brushes()[5];
    const int mid = wide.anchor();
    EXPECT_EQ(wide.stamp(8, 8)[mid * wide.stampSize() + mid], 255);
}

TEST(GraphicResources, ScaleChoiceTakesTheNearestAndTheFirstOfEquals) {
    const std::vector<double> stored = {0.8, 1.0, 1.25};
    EXPECT_EQ(chooseScale(stored, 1.1), 1u);
    EXPECT_EQ(chooseScale(stored, 1.125), 1u);
    EXPECT_EQ(chooseScale(stored, 0.85), 0u);
    EXPECT_EQ(chooseScale(stored, 2.0), 2u);
    EXPECT_EQ(chooseScale({1.25, 1.0}, 1.125), 0u);

    CImageSet knob;
    readWhole(kPrefix + "Imagesets/knob.is", knob, 1.1);
    EXPECT_EQ(knob.image(0)->layers()[0].scale(), 1.0);
    readWhole(kPrefix + "Imagesets/knob.is", knob, 1.2);
    EXPECT_EQ(knob.image(0)->layers()[0].scale(), 1.25);
    EXPECT_EQ(knob.image(0)->nominalWidth(), 93);
    for (double scale : kScales) {
        CImageSet shots;
        readWhole(kPrefix + "Imagesets/screenshots.is", shots, scale);
        EXPECT_EQ(shots.image(1)->layers()[0].scale(), 1.0);
        EXPECT_EQ(shots.image(1)->layers()[0].data().channels(), 4);
    }
}

TEST(GraphicResources, RangesAndNumbersOfTheButtonAndKnobSets) {
    CImageSet button;
    readWhole(kPrefix + "Imagesets/button.is", button, 1.0);
    const struct {
        const char* name;
        uint32_t first, last;
    } ranges[] = {{"", 1, 8}, {"Pushed", 11, 18}, {"Active", 21, 28}, {"IconWheel", 0, 0}, {"LampOff", 0, 0}};
    for (const auto& r : ranges) {
        const CImageSet::CRange* found = button.findRange(r.name);
        ASSERT_NE(found, nullptr) << r.name;
        if (r.last) {
            EXPECT_EQ(found->first, r.first);
            EXPECT_EQ(found->last, r.last);
        }
    }
    for (size_t i = 1; i < button.ranges().size(); ++i) EXPECT_LT(button.ranges()[i - 1].name, button.ranges()[i].name);
    EXPECT_EQ(button.findRange("Missing"), nullptr);
    EXPECT_EQ(button.image("Missing", 0), nullptr);
    EXPECT_EQ(button.image("Pushed", 7), button.image(18));
    EXPECT_EQ(button.image("Pushed", 8), nullptr);
    const uint32_t largest = button.images().rbegin()->first;
    EXPECT_EQ(button.image(largest + 1), nullptr);
    EXPECT_EQ(button.image(0xFFFFFFFFu), nullptr);

    CImageSet knob;
    readWhole(kPrefix + "Imagesets/knob.is", knob, 1.0);
    const CImageSet::CRange* frames = knob.findRange("");
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->first, 0u);
    EXPECT_EQ(frames->last, 84u);
    for (uint32_t i = 0; i <= 84; ++i) ASSERT_EQ(knob.image(i)->layers().size(), 3u);
    EXPECT_NE(knob.image(84)->findLayer(2), nullptr);
    EXPECT_NE(knob.image("LabelBG", 0), nullptr);
}

TEST(ImageSetReader, DecodesOneChannelRunsExactly) {
    // Level 255: 2 clear, 3 literal (10, 20, 30), 2 at level, 1 literal 7.
    const std::vector<uint8_t> runs = {2 << 3 | 0, 3 << 3 | 1, 10, 20, 30, 2 << 3 | 2, 1 << 3 | 1, 7};
    CImageSet set;
    ASSERT_EQ(readSet(setWithImages({{5, singleLayer({{1.0, layerData(8, 1, 1, 255, oneRow(runs))}})}}), set), nullptr);
    const CImageLayerData& d = set.image(5)->layers()[0].data();
    const std::vector<uint8_t> expected = {0, 0, 10, 20, 30, 255, 255, 7};
    EXPECT_EQ(std::vector<uint8_t>(d.row(0), d.row(0) + 8), expected);
    EXPECT_EQ(d.offsetX(), -1);
    EXPECT_EQ(d.offsetY(), -2);
}

TEST(ImageSetReader, RejectsRowsThatDoNotFitTheCanvas) {
    const std::vector<std::vector<uint8_t>> bad = {
        {9 << 3 | 0},        // longer than the width
        {3 << 3 | 1, 1, 2},  // literal payload cut short
        {0 << 3 | 0},        // empty run
        {8 << 3 | 3},        // a 2-channel kind in a 1-channel block
        {4 << 3 | 0},        // row ends early
    };
    for (const auto& runs : bad) {
        CImageSet set;
        EXPECT_NE(readSet(setWithImages({{1, singleLayer({{1.0, layerData(8, 1, 1, 255, oneRow(runs))}})}}), set),
                  nullptr);
    }
    Bytes table;
    table.u16(1).u32(400);
    CImageSet set;
    EXPECT_NE(readSet(setWithImages({{1, singleLayer({{1.0, layerData(8, 1, 1, 255, table.b)}})}}), set), nullptr);
}

TEST(ImageSetReader, SkipsUnchosenScalesWithoutDecodingThem) {
    const std::vector<uint8_t> good = oneRow({1 << 3 | 1, 42});
    const std::vector<uint8_t> garbage = oneRow({0xFF, 0xFF, 0xFF});
    const Bytes bytes = setWithImages({{1, singleLayer({{0.8, layerData(1, 1, 1, 255, garbage)},
                                                        {1.0, layerData(1, 1, 1, 255, good)},
                                                        {1.25, layerData(1, 1, 1, 255, garbage)}})}});
    CImageSet set;
    ASSERT_EQ(readSet(bytes, set, 1.1), nullptr);
    EXPECT_EQ(set.image(1)->layers()[0].data().row(0)[0], 42);
    EXPECT_NE(readSet(bytes, set, 1.25), nullptr);
}

TEST(ImageSetReader, LaterImageOfTheSameNumberWins) {
    const Bytes first = singleLayer({{1.0, layerData(1, 1, 1, 255, oneRow({1 << 3 | 1, 1}))}});
    const Bytes second = singleLayer({{1.0, layerData(1, 1, 1, 255, oneRow({1 << 3 | 1, 2}))}});
    CImageSet set;
    ASSERT_EQ(readSet(setWithImages({{3, first}, {3, second}}), set), nullptr);
    EXPECT_EQ(set.imageCount(), 1u);
    EXPECT_EQ(set.image(3)->layers()[0].data().row(0)[0], 2);
}

TEST(ImageSetReader, VersionScaleAndTruncationFailures) {
    Bytes v2;
    v2.u32(2).u32(0).u32(0);
    CImageSet set;
    EXPECT_EQ(readSet(v2, set), nullptr);
    EXPECT_FALSE(set.isLoaded());

    Bytes noScale;
    noScale.u16(1).u16(0).u16(0);
    CErrorPtr e = readSet(setWithImages({{1, noScale}}), set);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->text().utf8(), "No suitable image scale available.");

    const Bytes whole = setWithImages({{1, singleLayer({{1.0, layerData(2, 1, 1, 255, oneRow({2 << 3 | 2}))}})}});
    for (size_t cut = 0; cut < whole.b.size(); ++cut) {
        Bytes part;
        part.b.assign(whole.b.begin(), whole.b.begin() + long(cut));
        EXPECT_NE(readSet(part, set), nullptr) << cut;
    }
    EXPECT_EQ(readSet(whole, set), nullptr);

    Bytes fontV2;
    fontV2.u32(2);
    CFont font;
    CMemoryReaderStatic in(fontV2.b.data(), fontV2.b.size());
    EXPECT_EQ(font.read(in, 1.0), nullptr);
    EXPECT_FALSE(font.isLoaded());
}
