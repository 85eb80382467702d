// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/Controls/DropDownGesture.h"
#include "UI/Controls/TextView.h"
#include "UI/View.h"

namespace zel {

class CImage;
class CImageSet;
class CUIParam;

// `ui:button-base` (template `ui:button`): a push button, a switch or a
// drop-down, drawn as the frame of `image-set` in the range `image-set-range`
// ("", "Pushed", "Active" as its states set it), or with `is-picture` as the
// image `image-set-index` of that range. Its child text view "label" shows
// `title`.
//
// A press sets "pushed"; a release over the button is a click, which sends
// "button-clicked" to its listeners and runs the "mouse-release" view
// commands; a release elsewhere and a cancel only unset "pushed". A click
// writes the next value of the ui-param "ui-param-value" (or
// "ui-param-activity"), toggles the setting `shared-attribute`, or toggles
// `is-active` of a check box (`is-checkbox`). "active" follows `is-active`,
// which follows the value (`is-inverse`: active while it is 0).
//
// A drop-down (`item-list`, a value list, or a subclass's own entries)
// opens its entries as the popup list `popup-tag` on a press; unless
// `is-drop-down-behavior-disabled`, dragging onto an entry and releasing
// there chooses it in the same gesture. The entry
// chosen, the wheel (unless `is-mouse-wheel-disabled`) and the X buttons
// (`is-x-button-allowed`) change `selected-item`, write it to the value
// and send "item-selected" (`index`). Without a `title` of its own it shows
// the selected entry.
//
// The right button does nothing unless `is-right-click-allowed`; then it
// presses and clicks the button as the left one does.
class CButton : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;
    void readRoles() override;
    CErrorPtr dispatchEvent(const CString& name, CObject* params, CObject* sender) override;

    bool isActive() const { return getBool("is-active", false); }
    bool isPushed() const { return m_pushed; }
    bool isDropDown() const { return m_itemList || hasOwnEntries(); }
    int selectedItem() const { return int(getInt("selected-item", -1)); }
    // The drop-down's entries, as its popup list shows them.
    virtual std::vector<CTextView::CListEntry> entries() const;
    // Chooses entry `index` as the popup list, the wheel and the X buttons do.
    CErrorPtr chooseItem(int index);
    // Removes a button (or any view) made at run time; its window forgets
    // it first.
    static void release(CView& button);

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;
    // What a click does; the base writes the value or toggles.
    virtual CErrorPtr clicked();
    // What choosing an entry does, after `selected-item` changed; the base
    // writes the value.
    virtual CErrorPtr itemChosen(int index);
    // A new value of a switch; the base makes it active unless 0.
    virtual CErrorPtr valueChanged(double value);
    // The drop-down is about to open: entries may be read anew.
    virtual void beforePopup() {}
    // A subclass that lists entries of its own is a drop-down.
    virtual bool hasOwnEntries() const { return false; }
    // The value's link, if any.
    CUIParam* valueParam() const { return m_value; }
    // The value of entry `index`, and the entry of a value (-1: none).
    double itemValue(int index) const;
    int itemOf(double value) const;
    // The drop-down's entries changed: the title follows.
    void entriesChanged();

private:
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onCancel(CObject* params, CObject* sender);
    CErrorPtr onPressRight(CObject* params, CObject* sender);
    CErrorPtr onReleaseRight(CObject* params, CObject* sender);
    CErrorPtr onCancelRight(CObject* params, CObject* sender);
    bool rightAllowed() const { return getBool("is-right-click-allowed", false); }
    CErrorPtr onEnter(CObject* params, CObject* sender);
    CErrorPtr onExit(CObject* params, CObject* sender);
    CErrorPtr onWheel(CObject* params, CObject* sender);
    CErrorPtr onXButton(CObject* params, CObject* sender);
    CErrorPtr onPopupResult(CObject* params, CObject* sender);
    // Chooses the next enabled entry in `direction` (-1 up, +1 down).
    CErrorPtr step(int direction);
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    CErrorPtr onItemsChanged(CObject* params, CObject* sender);
    bool inside(const CObject* params) const;
    CErrorPtr setState(const char* state, bool on);
    // "active", "pushed" and "disabled" from the button's attributes.
    CErrorPtr applyStates();
    // The shared setting's value, read as on or off.
    bool sharedOn() const;
    void readLook();

    CUIParam* m_value = nullptr;
    CObject* m_itemList = nullptr;
    const CImageSet* m_set = nullptr;
    uint32_t m_first = 0;
    const CImage* m_picture = nullptr;
    const CImage* m_arrow = nullptr;
    CBorder m_band;
    bool m_isPicture = false, m_disabled = false;
    CString m_picAlignH, m_picAlignV;
    CColor m_markColour = 0;
    bool m_pressed = false, m_pushed = false;
    bool m_ownTitle = false;
    bool m_ready = false;
    CDropDownGesture m_dropGesture{*this};
};

}  // namespace zel
