// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Object.h"

namespace zel {

// `ui:value-list-manual`: the items that controls show as titles or
// drop-down entries: its children's `content` (else `title`), with their
// `value` (else their position). `add-empty-value` puts an empty item
// first; at most `max-capacity` items are kept (0: all). Whoever listens
// hears "values-changed" when the items change.
class CValueList : public CObject {
public:
    struct CItem {
        CString title;
        double value = 0;
        // The channel group an item belongs to, -1 for none.
        int group = -1;
        bool isEnabled = true;
    };

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    const std::vector<CItem>& items() const { return m_items; }
    // Reads the items again and tells the listeners when they changed.
    CErrorPtr refresh();
    // The items of a list that its owner fills, in place of its children's.
    CErrorPtr setItems(std::vector<CItem> items);

protected:
    virtual CErrorPtr readItems(std::vector<CItem>& out);

private:
    CErrorPtr onUpdate(CObject* params, CObject* sender);

    std::vector<CItem> m_items;
    std::vector<CItem> m_given;
    bool m_isGiven = false;
    bool m_ready = false;
};

// `ui:value-list`: a value list filled from the audio side by `mode`:
// "manual" (the children), "audio-param-values" and "audio-enum-value"
// (the titles of the values of ui-param "ui-param-value", without the
// "Reserve" ones with `is-hide-reserve`, within `enum-min-index` and
// `enum-max-index`), "audio-min-max" (the numbers from the value's minimum
// to its maximum in `format`), "audio-groups" (the channel groups, by the
// names of "ui-param-group-names"), "audio-channels" (the internal
// channels, by the names of "ui-param-in-channel-names", with the group of
// each from "ui-param-grouping"), "audio-curgroup" (the channels of the
// group chosen by `group-selector`), "audio-ins" and "audio-outs" (the
// host's input and output channels; the inputs by the names of
// "ui-param-in-channel-names" where it has them), "audio-routing-labels" (the routing
// as labels, by `routing-label-mode`, see CRoutingLabels). It rebuilds when
// the instance's channel and group counts change and when its ui-params
// change.
class CValueListAudio : public CValueList {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

protected:
    CErrorPtr readItems(std::vector<CItem>& out) override;

private:
    CErrorPtr onChanged(CObject* params, CObject* sender);
    CErrorPtr readParamValues(std::vector<CItem>& out);
    void readChannels(std::vector<CItem>& out, int onlyGroup);
    void readRoutingLabels(std::vector<CItem>& out);

    CString m_mode;
    CString m_labelMode;
};

}  // namespace zel
