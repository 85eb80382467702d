// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ViewPlacement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#define ZEL_SOURCE_TAG "ViewBasePlacement"

namespace zel {

namespace {

int scaled(double value, double scale) { return scaledPixels(value, scale); }

bool isNumberStart(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+'; }

// A number of digits, "." and "-", with an optional leading "+".
bool readNumber(const std::string& text, double& out) {
    size_t i = text[0] == '+' ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!((text[k] >= '0' && text[k] <= '9') || text[k] == '.' || text[k] == '-')) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str() + i, &end);
    return end == text.c_str() + text.size();
}

CErrorPtr readAlign(const CObject& view, const char* attr, bool horizontal, EAlign& out) {
    const std::string v = view.getAttr(attr).utf8();
    if (v.empty())
        out = EAlign::Default;
    else if (v == "center")
        out = EAlign::Center;
    else if (v == (horizontal ? "left" : "top"))
        out = EAlign::Start;
    else if (v == (horizontal ? "right" : "bottom"))
        out = EAlign::End;
    else if (std::string(attr) == "alignment-h")
        return ZEL_ERROR("@zelstr_CViewBasePlacement_attrAlignmentH Invalid alignment-h '%1'.", CString(v));
    else if (std::string(attr) == "alignment-v")
        return ZEL_ERROR("@zelstr_CViewBasePlacement_attrAlignmentV Invalid alignment-v '%1'.", CString(v));
    else if (std::string(attr) == "inline-alignment-h")
        return ZEL_ERROR("@zelstr_CViewBasePlacement_attrInlineAlignmentH Invalid inline-alignment-h '%1'.",
                         CString(v));
    else
        return ZEL_ERROR("@zelstr_CViewBasePlacement_attrInlineAlignmentV Invalid inline-alignment-v '%1'.",
                         CString(v));
    return nullptr;
}

CErrorPtr readSize(const CObject& view, const char* attr, double scale, CViewSize& out) {
    const std::string v = view.getAttr(attr).utf8();
    if (v.empty() || v == "compact") {
        out = {ESizeMode::Compact, 0};
        return nullptr;
    }
    static const std::pair<const char*, ESizeMode> kModes[] = {{"full", ESizeMode::Full},
                                                               {"full-compact", ESizeMode::FullCompact},
                                                               {"balanced", ESizeMode::Balanced},
                                                               {"inline", ESizeMode::Inline}};
    for (const auto& [word, mode] : kModes)
        if (v == word) {
            out = {mode, 0};
            return nullptr;
        }
    double number = 0;
    if (v.back() == '%' && v.size() > 1 && readNumber(v.substr(0, v.size() - 1), number)) {
        out = {ESizeMode::Percent, number};
        return nullptr;
    }
    if (readNumber(v, number)) {
        out = {ESizeMode::Pixels, double(scaled(number, scale))};
        return nullptr;
    }
    return ZEL_ERROR("@zelstr_CViewBasePlacement_attrSize Invalid %1 '%2'.", CString(attr), CString(v));
}

int readPixels(const CObject& view, const char* attr, double scale, int fallback) {
    double v = 0;
    return view.readReal(attr, v) ? scaled(v, scale) : fallback;
}

// "N" or "N target"; anything that is no integer counts as level 0.
void readZIndex(const CObject& view, int& level, CString& target) {
    const std::string v = view.getAttr("z-index").utf8();
    const size_t space = v.find(' ');
    level = int(std::strtol(v.substr(0, space).c_str(), nullptr, 10));
    target = CString();
    if (space == std::string::npos) return;
    const size_t from = v.find_first_not_of(' ', space);
    if (from != std::string::npos) target = CString(v.substr(from, v.find_last_not_of(' ') + 1 - from));
}

}  // namespace

int scaledPixels(double value, double scale) { return int(std::lround(value * scale)); }

double clampUiScale(double scale) {
    if (!std::isfinite(scale) || scale <= 0.0) return 1.0;
    return std::clamp(scale, 0.5, 4.0);
}

CErrorPtr parseBorder(const CString& text, double scale, CBorder& out) {
    double sides[4] = {0, 0, 0, 0};  // left, right, top, bottom
    const std::string all = text.utf8();
    size_t pos = 0;
    while (pos < all.size()) {
        while (pos < all.size() && all[pos] == ' ') ++pos;
        if (pos == all.size()) break;
        size_t end = all.find(' ', pos);
        if (end == std::string::npos) end = all.size();
        const std::string token = all.substr(pos, end - pos);
        pos = end;
        bool pick[4] = {false, false, false, false};
        bool any = false, add = false;
        size_t i = 0;
        for (; i < token.size(); ++i) {
            const char c = char(std::toupper(static_cast<unsigned char>(token[i])));
            const int side = c == 'L' ? 0 : c == 'R' ? 1 : c == 'T' ? 2 : c == 'B' ? 3 : -1;
            if (side >= 0)
                pick[side] = any = true;
            else if (c == '*')
                add = true;
            else
                break;
        }
        if (i == token.size() || !isNumberStart(token[i]))
            return ZEL_ERROR("@zelstr_CViewBasePlacement_parseBorder_NoNumber Invalid border syntax: '%1' (1)", text);
        double value = 0;
        if (!readNumber(token.substr(i), value))
            return ZEL_ERROR("@zelstr_CViewBasePlacement_parseBorder_BadNumber Invalid border syntax: '%1' (2)", text);
        for (int s = 0; s < 4; ++s)
            if (pick[s] || !any) sides[s] = add ? sides[s] + value : value;
    }
    out = {scaled(sides[0], scale), scaled(sides[1], scale), scaled(sides[2], scale), scaled(sides[3], scale)};
    return nullptr;
}

