// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "Platform/Folders.h"

namespace zel::platform {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back.
class CEnvironment {
public:
    ~CEnvironment() {
        for (const auto& [name, value] : m_saved)
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
    }
    void set(const char* name, const char* value) {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(Folders, DataFoldersFollowTheEnvironment) {
    CEnvironment env;
    env.set("LAGWELL_DATA_HOME", "/data/own/");
    env.set("XDG_DATA_HOME", "/data/xdg");
    EXPECT_EQ(globalDataFolder(), "/data/own/Zelmora");
    EXPECT_EQ(localDataFolder(), "/data/own/Zelmora/Lagwell");

    env.set("LAGWELL_DATA_HOME", nullptr);
    EXPECT_EQ(globalDataFolder(), "/data/xdg/Zelmora");
    EXPECT_EQ(localDataFolder(), "/data/xdg/Zelmora/Lagwell");

    // A relative XDG_DATA_HOME is invalid and falls back to the default.
    env.set("XDG_DATA_HOME", "relative/share");
    env.set("HOME", "/home/someone");
    EXPECT_EQ(globalDataFolder(), "/home/someone/.local/share/Zelmora");
    env.set("XDG_DATA_HOME", "");
    EXPECT_EQ(localDataFolder(), "/home/someone/.local/share/Zelmora/Lagwell");
}

TEST(Folders, CreatesEveryMissingLevel) {
    const fs::path base = fs::path(LAGWELL_BINARY_DIR) / "test-files" / "folders";
    fs::remove_all(base);
    const std::string deep = (base / "one" / "two" / "three").string();
    EXPECT_FALSE(folderExists(deep));
    EXPECT_EQ(createFolders(deep), 0);
    EXPECT_TRUE(folderExists(deep));
    // Existing folders, and a trailing slash, are not errors.
    EXPECT_EQ(createFolders(deep), 0);
    EXPECT_EQ(createFolders(deep + "/"), 0);

    // A file where a folder should be is.
    std::ofstream((base / "file").string()) << "x";
    EXPECT_FALSE(folderExists((base / "file").string()));
    EXPECT_NE(createFolders((base / "file" / "below").string()), 0);
    EXPECT_NE(createFolders((base / "file").string()), 0);
    EXPECT_NE(createFolders(""), 0);
    fs::remove_all(base);
}

TEST(Folders, ModulePathNamesAnExistingFile) {
    const std::string path = modulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
}

}  // namespace
}  // namespace zel::platform
