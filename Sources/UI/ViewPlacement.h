// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"

namespace zel {

// Four pixel distances around a rectangle.
struct CBorder {
    int left = 0, right = 0, top = 0, bottom = 0;
    int horizontal() const { return left + right; }
    int vertical() const { return top + bottom; }
};

// Reads a border list such as "LR2 B1 *LT1 *RB-1": tokens of side letters
// (none: all four) with an optional "*" (add rather than set) and a
// number; the sums are multiplied by `scale` and rounded half away from zero.
CErrorPtr parseBorder(const CString& text, double scale, CBorder& out);

// How a view takes its place in its parent.
enum class EPlacement {
    Inline,
    Overlay,
    Full,
    Top,
    Bottom,
    Left,
    Right,
    Match,
    WindowOverlay,
    ScrollerV,
    ScrollerH,
    ScrollerP
};
// How a width or height is given.
enum class ESizeMode { Pixels, Percent, Compact, Full };
// Start, centre or end of an axis; Default leaves the choice to the layout.
enum class EAlign { Default, Start, Center, End };

struct CViewSize {
    ESizeMode mode = ESizeMode::Compact;
    // Scaled pixels, or the percentage.
    double value = 0;
};

// The view base's placement aspect: the placement attributes of one view,
// read and checked, with pixel values already multiplied by the UI scale.
class CViewBasePlacement {
public:
    static constexpr int kNoLimit = 1 << 28;

    CErrorPtr read(const CObject& view, double scale);

    EPlacement placement = EPlacement::Inline;
    CString match;
    CViewSize width, height;
    int minWidth = 0, minHeight = 0, maxWidth = kNoLimit, maxHeight = kNoLimit;
    int offsetX = 0, offsetY = 0;
    EAlign alignH = EAlign::Default, alignV = EAlign::Default;
    EAlign inlineAlignH = EAlign::Default, inlineAlignV = EAlign::Default;
    bool isNewInlineRow = false;
    CBorder inner, outer, spread;
    bool isHidden = false, isWeakHide = false;
    int zIndex = 0;

    // Whether the view keeps a place in its parent's layout.
    bool takesRoom() const { return !isHidden || isWeakHide; }
    bool isDocked() const {
        return placement == EPlacement::Top || placement == EPlacement::Bottom || placement == EPlacement::Left ||
               placement == EPlacement::Right || placement == EPlacement::ScrollerV ||
               placement == EPlacement::ScrollerH;
    }
    int clampWidth(int w) const { return std::max(minWidth, std::min(maxWidth, w)); }
    int clampHeight(int h) const { return std::max(minHeight, std::min(maxHeight, h)); }
};

}  // namespace zel
