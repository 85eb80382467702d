// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PresetManager.h"

#include <algorithm>
#include <map>

#include "Core/MemoryStream.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/FolderMemory.h"
#include "UI/InputRouter.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "CPresetManager"

namespace zel {

namespace {

constexpr const char* kRomTitle = "Factory ROM";
constexpr const char* kSessionTitle = "Session Bank";
constexpr const char* kBuiltInTitle = "Built-in";
// A file operation that failed after its message popup told the user.
constexpr const char* kFileFailed = "@zelstr_CPresetManager_file_Failed %1 %2";

// Shows an error that reached no popup.
void showUnlessTold(const CError& error) {
    const std::string told(kFileFailed);
    if (error.key() != told.substr(0, told.find(' '))) CSystem::showError(error);
}
constexpr const char* kCurrentMark = "> ";

struct CConfirmation {
    const char* command;
    const char* title;
    const char* message;
    const char* confirm;
};
const CConfirmation kConfirmations[] = {
    {"bank-delete", "Delete bank?", "Are you sure you want to delete selected bank?", "[B]Delete[/B]"},
    {"preset-delete", "Delete preset?", "Are you sure you want to delete selected preset?", "[B]Delete[/B]"},
    {"preset-replace", "Update preset?", "Are you sure you want to update the selected preset?", "[B]Update[/B]"},
    {"preset-set-default", "Set as Default?", "Use this preset as default preset?", "[B]Set as Default[/B]"},
};

struct CFileError {
    const char* event;
    const char* title;
    const char* message;
};
const CFileError kFileErrors[] = {
    {"error-bank-load", "Bank file load", "Unsupported file or file read error."},
    {"error-bank-save", "Bank file save", "File write error."},
    {"error-preset-load", "Preset file load", "Unsupported file or file read error."},
    {"error-preset-save", "Preset file save", "File write error."},
    {"error-preset-type", "Preset file load", "Unsupported preset type."},
};

// The events of the buttons and lists; the file commands come last.
constexpr const char* kCommands[] = {"bank-add",       "bank-delete",     "preset-add",         "preset-delete",
                                     "preset-replace", "preset-activate", "preset-set-default", "preset-update",
                                     "bank-load",      "bank-save",       "preset-load",        "preset-save"};
constexpr size_t kFirstFileCommand = 8;

}  // namespace

template <size_t... N>
void CPresetManager::registerCommands(CClassInfo& info, std::index_sequence<N...>) {
    (info.onEvent(kCommands[N], &CPresetManager::onCommand<N>), ...);
}

// ---------------------------------------------------------------- list

void CDynListPresets::setupClass(CClassInfo& info) { CTextView::setupClass(info); }

void CDynListPresets::attrChanged(const CString& name) {
    CTextView::attrChanged(name);
    // The manager allows renaming per bank.
    if (name == CString("is-read-only")) editor().readOptions();
}

// ---------------------------------------------------------------- manager

void CPresetManager::setupClass(CClassInfo& info) {
    CWinDrag::setupClass(info);
    registerCommands(info, std::make_index_sequence<std::size(kCommands)>());
    info.onEvent("confirm-clicked", &CPresetManager::onConfirmClicked);
    info.onEvent("bank-selected", &CPresetManager::onBankSelected);
    info.onEvent("bank-renamed", &CPresetManager::onBankRenamed);
    info.onEvent("preset-selected", &CPresetManager::onPresetSelected);
    info.onEvent("preset-renamed", &CPresetManager::onPresetRenamed);
    info.onEvent("preset-double-clicked", &CPresetManager::onPresetDoubleClicked);
}

CPresetManager::~CPresetManager() {
    if (m_registry) m_registry->removeListener(m_registryListener);
    if (m_client && m_registry) (void)m_client->unlistenRegistry(*m_registry);
}

CErrorPtr CPresetManager::init() {
    if (!hasAttr("interface-client")) setAttr("interface-client", "ui.interface-client");
    ZEL_TRY(CWinDrag::init());
    const auto list = [this](const char* attr) {
        const CString path = getAttr(attr);
        return path.empty() ? nullptr : dynamic_cast<CDynListPresets*>(findObject("." + path));
    };
    m_bankList = list("bank-list-path");
    m_presetList = list("preset-list-path");
    if (!m_bankList || !m_presetList) return ZEL_ERROR("@zelstr_CPresetManager_init_NoList No preset list view found.");
    m_bankButtons = dynamic_cast<CView*>(findObject("." + getAttr("bank-buttons-path")));
    m_presetButtons = dynamic_cast<CView*>(findObject("." + getAttr("preset-buttons-path")));

    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    const CString registry = getAttr("param-registry");
    const size_t dot = registry.rfind(u'.');
    ZEL_TRY(m_client->listenRegistry(dot == CString::npos ? registry : registry.substr(dot + 1), m_registry));
    m_registry->addListener(m_registryListener);
    if (CObject* definition = findObject(registry)) {
        m_registryId = definition->getAttr("id");
        m_isMaster = definition->getBool("is-master", false);
        if (!definition->getAttr("file").empty()) (void)m_rom.loadFromResource(definition->getAttr("file"));
    }
    // With a user list, the banks of `store-name` are the plug-in's own
    // and read-only; the user's go to `store-name-user`.
    const bool isGlobal = getBool("is-global-data", false);
    const CString userStore = getAttr("store-name-user");
    if (!userStore.empty()) {
        m_systemStore = std::make_unique<CPresetStore>(*this, getAttr("store-name"), isGlobal);
        m_system = m_systemStore->load();
    }
    m_store = std::make_unique<CPresetStore>(*this, userStore.empty() ? getAttr("store-name") : userStore, isGlobal);
    m_storeListener =
        std::make_unique<CAppDataListener<CPresetManager>>(*this, &CPresetManager::onStore, m_store->data());
    m_user = m_store->load();

    ZEL_TRY(listenObject(m_bankList, "selected-paragraph-changed", "bank-selected"));
    ZEL_TRY(listenObject(m_bankList, "paragraph-text-changed", "bank-renamed"));
    ZEL_TRY(listenObject(m_presetList, "selected-paragraph-changed", "preset-selected"));
    ZEL_TRY(listenObject(m_presetList, "paragraph-text-changed", "preset-renamed"));
    ZEL_TRY(listenObject(m_presetList, "paragraph-dbl-clicked", "preset-double-clicked"));
    rebuildBanks();
    m_bank = m_banks.empty() ? -1 : 0;
    m_preset = presetTitles().empty() ? -1 : 0;
    restoreSelection();
    refreshLists();
    return nullptr;
}

// ---------------------------------------------------------------- model

void CPresetManager::rebuildBanks() {
    m_banks.clear();
    if (!m_rom.presets().empty()) m_banks.push_back({EBank::Rom, 0});
    if (m_isMaster) m_banks.push_back({EBank::Session, 0});
    for (size_t i = 0; i < m_system.size(); ++i) m_banks.push_back({EBank::System, i});
    for (size_t i = 0; i < m_user.size(); ++i) m_banks.push_back({EBank::User, i});
}

CPresetManager::EBank CPresetManager::selectedKind() const {
    if (m_bank < 0 || size_t(m_bank) >= m_banks.size()) return EBank::Rom;
    return m_banks[size_t(m_bank)].kind;
}

const CAudioPresetBank* CPresetManager::fixedBank(const CBankEntry& bank) const {
    if (bank.kind == EBank::Rom) return &m_rom;
    if (bank.kind == EBank::System) return &m_system[bank.index];
    return nullptr;
}

CString CPresetManager::bankTitle(const CBankEntry& bank) const {
    switch (bank.kind) {
        case EBank::Rom:
            return kRomTitle;
        case EBank::Session:
            return kSessionTitle;
        case EBank::System:
            return m_system[bank.index].name().empty() ? CString(kBuiltInTitle) : m_system[bank.index].name();
        case EBank::User:
            break;
    }
    return m_user[bank.index].name();
}

CAudioPresetBank* CPresetManager::selectedUserBank() {
    if (m_bank < 0 || size_t(m_bank) >= m_banks.size() || m_banks[size_t(m_bank)].kind != EBank::User) return nullptr;
    return &m_user[m_banks[size_t(m_bank)].index];
}

bool CPresetManager::isCompatible(const CAudioPreset& preset) const {
    if (preset.registryId() != m_registryId) return false;
    if (!getBool("is-check-routing-compatibility", false)) return true;
    // A routing preset made for side-chain inputs routes channels that an
    // instance without them does not have; mid/side pairs need an instance
    // that codes them.
    const auto has = [&](const char* key) { return preset.items().count(key) > 0; };
    if (has("sidechain") && !getBool("is-sidechain", false)) return false;
    if (has("ms-pairs") && !getBool("is-mid-side", true)) return false;
    return true;
}

std::vector<CString> CPresetManager::presetTitles() const {
    std::vector<CString> out;
    if (m_bank < 0 || size_t(m_bank) >= m_banks.size()) return out;
    const CBankEntry& bank = m_banks[size_t(m_bank)];
    switch (bank.kind) {
        case EBank::Rom:
        case EBank::System:
            for (const CAudioPreset& p : fixedBank(bank)->presets()) out.push_back(p.displayName());
            break;
        case EBank::Session:
            for (size_t i = 0; m_registry && i < m_registry->programs().size(); ++i)
                out.push_back(int(i) == m_registry->currentProgram() ? kCurrentMark + m_registry->programs()[i]
                                                                     : m_registry->programs()[i]);
            break;
        case EBank::User:
            for (const CAudioPreset& p : m_user[bank.index].presets()) out.push_back(p.displayName());
            break;
    }
    return out;
}

CErrorPtr CPresetManager::selectBank(int index) {
    if (index < 0 || size_t(index) >= m_banks.size()) return nullptr;
    m_bank = index;
    m_preset = presetTitles().empty() ? -1 : 0;
    refreshLists();
    return nullptr;
}

CErrorPtr CPresetManager::selectPreset(int index) {
    const int count = int(presetTitles().size());
    m_preset = count == 0 ? -1 : std::clamp(index, 0, count - 1);
    refreshLists();
    return nullptr;
}

void CPresetManager::refreshLists() {
    std::vector<CTextView::CListEntry> banks;
    for (const CBankEntry& b : m_banks) {
        CString title = bankTitle(b);
        if (title.empty()) title = getAttr("defbankname");
        banks.push_back({title, true, false});
    }
    m_bankList->setEntries(banks);
    m_bankList->setInt("selected-paragraph", m_bank);

    std::vector<CTextView::CListEntry> presets;
    const std::vector<CString> titles = presetTitles();
    const CAudioPresetBank* user =
        m_bank >= 0 && size_t(m_bank) < m_banks.size() && m_banks[size_t(m_bank)].kind == EBank::User
            ? &m_user[m_banks[size_t(m_bank)].index]
            : nullptr;
    for (size_t i = 0; i < titles.size(); ++i) {
        // A preset that does not fit this instance is shown, but in italics,
        // and is not activated.
        const bool fits = !user || isCompatible(user->presets()[i]);
        presets.push_back({fits ? titles[i] : "[I]" + titles[i] + "[/I]", true, false});
    }
    m_presetList->setEntries(presets);
    m_presetList->setInt("selected-paragraph", m_preset);
    refreshButtons();
    storeSelection();
}

CObject* CPresetManager::selectionData() {
    const CString path = getAttr("selection-data");
    return path.empty() ? nullptr : findObject(path);
}

void CPresetManager::restoreSelection() {
    // The bank and preset last worked in, as the user left them: "bank;preset".
    const CObject* data = selectionData();
    const CString text = data ? data->getAttr("selection") : CString();
    const size_t semicolon = text.find(u';');
    long long bank = -1, preset = -1;
    if (semicolon == CString::npos || !parseInt(text.substr(0, semicolon), bank) ||
        !parseInt(text.substr(semicolon + 1), preset))
        return;
    if (bank < 0 || size_t(bank) >= m_banks.size()) return;
    m_bank = int(bank);
    const int count = int(presetTitles().size());
    m_preset = count == 0 ? -1 : int(std::clamp<long long>(preset, 0, count - 1));
}

void CPresetManager::storeSelection() {
    CObject* data = selectionData();
    if (!data) return;
    const CString text = toText((long long)m_bank) + ";" + toText((long long)m_preset);
    if (data->getAttr("selection") != text)
        if (CErrorPtr err = data->setAttr("selection", text)) CSystem::showError(*err);
}

void CPresetManager::setButton(CView* row, const char* name, bool enabled) {
    if (!row) return;
    if (auto* button = dynamic_cast<CView*>(row->findChild(name))) button->setBool("is-disabled", !enabled);
}

void CPresetManager::refreshButtons() {
    const EBank kind = selectedKind();
    const bool user = kind == EBank::User;
    const bool hasPreset = m_preset >= 0;
    setButton(m_bankButtons, "delete", user);
    setButton(m_bankButtons, "save", m_bank >= 0);
    setButton(m_presetButtons, "add", user);
    setButton(m_presetButtons, "delete", user && hasPreset);
    setButton(m_presetButtons, "replace", user && hasPreset);
    setButton(m_presetButtons, "activate", hasPreset);
    setButton(m_presetButtons, "set-default", hasPreset && m_isMaster);
    setButton(m_presetButtons, "load", kind == EBank::Session || user);
    setButton(m_presetButtons, "save", hasPreset);
    // Factory presets keep their names; a session program is renamed while
    // it is the current one.
    m_bankList->setBool("is-read-only", !user);
    m_presetList->setBool(
        "is-read-only", !(user || (kind == EBank::Session && m_registry && m_preset == m_registry->currentProgram())));
}

CErrorPtr CPresetManager::storeUser() {
    m_saving = true;
    CErrorPtr err = m_store->save(m_user);
    m_saving = false;
    if (err) {
        // What is stored is what the user has: take it back.
        m_user = m_store->load();
        rebuildBanks();
        m_bank = std::min(m_bank, int(m_banks.size()) - 1);
        m_preset = std::min(m_preset, int(presetTitles().size()) - 1);
        refreshLists();
        return ZEL_PASS(err);
    }
    refreshLists();
    return nullptr;
}

void CPresetManager::onStore(CAppData&, const CString& item) {
    // Another instance changed the banks.
    if (m_systemStore && m_systemStore->isItem(item)) {
        m_system = m_systemStore->load();
        rebuildBanks();
        m_bank = std::min(m_bank, int(m_banks.size()) - 1);
        m_preset = std::min(m_preset, int(presetTitles().size()) - 1);
        refreshLists();
        return;
    }
    if (m_saving || !m_store->isItem(item)) return;
    m_user = m_store->load();
    rebuildBanks();
    m_bank = std::min(m_bank, int(m_banks.size()) - 1);
    m_preset = std::min(m_preset, int(presetTitles().size()) - 1);
    refreshLists();
}

void CPresetManager::onRegistry(CUpdateNotifier&, const CString& what) {
    if (what == CString(bridge::kRegistryData)) {
        if (m_pending.empty() || m_pending.front().kind != m_registry->dataKind()) return;
        CAnswer answer = std::move(m_pending.front().answer);
        m_pending.pop_front();
        if (CErrorPtr err = answer(m_registry->data())) showUnlessTold(*err);
        return;
    }
    // The programs or the current one changed.
    if (selectedKind() == EBank::Session) m_preset = std::min(m_preset, int(presetTitles().size()) - 1);
    refreshLists();
}

CErrorPtr CPresetManager::request(bool bank, bool fromRom, int index, CAnswer answer) {
    m_pending.push_back(
        {bank ? uint32_t(bridge::CRegistryData::kBank) : uint32_t(bridge::CRegistryData::kPreset), std::move(answer)});
    CErrorPtr err = bank ? m_client->requestBank(*m_registry) : m_client->requestPreset(*m_registry, fromRom, index);
    if (err) {
        m_pending.pop_back();
        return ZEL_PASS(err);
    }
    return nullptr;
}

CErrorPtr CPresetManager::withSelectedPreset(CAnswer answer) {
    if (m_preset < 0) return nullptr;
    CMemoryWriter record;
    switch (selectedKind()) {
        case EBank::Rom:
        case EBank::System:
            ZEL_TRY(fixedBank(m_banks[size_t(m_bank)])->presets()[size_t(m_preset)].save(record));
            break;
        case EBank::Session:
            ZEL_TRY(request(false, false, m_preset, std::move(answer)));
            return nullptr;
        case EBank::User:
            ZEL_TRY(selectedUserBank()->presets()[size_t(m_preset)].save(record));
            break;
    }
    ZEL_TRY(answer(record.bytes()));
    return nullptr;
}

CErrorPtr CPresetManager::withSelectedBank(std::function<CErrorPtr(const CAudioPresetBank&)> answer) {
    switch (selectedKind()) {
        case EBank::Rom:
        case EBank::System: {
            // A nameless bank is saved under the title the list shows.
            CAudioPresetBank bank = *fixedBank(m_banks[size_t(m_bank)]);
            if (bank.name().empty()) bank.setName(bankTitle(m_banks[size_t(m_bank)]));
            ZEL_TRY(answer(bank));
            return nullptr;
        }
        case EBank::Session:
            ZEL_TRY(request(true, false, -1, [answer](const std::vector<uint8_t>& record) -> CErrorPtr {
                CAudioPresetBank bank(kSessionTitle);
                CMemoryReaderStatic in(record.data(), record.size());
                ZEL_TRY(bank.load(in));
                if (bank.name().empty()) bank.setName(kSessionTitle);
                ZEL_TRY(answer(bank));
                return nullptr;
            }));
            return nullptr;
        case EBank::User:
            ZEL_TRY(answer(*selectedUserBank()));
            return nullptr;
    }
    return nullptr;
}

// ---------------------------------------------------------------- commands

CErrorPtr CPresetManager::addBank(bool insert) {
    // User banks come after the factory and session banks.
    size_t at = m_user.size();
    if (CAudioPresetBank* selected = selectedUserBank()) {
        at = size_t(selected - m_user.data()) + (insert ? 0 : 1);
    } else if (insert) {
        at = 0;
    }
    m_user.insert(m_user.begin() + long(at), CAudioPresetBank(getAttr("defbankname")));
    rebuildBanks();
    m_bank = int(m_banks.size() - m_user.size() + at);
    m_preset = -1;
    ZEL_TRY(storeUser());
    return nullptr;
}

CErrorPtr CPresetManager::deleteBank() {
    CAudioPresetBank* bank = selectedUserBank();
    if (!bank) return nullptr;
    m_user.erase(m_user.begin() + (bank - m_user.data()));
    rebuildBanks();
    m_bank = std::min(m_bank, int(m_banks.size()) - 1);
    m_preset = presetTitles().empty() ? -1 : 0;
    ZEL_TRY(storeUser());
    return nullptr;
}

CErrorPtr CPresetManager::renameBank(const CString& name) {
    CAudioPresetBank* bank = selectedUserBank();
    if (!bank || name.empty()) {
        refreshLists();
        return nullptr;
    }
    bank->setName(name);
    ZEL_TRY(storeUser());
    return nullptr;
}

CErrorPtr CPresetManager::addPreset(bool insert) {
    if (!selectedUserBank()) return nullptr;
    const int bankAt = m_bank;
    // The live state (the master's current program); the new preset takes
    // the default name.
    return request(false, false, -1, [this, bankAt, insert](const std::vector<uint8_t>& record) {
        if (m_bank != bankAt || !selectedUserBank()) return CErrorPtr();
        CAudioPreset preset;
        CMemoryReaderStatic in(record.data(), record.size());
        ZEL_TRY(preset.load(in));
        preset.setName(CAudioPreset::makeName(m_registryId, getAttr("defpresetname")));
        std::vector<CAudioPreset>& presets = selectedUserBank()->presets();
        const size_t at = m_preset < 0 ? presets.size() : size_t(m_preset) + (insert ? 0 : 1);
        presets.insert(presets.begin() + long(at), std::move(preset));
        m_preset = int(at);
        ZEL_TRY(storeUser());
        return CErrorPtr();
    });
}

CErrorPtr CPresetManager::deletePreset() {
    CAudioPresetBank* bank = selectedUserBank();
    if (!bank || m_preset < 0) return nullptr;
    bank->presets().erase(bank->presets().begin() + m_preset);
    m_preset = std::min(m_preset, int(bank->presets().size()) - 1);
    ZEL_TRY(storeUser());
    return nullptr;
}

CErrorPtr CPresetManager::renamePreset(const CString& name) {
    const EBank kind = selectedKind();
    if (m_preset < 0 || name.empty() || kind == EBank::Rom || kind == EBank::System) {
        refreshLists();
        return nullptr;
    }
    if (kind == EBank::Session) {
        if (m_preset != m_registry->currentProgram()) {
            refreshLists();
            return nullptr;
        }
        ZEL_TRY(m_client->renamePreset(*m_registry, name));
        return nullptr;
    }
    CAudioPreset& preset = selectedUserBank()->presets()[size_t(m_preset)];
    preset.setName(CAudioPreset::makeName(preset.registryId(), name));
    ZEL_TRY(storeUser());
    return nullptr;
}

CErrorPtr CPresetManager::replacePreset() {
    if (!selectedUserBank() || m_preset < 0) return nullptr;
    const int bankAt = m_bank, presetAt = m_preset;
    return request(false, false, -1, [this, bankAt, presetAt](const std::vector<uint8_t>& record) {
        CAudioPresetBank* bank = selectedUserBank();
        if (m_bank != bankAt || !bank || size_t(presetAt) >= bank->presets().size()) return CErrorPtr();
        CAudioPreset preset;
        CMemoryReaderStatic in(record.data(), record.size());
        ZEL_TRY(preset.load(in));
        // The preset keeps its name.
        preset.setName(bank->presets()[size_t(presetAt)].name());
        bank->presets()[size_t(presetAt)].swap(preset);
        ZEL_TRY(storeUser());
        return CErrorPtr();
    });
}

CErrorPtr CPresetManager::activatePreset() {
    if (m_preset < 0) return nullptr;
    switch (selectedKind()) {
        case EBank::Rom:
            ZEL_TRY(m_client->activateFactoryPreset(*m_registry, m_preset));
            break;
        case EBank::Session:
            ZEL_TRY(m_client->setCurrentProgram(*m_registry, m_preset));
            break;
        case EBank::System:
        case EBank::User: {
            const CBankEntry& bank = m_banks[size_t(m_bank)];
            const CAudioPreset& preset = bank.kind == EBank::User ? m_user[bank.index].presets()[size_t(m_preset)]
                                                                  : fixedBank(bank)->presets()[size_t(m_preset)];
            if (!isCompatible(preset)) return nullptr;
            CMemoryWriter record;
            ZEL_TRY(preset.save(record));
            ZEL_TRY(m_client->activatePreset(*m_registry, record.bytes()));
            break;
        }
    }
    return nullptr;
}

CErrorPtr CPresetManager::setDefaultPreset() {
    if (!m_isMaster) return nullptr;
    return withSelectedPreset([this](const std::vector<uint8_t>& record) {
        ZEL_TRY(m_client->setDefaultPreset(*m_registry, record));
        return CErrorPtr();
    });
}

// ---------------------------------------------------------------- files

CErrorPtr CPresetManager::showFileError(const char* event, const CErrorPtr& cause) {
    for (const CFileError& e : kFileErrors) {
        if (CString(event) != e.event) continue;
        CWinDrag* popup = nullptr;
        (void)CInputRouter::sendToView(*this, event, nullptr, this);
        ZEL_TRY(openPopup(
            "ui:win-message", "message",
            [&](CWinDrag& root) {
                root.setAttr("title", e.title);
                root.setAttr("title-message", e.message);
            },
            popup));
        return ZEL_ERROR(kFileFailed, e.message, cause ? CString::fromUtf8(cause->describe()) : CString());
    }
    return nullptr;
}

CFileType CPresetManager::presetFileType() const {
    const auto attr = [this](const char* name, const char* otherwise) {
        const CString value = getAttr(name);
        return value.empty() ? CString(otherwise) : value;
    };
    return {attr("preset-file-ext", "cpf"), attr("preset-file-descr", "Compressed preset files"),
            attr("preset-file-defpath", "defpath-preset")};
}

CFileType CPresetManager::fileType(bool bank) const {
    return bank ? CFileType{"cbf", "Compressed bank files", "defpath-bank"} : presetFileType();
}

CFolderMemory CPresetManager::folderMemory(bool bank) const { return CFolderMemory(fileType(bank).defpath); }

void CPresetManager::rememberFolder(bool bank, const CString& path) { folderMemory(bank).rememberFileIn(path); }

CString CPresetManager::lastFolder(bool bank) const { return folderMemory(bank).folder(); }

CString CPresetManager::proposedFileName(bool bank) const {
    CString name;
    if (bank) {
        if (m_bank >= 0 && size_t(m_bank) < m_banks.size()) {
            name = bankTitle(m_banks[size_t(m_bank)]);
        }
    } else if (m_preset >= 0) {
        name = presetTitles()[size_t(m_preset)];
        if (name.startsWith(kCurrentMark)) name = name.substr(2);
    }
    if (name.empty()) name = getAttr(bank ? "defbankname" : "defpresetname");
    return getAttr("filename-prefix") + name + "." + (bank ? CString("cbf") : presetFileType().extension);
}

CErrorPtr CPresetManager::loadBankFile(const CString& path) {
    CAudioPresetBank bank;
    if (CErrorPtr err = bank.loadFromFile(path)) return showFileError("error-bank-load", err);
    for (const CAudioPreset& preset : bank.presets())
        if (preset.registryId() != m_registryId) return showFileError("error-preset-type", nullptr);
    if (bank.name().empty()) bank.setName(getAttr("defbankname"));
    // Below the selected bank, and never among the factory and session banks.
    const CAudioPresetBank* selected = selectedUserBank();
    const size_t at = selected ? size_t(selected - m_user.data()) + 1 : 0;
    m_user.insert(m_user.begin() + long(at), std::move(bank));
    rebuildBanks();
    m_bank = int(m_banks.size() - m_user.size() + at);
    m_preset = presetTitles().empty() ? -1 : 0;
    if (CErrorPtr err = storeUser()) return showFileError("error-bank-load", err);
    rememberFolder(true, path);
    ZEL_TRY(CInputRouter::sendToView(*this, "on-bank-load", nullptr, this));
    return nullptr;
}

CErrorPtr CPresetManager::saveBankFile(const CString& path) {
    return withSelectedBank([this, path](const CAudioPresetBank& bank) {
        if (CErrorPtr err = bank.saveToFile(path)) return showFileError("error-bank-save", err);
        rememberFolder(true, path);
        ZEL_TRY(CInputRouter::sendToView(*this, "on-bank-save", nullptr, this));
        return CErrorPtr();
    });
}

CErrorPtr CPresetManager::loadPresetFile(const CString& path) {
    CAudioPreset preset;
    if (CErrorPtr err = preset.loadFromFile(path)) return showFileError("error-preset-load", err);
    const CString compatible = getAttr("preset-id-compat");
    const CString id = preset.registryId();
    if (id != m_registryId && (compatible.empty() || (";" + compatible + ";").find(";" + id + ";") == CString::npos))
        return showFileError("error-preset-type", nullptr);
    switch (selectedKind()) {
        case EBank::Rom:
        case EBank::System:
            return nullptr;
        case EBank::Session: {
            // Into the current program.
            CMemoryWriter record;
            ZEL_TRY(preset.save(record));
            ZEL_TRY(m_client->activatePreset(*m_registry, record.bytes()));
            break;
        }
        case EBank::User: {
            std::vector<CAudioPreset>& presets = selectedUserBank()->presets();
            const size_t at = m_preset < 0 ? presets.size() : size_t(m_preset) + 1;
            presets.insert(presets.begin() + long(at), std::move(preset));
            m_preset = int(at);
            if (CErrorPtr err = storeUser()) return showFileError("error-preset-load", err);
            break;
        }
    }
    rememberFolder(false, path);
    ZEL_TRY(CInputRouter::sendToView(*this, "on-preset-load", nullptr, this));
    return nullptr;
}

CErrorPtr CPresetManager::savePresetFile(const CString& path) {
    return withSelectedPreset([this, path](const std::vector<uint8_t>& record) {
        CAudioPreset preset;
        CMemoryReaderStatic in(record.data(), record.size());
        CErrorPtr err = preset.load(in);
        if (!err) err = preset.saveToFile(path);
        if (err) return showFileError("error-preset-save", err);
        rememberFolder(false, path);
        ZEL_TRY(CInputRouter::sendToView(*this, "on-preset-save", nullptr, this));
        return CErrorPtr();
    });
}

// ---------------------------------------------------------------- events

CErrorPtr CPresetManager::openPopup(const char* tag, const char* name, const std::function<void(CWinDrag&)>& prepare,
                                    CWinDrag*& out) {
    auto* opener = dynamic_cast<CWindowOpener*>(findObject("ui.window-shared-data.window-opener"));
    if (!opener) return ZEL_ERROR("@zelstr_CTextView_openPopup_Opener Unable to find the window opener.");
    ZEL_TRY(opener->openPopup(tag, name, *this, out, prepare));
    return nullptr;
}

CErrorPtr CPresetManager::confirm(const char* command) {
    for (const CConfirmation& c : kConfirmations) {
        if (CString(command) != c.command) continue;
        m_confirmEvent = command;
        CWinDrag* popup = nullptr;
        ZEL_TRY(openPopup(
            "ui:win-confirmation", "confirmation",
            [&](CWinDrag& root) {
                root.setAttr("title", c.title);
                root.setAttr("title-message", c.message);
                root.setAttr("title-confirm", c.confirm);
                root.setAttr("title-close", "Cancel");
                root.setAttr("confirm-event", command);
            },
            popup));
        if (CObject* button = popup->findObject(".buttons.confirm"))
            ZEL_TRY(listenObject(button, "button-clicked", "confirm-clicked"));
        return nullptr;
    }
    return nullptr;
}

template <size_t N>
CErrorPtr CPresetManager::onCommand(CObject* params, CObject*) {
    const CString name = kCommands[N];
    if (N >= kFirstFileCommand) return runFileCommand(name, params);
    return runCommand(name, params);
}

CErrorPtr CPresetManager::onConfirmClicked(CObject*, CObject*) {
    const CString command = m_confirmEvent;
    m_confirmEvent.clear();
    if (command == CString("bank-delete")) return deleteBank();
    if (command == CString("preset-delete")) return deletePreset();
    if (command == CString("preset-replace")) return replacePreset();
    if (command == CString("preset-set-default")) return setDefaultPreset();
    return nullptr;
}

CErrorPtr CPresetManager::runCommand(const CString& command, CObject* params) {
    const bool insert = params && params->getBool("is-insert", false);
    if (command == CString("bank-add")) return addBank(insert);
    if (command == CString("preset-add")) return addPreset(insert);
    if (command == CString("preset-activate")) return activatePreset();
    if (command == CString("preset-update")) {
        m_user = m_store->load();
        rebuildBanks();
        refreshLists();
        return nullptr;
    }
    const bool allowed = command == CString("bank-delete")          ? selectedUserBank() != nullptr
                         : command == CString("preset-set-default") ? m_isMaster && m_preset >= 0
                                                                    : selectedUserBank() && m_preset >= 0;
    if (!allowed) return nullptr;
    return confirm(command.utf8().c_str());
}

CErrorPtr CPresetManager::runFileCommand(const CString& command, CObject* params) {
    const bool bank = command.startsWith("bank-");
    const bool load = command == CString("bank-load") || command == CString("preset-load");
    const CString path = params ? params->getAttr("path") : CString();
    if (!path.empty()) {
        if (bank) return load ? loadBankFile(path) : saveBankFile(path);
        return load ? loadPresetFile(path) : savePresetFile(path);
    }
    // The file browser answers with the same command and the path chosen.
    const CFileRequest ask = CFileRequest::of(fileType(bank), !load, proposedFileName(bank));
    // The manager may close while the browser is open: the answer finds it
    // again by its path, and a cancel (also what a closing editor reports)
    // touches nothing.
    CObject* ui = findObject("ui");
    const CString self = fullName();
    return CFileBrowser::open(*this, ask, [ui, self, command](const std::string& chosen, bool cancelled) {
        if (cancelled || !ui) return;
        auto* manager = dynamic_cast<CPresetManager*>(ui->findObject(self));
        if (!manager) return;
        CObject answer;
        answer.setAttr("path", CString::fromUtf8(chosen));
        if (CErrorPtr err = manager->runFileCommand(command, &answer)) showUnlessTold(*err);
    });
}

CErrorPtr CPresetManager::onBankSelected(CObject* params, CObject*) {
    const int index = params ? int(params->getInt("paragraph-index", -1)) : -1;
    return index == m_bank ? nullptr : selectBank(index);
}

CErrorPtr CPresetManager::onBankRenamed(CObject* params, CObject*) {
    if (!params || int(params->getInt("paragraph-index", -1)) != m_bank) return nullptr;
    return renameBank(params->getAttr("text"));
}

CErrorPtr CPresetManager::onPresetSelected(CObject* params, CObject*) {
    const int index = params ? int(params->getInt("paragraph-index", -1)) : -1;
    return index == m_preset || index < 0 ? nullptr : selectPreset(index);
}

CErrorPtr CPresetManager::onPresetRenamed(CObject* params, CObject*) {
    if (!params || int(params->getInt("paragraph-index", -1)) != m_preset) return nullptr;
    CString text = params->getAttr("text");
    if (text.startsWith(kCurrentMark)) text = text.substr(2);
    return renamePreset(text);
}

CErrorPtr CPresetManager::onPresetDoubleClicked(CObject* params, CObject*) {
    const int index = params ? int(params->getInt("paragraph-index", -1)) : -1;
    if (index < 0) return nullptr;
    ZEL_TRY(selectPreset(index));
    ZEL_TRY(activatePreset());
    return nullptr;
}

}  // namespace zel
