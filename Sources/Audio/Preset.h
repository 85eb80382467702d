// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "Core/Stream.h"

namespace zel {

// A named snapshot of one registry's storable parameters: per key (the
// parameter's full name relative to the registry's hierarchy) the opaque
// parameter record that only the registry interprets.
class CAudioPreset {
public:
    // Keys order as their stored UTF-8 bytes do. Surrogate units are never
    // stored, so they take no part: two keys that are stored alike are one.
    struct CKeyLess {
        bool operator()(const CString& a, const CString& b) const;
    };
    using CBlob = std::vector<uint8_t>;
    using CItems = std::map<CString, CBlob, CKeyLess>;

    static constexpr uint32_t kTag = makeTag("aprs");
    // Larger items are refused as corrupt: the biggest parameter record (a
    // colour palette) is a few kilobytes.
    static constexpr uint32_t kMaxItemBytes = 16u << 20;
    // Ceiling of an "aprs" block's payload (preset files, the instance
    // state, the default preset). The largest record this plug-in can write
    // holds every text of the master at its 61,440-byte limit (16 channel
    // names, 8 group names, the preset name: about 1.5 MB) and a few
    // kilobytes of numbers; a factory preset is under 2 kB. Anything larger
    // is damaged or hostile and is refused before decompression.
    static constexpr size_t kMaxRecordBytes = size_t(4) << 20;

    CAudioPreset() = default;
    explicit CAudioPreset(CString name) : m_name(std::move(name)) {}

    // The stored name: registry id, ":", display name.
    const CString& name() const { return m_name; }
    void setName(const CString& name) { m_name = name; }
    // The part before the first ":", empty when there is none.
    CString registryId() const;
    // The part after the first ":", the whole name when there is none.
    CString displayName() const;
    static CString makeName(const CString& registryId, const CString& displayName);

    const CItems& items() const { return m_items; }
    void setItem(const CString& key, CBlob blob) { m_items[key] = std::move(blob); }
    void clear();
    void swap(CAudioPreset& other);

    // The preset record.
    CErrorPtr save(COutputStream& out) const;
    // Reads a preset record; on failure the preset keeps its contents.
    CErrorPtr load(CInputStream& in);

    // The record as an "aprs" compressed block (preset files, the instance
    // state, the default preset).
    CErrorPtr saveCompressed(COutputStream& out) const;
    CErrorPtr loadCompressed(CInputStream& in);
    CErrorPtr loadFromResource(const CString& name);
    CErrorPtr loadFromFile(const CString& fileName);
    CErrorPtr saveToFile(const CString& fileName) const;

private:
    friend class CAudioPresetBank;
    CErrorPtr read(CInputStream& in);

    CString m_name;
    CItems m_items;
};

// A named, ordered list of presets, addressed by index from 0.
class CAudioPresetBank {
public:
    static constexpr uint32_t kTag = makeTag("abnk");
    // The payload tag of the application-data preset lists.
    static constexpr uint32_t kListTag = makeTag("alst");
    // Ceiling of an "abnk" block's payload: room for thousands of presets
    // (the factory bank of 11 is 17 kB).
    static constexpr size_t kMaxRecordBytes = size_t(16) << 20;

    CAudioPresetBank() = default;
    explicit CAudioPresetBank(CString name) : m_name(std::move(name)) {}

    const CString& name() const { return m_name; }
    void setName(const CString& name) { m_name = name; }
    const std::vector<CAudioPreset>& presets() const { return m_presets; }
    std::vector<CAudioPreset>& presets() { return m_presets; }
    void swap(CAudioPresetBank& other);

    // The bank record.
    CErrorPtr save(COutputStream& out) const;
    // Reads a bank record; on failure the bank keeps its contents.
    CErrorPtr load(CInputStream& in);

    // The preset list record: a bank without presets is written as absent.
    CErrorPtr saveList(COutputStream& out) const;
    // Reads a preset list record; an absent bank empties this one.
    CErrorPtr loadList(CInputStream& in);

    // The record as an "abnk" compressed block (bank files, the factory bank).
    CErrorPtr saveCompressed(COutputStream& out) const;
    CErrorPtr loadCompressed(CInputStream& in);
    CErrorPtr loadFromResource(const CString& name);
    CErrorPtr loadFromFile(const CString& fileName);
    CErrorPtr saveToFile(const CString& fileName) const;

private:
    CErrorPtr read(CInputStream& in);

    CString m_name;
    std::vector<CAudioPreset> m_presets;
};

}  // namespace zel
