// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/File.h"

#include <cerrno>
#include <cstdint>
#include <limits>
#include <mutex>
#include <random>
#include <string>

#include "Platform/File.h"

#define ZEL_SOURCE_TAG "File"

namespace zel {

namespace {
constexpr uint64_t kMaxOffset = uint64_t(std::numeric_limits<int64_t>::max());
}  // namespace

// ---------------------------------------------------------------- CFileBase

CFileBase::~CFileBase() {
    if (m_handle >= 0 && !m_standard) platform::closeFile(m_handle);
}

void CFileBase::attach(const CString& name, int handle, bool standard) {
    if (m_handle >= 0 && !m_standard) platform::closeFile(m_handle);
    m_name = name;
    m_handle = handle;
    m_standard = standard;
}

CErrorPtr CFileBase::close() {
    const int handle = m_handle;
    const bool standard = m_standard;
    m_handle = platform::kInvalidFile;
    m_standard = false;
    if (handle < 0 || standard) return nullptr;
    if (const int error = platform::closeFile(handle))
        return ZEL_ERROR("@zelstr_CFileBase_close_CloseError Unable to close file '%1' (error %2).", m_name, error);
    return nullptr;
}

CErrorPtr CFileBase::getPosition(uint64_t& out) {
    if (const int error = platform::seekFile(m_handle, 0, platform::SeekOrigin::Current, out))
        return ZEL_ERROR("@zelstr_CFileBase_getPosition_PosError Unable to get file's '%1' position (error %2).",
                         m_name, error);
    return nullptr;
}

CErrorPtr CFileBase::setPosition(uint64_t position) {
    uint64_t reached = 0;
    const int error = position > kMaxOffset
                          ? EINVAL
                          : platform::seekFile(m_handle, int64_t(position), platform::SeekOrigin::Begin, reached);
    if (error)
        return ZEL_ERROR("@zelstr_CFileBase_setPosition_PosError Unable to set file's '%1' position to %2 (error %3).",
                         m_name, static_cast<unsigned long long>(position), error);
    return nullptr;
}

CErrorPtr CFileBase::getSize(uint64_t& out) {
    if (const int error = platform::fileSize(m_handle, out))
        return ZEL_ERROR("@zelstr_CFileBase_getSize_FileSizeError Unable to get file's '%1' size (error %2).", m_name,
                         error);
    return nullptr;
}

// ---------------------------------------------------------------- CFileReader

CErrorPtr CFileReader::open(const CString& name, bool readWrite) {
    if (name == "stdin") {
        attach(name, platform::standardHandle(platform::StandardStream::Input), true);
        return nullptr;
    }
    int handle = platform::kInvalidFile;
    const auto access = readWrite ? platform::FileAccess::ReadWriteOpenOrCreate : platform::FileAccess::ReadExisting;
    const int error = platform::openFile(name.utf8(), access, handle);
    attach(name, handle, false);
    if (error)
        return ZEL_ERROR("@zelstr_CFileReader_open_OpenError Unable to open file '%1' for reading (error %2).", name,
                         error);
    return nullptr;
}

CErrorPtr CFileReader::skip(uint64_t count) {
    uint64_t reached = 0;
    const int error = count > kMaxOffset
                          ? EINVAL
                          : platform::seekFile(handle(), int64_t(count), platform::SeekOrigin::Current, reached);
    if (error)
        return ZEL_ERROR("@zelstr_CFileReader_skip_PosError Unable to increment file's '%1' position by %2 (error %3).",
                         fileName(), static_cast<unsigned long long>(count), error);
    return nullptr;
}

CErrorPtr CFileReader::read(void* buffer, size_t count) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < count) {
        size_t done = 0;
        if (const int error = platform::readFile(handle(), p + total, count - total, done))
            return ZEL_ERROR("@zelstr_CFileReader_read_ReadError Unable to read from file '%1' (error %2).", fileName(),
                             error);
        if (done == 0) break;
        total += done;
    }
    if (total < count)
        return ZEL_ERROR(
            "@zelstr_CFileReader_read_ReadBeyondEnd Unable to read from file '%1' (required %2 bytes, read %3 bytes).",
            fileName(), static_cast<unsigned long long>(count), static_cast<unsigned long long>(total));
    return nullptr;
}

