// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamRegistry.h"

#include <set>

#include "Audio/Param.h"
#include "Audio/ParamDef.h"
#include "Audio/ParamTransaction.h"
#include "Audio/ParamUndo.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "ParamRegistry"

namespace zel {

namespace {

constexpr const char* kRomBankName = "Factory ROM";
constexpr const char* kSessionBankName = "Session Bank";

}  // namespace

// ---------------------------------------------------------------- setup

CErrorPtr CAudioParamRegistry::readRemap(const CString& text) {
    m_remap.clear();
    for (const CString& part : splitText(text, u',')) {
        for (const CString& raw : splitText(part, u';')) {
            const CString entry = trimText(raw);
            if (entry.empty()) continue;
            const size_t eq = entry.find(u'=');
            if (eq == CString::npos) return ZEL_ERROR("Invalid remapping string '%1' defined.", entry);
            m_remap.emplace_back(trimText(entry.substr(0, eq)), trimText(entry.substr(eq + 1)));
        }
    }
    return nullptr;
}

CErrorPtr CAudioParamRegistry::init() {
    ZEL_TRY(CObject::init());
    m_id = getAttr("id");
    m_hierarchy = getAttr("hierarchy");
    ZEL_TRY(readRemap(getAttr("def-name-remap")));
    m_isMaster = getBool("is-master", false);
    m_isGlobalParamStorable = getBool("is-global-param-storable", false);
    m_storeName = getAttr("store-name");
    if (m_storeName.startsWith("/")) m_storeName = m_storeName.substr(1);
    m_file = getAttr("file");
    m_presetNameParam = getAttr("preset-name-param");
    m_presetNaming = getAttr("preset-naming");
    m_groupNamesParam = getAttr("group-names-param");
    ZEL_TRY(findObjectByAttr("param-collector", m_collector));
    m_undo = nullptr;
    if (!getAttr("param-undo").empty()) {
        CAudioParamUndoOwner* owner = nullptr;
        ZEL_TRY(findObjectByAttr("param-undo", owner));
        m_undo = &owner->undo();
    }
    m_params.clear();
    const CString prefix = m_hierarchy + ".";
    for (const auto& [name, param] : m_collector->params())
        if (name.startsWith(prefix)) m_params[name.substr(prefix.length())] = param;
    if (m_isMaster) initMaster();
    return nullptr;
}

void CAudioParamRegistry::initMaster() {
    // A missing or damaged factory bank leaves the ROM bank empty: the
    // plug-in still works with its session bank.
    m_romBank = CAudioPresetBank();
    m_sessionBank = CAudioPresetBank();
    if (!m_file.empty()) m_romBank.loadFromResource(m_file);
    m_romBank.setName(kRomBankName);
    m_sessionBank.setName(kSessionBankName);
    m_currentProgram = 0;
    if (m_sessionBank.presets().empty()) {
        CAudioPreset defaults;
        capture(defaults);
        defaults.setName(CAudioPreset::makeName(m_id, "Default"));
        m_sessionBank.presets().push_back(std::move(defaults));
    }
    m_programHistories.assign(m_sessionBank.presets().size(), {});
    m_defaultPresetLoaded = false;
    presetNameFollowed();
    loadDefaultPreset();
}

void CAudioParamRegistry::loadDefaultPreset() {
    // A missing or unreadable item leaves the embedded default; the store
    // has already set an unreadable file aside.
    std::vector<uint8_t> payload;
    if (CAppDataLocal::instance().readItem(kDefaultPresetItem, payload, CAudioPreset::kTag)) return;
    CMemoryReader in(std::move(payload));
    CAudioPreset preset;
    CErrorPtr err = preset.load(in);
    // Checked like any other preset: one this registry would refuse must not
    // become program 0, or every state saved from it would be refused too.
    if (!err) err = check(preset);
    if (!err) {
        // A new instance starts in the user's default, not only under its
        // name; this is no step to undo. An item that does not fit puts
        // the embedded default back whole.
        const CAudioPreset embedded = m_sessionBank.presets()[0];
        CAudioParamTransaction tx(*m_collector);
        err = apply(preset, tx);
        if (err) apply(embedded, tx);
        tx.finish(CString());
    }
    if (err) {
        CAppDataLocal::instance().setItemAside(kDefaultPresetItem, *err);
        return;
    }
    m_sessionBank.presets()[0] = std::move(preset);
    m_defaultPresetLoaded = true;
}

// ---------------------------------------------------------------- names

bool CAudioParamRegistry::captures(const CAudioParam& p, bool includePersistent) const {
    const CAudioParamInfo& info = p.info();
    return info.isStorable || (info.isPersistent && includePersistent) || (info.isGlobal && m_isGlobalParamStorable);
}

CString CAudioParamRegistry::definitionName(const CString& runTimeName) const {
    for (const auto& [runTime, definition] : m_remap) {
        if (!runTimeName.startsWith(runTime)) continue;
        if (runTimeName.length() == runTime.length() || runTimeName.at(runTime.length()) == u'.')
            return definition + runTimeName.substr(runTime.length());
    }
    return runTimeName;
}

CAudioParam* CAudioParamRegistry::lookup(const CString& key) const {
    auto it = m_params.find(key);
    if (it != m_params.end()) return it->second;
    // Keys written as definition names ("audio.modMain.x") map back to the
    // run-time tree.
    for (const auto& [runTime, definition] : m_remap) {
        if (!key.startsWith(definition)) continue;
        if (key.length() != definition.length() && key.at(definition.length()) != u'.') continue;
        const CString full = runTime + key.substr(definition.length());
        const CString prefix = m_hierarchy + ".";
        if (!full.startsWith(prefix)) continue;
        it = m_params.find(full.substr(prefix.length()));
        if (it != m_params.end()) return it->second;
    }
    return nullptr;
}

CAudioParam* CAudioParamRegistry::paramNamed(const CString& fullName) const {
    return fullName.empty() ? nullptr : m_collector->find(fullName);
}

CString CAudioParamRegistry::groupName(int group) const {
    if (CAudioParam* names = paramNamed(m_groupNamesParam)) {
        std::lock_guard<std::mutex> lock(names->lock());
        return names->storage().text(0, size_t(group));
    }
    return toText(group + 1);
}

CString CAudioParamRegistry::captureName() const {
    if (m_isMaster && size_t(m_currentProgram) < m_sessionBank.presets().size()) {
        // A program loaded from a foreign bank may carry another registry's
        // id; what is captured here must pass this registry's own check.
        const CAudioPreset& program = m_sessionBank.presets()[size_t(m_currentProgram)];
        if (program.registryId() == m_id) return program.name();
        return CAudioPreset::makeName(m_id, program.displayName());
    }
    CString display;
    if (CAudioParam* p = paramNamed(m_presetNameParam)) {
        std::lock_guard<std::mutex> lock(p->lock());
        display = p->storage().text(0, 0);
    }
    return CAudioPreset::makeName(m_id, display);
}

// ---------------------------------------------------------------- records

CErrorPtr CAudioParamRegistry::writeParamRecord(const CAudioParam& p, COutputStream& out, int group) const {
    ZEL_TRY(out.writeString(definitionName(p.fullName())));
    ZEL_TRY(p.storage().save(out, group));
    return nullptr;
}

CErrorPtr CAudioParamRegistry::writeParamRecord(const CString& key, const CAudioParamStorage& storage,
                                                COutputStream& out, int group) const {
    ZEL_TRY(out.writeString(definitionName(m_hierarchy + "." + key)));
    ZEL_TRY(storage.save(out, group));
    return nullptr;
}

void CAudioParamRegistry::capture(CAudioPreset& preset, int group, bool includePersistent) {
    followPresetName();
    // The target may be the session preset the name comes from.
    const CString name = captureName();
    preset.clear();
    preset.setName(name);
    std::lock_guard<std::mutex> walk(m_walkLock);
    for (const auto& [key, p] : m_params) {
        if (!captures(*p, includePersistent)) continue;
        std::lock_guard<std::mutex> lock(p->lock());
        const CAudioParamStorage& s = p->storage();
        if (!s.hasValue() || (group >= 0 && size_t(group) >= s.value().groupCount())) continue;
        CMemoryWriter blob;
        writeParamRecord(*p, blob, group);  // a memory writer does not fail
        preset.setItem(key, blob.bytes());
    }
}

CErrorPtr CAudioParamRegistry::check(const CAudioPreset& preset) const {
    if (preset.registryId() != m_id) return ZEL_ERROR("Incompatible preset.");
    return nullptr;
}

CErrorPtr CAudioParamRegistry::apply(const CAudioPreset& preset, CAudioParamTransaction& tx, bool partial, int group,
                                     bool includePersistent) {
    {
        std::lock_guard<std::mutex> walk(m_walkLock);
        std::set<CAudioParam*> notSet;
        if (!partial)
            for (const auto& [key, p] : m_params)
                if (captures(*p, includePersistent)) notSet.insert(p);
        for (const auto& [key, blob] : preset.items()) {
            CAudioParam* p = lookup(key);
            if (!p || !captures(*p, includePersistent)) continue;
            CMemoryReaderStatic in(blob.data(), blob.size());
            CString definition;
            CErrorPtr err = in.readString(definition);
            if (!err) err = group >= 0 ? tx.loadRecordIntoGroup(*p, in, size_t(group)) : tx.loadRecord(*p, in);
            if (err)
                return ZEL_WRAP(err, "@zelstr_CAudioParamRegistry_apply_Item Preset item '%1' could not be applied.",
                                key);
            notSet.erase(p);
        }
        for (CAudioParam* p : notSet) tx.setDefault(*p);
    }
    setProgramName(preset.name(), tx);
    return nullptr;
}

void CAudioParamRegistry::setProgramName(const CString& fullName, CAudioParamTransaction& tx) {
    if (m_isMaster && size_t(m_currentProgram) < m_sessionBank.presets().size())
        m_sessionBank.presets()[size_t(m_currentProgram)].setName(fullName);
    if (CAudioParam* p = paramNamed(m_presetNameParam)) tx.setText(*p, 0, 0, CAudioPreset(fullName).displayName());
}

void CAudioParamRegistry::followPresetName() {
    CAudioParam* p = paramNamed(m_presetNameParam);
    if (!m_isMaster || !p || size_t(m_currentProgram) >= m_sessionBank.presets().size()) return;
    // Read before the text: a change made meanwhile is followed next time.
    const uint64_t version = p->version();
    if (version == m_presetNameVersion) return;
    m_presetNameVersion = version;
    CString display;
    {
        std::lock_guard<std::mutex> lock(p->lock());
        display = p->storage().text(0, 0);
    }
    CAudioPreset& program = m_sessionBank.presets()[size_t(m_currentProgram)];
    if (program.displayName() != display) program.setName(CAudioPreset::makeName(program.registryId(), display));
}

void CAudioParamRegistry::presetNameFollowed() {
    if (CAudioParam* p = paramNamed(m_presetNameParam)) m_presetNameVersion = p->version();
}

void CAudioParamRegistry::finish(CAudioParamTransaction& tx, const CString& undoName, bool record) {
    CAudioParamUndoRecord done = tx.finish(undoName);
    if (record && m_undo) m_undo->push(std::move(done));
}

// ---------------------------------------------------------------- operations

CErrorPtr CAudioParamRegistry::acquirePreset(bool fromRom, int index, COutputStream& out) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (!m_isMaster) {
        CAudioPreset live;
        capture(live, index);
        ZEL_TRY(live.save(out));
        return nullptr;
    }
    if (fromRom) {
        if (index < 0 || size_t(index) >= m_romBank.presets().size())
            return ZEL_ERROR("Invalid preset index %1 specified.", index);
        ZEL_TRY(m_romBank.presets()[size_t(index)].save(out));
        return nullptr;
    }
    if (index < 0) index = m_currentProgram;
    if (size_t(index) >= m_sessionBank.presets().size()) return ZEL_ERROR("Invalid preset index %1 specified.", index);
    if (index == m_currentProgram) capture(m_sessionBank.presets()[size_t(index)], -1, true);
    ZEL_TRY(m_sessionBank.presets()[size_t(index)].save(out));
    return nullptr;
}

