// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "Audio/ParamStorage.h"
#include "Core/MemoryStream.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

CAudioParamInfo floatInfo(unsigned elementSize, double lo, double hi) {
    CAudioParamInfo info;
    info.elementSize = elementSize;
    info.minValues.assign(elementSize, lo);
    info.maxValues.assign(elementSize, hi);
    info.defaultValue = CAudioParamValue(elementSize);
    for (unsigned c = 0; c < elementSize; ++c) info.defaultValue.set(0, 0, c, lo);
    return info;
}

CAudioParamInfo stringInfo(std::vector<CString> defaults) {
    CAudioParamInfo info;
    info.dataType = CAudioParamInfo::kString;
    info.minValues = {0};
    info.maxValues = {1};
    for (size_t i = 0; i < defaults.size(); ++i) info.defaultValue.set(0, i, 0, double(i + 1));
    info.defaultItems = std::move(defaults);
    return info;
}

// Little-endian record bytes for the expectations.
struct CBytes {
    std::vector<uint8_t> b;
    CBytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    CBytes& str(const std::string& s) {
        u32(uint32_t(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    CBytes& real(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i) b.push_back(uint8_t(bits >> (8 * i)));
        return *this;
    }
};

std::vector<uint8_t> saved(const CAudioParamStorage& s, int group = -1) {
    CMemoryWriter w;
    EXPECT_EQ(s.save(w, group), nullptr);
    return w.take();
}

std::string loadError(CAudioParamStorage& s, const std::vector<uint8_t>& bytes) {
    CMemoryReaderStatic r(bytes.data(), bytes.size());
    CErrorPtr e = s.load(r);
    return e ? e->text().utf8() : std::string("<no error>");
}

}  // namespace

TEST(ParamStorage, ChannelNamesDefaultSavesAsSixteenItemsInOneGroup) {
    std::vector<CString> names = {"L", "R"};
    for (int i = 3; i <= 16; ++i) names.push_back("IN" + std::to_string(i));
    const CAudioParamInfo info = stringInfo(names);
    CAudioParamStorage s(info);
    s.setDefault();
    CBytes expected;
    expected.u32(1).u32(1).u32(1).u32(1).u32(16);
    for (uint32_t i = 1; i <= 16; ++i) expected.u32(i).u32(1).str(names[i - 1].utf8());
    expected.u32(16);
    for (uint32_t i = 1; i <= 16; ++i) expected.u32(i);
    EXPECT_EQ(saved(s), expected.b);
    EXPECT_EQ(s.text(0, 2), "IN3");
}

TEST(ParamStorage, EditedStringsRenumberInOrderOfUseAndDropUnusedItems) {
    const CAudioParamInfo info = stringInfo({"a", "b", "c"});
    CAudioParamStorage s(info);
    s.setDefault();
    s.setText(0, 0, "new");  // item "a" loses its last reference
    s.setText(0, 2, "b2");
    s.setText(0, 1, "b3");
    EXPECT_EQ(s.data().size(), 3u) << "replaced items are released";
    CBytes expected;
    expected.u32(1).u32(1).u32(1).u32(1).u32(3);
    expected.u32(1).u32(1).str("new").u32(2).u32(1).str("b3").u32(3).u32(1).str("b2");
    expected.u32(3).u32(1).u32(2).u32(3);
    EXPECT_EQ(saved(s), expected.b);

    // Loading it back into another storage gives the same texts and the
    // same record.
    CAudioParamStorage t(info);
    EXPECT_EQ(loadError(t, expected.b), "<no error>");
    EXPECT_EQ(t.text(0, 1), "b3");
    EXPECT_EQ(saved(t), expected.b);
}

TEST(ParamStorage, FloatRecordsRoundTripPerGroupAndWhole) {
    const CAudioParamInfo info = floatInfo(2, -1, 1);
    CAudioParamStorage s(info);
    s.setComponent(0, 0, 1, 0.25);
    s.setComponent(2, 1, 0, -0.5);
    CBytes one;
    one.u32(1).u32(2).u32(0).u32(1).u32(2).real(0).real(0).real(-0.5).real(0);
    EXPECT_EQ(saved(s, 2), one.b) << "one group saves with a group count of 1";
    CAudioParamStorage t(info);
    EXPECT_EQ(loadError(t, saved(s)), "<no error>");
    EXPECT_EQ(t.value(), s.value());
    EXPECT_EQ(t.read(1, 5, 1), -1.0) << "a stored but empty group reads the default";

    // Clamping brings loaded values into the range.
    CBytes wild;
    wild.u32(1).u32(2).u32(0).u32(1).u32(1).real(7).real(-7);
    EXPECT_EQ(loadError(t, wild.b), "<no error>");
    t.clamp();
    EXPECT_EQ(t.value().group(0), (std::vector<double>{1, -1}));
}

TEST(ParamStorage, BadRecordsFailWithTheirMessageAndKeepTheValue) {
    const CAudioParamInfo info = floatInfo(1, 0, 10);
    CAudioParamStorage s(info);
    s.setComponent(0, 0, 0, 3.0);
    const CAudioParamValue before = s.value();
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {CBytes().u32(2).b, "Unsupported data set version 2."},
        {CBytes().u32(1).u32(2).u32(0).b,
         "Unsupported storage format (esize=2, dtype=0; should be: esize=1, dtype=0)."},
        {CBytes().u32(1).u32(1).u32(1).b,
         "Unsupported storage format (esize=1, dtype=1; should be: esize=1, dtype=0)."},
        // A group count of four billion: fails at the end of the bytes.
        {CBytes().u32(1).u32(1).u32(0).u32(4000000000u).u32(1).real(1).b,
         "Premature end of memory resource while reading (pos 28, count 4, size 28)."},
        {CBytes().u32(1).u32(1).u32(0).u32(1).u32(0xFFFFFFFFu).real(1).b,
         "Premature end of memory resource while reading (pos 28, count 8, size 28)."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(loadError(s, c.bytes), c.message);
        EXPECT_EQ(s.value(), before);
    }

    const CAudioParamInfo text = stringInfo({"x"});
    CAudioParamStorage t(text);
    t.setDefault();
    EXPECT_EQ(loadError(t, CBytes().u32(1).u32(1).u32(1).u32(1).u32(1).u32(1).u32(3).b),
              "Unknown data type 3 encountered");
    EXPECT_EQ(loadError(t, CBytes().u32(1).u32(1).u32(1).u32(1).u32(0).u32(1).u32(9).b), "Data item 9 is not defined.");
    EXPECT_EQ(t.text(0, 0), "x");
}

TEST(ParamStorage, SlicesCarryARunOfElementsWithTheirTexts) {
    const CAudioParamInfo info = floatInfo(2, 0, 10);
    CAudioParamStorage from(info), to(info);
    from.setComponent(1, 2, 0, 3.5);
    from.setComponent(1, 2, 1, 4.5);
    CMemoryWriter w;
    ASSERT_EQ(from.saveSlice(w, {1, 2, 2}), nullptr);
    EXPECT_EQ(w.bytes(),
              CBytes().u32(1).u32(2).u32(2).u32(1).u32(2).u32(0).u32(0).u32(0).real(3.5).real(4.5).real(0).real(0).b)
        << "element 3 is not stored: its default goes";
    CAudioParamStorage::CSlice where;
    CMemoryReaderStatic r(w.bytes().data(), w.bytes().size());
    ASSERT_EQ(to.loadSlice(r, where), nullptr);
    EXPECT_EQ(where.group, 1u);
    EXPECT_EQ(to.read(1, 2, 1), 4.5);
    EXPECT_EQ(to.value().elementCount(1), 4u);

    CAudioParamInfo names = stringInfo({"L", "R", "C"});
    CAudioParamStorage a(names), b(names);
    a.setDefault();
    b.setDefault();
    a.setText(0, 2, "Centre");
    CMemoryWriter sw;
    ASSERT_EQ(a.saveSlice(sw, {0, 1, 2}), nullptr);
    EXPECT_EQ(sw.bytes(), CBytes()
                              .u32(0)
                              .u32(1)
                              .u32(2)
                              .u32(1)
                              .u32(1)
                              .u32(1)
                              .u32(0)
                              .u32(0)
                              .u32(1)
                              .u32(2)
                              .u32(2)
                              .u32(1)
                              .u32(1)
                              .str("R")
                              .u32(2)
                              .u32(1)
                              .str("Centre")
                              .b)
        << "ids renumbered in order of use, then the items they use";
    CMemoryReaderStatic sr(sw.bytes().data(), sw.bytes().size());
    ASSERT_EQ(b.loadSlice(sr, where), nullptr);
    EXPECT_EQ(b.text(0, 0), "L");
    EXPECT_EQ(b.text(0, 2), "Centre");
    EXPECT_EQ(b.data().size(), 3u) << "the replaced item was released";
}

TEST(ParamStorage, HostileSlicesChangeNothing) {
    const CAudioParamInfo info = floatInfo(1, 0, 10);
    CAudioParamStorage s(info);
    s.setComponent(0, 0, 0, 5);
    auto fails = [&](const std::vector<uint8_t>& bytes) {
        CAudioParamStorage::CSlice where;
        CMemoryReaderStatic r(bytes.data(), bytes.size());
        return s.loadSlice(r, where) != nullptr;
    };
    EXPECT_TRUE(fails(CBytes().u32(4000000000u).u32(0).u32(1).u32(1).u32(1).u32(0).u32(0).u32(0).real(1).b));
    EXPECT_TRUE(fails(CBytes().u32(0).u32(0).u32(4000000000u).u32(1).u32(1).u32(0).u32(0).u32(0).b));
    EXPECT_TRUE(fails(CBytes().u32(0).u32(0).u32(2).u32(1).u32(1).u32(0).u32(0).u32(0).real(1).b)) << "truncated";
    EXPECT_TRUE(fails(CBytes().u32(0).u32(0).u32(1).u32(1).u32(1).u32(1).u32(0).u32(0).u32(1).b)) << "wrong type";
    EXPECT_EQ(s.value().groupCount(), 1u);
    EXPECT_EQ(s.read(0, 0), 5.0);
}
