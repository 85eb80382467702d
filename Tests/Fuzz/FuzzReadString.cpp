// SPDX-License-Identifier: GPL-3.0-or-later
// Reads texts one after another from arbitrary bytes and checks what the
// decoder promises about every text it accepts.
#include <cstdlib>

#include "Core/MemoryStream.h"
#include "Core/Stream.h"

using namespace zel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// What writing keeps of a text: surrogate units are dropped.
CString withoutSurrogates(const CString& text) {
    CString out;
    for (size_t i = 0; i < text.length(); ++i)
        if (text.at(i) < 0xD800 || text.at(i) > 0xDFFF) out.append(text.at(i));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CMemoryReaderStatic reader(data, size);
    for (;;) {
        uint64_t start = 0;
        require(reader.getPosition(start) == nullptr);
        CString text;
        if (reader.readString(text)) break;
        uint64_t end = 0;
        require(reader.getPosition(end) == nullptr);
        const uint64_t stored = end - start - 4;
        require(stored <= kMaxStringBytes);
        require(text.length() <= stored);

        bool wide = false;
        for (size_t i = 0; i < text.length(); ++i) {
            require(text.at(i) != 0);
            wide = wide || text.at(i) > 0xFF;
        }
        require(text.is16Bit() == wide);

        CMemoryWriter writer;
        require(writer.writeString(text) == nullptr);
        require(writer.bytes().size() - 4 <= stored);
        CMemoryReader again(writer.take());
        CString back;
        require(again.readString(back) == nullptr);
        require(back == withoutSurrogates(text));
    }
    return 0;
}
