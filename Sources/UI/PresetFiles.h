// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "Audio/Preset.h"
#include "Other/ParamInterfaceClient.h"

namespace zel {

// Preset files of one registry (colour schemes in ".ccf" files, for
// example): one preset record in a compressed block. Loading activates the
// file's preset; saving writes a preset that the caller asked the instance
// for with requestCurrent().
class CPresetFiles {
public:
    using CGot = std::function<CErrorPtr(const CAudioPreset& preset)>;

    // `compatibleIds`: other registry ids whose presets load too, by ";".
    CPresetFiles(CParamInterfaceClient& client, CParamInterfaceClient::CRegistry& registry,
                 CString compatibleIds = CString());
    ~CPresetFiles();
    CPresetFiles(const CPresetFiles&) = delete;
    CPresetFiles& operator=(const CPresetFiles&) = delete;

    // Fails with "Unsupported file or file read error." for a file that
    // cannot be read, and "Unsupported preset type." for a preset of
    // another registry; either leaves the state as it was.
    CErrorPtr load(const CString& path);
    // Asks the instance for its current state; `got` hears it, as a preset,
    // when the answer comes (what it returns is shown to the user). A
    // request made while one waits replaces it.
    CErrorPtr requestCurrent(CGot got);
    bool isWaiting() const { return bool(m_got); }
    // "File write error." when the file cannot be written; an existing file
    // is then left whole.
    static CErrorPtr save(const CAudioPreset& preset, const CString& path);

private:
    void onRegistry(CUpdateNotifier& notifier, const CString& what);

    CParamInterfaceClient& m_client;
    CParamInterfaceClient::CRegistry& m_registry;
    CString m_compatible;
    CGot m_got;
    COwnedUpdateListener<CPresetFiles> m_listener{*this, &CPresetFiles::onRegistry};
};

}  // namespace zel
