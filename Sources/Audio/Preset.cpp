// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Preset.h"

#include <utility>

#include "Core/File.h"
#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"

#define ZEL_SOURCE_TAG "Preset"

namespace zel {

namespace {

bool isSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The containers of presets and banks: one compressed block around a record.
// Loads go through the target's own load, which keeps it unchanged on failure.
template <class T>
CErrorPtr loadBlock(T& target, CInputStream& in, uint32_t tag) {
    std::vector<uint8_t> payload;
    ZEL_TRY(in.readCompressedData(tag, payload, T::kMaxRecordBytes));
    CMemoryReader reader(std::move(payload));
    ZEL_TRY(target.load(reader));
    return nullptr;
}

template <class T>
CErrorPtr saveBlock(const T& source, COutputStream& out, uint32_t tag) {
    CMemoryWriter record;
    ZEL_TRY(source.save(record));
    // Never written when its own reader would refuse it.
    if (record.bytes().size() > T::kMaxRecordBytes)
        return ZEL_ERROR(
            "@zelstr_CAudioPreset_saveCompressed_TooLong Record of %1 bytes is above the allowed %2 bytes.",
            record.bytes().size(), T::kMaxRecordBytes);
    ZEL_TRY(out.writeCompressedData(tag, record.bytes().data(), record.bytes().size()));
    return nullptr;
}

template <class T>
CErrorPtr loadResource(T& target, const CString& name) {
    CResourceReader reader;
    ZEL_TRY(reader.open(name));
    ZEL_TRY(target.loadCompressed(reader));
    return nullptr;
}

template <class T>
CErrorPtr loadFile(T& target, const CString& fileName) {
    CFileReader file;
    ZEL_TRY(file.open(fileName));
    ZEL_TRY(target.loadCompressed(file));
    return nullptr;
}

// The block is built in memory first, so a record that cannot be saved
// leaves an existing file alone, and a failed write leaves it whole.
template <class T>
CErrorPtr saveFile(const T& source, const CString& fileName) {
    CMemoryWriter block;
    ZEL_TRY(source.saveCompressed(block));
    ZEL_TRY(replaceFile(fileName, block.bytes().data(), block.bytes().size()));
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------- preset

bool CAudioPreset::CKeyLess::operator()(const CString& a, const CString& b) const {
    size_t i = 0;
    size_t j = 0;
    for (;;) {
        while (i < a.length() && isSurrogate(a.at(i))) ++i;
        while (j < b.length() && isSurrogate(b.at(j))) ++j;
        if (i == a.length() || j == b.length()) return i == a.length() && j != b.length();
        if (a.at(i) != b.at(j)) return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
}

CString CAudioPreset::registryId() const {
    const size_t colon = m_name.find(u':');
    return colon == CString::npos ? CString() : m_name.substr(0, colon);
}

CString CAudioPreset::displayName() const {
    const size_t colon = m_name.find(u':');
    return colon == CString::npos ? m_name : m_name.substr(colon + 1);
}

CString CAudioPreset::makeName(const CString& registryId, const CString& displayName) {
    return registryId + ":" + displayName;
}

void CAudioPreset::clear() {
    m_name.clear();
    m_items.clear();
}

void CAudioPreset::swap(CAudioPreset& other) {
    std::swap(m_name, other.m_name);
    m_items.swap(other.m_items);
}

CErrorPtr CAudioPreset::save(COutputStream& out) const {
    // Checked before the first byte, so that a refused preset writes nothing.
    for (const auto& item : m_items)
        if (item.second.size() > kMaxItemBytes)
            return ZEL_ERROR(
                "@zelstr_CAudioPreset_save_ItemTooLong Item '%1' of %2 bytes is above the allowed %3 bytes.",
                item.first, item.second.size(), kMaxItemBytes);
    ZEL_TRY(out.writeString(m_name));
    ZEL_TRY(out.writeUInt32(static_cast<uint32_t>(m_items.size())));
    for (const auto& item : m_items) {
        ZEL_TRY(out.writeString(item.first));
        ZEL_TRY(out.writeBlock(item.second.data(), static_cast<uint32_t>(item.second.size())));
    }
    return nullptr;
}

CErrorPtr CAudioPreset::load(CInputStream& in) {
    CAudioPreset loaded;
    ZEL_TRY(loaded.read(in));
    swap(loaded);
    return nullptr;
}

// Items are appended one by one, so a count that the data cannot hold ends
// at the end of the data instead of in an allocation. A key that comes twice
// keeps its last blob.
CErrorPtr CAudioPreset::read(CInputStream& in) {
    ZEL_TRY(in.readString(m_name));
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    for (uint32_t i = 0; i < count; ++i) {
        CString key;
        ZEL_TRY(in.readString(key));
        CBlob blob;
        ZEL_TRY(in.readBlock(blob, kMaxItemBytes));
        m_items[key] = std::move(blob);
    }
    return nullptr;
}

CErrorPtr CAudioPreset::saveCompressed(COutputStream& out) const {
    ZEL_TRY(saveBlock(*this, out, kTag));
    return nullptr;
}

CErrorPtr CAudioPreset::loadCompressed(CInputStream& in) {
    ZEL_TRY(loadBlock(*this, in, kTag));
    return nullptr;
}

CErrorPtr CAudioPreset::loadFromResource(const CString& name) {
    ZEL_TRY(loadResource(*this, name));
    return nullptr;
}

CErrorPtr CAudioPreset::loadFromFile(const CString& fileName) {
    ZEL_TRY(loadFile(*this, fileName));
    return nullptr;
}

CErrorPtr CAudioPreset::saveToFile(const CString& fileName) const {
    ZEL_TRY(saveFile(*this, fileName));
    return nullptr;
}

// ---------------------------------------------------------------- bank

void CAudioPresetBank::swap(CAudioPresetBank& other) {
    std::swap(m_name, other.m_name);
    m_presets.swap(other.m_presets);
}

CErrorPtr CAudioPresetBank::save(COutputStream& out) const {
    ZEL_TRY(out.writeString(m_name));
    ZEL_TRY(out.writeUInt32(static_cast<uint32_t>(m_presets.size())));
    for (const CAudioPreset& preset : m_presets) ZEL_TRY(preset.save(out));
    return nullptr;
}

CErrorPtr CAudioPresetBank::load(CInputStream& in) {
    CAudioPresetBank loaded;
    ZEL_TRY(loaded.read(in));
    swap(loaded);
    return nullptr;
}

// Presets are appended as they are read, for the same reason as items.
CErrorPtr CAudioPresetBank::read(CInputStream& in) {
    ZEL_TRY(in.readString(m_name));
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    for (uint32_t i = 0; i < count; ++i) {
        CAudioPreset preset;
        ZEL_TRY(preset.read(in));
        m_presets.push_back(std::move(preset));
    }
    return nullptr;
}

CErrorPtr CAudioPresetBank::saveList(COutputStream& out) const {
    const bool present = !m_presets.empty();
    ZEL_TRY(out.writeUInt32(present ? 1 : 0));
    if (present) ZEL_TRY(save(out));
    return nullptr;
}

CErrorPtr CAudioPresetBank::loadList(CInputStream& in) {
    uint32_t present;
    ZEL_TRY(in.readUInt32(present));
    CAudioPresetBank loaded;
    if (present > 0) ZEL_TRY(loaded.read(in));
    swap(loaded);
    return nullptr;
}

CErrorPtr CAudioPresetBank::saveCompressed(COutputStream& out) const {
    ZEL_TRY(saveBlock(*this, out, kTag));
    return nullptr;
}

CErrorPtr CAudioPresetBank::loadCompressed(CInputStream& in) {
    ZEL_TRY(loadBlock(*this, in, kTag));
    return nullptr;
}

CErrorPtr CAudioPresetBank::loadFromResource(const CString& name) {
    ZEL_TRY(loadResource(*this, name));
    return nullptr;
}

CErrorPtr CAudioPresetBank::loadFromFile(const CString& fileName) {
    ZEL_TRY(loadFile(*this, fileName));
    return nullptr;
}

CErrorPtr CAudioPresetBank::saveToFile(const CString& fileName) const {
    ZEL_TRY(saveFile(*this, fileName));
    return nullptr;
}

}  // namespace zel
