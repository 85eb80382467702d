// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/FolderListing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

namespace zel::platform {

int listFolder(const std::string& path, std::vector<CFolderEntry>& out) {
    out.clear();
    DIR* dir = opendir(path.c_str());
    if (!dir) return errno;
    const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
    errno = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (stat((prefix + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            out.push_back({name, true});
        else if (S_ISREG(st.st_mode))
            out.push_back({name, false});
        errno = 0;
    }
    const int failed = errno;
    closedir(dir);
    return failed;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace zel::platform
