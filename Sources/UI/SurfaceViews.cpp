// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/SurfaceViews.h"

#include <cmath>

#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "Platform/Clock.h"
#include "UI/DynamicPalette.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "SurfaceViews"

namespace zel {

namespace {

// 0 to 1 from `opacity`; a value that is no number counts as fully opaque.
double readOpacity(const CObject& view, double fallback) {
    return std::clamp(view.getReal("opacity", fallback), 0.0, 1.0);
}

// The smooth bump (1 - d²)² of a distance d in units of the spot's reach.
double bump(double d) {
    if (d <= -1.0 || d >= 1.0) return 0.0;
    const double v = 1.0 - d * d;
    return v * v;
}

}  // namespace

// ---------------------------------------------------------------- shadow

CErrorPtr CShadow::init() {
    ZEL_TRY(CView::init());
    const CString path = hasAttr("image-set") ? getAttr("image-set") : CString("shared::is.shadow");
    auto* object = dynamic_cast<CImageSetObject*>(findObject(path));
    if (!object) return ZEL_ERROR("@zelstr_CView_init_ImageSet Image set '%1' not found.", path);
    ZEL_TRY(object->prepare(uiScale()));
    m_set = object->imageSet(uiScale());
    m_first = uint32_t(getInt("image-set-index", 1));
    m_opacity = readOpacity(*this, 1.0);
    return nullptr;
}

void CShadow::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    if (m_set && !area().isEmpty()) drawBorder(bitmap, clip, *m_set, m_first, area(), 0, m_opacity);
}

// ---------------------------------------------------------------- spotlight

void CSpotlightBase::readRoles() {
    CView::readRoles();
    if (!roleColour("color", m_light) && !paletteColour(CString("SpotlightColor"), m_light, true)) m_light = 0xffffff;
}

CErrorPtr CSpotlightBase::init() {
    ZEL_TRY(CView::init());
    m_opacity = readOpacity(*this, 0.5);
    m_x = getReal("spot-x", 0.5);
    m_y = getReal("spot-y", 0.0);
    m_width = std::max(0.01, getReal("spot-width", 1.0));
    m_height = std::max(0.01, getReal("spot-height", 1.0));
    return nullptr;
}

void CSpotlightBase::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect& r = area();
    const CRect target = r.intersect(clip).intersect(bitmap.bounds());
    const int32_t a = std::min<int32_t>(CLinearBitmap::opacityFactor(m_opacity), 65536);
    if (target.isEmpty() || a == 0) return;
    // The light is the product of a bump across and a bump down, so each
    // row and each column is worked out once.
    const double cx = r.left + m_x * r.width(), cy = r.top + m_y * r.height();
    const double rx = m_width * r.width(), ry = m_height * r.height();
    std::vector<int32_t> columns(size_t(target.width()));
    for (int x = target.left; x < target.right; ++x)
        columns[size_t(x - target.left)] = int32_t(std::lround(a * bump((x + 0.5 - cx) / rx)));
    for (int y = target.top; y < target.bottom; ++y) {
        const int64_t down = std::lround(65536.0 * bump((y + 0.5 - cy) / ry));
        if (down <= 0) continue;
        uint8_t* p = bitmap.pixel(target.left, y);
        for (int x = 0; x < target.width(); ++x, p += 4) {
            const int32_t f = int32_t((columns[size_t(x)] * down) >> 16);
            if (f > 0) CLinearBitmap::blendPixel(p, m_light, f);
        }
    }
}

// ---------------------------------------------------------------- gradient

void CGradient::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("render", &CGradient::onRender);
}

void CGradient::readRoles() {
    CView::readRoles();
    if (!roleColour("color", m_colour)) m_colour = 0xffffff;
}

CErrorPtr CGradient::init() {
    ZEL_TRY(CView::init());
    m_opacity = readOpacity(*this, 1.0);
    const CString direction = getAttr("gradient-direction");
    if (direction.empty() || direction == CString("down"))
        m_direction = EDirection::Down;
    else if (direction == CString("up"))
        m_direction = EDirection::Up;
    else if (direction == CString("right"))
        m_direction = EDirection::Right;
    else if (direction == CString("left"))
        m_direction = EDirection::Left;
    else
        return ZEL_ERROR("@zelstr_CGradient_init_Direction Invalid gradient-direction '%1'.", direction);
    m_animated = getBool("is-gradient-animated", false);
    m_duration = getReal("duration", 0.5);
    m_renderer = nullptr;
    if (!m_animated) return nullptr;
    // Only an animated gradient costs its window a redraw on every frame.
    const CView* top = this;
    while (const CView* up = dynamic_cast<const CView*>(top->parent())) top = up;
    m_renderer = dynamic_cast<CWindowRenderer*>(const_cast<CView*>(top)->findChild("window-renderer"));
    if (m_renderer) ZEL_TRY(listenObject(m_renderer, "render", "render"));
    return nullptr;
}

double CGradient::animationPhase(double seconds, double duration) {
    if (!(duration > 0.0) || !std::isfinite(seconds)) return 0.0;
    const double t = std::fmod(seconds / duration, 2.0);
    return t <= 1.0 ? t : 2.0 - t;
}

CErrorPtr CGradient::onRender(CObject*, CObject* sender) {
    if (sender != m_renderer || drawClip().isEmpty()) return nullptr;
    m_phase = animationPhase(platform::secondsSinceStart(), m_duration);
    m_renderer->invalidate(drawClip());
    return nullptr;
}

void CGradient::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    const CRect& r = area();
    const CRect target = r.intersect(clip);
    if (target.isEmpty()) return;
    const bool vertical = m_direction == EDirection::Down || m_direction == EDirection::Up;
    const bool reversed = m_direction == EDirection::Up || m_direction == EDirection::Left;
    const int extent = vertical ? r.height() : r.width();
    // The strength at a line across the gradient, 0 at the start side and
    // 1 at the far side; the animated light is a band half the extent wide.
    const auto strength = [&](int at) {
        double u = (at + 0.5 - (vertical ? r.top : r.left)) / std::max(1, extent);
        if (reversed) u = 1.0 - u;
        if (m_animated) return std::max(0.0, 1.0 - std::fabs(u - m_phase) * 2.0);
        return 1.0 - u;
    };
    if (vertical) {
        for (int y = target.top; y < target.bottom; ++y)
            bitmap.fillHLine(target.left, y, target.width(), m_colour, m_opacity * strength(y));
    } else {
        for (int x = target.left; x < target.right; ++x)
            bitmap.fillVLine(x, target.top, target.height(), m_colour, m_opacity * strength(x));
    }
}

// ---------------------------------------------------------------- colour fill

void CColorFill::readRoles() {
    CView::readRoles();
    m_hasFill = roleColour("color", m_fill);
    const CPreparedColor* role = getAttr("color").empty() ? nullptr : preparedRole(getAttr("color"), false);
    m_roleOpacity = role ? role->opacity : 1.0;
}

CErrorPtr CColorFill::init() {
    ZEL_TRY(CView::init());
    m_opacity = readOpacity(*this, 1.0);
    return nullptr;
}

void CColorFill::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    if (m_hasFill) bitmap.fillRect(area().intersect(clip), m_fill, m_opacity * m_roleOpacity);
}

}  // namespace zel
