// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "Other/ParamInterfaceClient.h"

namespace zel {

// Colour scheme files (".ccf"): one preset of the colour registry in a
// compressed block, as preset files are. Loading activates the file's
// scheme; saving asks the instance for its current scheme and writes it
// when the answer comes. The folder of the last file used is kept for the
// next dialog.
class CColorSchemeFiles {
public:
    using CDone = std::function<void(CErrorPtr err)>;

    CColorSchemeFiles(CParamInterfaceClient& client, CParamInterfaceClient::CRegistry& registry);
    ~CColorSchemeFiles();
    CColorSchemeFiles(const CColorSchemeFiles&) = delete;
    CColorSchemeFiles& operator=(const CColorSchemeFiles&) = delete;

    // Fails with "Unsupported file or file read error." for a file that
    // cannot be read, and "Unsupported preset type." for a preset of
    // another registry; either leaves the scheme as it was.
    CErrorPtr load(const CString& path);
    // `done` hears the outcome ("File write error." when the file cannot be
    // written; an existing file is then left whole). A save asked for while
    // one waits replaces it.
    CErrorPtr save(const CString& path, CDone done);
    bool isSaving() const { return !m_pending.empty(); }
    // The folder of the last file loaded or saved, empty before.
    const CString& lastFolder() const { return m_lastFolder; }
    void setLastFolder(const CString& folder) { m_lastFolder = folder; }

private:
    void onRegistry(CUpdateNotifier& notifier, const CString& what);
    void remember(const CString& path);

    CParamInterfaceClient& m_client;
    CParamInterfaceClient::CRegistry& m_registry;
    CString m_pending;
    CDone m_done;
    CString m_lastFolder;
    COwnedUpdateListener<CColorSchemeFiles> m_listener{*this, &CColorSchemeFiles::onRegistry};
};

}  // namespace zel