CErrorPtr CAudioParamRegistry::activate(const CAudioPreset& preset, int group, bool includePersistent,
                                        const CString& undoName) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    ZEL_TRY(check(preset));
    CAudioParamTransaction tx(*m_collector);
    CErrorPtr err = apply(preset, tx, group >= 0, group, includePersistent);
    // What was applied before a failing item stays applied, and undoable.
    finish(tx, undoName, true);
    if (err) return ZEL_PASS(err);
    return nullptr;
}

CErrorPtr CAudioParamRegistry::activatePreset(const CAudioPreset& preset, int group) {
    const CString name =
        group < 0 ? m_presetNaming + " activate" : m_presetNaming + " activate (" + groupName(group) + ")";
    ZEL_TRY(activate(preset, group, false, name));
    return nullptr;
}

CErrorPtr CAudioParamRegistry::activatePreset(CInputStream& in, int group) {
    CAudioPreset preset;
    ZEL_TRY(preset.load(in));
    ZEL_TRY(activatePreset(preset, group));
    return nullptr;
}

void CAudioParamRegistry::activateRomPreset(int index) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (index < 0 || size_t(index) >= m_romBank.presets().size()) return;
    activate(m_romBank.presets()[size_t(index)], -1, false, "ROM preset activate");
}

CErrorPtr CAudioParamRegistry::acquireBank(COutputStream& out) {
    if (!m_isMaster) return ZEL_ERROR("Acquiring bank in a non-master registry is an error.");
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (size_t(m_currentProgram) < m_sessionBank.presets().size())
        capture(m_sessionBank.presets()[size_t(m_currentProgram)], -1, true);
    ZEL_TRY(m_sessionBank.save(out));
    return nullptr;
}

