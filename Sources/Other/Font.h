// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Other/ImageSet.h"

namespace zel {

// A bitmap font: an image set whose image numbers are character codes and
// whose layers are 1-channel coverage, plus three metrics stored for scale
// 1.0: the line height and the space views keep above and below a line.
class CFont {
public:
    // A version other than 1 leaves the font empty without an error.
    CErrorPtr read(CInputStream& in, double uiScale);
    CErrorPtr load(const CString& resourceName, double uiScale);

    bool isLoaded() const { return m_loaded; }
    const CImageSet& glyphs() const { return m_glyphs; }
    // The glyph layer of a character, null when the font has none.
    const CImageLayerData* glyph(uint32_t code) const;

    int32_t metricLineHeight() const { return m_lineHeight; }
    int32_t metricAbove() const { return m_above; }
    int32_t metricBelow() const { return m_below; }
    // The metrics at the scale the glyphs were chosen for, rounded.
    int lineHeight() const { return scaled(m_lineHeight); }
    int spaceAbove() const { return scaled(m_above); }
    int spaceBelow() const { return scaled(m_below); }
    double scale() const { return m_scale; }

    // Sum of the advances (nominal widths); characters without a glyph add 0.
    int textWidth(const CString& text) const;

private:
    int scaled(int32_t v) const;

    bool m_loaded = false;
    CImageSet m_glyphs;
    int32_t m_lineHeight = 0, m_above = 0, m_below = 0;
    double m_scale = 1.0;
};

}  // namespace zel
