// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Core/Object.h"
#include "Other/LinearBitmap.h"
#include "UI/ViewPlacement.h"
#include "UI/ViewState.h"

namespace zel {

class CDynamicPalette;
struct CPreparedColor;
class CViewScroll;
class CWindowRenderer;

struct CSize {
    int width = 0, height = 0;
};

// `ui:view`: a rectangle of a window, placed within its parent by its
// placement attributes, filled with the colour of its role `color` when it
// names one, with its child views drawn over it by ascending `z-index`. A
// view draws within its rectangle grown by `spread`, clipped by its
// ancestors except the nearest `unclip-level` of them. With
// `is-scrollable`, the views in its flow (inline and docked) lay out over
// the whole of their extent and show through the room its scroll bars
// leave, moved by its scroll offsets; views that cover it stay in place.
class CView : public CObject {
public:
    // "set-state", "unset-state", "toggle-state" (`state-name`).
    static void setupClass(CClassInfo& info);
    CView();
    ~CView() override;
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;
    // The class's handler and the view commands waiting for the event.
    CErrorPtr dispatchEvent(const CString& name, CObject* params, CObject* sender) override;
    // The same, without an error when nothing takes the event.
    CErrorPtr runViewEvent(const CString& name, CObject* params, CObject* sender);
    CViewBaseState& states() { return *m_states; }
    // The renderer of the view's window, if it has one yet.
    CWindowRenderer* windowRenderer() const;
    // Marks the view's area for the next frame.
    void invalidateView();

    // The view's rectangle in window coordinates; empty while hidden.
    const CRect& area() const { return m_area; }
    const CViewBasePlacement& placement() const { return m_placement; }
    // The visible children, bottom first.
    const std::vector<const CView*>& drawOrder() const { return m_drawOrder; }
    double uiScale() const { return m_scale; }
    // Where the view may draw itself: its rectangle grown by its spread,
    // within the ancestors that clip it; empty while hidden.
    const CRect& drawClip() const { return m_clip; }
    // The root lays out the whole tree: its own size from `width` and
    // `height` times its `ui-scale`, then every view below it.
    CErrorPtr layoutTree();
    // Draws the view and what is drawn at its children's level, within
    // `sector`; called by the render threads, so it only reads the tree.
    void draw(CLinearBitmap& bitmap, const CRect& sector) const;
    // The colour of `role` in the view's palette; `logMissing` writes a
    // role the palette lacks to the debug log.
    bool paletteColour(const CString& role, CColor& out, bool logMissing) const;
    // The scroll position of a view with `is-scrollable`, or null.
    CViewScroll* scroll() const { return m_scroll.get(); }
    // A wheel step (`delta` > 0 up) over a scrollable view without a bar.
    CErrorPtr wheelScroll(long long delta);

protected:
    // The size of what the view shows, without its inner border: children
    // by default, text or images in the views that draw them.
    virtual CSize contentSize() const;
    // The view has its area; its children are laid out next.
    virtual void placed() {}
    // Lays the whole window out again, as a change of placement does.
    void relayoutWindow();
    // Draws the view itself, before its children, within `clip` (the
    // sector and the view's draw clip).
    virtual void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const;
    // The colour of role `attr`, or false when none is named.
    bool roleColour(const char* attr, CColor& out) const;
    // The prepared role, or null when the palette lacks it.
    const CPreparedColor* preparedRole(const CString& role, bool logMissing) const;
    // Reads the view's role colours: at init, and again whenever the
    // palette changes.
    virtual void readRoles();
    // The colour of the view's own role `color`, read at init.
    bool roleFill(CColor& out) const {
        out = m_colour;
        return m_hasColour;
    }

private:
    struct CLevelEntry {
        const CView* view;
        int z;
        bool covers;
    };

    CErrorPtr runCommands(const CString& name, CObject* params, bool& ran);
    CErrorPtr onStateEvent(CObject* params, CObject* sender);
    CErrorPtr onPaletteUpdated(CObject* params, CObject* sender);
    // A scroll offset moved: the flow is placed again, and only this view redrawn.
    CErrorPtr onScrolled(CObject* params, CObject* sender);
    // "popup-toggle": opens the window `popup-tag` (of the command, else
    // the view's), or closes it when it is open.
    CErrorPtr onPopupToggle(CObject* params, CObject* sender);
    // The fill colour: the role `color` in its variant `color-state`;
    // `gradient` gets the role's gradient, one colour per step, or nothing.
    bool fillColour(const CString& state, CColor& out, std::vector<CColor>* gradient = nullptr) const;

    CErrorPtr readPlacement(double scale, double ratioX, double ratioY);
    CSize compactSize() const;
    // Width and height before the parent's room is known: pixel and
    // compact sizes, 0 for the ones that depend on the parent.
    CSize preferredSize() const;
    CErrorPtr place(const CRect& area);
    CErrorPtr layoutChildren();
    CErrorPtr layoutDocked(const std::vector<CView*>& views, const CRect& inner, CRect& room);
    CErrorPtr layoutInline(const std::vector<CView*>& views, const CRect& inner, const CRect& room);
    CErrorPtr layoutCovering(const std::vector<CView*>& views, const CRect& inner);
    CErrorPtr layoutScrolled(const std::vector<CView*>& views, const CRect& inner);
    // The size of `views` in their flow, without the parent's inner border.
    static CSize flowSize(const std::vector<CView*>& views);
    // The view that a placement match or z-index target names: "^" the
    // parent, "^^" the grandparent (and so on), "^name" a sibling.
    const CView* relative(const CString& path) const;
    CErrorPtr matchArea(CRect& out) const;
    std::vector<CView*> childViews() const;
    // After the layout: every view's clip and the levels views draw at.
    void arrangeDrawing(const CRect& window);
    void computeClips(const CRect& window, bool hiddenAbove);
    void collectLevels();
    int childBase(const CViewBasePlacement& child) const;

    CViewBasePlacement m_placement;
    double m_scale = 1.0;
    CRect m_area;
    CRect m_clip, m_childClip;
    // What draws after this view: its children's level, with the views that
    // count their z-index from one of them.
    std::vector<CLevelEntry> m_level;
    // Set on a view drawn at another view's level: -1 below the view it
    // counts from, +1 above it.
    int m_lifted = 0;
    // The visible children, bottom first, as input finds them.
    std::vector<const CView*> m_drawOrder;
    int m_z = 0;
    const CDynamicPalette* m_palette = nullptr;
    bool m_hasColour = false;
    CColor m_colour = 0;
    // A gradient role fills the view with its steps from top to bottom.
    std::vector<CColor> m_gradient;
    std::unique_ptr<CViewBaseState> m_states;
    std::unique_ptr<CViewScroll> m_scroll;
    bool m_ready = false;
};

// `ui:window-drag`: the root view of a window. With `is-window-draggable`
// a press on it records the window's position (`actual-x`, `actual-y`) and
// the pointer's movement from there moves the window. "close-window" sent
// to it (a close button's command) closes the window.
class CWinDrag : public CView {
public:
    static void setupClass(CClassInfo& info);
    bool isDragging() const { return m_dragging; }

private:
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onCloseWindow(CObject* params, CObject* sender);

    bool m_dragging = false;
    int m_pressX = 0, m_pressY = 0;
};

}  // namespace zel
