// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Audio/Preset.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/PresetFiles.h"

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
//
// With `preset-file-ext` the list ends with its own file commands: a preset
// file of that extension (`preset-file-descr`) is loaded, or the current
// state saved to one, through the editor's file browser, which starts in
// the folder last used (kept under the key `preset-file-defpath`). A file
// that fails shows its message and changes nothing.
class CQuickPresetSelector : public CButton {
public:
    static constexpr const char* kLoadTitle = "Load from file...";
    static constexpr const char* kSaveTitle = "Save to file...";

    static void setupClass(CClassInfo& info);
    ~CQuickPresetSelector() override;
    CErrorPtr init() override;

    std::vector<CTextView::CListEntry> entries() const override;

    // What the file commands do with the path chosen in the browser; a
    // save first asks the instance for its state.
    CErrorPtr loadFile(const CString& path);
    CErrorPtr saveFile(const CString& path);

protected:
    bool hasOwnEntries() const override { return true; }
    CErrorPtr itemChosen(int index) override;

private:
    enum class ESource { Heading, Rom, Session, Store, LoadFile, SaveFile };
    struct CEntry {
        ESource source;
        size_t index;
        CString title;
    };
    void onRegistry(CUpdateNotifier& notifier, const CString& what);
    // Opens with no entry selected: the one chosen last can be chosen again.
    void beforePopup() override {
        readEntries();
        showCurrent();
    }
    void readEntries();
    void readStore(const CString& store, bool isGlobal, std::vector<CEntry>& out);
    void showCurrent();
    bool hasFileCommands() const { return m_files != nullptr; }
    // Opens the browser; its answer finds this selector again by its path
    // (the window may close meanwhile) and runs `then` with the path chosen.
    CErrorPtr browse(bool isSave, const CString& proposedName, CErrorPtr (CQuickPresetSelector::*then)(const CString&));
    CErrorPtr showFileError(const char* title, const CError& error);
    // Writes m_toSave.
    CErrorPtr saveAs(const CString& path);

    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClient::CRegistry* m_registry = nullptr;
    CAudioPresetBank m_rom;
    // The store presets listed, by entry.
    std::vector<CAudioPreset> m_stored;
    std::vector<CEntry> m_entries;
    std::unique_ptr<CPresetFiles> m_files;
    // The state to save, from the instance, while the browser is open.
    CAudioPreset m_toSave;
    COwnedUpdateListener<CQuickPresetSelector> m_listener{*this, &CQuickPresetSelector::onRegistry};
};

}  // namespace zel
