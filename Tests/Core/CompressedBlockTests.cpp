// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Core/MemoryStream.h"
#include "Core/Stream.h"
#include "Core/ZipStream.h"

using namespace zel;

namespace {

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) b = uint8_t(rng());
    return out;
}

std::vector<uint8_t> compressedBlock(uint32_t tag, const std::vector<uint8_t>& payload) {
    CMemoryWriter w;
    EXPECT_EQ(w.writeCompressedData(tag, payload.data(), payload.size()), nullptr);
    return w.take();
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A block header in front of an independently compressed zlib stream.
std::vector<uint8_t> handMadeBlock(uint32_t tag, uint32_t length, const std::vector<uint8_t>& payload) {
    uLongf size = compressBound(uLong(payload.size()));
    std::vector<uint8_t> block(12 + size);
    EXPECT_EQ(compress(block.data() + 12, &size, payload.data(), uLong(payload.size())), Z_OK);
    block.resize(12 + size);
    putU32(block, 0, tag);
    putU32(block, 4, length);
    putU32(block, 8, uint32_t(adler32(1, block.data() + 4, 4)));
    return block;
}

// Delivers readStreamed in odd, changing piece sizes, as a file or host
// stream may.
class CTrickleReader final : public CInputStream {
public:
    explicit CTrickleReader(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    CErrorPtr read(void* buffer, size_t count) override {
        if (count > m_data.size() - m_pos) return makeError("Test", __LINE__, "@zelstr_Test_read_EOF EOF.", {});
        std::copy_n(m_data.begin() + m_pos, count, static_cast<uint8_t*>(buffer));
        m_pos += count;
        return nullptr;
    }
    CErrorPtr readStreamed(void* buffer, size_t& count) override {
        static const size_t pieces[] = {1, 7, 4093, 32768, 13, 20000};
        count = std::min({count, pieces[m_calls++ % 6], m_data.size() - m_pos});
        return read(buffer, count);
    }
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
    size_t m_calls = 0;
};

// Records the size of every write; fails once `failAfter` writes were taken.
class CRecordingWriter final : public COutputStream {
public:
    CErrorPtr write(const void* buffer, size_t count) override {
        if (m_sizes.size() == m_failAfter) return makeError("Test", __LINE__, "@zelstr_Test_write_Full Full.", {});
        const uint8_t* p = static_cast<const uint8_t*>(buffer);
        m_bytes.insert(m_bytes.end(), p, p + count);
        m_sizes.push_back(count);
        return nullptr;
    }
    std::vector<uint8_t> m_bytes;
    std::vector<size_t> m_sizes;
    size_t m_failAfter = SIZE_MAX;
};

}  // namespace

TEST(CompressedBlock, FourLetterTextBlockLayout) {
    CMemoryWriter payloadWriter;
    ASSERT_EQ(payloadWriter.writeString(CString("Dusk")), nullptr);
    const std::vector<uint8_t> payload = payloadWriter.take();
    ASSERT_EQ(payload.size(), 8u);

    const std::vector<uint8_t> block = compressedBlock(makeTag("dstr"), payload);
    ASSERT_GT(block.size(), 14u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), "dstr");
    EXPECT_EQ(u32At(block, 4), 8u);
    EXPECT_EQ(u32At(block, 8), (36u << 16) | 9u);
    EXPECT_EQ(block[12], 0x78);
    EXPECT_EQ(block[13], 0x9C);

    CMemoryReader r(block);
    std::vector<uint8_t> back;
    ASSERT_EQ(r.readCompressedData(makeTag("dstr"), back, SIZE_MAX), nullptr);
    EXPECT_EQ(back, payload);
    CMemoryReader payloadReader(back);
    CString name;
    ASSERT_EQ(payloadReader.readString(name), nullptr);
    EXPECT_EQ(name, CString("Dusk"));
}

