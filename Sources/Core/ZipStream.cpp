// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/ZipStream.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <vector>

#define ZEL_SOURCE_TAG "ZipStream"

namespace zel {

namespace {

// zlib counts in uInt; larger requests are fed in pieces of this size.
constexpr size_t kMaxZlibPiece = size_t(1) << 30;
// A compressed block's payload buffer grows by at least this much at a time.
constexpr size_t kPayloadGrowBytes = size_t(1) << 20;

const char* zlibMessage(const z_stream& z) { return z.msg ? z.msg : ""; }

uint32_t lengthCheck(const uint8_t (&lengthBytes)[4]) {
    return static_cast<uint32_t>(adler32(adler32(0, Z_NULL, 0), lengthBytes, 4));
}

}  // namespace

struct CInputZipStream::CState {
    z_stream z{};
    uint8_t buffer[kBufferBytes];
};

CInputZipStream::CInputZipStream() : m_state(std::make_unique<CState>()) {}

CInputZipStream::~CInputZipStream() { close(); }

CErrorPtr CInputZipStream::open(CInputStream& source) {
    ZEL_TRY(close());
    z_stream& z = m_state->z;
    z = z_stream{};
    size_t filled = kBufferBytes;
    ZEL_TRY(source.readStreamed(m_state->buffer, filled));
    z.next_in = m_state->buffer;
    z.avail_in = static_cast<uInt>(filled);
    const int rc = inflateInit(&z);
    if (rc != Z_OK)
        return ZEL_ERROR("@zelstr_CInputZipStream_open_inflateInit zlib inflateInit error %1 (%2).", rc,
                         zlibMessage(z));
    m_source = &source;
    m_initialised = true;
    return nullptr;
}

CErrorPtr CInputZipStream::read(void* buffer, size_t count) {
    if (!m_source) return ZEL_ERROR("@zelstr_CInputZipStream_read_NoStream Input stream not specified.");
    z_stream& z = m_state->z;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        if (z.avail_in == 0) {
            size_t filled = kBufferBytes;
            ZEL_TRY(m_source->readStreamed(m_state->buffer, filled));
            if (filled == 0) return ZEL_ERROR("@zelstr_CInputZipStream_read_EOF Premature end of file.");
            z.next_in = m_state->buffer;
            z.avail_in = static_cast<uInt>(filled);
        }
        const uInt room = static_cast<uInt>(std::min(count, kMaxZlibPiece));
        z.next_out = out;
        z.avail_out = room;
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        const size_t produced = room - z.avail_out;
        out += produced;
        count -= produced;
        if (rc == Z_STREAM_END) {
            if (count > 0) return ZEL_ERROR("@zelstr_CInputZipStream_read_EOF Premature end of file.");
            break;
        }
        // Z_BUF_ERROR only means that zlib wants more input.
        if (rc == Z_BUF_ERROR && z.avail_in == 0) continue;
        if (rc != Z_OK)
            return ZEL_ERROR("@zelstr_CInputZipStream_read_inflate zlib inflate error %1 (%2).", rc, zlibMessage(z));
    }
    return nullptr;
}

CErrorPtr CInputZipStream::close() {
    m_source = nullptr;
    if (!m_initialised) return nullptr;
    m_initialised = false;
    const int rc = inflateEnd(&m_state->z);
    if (rc != Z_OK)
        return ZEL_ERROR("@zelstr_CInputZipStream_close_inflateEnd zlib inflateEnd error %1 (%2).", rc,
                         zlibMessage(m_state->z));
    return nullptr;
}

struct COutputZipStream::CState {
    z_stream z{};
    uint8_t buffer[kBufferBytes];
};

COutputZipStream::COutputZipStream() : m_state(std::make_unique<CState>()) {}

// The target may already be gone here, so an unfinished stream is dropped.
COutputZipStream::~COutputZipStream() { release(); }

void COutputZipStream::release() {
    m_target = nullptr;
    if (!m_initialised) return;
    m_initialised = false;
    deflateEnd(&m_state->z);
}

CErrorPtr COutputZipStream::open(COutputStream& target, int level) {
    release();
    z_stream& z = m_state->z;
    z = z_stream{};
    const int rc = deflateInit(&z, level);
    if (rc != Z_OK)
        return ZEL_ERROR("@zelstr_COutputZipStream_open_deflateInit zlib deflateInit error %1 (%2).", rc,
                         zlibMessage(z));
    z.next_out = m_state->buffer;
    z.avail_out = kBufferBytes;
    m_target = &target;
    m_initialised = true;
    return nullptr;
}

CErrorPtr COutputZipStream::flushBuffer() {
    z_stream& z = m_state->z;
    const size_t filled = kBufferBytes - z.avail_out;
    z.next_out = m_state->buffer;
    z.avail_out = kBufferBytes;
    if (filled) ZEL_TRY(m_target->write(m_state->buffer, filled));
    return nullptr;
}

