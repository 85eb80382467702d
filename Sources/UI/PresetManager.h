// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "Audio/Preset.h"
#include "Core/AppData.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/TextView.h"
#include "UI/FolderMemory.h"
#include "UI/PresetStore.h"
#include "UI/View.h"

namespace zel {

class CWindowOpener;

// `ui:dynlist-presets`: a list of a preset manager, of its banks
// (`is-show-banks`) or of the presets of its selected bank. Its entries
// come from the manager; it is editable only where renaming is allowed.
class CDynListPresets : public CTextView {
public:
    static void setupClass(CClassInfo& info);
    void attrChanged(const CString& name) override;
    bool isShowBanks() const { return getBool("is-show-banks", false); }
};

// `ui:preset-manager`: the root of a preset manager window. It lists the
// banks of the registry `param-registry` ("Factory ROM" and "Session Bank"
// for the master registry, then the user's banks kept in the application
// data `store-name`) and the presets of the selected bank, and runs the
// commands of its buttons and lists ("bank-add", "preset-activate", ...),
// asking first where a command cannot be undone. File loads and saves take
// a path; their failures show a message and change no bank.
class CPresetManager : public CWinDrag {
public:
    // System: a read-only bank of `store-name` when the user's banks are
    // kept apart in `store-name-user` (the colour presets).
    enum class EBank { Rom, Session, System, User };
    struct CBankEntry {
        EBank kind;
        size_t index;  // into the user banks
    };

    static void setupClass(CClassInfo& info);
    ~CPresetManager() override;
    CErrorPtr init() override;

    const std::vector<CBankEntry>& banks() const { return m_banks; }
    const std::vector<CAudioPresetBank>& userBanks() const { return m_user; }
    int selectedBank() const { return m_bank; }
    int selectedPreset() const { return m_preset; }
    EBank selectedKind() const;
    // Titles of the presets of the selected bank, as the list shows them.
    std::vector<CString> presetTitles() const;
    CErrorPtr selectBank(int index);
    CErrorPtr selectPreset(int index);

    CErrorPtr addBank(bool insert);
    CErrorPtr deleteBank();
    CErrorPtr renameBank(const CString& name);
    // Stores the current state (asked of the instance) as a new preset.
    CErrorPtr addPreset(bool insert);
    CErrorPtr deletePreset();
    CErrorPtr renamePreset(const CString& name);
    CErrorPtr replacePreset();
    CErrorPtr activatePreset();
    CErrorPtr setDefaultPreset();

    // Files: the banks change only when the file was read whole; failures
    // are shown to the user and returned.
    CErrorPtr loadBankFile(const CString& path);
    CErrorPtr saveBankFile(const CString& path);
    CErrorPtr loadPresetFile(const CString& path);
    CErrorPtr savePresetFile(const CString& path);
    // `filename-prefix` and the selected bank's or preset's name, with the
    // type's extension.
    CString proposedFileName(bool bank) const;
    // The folder last used for banks or presets, empty when none was.
    CString lastFolder(bool bank) const;

private:
    using CAnswer = std::function<CErrorPtr(const std::vector<uint8_t>& record)>;
    struct CPending {
        uint32_t kind;
        CAnswer answer;
    };

    template <size_t... N>
    static void registerCommands(CClassInfo& info, std::index_sequence<N...>);
    template <size_t N>
    CErrorPtr onCommand(CObject* params, CObject* sender);
    CErrorPtr runCommand(const CString& command, CObject* params);
    CErrorPtr runFileCommand(const CString& command, CObject* params);
    CErrorPtr onBankSelected(CObject* params, CObject* sender);
    CErrorPtr onBankRenamed(CObject* params, CObject* sender);
    CErrorPtr onPresetSelected(CObject* params, CObject* sender);
    CErrorPtr onPresetRenamed(CObject* params, CObject* sender);
    CErrorPtr onPresetDoubleClicked(CObject* params, CObject* sender);
    CErrorPtr onConfirmClicked(CObject* params, CObject* sender);
    void onRegistry(CUpdateNotifier& notifier, const CString& what);
    void onStore(CAppData& store, const CString& item);

    CErrorPtr confirm(const char* command);
    // The message popup of a failed file operation (the error event's).
    CErrorPtr showFileError(const char* event, const CErrorPtr& cause);
    CErrorPtr openPopup(const char* tag, const char* name, const std::function<void(CWinDrag&)>& prepare,
                        CWinDrag*& out);
    // Asks the instance for a preset or bank record; `answer` gets it.
    CErrorPtr request(bool bank, bool fromRom, int index, CAnswer answer);
    // The selected preset's record, at once or once the instance sent it.
    CErrorPtr withSelectedPreset(CAnswer answer);
    CErrorPtr withSelectedBank(std::function<CErrorPtr(const CAudioPresetBank&)> answer);
    CErrorPtr storeUser();
    void rebuildBanks();
    void refreshLists();
    void refreshButtons();
    // The bank and preset selected are kept in the setting `selection-data`
    // names, with the instance's state.
    CObject* selectionData();
    void restoreSelection();
    void storeSelection();
    void setButton(CView* row, const char* name, bool enabled);
    CAudioPresetBank* selectedUserBank();
    // The presets of a factory or system bank; null for the others.
    const CAudioPresetBank* fixedBank(const CBankEntry& bank) const;
    CString bankTitle(const CBankEntry& bank) const;
    bool isCompatible(const CAudioPreset& preset) const;
    void rememberFolder(bool bank, const CString& path);
    // Preset files: "cpf" unless `preset-file-ext`, `preset-file-descr` and
    // `preset-file-defpath` name another type (colour schemes).
    CFileType presetFileType() const;
    CFileType fileType(bool bank) const;
    CFolderMemory folderMemory(bool bank) const;

    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClient::CRegistry* m_registry = nullptr;
    CString m_registryId;
    CAudioPresetBank m_rom;
    bool m_isMaster = false;
    std::unique_ptr<CPresetStore> m_systemStore;
    std::vector<CAudioPresetBank> m_system;
    // The user's banks.
    std::unique_ptr<CPresetStore> m_store;
    std::vector<CAudioPresetBank> m_user;
    std::vector<CBankEntry> m_banks;
    int m_bank = -1, m_preset = -1;
    CDynListPresets* m_bankList = nullptr;
    CDynListPresets* m_presetList = nullptr;
    CView* m_bankButtons = nullptr;
    CView* m_presetButtons = nullptr;
    std::deque<CPending> m_pending;
    CString m_confirmEvent;
    bool m_saving = false;
    COwnedUpdateListener<CPresetManager> m_registryListener{*this, &CPresetManager::onRegistry};
    std::unique_ptr<CAppDataListener<CPresetManager>> m_storeListener;
};

}  // namespace zel
