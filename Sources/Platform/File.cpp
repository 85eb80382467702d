// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace zel::platform {

namespace {
int accessFlags(FileAccess access) {
    switch (access) {
        case FileAccess::ReadExisting:
            return O_RDONLY;
        case FileAccess::ReadWriteOpenOrCreate:
            return O_RDWR | O_CREAT;
        case FileAccess::WriteTruncate:
            return O_WRONLY | O_CREAT | O_TRUNC;
        case FileAccess::WriteOpenOrCreate:
            return O_WRONLY | O_CREAT;
    }
    return O_RDONLY;
}
}  // namespace

int openFile(const std::string& path, FileAccess access, int& handle) {
    handle = kInvalidFile;
    int fd;
    do {
        fd = ::open(path.c_str(), accessFlags(access) | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return error;
    }
    if (access == FileAccess::ReadExisting) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle = fd;
    return 0;
}

int standardHandle(StandardStream which) {
    switch (which) {
        case StandardStream::Input:
            return STDIN_FILENO;
        case StandardStream::Output:
            return STDOUT_FILENO;
        case StandardStream::Error:
            return STDERR_FILENO;
    }
    return kInvalidFile;
}

int readFile(int handle, void* buffer, size_t count, size_t& done) {
    done = 0;
    ssize_t n;
    do {
        n = ::read(handle, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return errno;
    done = size_t(n);
    return 0;
}

int writeFile(int handle, const void* buffer, size_t count, size_t& done) {
    done = 0;
    const char* p = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::write(handle, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return 0;
}

int seekFile(int handle, int64_t offset, SeekOrigin origin, uint64_t& position) {
    const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    static_assert(sizeof(off_t) == 8, "64-bit file offsets required");
    const off_t result = ::lseek(handle, off_t(offset), whence);
    if (result < 0) return errno;
    position = uint64_t(result);
    return 0;
}

int fileSize(int handle, uint64_t& size) {
    struct stat st {};
    if (fstat(handle, &st) != 0) return errno;
    size = uint64_t(st.st_size);
    return 0;
}

int closeFile(int handle) {
    // Linux releases the descriptor even when close reports EINTR, so it
    // must not be retried.
    if (::close(handle) != 0 && errno != EINTR) return errno;
    return 0;
}

int syncFile(int handle) {
    int rc;
    do {
        rc = ::fsync(handle);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

int renameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

}  // namespace zel::platform
