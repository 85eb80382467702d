// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Core/Debug.h"
#include "UI/InputRouter.h"
#include "UI/SurfaceViews.h"
#include "UI/View.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

std::string rectText(const CRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

uint32_t pixelAt(const CLinearBitmap& b, int x, int y) {
    const uint8_t* p = b.pixel(x, y);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int(a >> shift & 0xff) - int(b >> shift & 0xff)) > tolerance) return false;
    return true;
}

struct CTree {
    CTree(const std::string& rootAttrs, const std::string& body) {
        root = buildTree("<ui:view name=\"w\" " + rootAttrs + ">" + body + "</ui:view>", err);
    }
    CView* view(const char* path) {
        return dynamic_cast<CView*>(root->findObject(CString("ui.w") + (*path ? "." : "") + path));
    }
    std::string at(const char* path) {
        CView* v = view(path);
        return v ? rectText(v->area()) : std::string("missing");
    }
    std::string clip(const char* path) {
        CView* v = view(path);
        return v ? rectText(v->drawClip()) : std::string("missing");
    }
    CLinearBitmap drawn() {
        CLinearBitmap bitmap;
        CView* w = view("");
        bitmap.resize(w->area().width(), w->area().height());
        w->draw(bitmap, bitmap.bounds());
        return bitmap;
    }
    std::string error() const { return err ? err->text().utf8() : std::string(); }
    CErrorPtr err;
    std::unique_ptr<CLoopRoot> root;
};

// Roles used below: Panel 0xf6edce, Border 0x3f3e2b, Selection 0xffe672,
// ActionError 0xff0000, Custom5 0x58bdf7.

TEST(ViewSizeModes, BalancedViewsShareWhatTheOthersLeave) {
    CTree t(R"(width="100" height="90")", R"(
      <ui:view name="head" placement="top" height="10"/>
      <ui:view name="a" placement="top" height="balanced" outer-border="B1"/>
      <ui:view name="b" placement="top" height="balanced"/>
      <ui:view name="c" placement="top" height="balanced"/>
      <ui:view name="foot" placement="bottom" height="9"/>
      <ui:view name="side" placement="left" width="balanced"/>)");
    ASSERT_EQ(t.error(), "");
    // 90 - 10 - 9 - 1 = 70 for three: 23, 23 and the odd 24.
    EXPECT_EQ(t.at("a"), "0,10 100x23");
    EXPECT_EQ(t.at("b"), "0,34 100x23");
    EXPECT_EQ(t.at("c"), "0,57 100x24");
    EXPECT_EQ(t.at("foot"), "0,81 100x9");
    EXPECT_EQ(t.at("side"), "0,81 100x0") << "nothing is left below the balanced views";

    CTree row(R"(width="100" height="40")", R"(
      <ui:view name="a" width="20" height="10"/>
      <ui:view name="b" width="balanced" height="10" outer-border="LR5"/>
      <ui:view name="c" width="balanced" height="balanced"/>
      <ui:view name="d" width="10" height="10" is-new-inline-row="true"/>
      <ui:view name="e" width="10" height="balanced"/>)");
    ASSERT_EQ(row.error(), "");
    // 100 - 20 - 10 = 70 for two; two balanced rows share the 40 px.
    EXPECT_EQ(row.at("b"), "25,0 35x10");
    EXPECT_EQ(row.at("c"), "65,0 35x20");
    EXPECT_EQ(row.at("e"), "10,20 10x20");
}

TEST(ViewSizeModes, InlineFullCompactAndCompactParents) {
    CTree t(R"(width="100" height="60")", R"(
      <ui:view name="k1" width="30" height="20"/>
      <ui:view name="k2" width="40" height="12" alignment-v="top"/>
      <ui:view name="tall" width="10" height="inline"/>
      <ui:view name="rule" width="inline" height="2" is-new-inline-row="true"/>
      <ui:view name="box" width="compact" height="compact" is-new-inline-row="true">
        <ui:view name="fc" width="full-compact" height="5">
          <ui:view width="25" height="5"/>
        </ui:view>
        <ui:view name="full" width="full" height="5" is-new-inline-row="true"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("tall"), "70,0 10x20") << "an inline height is its row's";
    EXPECT_EQ(t.at("rule"), "0,20 80x2") << "an inline width reaches the widest row";
    // The compact box measures "full-compact" by its content and "full" as
    // nothing; laid out, both take the box's width.
    EXPECT_EQ(t.at("box"), "0,22 25x10");
    EXPECT_EQ(t.at("box.fc"), "0,22 25x5");
    EXPECT_EQ(t.at("box.full"), "0,27 25x5");
}

