// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/String.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

namespace zel {

// The look of a stretch of marked-up text.
struct CTextStyle {
    bool bold = false, italic = false, superscript = false;
    // 0 the view's text colour, 1 and 2 its `text-color1` and `text-color2`.
    int colour = 0;
};

// One element of a paragraph once its markup is read.
struct CTextItem {
    enum class EKind { Word, Space, Break, Rule, Image };
    EKind kind = EKind::Word;
    // A word's characters, or a run of spaces.
    CString text;
    CTextStyle style;
    // An inline image: the image set's path, the range and the colour role.
    CString imageSet, imageRange, imageRole;
    // Found by the view before the items are wrapped.
    const CImage* image = nullptr;
};

// Reads the inline markup of `text`: [B], [I], [C1], [C2], [SUP] with their
// closing tags, [BR], [HR] and [IMG=set#range:role] (the set defaults to
// "is.button"). Words are split at spaces; a newline breaks the line like
// [BR]. A bracket that opens no known tag is kept as text, so that a typo
// shows instead of swallowing what follows.
std::vector<CTextItem> parseMarkup(const CString& text);

// The fonts a text view draws with; missing styles fall back to regular.
struct CTextFonts {
    const CFont* regular = nullptr;
    const CFont* bold = nullptr;
    const CFont* superscript = nullptr;
    const CFont& of(const CTextStyle& style) const;
};

enum class ETextAlign { Left, Center, Right, Justify };

// The fonts have no italic: italic rows are drawn shifted right by this
// part of their height above the baseline.
constexpr double kItalicSlant = 0.2;

// Characters [from, from + count) of one item, placed at x on its line.
struct CTextPiece {
    size_t item = 0, from = 0, count = 0;
    int x = 0, width = 0;
};

struct CTextLine {
    // Relative to the paragraph's top.
    int top = 0, height = 0;
    // The extent of what the line shows.
    int left = 0, width = 0;
    // A horizontal rule across the whole width instead of pieces.
    bool rule = false;
    std::vector<CTextPiece> pieces;
};

// Lays out the items of one paragraph in lines `lineHeight` apart. With
// wrapping, words move to the next line when they pass `width` and the
// spaces where a line wraps are dropped; a word wider than the line is cut
// after its last character that fits. "Justify" spreads a wrapped line's
// spaces to fill the width; a paragraph's last line and lines ended by a
// break stay left-aligned, as in print.
class CTextWrapper {
public:
    CTextWrapper(const CTextFonts& fonts, int lineHeight) : m_fonts(fonts), m_lineHeight(lineHeight) {}

    std::vector<CTextLine> wrap(const std::vector<CTextItem>& items, int width, bool wrapped, ETextAlign align) const;
    // Italic words take the room their slanted tops lean into.
    int itemWidth(const CTextItem& item, size_t from = 0, size_t count = CString::npos) const;

private:
    const CTextFonts& m_fonts;
    int m_lineHeight;
};

}  // namespace zel