CErrorPtr CFileReader::readStreamed(void* buffer, size_t& count) {
    size_t done = 0;
    const int error = platform::readFile(handle(), buffer, count, done);
    count = done;
    if (error)
        return ZEL_ERROR("@zelstr_CFileReader_readStreamed_ReadError Unable to read from file '%1' (error %2).",
                         fileName(), error);
    return nullptr;
}

// ---------------------------------------------------------------- CFileWriter

CErrorPtr CFileWriter::open(const CString& name, bool append) {
    if (name == "stdout" || name == "stderr") {
        const auto which = name == "stdout" ? platform::StandardStream::Output : platform::StandardStream::Error;
        attach(name, platform::standardHandle(which), true);
        return nullptr;
    }
    int handle = platform::kInvalidFile;
    const auto access = append ? platform::FileAccess::WriteOpenOrCreate : platform::FileAccess::WriteTruncate;
    int error = platform::openFile(name.utf8(), access, handle);
    uint64_t end = 0;
    if (!error && append) {
        error = platform::seekFile(handle, 0, platform::SeekOrigin::End, end);
        if (error) {
            platform::closeFile(handle);
            handle = platform::kInvalidFile;
        }
    }
    attach(name, handle, false);
    if (error)
        return ZEL_ERROR("@zelstr_CFileWriter_open_OpenError Unable to open file '%1' for %2 (error %3).", name,
                         append ? "appending" : "rewriting", error);
    return nullptr;
}

CErrorPtr CFileWriter::write(const void* buffer, size_t count) {
    size_t done = 0;
    if (const int error = platform::writeFile(handle(), buffer, count, done))
        return ZEL_ERROR("@zelstr_CFileWriter_write_WriteError Unable to write to file '%1' (error %2).", fileName(),
                         error);
    if (done < count)
        return ZEL_ERROR(
            "@zelstr_CFileWriter_write_WriteErrorCount Unable to write to file '%1' (required %2 bytes, written %3 "
            "bytes).",
            fileName(), static_cast<unsigned long long>(count), static_cast<unsigned long long>(done));
    return nullptr;
}

// ---------------------------------------------------------------- whole files

namespace {

// Unique among processes that replace the same file at the same time.
std::string temporaryName(const std::string& name) {
    static std::mutex lock;
    static std::mt19937_64 random{std::random_device{}()};
    uint64_t r;
    {
        std::lock_guard<std::mutex> guard(lock);
        r = random();
    }
    static const char kHex[] = "0123456789abcdef";
    std::string suffix(".tmp-");
    for (int i = 0; i < 16; ++i) suffix += kHex[(r >> (i * 4)) & 15];
    return name + suffix;
}

}  // namespace

CErrorPtr replaceFile(const CString& name, const void* data, size_t size) {
    const CString temporary = CString::fromUtf8(temporaryName(name.utf8()));
    CErrorPtr err;
    {
        CFileWriter file;
        err = file.open(temporary);
        if (!err) err = file.write(data, size);
        if (!err) {
            if (const int error = platform::syncFile(file.handle()))
                err = ZEL_ERROR("@zelstr_CFileWriter_sync_SyncError Unable to write to file '%1' (error %2).",
                                temporary, error);
        }
        if (!err) err = file.close();
    }
    if (!err) err = renameFile(temporary, name);
    if (err) {
        platform::removeFile(temporary.utf8());
        return ZEL_PASS(err);
    }
    return nullptr;
}

CErrorPtr renameFile(const CString& name, const CString& newName) {
    if (const int error = platform::renameFile(name.utf8(), newName.utf8()))
        return ZEL_ERROR("@zelstr_CFileBase_rename_RenameError Unable to rename file '%1' to '%2' (error %3).", name,
                         newName, error);
    return nullptr;
}

}  // namespace zel
