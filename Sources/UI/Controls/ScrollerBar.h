// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/View.h"

namespace zel {

class CImage;
class CUIParam;
class CUpdateTimer;

// `ui:scroller-bar`: a scroll bar (`is-vertical`) over the ui-params
// `ui-param-offset` (the scrolled view's offset, 0 to 1 - ratio) and
// `ui-param-ratio` (the visible fraction), by default its own children of
// those names. Its bar shows both and moves the offset when dragged; a
// press on the track beside the bar moves by `scroll-frame-size` (0.9) of
// a screen, an arrow and a wheel step by `scroll-step-size` (0.1). An
// arrow held for `scroll-hold-time` seconds (0.2) keeps scrolling at
// `scroll-screens-per-second` (4), in `scroll-fast-fps` steps a second (8);
// "scroll-start" (`direction` -1 or 1) and "scroll-stop" do the same for
// arrows elsewhere. A double-click on the bar goes to the other end.
class CScrollerBar : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    double offset() const { return m_offsetValue; }
    double ratio() const { return m_ratioValue; }
    // The bar's rectangle in window coordinates.
    CRect barRect() const;
    bool isScrolling() const { return m_direction != 0; }

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    enum class EPart { None, Prev, Next, TrackBefore, TrackAfter, Bar };
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onWheel(CObject* params, CObject* sender);
    CErrorPtr onScrollStart(CObject* params, CObject* sender);
    CErrorPtr onScrollStop(CObject* params, CObject* sender);
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    EPart partAt(int x, int y) const;
    // The track between the arrows, along the bar's axis.
    void track(int& from, int& to) const;
    int along(const CObject& params) const;
    // Moves the offset by `screens` of the visible fraction.
    CErrorPtr moveBy(double screens);
    CErrorPtr setOffset(double offset);
    CErrorPtr startScrolling(int direction);
    void stopScrolling();

    CUIParam* m_offset = nullptr;
    CUIParam* m_ratio = nullptr;
    CUpdateTimer* m_timer = nullptr;
    const CImage* m_bar = nullptr;
    const CImage* m_base = nullptr;
    const CImage* m_prev[2] = {nullptr, nullptr};
    const CImage* m_next[2] = {nullptr, nullptr};
    CColor m_barColour = 0x808080, m_baseColour = 0x808080, m_arrowColour = 0;
    // The values as drawing reads them.
    double m_offsetValue = 0, m_ratioValue = 1;
    bool m_vertical = true;
    int m_direction = 0;
    double m_scrollSince = 0;
    EPart m_pressed = EPart::None;
    int m_dragFrom = 0;
    double m_dragOffset = 0;
};

}  // namespace zel
