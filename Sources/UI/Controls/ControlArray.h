// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/View.h"

namespace zel {

class CButton;
class CUIParam;
class CValueList;

// `ui:control-array`: a row of small drop-down buttons (`object-tag`,
// "ui:button"), `element-width` by `element-height`, one per item of the
// value list `object-title-list` (its title is the button's hint). Button i
// shows the value of element i of the ui-param "ui-param-value" by its
// title in the value list `object-value-list` (`unknown-value-char` for a
// value not listed there) and lists those values to choose from. A choice
// writes element i and sends "popup-result" (`object-index`,
// `object-value`, `combine-changes`); with `is-unique-values-only` the
// object that held the value takes the chosen one's old value in the same
// undo step.
//
// With `is-switches` the buttons are switches instead, titled by their
// objects: button i is lit while element i is on (0.5 or more) and a click
// turns it on or off; `object-value-list` is then not needed. With
// `is-object-per-group` object i is channel group i of the parameter (its
// element 0) instead of element i; its ui-param then needs
// `is-update-on-any-group` to hear the other groups change.
//
// An `object-tag` whose root is not a button is a titled item: its child
// "button" is the object's button and its caption "title" shows the
// object's title.
class CControlArray : public CView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    size_t buttonCount() const { return m_buttons.size(); }
    CButton* button(size_t index) const { return index < m_buttons.size() ? m_buttons[index] : nullptr; }

private:
    CErrorPtr onListsChanged(CObject* params, CObject* sender);
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    CErrorPtr onChosen(CObject* params, CObject* sender);
    CErrorPtr onClicked(CObject* params, CObject* sender);
    // Makes one button per object, when their number changed.
    CErrorPtr rebuild();
    // The buttons show the current values.
    CErrorPtr show();
    double elementValue(size_t index) const;
    CErrorPtr write(size_t index, double value);

    CValueList* m_titles = nullptr;
    CValueList* m_values = nullptr;
    CUIParam* m_param = nullptr;
    std::vector<CButton*> m_buttons;
    // The objects' item views: the buttons themselves, or their titled items.
    std::vector<CView*> m_items;
    bool m_switches = false;
    bool m_perGroup = false;
    bool m_ready = false;
};

}  // namespace zel
