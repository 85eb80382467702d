// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "UI/FileBrowserListing.h"

using namespace zel;

namespace {

namespace fs = std::filesystem;
using EKind = CFileBrowserListing::EKind;

// A folder of its own under the test's data folder.
std::string scratch(const std::string& name) {
    const fs::path path = fs::path(std::getenv("LAGWELL_DATA_HOME")) / ("browse-" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    return path.string();
}

void touch(const std::string& path) { std::ofstream(path) << "x"; }

std::vector<std::string> shown(const CFileBrowserListing& listing) {
    std::vector<std::string> out;
    for (const auto& e : listing.entries())
        out.push_back((e.kind == EKind::File ? "" : e.kind == EKind::Folder ? "/" : "^") + e.name);
    return out;
}

TEST(FileBrowserListing, ListsTheWayUpThenFoldersThenFilesOfTheTypeSortedWithoutCase) {
    const std::string root = scratch("sorted");
    for (const char* f : {"zeta.cbf", "Alpha.CBF", "beta.cbf", "beta.cpf", "notes.txt", ".hidden.cbf", "cbf"})
        touch(root + "/" + f);
    for (const char* d : {"Presets", "archive", ".cache", "old.cbf"}) fs::create_directory(root + "/" + d);
    // A link to a folder is a folder; a broken one is left out.
    fs::create_directory_symlink(root + "/archive", root + "/linked");
    fs::create_symlink(root + "/missing", root + "/broken.cbf");

    CFileBrowserListing banks("cbf");
    ASSERT_EQ(banks.open(root + "/./archive/../"), nullptr);
    EXPECT_EQ(banks.folder(), root);
    EXPECT_EQ(shown(banks), (std::vector<std::string>{"^..", "/archive", "/linked", "/old.cbf", "/Presets", "Alpha.CBF",
                                                      "beta.cbf", "zeta.cbf"}));
    EXPECT_EQ(banks.pathOf(0), fs::path(root).parent_path().string());
    EXPECT_EQ(banks.pathOf(1), root + "/archive");
    EXPECT_EQ(banks.pathOf(7), root + "/zeta.cbf");
    EXPECT_EQ(banks.find("beta.cbf", EKind::File), 6);
    EXPECT_EQ(banks.find("beta.cbf", EKind::Folder), -1);

    // Without a type every file shows.
    CFileBrowserListing all;
    ASSERT_EQ(all.open(root), nullptr);
    EXPECT_EQ(all.entries().size(), 11u) << "the way up, 4 folders, 6 files";

    // At the root there is no way up.
    ASSERT_EQ(all.open("/"), nullptr);
    ASSERT_FALSE(all.entries().empty());
    EXPECT_NE(all.entries().front().kind, EKind::Parent);
    EXPECT_EQ(CFileBrowserListing::parentOf("/"), "/");
    EXPECT_EQ(CFileBrowserListing::parentOf("/home"), "/");
}

TEST(FileBrowserListing, AFolderThatCannotBeReadKeepsWhatWasShown) {
    const std::string root = scratch("keep");
    touch(root + "/one.cpf");
    CFileBrowserListing presets("cpf");
    ASSERT_EQ(presets.open(root), nullptr);
    const CErrorPtr err = presets.open(root + "/gone");
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->text().utf8().find("Unable to read folder '" + root + "/gone'"), std::string::npos)
        << err->describe();
    EXPECT_EQ(presets.folder(), root);
    EXPECT_EQ(shown(presets), (std::vector<std::string>{"^..", "one.cpf"}));
    // A file is no folder.
    EXPECT_NE(presets.open(root + "/one.cpf"), nullptr);
    EXPECT_EQ(presets.folder(), root);
    // A file that appeared shows once the folder is read again.
    touch(root + "/two.cpf");
    ASSERT_EQ(presets.refresh(), nullptr);
    EXPECT_EQ(shown(presets), (std::vector<std::string>{"^..", "one.cpf", "two.cpf"}));
}

TEST(FileBrowserListing, ATypedNameBecomesAPathWithTheExtension) {
    const std::string root = scratch("names");
    CFileBrowserListing banks("cbf");
    ASSERT_EQ(banks.open(root), nullptr);
    EXPECT_EQ(banks.savePath("Live set"), root + "/Live set.cbf");
    EXPECT_EQ(banks.savePath("  Live.CBF "), root + "/Live.CBF") << "an extension in any case is kept";
    EXPECT_EQ(banks.savePath("mix.cbf.bak"), root + "/mix.cbf.bak.cbf");
    EXPECT_EQ(banks.savePath("sub/mine"), root + "/sub/mine.cbf");
    EXPECT_EQ(banks.savePath("../up"), fs::path(root).parent_path().string() + "/up.cbf");
    EXPECT_EQ(banks.savePath("/tmp/abs.cbf"), "/tmp/abs.cbf");
    for (const char* bad : {"", "   ", "..", ".", "sub/", "/", "sub/.."}) EXPECT_EQ(banks.savePath(bad), "") << bad;

    CFileBrowserListing any;
    ASSERT_EQ(any.open(root), nullptr);
    EXPECT_EQ(any.savePath("plain"), root + "/plain");

    EXPECT_EQ(CFileBrowserListing::safeFileName("Lagwell_A/B test\t1"), "Lagwell_A_B test_1");
    EXPECT_EQ(CFileBrowserListing::normalise("a//b/../c/", "/base"), "/base/a/c");
    EXPECT_EQ(CFileBrowserListing::normalise("/../.."), "/");
    EXPECT_EQ(CFileBrowserListing::folderOf("/x/y/file.cbf"), "/x/y");
}

TEST(FileBrowserListing, ALetterGoesToTheNextEntryStartingWithItAndWrapsRound) {
    const std::string root = scratch("letters");
    for (const char* f : {"bass.cbf", "Beat.cbf", "drums.cbf"}) touch(root + "/" + f);
    fs::create_directory(root + "/backup");
    CFileBrowserListing banks("cbf");
    ASSERT_EQ(banks.open(root), nullptr);
    // ^.., /backup, bass, Beat, drums
    EXPECT_EQ(banks.nextStartingWith('b', 0), 1);
    EXPECT_EQ(banks.nextStartingWith('B', 1), 2);
    EXPECT_EQ(banks.nextStartingWith('b', 2), 3);
    EXPECT_EQ(banks.nextStartingWith('b', 3), 1) << "wraps round";
    EXPECT_EQ(banks.nextStartingWith('d', -1), 4);
    EXPECT_EQ(banks.nextStartingWith('.', 0), -1) << "the way up is no name";
    EXPECT_EQ(banks.nextStartingWith('q', 2), -1);
}

}  // namespace
