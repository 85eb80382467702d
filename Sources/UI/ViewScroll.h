// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Core/Object.h"
#include "Other/LinearBitmap.h"

namespace zel {

class CUIParam;
class CView;

// Where a view with `is-scrollable` shows its content from. Per axis, the
// ui-params of the view that its scroll bars share: `ui-param-ratio`, the
// visible fraction of the content, and `ui-param-offset`, where the visible
// part starts (0 to 1 - ratio); `ui-param-ratio-h` and `ui-param-offset-h`
// across. The view's own ui-params of those names are used where it
// declares them (with a starting value, say); the others are made here.
class CViewScroll {
public:
    // Adds the missing ui-params to `view`; they initialise with it.
    static CErrorPtr create(CView& view, std::unique_ptr<CViewScroll>& out);

    // The content's rectangle for the visible `room` and a content of
    // `width` x `height`: at least the room, moved by the offsets. Writes
    // the ratios and keeps the offsets within the new extent.
    CErrorPtr place(const CRect& room, int width, int height, CRect& out);
    // The room the content last showed through.
    const CRect& room() const { return m_room; }
    // Moves the vertical offset by `screens` visible heights.
    CErrorPtr scrollBy(double screens);
    // The scroll params are being written by place: no scroll to follow.
    bool isPlacing() const { return m_placing; }
    double offset(bool vertical) const;
    double ratio(bool vertical) const;

private:
    CUIParam* m_offset[2] = {nullptr, nullptr};  // across, along
    CUIParam* m_ratio[2] = {nullptr, nullptr};
    CRect m_room;
    bool m_placing = false;
};

}  // namespace zel
