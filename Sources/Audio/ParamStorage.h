// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "Audio/ParamValue.h"
#include "Core/Stream.h"

namespace zel {

// One text or byte block of a string or raw parameter.
class CAudioParamDataItem {
public:
    enum EType : uint32_t { kString = 1, kRaw = 2 };
    virtual ~CAudioParamDataItem() = default;
    virtual EType type() const = 0;
    virtual CErrorPtr write(COutputStream& out) const = 0;
    virtual CErrorPtr read(CInputStream& in) = 0;
    virtual std::unique_ptr<CAudioParamDataItem> clone() const = 0;
};

class CAudioParamDataItemString final : public CAudioParamDataItem {
public:
    explicit CAudioParamDataItemString(CString text = CString()) : m_text(std::move(text)) {}
    EType type() const override { return kString; }
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;
    std::unique_ptr<CAudioParamDataItem> clone() const override {
        return std::make_unique<CAudioParamDataItemString>(m_text);
    }
    const CString& text() const { return m_text; }

private:
    CString m_text;
};

class CAudioParamDataItemRaw final : public CAudioParamDataItem {
public:
    // Larger blocks are refused as corrupt: the biggest raw parameter (a
    // colour palette) is a few kilobytes.
    static constexpr uint32_t kMaxBytes = 16u << 20;

    explicit CAudioParamDataItemRaw(std::vector<uint8_t> bytes = {}) : m_bytes(std::move(bytes)) {}
    EType type() const override { return kRaw; }
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;
    std::unique_ptr<CAudioParamDataItem> clone() const override {
        return std::make_unique<CAudioParamDataItemRaw>(m_bytes);
    }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// The data items of one string or raw parameter by id (from 1). Each element
// that holds an id holds one reference to its item; the last release frees
// the item.
class CAudioParamData : public IAudioDataItems {
public:
    uint32_t add(std::unique_ptr<CAudioParamDataItem> item);
    // Puts `item` under `id` (ids from a record), replacing nothing.
    bool insert(uint32_t id, std::unique_ptr<CAudioParamDataItem> item);
    void addRef(uint32_t id);
    void release(uint32_t id);
    const CAudioParamDataItem* find(uint32_t id) const;
    size_t size() const { return m_items.size(); }
    uint32_t nextId() const { return m_nextId; }
    bool itemText(long long id, CString& out) const override;

private:
    struct CEntry {
        std::unique_ptr<CAudioParamDataItem> item;
        uint32_t refs = 0;
    };
    std::map<uint32_t, CEntry> m_items;
    uint32_t m_nextId = 1;
};

// The current value of one parameter and its binary form.
class CAudioParamStorage {
public:
    static constexpr uint32_t kVersion = 1;
    // Bounds of a slice from the editor: far above the channels and groups
    // of any layout, low enough that a hostile slice cannot allocate much.
    static constexpr uint32_t kMaxGroups = 256;
    static constexpr uint32_t kMaxElements = 4096;

    explicit CAudioParamStorage(const CAudioParamInfo& info);
    ~CAudioParamStorage();
    CAudioParamStorage(const CAudioParamStorage&) = delete;
    CAudioParamStorage& operator=(const CAudioParamStorage&) = delete;

    const CAudioParamInfo& info() const { return m_info; }
    unsigned elementSize() const { return m_info.elementSize; }
    CAudioParamInfo::EDataType dataType() const { return m_info.dataType; }
    bool hasValue() const { return m_hasValue; }
    const CAudioParamValue& value() const { return m_value; }
    const CAudioParamData& data() const { return m_data; }

    // Component c of element e of group g, with the default fallback.
    double read(size_t g, size_t e, size_t c = 0) const { return m_info.read(m_value, g, e, c); }
    // The text of a string element (empty for none).
    CString text(size_t g, size_t e) const;

    void setDefault();
    // Replaces a whole float value.
    void setValue(const CAudioParamValue& value);
    void setComponent(size_t g, size_t e, size_t c, double v);
    // Replaces element e of group g of a string parameter with a new item.
    void setText(size_t g, size_t e, const CString& text);
    // Replaces element e of group g of a raw parameter with a new item.
    void setBytes(size_t g, size_t e, std::vector<uint8_t> bytes);
    // The bytes of a raw element (empty for none).
    std::vector<uint8_t> bytes(size_t g, size_t e) const;
    // Clamps every float component into its [minimum, maximum].
    void clamp();

    // The storage record; `group` >= 0 writes that group alone.
    CErrorPtr save(COutputStream& out, int group = -1) const;
    // Reads a storage record. On failure the storage keeps its value.
    CErrorPtr load(CInputStream& in);
    // Reads a storage record and makes its first group group `group` of this
    // value; the other groups stay.
    CErrorPtr loadGroup(CInputStream& in, size_t group);

    // The value slice record: `count` elements of group `group` from element
    // `first` (stored or default), as the editor bridge carries them.
    struct CSlice {
        uint32_t group = 0;
        uint32_t first = 0;
        uint32_t count = 0;
    };
    CErrorPtr saveSlice(COutputStream& out, const CSlice& slice) const;
    // Reads a slice record written for a parameter of this format and stores
    // its elements; returns where they went. On failure nothing changes.
    CErrorPtr loadSlice(CInputStream& in, CSlice& slice);

private:
    void replaceItem(size_t g, size_t e, std::unique_ptr<CAudioParamDataItem> item);
    void releaseAll();
    void releaseGroup(size_t g);
    // The item table of a record: items in order of first use from 1.
    CErrorPtr writeItems(COutputStream& out, const std::vector<uint32_t>& order) const;
    static CErrorPtr readItems(CInputStream& in, std::map<uint32_t, std::unique_ptr<CAudioParamDataItem>>& items);
    uint32_t idAt(const CAudioParamValue& v, size_t g, size_t i) const;

    const CAudioParamInfo& m_info;
    CAudioParamValue m_value;
    CAudioParamData m_data;
    bool m_hasValue = false;
};

}  // namespace zel
