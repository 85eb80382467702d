// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Core/AppData.h"
#include "Core/ClassRegistry.h"
#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"
#include "Core/SharedAttribute.h"
#include "Support/ShownErrors.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kDstr = makeTag("dstr");
constexpr uint32_t kAdat = makeTag("adat");
const char* const kSchemeItem = "../uicolor-name|AppDataLocal_uicolor-name";
const char* const kSharedItem = "test-shared-precision";
const char* const kByNameItem = "test-shared-byname";

std::vector<uint8_t> dstr(const char* text) {
    CMemoryWriter w;
    EXPECT_EQ(w.writeString(text), nullptr);
    return w.bytes();
}

std::string readText(std::vector<uint8_t> bytes) {
    CMemoryReader r(std::move(bytes));
    CString text;
    EXPECT_EQ(r.readString(text), nullptr);
    return text.utf8();
}

class CChangeLog {
public:
    void changed(CAppData&, const CString& item) { items.push_back(item.utf8()); }
    std::vector<std::string> items;
};

class AppDataTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }

    void clean() {
        fs::remove(CAppDataLocal::instance().itemPath(kSchemeItem));
        fs::remove(CAppDataLocal::instance().itemPath(kSchemeItem) + CAppData::kDamagedSuffix);
        fs::remove(CAppDataGlobal::instance().itemPath(kSharedItem));
        fs::remove(CAppDataLocal::instance().itemPath(kSharedItem));
        fs::remove(CAppDataLocal::instance().itemPath(kByNameItem));
        fs::remove_all(scratch());
    }
    static fs::path scratch() { return fs::path(home()) / "scratch"; }
    static std::string home() { return std::getenv("LAGWELL_DATA_HOME"); }
};

TEST_F(AppDataTest, StoresAndTheirParentItemsStayInsideOurFolders) {
    EXPECT_EQ(CAppDataGlobal::instance().folder(), home() + "/Zelmora/Global/Data");
    EXPECT_EQ(CAppDataLocal::instance().folder(), home() + "/Zelmora/Lagwell/Data");
    EXPECT_EQ(CAppDataGlobal::instance().itemPath("../routing-presets|AppDataGlobal_routing-presets-sys"),
              home() + "/Zelmora/Global/routing-presets");
    EXPECT_EQ(CAppDataLocal::instance().itemPath(kSchemeItem), home() + "/Zelmora/Lagwell/uicolor-name");
    EXPECT_EQ(CAppDataGlobal::instance().itemPath("frames-per-second"),
              home() + "/Zelmora/Global/Data/frames-per-second");
}

TEST_F(AppDataTest, WithoutAFileTheEmbeddedDefaultIsRead) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(CAppDataLocal::instance().readItem(kSchemeItem, bytes, kDstr), nullptr);
    const std::string scheme = readText(bytes);
    EXPECT_EQ(scheme.size(), 4u) << scheme;

    CResourceReader resource;
    ASSERT_EQ(resource.open("AppDataLocal_uicolor-name"), nullptr);
    ASSERT_TRUE(resource.isEmbedded());
    std::vector<uint8_t> embedded;
    ASSERT_EQ(resource.readCompressedData(kDstr, embedded, SIZE_MAX), nullptr);
    EXPECT_EQ(bytes, embedded);

    // No file and no default: the file's own error.
    CErrorPtr err = CAppDataLocal::instance().readItem("../no-such-item", bytes, kDstr);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileReader_open_OpenError");
    ASSERT_EQ(err->args().size(), 2u);
    EXPECT_EQ(err->args()[1].utf8(), "2");
}

