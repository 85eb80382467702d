// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/QuickPresetSelector.h"

#include <algorithm>

#include "Core/MemoryStream.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/FolderMemory.h"
#include "UI/PresetStore.h"
#include "UI/WindowOpener.h"

#define ZEL_SOURCE_TAG "CQuickPresetSelector"

namespace zel {

bool matchesTitleFilter(const CString& pattern, const CString& title) {
    // '*' takes any run of characters, '?' one; the rest match exactly.
    size_t p = 0, t = 0, star = CString::npos, resume = 0;
    while (t < title.length()) {
        if (p < pattern.length() && (pattern.at(p) == u'?' || pattern.at(p) == title.at(t))) {
            ++p;
            ++t;
        } else if (p < pattern.length() && pattern.at(p) == u'*') {
            star = p++;
            resume = t;
        } else if (star != CString::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.length() && pattern.at(p) == u'*') ++p;
    return p == pattern.length();
}

void CQuickPresetSelector::setupClass(CClassInfo& info) { CButton::setupClass(info); }

CQuickPresetSelector::~CQuickPresetSelector() {
    m_files.reset();
    if (m_registry) m_registry->removeListener(m_listener);
    if (m_client && m_registry) (void)m_client->unlistenRegistry(*m_registry);
}

CErrorPtr CQuickPresetSelector::init() {
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "ui.interface-client"));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    const CString registry = hasAttr("param-registry") ? getAttr("param-registry") : CString("plugin.param-registry");
    // The client names registries by their object's name.
    const size_t dot = registry.rfind(u'.');
    ZEL_TRY(m_client->listenRegistry(dot == CString::npos ? registry : registry.substr(dot + 1), m_registry));
    m_registry->addListener(m_listener);
    // The factory presets are the registry's embedded bank.
    if (CObject* definition = findObject(registry))
        if (!definition->getAttr("file").empty()) (void)m_rom.loadFromResource(definition->getAttr("file"));
    m_files.reset();
    if (!getAttr("preset-file-ext").empty())
        m_files = std::make_unique<CPresetFiles>(*m_client, *m_registry, getAttr("preset-id-compat"));
    ZEL_TRY(CButton::init());
    readEntries();
    showCurrent();
    return nullptr;
}

void CQuickPresetSelector::onRegistry(CUpdateNotifier&, const CString&) {
    readEntries();
    showCurrent();
}

void CQuickPresetSelector::readStore(const CString& store, bool isGlobal, std::vector<CEntry>& out) {
    if (store.empty()) return;
    const CString filter = getAttr("forced-title-filter");
    // Every bank the preset managers keep there.
    for (const CAudioPresetBank& bank : CPresetStore(*this, store, isGlobal).load())
        for (const CAudioPreset& preset : bank.presets()) {
            // A user list that starts as a copy of the system one shows each
            // preset once; a preset of the user's that only shares a name
            // with another is listed too.
            const CString name = preset.displayName();
            if (!filter.empty() && matchesTitleFilter(filter, name)) continue;
            if (std::any_of(out.begin(), out.end(), [&](const CEntry& e) {
                    return e.source == ESource::Store && e.title == name && m_stored[e.index].items() == preset.items();
                }))
                continue;
            out.push_back({ESource::Store, m_stored.size(), name});
            m_stored.push_back(preset);
        }
}

void CQuickPresetSelector::readEntries() {
    std::vector<CEntry> entries;
    m_stored.clear();
    if (!m_rom.presets().empty()) {
        entries.push_back({ESource::Heading, 0, "[B]Factory ROM[/B]"});
        for (size_t i = 0; i < m_rom.presets().size(); ++i)
            entries.push_back({ESource::Rom, i, m_rom.presets()[i].displayName()});
        entries.push_back({ESource::Heading, 0, "[B]Session Bank[/B]"});
        for (size_t i = 0; m_registry && i < m_registry->programs().size(); ++i)
            entries.push_back({ESource::Session, i, m_registry->programs()[i]});
    }
    const bool isGlobal = getBool("is-global-data", false);
    readStore(getAttr("store-name"), isGlobal, entries);
    readStore(getAttr("store-name-user"), isGlobal, entries);
    if (hasFileCommands()) {
        entries.push_back({ESource::Heading, 0, "[B]File[/B]"});
        entries.push_back({ESource::LoadFile, 0, kLoadTitle});
        entries.push_back({ESource::SaveFile, 0, kSaveTitle});
    }
    m_entries = std::move(entries);
}

