// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/TextWrapper.h"

#include <algorithm>
#include <cmath>

namespace zel {

namespace {

// Applies a tag to the style; false for a tag the markup does not know.
bool applyTag(const CString& tag, CTextStyle& style, std::vector<CTextItem>& items) {
    const bool closing = !tag.empty() && tag.at(0) == u'/';
    const CString name = closing ? tag.substr(1) : tag;
    if (name == CString("B")) {
        style.bold = !closing;
    } else if (name == CString("I")) {
        style.italic = !closing;
    } else if (name == CString("SUP")) {
        style.superscript = !closing;
    } else if (name == CString("C1") || name == CString("C2")) {
        const int colour = name == CString("C1") ? 1 : 2;
        if (!closing)
            style.colour = colour;
        else if (style.colour == colour)
            style.colour = 0;
    } else if (!closing && (name == CString("BR") || name == CString("HR"))) {
        CTextItem item;
        item.kind = name == CString("BR") ? CTextItem::EKind::Break : CTextItem::EKind::Rule;
        items.push_back(item);
    } else if (!closing && name.startsWith("IMG=")) {
        const CString source = name.substr(4);
        const size_t hash = source.find(u'#');
        const size_t colon = source.find(u':', hash == CString::npos ? 0 : hash);
        CTextItem item;
        item.kind = CTextItem::EKind::Image;
        item.style = style;
        item.imageSet = hash == CString::npos || hash == 0 ? CString("is.button") : source.substr(0, hash);
        const size_t from = hash == CString::npos ? 0 : hash + 1;
        item.imageRange = source.substr(from, colon == CString::npos ? CString::npos : colon - from);
        if (colon != CString::npos) item.imageRole = source.substr(colon + 1);
        if (item.imageRange.empty()) return false;
        items.push_back(item);
    } else {
        return false;
    }
    return true;
}

// Adds a character to the word or space run in progress.
void addChar(std::vector<CTextItem>& items, char16_t c, const CTextStyle& style) {
    const auto kind = c == u' ' ? CTextItem::EKind::Space : CTextItem::EKind::Word;
    if (items.empty() || items.back().kind != kind || kind == CTextItem::EKind::Space ||
        items.back().style.bold != style.bold || items.back().style.italic != style.italic ||
        items.back().style.superscript != style.superscript || items.back().style.colour != style.colour) {
        // Spaces keep one item per space, so that justification has gaps to spread.
        CTextItem item;
        item.kind = kind;
        item.style = style;
        items.push_back(item);
    }
    items.back().text += c;
}

}  // namespace

std::vector<CTextItem> parseMarkup(const CString& text) {
    std::vector<CTextItem> items;
    CTextStyle style;
    for (size_t i = 0; i < text.length(); ++i) {
        const char16_t c = text.at(i);
        if (c == u'\n') {
            CTextItem item;
            item.kind = CTextItem::EKind::Break;
            items.push_back(item);
            continue;
        }
        if (c == u'[') {
            const size_t end = text.find(u']', i + 1);
            const size_t next = text.find(u'[', i + 1);
            if (end != CString::npos && (next == CString::npos || next > end) &&
                applyTag(text.substr(i + 1, end - i - 1), style, items)) {
                i = end;
                continue;
            }
        }
        addChar(items, c == u'\t' ? u' ' : c, style);
    }
    return items;
}

const CFont& CTextFonts::of(const CTextStyle& style) const {
    if (style.superscript && superscript) return *superscript;
    if (style.bold && bold) return *bold;
    return *regular;
}

int CTextWrapper::itemWidth(const CTextItem& item, size_t from, size_t count) const {
    switch (item.kind) {
        case CTextItem::EKind::Word: {
            const CFont& font = m_fonts.of(item.style);
            const int lean = item.style.italic ? int(std::lround(font.lineHeight() * kItalicSlant)) : 0;
            return font.textWidth(item.text.substr(from, count)) + lean;
        }
        case CTextItem::EKind::Space:
            return m_fonts.of(item.style).textWidth(item.text.substr(from, count));
        case CTextItem::EKind::Image:
            return item.image ? item.image->nominalWidth() : 0;
        default:
            return 0;
    }
}

std::vector<CTextLine> CTextWrapper::wrap(const std::vector<CTextItem>& items, int width, bool wrapped,
                                          ETextAlign align) const {
    using EKind = CTextItem::EKind;
    std::vector<CTextLine> lines;
    CTextLine line;
    int pen = 0;
    // The spaces waiting for the next word of the line.
    std::vector<CTextPiece> spaces;
    // Lines begun by wrapping drop their leading spaces.
    bool softStart = false;

    const auto finish = [&](bool soft) {
        line.top = lines.empty() ? 0 : lines.back().top + lines.back().height;
        line.height = std::max(line.height, m_lineHeight);
        line.width = pen;
        const int room = width - pen;
        if (align == ETextAlign::Center)
            line.left = room / 2;
        else if (align == ETextAlign::Right)
            line.left = room;
        int gaps = 0;
        for (const CTextPiece& p : line.pieces) gaps += items[p.item].kind == EKind::Space ? 1 : 0;
        if (align == ETextAlign::Justify && soft && gaps > 0 && room > 0) {
            // Each gap takes its share of the room, the remainder spread evenly.
            int gap = 0, shift = 0;
            for (CTextPiece& p : line.pieces) {
                p.x += shift;
                if (items[p.item].kind != EKind::Space) continue;
                const int extra = room * (gap + 1) / gaps - room * gap / gaps;
                p.width += extra;
                shift += extra;
                ++gap;
            }
            line.width = width;
        }
        for (CTextPiece& p : line.pieces) p.x += line.left;
        lines.push_back(line);
        line = CTextLine();
        pen = 0;
        spaces.clear();
        softStart = soft;
    };
    const auto place = [&](size_t item, size_t from, size_t count, int w) {
        for (CTextPiece& s : spaces) {
            s.x = pen;
            pen += s.width;
            line.pieces.push_back(s);
        }
        spaces.clear();
        line.pieces.push_back({item, from, count, pen, w});
        pen += w;
        if (items[item].kind == EKind::Image && items[item].image)
            line.height = std::max(line.height, items[item].image->nominalHeight());
    };

    for (size_t i = 0; i < items.size();) {
        const CTextItem& item = items[i];
        if (item.kind == EKind::Break) {
            finish(false);
            ++i;
            continue;
        }
        if (item.kind == EKind::Rule) {
            if (!line.pieces.empty()) finish(false);
            line.rule = true;
            pen = width;
            finish(false);
            ++i;
            continue;
        }
        if (item.kind == EKind::Space) {
            if (!(softStart && line.pieces.empty())) spaces.push_back({i, 0, item.text.length(), 0, itemWidth(item)});
            ++i;
            continue;
        }
        // A word is every item up to the next space or break: "[B]Double[/B]-click" stays whole.
        size_t end = i;
        int wordWidth = 0;
        for (; end < items.size() && (items[end].kind == EKind::Word || items[end].kind == EKind::Image); ++end)
            wordWidth += itemWidth(items[end]);
        int spaceWidth = 0;
        for (const CTextPiece& s : spaces) spaceWidth += s.width;
        if (wrapped && !line.pieces.empty() && pen + spaceWidth + wordWidth > width) {
            finish(true);
            spaceWidth = 0;
        }
        for (; i < end; ++i) {
            const CTextItem& part = items[i];
            if (!wrapped || part.kind == EKind::Image || pen + spaceWidth + itemWidth(part) <= width) {
                place(i, 0, part.text.length(), itemWidth(part));
                spaceWidth = 0;
                continue;
            }
            // Too long for any line: cut it where the line is full, one character at least.
            size_t from = 0;
            while (from < part.text.length()) {
                size_t count = 0;
                int w = 0;
                while (from + count < part.text.length()) {
                    const int next = itemWidth(part, from, count + 1);
                    if (pen + spaceWidth + next > width && (count > 0 || !line.pieces.empty())) break;
                    w = next;
                    ++count;
                }
                if (count == 0) {
                    finish(true);
                    spaceWidth = 0;
                    continue;
                }
                place(i, from, count, w);
                spaceWidth = 0;
                from += count;
                if (from < part.text.length()) finish(true);
            }
        }
    }
    if (!line.pieces.empty() || lines.empty() || items.back().kind == EKind::Break) finish(false);
    return lines;
}

}  // namespace zel