TEST_F(AppDataTest, WriteThenReadRoundTripsAndTellsListeners) {
    CAppData store((scratch() / "Store" / "Data").string());
    CChangeLog log;
    auto listener = std::make_unique<CAppDataListener<CChangeLog>>(log, &CChangeLog::changed, store);
    EXPECT_EQ(&listener->store(), &store);

    const std::vector<uint8_t> payload{1, 2, 3, 250, 0, 7};
    ASSERT_EQ(store.writeItem("../record", payload.data(), payload.size(), kAdat), nullptr);
    EXPECT_TRUE(fs::is_regular_file(scratch() / "Store" / "record"));
    EXPECT_EQ(log.items, std::vector<std::string>{"../record"});

    std::vector<uint8_t> back;
    ASSERT_EQ(store.readItem("../record", back, kAdat), nullptr);
    EXPECT_EQ(back, payload);
    CErrorPtr err = store.readItem("../record", back, makeTag("alst"));
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_InvalidData");

    // A file of the item wins over the embedded default; the listener hears
    // the file name without the default's.
    const std::vector<uint8_t> blue = dstr("Blue");
    ASSERT_EQ(store.writeItem(kSchemeItem, blue.data(), blue.size(), kDstr), nullptr);
    EXPECT_EQ(log.items.back(), "../uicolor-name");
    ASSERT_EQ(store.readItem(kSchemeItem, back, kDstr), nullptr);
    EXPECT_EQ(readText(back), "Blue");

    listener.reset();
    EXPECT_EQ(store.listenerCount(), 0u);
    ASSERT_EQ(store.writeItem("../record", payload.data(), payload.size(), kAdat), nullptr);
    EXPECT_EQ(log.items.size(), 2u);
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(AppDataTest, DamagedFileIsSetAsideAndReportedOnceAndTheDefaultServes) {
    CShownErrors shown;
    const std::string file = CAppDataLocal::instance().itemPath(kSchemeItem);
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << "garbage";
    std::vector<uint8_t> bytes;
    ASSERT_EQ(CAppDataLocal::instance().readItem(kSchemeItem, bytes, kDstr), nullptr);
    EXPECT_EQ(readText(bytes).size(), 4u);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(fileText(file + ".damaged"), "garbage");
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_NE(shown.shown()[0].find("damaged"), std::string::npos) << shown.shown()[0];
    EXPECT_NE(shown.shown()[0].find(file + ".damaged"), std::string::npos) << shown.shown()[0];

    ASSERT_EQ(CAppDataLocal::instance().readItem(kSchemeItem, bytes, kDstr), nullptr);
    EXPECT_EQ(readText(bytes).size(), 4u);
    EXPECT_EQ(shown.shown().size(), 1u);

    // A file the user removes after it was read gives the default again.
    const std::vector<uint8_t> blue = dstr("Blue");
    ASSERT_EQ(CAppDataLocal::instance().writeItem(kSchemeItem, blue.data(), blue.size(), kDstr), nullptr);
    ASSERT_EQ(CAppDataLocal::instance().readItem(kSchemeItem, bytes, kDstr), nullptr);
    EXPECT_EQ(readText(bytes), "Blue");
    std::filesystem::remove(file);
    ASSERT_EQ(CAppDataLocal::instance().readItem(kSchemeItem, bytes, kDstr), nullptr);
    EXPECT_NE(readText(bytes), "Blue");
    EXPECT_EQ(readText(bytes).size(), 4u);
}

TEST_F(AppDataTest, DamagedFileGivesWayToWhatWasReadBefore) {
    CShownErrors shown;
    CAppData store((scratch() / "Kept" / "Data").string());
    const fs::path file = store.itemPath("../record");
    const std::vector<uint8_t> payload{1, 2, 3};
    ASSERT_EQ(store.writeItem("../record", payload.data(), payload.size(), kAdat), nullptr);
    std::ofstream(file, std::ios::binary) << "7 bytes";
    std::vector<uint8_t> back;
    ASSERT_EQ(store.readItem("../record", back, kAdat), nullptr);
    EXPECT_EQ(back, payload);
    EXPECT_EQ(fileText(file.string() + ".damaged"), "7 bytes");
    back.clear();
    ASSERT_EQ(store.readItem("../record", back, kAdat), nullptr);
    EXPECT_EQ(back, payload);
    EXPECT_EQ(shown.shown().size(), 1u);

    // Nothing kept and no default: the reader's error, and the file aside.
    CAppData fresh((scratch() / "Fresh" / "Data").string());
    fs::create_directories(scratch() / "Fresh");
    std::ofstream(fresh.itemPath("../record"), std::ios::binary) << "7 bytes";
    CErrorPtr err = fresh.readItem("../record", back, kAdat);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_InvalidData");
    EXPECT_TRUE(fs::exists(fresh.itemPath("../record") + ".damaged"));
    EXPECT_EQ(shown.shown().size(), 2u);
}

TEST_F(AppDataTest, WritesReplaceTheFileWholeAndLeaveNothingBehind) {
    CAppData store((scratch() / "Atomic" / "Data").string());
    const std::vector<uint8_t> first{1, 2, 3}, second{4, 5, 6, 7};
    ASSERT_EQ(store.writeItem("../record", first.data(), first.size(), kAdat), nullptr);
    const fs::path file = store.itemPath("../record");
    const std::string firstBlock = fileText(file);
    // A reader holding the old file keeps seeing it whole: the new content
    // arrives as a new file renamed over the old name, not written into it.
    const fs::path held = scratch() / "Atomic" / "held";
    fs::create_hard_link(file, held);
    ASSERT_EQ(store.writeItem("../record", second.data(), second.size(), kAdat), nullptr);
    EXPECT_EQ(fileText(held), firstBlock);
    std::vector<uint8_t> back;
    ASSERT_EQ(store.readItem("../record", back, kAdat), nullptr);
    EXPECT_EQ(back, second);
    EXPECT_EQ(filesIn(scratch() / "Atomic"), (std::vector<std::string>{"held", "record"}));
}

TEST_F(AppDataTest, ADeclaredLengthAboveTheCeilingIsRefusedUnread) {
    CAppData store((scratch() / "Bomb" / "Data").string());
    const fs::path file = store.itemPath("../record");
    fs::create_directories(file.parent_path());
    // The header alone: a length one above the ceiling with its check.
    CMemoryWriter w;
    const std::vector<uint8_t> big(CAppData::kMaxItemBytes + 1, 0);
    ASSERT_EQ(w.writeCompressedData(kAdat, big.data(), big.size()), nullptr);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(w.bytes().data()), 12);
    std::vector<uint8_t> back;
    CErrorPtr err = store.readItem("../record", back, kAdat);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_TooLong");
    EXPECT_TRUE(back.empty());
}

