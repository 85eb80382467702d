// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "Core/String.h"
#include "Other/Brush.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"
#include "Other/LinearBitmap.h"

namespace zel {

// Maps the grey level of a grey-with-alpha image to a colour: 0 is black,
// 128 the colour itself, 255 white, linear in between, so that images drawn
// around mid-grey take a role's colour with their own light and shade.
class CTint {
public:
    explicit CTint(CColor color);
    CColor operator[](uint8_t grey) const { return m_ramp[grey]; }

private:
    CColor m_ramp[256];
};

// Image pixels combine their alpha (or coverage) with the opacity factor a
// into a per-pixel factor (alpha · a + 127) / 255, then blend like a fill.
// 1-channel layers draw in `color`, 2-channel layers through CTint(color),
// 4-channel layers in their own colour. Everything is clipped to `clip`.
void drawLayer(CLinearBitmap& bitmap, const CRect& clip, const CImageLayerData& layer, int x, int y, CColor color,
               double opacity);
void drawImage(CLinearBitmap& bitmap, const CRect& clip, const CImage& image, int x, int y, CColor color,
               double opacity);

// Frame-like sets keep a border as four strips from image `first` on: top,
// bottom, left, right (the next four are the same frame's highlight, drawn
// over it for hover and focus). The top and bottom strips hold the corners
// at their ends and are split in the middle, their centre column repeated
// or overlapped to fit the width; the left and right strips fit between the
// top and bottom strips the same way, their centre row repeated, so that a
// shading that changes along them (a shadow cast downwards) joins the
// corners without a seam. Each
// strip's nominal height (top, bottom) or width (left, right) is the band it
// takes inside `rect`; its offsets place the shadow margin outside. The
// inside of the band is left to the caller (a fill in the role's colour).
void drawBorder(CLinearBitmap& bitmap, const CRect& clip, const CImageSet& set, uint32_t first, const CRect& rect,
                CColor color, double opacity);

// Draws one line of text from the pen position on the baseline; "\n" starts
// a new line one line height below. Returns the pen's x after the last line.
int drawText(CLinearBitmap& bitmap, const CRect& clip, const CFont& font, int x, int baseline, const CString& text,
             CColor color, double opacity);

struct CPointF {
    double x, y;
};

// Strokes a polyline with the brush: stamps are laid every quarter pixel
// along the path, the coverage of overlapping stamps is the largest of them,
// and the result is blended once, so dense stamping does not darken edges.
void drawPolyline(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, const std::vector<CPointF>& points,
                  CColor color, double opacity);
void drawLine(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, CPointF from, CPointF to, CColor color,
              double opacity);
// A cubic Bézier curve, flattened into a polyline.
void drawCurve(CLinearBitmap& bitmap, const CRect& clip, const CBrush& brush, CPointF p0, CPointF p1, CPointF p2,
               CPointF p3, CColor color, double opacity);

}  // namespace zel
