// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// File access on system handles. Every operation returns 0 or the system
// error code.
namespace zel::platform {

constexpr int kInvalidFile = -1;

enum class FileAccess {
    ReadExisting,           // read; the file must exist
    ReadWriteOpenOrCreate,  // read and write; created when missing
    WriteTruncate,          // write; created anew or emptied
    WriteOpenOrCreate,      // write; created when missing, kept otherwise
};

enum class StandardStream { Input, Output, Error };

enum class SeekOrigin { Begin, Current, End };

// Opens the file at `path` (UTF-8), shared with other readers and writers.
// A folder is refused like a file that cannot be opened.
int openFile(const std::string& path, FileAccess access, int& handle);
int standardHandle(StandardStream which);
// One read of up to `count` bytes; `done` is 0 at the end of the file.
int readFile(int handle, void* buffer, size_t count, size_t& done);
// Writes all `count` bytes unless an error stops it or the system accepts
// nothing; `done` says how many were written.
int writeFile(int handle, const void* buffer, size_t count, size_t& done);
int seekFile(int handle, int64_t offset, SeekOrigin origin, uint64_t& position);
int fileSize(int handle, uint64_t& size);
int closeFile(int handle);
// Waits until the file's data are on the storage device.
int syncFile(int handle);
// Moves `from` to `to` in one step, replacing a file already at `to`.
int renameFile(const std::string& from, const std::string& to);
int removeFile(const std::string& path);

}  // namespace zel::platform
