// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Core/MemoryStream.h"
#include "Core/Stream.h"

using namespace zel;
using namespace std::string_literals;

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A u32 count followed by the raw bytes, as a text is stored.
std::vector<uint8_t> stringRecord(const std::string& payload) {
    CMemoryWriter w;
    EXPECT_EQ(w.writeBlock(payload.data(), uint32_t(payload.size())), nullptr);
    return w.take();
}

std::u16string unitsOf(const CString& s) {
    std::u16string out;
    for (size_t i = 0; i < s.length(); ++i) out.push_back(s.at(i));
    return out;
}

uint64_t positionOf(CPosStream& s) {
    uint64_t pos = 0;
    EXPECT_EQ(s.getPosition(pos), nullptr);
    return pos;
}

// Only `read` is implemented, so skip and readStreamed run the base versions.
class CCountingReader final : public CInputStream {
public:
    explicit CCountingReader(size_t available) : m_available(available) {}
    CErrorPtr read(void* buffer, size_t count) override {
        if (count > m_available) return makeError("Test", __LINE__, "@zelstr_Test_read_EOF Out of bytes.", {});
        std::memset(buffer, 0x5A, count);
        m_available -= count;
        m_delivered += count;
        return nullptr;
    }
    size_t m_available;
    size_t m_delivered = 0;
};

class CFakePosStream final : public CPosStream {
public:
    CErrorPtr getPosition(uint64_t& out) override {
        out = m_value;
        return nullptr;
    }
    CErrorPtr setPosition(uint64_t position) override {
        m_value = position;
        return nullptr;
    }
    CErrorPtr getSize(uint64_t& out) override {
        out = m_value;
        return nullptr;
    }
    uint64_t m_value = 0;
};

}  // namespace

TEST(Stream, PrimitiveEncodingsAreLittleEndianWithoutPadding) {
    CMemoryWriter w;
    ASSERT_EQ(w.writeUInt32(0x11223344u), nullptr);
    ASSERT_EQ(w.writeInt32(-2), nullptr);
    ASSERT_EQ(w.writeReal(1.5), nullptr);
    const uint8_t block[] = {7, 8, 9};
    ASSERT_EQ(w.writeBlock(block, 3), nullptr);
    const std::vector<uint8_t> expected = {0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                                           0,    0,    0xF8, 0x3F, 3,    0,    0,    0,    7, 8, 9};
    EXPECT_EQ(w.bytes(), expected);

    CMemoryReaderStatic r(w.bytes().data(), w.bytes().size());
    uint32_t u = 0;
    int32_t i = 0;
    double d = 0;
    std::vector<uint8_t> b;
    ASSERT_EQ(r.readUInt32(u), nullptr);
    ASSERT_EQ(r.readInt32(i), nullptr);
    ASSERT_EQ(r.readReal(d), nullptr);
    ASSERT_EQ(r.readBlock(b, 3), nullptr);
    EXPECT_EQ(u, 0x11223344u);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(b, std::vector<uint8_t>({7, 8, 9}));
}

TEST(Stream, ReadBlockRefusesCountAboveLimitBeforeReading) {
    const std::vector<uint8_t> data = stringRecord("abcde");
    CMemoryReaderStatic r(data.data(), data.size());
    std::vector<uint8_t> out;
    CErrorPtr err = r.readBlock(out, 4);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readBlock_TooLong");
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(positionOf(r), 4u);
}

TEST(Stream, ReadStringAcceptsLimitAndRefusesOneByteMore) {
    const std::vector<uint8_t> atLimit = stringRecord(std::string(kMaxStringBytes, 'a'));
    CMemoryReaderStatic r1(atLimit.data(), atLimit.size());
    CString s;
    ASSERT_EQ(r1.readString(s), nullptr);
    EXPECT_EQ(s.length(), 61440u);
    EXPECT_EQ(positionOf(r1), atLimit.size());

    const std::vector<uint8_t> tooLong = stringRecord(std::string(kMaxStringBytes + 1, 'a'));
    CMemoryReaderStatic r2(tooLong.data(), tooLong.size());
    CErrorPtr err = r2.readString(s);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readString_StringDataTooLong");
    EXPECT_EQ(err->text().utf8(), "String length 61441 too long in readString().");
    EXPECT_EQ(positionOf(r2), 4u);
}