TEST_F(AppDataTest, FailedWriteIsReportedAndNotAnnounced) {
    fs::create_directories(scratch());
    std::ofstream((scratch() / "blocker").string()) << "a file where the store's folder should be";
    CAppData store((scratch() / "blocker" / "Data").string());
    CChangeLog log;
    CAppDataListener<CChangeLog> listener(log, &CChangeLog::changed, store);
    const std::vector<uint8_t> payload{1};
    CErrorPtr err = store.writeItem("item", payload.data(), payload.size(), kAdat);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileWriter_open_OpenError");
    EXPECT_TRUE(log.items.empty());
}

// A shared attribute whose class has an "update" event, as the editor's
// settings objects do.
class CUpdatingShared final : public CSharedAttribute {
public:
    static const CClassInfo& classInfo() {
        static const CClassEntry entry{"test:updating-shared", &createObject<CUpdatingShared>, nullptr};
        static const CClassInfo info = [] {
            CClassInfo i(entry);
            setupObjectClass(i);
            i.onEvent("update", &CUpdatingShared::onUpdate);
            return i;
        }();
        return info;
    }
    int updates = 0;

private:
    CErrorPtr onUpdate(CObject*, CObject*) {
        ++updates;
        return nullptr;
    }
};

std::unique_ptr<CSharedAttribute> makeShared(const char* name, const char* dataName, bool global,
                                             bool withUpdate = false) {
    std::unique_ptr<CSharedAttribute> shared;
    if (withUpdate) {
        shared = std::make_unique<CUpdatingShared>();
        shared->setClassInfo(&CUpdatingShared::classInfo());
    } else {
        shared.reset(dynamic_cast<CSharedAttribute*>(CClassRegistry::instance().create("core:shared-attribute")));
        if (!shared) return nullptr;
    }
    shared->setName(name);
    shared->setAttr("attribute", "precision");
    shared->setAttr("data-name", dataName);
    shared->setAttr("is-global", global ? "true" : "false");
    shared->setAttr("def-value", "0.8");
    shared->setAttr("precision", "");
    return shared;
}

TEST_F(AppDataTest, SharedAttributeNeedsTheAttributeName) {
    std::unique_ptr<CObject> shared(CClassRegistry::instance().create("core:shared-attribute"));
    ASSERT_NE(shared, nullptr);
    shared->setAttr("attribute", "");
    CErrorPtr err = shared->init();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CSharedAttribute_init_NoAttribute");
    EXPECT_EQ(err->text().utf8(), "No attached attribute name specified.");
}

