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

// A length at scale 1.0 in pixels at `scale`, rounded half away from zero.
int scaledPixels(double value, double scale);
// The UI scale a setting asks for, kept within 0.5 to 4; a value that is no
// positive number is 1.
double clampUiScale(double scale);

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
// How a width or height is given. "full-compact" measures as its content
// when the parent sizes itself by its children and takes the room left when
// laid out; "balanced" views share the room left evenly with their balanced
// siblings along the parent's flow; "inline" takes the height of its inline
// row, or the width of the widest row of its parent.
enum class ESizeMode { Pixels, Percent, Compact, Full, FullCompact, Balanced, Inline };
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

    // `ratioX` and `ratioY` stretch pixel sizes beyond the UI scale: the
    // view's own `ratio-x`/`ratio-y` times what its parent passes on.
    CErrorPtr read(const CObject& view, double scale, double ratioX = 1.0, double ratioY = 1.0);

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
    bool isDynamic = false;
    // `z-index`: a level, and the view whose level it counts from ("^" the
    // parent, "^^" the grandparent, "^name" a sibling); empty for the parent's
    // children's own level.
    int zIndex = 0;
    CString zTarget;
    // The base levels of this view's dynamic and static children.
    int zDynamicChilds = 0, zStaticChilds = 0;
    // Ancestor levels the view may draw beyond; negative: all.
    int unclipLevel = 0;
    // The stretch factors the view applies and passes on to its children;
    // `is-auto-ratio` views stretch to the room they are given, never below
    // `min-ratio-x`/`min-ratio-y`.
    double ratioX = 1.0, ratioY = 1.0;
    double minRatioX = 0.0, minRatioY = 0.0;
    bool isAutoRatio = false;
    // The pixel sizes given and the ratios they were read at, for a
    // stretching view to measure its room by.
    int nominalWidth = 0, nominalHeight = 0;
    double nominalRatioX = 1.0, nominalRatioY = 1.0;

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