CErrorPtr CViewBasePlacement::read(const CObject& view, double scale, double parentRatioX, double parentRatioY) {
    const CString kind = view.hasAttr("placement") ? view.getAttr("placement") : CString("inline");
    static const std::pair<const char*, EPlacement> kPlacements[] = {{"inline", EPlacement::Inline},
                                                                     {"overlay", EPlacement::Overlay},
                                                                     {"full", EPlacement::Full},
                                                                     {"top", EPlacement::Top},
                                                                     {"bottom", EPlacement::Bottom},
                                                                     {"left", EPlacement::Left},
                                                                     {"right", EPlacement::Right},
                                                                     {"match", EPlacement::Match},
                                                                     {"window-overlay", EPlacement::WindowOverlay},
                                                                     {"scroller-v", EPlacement::ScrollerV},
                                                                     {"scroller-h", EPlacement::ScrollerH},
                                                                     {"scroller-p", EPlacement::ScrollerP}};
    bool known = false;
    for (const auto& [name, value] : kPlacements)
        if (kind == CString(name)) {
            placement = value;
            known = true;
        }
    if (!known) return ZEL_ERROR("@zelstr_CViewBasePlacement_attrPlacement Invalid placement '%1'.", kind);
    const bool scroller =
        placement == EPlacement::ScrollerV || placement == EPlacement::ScrollerH || placement == EPlacement::ScrollerP;
    if (scroller && !(view.parent() && view.parent()->getBool("is-scrollable", false)))
        return ZEL_ERROR(
            "@zelstr_CViewBasePlacement_attrPlacement_Scroll Invalid placement %1, parent view does not support "
            "scrolling",
            kind);
    match = view.getAttr("placement-match");
    minRatioX = view.getReal("min-ratio-x", 0.0);
    minRatioY = view.getReal("min-ratio-y", 0.0);
    isAutoRatio = view.getBool("is-auto-ratio", false);
    ratioX = std::max(minRatioX, parentRatioX * view.getReal("ratio-x", 1.0));
    ratioY = std::max(minRatioY, parentRatioY * view.getReal("ratio-y", 1.0));
    const double sx = scale * ratioX, sy = scale * ratioY;
    ZEL_TRY(readSize(view, "width", sx, width));
    ZEL_TRY(readSize(view, "height", sy, height));
    minWidth = readPixels(view, "min-width", sx, 0);
    minHeight = readPixels(view, "min-height", sy, 0);
    maxWidth = readPixels(view, "max-width", sx, kNoLimit);
    maxHeight = readPixels(view, "max-height", sy, kNoLimit);
    offsetX = readPixels(view, "offset-x", sx, 0);
    offsetY = readPixels(view, "offset-y", sy, 0);
    // A view that stretches takes its room; its pixel size is the size its
    // children are drawn for.
    nominalWidth = width.mode == ESizeMode::Pixels ? int(width.value) : 0;
    nominalHeight = height.mode == ESizeMode::Pixels ? int(height.value) : 0;
    nominalRatioX = ratioX;
    nominalRatioY = ratioY;
    if (isAutoRatio && nominalWidth > 0 && nominalHeight > 0) width = height = {ESizeMode::FullCompact, 0};
    ZEL_TRY(readAlign(view, "alignment-h", true, alignH));
    ZEL_TRY(readAlign(view, "alignment-v", false, alignV));
    ZEL_TRY(readAlign(view, "inline-alignment-h", true, inlineAlignH));
    ZEL_TRY(readAlign(view, "inline-alignment-v", false, inlineAlignV));
    isNewInlineRow = view.getBool("is-new-inline-row", false);
    inner = outer = spread = CBorder{};
    if (view.getBool("has-borders", true)) {
        ZEL_TRY(parseBorder(view.getAttr("inner-border"), scale, inner));
        ZEL_TRY(parseBorder(view.getAttr("outer-border"), scale, outer));
    }
    ZEL_TRY(parseBorder(view.getAttr("spread"), scale, spread));
    isHidden = view.getBool("is-hidden", false);
    isWeakHide = view.getBool("is-weak-hide", false);
    isDynamic = view.getBool("is-dynamic", false) && !view.getBool("is-force-non-dynamic", false);
    readZIndex(view, zIndex, zTarget);
    zDynamicChilds = int(view.getInt("z-index-dynamic-childs", 0));
    zStaticChilds = int(view.getInt("z-index-static-childs", 0));
    unclipLevel = int(view.getInt("unclip-level", 0));
    return nullptr;
}

}  // namespace zel
