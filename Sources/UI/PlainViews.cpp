// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PlainViews.h"

#include <algorithm>

#include "Other/Draw.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"
#include "UI/DynamicPalette.h"
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "PlainViews"

namespace zel {

namespace {

int alignIn(EAlign align, int from, int to, int length) {
    if (align == EAlign::Center) return from + (to - from - length) / 2;
    if (align == EAlign::End) return to - length;
    return from;
}

// "center", `end` or else the start.
EAlign alignOf(const CString& value, const char* end) {
    if (value == CString("center")) return EAlign::Center;
    if (value == CString(end)) return EAlign::End;
    return EAlign::Start;
}

CRect innerOf(const CRect& r, const CBorder& b) {
    return {r.left + b.left, r.top + b.top, std::max(r.left + b.left, r.right - b.right),
            std::max(r.top + b.top, r.bottom - b.bottom)};
}

// The prepared image set that `view` names in `image-set`.
CErrorPtr findImageSet(CView& view, const CImageSet*& out) {
    const CString path = view.getAttr("image-set");
    auto* object = dynamic_cast<CImageSetObject*>(view.findObject(path));
    if (!object) return ZEL_ERROR("@zelstr_CView_init_ImageSet Image set '%1' not found.", path);
    ZEL_TRY(object->prepare(view.uiScale()));
    out = object->imageSet(view.uiScale());
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- frame

void CFrame::readRoles() {
    CView::readRoles();
    m_hasBorder = roleColour("border-color", m_border);
}

CErrorPtr CFrame::init() {
    ZEL_TRY(CView::init());
    if (!getAttr("image-set").empty()) {
        ZEL_TRY(findImageSet(*this, m_set));
        m_first = uint32_t(getInt("image-set-index", 0));
        // The band each piece takes inside the rectangle.
        const auto nominal = [&](uint32_t i, bool across) {
            const CImage* piece = m_set->image(m_first + i);
            return piece ? (across ? piece->nominalHeight() : piece->nominalWidth()) : 0;
        };
        m_band = {nominal(2, false), nominal(3, false), nominal(0, true), nominal(1, true)};
    }
    return nullptr;
}

void CFrame::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect& r = area();
    CColor fill = 0;
    if (roleFill(fill)) {
        // The band's inner half is filled too, under the band's own shading.
        const CBorder half{m_band.left / 2, m_band.right / 2, m_band.top / 2, m_band.bottom / 2};
        bitmap.fillRect(innerOf(r, half).intersect(clip), fill, 1.0);
    }
    if (m_set) {
        drawBorder(bitmap, clip, *m_set, m_first, r, m_border, 1.0);
    } else if (m_hasBorder && !r.isEmpty()) {
        bitmap.fillRect(CRect{r.left, r.top, r.right, r.top + 1}.intersect(clip), m_border, 1.0);
        bitmap.fillRect(CRect{r.left, r.bottom - 1, r.right, r.bottom}.intersect(clip), m_border, 1.0);
        bitmap.fillRect(CRect{r.left, r.top, r.left + 1, r.bottom}.intersect(clip), m_border, 1.0);
        bitmap.fillRect(CRect{r.right - 1, r.top, r.right, r.bottom}.intersect(clip), m_border, 1.0);
    }
}

// ---------------------------------------------------------------- caption

void CCaption::readRoles() {
    CView::readRoles();
    if (!roleColour("text-color", m_text)) m_text = 0;
}

CErrorPtr CCaption::init() {
    ZEL_TRY(CView::init());
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(uiScale()));
    m_font = fonts->style(hasAttr("font-style") ? getAttr("font-style") : CString("regular"), uiScale());
    m_title = getAttr("title");
    m_align = alignOf(getAttr("text-alignment"), "right");
    m_opacity = std::clamp(getReal("opacity", 1.0), 0.0, 1.0);
    return nullptr;
}

void CCaption::attrChanged(const CString& name) {
    // Read before the view redraws itself for the change.
    if (name == CString("opacity")) m_opacity = std::clamp(getReal("opacity", 1.0), 0.0, 1.0);
    if (name == CString("title")) m_title = getAttr("title");
    CView::attrChanged(name);
}

CSize CCaption::contentSize() const {
    if (!m_font) return {};
    return {m_font->textWidth(m_title), m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow()};
}

void CCaption::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    CView::drawSelf(bitmap, clip);
    if (!m_font) return;
    const CRect inner = innerOf(area(), placement().inner);
    const int height = m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow();
    const int x = alignIn(m_align, inner.left, inner.right, m_font->textWidth(m_title));
    const int top = alignIn(EAlign::Center, inner.top, inner.bottom, height);
    // The line's descenders take the space below its baseline.
    const int baseline = top + m_font->spaceAbove() + m_font->lineHeight() - m_font->spaceBelow();
    drawText(bitmap, clip.intersect(area()), *m_font, x, baseline, m_title, m_text, m_opacity);
}

// ---------------------------------------------------------------- picture

void CPicture::readRoles() {
    CView::readRoles();
    if (!roleColour("color", m_tint)) m_tint = 0x808080;
    const CPreparedColor* role = getAttr("color").empty() ? nullptr : preparedRole(getAttr("color"), false);
    m_roleOpacity = role ? role->opacity : 1.0;
}

CErrorPtr CPicture::init() {
    ZEL_TRY(CView::init());
    const CImageSet* set = nullptr;
    ZEL_TRY(findImageSet(*this, set));
    const uint32_t index = uint32_t(getInt("image-set-index", 0));
    const CString range = getAttr("image-set-range");
    m_image = range.empty() ? set->image(index) : set->image(range, index);
    m_alignH = alignOf(getAttr("pic-alignment-h"), "right");
    m_alignV = alignOf(getAttr("pic-alignment-v"), "bottom");
    m_tiled = getBool("is-tiled", false);
    m_opacity = std::clamp(getReal("opacity", 1.0), 0.0, 1.0);
    return nullptr;
}

void CPicture::attrChanged(const CString& name) {
    if (name == CString("opacity")) m_opacity = std::clamp(getReal("opacity", 1.0), 0.0, 1.0);
    CView::attrChanged(name);
}

CSize CPicture::contentSize() const {
    return m_image ? CSize{m_image->nominalWidth(), m_image->nominalHeight()} : CSize{};
}

void CPicture::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    if (!m_image) return;
    const CRect inner = innerOf(area(), placement().inner);
    if (!m_tiled) {
        const int x = alignIn(m_alignH, inner.left, inner.right, m_image->nominalWidth());
        const int y = alignIn(m_alignV, inner.top, inner.bottom, m_image->nominalHeight());
        drawImage(bitmap, clip, *m_image, x, y, m_tint, m_opacity * m_roleOpacity);
        return;
    }
    const int w = m_image->nominalWidth(), h = m_image->nominalHeight();
    const CRect within = inner.intersect(clip);
    if (w <= 0 || h <= 0 || within.isEmpty()) return;
    // Only the tiles the clip reaches.
    const int firstX = inner.left + (within.left - inner.left) / w * w;
    const int firstY = inner.top + (within.top - inner.top) / h * h;
    for (int y = firstY; y < within.bottom; y += h)
        for (int x = firstX; x < within.right; x += w)
            drawImage(bitmap, within, *m_image, x, y, m_tint, m_opacity * m_roleOpacity);
}

}  // namespace zel
