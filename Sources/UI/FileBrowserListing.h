// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "Core/Error.h"

namespace zel {

// What the file browser lists of one folder: the way up (except at the
// root), then its subfolders, then the files whose extension is
// `extension` (in any case; every file for an empty one), each group
// sorted by name regardless of case. Hidden entries (".name") are left
// out. Paths are absolute, UTF-8, with "/".
class CFileBrowserListing {
public:
    enum class EKind { Parent, Folder, File };
    struct CEntry {
        std::string name;
        EKind kind;
    };

    explicit CFileBrowserListing(std::string extension = {}) : m_extension(std::move(extension)) {}

    // Shows `folder`. A folder that cannot be read leaves what was shown.
    CErrorPtr open(const std::string& folder);
    // Reads the shown folder again.
    CErrorPtr refresh() { return open(m_folder); }
    const std::string& folder() const { return m_folder; }
    const std::string& extension() const { return m_extension; }
    const std::vector<CEntry>& entries() const { return m_entries; }
    // The path an entry leads to; the parent folder for the way up.
    std::string pathOf(size_t index) const;
    // The entry named `name` (exactly), or -1.
    int find(const std::string& name, EKind kind) const;
    // The next entry after `from` whose name starts with `letter` (any
    // case), wrapping round; -1 when none does.
    int nextStartingWith(char letter, int from) const;
    bool isListed(const std::string& fileName) const;
    // Where a file name typed for saving leads: in the shown folder (or
    // absolute), with the extension added when it has not got it. Empty
    // for a name that cannot name a file.
    std::string savePath(const std::string& typed) const;

    // `path` made absolute (against `base`), without "." and ".." steps,
    // repeated or trailing "/".
    static std::string normalise(const std::string& path, const std::string& base = "/");
    // The folder above `folder`; the root is its own parent.
    static std::string parentOf(const std::string& folder);
    // The folder part of a file path.
    static std::string folderOf(const std::string& path) { return parentOf(normalise(path)); }
    // A name proposed for saving, with characters that cannot be in a file
    // name replaced by "_".
    static std::string safeFileName(const std::string& proposed);

private:
    std::string m_extension;
    std::string m_folder;
    std::vector<CEntry> m_entries;
};

}  // namespace zel