TEST_F(AppDataTest, SharedAttributesOfOneItemFollowEachOther) {
    auto a = makeShared("a", kSharedItem, true);
    auto b = makeShared("b", kSharedItem, true, true);
    auto local = makeShared("local", kSharedItem, false);
    ASSERT_TRUE(a && b && local);
    ASSERT_EQ(a->init(), nullptr);
    ASSERT_EQ(b->init(), nullptr);
    ASSERT_EQ(local->init(), nullptr);
    EXPECT_EQ(a->getAttr("precision").utf8(), "0.8");
    EXPECT_EQ(b->getAttr("precision").utf8(), "0.8");
    auto* updating = static_cast<CUpdatingShared*>(b.get());
    EXPECT_EQ(updating->updates, 0);

    ASSERT_EQ(a->setAttr("precision", "0.5"), nullptr);
    EXPECT_EQ(b->getAttr("precision").utf8(), "0.5");
    EXPECT_EQ(updating->updates, 1);
    EXPECT_EQ(local->getAttr("precision").utf8(), "0.8") << "the local store is another item";

    ASSERT_EQ(b->setAttr("precision", "0.25"), nullptr);
    EXPECT_EQ(a->getAttr("precision").utf8(), "0.25");
    EXPECT_EQ(updating->updates, 1) << "the writer itself is not updated";

    // Storing the value the others already have changes nothing for them.
    ASSERT_EQ(a->setAttr("precision", "0.25"), nullptr);
    EXPECT_EQ(updating->updates, 1);

    // A later instance starts from the stored value.
    auto late = makeShared("late", kSharedItem, true);
    ASSERT_EQ(late->init(), nullptr);
    EXPECT_EQ(late->getAttr("precision").utf8(), "0.25");

    // A released object is not notified any more.
    b.reset();
    ASSERT_EQ(a->setAttr("precision", "0.75"), nullptr);
    EXPECT_EQ(late->getAttr("precision").utf8(), "0.75");
}

TEST_F(AppDataTest, SharedAttributeDataNameDefaultsToTheObjectName) {
    auto shared = makeShared(kByNameItem, "", false);
    ASSERT_EQ(shared->init(), nullptr);
    EXPECT_EQ(shared->dataName().utf8(), kByNameItem);
    ASSERT_EQ(shared->setAttr("precision", "0.1"), nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(CAppDataLocal::instance().readItem(kByNameItem, bytes, kDstr), nullptr);
    EXPECT_EQ(readText(bytes), "0.1");
}

// An instance's settings as its state carries them: what a load keeps
// saves and loads again unchanged, names that are not proper UTF-8
// included; a damaged record changes nothing.
TEST(AppDataInstance, LoadsWhatItSavesAndRefusesDamage) {
    CAppDataInstance settings;
    // Eight items, the first named by bytes that are not UTF-8 (found by
    // fuzzing the state's settings).
    const std::vector<uint8_t> record = {
        0x08, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2,
        0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0xf2, 0x00, 0xfe, 0xff, 0xff, 0xf7, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xf2, 0xff, 0x04, 0x04, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    CMemoryReader in(record);
    ASSERT_EQ(settings.load(in), nullptr);
    CMemoryWriter saved;
    ASSERT_EQ(settings.save(saved), nullptr);
    CAppDataInstance again;
    CMemoryReader back(saved.bytes());
    ASSERT_EQ(again.load(back), nullptr);
    CMemoryWriter savedAgain;
    ASSERT_EQ(again.save(savedAgain), nullptr);
    EXPECT_EQ(savedAgain.bytes(), saved.bytes());

    const std::vector<uint8_t> truncated(saved.bytes().begin(), saved.bytes().end() - 1);
    CMemoryReader damaged(truncated);
    EXPECT_NE(again.load(damaged), nullptr);
    CMemoryWriter unchanged;
    ASSERT_EQ(again.save(unchanged), nullptr);
    EXPECT_EQ(unchanged.bytes(), saved.bytes());
    const uint8_t value[] = {7, 8};
    ASSERT_EQ(again.writeItem("ui-scale", value, sizeof value, makeTag("dstr")), nullptr);
    std::vector<uint8_t> out;
    EXPECT_NE(again.readItem("no-such", out, makeTag("dstr")), nullptr);
    EXPECT_NE(again.readItem("ui-scale", out, makeTag("adat")), nullptr);
    ASSERT_EQ(again.readItem("ui-scale", out, makeTag("dstr")), nullptr);
    EXPECT_EQ(out, std::vector<uint8_t>(value, value + 2));
}

}  // namespace
}  // namespace zel
