// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-mkblock --tag TAG (--string TEXT | --file PAYLOAD) out
//
// Writes a compressed block: the four tag characters, the u32 payload
// length, the u32 Adler-32 of those four length bytes, then the payload as
// one zlib stream at the default level. --string makes the payload a single
// text: u32 byte count, then the bytes as given.

#include <zlib.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "ToolSupport.h"

using namespace lagwell::tools;

namespace {

std::vector<unsigned char> makeBlock(const std::string& tag, const std::vector<unsigned char>& payload) {
    if (payload.size() > UINT32_MAX) throw ToolError("payload larger than a u32 length can describe");
    std::vector<unsigned char> block(tag.begin(), tag.end());
    putU32(block, static_cast<uint32_t>(payload.size()));
    const uLong check = adler32(adler32(0, nullptr, 0), &block[4], 4);
    putU32(block, static_cast<uint32_t>(check));

    uLongf packedSize = compressBound(static_cast<uLong>(payload.size()));
    std::vector<unsigned char> packed(packedSize);
    const int rc = compress2(packed.data(), &packedSize, payload.data(), static_cast<uLong>(payload.size()),
                             Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK) throw ToolError("zlib compress2 error " + std::to_string(rc));
    block.insert(block.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packedSize));
    return block;
}

[[noreturn]] void usage() {
    std::cerr << "usage: lagwell-mkblock --tag TAG (--string TEXT | --file PAYLOAD) out\n";
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    std::string tag;
    std::string out;
    std::vector<unsigned char> payload;
    bool havePayload = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--tag" || arg == "--string" || arg == "--file") {
                if (i + 1 == argc) usage();
                const std::string value = argv[++i];
                if (arg == "--tag") {
                    tag = value;
                } else {
                    if (havePayload) usage();
                    havePayload = true;
                    if (arg == "--file") {
                        payload = readFile(value);
                    } else {
                        putU32(payload, static_cast<uint32_t>(value.size()));
                        payload.insert(payload.end(), value.begin(), value.end());
                    }
                }
            } else if (out.empty() && arg.rfind("--", 0) != 0) {
                out = arg;
            } else {
                usage();
            }
        }
        if (out.empty() || !havePayload) usage();
        if (tag.size() != 4) throw ToolError("the tag must be four characters, not \"" + tag + "\"");
        const std::vector<unsigned char> block = makeBlock(tag, payload);
        writeFile(out, block.data(), block.size());
    } catch (const ToolError& e) {
        std::cerr << "lagwell-mkblock: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
