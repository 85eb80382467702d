// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "Core/Stream.h"

namespace zel {

// The module's embedded resources by exact, case-sensitive name. Each entry
// is the payload after the resource's u32 size prefix.
class CEmbeddedResourceMap {
public:
    struct CEntry {
        const uint8_t* data;
        uint32_t size;
    };

    static const CEmbeddedResourceMap& instance();
    const CEntry* find(const CString& name) const;
    const std::map<CString, CEntry>& entries() const { return m_entries; }

private:
    CEmbeddedResourceMap();
    std::map<CString, CEntry> m_entries;
};

// Opens a resource by name: the embedded bytes when the module has them,
// otherwise a file of that relative path, so a file can override or supply
// any resource.
class CResourceReader : public CPosInputStream {
public:
    CErrorPtr open(const CString& name);
    bool isEmbedded() const { return m_embedded; }

    CErrorPtr skip(uint64_t count) override;
    CErrorPtr read(void* buffer, size_t count) override;
    CErrorPtr readStreamed(void* buffer, size_t& count) override;
    CErrorPtr getPosition(uint64_t& out) override;
    CErrorPtr setPosition(uint64_t position) override;
    CErrorPtr getSize(uint64_t& out) override;

private:
    std::unique_ptr<CPosInputStream> m_stream;
    bool m_embedded = false;
};

}  // namespace zel