TEST(Stream, ReadStringDecodesLenientUtf8) {
    struct Case {
        const char* what;
        std::string stored;
        std::u16string units;
        bool wide;
    };
    const Case cases[] = {
        {"ascii and latin-1 stay 8-bit", "A\xC3\xA9"s, u"A\u00E9", false},
        {"continuation bits taken unchecked", "\xC3\x29"s, u"\u00E9", false},
        {"stray bytes skipped",
         "\x80"
         "a\xF8\xFF"
         "b"s,
         u"ab", false},
        {"cut-off sequence ends the text", "ab\xE2\x82"s, u"ab", false},
        {"decoded 0 ends the text", "a\0b"s, u"a", false},
        {"overlong 0 ends the text",
         "a\xC0\x80"
         "b"s,
         u"a", false},
        {"switch to 16-bit keeps earlier chars",
         "\xC3\xA9\xE2\x82\xAC"
         "x"s,
         u"\u00E9\u20ACx", true},
        {"four-byte sequence becomes a surrogate pair", "\xF0\x9F\x8E\xB5"s, u"\U0001F3B5", true},
        {"beyond U+10FFFF becomes a replacement", "\xF7\xBF\xBF\xBF"s, u"\uFFFD", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> data = stringRecord(c.stored);
        data.push_back(0x2A);  // the next field must start right after the N bytes
        CMemoryReaderStatic r(data.data(), data.size());
        CString s("stale");
        ASSERT_EQ(r.readString(s), nullptr);
        EXPECT_EQ(unitsOf(s), c.units);
        EXPECT_EQ(s.is16Bit(), c.wide);
        EXPECT_EQ(positionOf(r), 4 + c.stored.size());
    }
}

TEST(Stream, WriteStringIsByteExact) {
    CMemoryWriter w;
    ASSERT_EQ(w.writeString(CString("A\xE9")), nullptr);
    EXPECT_EQ(w.take(), bytes("\x03\0\0\0"
                              "A\xC3\xA9"s));

    // α, €, then U+1F3B5 as a surrogate pair, which is dropped.
    const CString wide(std::u16string(u"A\u03B1\u20AC\U0001F3B5z"));
    ASSERT_TRUE(wide.is16Bit());
    ASSERT_EQ(w.writeString(wide), nullptr);
    EXPECT_EQ(w.take(), bytes("\x07\0\0\0"
                              "A\xCE\xB1\xE2\x82\xAC"
                              "z"s));

    ASSERT_EQ(w.writeString(CString()), nullptr);
    EXPECT_EQ(w.take(), bytes("\0\0\0\0"s));
}

TEST(Stream, WriteStringRoundTripsAcrossSeveralBlocks) {
    CString text;
    for (int i = 0; i < 700; ++i) text.append(char16_t(0x20 + (i * 37) % 0x3000));
    ASSERT_TRUE(text.is16Bit());
    CMemoryWriter w;
    ASSERT_EQ(w.writeString(text), nullptr);
    ASSERT_GT(w.bytes().size(), 1000u);
    CMemoryReader r(w.take());
    CString back;
    ASSERT_EQ(r.readString(back), nullptr);
    EXPECT_EQ(back, text);
    EXPECT_EQ(positionOf(r), r.size());
}

TEST(Stream, WriteSeqBufferKeepsOrderAcrossBlocks) {
    std::vector<uint8_t> all(600);
    for (size_t i = 0; i < all.size(); ++i) all[i] = uint8_t(i * 7);
    CWriteSeqBuffer seq(256);
    size_t at = 0;
    for (size_t piece : {1, 255, 3, 300, 41}) {
        ASSERT_EQ(seq.write(all.data() + at, piece), nullptr);
        at += piece;
    }
    EXPECT_EQ(seq.length(), 600u);
    EXPECT_EQ(seq.blockCount(), 3u);
    CMemoryWriter w;
    ASSERT_EQ(seq.writeTo(w), nullptr);
    EXPECT_EQ(w.bytes(), all);
}

TEST(Stream, MemoryReaderShortReadDeliversNothing) {
    const uint8_t data[] = {1, 2, 3, 4, 5};
    CMemoryReaderStatic r(data, sizeof data);
    ASSERT_EQ(r.skip(2), nullptr);

    uint8_t buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CErrorPtr err = r.read(buf, 4);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CMemoryReader_read_EOF");
    EXPECT_EQ(err->text().utf8(), "Premature end of memory resource while reading (pos 2, count 4, size 5).");
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(positionOf(r), 2u);

    err = r.skip(4);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Premature end of memory resource while skipping (pos 2, count 4, size 5).");
    EXPECT_EQ(positionOf(r), 2u);

    size_t n = 4;
    ASSERT_EQ(r.readStreamed(buf, n), nullptr);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(buf[2], 5);
    n = 4;
    ASSERT_EQ(r.readStreamed(buf, n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(r.read(buf, 0), nullptr);
}

TEST(Stream, MemoryReaderSeeksWithinResourceOnly) {
    CMemoryReader r(std::vector<uint8_t>{10, 20, 30});
    ASSERT_EQ(r.setPosition(3), nullptr);
    CErrorPtr err = r.setPosition(4);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CMemoryReader_setPosition_seek");
    EXPECT_EQ(err->text().utf8(), "Positioning beyond memory resource end (newpos 4, size 3).");
    ASSERT_EQ(r.setPosition(1), nullptr);
    uint8_t b = 0;
    ASSERT_EQ(r.read(&b, 1), nullptr);
    EXPECT_EQ(b, 20);
    uint64_t size = 0;
    ASSERT_EQ(r.getSize(size), nullptr);
    EXPECT_EQ(size, 3u);
}

TEST(Stream, BaseSkipAndReadStreamedGoThroughRead) {
    CCountingReader r(10000);
    ASSERT_EQ(r.skip(9000), nullptr);
    EXPECT_EQ(r.m_delivered, 9000u);
    uint8_t buf[2000];
    size_t n = sizeof buf;
    CErrorPtr err = r.readStreamed(buf, n);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_Test_read_EOF");
    EXPECT_NE(r.skip(1001), nullptr);
}

TEST(Stream, MemoryWriterOverwritesAndExtends) {
    CMemoryWriter w;
    ASSERT_EQ(w.writeUInt32(0), nullptr);
    ASSERT_EQ(w.write("abc", 3), nullptr);
    ASSERT_EQ(w.setPosition(2), nullptr);
    ASSERT_EQ(w.write("XYZWV", 5), nullptr);
    EXPECT_EQ(w.bytes(), bytes("\0\0XYZWV"s));
    EXPECT_EQ(positionOf(w), 7u);
    CErrorPtr err = w.setPosition(8);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CMemoryWriter_setPosition_seek");
}

TEST(Stream, Int32ViewsRefuseAbove2GB) {
    CFakePosStream s;
    int32_t v = 0;
    s.m_value = 2147483647u;
    ASSERT_EQ(s.getPositionInt32(v), nullptr);
    EXPECT_EQ(v, 2147483647);
    ASSERT_EQ(s.getSizeInt(v), nullptr);

    s.m_value = 2147483648u;
    CErrorPtr err = s.getPositionInt32(v);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CPosStream_getPositionInt32_Greater2GB");
    EXPECT_EQ(err->text().utf8(), "The size of the stream is above allowed 2 GB.");
    err = s.getSizeInt(v);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CPosStream_getSizeInt_Greater2GB");
}
