// SPDX-License-Identifier: GPL-3.0-or-later
// Loads an instance's editor settings from arbitrary bytes (the trailer of
// a host's state): a load either fails and changes nothing, or keeps
// exactly what saving it again writes.
#include <cstdlib>

#include "Core/AppData.h"
#include "Core/MemoryStream.h"

using namespace zel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

constexpr uint32_t kTag = makeTag("dstr");

CAppDataInstance& settings() {
    // A known item that a failed load must leave as it is.
    static CAppDataInstance* kept = [] {
        auto* s = new CAppDataInstance();
        const uint8_t value[] = {1, 2, 3};
        require(s->writeItem("ui-scale", value, sizeof value, kTag) == nullptr);
        return s;
    }();
    return *kept;
}

std::vector<uint8_t> saved(CAppDataInstance& s) {
    CMemoryWriter out;
    require(s.save(out) == nullptr);
    return out.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CAppDataInstance& s = settings();
    const std::vector<uint8_t> before = saved(s);
    CMemoryReaderStatic in(data, size);
    if (s.load(in)) {
        require(saved(s) == before);
        return 0;
    }
    // What was loaded saves and loads again unchanged.
    const std::vector<uint8_t> after = saved(s);
    CAppDataInstance again;
    CMemoryReaderStatic back(after.data(), after.size());
    require(again.load(back) == nullptr);
    require(saved(again) == after);
    // The next input starts from the known item again.
    CMemoryReaderStatic reset(before.data(), before.size());
    require(s.load(reset) == nullptr);
    return 0;
}
