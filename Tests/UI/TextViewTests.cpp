// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Core/Notify.h"
#include "UI/Controls/TextView.h"
#include "UI/Controls/TextWrapper.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

using EKind = CTextItem::EKind;

// "W:text", "S", "BR", "HR", "IMG:set#range:role"; styles as "+b", "+i", "+sup", "+c1".
std::string describe(const std::vector<CTextItem>& items) {
    std::string out;
    for (const CTextItem& item : items) {
        if (!out.empty()) out += " | ";
        switch (item.kind) {
            case EKind::Word:
                out += "W:" + item.text.utf8();
                break;
            case EKind::Space:
                out += "S";
                break;
            case EKind::Break:
                out += "BR";
                break;
            case EKind::Rule:
                out += "HR";
                break;
            case EKind::Image:
                out += "IMG:" + item.imageSet.utf8() + "#" + item.imageRange.utf8() + ":" + item.imageRole.utf8();
                break;
        }
        if (item.style.bold) out += "+b";
        if (item.style.italic) out += "+i";
        if (item.style.superscript) out += "+sup";
        if (item.style.colour) out += "+c" + std::to_string(item.style.colour);
    }
    return out;
}

std::string parsed(const char* text) { return describe(parseMarkup(CString::fromUtf8(text))); }

TEST(TextMarkup, TagsStyleTheWordsBetweenThem) {
    EXPECT_EQ(parsed("[B]Double-click[/B] to switch"), "W:Double-click+b | S | W:to | S | W:switch");
    EXPECT_EQ(parsed("[B]Double[/B]-click"), "W:Double+b | W:-click") << "a style change does not split the word";
    EXPECT_EQ(parsed("[C1]a[B]b[/C1]c[/B]d"), "W:a+c1 | W:b+b+c1 | W:c+b | W:d") << "tags may overlap";
    EXPECT_EQ(parsed("x[SUP]2[/SUP] [I]it[/I] [C2]z[/C2]"), "W:x | W:2+sup | S | W:it+i | S | W:z+c2");
    EXPECT_EQ(parsed("[C1]a[/C2]b"), "W:ab+c1") << "closing the other colour keeps this one";
    EXPECT_EQ(parsed("a  b"), "W:a | S | S | W:b") << "every space is a gap of its own";
}

TEST(TextMarkup, BreaksRulesAndImages) {
    EXPECT_EQ(parsed("one[BR]two\nthree"), "W:one | BR | W:two | BR | W:three");
    EXPECT_EQ(parsed("a[HR]b"), "W:a | HR | W:b");
    EXPECT_EQ(parsed("[IMG=is.listoutline#Arrow:Action]"), "IMG:is.listoutline#Arrow:Action");
    EXPECT_EQ(parsed("[IMG=is.button#IconRMB:HIDIcon]menu"), "IMG:is.button#IconRMB:HIDIcon | W:menu");
    EXPECT_EQ(parsed("[IMG=#ArrowSm:Action]"), "IMG:is.button#ArrowSm:Action") << "the button set by default";
    EXPECT_EQ(parsed("[IMG=ArrowSm]"), "IMG:is.button#ArrowSm:");
}

TEST(TextMarkup, WhatIsNoTagStaysText) {
    EXPECT_EQ(parsed("[X]a"), "W:[X]a");
    EXPECT_EQ(parsed("[b]lower"), "W:[b]lower") << "tags are upper case";
    EXPECT_EQ(parsed("[B no end"), "W:[B | S | W:no | S | W:end");
    EXPECT_EQ(parsed("[[B]x[/B]]"), "W:[ | W:x+b | W:]") << "the bracket before a tag is text";
    EXPECT_EQ(parsed("[IMG=]"), "W:[IMG=]") << "an image without a range";
    EXPECT_EQ(parsed("[/BR]"), "W:[/BR]");
    EXPECT_EQ(parsed(""), "");
}

