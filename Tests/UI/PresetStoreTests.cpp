// SPDX-License-Identifier: GPL-3.0-or-later
// The user's banks in application data: what one instance stores, every
// other reads; a write that fails part of the way leaves the previous banks.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>

#include "Core/MemoryStream.h"
#include "Core/Object.h"
#include "UI/PresetStore.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

CAudioPresetBank bank(const char* name, size_t presets, size_t noiseBytes = 8) {
    CAudioPresetBank b(name);
    std::mt19937 random(7);
    for (size_t i = 0; i < presets; ++i) {
        CAudioPreset p(CAudioPreset::makeName("t4c9", "P" + CString::fromUtf8(std::to_string(i))));
        // Noise does not compress: the file is as large as the items.
        CAudioPreset::CBlob blob(noiseBytes);
        for (uint8_t& byte : blob) byte = uint8_t(random());
        p.setItem("modLagwell.adelay", std::move(blob));
        b.presets().push_back(std::move(p));
    }
    return b;
}

std::vector<std::string> names(const std::vector<CAudioPresetBank>& banks) {
    std::vector<std::string> out;
    for (const CAudioPresetBank& b : banks) out.push_back(b.name().utf8() + "/" + std::to_string(b.presets().size()));
    return out;
}

class PresetStoreTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove(path()); }
    void TearDown() override { fs::remove(path()); }
    fs::path path() const { return fs::path(store.data().itemPath(store.item())); }

    CObject context;
    CPresetStore store{context, "test-banks", false};
};

TEST_F(PresetStoreTest, BanksRoundTripInOrderAndAnotherReaderSeesThem) {
    EXPECT_TRUE(store.load().empty()) << "nothing stored yet";
    const std::vector<CAudioPresetBank> banks{bank("First", 2), bank("", 0), bank("Third", 1)};
    ASSERT_EQ(store.save(banks), nullptr);
    // Another instance reads the same item through its own store object.
    CObject other;
    EXPECT_EQ(names(CPresetStore(other, "test-banks", false).load()),
              (std::vector<std::string>{"First/2", "/0", "Third/1"}));
    EXPECT_FALSE(CPresetStore(other, "test-banks", true).load().size()) << "the global store is another folder";
    ASSERT_EQ(store.save({}), nullptr);
    EXPECT_TRUE(store.load().empty());
}

TEST_F(PresetStoreTest, TheEmbeddedListsReadAsOneNamelessBank) {
    CMemoryWriter out;
    CAudioPresetBank list;
    list.presets() = bank("", 3).presets();
    ASSERT_EQ(list.saveList(out), nullptr);
    CMemoryReader in(out.take());
    std::vector<CAudioPresetBank> banks;
    ASSERT_EQ(CPresetStore::readBanks(in, banks), nullptr);
    EXPECT_EQ(names(banks), (std::vector<std::string>{"/3"}));
}

TEST_F(PresetStoreTest, ACountBeyondWhatTheItemCanHoldIsRefused) {
    CMemoryWriter out;
    ASSERT_EQ(out.writeUInt32(0xFFFFFFFFu), nullptr);
    CMemoryReader in(out.take());
    std::vector<CAudioPresetBank> banks{bank("Kept", 1)};
    const CErrorPtr err = CPresetStore::readBanks(in, banks);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(names(banks), (std::vector<std::string>{"Kept/1"})) << "a refused list changes nothing";
}

// The disk fills up while the new banks are written: the file size limit
// makes the write fail part of the way through, as a full disk does.
TEST_F(PresetStoreTest, AWriteThatFailsHalfwayLeavesThePreviousBanks) {
    ASSERT_EQ(store.save({bank("Old", 2)}), nullptr);
    const auto before = fs::file_size(path());

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const CErrorPtr err = store.save({bank("New", 8, 8 * 1024)});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    ASSERT_NE(err, nullptr) << "64 kB of noise do not fit under a 16 kB limit";
    EXPECT_EQ(fs::file_size(path()), before);
    EXPECT_EQ(names(store.load()), (std::vector<std::string>{"Old/2"}));
    for (const auto& entry : fs::directory_iterator(path().parent_path()))
        EXPECT_EQ(entry.path().filename().string().find("test-banks."), std::string::npos)
            << "no temporary file is left: " << entry.path();
}

}  // namespace
}  // namespace zel
