// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Where the application keeps its data. All paths are UTF-8 with "/".
namespace zel::platform {

// The data folder shared by every plug-in of the vendor:
// "$XDG_DATA_HOME/Zelmora", by default "~/.local/share/Zelmora". When
// LAGWELL_DATA_HOME is set it replaces the XDG base, so that tests and
// portable set-ups never touch the user's folders.
std::string globalDataFolder();
// This plug-in's own data folder, inside the global one.
std::string localDataFolder();

// The user's home folder: $HOME, else the user database's entry.
std::string homeFolder();

// Creates `path` and every missing folder above it, one level at a time;
// folders that exist already are fine. Returns 0 or the system error code.
int createFolders(const std::string& path);
bool folderExists(const std::string& path);

// The file of the loaded module (shared library or program) that holds this
// code; empty when the system cannot tell.
std::string modulePath();

}  // namespace zel::platform