std::vector<CTextView::CListEntry> CQuickPresetSelector::entries() const {
    std::vector<CTextView::CListEntry> out;
    for (const CEntry& e : m_entries) {
        // The current program is marked as the preset manager marks it.
        const bool current = e.source == ESource::Session && m_registry && int(e.index) == m_registry->currentProgram();
        out.push_back({current ? "> " + e.title : e.title, e.source != ESource::Heading, false});
    }
    return out;
}

CErrorPtr CQuickPresetSelector::itemChosen(int index) {
    if (index < 0 || size_t(index) >= m_entries.size() || !m_registry) return nullptr;
    const CEntry& e = m_entries[size_t(index)];
    switch (e.source) {
        case ESource::Heading:
            return nullptr;
        case ESource::Rom:
            ZEL_TRY(m_client->activateFactoryPreset(*m_registry, int(e.index)));
            break;
        case ESource::Session:
            ZEL_TRY(m_client->setCurrentProgram(*m_registry, int(e.index)));
            break;
        case ESource::Store: {
            CMemoryWriter record;
            ZEL_TRY(m_stored[e.index].save(record));
            ZEL_TRY(m_client->activatePreset(*m_registry, record.bytes()));
            break;
        }
        case ESource::LoadFile:
            ZEL_TRY(browse(false, CString(), &CQuickPresetSelector::loadFile));
            break;
        case ESource::SaveFile:
            // The state is taken now; its name is the name proposed.
            ZEL_TRY(m_files->requestCurrent([this](const CAudioPreset& preset) {
                m_toSave = preset;
                return browse(true, preset.displayName(), &CQuickPresetSelector::saveAs);
            }));
            break;
    }
    return nullptr;
}

CErrorPtr CQuickPresetSelector::browse(bool isSave, const CString& proposedName,
                                       CErrorPtr (CQuickPresetSelector::*then)(const CString&)) {
    const CFileRequest ask =
        CFileRequest::of({getAttr("preset-file-ext"), getAttr("preset-file-descr"), getAttr("preset-file-defpath")},
                         isSave, proposedName);
    CObject* ui = findObject("ui");
    const CString self = fullName();
    return CFileBrowser::open(*this, ask, [ui, self, then](const std::string& chosen, bool cancelled) {
        if (cancelled || !ui) return;
        auto* selector = dynamic_cast<CQuickPresetSelector*>(ui->findObject(self));
        if (!selector) return;
        if (CErrorPtr err = (selector->*then)(CString::fromUtf8(chosen))) CSystem::showError(*err);
    });
}

CErrorPtr CQuickPresetSelector::loadFile(const CString& path) {
    if (!m_files) return nullptr;
    if (CErrorPtr err = m_files->load(path)) return showFileError("Preset file load", *err);
    CFolderMemory(getAttr("preset-file-defpath")).rememberFileIn(path);
    return nullptr;
}

CErrorPtr CQuickPresetSelector::saveFile(const CString& path) {
    if (!m_files) return nullptr;
    return m_files->requestCurrent([this, path](const CAudioPreset& preset) {
        m_toSave = preset;
        return saveAs(path);
    });
}

CErrorPtr CQuickPresetSelector::saveAs(const CString& path) {
    if (CErrorPtr err = CPresetFiles::save(m_toSave, path)) return showFileError("Preset file save", *err);
    CFolderMemory(getAttr("preset-file-defpath")).rememberFileIn(path);
    return nullptr;
}

CErrorPtr CQuickPresetSelector::showFileError(const char* title, const CError& error) {
    auto* opener = dynamic_cast<CWindowOpener*>(findObject("ui.window-shared-data.window-opener"));
    if (!opener)
        return ZEL_ERROR("@zelstr_CQuickPresetSelector_showFileError_Opener Unable to find the window opener.");
    CWinDrag* popup = nullptr;
    const CString message = error.text();
    ZEL_TRY(opener->openPopup("ui:win-message", "message", *this, popup, [&](CWinDrag& root) {
        root.setAttr("title", title);
        root.setAttr("title-message", message);
    }));
    return nullptr;
}

void CQuickPresetSelector::showCurrent() {
    // A list to choose from, not a choice kept: no entry stays selected.
    setAttr("selected-item", "-1");
    if (!getAttr("fixed-title").empty() || !m_registry) return;
    const int current = m_registry->currentProgram();
    if (current >= 0 && size_t(current) < m_registry->programs().size())
        setAttr("title", m_registry->programs()[size_t(current)]);
}

}  // namespace zel
