// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "Audio/Preset.h"
#include "Core/MemoryStream.h"
#include "Support/HeapCounter.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

using CBlob = CAudioPreset::CBlob;
using CBytes = std::vector<uint8_t>;

// Little-endian record bytes for the expectations.
struct CRecord {
    CBytes b;
    CRecord& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    CRecord& str(const std::string& s) {
        u32(uint32_t(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    CRecord& item(const std::string& key, const CBlob& blob) {
        str(key).u32(uint32_t(blob.size()));
        b.insert(b.end(), blob.begin(), blob.end());
        return *this;
    }
    CRecord& add(const CBytes& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
};

// The message key of a failure, so that an unexpected success fails the
// expectation instead of the program.
std::string key(const CErrorPtr& err) { return err ? err->key() : "(no error)"; }

template <class T>
CBytes saved(const T& source, CErrorPtr (T::*save)(COutputStream&) const = &T::save) {
    CMemoryWriter w;
    EXPECT_EQ((source.*save)(w), nullptr);
    return w.take();
}

template <class T>
CErrorPtr load(T& target, const CBytes& bytes, CErrorPtr (T::*load)(CInputStream&) = &T::load) {
    CMemoryReaderStatic reader(bytes.data(), bytes.size());
    return (target.*load)(reader);
}

// Items out of order, keys in both text forms (é 8-bit, Ā 16-bit), an empty
// blob and an upper-case key, which sorts before lower case.
CAudioPreset smallPreset() {
    CAudioPreset p("t4c9:Default");
    p.setItem(CString(std::u16string(u"\u0100x")), {5});
    p.setItem("modOutGain.gain", {1, 2, 3});
    p.setItem(CString::fromUtf8("\xC3\xA9"), {7});
    p.setItem("io-params.in-routing", {0xFF, 0});
    p.setItem("io-params.grouping", {});
    p.setItem("Zeta", {9});
    return p;
}

const CBytes kPreset = CRecord()
                           .str("t4c9:Default")
                           .u32(6)
                           .item("Zeta", {9})
                           .item("io-params.grouping", {})
                           .item("io-params.in-routing", {0xFF, 0})
                           .item("modOutGain.gain", {1, 2, 3})
                           .item("\xC3\xA9", {7})
                           .item("\xC4\x80x", {5})
                           .b;
const CBytes kBank = CRecord().str("Session Bank").u32(2).add(kPreset).str("t4c9:Empty").u32(0).b;
const CBytes kList = CRecord().u32(1).str("").u32(1).str("ZMIO:Dual Mono").u32(1).item("grouping", {0, 1}).b;

CAudioPresetBank smallBank() {
    CAudioPresetBank bank("Session Bank");
    bank.presets().push_back(smallPreset());
    bank.presets().emplace_back("t4c9:Empty");
    return bank;
}

TEST(PresetRecords, PresetAndBankAreByteExactAndLoadBack) {
    EXPECT_EQ(saved(smallPreset()), kPreset);
    EXPECT_EQ(saved(smallBank()), kBank);

    CAudioPresetBank bank("stale");
    bank.presets().emplace_back("stale");
    ASSERT_EQ(load(bank, kBank), nullptr);
    ASSERT_EQ(bank.presets().size(), 2u);
    EXPECT_EQ(bank.presets()[0].items().at("io-params.in-routing"), (CBlob{0xFF, 0}));
    EXPECT_EQ(saved(bank.presets()[0]), kPreset);
    EXPECT_EQ(saved(bank), kBank);

    ASSERT_EQ(load(bank, CRecord().str("").u32(0).b), nullptr);
    EXPECT_TRUE(bank.presets().empty());
}

// A key that comes twice keeps its last blob; characters above U+FFFF are
// not stored, so a key holding one is the key without it.
TEST(PresetRecords, KeysStoredAlikeAreOneItem) {
    CAudioPreset p;
    ASSERT_EQ(
        load(p,
             CRecord().str("t").u32(4).item("k", {1}).item("a\xF0\x9F\x98\x80", {3}).item("k", {2}).item("a", {4}).b),
        nullptr);
    EXPECT_EQ(saved(p), CRecord().str("t").u32(2).item("a", {4}).item("k", {2}).b);
}

TEST(PresetRecords, NameSplitsAtTheFirstColon) {
    const char* const cases[][3] = {{"ZMIO:5.1: Multi", "ZMIO", "5.1: Multi"},
                                    {"No colon", "", "No colon"},
                                    {":Bare", "", "Bare"},
                                    {"ZMUS:", "ZMUS", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(CAudioPreset(c[0]).registryId(), CString(c[1])) << c[0];
        EXPECT_EQ(CAudioPreset(c[0]).displayName(), CString(c[2])) << c[0];
    }
    EXPECT_EQ(CAudioPreset::makeName("t4c9", "Stereo Delay"), CString("t4c9:Stereo Delay"));
}

TEST(PresetRecords, ListIsPresentWithPresetsOnly) {
    CAudioPresetBank list = smallBank();
    ASSERT_EQ(load(list, CRecord().u32(0).b, &CAudioPresetBank::loadList), nullptr);
    EXPECT_TRUE(list.presets().empty());
    EXPECT_EQ(saved(list, &CAudioPresetBank::saveList), CRecord().u32(0).b);

    CBytes seven = kList;
    seven[0] = 7;
    ASSERT_EQ(load(list, seven, &CAudioPresetBank::loadList), nullptr);
    EXPECT_EQ(list.presets().at(0).displayName(), CString("Dual Mono"));
    EXPECT_EQ(saved(list, &CAudioPresetBank::saveList), kList);
}

// Every cut of a valid record ends at the end of the data, and a failed load
// leaves the target as it was.
TEST(PresetBadInput, EveryTruncationFailsAndChangesNothing) {
    for (size_t n = 0; n < kBank.size(); ++n) {
        const CBytes cut(kBank.begin(), kBank.begin() + n);
        CAudioPresetBank bank = smallBank();
        EXPECT_EQ(key(load(bank, cut)), "@zelstr_CMemoryReader_read_EOF") << n;
        EXPECT_EQ(saved(bank), kBank) << n;
        if (n < kPreset.size()) {
            CAudioPreset preset("kept");
            const CBytes record(kPreset.begin(), kPreset.begin() + n);
            EXPECT_EQ(key(load(preset, record)), "@zelstr_CMemoryReader_read_EOF") << n;
            EXPECT_EQ(saved(preset), CRecord().str("kept").u32(0).b) << n;
        }
        if (n < kList.size()) {
            const CBytes list(kList.begin(), kList.begin() + n);
            EXPECT_EQ(key(load(bank, list, &CAudioPresetBank::loadList)), "@zelstr_CMemoryReader_read_EOF") << n;
            EXPECT_EQ(saved(bank), kBank) << n;
        }
    }
}

// Counts and sizes are believed only as far as the bytes behind them go:
// nothing is reserved for what a record merely claims.
TEST(PresetBadInput, HugeCountsAndSizesFailWithoutAllocating) {
    CAudioPreset p;
    CAudioPresetBank bank;
    CHeapCounter heap;
    EXPECT_EQ(key(load(p, CRecord().str("x").u32(4000000000u).item("k", {1}).b)), "@zelstr_CMemoryReader_read_EOF");
    EXPECT_EQ(key(load(bank, CRecord().str("b").u32(4000000000u).add(kPreset).b)), "@zelstr_CMemoryReader_read_EOF");
    EXPECT_EQ(key(load(p, CRecord().str("x").u32(1).str("k").u32(4000000000u).b)),
              "@zelstr_CInputStream_readBlock_TooLong");
    EXPECT_EQ(key(load(p, CRecord().str("x").u32(1).str("k").u32(CAudioPreset::kMaxItemBytes + 1).b)),
              "@zelstr_CInputStream_readBlock_TooLong");
    EXPECT_LT(heap.largest(), size_t(64) << 10) << "an allocation sized by a claimed count or length";
}

// What could not be loaded is not saved: an item at the maximum round trips,
// one byte more is refused before anything is written.
TEST(PresetBadInput, SaveRefusesItemsAboveTheLoadMaximum) {
    CAudioPreset p("t4c9:Big");
    p.setItem("raw", CBlob(CAudioPreset::kMaxItemBytes, 0x5A));
    CAudioPreset back;
    ASSERT_EQ(load(back, saved(p)), nullptr);
    EXPECT_EQ(back.items().at("raw").size(), CAudioPreset::kMaxItemBytes);

    p.setItem("raw", CBlob(CAudioPreset::kMaxItemBytes + 1, 0x5A));
    CMemoryWriter w;
    CErrorPtr err = p.save(w);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), CString("Item 'raw' of 16777217 bytes is above the allowed 16777216 bytes."));
    EXPECT_EQ(err->key(), "@zelstr_CAudioPreset_save_ItemTooLong");
    EXPECT_TRUE(w.bytes().empty());
}

TEST(PresetBadInput, BlocksAboveTheirCeilingAreRefusedBeforeDecompression) {
    // A preset block that declares more than any preset can hold, and a
    // bank block that does: both fail at the header, in no measurable time.
    for (const auto& [tag, ceiling] : {std::pair{CAudioPreset::kTag, CAudioPreset::kMaxRecordBytes},
                                       std::pair{CAudioPresetBank::kTag, CAudioPresetBank::kMaxRecordBytes}}) {
        const std::vector<uint8_t> zeros(ceiling + 1, 0);
        CMemoryWriter w;
        ASSERT_EQ(w.writeCompressedData(tag, zeros.data(), zeros.size()), nullptr);
        CAudioPreset preset("t4c9:Kept");
        CAudioPresetBank bank("Kept");
        CMemoryReader in(w.take());
        CErrorPtr err = tag == CAudioPreset::kTag ? preset.loadCompressed(in) : bank.loadCompressed(in);
        EXPECT_EQ(key(err), "@zelstr_CInputStream_readCompressedData_TooLong");
        EXPECT_EQ(preset.name(), "t4c9:Kept");
        EXPECT_EQ(bank.name(), "Kept");
    }
    // What cannot be read back is not written either.
    CAudioPreset big("t4c9:Big");
    big.setItem("raw", CBlob(CAudioPreset::kMaxRecordBytes, 0x5A));
    CMemoryWriter w;
    EXPECT_EQ(key(big.saveCompressed(w)), "@zelstr_CAudioPreset_saveCompressed_TooLong");
    EXPECT_TRUE(w.bytes().empty());
}

class PresetFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(m_dir); }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    CString path(const char* name) const { return CString::fromUtf8(m_dir + "/" + name); }
    // The payload of the file's one compressed block with `tag`.
    static CBytes payload(const CString& file, uint32_t tag) {
        std::ifstream in(file.utf8(), std::ios::binary);
        const CBytes block{std::istreambuf_iterator<char>(in), {}};
        CMemoryReaderStatic reader(block.data(), block.size());
        CBytes out;
        EXPECT_EQ(reader.readCompressedData(tag, out, SIZE_MAX), nullptr);
        uint64_t end = 0;
        EXPECT_EQ(reader.getPosition(end), nullptr);
        EXPECT_EQ(end, block.size());
        return out;
    }

    const std::string m_dir = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/preset-files";
};

// A resource name that the module does not embed is read as a file.
TEST_F(PresetFiles, FilesAreCompressedBlocksAroundTheRecords) {
    ASSERT_EQ(smallPreset().saveToFile(path("p.cpf")), nullptr);
    ASSERT_EQ(smallBank().saveToFile(path("b.cbf")), nullptr);
    EXPECT_EQ(payload(path("p.cpf"), makeTag("aprs")), kPreset);
    EXPECT_EQ(payload(path("b.cbf"), makeTag("abnk")), kBank);

    CAudioPreset preset;
    CAudioPresetBank bank;
    ASSERT_EQ(preset.loadFromFile(path("p.cpf")), nullptr);
    ASSERT_EQ(bank.loadFromResource(path("b.cbf")), nullptr);
    EXPECT_EQ(saved(preset), kPreset);
    EXPECT_EQ(saved(bank), kBank);
}

TEST_F(PresetFiles, WrongTagMissingOrCutFileChangesNothing) {
    ASSERT_EQ(smallPreset().saveToFile(path("p.cpf")), nullptr);
    CAudioPresetBank bank("kept");
    CAudioPreset preset("kept");
    EXPECT_EQ(key(bank.loadFromFile(path("p.cpf"))), "@zelstr_CInputStream_readCompressedData_InvalidData");
    EXPECT_EQ(key(preset.loadFromFile(path("none.cpf"))), "@zelstr_CFileReader_open_OpenError");

    std::filesystem::resize_file(m_dir + "/p.cpf", std::filesystem::file_size(m_dir + "/p.cpf") / 2);
    EXPECT_EQ(key(preset.loadFromResource(path("p.cpf"))), "@zelstr_CInputZipStream_read_EOF");
    EXPECT_EQ(bank.name(), CString("kept"));
    EXPECT_EQ(saved(preset), CRecord().str("kept").u32(0).b);
}

}  // namespace