CErrorPtr CAudioParamRegistry::loadSessionBank(CInputStream& in) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    CAudioPresetBank bank;
    ZEL_TRY(bank.load(in));
    followPresetName();
    if (bank.presets().empty()) bank.presets().push_back(m_sessionBank.presets()[size_t(m_currentProgram)]);
    bank.setName(kSessionBankName);
    m_sessionBank.swap(bank);
    m_programHistories.assign(m_sessionBank.presets().size(), {});
    m_currentProgram = 0;
    presetNameFollowed();
    CAudioParamTransaction tx(*m_collector);
    CErrorPtr err = check(m_sessionBank.presets()[0]);
    if (!err) err = apply(m_sessionBank.presets()[0], tx);
    finish(tx, m_presetNaming + " activate", true);
    if (m_programChanged) m_programChanged(0);
    if (err) return ZEL_PASS(err);
    return nullptr;
}

void CAudioParamRegistry::setCurrentProgram(int index) {
    if (!m_isMaster) return;
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (index < 0 || size_t(index) >= m_sessionBank.presets().size() || index == m_currentProgram) return;
    capture(m_sessionBank.presets()[size_t(m_currentProgram)]);
    if (m_undo) {
        CAudioParamUndo::CHistory history = std::move(m_programHistories[size_t(index)]);
        m_undo->exchange(history);
        m_programHistories[size_t(m_currentProgram)] = std::move(history);
    }
    m_currentProgram = index;
    presetNameFollowed();
    CAudioParamTransaction tx(*m_collector);
    const CAudioPreset& preset = m_sessionBank.presets()[size_t(index)];
    if (!check(preset)) apply(preset, tx);
    finish(tx, CString(), false);
    if (m_programChanged) m_programChanged(index);
}