// Wraps marked-up text with the editor's base font at scale 1.
struct CWrapped {
    CWrapped() {
        EXPECT_EQ(regular.load("../../../Gfx/Fonts/base.fnt", 1.0), nullptr);
        EXPECT_EQ(bold.load("../../../Gfx/Fonts/base_b.fnt", 1.0), nullptr);
        EXPECT_EQ(small.load("../../../Gfx/Fonts/small.fnt", 1.0), nullptr);
        fonts = {&regular, &bold, &small};
    }
    std::vector<CTextLine> wrap(const char* text, int width, ETextAlign align = ETextAlign::Left, bool wrapped = true) {
        items = parseMarkup(CString::fromUtf8(text));
        return CTextWrapper(fonts, 16).wrap(items, width, wrapped, align);
    }
    // The characters a line shows, spaces included.
    std::string text(const CTextLine& line) const {
        std::string out;
        for (const CTextPiece& p : line.pieces) out += items[p.item].text.substr(p.from, p.count).utf8();
        return out;
    }
    int width(const char* plain) const { return regular.textWidth(plain); }
    CFont regular, bold, small;
    CTextFonts fonts;
    std::vector<CTextItem> items;
};

TEST(TextWrapping, WordsMoveToTheNextLineAndSpacesAtTheWrapGo) {
    CWrapped w;
    const int room = w.width("one two") + 1;
    const auto lines = w.wrap("one two one two", room);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(w.text(lines[0]), "one two");
    EXPECT_EQ(w.text(lines[1]), "one two");
    EXPECT_EQ(lines[1].top, 16) << "lines are the line height apart";
    EXPECT_EQ(lines[0].width, w.width("one two"));
    const auto unwrapped = w.wrap("one two one two", room, ETextAlign::Left, false);
    ASSERT_EQ(unwrapped.size(), 1u);
    EXPECT_EQ(unwrapped[0].width, w.width("one two one two"));
    const auto indented = w.wrap("  x", 100);
    EXPECT_EQ(w.text(indented[0]), "  x") << "spaces that start a paragraph indent it";
}

TEST(TextWrapping, AWordLongerThanTheLineIsCutWhereTheLineIsFull) {
    CWrapped w;
    const char* word = "Supercalifragilistic";
    const int room = w.width(word) / 3;
    const auto lines = w.wrap("go Supercalifragilistic now", room);
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].width, room) << "line " << i;
        joined += w.text(lines[i]) + "|";
    }
    EXPECT_GE(lines.size(), 4u);
    EXPECT_EQ(joined.substr(0, 3), "go|") << "the long word starts a line of its own";
    std::string rejoined;
    for (const CTextLine& line : lines) rejoined += w.text(line);
    EXPECT_EQ(rejoined, std::string("go") + word + " now") << "nothing is lost: " << joined;
    // A line narrower than one character still shows every character.
    const auto narrow = w.wrap("abc", 1);
    ASSERT_EQ(narrow.size(), 3u);
    EXPECT_EQ(w.text(narrow[2]), "c");
}

TEST(TextWrapping, AlignmentPlacesEachLineInTheWidth) {
    CWrapped w;
    const int room = w.width("one two three") + 10;
    const auto right = w.wrap("one two three four", room, ETextAlign::Right);
    ASSERT_EQ(right.size(), 2u);
    EXPECT_EQ(right[0].left + right[0].width, room);
    EXPECT_EQ(right[1].pieces.back().x + right[1].pieces.back().width, room);
    const auto centre = w.wrap("four", room, ETextAlign::Center);
    EXPECT_EQ(centre[0].left, (room - w.width("four")) / 2);

    const auto justified = w.wrap("one two three four[BR]five six seven eight", room, ETextAlign::Justify);
    ASSERT_EQ(justified.size(), 4u);
    const CTextPiece& end = justified[0].pieces.back();
    EXPECT_EQ(end.x + end.width, room) << "a wrapped line fills the width";
    EXPECT_EQ(w.text(justified[0]), "one two three");
    EXPECT_EQ(justified[1].width, w.width("four")) << "the line before a break stays as it is";
    EXPECT_EQ(justified[1].left, 0);
    EXPECT_EQ(justified[3].width, w.width("eight")) << "and so does the last line";
    // The room is shared between the two gaps within a pixel.
    const auto& p = justified[0].pieces;
    const int gap1 = p[1].width, gap2 = p[3].width;
    EXPECT_LE(std::abs(gap1 - gap2), 1);
}