TEST(CompressedBlock, WrongTagFailsBeforeDecompressing) {
    const std::vector<uint8_t> block = compressedBlock(makeTag("dstr"), {1, 2, 3});
    CMemoryReader r(block);
    std::vector<uint8_t> out;
    CErrorPtr err = r.readCompressedData(makeTag("aprs"), out, SIZE_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_InvalidData");
    EXPECT_EQ(err->text().utf8(), "Invalid ID encountered when reading compressed data (expected " +
                                      std::to_string(makeTag("aprs")) + ", read " + std::to_string(makeTag("dstr")) +
                                      ").");
    uint64_t pos = 0;
    ASSERT_EQ(r.getPosition(pos), nullptr);
    EXPECT_EQ(pos, 4u);
}

TEST(CompressedBlock, CheckOverAnythingButLengthBytesFails) {
    std::vector<uint8_t> block = compressedBlock(makeTag("aprs"), {1, 2, 3});
    const uint32_t stored = u32At(block, 8);
    // Computed over tag and length instead of the length alone.
    const uint32_t wrong = uint32_t(adler32(1, block.data(), 8));
    putU32(block, 8, wrong);
    CMemoryReader r(block);
    std::vector<uint8_t> out;
    CErrorPtr err = r.readCompressedData(makeTag("aprs"), out, SIZE_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_HeadCRC");
    EXPECT_EQ(err->text().utf8(), "Invalid CRC encountered when reading compressed data (expected " +
                                      std::to_string(stored) + ", read " + std::to_string(wrong) + ").");
}

TEST(CompressedBlock, EmptyPayloadStillHasCompleteZlibStream) {
    const std::vector<uint8_t> block = compressedBlock(makeTag("adat"), {});
    ASSERT_GE(block.size(), 12u + 2 + 4);
    EXPECT_EQ(u32At(block, 4), 0u);
    uint8_t sink = 0;
    uLongf size = 1;
    EXPECT_EQ(uncompress(&sink, &size, block.data() + 12, uLong(block.size() - 12)), Z_OK);
    EXPECT_EQ(size, 0u);

    CMemoryReader r(block);
    std::vector<uint8_t> out = {9};
    ASSERT_EQ(r.readCompressedData(makeTag("adat"), out, SIZE_MAX), nullptr);
    EXPECT_TRUE(out.empty());
}

TEST(CompressedBlock, LargePayloadRoundTripsInOddPiecesAndMovesIn32KWrites) {
    const std::vector<uint8_t> payload = randomBytes(150000, 7);
    CRecordingWriter w;
    ASSERT_EQ(w.writeCompressedData(makeTag("abnk"), payload.data(), payload.size()), nullptr);
    // After the 12 header bytes the zlib stream arrives in full 32,768-byte
    // buffers and one last partial one.
    size_t i = 0;
    for (size_t header = 0; header < 12; ++i) header += w.m_sizes.at(i);
    ASSERT_GE(w.m_sizes.size() - i, 5u);
    for (; i + 1 < w.m_sizes.size(); ++i) EXPECT_EQ(w.m_sizes[i], 32768u);
    EXPECT_LE(w.m_sizes.back(), 32768u);

    // The stored stream is plain zlib that any inflater accepts.
    std::vector<uint8_t> independent(payload.size());
    uLongf size = uLongf(independent.size());
    ASSERT_EQ(uncompress(independent.data(), &size, w.m_bytes.data() + 12, uLong(w.m_bytes.size() - 12)), Z_OK);
    EXPECT_EQ(independent, payload);

    CTrickleReader r(w.m_bytes);
    std::vector<uint8_t> back;
    ASSERT_EQ(r.readCompressedData(makeTag("abnk"), back, SIZE_MAX), nullptr);
    EXPECT_EQ(back, payload);
}

TEST(CompressedBlock, TruncatedStreamFailsWithPrematureEnd) {
    std::vector<uint8_t> block = compressedBlock(makeTag("alst"), randomBytes(5000, 3));
    block.resize(12 + (block.size() - 12) / 2);
    CTrickleReader r(block);
    std::vector<uint8_t> out;
    CErrorPtr err = r.readCompressedData(makeTag("alst"), out, SIZE_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputZipStream_read_EOF");
    EXPECT_EQ(err->text().utf8(), "Premature end of file.");
}

TEST(CompressedBlock, StreamEndingBeforeLengthFailsWithPrematureEnd) {
    const std::vector<uint8_t> payload = randomBytes(50, 5);
    // A modest lie and one that would need 4 GB if allocated up front.
    for (uint32_t claimed : {51u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(claimed);
        CMemoryReader r(handMadeBlock(makeTag("aprs"), claimed, payload));
        std::vector<uint8_t> out;
        CErrorPtr err = r.readCompressedData(makeTag("aprs"), out, SIZE_MAX);
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(err->key(), "@zelstr_CInputZipStream_read_EOF");
        EXPECT_LE(out.size(), size_t(1) << 20);
    }
    CMemoryReader exact(handMadeBlock(makeTag("aprs"), 50, payload));
    std::vector<uint8_t> out;
    ASSERT_EQ(exact.readCompressedData(makeTag("aprs"), out, SIZE_MAX), nullptr);
    EXPECT_EQ(out, payload);
}

TEST(CompressedBlock, TheCallersCeilingStopsABombBeforeDecompression) {
    // 64 MiB of zeros pack into about 64 kB: a payload past the ceiling is
    // refused at once, one at the ceiling reads.
    const std::vector<uint8_t> zeros(size_t(64) << 20, 0);
    const std::vector<uint8_t> bomb = compressedBlock(makeTag("aprs"), zeros);
    ASSERT_LT(bomb.size(), size_t(1) << 20);
    CMemoryReader r(bomb);
    std::vector<uint8_t> out;
    CErrorPtr err = r.readCompressedData(makeTag("aprs"), out, zeros.size() - 1);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputStream_readCompressedData_TooLong");
    EXPECT_EQ(err->text().utf8(), "Compressed data of 67108864 bytes above the allowed 67108863 bytes.");
    EXPECT_EQ(out.capacity(), 0u);

    CMemoryReader atCeiling(bomb);
    ASSERT_EQ(atCeiling.readCompressedData(makeTag("aprs"), out, zeros.size()), nullptr);
    EXPECT_EQ(out.size(), zeros.size());
}

TEST(CompressedBlock, CorruptDeflateDataReportsZlibCodeAndText) {
    std::vector<uint8_t> block = compressedBlock(makeTag("aprs"), randomBytes(100, 9));
    block[14] = 0xFF;  // first deflate block header: final, reserved type 3
    CMemoryReader r(block);
    std::vector<uint8_t> out;
    CErrorPtr err = r.readCompressedData(makeTag("aprs"), out, SIZE_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CInputZipStream_read_inflate");
    EXPECT_EQ(err->text().utf8(), "zlib inflate error -3 (invalid block type).");
}

TEST(CompressedBlock, TargetAndSourceErrorsArePassedUp) {
    const std::vector<uint8_t> payload = randomBytes(100000, 11);
    CRecordingWriter w;
    w.m_failAfter = 4;
    CErrorPtr err = w.writeCompressedData(makeTag("abnk"), payload.data(), payload.size());
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_Test_write_Full");
    EXPECT_GT(err->trace().size(), 1u);

    CTrickleReader r(std::vector<uint8_t>(3));
    std::vector<uint8_t> out;
    err = r.readCompressedData(makeTag("abnk"), out, SIZE_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_Test_read_EOF");
}

TEST(CompressedBlock, AdaptersRefuseWorkWithoutStream) {
    CInputZipStream in;
    uint8_t b = 0;
    CErrorPtr err = in.read(&b, 1);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Input stream not specified.");

    COutputZipStream out;
    err = out.write(&b, 1);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Output stream not specified.");
    EXPECT_EQ(out.close(), nullptr);
}
