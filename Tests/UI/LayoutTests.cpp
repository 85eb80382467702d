// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Support/Printers.h"
#include "UI/View.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

std::string borderText(const char* text, double scale = 1.0) {
    CBorder b;
    if (CErrorPtr err = parseBorder(text, scale, b)) return err->text().utf8();
    return std::to_string(b.left) + "," + std::to_string(b.right) + "," + std::to_string(b.top) + "," +
           std::to_string(b.bottom);
}

std::string rectText(const CRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// A tree under a root view "w" of the given attributes.
struct CLaidOut {
    CLaidOut(const std::string& rootAttrs, const std::string& body) {
        root = buildTree("<ui:view name=\"w\" " + rootAttrs + ">" + body + "</ui:view>", err);
    }
    std::string at(const char* path) {
        auto* view = dynamic_cast<CView*>(root->findObject(CString("ui.w") + (*path ? "." : "") + path));
        return view ? rectText(view->area()) : std::string("missing");
    }
    std::string error() const { return err ? err->text().utf8() : std::string(); }
    CErrorPtr err;
    std::unique_ptr<CLoopRoot> root;
};

TEST(ViewBorder, TokensSetOrAddTheirSidesInOrder) {
    EXPECT_EQ(borderText("LR2 B1 *LT1 *RB-1"), "3,1,1,0");
    EXPECT_EQ(borderText("4"), "4,4,4,4");
    EXPECT_EQ(borderText("lr10 TB5"), "10,10,5,5");
    EXPECT_EQ(borderText("  +3  *T2 "), "3,3,5,3");
    EXPECT_EQ(borderText(""), "0,0,0,0");
    EXPECT_EQ(borderText("*LR1 *L.5"), "2,1,0,0");
}

TEST(ViewBorder, SizesFollowTheScaleRoundedHalfAwayFromZero) {
    EXPECT_EQ(borderText("LR2 B1", 1.25), "3,3,0,1");  // 2.5 -> 3, 1.25 -> 1
    EXPECT_EQ(borderText("4 *B-2", 1.25), "5,5,5,3");  // 2 * 1.25 = 2.5
    EXPECT_EQ(borderText("L-2", 1.25), "-3,0,0,0");
    EXPECT_EQ(borderText("4", 0.8), "3,3,3,3");
}

TEST(ViewBorder, MalformedTokensNameTheWholeList) {
    EXPECT_EQ(borderText("X4"), "Invalid border syntax: 'X4' (1)");
    EXPECT_EQ(borderText("LR2 T"), "Invalid border syntax: 'LR2 T' (1)");
    EXPECT_EQ(borderText("L4px"), "Invalid border syntax: 'L4px' (2)");
    EXPECT_EQ(borderText("+"), "Invalid border syntax: '+' (2)");
}

TEST(ViewLayout, DockedViewsTakeTheirEdgesOfWhatIsLeft) {
    CLaidOut t(R"(width="200" height="100" inner-border="10")", R"(
      <ui:view name="top" placement="top" height="20" outer-border="B2"/>
      <ui:view name="left" placement="left" width="30"/>
      <ui:view name="bottom" placement="bottom" height="10"/>
      <ui:view name="right" placement="right" width="25%"/>
      <ui:view name="rest" placement="top" height="full"/>
      <ui:view name="cover" placement="full"/>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at(""), "0,0 200x100");
    EXPECT_EQ(t.at("top"), "10,10 180x20");
    EXPECT_EQ(t.at("left"), "10,32 30x58");
    EXPECT_EQ(t.at("bottom"), "40,80 150x10");
    EXPECT_EQ(t.at("right"), "145,32 45x48");  // 25 % of the 180 px inner width
    EXPECT_EQ(t.at("rest"), "40,32 105x48");
    EXPECT_EQ(t.at("cover"), "10,10 180x80");
}

TEST(ViewLayout, InlineViewsFlowInRowsWithTheirMargins) {
    CLaidOut t(R"(width="100" height="60" inline-alignment-h="center")", R"(
      <ui:view name="head" placement="top" height="10"/>
      <ui:view name="a" width="20" height="10" outer-border="2"/>
      <ui:view name="b" width="30" height="6" outer-border="LR2" alignment-v="bottom"/>
      <ui:view name="c" width="10" height="5" is-new-inline-row="true"/>
      <ui:view name="d" width="full" height="5"/>
      <ui:view name="e" width="10" height="full" is-new-inline-row="true"/>)");
    ASSERT_EQ(t.error(), "");
    // Row 1: 24 + 34 = 58 px wide, 14 high, centred in 100.
    EXPECT_EQ(t.at("a"), "23,12 20x10");
    EXPECT_EQ(t.at("b"), "47,18 30x6");
    // Row 2 starts under the 14 px of row 1; "full" takes the rest of it.
    EXPECT_EQ(t.at("c"), "0,24 10x5");
    EXPECT_EQ(t.at("d"), "10,24 90x5");
    // A "full" height takes what the rows above leave.
    EXPECT_EQ(t.at("e"), "45,29 10x31");
}

TEST(ViewLayout, CompactSizesComeFromTheChildren) {
    CLaidOut t(R"(width="compact" height="compact" inner-border="3")", R"(
      <ui:view name="bar" placement="top" height="8"/>
      <ui:view name="a" width="20" height="10" outer-border="1"/>
      <ui:view name="b" width="15" height="12"/>
      <ui:view name="side" placement="left" width="5" height="4"/>)");
    ASSERT_EQ(t.error(), "");
    // Width 5 + 22 + 15 + 6, height 8 + 12 + 6.
    EXPECT_EQ(t.at(""), "0,0 48x26");
    EXPECT_EQ(t.at("side"), "3,11 5x4");
    EXPECT_EQ(t.at("a"), "9,12 20x10");
}

TEST(ViewLayout, TheThreeScalesMultiplyPixelSizesAndBorders) {
    const std::string body = R"(
      <ui:view name="title" placement="top" height="21" outer-border="B3"/>
      <ui:view name="knob" width="38" height="38" outer-border="L5"/>)";
    struct CCase {
        const char* scale;
        const char *root, *title, *knob;
    };
    for (const CCase& c : {CCase{"0.8", "0,0 432x252", "4,4 424x17", "8,23 30x30"},
                           CCase{"1", "0,0 540x315", "5,5 530x21", "10,29 38x38"},
                           CCase{"1.25", "0,0 675x394", "6,6 663x26", "12,36 48x48"}}) {
        CLaidOut t(std::string("width=\"540\" height=\"315\" inner-border=\"5\" ui-scale=\"") + c.scale + "\"", body);
        ASSERT_EQ(t.error(), "") << c.scale;
        EXPECT_EQ(t.at(""), c.root) << c.scale;
        EXPECT_EQ(t.at("title"), c.title) << c.scale;
        EXPECT_EQ(t.at("knob"), c.knob) << c.scale;
    }
}