TEST(TextWrapping, MarkupBreaksRulesAndStylesOnLines) {
    CWrapped w;
    const auto lines = w.wrap("a[BR][BR]b[HR]c", 200);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(w.text(lines[1]), "") << "two breaks leave an empty line";
    EXPECT_TRUE(lines[3].rule);
    EXPECT_EQ(lines[3].width, 200);
    EXPECT_EQ(w.text(lines[4]), "c");
    EXPECT_EQ(lines[4].top, 64);
    // Bold is measured in the bold font, and the marked word is never split.
    const auto styled = w.wrap("to [B]Double[/B]-click", w.bold.textWidth("Double") + w.width("-click") + 1);
    ASSERT_EQ(styled.size(), 2u);
    EXPECT_EQ(w.text(styled[1]), "Double-click");
    EXPECT_EQ(styled[1].pieces[1].x, w.bold.textWidth("Double"));
    const auto fits = w.wrap("[B]Double[/B]-click to", w.bold.textWidth("Double") + w.width("-click t"));
    EXPECT_EQ(w.text(fits[0]), "Double-click") << "not enough room for the gap and the next word";
    EXPECT_EQ(w.text(fits[1]), "to");
    EXPECT_EQ(w.wrap("", 10).size(), 1u);
    // Italic is slanted regular type: it needs the room its tops lean into.
    const auto slanted = w.wrap("[I]lean[/I] on", 200);
    EXPECT_EQ(slanted[0].pieces[0].width, w.width("lean") + 3) << "a fifth of the 14-pixel line";
}

// A text view inside a root "w" of 200 × 120 pixels.
struct CTextTree {
    explicit CTextTree(const std::string& attrs, const char* rootAttrs = R"(width="200" height="120" color="Panel")") {
        root = buildTree(std::string("<ui:view name=\"w\" ") + rootAttrs + "><ui:textview name=\"t\" " +
                             (attrs.find("placement") == std::string::npos ? "placement=\"full\" " : "") +
                             (attrs.find("font-name") == std::string::npos ? "font-name=\"shared::font.base\" " : "") +
                             attrs + "/></ui:view>",
                         err);
        if (!err) err = window()->layoutTree();
    }
    CView* window() { return dynamic_cast<CView*>(root->findObject("ui.w")); }
    CTextView* view() { return dynamic_cast<CTextView*>(root->findObject("ui.w.t")); }
    std::string error() const { return err ? err->text().utf8() : std::string(); }
    // The pixels within x0..x1 darker than the panel's text threshold.
    int ink(int x0, int x1, int y0 = 0, int y1 = 120) {
        CLinearBitmap bitmap;
        bitmap.resize(200, 120);
        window()->draw(bitmap, bitmap.bounds());
        int dark = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) dark += bitmap.pixel(x, y)[0] < 0x60 ? 1 : 0;
        return dark;
    }
    void send(const char* event, int x, int y, bool dbl = false) {
        CObject params;
        params.setInt("x", x);
        params.setInt("y", y);
        params.setBool("is-double-click", dbl);
        ASSERT_EQ(view()->runViewEvent(event, &params, nullptr), nullptr);
    }
    CErrorPtr err;
    std::unique_ptr<CLoopRoot> root;
};

// In the body text's font and in the buttons' compact one.
TEST(TextView, BoldMarkupDrawsOnlyTheMarkedWordsInBold) {
    for (const char* font : {"shared::font.base", "shared::font.compact"}) {
        SCOPED_TRACE(font);
        const std::string face = std::string(" font-name=\"") + font + "\"";
        CTextTree marked(R"(title="[B]Double-click[/B] to switch" text-color="PanelText")" + face);
        CTextTree plain(R"(title="Double-click to switch" text-color="PanelText")" + face);
        ASSERT_EQ(marked.error(), "");
        ASSERT_EQ(plain.error(), "");
        const auto& m = marked.view()->paragraphs()[0].lines[0].pieces;
        const auto& p = plain.view()->paragraphs()[0].lines[0].pieces;
        ASSERT_EQ(m.size(), 5u);
        const int boldEnd = m[0].width, plainEnd = p[0].width;
        EXPECT_GT(boldEnd, plainEnd);
        EXPECT_GT(marked.ink(0, boldEnd), plain.ink(0, plainEnd) * 11 / 10) << "heavier strokes";
        // The rest is the same text in the same font, only further right.
        const int shift = boldEnd - plainEnd;
        EXPECT_EQ(marked.ink(m[2].x, 200), plain.ink(p[2].x, 200 - shift));
        EXPECT_GT(plain.ink(p[2].x, 200), 20);
    }
}

