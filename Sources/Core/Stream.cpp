// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Stream.h"

#include <algorithm>
#include <cstring>

#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "Stream"

namespace zel {

namespace {

constexpr uint64_t kMaxInt32 = 2147483647;
// The string encoder collects its UTF-8 in blocks of this size.
constexpr size_t kStringBlockBytes = 256;

uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void storeU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Code points above U+FFFF become a surrogate pair; what a four-byte sequence
// can encode beyond U+10FFFF has no UTF-16 form and becomes U+FFFD.
void appendCodePoint(CString& out, uint32_t c) {
    if (c <= 0xFFFF) {
        out.append(char16_t(c));
    } else if (c <= 0x10FFFF) {
        c -= 0x10000;
        out.append(char16_t(0xD800 + (c >> 10)));
        out.append(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
        out.append(char16_t(0xFFFD));
    }
}

// Lenient on purpose: continuation bytes are not checked, stray bytes are
// skipped, and a sequence cut off by the end or a decoded 0 ends the text.
void decodeUtf8(const uint8_t* p, size_t n, CString& out) {
    size_t i = 0;
    while (i < n) {
        const uint8_t lead = p[i];
        uint32_t c;
        size_t extra;
        if (lead < 0x80) {
            c = lead;
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            c = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            c = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            c = lead & 0x07;
            extra = 3;
        } else {
            ++i;
            continue;
        }
        if (extra >= n - i) break;
        for (size_t k = 1; k <= extra; ++k) c = c << 6 | (p[i + k] & 0x3F);
        i += extra + 1;
        if (c == 0) break;
        appendCodePoint(out, c);
    }
}

}  // namespace

CErrorPtr CInputStream::skip(uint64_t count) {
    uint8_t scratch[4096];
    while (count > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof scratch));
        ZEL_TRY(read(scratch, n));
        count -= n;
    }
    return nullptr;
}

CErrorPtr CInputStream::readStreamed(void* buffer, size_t& count) {
    ZEL_TRY(read(buffer, count));
    return nullptr;
}

CErrorPtr CInputStream::readUInt32(uint32_t& out) {
    uint8_t b[4];
    ZEL_TRY(read(b, sizeof b));
    out = loadU32(b);
    return nullptr;
}

CErrorPtr CInputStream::readInt32(int32_t& out) {
    uint32_t u;
    ZEL_TRY(readUInt32(u));
    out = static_cast<int32_t>(u);
    return nullptr;
}

CErrorPtr CInputStream::readReal(double& out) {
    uint8_t b[8];
    ZEL_TRY(read(b, sizeof b));
    const uint64_t bits = uint64_t(loadU32(b)) | uint64_t(loadU32(b + 4)) << 32;
    std::memcpy(&out, &bits, sizeof out);
    return nullptr;
}

CErrorPtr CInputStream::readBlock(std::vector<uint8_t>& out, uint32_t maxCount) {
    uint32_t count;
    ZEL_TRY(readUInt32(count));
    if (count > maxCount)
        return ZEL_ERROR("@zelstr_CInputStream_readBlock_TooLong Block length %1 above the allowed %2 bytes.", count,
                         maxCount);
    out.resize(count);
    if (count) ZEL_TRY(read(out.data(), count));
    return nullptr;
}

CErrorPtr CInputStream::readString(CString& out) {
    out.clear();
    uint32_t count;
    ZEL_TRY(readUInt32(count));
    if (count > kMaxStringBytes)
        return ZEL_ERROR("@zelstr_CInputStream_readString_StringDataTooLong String length %1 too long in readString().",
                         count);
    if (count == 0) return nullptr;
    std::vector<uint8_t> bytes(count);
    ZEL_TRY(read(bytes.data(), count));
    decodeUtf8(bytes.data(), count, out);
    return nullptr;
}

CErrorPtr COutputStream::writeUInt32(uint32_t value) {
    uint8_t b[4];
    storeU32(b, value);
    ZEL_TRY(write(b, sizeof b));
    return nullptr;
}

CErrorPtr COutputStream::writeInt32(int32_t value) {
    ZEL_TRY(writeUInt32(static_cast<uint32_t>(value)));
    return nullptr;
}

CErrorPtr COutputStream::writeReal(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint8_t b[8];
    storeU32(b, uint32_t(bits));
    storeU32(b + 4, uint32_t(bits >> 32));
    ZEL_TRY(write(b, sizeof b));
    return nullptr;
}

CErrorPtr COutputStream::writeBlock(const void* data, uint32_t count) {
    ZEL_TRY(writeUInt32(count));
    if (count) ZEL_TRY(write(data, count));
    return nullptr;
}

// 8-bit texts take the same path: their units are all below 0x100.
// Surrogate units are dropped, so characters above U+FFFF are not written.
CErrorPtr COutputStream::writeString(const CString& text) {
    CWriteSeqBuffer utf8(kStringBlockBytes);
    for (size_t i = 0; i < text.length(); ++i) {
        const char16_t u = text.at(i);
        uint8_t b[3];
        size_t n;
        if (u < 0x80) {
            b[0] = uint8_t(u);
            n = 1;
        } else if (u < 0x800) {
            b[0] = uint8_t(0xC0 | u >> 6);
            b[1] = uint8_t(0x80 | (u & 0x3F));
            n = 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            continue;
        } else {
            b[0] = uint8_t(0xE0 | u >> 12);
            b[1] = uint8_t(0x80 | (u >> 6 & 0x3F));
            b[2] = uint8_t(0x80 | (u & 0x3F));
            n = 3;
        }
        ZEL_TRY(utf8.write(b, n));
    }
    ZEL_TRY(writeUInt32(static_cast<uint32_t>(utf8.length())));
    ZEL_TRY(utf8.writeTo(*this));
    return nullptr;
}

CErrorPtr CPosStream::getPositionInt32(int32_t& out) {
    uint64_t pos;
    ZEL_TRY(getPosition(pos));
    if (pos > kMaxInt32)
        return ZEL_ERROR(
            "@zelstr_CPosStream_getPositionInt32_Greater2GB The size of the stream is above allowed 2 GB.");
    out = static_cast<int32_t>(pos);
    return nullptr;
}

CErrorPtr CPosStream::getSizeInt(int32_t& out) {
    uint64_t size;
    ZEL_TRY(getSize(size));
    if (size > kMaxInt32)
        return ZEL_ERROR("@zelstr_CPosStream_getSizeInt_Greater2GB The size of the stream is above allowed 2 GB.");
    out = static_cast<int32_t>(size);
    return nullptr;
}

}  // namespace zel
