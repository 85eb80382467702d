// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#define ZEL_SOURCE_TAG "MemoryStream"

namespace zel {

CMemoryReaderStatic::CMemoryReaderStatic(const void* data, size_t size)
    : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}

void CMemoryReaderStatic::attach(const uint8_t* data, size_t size) {
    m_data = data;
    m_size = size;
    m_pos = 0;
}

CErrorPtr CMemoryReaderStatic::skip(uint64_t count) {
    if (count > m_size - m_pos)
        return ZEL_ERROR(
            "@zelstr_CMemoryReader_skip_EOF Premature end of memory resource while skipping (pos %1, count %2, "
            "size %3).",
            m_pos, count, m_size);
    m_pos += static_cast<size_t>(count);
    return nullptr;
}

CErrorPtr CMemoryReaderStatic::read(void* buffer, size_t count) {
    if (count > m_size - m_pos)
        return ZEL_ERROR(
            "@zelstr_CMemoryReader_read_EOF Premature end of memory resource while reading (pos %1, count %2, "
            "size %3).",
            m_pos, count, m_size);
    if (count) std::memcpy(buffer, m_data + m_pos, count);
    m_pos += count;
    return nullptr;
}

CErrorPtr CMemoryReaderStatic::readStreamed(void* buffer, size_t& count) {
    count = std::min(count, m_size - m_pos);
    if (count) std::memcpy(buffer, m_data + m_pos, count);
    m_pos += count;
    return nullptr;
}

CErrorPtr CMemoryReaderStatic::getPosition(uint64_t& out) {
    out = m_pos;
    return nullptr;
}

CErrorPtr CMemoryReaderStatic::setPosition(uint64_t position) {
    if (position > m_size)
        return ZEL_ERROR(
            "@zelstr_CMemoryReader_setPosition_seek Positioning beyond memory resource end (newpos %1, size %2).",
            position, m_size);
    m_pos = static_cast<size_t>(position);
    return nullptr;
}

CErrorPtr CMemoryReaderStatic::getSize(uint64_t& out) {
    out = m_size;
    return nullptr;
}

// The base can only point at the bytes once the member holding them exists.
CMemoryReader::CMemoryReader(std::vector<uint8_t> bytes) : CMemoryReaderStatic(nullptr, 0), m_bytes(std::move(bytes)) {
    attach(m_bytes.data(), m_bytes.size());
}

CWriteSeqBuffer::CWriteSeqBuffer(size_t blockSize) : m_blockSize(std::max<size_t>(blockSize, 1)) {}

CErrorPtr CWriteSeqBuffer::write(const void* buffer, size_t count) {
    const uint8_t* src = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        if (m_blocks.empty() || m_blocks.back().size() == m_blockSize) {
            m_blocks.emplace_back();
            m_blocks.back().reserve(m_blockSize);
        }
        std::vector<uint8_t>& block = m_blocks.back();
        const size_t n = std::min(count, m_blockSize - block.size());
        block.insert(block.end(), src, src + n);
        src += n;
        count -= n;
        m_length += n;
    }
    return nullptr;
}

CErrorPtr CWriteSeqBuffer::writeTo(COutputStream& target) const {
    for (const std::vector<uint8_t>& block : m_blocks) ZEL_TRY(target.write(block.data(), block.size()));
    return nullptr;
}

CErrorPtr CMemoryWriter::write(const void* buffer, size_t count) {
    if (count == 0) return nullptr;
    const uint8_t* src = static_cast<const uint8_t*>(buffer);
    const size_t overlap = std::min(count, m_bytes.size() - m_pos);
    if (overlap) std::memcpy(m_bytes.data() + m_pos, src, overlap);
    m_bytes.insert(m_bytes.end(), src + overlap, src + count);
    m_pos += count;
    return nullptr;
}

CErrorPtr CMemoryWriter::getPosition(uint64_t& out) {
    out = m_pos;
    return nullptr;
}

CErrorPtr CMemoryWriter::setPosition(uint64_t position) {
    if (position > m_bytes.size())
        return ZEL_ERROR("@zelstr_CMemoryWriter_setPosition_seek Positioning beyond memory end (newpos %1, size %2).",
                         position, m_bytes.size());
    m_pos = static_cast<size_t>(position);
    return nullptr;
}

CErrorPtr CMemoryWriter::getSize(uint64_t& out) {
    out = m_bytes.size();
    return nullptr;
}

std::vector<uint8_t> CMemoryWriter::take() {
    m_pos = 0;
    return std::exchange(m_bytes, {});
}

}  // namespace zel
