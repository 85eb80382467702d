// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/View.h"

namespace zel {

class CFont;
class CMinMax;

// `ui:ruler`: the scale or the names beside a display, which tells the
// ruler where its marks go. A scale ruler marks every `step` of the range
// with a tick (hairlines in the role `line-color`) and labels as many marks
// as fit, in the font `font-name` and the role `text-color`; a channel
// ruler writes one name centred on each bar, leaving out names that would
// overlap their left neighbour.
class CRuler : public CView {
public:
    CErrorPtr init() override;
    void readRoles() override;

    struct CMark {
        // Window coordinate along the ruler.
        int at = 0;
        CString label;
        bool hasTick = true;
    };
    // A scale: `range` from window coordinate `from` (its minimum) to `to`.
    void showScale(const CMinMax& range, int from, int to, bool vertical);
    // Names centred on window coordinates.
    void showNames(const std::vector<CString>& names, const std::vector<int>& centres, bool vertical);
    const std::vector<CMark>& marks() const { return m_marks; }

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    const CFont* m_font = nullptr;
    std::vector<CMark> m_marks;
    bool m_vertical = true;
    CColor m_text = 0, m_line = 0;
};

}  // namespace zel
