// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Audio/Preset.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"

namespace zel {

// Whether `title` matches the wildcard `pattern` ('*' any run, '?' one
// character).
bool matchesTitleFilter(const CString& pattern, const CString& title);

// `ui:quick-preset-selector`: a drop-down of presets of the registry
// `param-registry` through `interface-client`: for the master registry the
// "Factory ROM" presets (its embedded bank) and the "Session Bank"
// programs, then the presets of the application-data lists `store-name`
// and `store-name-user` (global ones with `is-global-data`), but for those
// whose names match `forced-title-filter` (placeholders that the list
// does not offer, such as the colour registry's "Off" schemes). Choosing one
// activates it; the button shows the current program's name, or `title`.
class CQuickPresetSelector : public CButton {
public:
    static void setupClass(CClassInfo& info);
    ~CQuickPresetSelector() override;
    CErrorPtr init() override;

    std::vector<CTextView::CListEntry> entries() const override;

protected:
    bool hasOwnEntries() const override { return true; }
    CErrorPtr itemChosen(int index) override;

private:
    enum class ESource { Heading, Rom, Session, Store };
    struct CEntry {
        ESource source;
        size_t index;
        CString title;
    };
    void onRegistry(CUpdateNotifier& notifier, const CString& what);
    void beforePopup() override { readEntries(); }
    void readEntries();
    void readStore(const CString& store, bool isGlobal, std::vector<CEntry>& out);
    void showCurrent();

    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClient::CRegistry* m_registry = nullptr;
    CAudioPresetBank m_rom;
    // The store presets listed, by entry.
    std::vector<CAudioPreset> m_stored;
    std::vector<CEntry> m_entries;
    COwnedUpdateListener<CQuickPresetSelector> m_listener{*this, &CQuickPresetSelector::onRegistry};
};

}  // namespace zel
