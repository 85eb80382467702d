// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"

namespace zel {

// Byte streams. Every operation returns an error record, null on success.
class CInputStream {
public:
    virtual ~CInputStream() = default;
    virtual CErrorPtr reset() { return nullptr; }
    // Advances without delivering bytes; the base reads into scratch space.
    virtual CErrorPtr skip(uint64_t count);
    // Delivers exactly `count` bytes or fails.
    virtual CErrorPtr read(void* buffer, size_t count) = 0;
    // Delivers up to `count` bytes and reports how many in `count`.
    virtual CErrorPtr readStreamed(void* buffer, size_t& count);

    // Primitive encodings: little-endian, no alignment, no type tags.
    CErrorPtr readUInt32(uint32_t& out);
    CErrorPtr readInt32(int32_t& out);
    CErrorPtr readReal(double& out);
    // u32 count then the bytes; `maxCount` guards the allocation.
    CErrorPtr readBlock(std::vector<uint8_t>& out, uint32_t maxCount);
    // u32 byte count (at most 61,440) then UTF-8.
    CErrorPtr readString(CString& out);
    // Tagged compressed block (tag, length, Adler-32 of the length bytes,
    // zlib stream) into `out`. A block that declares more than `maxLength`
    // bytes is refused before anything is decompressed or allocated: the
    // caller knows how large its payloads can legitimately be.
    CErrorPtr readCompressedData(uint32_t expectedTag, std::vector<uint8_t>& out, size_t maxLength);
};

class COutputStream {
public:
    virtual ~COutputStream() = default;
    // Accepts exactly `count` bytes or fails.
    virtual CErrorPtr write(const void* buffer, size_t count) = 0;

    CErrorPtr writeUInt32(uint32_t value);
    CErrorPtr writeInt32(int32_t value);
    CErrorPtr writeReal(double value);
    CErrorPtr writeBlock(const void* data, uint32_t count);
    CErrorPtr writeString(const CString& text);
    CErrorPtr writeCompressedData(uint32_t tag, const void* data, size_t count);
};

class CPosStream {
public:
    virtual ~CPosStream() = default;
    virtual CErrorPtr getPosition(uint64_t& out) = 0;
    virtual CErrorPtr setPosition(uint64_t position) = 0;
    virtual CErrorPtr getSize(uint64_t& out) = 0;

    // 32-bit views that refuse streams above 2 GB.
    CErrorPtr getPositionInt32(int32_t& out);
    CErrorPtr getSizeInt(int32_t& out);
};

class CPosInputStream : public CInputStream, public CPosStream {};
class CPosOutputStream : public COutputStream, public CPosStream {};

// A four-character tag in file order ("aprs" → bytes 'a','p','r','s').
constexpr uint32_t makeTag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

constexpr uint32_t kMaxStringBytes = 61440;

}  // namespace zel