TEST(TextView, ParagraphsSpacingAndVerticalAlignment) {
    CTextTree t(R"(title="one|two|three" separator-char="|" paragraph-spacing="7" line-height-modifier="3")");
    ASSERT_EQ(t.error(), "");
    const auto& paragraphs = t.view()->paragraphs();
    ASSERT_EQ(paragraphs.size(), 3u);
    const int line = paragraphs[0].height;
    EXPECT_GT(line, 3);
    EXPECT_EQ(paragraphs[1].top, line + 7);
    EXPECT_EQ(paragraphs[2].top, 2 * (line + 7));
    EXPECT_EQ(t.ink(0, 200, 3 * line + 2 * 7 + 4, 120), 0) << "top-aligned text leaves the bottom empty";
    EXPECT_GT(t.ink(0, 200, 2 * (line + 7), 3 * line + 2 * 7 + 4), 10);

    CTextTree bottom(R"(title="one" text-alignment-v="bottom")");
    ASSERT_EQ(bottom.error(), "");
    EXPECT_EQ(bottom.ink(0, 200, 0, 90), 0);
    EXPECT_GT(bottom.ink(0, 200, 90, 120), 10);

    CTextTree wrapped(R"(title="a long paragraph of words that wraps in a narrow view" text-alignment="justify")",
                      R"(width="80" height="120")");
    ASSERT_EQ(wrapped.error(), "");
    EXPECT_GE(wrapped.view()->paragraphs()[0].lines.size(), 4u);

    CTextTree rule(R"(title="above[HR]below [IMG=is.button#ArrowSm:Action]")");
    ASSERT_EQ(rule.error(), "");
    const auto& items = rule.view()->paragraphs()[0].items;
    EXPECT_NE(items.back().image, nullptr) << "inline images are found in their set";
    EXPECT_GT(rule.ink(0, 200, 0, 120), 0);
}

TEST(TextView, CompactSizesWrapAtTheGivenWidthAndFollowTheScale) {
    const char* text = R"(title="a hint long enough to wrap" inner-border="LR4")";
    CTextTree fixed(std::string(text) + R"( placement="inline" width="70")");
    CTextTree limited(std::string(text) + R"( placement="inline" max-width="70")");
    CTextTree free(std::string(text) + R"( placement="inline")");
    ASSERT_EQ(fixed.error() + limited.error() + free.error(), "");
    const auto lines = [](CTextTree& t) { return t.view()->paragraphs()[0].lines.size(); };
    EXPECT_EQ(lines(free), 1u);
    EXPECT_GE(lines(fixed), 3u);
    EXPECT_EQ(lines(limited), lines(fixed));
    // An inline view takes its compact height: all of its lines.
    const int height = fixed.view()->area().height();
    EXPECT_GE(height, int(lines(fixed)) * 14);
    EXPECT_EQ(limited.view()->area().height(), height);
    EXPECT_LT(free.view()->area().height(), height / 2);
    fixed.view()->setAttr("title", "a longer hint that takes more lines than the first");
    EXPECT_GT(fixed.view()->area().height(), height) << "a new title makes its own room";
    EXPECT_EQ(fixed.view()->area().width(), 70);

    CTextTree scaled(R"(title="one|two" separator-char="|" paragraph-spacing="10" line-height-modifier="2")",
                     R"(width="200" height="120" ui-scale="1.25")");
    ASSERT_EQ(scaled.error(), "");
    const auto& p = scaled.view()->paragraphs();
    EXPECT_EQ(p[1].top, p[0].height + 13) << "12.5 pixels round away from zero";
    CTextTree plain(R"(title="one" line-height-modifier="2")");
    EXPECT_GT(p[0].height, plain.view()->paragraphs()[0].height);
}

TEST(TextView, ListParagraphsHoverSelectAndCancel) {
    CTextTree t(R"(title="red;green;blue" separator-char=";" is-paragraph-hoverable="true"
                   is-paragraph-selectable="true" is-selected-paragraph-click-cancels="true")");
    ASSERT_EQ(t.error(), "");
    CTextView& v = *t.view();
    const int second = v.area().top + v.paragraphs()[1].top + 8;
    EXPECT_EQ(v.paragraphAt(5, second), 1);
    EXPECT_EQ(v.paragraphAt(5, v.area().top + 119), -1) << "below the last paragraph";
    // No gap between paragraphs: the spacing is split between neighbours.
    for (int y = v.area().top; y < v.area().top + v.paragraphs()[2].top; ++y) EXPECT_GE(v.paragraphAt(5, y), 0) << y;

    const int top = v.paragraphs()[1].top, bottom = top + v.paragraphs()[1].height;
    const int inkAtRest = t.ink(0, 200, top, bottom);
    t.send("mouse-move", 5, second);
    EXPECT_EQ(v.hoveredParagraph(), 1);
    EXPECT_GE(t.ink(0, 200, top, bottom), inkAtRest * 9 / 10) << "hovered text stays dark: only its band lights up";
    t.send("mouse-exit", 5, second);
    EXPECT_EQ(v.hoveredParagraph(), -1);

    t.send("mouse-press", 5, second);
    EXPECT_EQ(v.selectedParagraph(), 1);
    EXPECT_EQ(v.getAttr("selected-paragraph"), "1");
    t.send("mouse-press", 5, second);
    EXPECT_EQ(v.selectedParagraph(), -1) << "a click on the selected paragraph cancels it";
    t.send("mouse-press", 5, second, true);
    EXPECT_EQ(v.selectedParagraph(), -1) << "a double-click does not select";
    t.send("mouse-press-r", 5, second);
    EXPECT_EQ(v.selectedParagraph(), -1) << "not without is-right-click-selects";
    v.setAttr("is-right-click-selects", "true");
    t.send("mouse-press-r", 5, second);
    EXPECT_EQ(v.selectedParagraph(), 1);

    v.setAttr("title", "only");
    EXPECT_EQ(v.paragraphs().size(), 1u) << "a new title is laid out again";
}

TEST(TextView, ListEntriesDisabledSubListsAndLimits) {
    CTextTree t(R"(separator-char=";" is-paragraph-hoverable="true" is-paragraph-selectable="true"
                   text-color="PanelText" max-item-count="3" no-items-title="No items")");
    ASSERT_EQ(t.error(), "");
    CTextView& v = *t.view();
    v.setEntries({{"Folder", true, true}, {"Folder", false, false}, {"Folder", true, false}, {"Fourth", true, false}});
    ASSERT_EQ(v.paragraphs().size(), 3u) << "max-item-count";
    const auto& ps = v.paragraphs();
    const auto band = [&](size_t i, int x0, int x1) {
        return t.ink(x0, x1, v.area().top + ps[i].top, v.area().top + ps[i].top + ps[i].height);
    };
    EXPECT_GT(band(0, 0, 100), 20);
    EXPECT_EQ(band(1, 0, 100), 0) << "a disabled entry is drawn faintly";
    EXPECT_GT(band(0, 180, 200), 3) << "the sub-list arrow at the right edge";
    EXPECT_EQ(band(2, 180, 200), 0);

    const int disabled = v.area().top + ps[1].top + 4;
    t.send("mouse-move", 5, disabled);
    EXPECT_EQ(v.hoveredParagraph(), -1);
    t.send("mouse-press", 5, disabled);
    EXPECT_EQ(v.selectedParagraph(), -1) << "a disabled entry cannot be chosen";
    t.send("mouse-press", 5, v.area().top + ps[2].top + 4);
    EXPECT_EQ(v.selectedParagraph(), 2);

    v.setEntries({});
    ASSERT_EQ(v.paragraphs().size(), 1u);
    EXPECT_FALSE(v.paragraphs()[0].isEnabled) << "the empty list's title is not an entry";
    EXPECT_EQ(v.paragraphs()[0].items[0].text, CString("No"));
    v.setAttr("allow-no-paragraphs", "true");
    v.setEntries({});
    EXPECT_TRUE(v.paragraphs().empty());
}

// The words of a paragraph, a space between each.
std::string words(const CTextView::CParagraph& p) {
    std::string out;
    for (const CTextItem& item : p.items)
        out += item.kind == EKind::Word ? item.text.utf8() : item.kind == EKind::Space ? " " : "";
    return out;
}

std::vector<std::string> texts(const CTextView& v) {
    std::vector<std::string> out;
    for (const auto& p : v.paragraphs()) out.push_back(words(p) + (p.isEnabled ? "" : " (off)"));
    return out;
}

TEST(TextView, ParagraphsFromATextSourceFollowItAndItsChosenValue) {
    CErrorPtr err;
    auto root = buildTree(R"(
    <core:object name="modes">
      <core:object name="a" title="Stereo"/>
      <core:object name="b" content="[B]Mid[/B]/Side" title="Middle"/>
      <core:object name="c" title="Mono"/>
    </core:object>
    <ui:view name="w" width="200" height="120">
      <ui:textview name="all" placement="top" height="60" font-name="shared::font.base" text-source="ui.modes"
                   max-item-count="2" active-paragraph-prefix="&gt; " selected-paragraph="1"/>
      <ui:textview name="one" placement="top" height="20" font-name="shared::font.base" text-source="ui.modes"
                   text-source-single-value="1" no-items-title="None"/>
      <ui:textview name="lost" placement="top" height="20" font-name="shared::font.base" text-source="ui.gone"
                   no-items-title="No modes" allow-no-paragraphs="true"/>
    </ui:view>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto& all = *dynamic_cast<CTextView*>(root->findObject("ui.w.all"));
    auto& one = *dynamic_cast<CTextView*>(root->findObject("ui.w.one"));
    auto& lost = *dynamic_cast<CTextView*>(root->findObject("ui.w.lost"));
    using V = std::vector<std::string>;
    EXPECT_EQ(texts(all), (V{"Stereo", "> Mid/Side"})) << "content before title, max-item-count, the prefix";
    EXPECT_TRUE(all.paragraphs()[1].items[2].style.bold) << "an item's markup";
    all.setAttr("selected-paragraph", "0");
    EXPECT_EQ(texts(all), (V{"> Stereo", "Mid/Side"})) << "the prefix follows the selection";
    EXPECT_EQ(texts(lost), (V{"No modes (off)"})) << "a source that is not there, even where no paragraphs are allowed";

    EXPECT_EQ(texts(one), (V{"Mid/Side"}));
    one.setAttr("text-source-single-value", "3");
    EXPECT_EQ(texts(one), (V{"None (off)"})) << "no such value yet";
    CObject* modes = root->findObject("ui.modes");
    CObject* added = nullptr;
    ASSERT_EQ(modes->createChild("core:object", "d", added), nullptr);
    added->setAttr("title", "Quad");
    EXPECT_EQ(texts(one), (V{"None (off)"})) << "until the source says its values changed";
    ASSERT_EQ(CNotifyServer::instance().notify(modes, "values-changed"), nullptr);
    EXPECT_EQ(texts(one), (V{"Quad"}));
    EXPECT_EQ(texts(all), (V{"> Stereo", "Mid/Side"}));
}

TEST(TextView, MaxTextHeightLimitsWhatTheTextAsksFor) {
    const char* text = R"(title="a hint long enough to wrap over several lines" placement="inline" width="70")";
    CTextTree free(text);
    CTextTree limited(std::string(text) + R"( max-text-height="20")");
    CTextTree scaled(std::string(text) + R"( max-text-height="20")", R"(width="200" height="120" ui-scale="1.25")");
    ASSERT_EQ(free.error() + limited.error() + scaled.error(), "");
    EXPECT_GT(free.view()->area().height(), 40);
    EXPECT_EQ(limited.view()->area().height(), 20);
    EXPECT_EQ(scaled.view()->area().height(), 25);
    EXPECT_EQ(limited.view()->paragraphs()[0].lines.size(), free.view()->paragraphs()[0].lines.size())
        << "the text keeps its lines; the view cuts them";
}

TEST(TextView, FontErrors) {
    CTextTree missing(R"(title="x" font-name="shared::font.none")");
    EXPECT_EQ(missing.error(), "Font 'shared::font.none' not found.");
    CTextTree empty(R"(title="x" font-name="")");
    EXPECT_EQ(empty.error(), "Attribute 'font-name' is empty");
}

}  // namespace
