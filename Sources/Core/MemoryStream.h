// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Core/Stream.h"

namespace zel {

// Reads a constant byte range it does not own (embedded resources); the range
// must outlive the reader. Short reads and skips fail and deliver nothing.
class CMemoryReaderStatic : public CPosInputStream {
public:
    CMemoryReaderStatic(const void* data, size_t size);
    CMemoryReaderStatic(const CMemoryReaderStatic&) = delete;
    CMemoryReaderStatic& operator=(const CMemoryReaderStatic&) = delete;

    CErrorPtr skip(uint64_t count) override;
    CErrorPtr read(void* buffer, size_t count) override;
    CErrorPtr readStreamed(void* buffer, size_t& count) override;

    CErrorPtr getPosition(uint64_t& out) override;
    CErrorPtr setPosition(uint64_t position) override;
    CErrorPtr getSize(uint64_t& out) override;

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }

protected:
    void attach(const uint8_t* data, size_t size);

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The same reader over bytes it owns, e.g. a decompressed payload.
class CMemoryReader final : public CMemoryReaderStatic {
public:
    explicit CMemoryReader(std::vector<uint8_t> bytes);

private:
    std::vector<uint8_t> m_bytes;
};

// Collects written bytes in a list of fixed-size blocks, so that the length
// of an encoding is known before it is written on.
class CWriteSeqBuffer final : public COutputStream {
public:
    explicit CWriteSeqBuffer(size_t blockSize);

    CErrorPtr write(const void* buffer, size_t count) override;

    size_t length() const { return m_length; }
    size_t blockCount() const { return m_blocks.size(); }
    // Writes every block in order.
    CErrorPtr writeTo(COutputStream& target) const;

private:
    size_t m_blockSize;
    size_t m_length = 0;
    std::vector<std::vector<uint8_t>> m_blocks;
};

// A growable in-memory file: writes at the position, overwriting or
// extending the bytes.
class CMemoryWriter final : public CPosOutputStream {
public:
    CErrorPtr write(const void* buffer, size_t count) override;

    CErrorPtr getPosition(uint64_t& out) override;
    CErrorPtr setPosition(uint64_t position) override;
    CErrorPtr getSize(uint64_t& out) override;

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    // Hands the bytes over and starts empty again.
    std::vector<uint8_t> take();

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
};

}  // namespace zel
