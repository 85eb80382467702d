// SPDX-License-Identifier: GPL-3.0-or-later
#include "BankFile.h"

#include "Audio/Preset.h"
#include "Core/MemoryStream.h"
#include "FileError.h"

namespace lagwell::render {

namespace {

zel::CAudioPresetBank loadBank(const std::string& path) {
    zel::CAudioPresetBank bank;
    if (zel::CErrorPtr err = bank.loadFromFile(zel::CString::fromUtf8(path)))
        throw FileError(path + ": " + err->text().utf8());
    return bank;
}

}  // namespace

std::vector<std::string> bankPresetNames(const std::string& path) {
    const zel::CAudioPresetBank bank = loadBank(path);
    std::vector<std::string> names;
    for (const zel::CAudioPreset& preset : bank.presets()) names.push_back(preset.displayName().utf8());
    return names;
}

std::vector<uint8_t> bankPresetState(const std::string& path, size_t index) {
    const zel::CAudioPresetBank bank = loadBank(path);
    if (index >= bank.presets().size()) throw FileError(path + ": no preset number " + std::to_string(index));
    zel::CMemoryWriter out;
    if (zel::CErrorPtr err = bank.presets()[index].saveCompressed(out))
        throw FileError(path + ": " + err->text().utf8());
    return out.take();
}

}  // namespace lagwell::render
