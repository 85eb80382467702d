// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/View.h"

namespace zel {

class CFont;
class CImage;
class CImageSet;

// `ui:frame`: a panel filled with its role `color` inside a border. The
// border comes from the frame image set `image-set` (images from
// `image-set-index` on) tinted by the role `border-color`, or else is a
// one-pixel line in `border-color` when that names a role. With an image
// set the fill stays inside the set's band, so its corners show.
class CFrame : public CView {
public:
    CErrorPtr init() override;
    void readRoles() override;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    const CImageSet* m_set = nullptr;
    uint32_t m_first = 0;
    CBorder m_band;
    bool m_hasBorder = false;
    CColor m_border = 0;
};

// `ui:caption`: one line of `title` in the font `font-name` (style
// `font-style`), in the role `text-color`, placed within its inner area by
// `text-alignment` and centred vertically, at its `opacity`; compact sizes
// fit the text.
class CCaption : public CView {
public:
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;
    void readRoles() override;

protected:
    CSize contentSize() const override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    const CFont* m_font = nullptr;
    CString m_title;
    EAlign m_align = EAlign::Start;
    CColor m_text = 0;
    double m_opacity = 1.0;
};

// `ui:picture`: image `image-set-index` of the image set `image-set`
// (within the range `image-set-range` when named), tinted by the role
// `color`, aligned within its inner area by `pic-alignment-h` and
// `pic-alignment-v`; compact sizes are the image's nominal size. With
// `is-tiled` the image repeats over the whole inner area instead, from its
// top left corner. `opacity` and the role's own opacity scale what it
// draws.
class CPicture : public CView {
public:
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;
    void readRoles() override;

protected:
    CSize contentSize() const override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    const CImage* m_image = nullptr;
    EAlign m_alignH = EAlign::Start, m_alignV = EAlign::Start;
    CColor m_tint = 0x808080;
    bool m_tiled = false;
    double m_opacity = 1.0;
    double m_roleOpacity = 1.0;
};

}  // namespace zel
