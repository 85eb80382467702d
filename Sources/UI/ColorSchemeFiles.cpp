// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ColorSchemeFiles.h"

#include "Audio/Preset.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "CColorSchemeFiles"

namespace zel {

CColorSchemeFiles::CColorSchemeFiles(CParamInterfaceClient& client, CParamInterfaceClient::CRegistry& registry)
    : m_client(client), m_registry(registry) {
    m_registry.addListener(m_listener);
}

CColorSchemeFiles::~CColorSchemeFiles() { m_registry.removeListener(m_listener); }

void CColorSchemeFiles::remember(const CString& path) {
    const size_t slash = path.rfind(u'/');
    if (slash != CString::npos) m_lastFolder = path.substr(0, slash == 0 ? 1 : slash);
}

CErrorPtr CColorSchemeFiles::load(const CString& path) {
    CAudioPreset preset;
    if (CErrorPtr err = preset.loadFromFile(path))
        return ZEL_ERROR("@zelstr_CColorSchemeFiles_load_ReadError Unsupported file or file read error.");
    if (preset.registryId() != m_registry.id())
        return ZEL_ERROR("@zelstr_CColorSchemeFiles_load_PresetType Unsupported preset type.");
    CMemoryWriter record;
    ZEL_TRY(preset.save(record));
    ZEL_TRY(m_client.activatePreset(m_registry, record.bytes()));
    remember(path);
    return nullptr;
}

CErrorPtr CColorSchemeFiles::save(const CString& path, CDone done) {
    m_pending = path;
    m_done = std::move(done);
    if (CErrorPtr err = m_client.requestPreset(m_registry, false, -1)) {
        m_pending.clear();
        m_done = nullptr;
        return ZEL_PASS(err);
    }
    return nullptr;
}

void CColorSchemeFiles::onRegistry(CUpdateNotifier&, const CString& what) {
    if (what != CString(bridge::kRegistryData) || m_pending.empty() ||
        m_registry.dataKind() != bridge::CRegistryData::kPreset)
        return;
    const CString path = std::move(m_pending);
    m_pending.clear();
    CDone done = std::move(m_done);
    m_done = nullptr;
    CErrorPtr err;
    CAudioPreset preset;
    CMemoryReaderStatic in(m_registry.data().data(), m_registry.data().size());
    if (preset.load(in) || preset.saveToFile(path))
        err = ZEL_ERROR("@zelstr_CColorSchemeFiles_save_WriteError File write error.");
    else
        remember(path);
    if (done) done(std::move(err));
}

}  // namespace zel
