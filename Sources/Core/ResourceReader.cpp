// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/ResourceReader.h"

#include <cstring>

#include "Core/EmbeddedResources.h"
#include "Core/File.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "CResourceReader"

namespace zel {

CEmbeddedResourceMap::CEmbeddedResourceMap() {
    for (const CEmbeddedResource* r = kEmbeddedResources; r->data; ++r) {
        uint32_t size;
        std::memcpy(&size, r->data, 4);
        m_entries[CString(r->name)] = CEntry{r->data + 4, size};
    }
}

const CEmbeddedResourceMap& CEmbeddedResourceMap::instance() {
    static const CEmbeddedResourceMap map;
    return map;
}

const CEmbeddedResourceMap::CEntry* CEmbeddedResourceMap::find(const CString& name) const {
    auto it = m_entries.find(name);
    return it == m_entries.end() ? nullptr : &it->second;
}

CErrorPtr CResourceReader::open(const CString& name) {
    m_stream.reset();
    if (const CEmbeddedResourceMap::CEntry* e = CEmbeddedResourceMap::instance().find(name)) {
        m_stream = std::make_unique<CMemoryReaderStatic>(e->data, e->size);
        m_embedded = true;
        return nullptr;
    }
    auto file = std::make_unique<CFileReader>();
    ZEL_TRY(file->open(name, false));
    m_stream = std::move(file);
    m_embedded = false;
    return nullptr;
}

#define ZEL_RESOURCE_FORWARD(call)                                                                 \
    if (!m_stream) return ZEL_ERROR("@zelstr_CResourceReader_read_NotOpen Resource is not open."); \
    ZEL_TRY(m_stream->call);                                                                       \
    return nullptr

CErrorPtr CResourceReader::skip(uint64_t count) { ZEL_RESOURCE_FORWARD(skip(count)); }
CErrorPtr CResourceReader::read(void* buffer, size_t count) { ZEL_RESOURCE_FORWARD(read(buffer, count)); }
CErrorPtr CResourceReader::readStreamed(void* buffer, size_t& count) {
    ZEL_RESOURCE_FORWARD(readStreamed(buffer, count));
}
CErrorPtr CResourceReader::getPosition(uint64_t& out) { ZEL_RESOURCE_FORWARD(getPosition(out)); }
CErrorPtr CResourceReader::setPosition(uint64_t position) { ZEL_RESOURCE_FORWARD(setPosition(position)); }
CErrorPtr CResourceReader::getSize(uint64_t& out) { ZEL_RESOURCE_FORWARD(getSize(out)); }

}  // namespace zel
