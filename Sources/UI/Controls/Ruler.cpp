// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/Ruler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Other/Draw.h"
#include "Other/Font.h"
#include "UI/Controls/MinMax.h"
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "Ruler"

namespace zel {

CErrorPtr CRuler::init() {
    if (!hasAttr("font-name")) ZEL_TRY(setAttr("font-name", "shared::font.micro"));
    ZEL_TRY(CView::init());
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(uiScale()));
    m_font = fonts->style("regular", uiScale());
    return nullptr;
}

void CRuler::readRoles() {
    CView::readRoles();
    if (!paletteColour(hasAttr("text-color") ? getAttr("text-color") : CString("RulerText"), m_text, true)) m_text = 0;
    if (!paletteColour(hasAttr("line-color") ? getAttr("line-color") : CString("Ruler"), m_line, true)) m_line = 0;
}

void CRuler::showScale(const CMinMax& range, int from, int to, bool vertical) {
    m_vertical = vertical;
    m_marks.clear();
    const double step = std::max(1e-9, getReal("step", 6.0));
    const double span = range.maxValue() - range.minValue();
    const int pixels = std::abs(to - from);
    const int room = m_font ? (vertical ? m_font->lineHeight() : m_font->textWidth("-48") * 3 / 2) + 2 : 12;
    // The label step: the mark step doubled until labels no longer crowd.
    double labelStep = step;
    while (labelStep < span && pixels * labelStep / span < room) labelStep *= 2;
    for (double v = std::ceil(range.minValue() / step - 1e-9) * step; v <= range.maxValue() + 1e-9; v += step) {
        CMark mark;
        mark.at = from + int(std::lround(range.toUnit(v) * (to - from)));
        const double labelIndex = v / labelStep;
        if (std::fabs(labelIndex - std::round(labelIndex)) < 1e-6) {
            const long value = std::lround(v);
            mark.label = (value > 0 ? CString("+") : CString()) + toText(value);
        }
        m_marks.push_back(mark);
    }
    invalidateView();
}

void CRuler::showNames(const std::vector<CString>& names, const std::vector<int>& centres, bool vertical) {
    m_vertical = vertical;
    m_marks.clear();
    for (size_t i = 0; i < names.size() && i < centres.size(); ++i) m_marks.push_back({centres[i], names[i], false});
    invalidateView();
}

void CRuler::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    CView::drawSelf(bitmap, clip);
    const CRect& r = area();
    const CRect within = clip.intersect(r);
    if (within.isEmpty()) return;
    const int tick = std::max(1, int(std::lround(3 * uiScale())));
    const int lineHeight = m_font ? m_font->spaceAbove() + m_font->lineHeight() + m_font->spaceBelow() : 0;
    int lastEnd = std::numeric_limits<int>::min();
    for (const CMark& mark : m_marks) {
        // Ticks at the edge that faces the display: the right edge of a
        // vertical scale, the top edge of a horizontal one.
        if (mark.hasTick) {
            const CRect line = m_vertical ? CRect{r.right - tick, mark.at, r.right, mark.at + 1}
                                          : CRect{mark.at, r.top, mark.at + 1, r.top + tick};
            bitmap.fillRect(line.intersect(within), m_line, 1.0);
        }
        if (mark.label.empty() || !m_font) continue;
        const int width = m_font->textWidth(mark.label);
        int x, top;
        if (m_vertical && mark.hasTick) {
            x = r.right - tick - 1 - width;
            top = std::clamp(mark.at - lineHeight / 2, r.top, std::max(r.top, r.bottom - lineHeight));
        } else if (m_vertical) {
            x = r.left + (r.width() - width) / 2;
            top = mark.at - lineHeight / 2;
        } else {
            x = std::clamp(mark.at - width / 2, r.left, std::max(r.left, r.right - width));
            top = r.top + (mark.hasTick ? tick : 0) + (r.height() - (mark.hasTick ? tick : 0) - lineHeight) / 2;
            // A name that would run into the one before it is left out.
            if (x <= lastEnd) continue;
            lastEnd = x + width;
        }
        const int baseline = top + m_font->spaceAbove() + m_font->lineHeight() - m_font->spaceBelow();
        drawText(bitmap, within, *m_font, x, baseline, mark.label, m_text, 1.0);
    }
}

}  // namespace zel
