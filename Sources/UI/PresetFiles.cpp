// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PresetFiles.h"

#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "CPresetFiles"

namespace zel {

CPresetFiles::CPresetFiles(CParamInterfaceClient& client, CParamInterfaceClient::CRegistry& registry,
                           CString compatibleIds)
    : m_client(client), m_registry(registry), m_compatible(std::move(compatibleIds)) {
    m_registry.addListener(m_listener);
}

CPresetFiles::~CPresetFiles() { m_registry.removeListener(m_listener); }

CErrorPtr CPresetFiles::load(const CString& path) {
    CAudioPreset preset;
    if (CErrorPtr err = preset.loadFromFile(path))
        return ZEL_ERROR("@zelstr_CPresetFiles_load_ReadError Unsupported file or file read error.");
    const CString id = preset.registryId();
    if (id != m_registry.id() && (";" + m_compatible + ";").find(";" + id + ";") == CString::npos)
        return ZEL_ERROR("@zelstr_CPresetFiles_load_PresetType Unsupported preset type.");
    CMemoryWriter record;
    ZEL_TRY(preset.save(record));
    ZEL_TRY(m_client.activatePreset(m_registry, record.bytes()));
    return nullptr;
}

CErrorPtr CPresetFiles::requestCurrent(CGot got) {
    m_got = std::move(got);
    if (CErrorPtr err = m_client.requestPreset(m_registry, false, -1)) {
        m_got = nullptr;
        return ZEL_PASS(err);
    }
    return nullptr;
}

CErrorPtr CPresetFiles::save(const CAudioPreset& preset, const CString& path) {
    if (preset.saveToFile(path)) return ZEL_ERROR("@zelstr_CPresetFiles_save_WriteError File write error.");
    return nullptr;
}

void CPresetFiles::onRegistry(CUpdateNotifier&, const CString& what) {
    if (what != CString(bridge::kRegistryData) || !m_got || m_registry.dataKind() != bridge::CRegistryData::kPreset)
        return;
    CGot got = std::move(m_got);
    m_got = nullptr;
    CAudioPreset preset;
    CMemoryReaderStatic in(m_registry.data().data(), m_registry.data().size());
    CErrorPtr err = preset.load(in);
    if (!err) err = got(preset);
    if (err) CSystem::showError(*err);
}

}  // namespace zel
