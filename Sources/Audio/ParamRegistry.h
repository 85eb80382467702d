// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "Audio/ParamUndo.h"
#include "Audio/Preset.h"
#include "Core/Object.h"

namespace zel {

class CAudioParam;
class CAudioParamCollector;
class CAudioParamStorage;
class CAudioParamTransaction;
class CAudioInterfaceBase;

// `audio:param-registry`: owns the parameters below one point of the name
// hierarchy and is the unit of state. It captures them into preset records,
// applies preset records back, and names the undo entries of both. The
// master registry also keeps the factory ROM bank, the session bank with the
// current program, the user's default preset, the per-program undo
// histories, the A/B shadow slot, and the instance state the host stores.
//
// Locks, always in this order: the preset lock (whole operations), the walk
// lock (capture and apply), a parameter's own lock. The audio thread takes
// none of them.
class CAudioParamRegistry final : public CObject {
public:
    using CParams = std::map<CString, CAudioParam*, CAudioPreset::CKeyLess>;
    static constexpr const char* kDefaultPresetItem = "default-preset";

    CErrorPtr init() override;

    const CString& id() const { return m_id; }
    const CString& hierarchy() const { return m_hierarchy; }
    bool isMaster() const { return m_isMaster; }
    const CString& presetNaming() const { return m_presetNaming; }
    // The registry's parameters by key: the full name relative to the
    // hierarchy.
    const CParams& params() const { return m_params; }
    // Whether a capture takes the parameter: storable ones, persistent ones
    // when asked for, global ones when this registry stores globals.
    bool captures(const CAudioParam& p, bool includePersistent) const;

    // A run-time full name as its definition is named (def-name-remap).
    CString definitionName(const CString& runTimeName) const;
    // The parameter record of a preset item: the definition name, then the
    // storage record (`group` >= 0: that group alone).
    CErrorPtr writeParamRecord(const CAudioParam& p, COutputStream& out, int group = -1) const;
    // The same for a value that is not the live one: `key` is relative to
    // the hierarchy and need not name a parameter of this registry.
    CErrorPtr writeParamRecord(const CString& key, const CAudioParamStorage& storage, COutputStream& out,
                               int group = -1) const;

    // ---- presets
    // Writes a preset record: a ROM or session preset on the master (index
    // -1: the current program, refreshed from the live state first), the
    // live state (index = group, -1 = all) on any other registry.
    CErrorPtr acquirePreset(bool fromRom, int index, COutputStream& out);
    // Reads a preset record, checks it, applies it (group >= 0: into that
    // group alone) and records one undo entry.
    CErrorPtr activatePreset(CInputStream& in, int group = -1);
    CErrorPtr activatePreset(const CAudioPreset& preset, int group = -1);
    // An index outside the ROM bank does nothing.
    void activateRomPreset(int index);
    CErrorPtr acquireBank(COutputStream& out);
    void setCurrentProgram(int index);
    CErrorPtr masterReset();
    // The current program's name (display part) changes; a change from the
    // user is an undo entry.
    void renameProgram(const CString& displayName, bool fromUser);

    // Fills `preset` from the live values (group -1: all groups).
    void capture(CAudioPreset& preset, int group = -1, bool includePersistent = false);
    // Refuses a preset of another registry with "Incompatible preset.".
    CErrorPtr check(const CAudioPreset& preset) const;
    // Sets the parameters from `preset` inside `tx`. A full apply resets the
    // captured parameters the preset has no item for; a partial one leaves
    // them alone. An item that does not fit stops the apply with its error;
    // the items before it stay applied.
    CErrorPtr apply(const CAudioPreset& preset, CAudioParamTransaction& tx, bool partial = false, int group = -1,
                    bool includePersistent = false);

    // ---- master
    const CAudioPresetBank& romBank() const { return m_romBank; }
    const CAudioPresetBank& sessionBank() const { return m_sessionBank; }
    // Replaces the session bank (a bank file, the host's program list) and
    // makes its first program current.
    CErrorPtr loadSessionBank(CInputStream& in);
    int currentProgram() const { return m_currentProgram; }
    // The programs as other threads see them: read under the preset lock,
    // since a state save renames the current program while it captures.
    size_t programCount();
    // The display name of program `index`; empty outside the bank.
    CString programDisplayName(size_t index);
    // The display names of all programs, in bank order.
    std::vector<CString> programDisplayNames();
    // The first program of that display name, -1 when there is none.
    int findProgram(const CString& displayName);
    // The parameter the current program's display name follows, if any.
    CAudioParam* presetNameParam() const { return paramNamed(m_presetNameParam); }
    // Called after the current program changed, on the thread that changed
    // it (the host layer tells the host).
    void setProgramChangeHandler(std::function<void(int)> handler) { m_programChanged = std::move(handler); }
    bool isDefaultPresetLoaded() const { return m_defaultPresetLoaded; }
    // Stores `preset` as the user's default preset for new instances.
    CErrorPtr storeDefaultPreset(const CAudioPreset& preset);

    // The instance state the host stores: an "aprs" block holding the
    // current program with persistent parameters.
    CErrorPtr saveState(COutputStream& out);
    CErrorPtr restoreState(CInputStream& in);

    // A/B: switch to the other slot, or copy the live slot into it.
    void exchangeShadow();
    void updateShadow();

    CAudioParamUndo* undo() const { return m_undo; }

private:
    CErrorPtr readRemap(const CString& text);
    CAudioParam* lookup(const CString& key) const;
    CAudioParam* paramNamed(const CString& fullName) const;
    CString groupName(int group) const;
    CString captureName() const;
    CErrorPtr activate(const CAudioPreset& preset, int group, bool includePersistent, const CString& undoName);
    void setProgramName(const CString& fullName, CAudioParamTransaction& tx);
    // The current program takes the preset-name parameter's text when the
    // parameter changed since the program became current (an undo, a redo,
    // a direct edit), keeping the program's own registry id.
    void followPresetName();
    // The current program's name holds as it is: a changed program or bank.
    void presetNameFollowed();
    void finish(CAudioParamTransaction& tx, const CString& undoName, bool record);
    void initMaster();
    void loadDefaultPreset();

    CString m_id;
    CString m_hierarchy;
    std::vector<std::pair<CString, CString>> m_remap;  // run-time prefix, definition prefix
    bool m_isMaster = false;
    bool m_isGlobalParamStorable = false;
    CString m_storeName;
    CString m_file;
    CString m_presetNameParam;
    CString m_presetNaming;
    CString m_groupNamesParam;
    CAudioParamCollector* m_collector = nullptr;
    CAudioParamUndo* m_undo = nullptr;
    CParams m_params;

    std::recursive_mutex m_presetLock;
    std::mutex m_walkLock;

    CAudioPresetBank m_romBank;
    CAudioPresetBank m_sessionBank;
    std::atomic<int> m_currentProgram{0};
    uint64_t m_presetNameVersion = 0;  // of the preset-name parameter, last followed
    bool m_defaultPresetLoaded = false;
    std::vector<CAudioParamUndo::CHistory> m_programHistories;
    std::unique_ptr<CAudioPreset> m_shadow;
    std::function<void(int)> m_programChanged;
    CAudioParamUndo::CHistory m_shadowHistory;
};

}  // namespace zel
