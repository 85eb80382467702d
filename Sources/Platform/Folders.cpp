// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Folders.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zel::platform {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

namespace {

std::string dataHome() {
    if (const char* own = std::getenv("LAGWELL_DATA_HOME"); own && *own) return own;
    // Relative values are invalid by the XDG rules and are ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
    return homeFolder() + "/.local/share";
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string globalDataFolder() { return withoutTrailingSlashes(dataHome()) + "/Zelmora"; }

std::string localDataFolder() { return globalDataFolder() + "/Lagwell"; }

bool folderExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int createFolders(const std::string& path) {
    if (path.empty()) return ENOENT;
    size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('/', end + 1);
        const std::string level = path.substr(0, end);
        if (level.empty() || level.back() == '/' || folderExists(level)) continue;
        if (mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return errno;
        if (!folderExists(level)) return ENOTDIR;
    }
    return 0;
}

std::string modulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&modulePath), &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

}  // namespace zel::platform