TEST(ViewSizeModes, RatiosStretchPixelSizesAndPassThemOn) {
    CTree t(R"(width="200" height="100")", R"(
      <ui:view name="wide" width="50" height="20" ratio-x="2" min-width="10">
        <ui:view name="inner" width="10" height="10" ratio-y="1.5"/>
      </ui:view>
      <ui:view name="fit" placement="bottom" width="40" height="20" is-auto-ratio="true" max-height="16"
               min-ratio-y="1.25">
        <ui:view name="half" width="20" height="10"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("wide"), "0,0 100x20");
    EXPECT_EQ(t.at("wide.inner"), "0,0 20x15");
    // The view stretches to its room, 200 across (5 times its 40) and at
    // most 20 down (16 at its least ratio, 1.25): 20 / 25 is held at 1.25.
    EXPECT_EQ(t.at("fit"), "0,80 200x20");
    EXPECT_EQ(t.at("fit.half"), "0,80 100x13");
}

TEST(ViewDrawOrder, ZIndexTargetsDrawViewsAtAnotherViewsLevel) {
    CTree t(R"(width="60" height="30" color="Panel")", R"(
      <ui:view name="card" placement="left" width="30" color="Selection" outer-border="5">
        <ui:view name="under" placement="overlay" offset-x="-5" color="ActionError" z-index="-1 ^" spread="5" unclip-level="1"/>
        <ui:view name="over" placement="full" color="Custom5" width="5" alignment-h="left" z-index="1 ^" unclip-level="1"/>
        <ui:view name="lost" placement="full" color="Border" width="5" alignment-h="right" z-index="2 ^^^"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    const CLinearBitmap b = t.drawn();
    EXPECT_EQ(pixelAt(b, 2, 15), 0xff0000u) << "drawn beside the card, outside its parent";
    EXPECT_EQ(pixelAt(b, 15, 15), 0xffe672u) << "the card covers the view one level below it";
    EXPECT_EQ(pixelAt(b, 7, 15), 0x58bdf7u) << "one level above the card";
    EXPECT_EQ(pixelAt(b, 50, 15), 0xf6edceu);
    EXPECT_EQ(t.clip("card.under"), "0,0 35x30");
    // A target that does not exist leaves the view at its parent's level:
    // drawn over the card as its last child.
    EXPECT_EQ(pixelAt(b, 32, 15), 0x3f3e2bu);
}

TEST(ViewDrawOrder, InputFindsViewsInTheOrderTheyAreDrawn) {
    CTree t(R"(width="60" height="30")", R"(
      <ui:view name="card" placement="left" width="30" outer-border="5" z-index="5">
        <ui:view name="under" placement="overlay" offset-x="-5" z-index="-1 ^" unclip-level="1"/>
        <ui:view name="inner" placement="full"/>
        <ui:view name="over" placement="full" width="5" alignment-h="left" z-index="1 ^"/>
        <ui:view name="shade" placement="full" z-index="-1 ^" is-decorative="true"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    CView& w = *t.view("");
    const auto at = [&](int x, int y) {
        const CView* v = CInputRouter::viewAt(w, x, y);
        return v ? v->name().utf8() : std::string("none");
    };
    EXPECT_EQ(at(20, 15), "inner") << "a view drawn below the card is below its children too";
    EXPECT_EQ(at(7, 15), "over");
    EXPECT_EQ(at(50, 15), "w");
}

TEST(ViewDrawOrder, ChildBasesAndSiblingTargets) {
    CTree t(R"(width="40" height="20" z-index-dynamic-childs="10")", R"(
      <ui:view name="meter" placement="full" color="Custom5" is-dynamic="true"/>
      <ui:view name="plate" placement="full" color="Selection" z-index="5"/>
      <ui:view name="label" placement="full" width="10" alignment-h="left" color="ActionError" z-index="1 ^meter"/>
      <ui:view name="forced" placement="full" width="20" alignment-h="left" color="Border" is-dynamic="true" is-force-non-dynamic="true"/>)");
    ASSERT_EQ(t.error(), "");
    const CLinearBitmap b = t.drawn();
    EXPECT_EQ(pixelAt(b, 30, 10), 0x58bdf7u) << "dynamic children start at level 10, over the plate at 5";
    EXPECT_EQ(pixelAt(b, 5, 10), 0xff0000u) << "one level above the meter";
    EXPECT_EQ(pixelAt(b, 15, 10), 0x58bdf7u) << "a forced non-dynamic view stays at the static base";
}

TEST(ViewDrawOrder, UnclipLevelsAndHiddenAncestors) {
    CTree t(R"(width="60" height="40" color="Panel")", R"(
      <ui:view name="outer" placement="full" inner-border="10">
        <ui:view name="inner" placement="full" inner-border="5">
          <ui:view name="a" placement="full" spread="8"/>
          <ui:view name="b" placement="full" spread="8" unclip-level="1"/>
          <ui:view name="c" placement="full" spread="100" unclip-level="-1"/>
        </ui:view>
      </ui:view>
      <ui:view name="gone" placement="full" is-hidden="true">
        <ui:view name="child" placement="full" z-index="0 ^^" unclip-level="5" color="Border"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("outer.inner.a"), "15,15 30x10");
    EXPECT_EQ(t.clip("outer.inner.a"), "10,10 40x20") << "held by its parent";
    EXPECT_EQ(t.clip("outer.inner.b"), "7,7 46x26") << "held by its grandparent";
    EXPECT_EQ(t.clip("outer.inner.c"), "0,0 60x40") << "held by the window only";
    EXPECT_EQ(t.clip("gone.child"), "0,0 0x0");
    EXPECT_EQ(pixelAt(t.drawn(), 30, 20), 0xf6edceu) << "the child of a hidden view is hidden too";
}

TEST(ViewLayout, ScrollBarsAndWindowOverlays) {
    CTree t(R"(width="100" height="60")", R"(
      <ui:view name="list" placement="left" width="50" is-scrollable="true" inner-border="2">
        <ui:view name="v" placement="scroller-v" width="8"/>
        <ui:view name="h" placement="scroller-h" height="8"/>
        <ui:view name="pan" placement="scroller-p" width="8" height="8"/>
        <ui:view name="rows" width="full" height="full"/>
        <ui:view name="blocker" placement="window-overlay" color="Border"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.at("list.v"), "40,2 8x56") << "on the right edge";
    EXPECT_EQ(t.at("list.h"), "2,50 38x8") << "along the bottom, beside the vertical bar";
    EXPECT_EQ(t.at("list.pan"), "40,50 8x8") << "in the corner where the bars meet";
    EXPECT_EQ(t.at("list.rows"), "2,2 38x48");
    EXPECT_EQ(t.at("list.blocker"), "0,0 100x60");
    EXPECT_EQ(t.clip("list.blocker"), "0,0 100x60") << "the whole window, beyond its parent";
    EXPECT_EQ(pixelAt(t.drawn(), 90, 30), 0x3f3e2bu);
}

TEST(ViewLayout, AScaleSettingThatIsNoScaleLeavesTheWindowUsable) {
    for (const auto& [scale, size] : std::vector<std::pair<const char*, const char*>>{
             {"0", "0,0 540x315"}, {"-1.25", "0,0 540x315"}, {"many", "0,0 540x315"}, {"0.1", "0,0 270x158"}}) {
        CTree t(std::string(R"(width="540" height="315" ui-scale=")") + scale + "\"", "");
        ASSERT_EQ(t.error(), "") << scale;
        EXPECT_EQ(t.at(""), size) << scale;
    }
}

TEST(ViewDrawOrder, MissingZIndexTargetsAreLogged) {
    const bool was = debugLogEnabled();
    setDebugLog(true);
    testing::internal::CaptureStderr();
    CTree t(R"(width="10" height="10")", R"(<ui:view z-index="-1 ^nobody"/><ui:view z-index="-1 ^"/>)");
    const std::string log = testing::internal::GetCapturedStderr();
    setDebugLog(was);
    ASSERT_EQ(t.error(), "");
    EXPECT_NE(log.find("Z-index target not found: ^nobody\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Z-index target not found: ^\n"), std::string::npos) << "nothing draws below the window's root";
}

TEST(SurfaceViews, FillsGradientsSpotlightsAndShadowsDrawWhereTheyShould) {
    CTree t(R"(width="140" height="60" color="Panel")", R"(
      <ui:color-fill name="fill" placement="left" width="20" color="ActionError" opacity="0.5"/>
      <ui:overlay-gradient name="down" placement="left" width="20" color="Border"/>
      <ui:overlay-gradient name="left" placement="left" width="20" color="Border" gradient-direction="left"/>
      <ui:spotlight-base name="spot" placement="left" width="20" opacity="1" spot-width="0.5"/>
      <ui:view name="card" placement="left" width="full" outer-border="6" color="Selection">
        <ui:shadow name="shade" placement="full" z-index="-1 ^" spread="14" unclip-level="1"/>
      </ui:view>)");
    ASSERT_EQ(t.error(), "");
    const CLinearBitmap b = t.drawn();
    // Half of red over the panel: (0xf6 + 0xff) / 2, 0xed / 2, 0xce / 2.
    EXPECT_EQ(pixelAt(b, 10, 30), 0xfb7767u);
    // Strongest at the start side, nothing at the far side.
    EXPECT_LT(pixelAt(b, 30, 0) & 0xff, 0x50u);
    EXPECT_GT(pixelAt(b, 30, 30) & 0xff, pixelAt(b, 30, 5) & 0xff);
    EXPECT_TRUE(near(pixelAt(b, 30, 59), 0xf6edce, 3));
    EXPECT_LT(pixelAt(b, 59, 30) & 0xff, 0x50u);
    EXPECT_TRUE(near(pixelAt(b, 40, 30), 0xf6edce, 6));
    // The spotlight (0xfff8d8) at the middle of the top edge, the panel at
    // its sides and below.
    EXPECT_EQ(pixelAt(b, 70, 0) & 0xffff00, 0xfff800u);
    EXPECT_EQ(pixelAt(b, 61, 59), 0xf6edceu);
    EXPECT_EQ(pixelAt(b, 60, 2), 0xf6edceu);
    // The shadow darkens the panel around the card, most below it; the card
    // covers it.
    const auto blue = [&](int x, int y) { return int(pixelAt(b, x, y) & 0xff); };
    EXPECT_EQ(t.at("card"), "86,6 48x48");
    EXPECT_EQ(t.clip("card.shade"), "72,0 68x60");
    EXPECT_LT(blue(110, 57), 0xce - 20);
    EXPECT_LT(blue(110, 57), blue(110, 2));
    EXPECT_EQ(pixelAt(b, 110, 30), 0xffe672u);
}

TEST(SurfaceViews, AnimatedGradientsRunBackAndForth) {
    EXPECT_DOUBLE_EQ(CGradient::animationPhase(0.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(CGradient::animationPhase(1.0, 2.0), 0.5);
    EXPECT_DOUBLE_EQ(CGradient::animationPhase(3.0, 2.0), 0.5);
    EXPECT_DOUBLE_EQ(CGradient::animationPhase(4.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(CGradient::animationPhase(5.0, 0.0), 0.0);
    CTree bad(R"(width="10" height="10")", R"(<ui:overlay-gradient gradient-direction="sideways"/>)");
    EXPECT_EQ(bad.error(), "Invalid gradient-direction 'sideways'.");
}

}  // namespace

namespace {

TEST(SurfaceViews, ShadowsRunWithoutSeamsAlongLongSides) {
    // Taller than the shadow set's side pieces at every scale: the shading
    // beside the card changes smoothly from its top to its bottom.
    for (const char* scale : {"0.8", "1", "1.25"}) {
        CTree t(std::string(R"(width="80" height="400" color="Panel" ui-scale=")") + scale + "\"", R"(
          <ui:view name="card" placement="full" outer-border="16" color="Selection">
            <ui:shadow name="shade" placement="full" z-index="-1 ^" spread="14" unclip-level="1"/>
          </ui:view>)");
        ASSERT_EQ(t.error(), "") << scale;
        const CLinearBitmap b = t.drawn();
        const CRect card = t.view("card")->area();
        for (int y = card.top + 30; y < card.bottom - 30; ++y) {
            const int above = int(pixelAt(b, card.left - 3, y - 1) & 0xff),
                      here = int(pixelAt(b, card.left - 3, y) & 0xff);
            ASSERT_LE(std::abs(here - above), 2) << "scale " << scale << ", row " << y;
        }
    }
}

}  // namespace
