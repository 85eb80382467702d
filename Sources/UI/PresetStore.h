// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Audio/Preset.h"
#include "Core/AppData.h"

namespace zel {

class CObject;

// The banks of presets that a preset manager keeps in application data, so
// that every instance and every session sees them: one "alst" item per
// store name, holding the number of banks and then each bank record (the
// embedded preset lists are such an item with one nameless bank).
class CPresetStore {
public:
    // `context` finds the item's file and embedded default among the
    // plug-in's application-data objects ("plugin." + `name`); a store the
    // plug-in does not declare is "../" + `name` with no default.
    CPresetStore(CObject& context, CString name, bool isGlobal);

    const CString& name() const { return m_name; }
    CAppData& data() const;
    // The item name as the application-data store takes it.
    const CString& item() const { return m_item; }
    // The banks stored; none when the item is absent or unreadable (a
    // damaged file is set aside by the store, never overwritten unread).
    std::vector<CAudioPresetBank> load() const;
    // Replaces the item atomically: on failure the previous one stays.
    CErrorPtr save(const std::vector<CAudioPresetBank>& banks) const;
    // Whether a store write of `writtenItem` (as listeners hear it) is
    // this store's.
    bool isItem(const CString& writtenItem) const;

    static CErrorPtr readBanks(CInputStream& in, std::vector<CAudioPresetBank>& out);
    static CErrorPtr writeBanks(COutputStream& out, const std::vector<CAudioPresetBank>& banks);

private:
    CString m_name;
    bool m_isGlobal;
    CString m_item;
};

}  // namespace zel
