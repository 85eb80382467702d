// SPDX-License-Identifier: GPL-3.0-or-later
// Loads storage records of every data type from arbitrary bytes: a record
// either fails with an error and leaves the value alone, or loads, and then
// saving and loading it again gives the same value and the same bytes.
#include <cstdlib>

#include "Audio/ParamStorage.h"
#include "Core/MemoryStream.h"

using namespace zel;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

CAudioParamInfo makeInfo(CAudioParamInfo::EDataType type, unsigned elementSize) {
    CAudioParamInfo info;
    info.dataType = type;
    info.elementSize = elementSize;
    info.minValues.assign(elementSize, -1.0);
    info.maxValues.assign(elementSize, 1.0);
    info.defaultValue = CAudioParamValue(elementSize);
    for (unsigned c = 0; c < elementSize; ++c) info.defaultValue.set(0, 0, c, type == CAudioParamInfo::kFloat ? 0 : 1);
    if (type != CAudioParamInfo::kFloat) info.defaultItems = {"default"};
    return info;
}

std::vector<uint8_t> save(const CAudioParamStorage& s) {
    CMemoryWriter w;
    require(s.save(w) == nullptr);
    return w.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CAudioParamInfo infos[] = {makeInfo(CAudioParamInfo::kFloat, 1), makeInfo(CAudioParamInfo::kFloat, 3),
                                            makeInfo(CAudioParamInfo::kString, 1), makeInfo(CAudioParamInfo::kRaw, 1)};
    for (const CAudioParamInfo& info : infos) {
        CAudioParamStorage storage(info);
        storage.setDefault();
        const std::vector<uint8_t> before = save(storage);
        CMemoryReaderStatic reader(data, size);
        if (storage.load(reader)) {
            require(save(storage) == before);
            continue;
        }
        const std::vector<uint8_t> first = save(storage);
        CAudioParamStorage again(info);
        CMemoryReaderStatic back(first.data(), first.size());
        require(again.load(back) == nullptr);
        require(save(again) == first);
        storage.clamp();
    }
    return 0;
}