TEST(ViewLayout, HiddenViewsGiveUpTheirRoomUnlessWeaklyHidden) {
    CLaidOut t(R"(width="100" height="50")", R"(
      <ui:view name="gone" placement="top" height="10" is-hidden="true"/>
      <ui:view name="kept" placement="top" height="10" is-hidden="true" is-weak-hide="true"/>
      <ui:view name="a" width="10" height="10" is-hidden="true"/>
      <ui:view name="b" width="10" height="10"/>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("gone"), "0,0 0x0");
    EXPECT_EQ(t.at("kept"), "0,0 100x10");
    EXPECT_EQ(t.at("b"), "0,10 10x10");
}

TEST(ViewLayout, SizesAreClampedAndCoveringViewsAligned) {
    CLaidOut t(R"(width="100" height="50")", R"(
      <ui:view name="wide" placement="top" height="full" max-height="12" min-width="5"/>
      <ui:view name="tiny" width="2" height="50%" min-width="8" max-height="20"/>
      <ui:view name="badge" placement="overlay" width="10" height="6" alignment-h="right" alignment-v="center" offset-x="-1"/>
      <ui:view name="twin" placement="match" placement-match="^tiny"/>
      <ui:view name="whole" placement="match" placement-match="^"/>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("wide"), "0,0 100x12");
    EXPECT_EQ(t.at("tiny"), "0,12 8x20");
    EXPECT_EQ(t.at("badge"), "89,22 10x6");
    EXPECT_EQ(t.at("twin"), "0,12 8x20");
    EXPECT_EQ(t.at("whole"), "0,0 100x50");
}

TEST(ViewLayout, DefinitionErrorsStopTheWindow) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(<ui:view placement="middle"/>)", "Invalid placement 'middle'."},
        {R"(<ui:view placement="match" placement-match="^nothing"/>)", "Invalid match '^nothing'."},
        {R"(<ui:view placement="scroller-v"/>)",
         "Invalid placement scroller-v, parent view does not support scrolling"},
        {R"(<ui:view alignment-h="top"/>)", "Invalid alignment-h 'top'."},
        {R"(<ui:view alignment-v="left"/>)", "Invalid alignment-v 'left'."},
        {R"(<ui:view inline-alignment-h="middle"/>)", "Invalid inline-alignment-h 'middle'."},
        {R"(<ui:view inline-alignment-v="x"/>)", "Invalid inline-alignment-v 'x'."},
        {R"(<ui:view outer-border="X4"/>)", "Invalid border syntax: 'X4' (1)"},
        {R"(<ui:view><ui:view inner-border="T2x"/></ui:view>)", "Invalid border syntax: 'T2x' (2)"},
    };
    for (const auto& [body, message] : cases) {
        CLaidOut t(R"(width="10" height="10")", body);
        EXPECT_EQ(t.error(), message) << body;
    }
    CLaidOut scrolling(R"(width="10" height="10" is-scrollable="true")", R"(<ui:view placement="scroller-v"/>)");
    EXPECT_EQ(scrolling.error(), "");
}

