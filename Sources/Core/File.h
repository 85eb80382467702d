// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "Core/Stream.h"

namespace zel {

// An open file: its name (for messages), the system handle and whether the
// handle is one of the process's standard handles, which are never closed.
class CFileBase {
public:
    CFileBase() = default;
    // Closes the file; a close error here has nobody left to report to.
    virtual ~CFileBase();
    CFileBase(const CFileBase&) = delete;
    CFileBase& operator=(const CFileBase&) = delete;

    CErrorPtr close();

    bool isOpen() const { return m_handle >= 0; }
    bool isStandardHandle() const { return m_standard; }
    const CString& fileName() const { return m_name; }
    int handle() const { return m_handle; }

    CErrorPtr getPosition(uint64_t& out);
    CErrorPtr setPosition(uint64_t position);
    CErrorPtr getSize(uint64_t& out);

protected:
    // Closes what is open and takes `handle` under `name`.
    void attach(const CString& name, int handle, bool standard);

private:
    CString m_name;
    int m_handle = -1;
    bool m_standard = false;
};

// Reads a file; the name "stdin" reads the process's standard input.
class CFileReader final : public CFileBase, public CPosInputStream {
public:
    // Opens an existing file for reading or, with `readWrite`, opens or
    // creates it for reading and writing.
    CErrorPtr open(const CString& name, bool readWrite = false);

    CErrorPtr skip(uint64_t count) override;
    CErrorPtr read(void* buffer, size_t count) override;
    // Delivers what the file has, up to `count`; 0 at the end.
    CErrorPtr readStreamed(void* buffer, size_t& count) override;

    CErrorPtr getPosition(uint64_t& out) override { return CFileBase::getPosition(out); }
    CErrorPtr setPosition(uint64_t position) override { return CFileBase::setPosition(position); }
    CErrorPtr getSize(uint64_t& out) override { return CFileBase::getSize(out); }
};

// Writes a file; the names "stdout" and "stderr" write the standard handles.
class CFileWriter final : public CFileBase, public CPosOutputStream {
public:
    // Creates the file anew (truncating) or, with `append`, opens or creates
    // it and writes on at its end.
    CErrorPtr open(const CString& name, bool append = false);

    CErrorPtr write(const void* buffer, size_t count) override;

    CErrorPtr getPosition(uint64_t& out) override { return CFileBase::getPosition(out); }
    CErrorPtr setPosition(uint64_t position) override { return CFileBase::setPosition(position); }
    CErrorPtr getSize(uint64_t& out) override { return CFileBase::getSize(out); }
};

// Replaces the file `name` with `size` bytes of `data` in one step: they go
// to a temporary file in the same folder, which is synced and then renamed
// over the old file. Readers and a crash see the old content or the new,
// never a part; on failure the old file is untouched.
CErrorPtr replaceFile(const CString& name, const void* data, size_t size);

// Renames the file `name` to `newName`, replacing a file of that name.
CErrorPtr renameFile(const CString& name, const CString& newName);

}  // namespace zel
