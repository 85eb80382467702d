// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/View.h"

namespace zel {

class CImageSet;
class CWindowRenderer;

// `ui:shadow`: the border pieces of a shadow image set (`image-set`, by
// default the soft "shared::is.shadow") around its rectangle, at `opacity`.
// The pieces reach beyond the rectangle; `spread` lets them show there.
// Shadows are black: the set's grey carries no colour of a role.
class CShadow : public CView {
public:
    CErrorPtr init() override;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    const CImageSet* m_set = nullptr;
    uint32_t m_first = 1;
    double m_opacity = 1.0;
};

// `ui:spotlight-base`: the light that falls on the window: the role `color`
// (by default "SpotlightColor") at `opacity` in the spot's centre, fading
// smoothly to nothing at its edges. The spot is centred at the fractions
// `spot-x`, `spot-y` of the view's rectangle (by default the middle of its
// top edge) and reaches `spot-width`, `spot-height` times the rectangle's
// width and height from there.
class CSpotlightBase : public CView {
public:
    CErrorPtr init() override;
    void readRoles() override;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CColor m_light = 0xffffff;
    double m_opacity = 0.5;
    double m_x = 0.5, m_y = 0.0, m_width = 1.0, m_height = 1.0;
};

// `ui:overlay-gradient`: the role `color` at `opacity` on the side that
// `gradient-direction` starts from ("down": the top, "up", "right", "left"),
// fading linearly to nothing at the opposite side. With
// `is-gradient-animated` the light runs across the view and back once every
// `duration` seconds, redrawn on every frame of its window.
class CGradient : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;
    // The light's position for the time given, 0 to 1 and back.
    static double animationPhase(double seconds, double duration);

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onRender(CObject* params, CObject* sender);

    enum class EDirection { Down, Up, Right, Left };
    CColor m_colour = 0xffffff;
    double m_opacity = 1.0;
    EDirection m_direction = EDirection::Down;
    bool m_animated = false;
    double m_duration = 0.5;
    // The phase the next frame draws; written by the frame's "render"
    // before the render threads start.
    double m_phase = 0;
    CWindowRenderer* m_renderer = nullptr;
};

// `ui:color-fill`: its rectangle in the role `color` at `opacity`.
class CColorFill : public CView {
public:
    CErrorPtr init() override;
    void readRoles() override;

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    bool m_hasFill = false;
    CColor m_fill = 0;
    double m_opacity = 1.0;
    // The colour role's own opacity ("WindowBlocker" lets the window show
    // through).
    double m_roleOpacity = 1.0;
};

}  // namespace zel