uint32_t pixelAt(const CLinearBitmap& b, int x, int y) {
    const uint8_t* p = b.pixel(x, y);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

TEST(ViewDrawing, ChildrenDrawByZIndexWithinTheirParent) {
    // Panel 0xf6edce, Border 0x3f3e2b, Selection 0xffe672, ActionError 0xff0000.
    CLaidOut t(R"(width="40" height="20" color="Panel")", R"(
      <ui:view name="box" placement="left" width="20" color="Border">
        <ui:view name="over" placement="full" z-index="1" width="10" alignment-h="left" color="ActionError"/>
        <ui:view name="under" placement="full" color="Selection"/>
        <ui:view name="spill" placement="overlay" width="30" height="5" offset-x="15" alignment-h="left" alignment-v="bottom" color="ActionError"/>
      </ui:view>
      <ui:view name="ghost" placement="full" is-hidden="true" is-weak-hide="true" color="Border"/>)");
    ASSERT_EQ(t.error(), "");
    auto* root = dynamic_cast<CView*>(t.root->findObject("ui.w"));
    CLinearBitmap bitmap;
    bitmap.resize(40, 20);
    root->draw(bitmap, bitmap.bounds());
    EXPECT_EQ(pixelAt(bitmap, 5, 5), 0xff0000u) << "the higher z-index draws last";
    EXPECT_EQ(pixelAt(bitmap, 15, 5), 0xffe672u);
    EXPECT_EQ(pixelAt(bitmap, 19, 18), 0xff0000u) << "an overlay draws over the flow";
    EXPECT_EQ(pixelAt(bitmap, 25, 18), 0xf6edceu) << "a child is clipped to its parent; weak-hidden views do not draw";
}

}  // namespace

namespace {

TEST(PlainViews, CaptionsFitTheirTextAndPicturesTheirImage) {
    CLaidOut t(R"(width="200" height="60" color="Panel")", R"(
      <ui:caption name="label" title="Audio Delay" font-name="shared::font.base" text-color="PanelText" inner-border="LR4"/>
      <ui:caption name="wide" title="Out" width="80" font-name="shared::font.base" text-alignment="right" text-color="PanelText"/>
      <ui:picture name="arrow" image-set="shared::is.button" image-set-range="ArrowRight" color="Action"/>
      <ui:frame name="panel" placement="bottom" height="20" color="Action" border-color="Border" image-set="shared::is.frame" image-set-index="1"/>)");
    ASSERT_EQ(t.error(), "");
    auto* label = dynamic_cast<CView*>(t.root->findObject("ui.w.label"));
    auto* wide = dynamic_cast<CView*>(t.root->findObject("ui.w.wide"));
    auto* arrow = dynamic_cast<CView*>(t.root->findObject("ui.w.arrow"));
    ASSERT_TRUE(label && wide && arrow);
    EXPECT_GT(label->area().width(), 40) << "the text's width and the inner border";
    EXPECT_GT(label->area().height(), 6);
    EXPECT_EQ(wide->area().width(), 80);
    EXPECT_EQ(wide->area().left, label->area().right);
    EXPECT_GT(arrow->area().width(), 0);
    auto* root = dynamic_cast<CView*>(t.root->findObject("ui.w"));
    CLinearBitmap bitmap;
    bitmap.resize(200, 60);
    root->draw(bitmap, bitmap.bounds());
    // Dark text appears within the caption and nowhere left of it.
    int dark = 0;
    for (int y = label->area().top; y < label->area().bottom; ++y)
        for (int x = label->area().left; x < label->area().right; ++x)
            dark += (pixelAt(bitmap, x, y) & 0xff) < 0x60 ? 1 : 0;
    EXPECT_GT(dark, 20);
    for (int y = 0; y < label->area().bottom; ++y) EXPECT_EQ(pixelAt(bitmap, label->area().left + 1, y), 0xf6edceu);
    // The right-aligned text ends near the caption's right edge.
    int rightmost = -1;
    for (int y = wide->area().top; y < wide->area().bottom; ++y)
        for (int x = wide->area().left; x < wide->area().right; ++x)
            if ((pixelAt(bitmap, x, y) & 0xff) < 0x60) rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, wide->area().right - 6);
    EXPECT_EQ(pixelAt(bitmap, 100, 50), 0xfff8d8u) << "the frame is filled with its role";
}

TEST(PlainViews, MissingResourcesAreDefinitionErrors) {
    CLaidOut font(R"(width="10" height="10")", R"(<ui:caption title="x" font-name="shared::font.nothing"/>)");
    EXPECT_EQ(font.error(), "Font 'shared::font.nothing' not found.");
    CLaidOut images(R"(width="10" height="10")", R"(<ui:picture image-set="shared::is.nothing"/>)");
    EXPECT_EQ(images.error(), "Image set 'shared::is.nothing' not found.");
}

}  // namespace
