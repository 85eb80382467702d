// SPDX-License-Identifier: GPL-3.0-or-later
// Reads compressed blocks with the source handing out its bytes in pieces
// whose size the input chooses. Raw inputs are read as a block as they are;
// since random bytes rarely form a zlib stream, other inputs are a payload
// that is written as a valid block first and then optionally cut short or
// damaged at one byte, which reaches the deep paths of the reader quickly.
//   byte 0: piece size (0 = everything at once)
//   byte 1: bit 0 payload mode, bit 1 truncate, bit 2 flip a byte
//   bytes 2-4: position (u16) and xor value of the damage; the rest: data
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Core/MemoryStream.h"
#include "Core/Stream.h"

using namespace zel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

class CPieceReader final : public CMemoryReaderStatic {
public:
    CPieceReader(const std::vector<uint8_t>& data, size_t piece)
        : CMemoryReaderStatic(data.data(), data.size()), m_piece(piece) {}
    CErrorPtr readStreamed(void* buffer, size_t& count) override {
        count = std::min(count, m_piece);
        return CMemoryReaderStatic::readStreamed(buffer, count);
    }

private:
    size_t m_piece;
};

constexpr uint32_t kTag = makeTag("aprs");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const size_t piece = data[0] == 0 ? SIZE_MAX : data[0];
    const uint8_t mode = data[1];
    const size_t position = size_t(data[2]) | size_t(data[3]) << 8;
    const uint8_t flip = data[4];
    const std::vector<uint8_t> rest(data + 5, data + size);

    std::vector<uint8_t> block = rest;
    bool intact = false;
    if (mode & 1) {
        CMemoryWriter writer;
        require(writer.writeCompressedData(kTag, rest.data(), rest.size()) == nullptr);
        block = writer.take();
        intact = true;
        if ((mode & 2) && position < block.size()) {
            block.resize(position);
            intact = false;
        }
        if ((mode & 4) && flip && !block.empty()) {
            block[position % block.size()] ^= flip;
            intact = false;
        }
    }

    CPieceReader reader(block, piece);
    std::vector<uint8_t> payload;
    CErrorPtr err = reader.readCompressedData(kTag, payload, size_t(1) << 24);
    if (intact) {
        require(err == nullptr);
        require(payload == rest);
    }
    if (err) return 0;
    require(block.size() >= 12);
    const size_t length = size_t(block[4]) | size_t(block[5]) << 8 | size_t(block[6]) << 16 | size_t(block[7]) << 24;
    require(payload.size() == length);
    return 0;
}
