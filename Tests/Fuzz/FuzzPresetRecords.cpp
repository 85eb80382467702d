// SPDX-License-Identifier: GPL-3.0-or-later
// Loads preset, bank and preset-list records from arbitrary bytes: a record
// either fails and leaves the target alone, or loads, and then what it saves
// loads again and saves to the same bytes.
#include <cstdlib>

#include "Audio/Preset.h"
#include "Core/MemoryStream.h"

using namespace zel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

template <class T>
std::vector<uint8_t> save(const T& source) {
    CMemoryWriter w;
    require(source.save(w) == nullptr);
    return w.take();
}

std::vector<uint8_t> saveList(const CAudioPresetBank& bank) {
    CMemoryWriter w;
    require(bank.saveList(w) == nullptr);
    return w.take();
}

// A target that is not empty, so that a failed load that touched it shows.
CAudioPreset sentinelPreset() {
    CAudioPreset p("sentinel:preset");
    p.setItem("key", {1, 2, 3});
    return p;
}

CAudioPresetBank sentinelBank() {
    CAudioPresetBank bank("sentinel");
    bank.presets().push_back(sentinelPreset());
    return bank;
}

template <class T>
void checkRecord(const uint8_t* data, size_t size, T target) {
    const std::vector<uint8_t> before = save(target);
    CMemoryReaderStatic reader(data, size);
    if (target.load(reader)) {
        require(save(target) == before);
        return;
    }
    const std::vector<uint8_t> first = save(target);
    T again;
    CMemoryReaderStatic back(first.data(), first.size());
    require(again.load(back) == nullptr);
    require(save(again) == first);
}

void checkList(const uint8_t* data, size_t size) {
    CAudioPresetBank list = sentinelBank();
    const std::vector<uint8_t> before = saveList(list);
    CMemoryReaderStatic reader(data, size);
    if (list.loadList(reader)) {
        require(saveList(list) == before);
        return;
    }
    const std::vector<uint8_t> first = saveList(list);
    CAudioPresetBank again;
    CMemoryReaderStatic back(first.data(), first.size());
    require(again.loadList(back) == nullptr);
    require(saveList(again) == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkRecord(data, size, sentinelPreset());
    checkRecord(data, size, sentinelBank());
    checkList(data, size);
    return 0;
}