CErrorPtr CAudioParamRegistry::masterReset() {
    if (!m_isMaster) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    CAudioParamTransaction tx(*m_collector);
    {
        std::lock_guard<std::mutex> walk(m_walkLock);
        for (const auto& [key, p] : m_params)
            if (captures(*p, false)) tx.setDefault(*p);
    }
    if (CAudioParam* p = paramNamed(m_presetNameParam)) tx.setDefault(*p);
    finish(tx, "Master reset", true);
    return nullptr;
}

void CAudioParamRegistry::renameProgram(const CString& displayName, bool fromUser) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    CAudioParamTransaction tx(*m_collector);
    setProgramName(CAudioPreset::makeName(m_id, displayName), tx);
    finish(tx, "Program name change", fromUser);
}

size_t CAudioParamRegistry::programCount() {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    return m_sessionBank.presets().size();
}

CString CAudioParamRegistry::programDisplayName(size_t index) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    followPresetName();
    const auto& presets = m_sessionBank.presets();
    return index < presets.size() ? presets[index].displayName() : CString();
}

std::vector<CString> CAudioParamRegistry::programDisplayNames() {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    followPresetName();
    std::vector<CString> names;
    for (const CAudioPreset& preset : m_sessionBank.presets()) names.push_back(preset.displayName());
    return names;
}