CErrorPtr COutputZipStream::write(const void* buffer, size_t count) {
    if (!m_target) return ZEL_ERROR("@zelstr_COutputZipStream_write_NoStream Output stream not specified.");
    z_stream& z = m_state->z;
    // zlib's input pointer is not const-qualified, but deflate never writes through it.
    z.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    while (count > 0) {
        const uInt piece = static_cast<uInt>(std::min(count, kMaxZlibPiece));
        z.avail_in = piece;
        while (z.avail_in > 0) {
            const int rc = deflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK)
                return ZEL_ERROR("@zelstr_COutputZipStream_write_deflate zlib deflate error %1 (%2).", rc,
                                 zlibMessage(z));
            if (z.avail_out == 0) ZEL_TRY(flushBuffer());
        }
        count -= piece;
    }
    return nullptr;
}

CErrorPtr COutputZipStream::close() {
    if (!m_initialised) return nullptr;
    z_stream& z = m_state->z;
    for (;;) {
        const int rc = deflate(&z, Z_FINISH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            CErrorPtr err =
                ZEL_ERROR("@zelstr_COutputZipStream_close_deflate zlib deflate error %1 (%2).", rc, zlibMessage(z));
            release();
            return err;
        }
        if (CErrorPtr err = flushBuffer()) {
            release();
            return ZEL_PASS(err);
        }
        if (rc == Z_STREAM_END) break;
    }
    m_target = nullptr;
    m_initialised = false;
    const int rc = deflateEnd(&z);
    if (rc != Z_OK)
        return ZEL_ERROR("@zelstr_COutputZipStream_close_deflateEnd zlib deflateEnd error %1 (%2).", rc,
                         zlibMessage(z));
    return nullptr;
}

CErrorPtr CInputStream::readCompressedData(uint32_t expectedTag, std::vector<uint8_t>& out, size_t maxLength) {
    uint32_t tag;
    ZEL_TRY(readUInt32(tag));
    if (tag != expectedTag)
        return ZEL_ERROR(
            "@zelstr_CInputStream_readCompressedData_InvalidData Invalid ID encountered when reading compressed data "
            "(expected %1, read %2).",
            expectedTag, tag);
    uint8_t lengthBytes[4];
    ZEL_TRY(read(lengthBytes, sizeof lengthBytes));
    uint32_t check;
    ZEL_TRY(readUInt32(check));
    const uint32_t expectedCheck = lengthCheck(lengthBytes);
    if (check != expectedCheck)
        return ZEL_ERROR(
            "@zelstr_CInputStream_readCompressedData_HeadCRC Invalid CRC encountered when reading compressed data "
            "(expected %1, read %2).",
            expectedCheck, check);
    const size_t length = uint32_t(lengthBytes[0]) | uint32_t(lengthBytes[1]) << 8 | uint32_t(lengthBytes[2]) << 16 |
                          uint32_t(lengthBytes[3]) << 24;
    if (length > maxLength)
        return ZEL_ERROR(
            "@zelstr_CInputStream_readCompressedData_TooLong Compressed data of %1 bytes above the allowed %2 bytes.",
            length, maxLength);

    CInputZipStream zip;
    ZEL_TRY(zip.open(*this));
    // Below the ceiling a damaged block can still claim more than it holds.
    // The buffer therefore grows with the data actually decompressed (at most
    // doubling), so a lying length ends in the EOF error instead of a large
    // allocation up front.
    out.clear();
    size_t done = 0;
    while (done < length) {
        const size_t piece = std::min(length - done, std::max(kPayloadGrowBytes, done));
        try {
            out.resize(done + piece);
        } catch (const std::bad_alloc&) {
            return ZEL_ERROR(
                "@zelstr_CInputStream_readCompressedData_NoMemory Not enough memory for compressed data of %1 bytes.",
                length);
        }
        ZEL_TRY(zip.read(out.data() + done, piece));
        done += piece;
    }
    ZEL_TRY(zip.close());
    return nullptr;
}

CErrorPtr COutputStream::writeCompressedData(uint32_t tag, const void* data, size_t count) {
    if (count > UINT32_MAX)
        return ZEL_ERROR(
            "@zelstr_COutputStream_writeCompressedData_TooLong Data of %1 bytes is too long for a compressed block.",
            count);
    const uint8_t lengthBytes[4] = {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)};
    ZEL_TRY(writeUInt32(tag));
    ZEL_TRY(write(lengthBytes, sizeof lengthBytes));
    ZEL_TRY(writeUInt32(lengthCheck(lengthBytes)));
    COutputZipStream zip;
    ZEL_TRY(zip.open(*this, COutputZipStream::kDefaultLevel));
    ZEL_TRY(zip.write(data, count));
    ZEL_TRY(zip.close());
    return nullptr;
}

}  // namespace zel
