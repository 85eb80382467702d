// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace zel::platform {

struct CFolderEntry {
    std::string name;  // UTF-8, without the folder
    bool isFolder = false;
};

// The entries of the folder at `path`, without "." and "..". Links count as
// what they point to; broken links and entries that are neither files nor
// folders are left out. Returns 0 or the system error code.
int listFolder(const std::string& path, std::vector<CFolderEntry>& out);
// Whether something (file or folder) exists at `path`.
bool pathExists(const std::string& path);

}  // namespace zel::platform