int CAudioParamRegistry::findProgram(const CString& displayName) {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    followPresetName();
    const auto& presets = m_sessionBank.presets();
    for (size_t i = 0; i < presets.size(); ++i)
        if (presets[i].displayName() == displayName) return int(i);
    return -1;
}

CErrorPtr CAudioParamRegistry::storeDefaultPreset(const CAudioPreset& preset) {
    ZEL_TRY(check(preset));
    CMemoryWriter record;
    ZEL_TRY(preset.save(record));
    ZEL_TRY(CAppDataLocal::instance().writeItem(kDefaultPresetItem, record.bytes().data(), record.bytes().size(),
                                                CAudioPreset::kTag));
    return nullptr;
}

// ---------------------------------------------------------------- instance state

CErrorPtr CAudioParamRegistry::saveState(COutputStream& out) {
    CMemoryWriter record;
    ZEL_TRY(acquirePreset(false, -1, record));
    if (record.bytes().size() > CAudioPreset::kMaxRecordBytes)
        return ZEL_ERROR(
            "@zelstr_CAudioParamRegistry_saveState_TooLong State of %1 bytes is above the allowed %2 bytes.",
            record.bytes().size(), CAudioPreset::kMaxRecordBytes);
    ZEL_TRY(out.writeCompressedData(CAudioPreset::kTag, record.bytes().data(), record.bytes().size()));
    return nullptr;
}

CErrorPtr CAudioParamRegistry::restoreState(CInputStream& in) {
    CAudioPreset preset;
    ZEL_TRY(preset.loadCompressed(in));
    ZEL_TRY(activate(preset, -1, true, m_presetNaming + " activate"));
    return nullptr;
}

// ---------------------------------------------------------------- A/B

void CAudioParamRegistry::updateShadow() {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (!m_shadow) m_shadow = std::make_unique<CAudioPreset>();
    capture(*m_shadow);
    if (m_undo) m_shadowHistory = m_undo->snapshot();
}

void CAudioParamRegistry::exchangeShadow() {
    std::lock_guard<std::recursive_mutex> lock(m_presetLock);
    if (!m_shadow) updateShadow();
    auto live = std::make_unique<CAudioPreset>();
    capture(*live);
    CAudioParamTransaction tx(*m_collector);
    apply(*m_shadow, tx);
    // The slot switch itself is no undo step: each slot keeps its own history.
    if (CAudioParam* ab = paramNamed(m_hierarchy + ".ab-state")) {
        double slot;
        {
            std::lock_guard<std::mutex> pl(ab->lock());
            slot = ab->storage().read(0, 0);
        }
        tx.setElements(*ab, 0, 0, {slot >= 0.5 ? 0.0 : 1.0});
    }
    finish(tx, CString(), false);
    if (m_undo) m_undo->exchange(m_shadowHistory);
    m_shadow = std::move(live);
}

}  // namespace zel
