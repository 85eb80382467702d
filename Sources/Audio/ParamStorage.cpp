// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamStorage.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "ParamStorage"

namespace zel {

// ---------------------------------------------------------------- items

CErrorPtr CAudioParamDataItemString::write(COutputStream& out) const {
    ZEL_TRY(out.writeString(m_text));
    return nullptr;
}

CErrorPtr CAudioParamDataItemString::read(CInputStream& in) {
    ZEL_TRY(in.readString(m_text));
    return nullptr;
}

CErrorPtr CAudioParamDataItemRaw::write(COutputStream& out) const {
    ZEL_TRY(out.writeBlock(m_bytes.data(), static_cast<uint32_t>(m_bytes.size())));
    return nullptr;
}

CErrorPtr CAudioParamDataItemRaw::read(CInputStream& in) {
    ZEL_TRY(in.readBlock(m_bytes, kMaxBytes));
    return nullptr;
}

uint32_t CAudioParamData::add(std::unique_ptr<CAudioParamDataItem> item) {
    const uint32_t id = m_nextId++;
    m_items[id].item = std::move(item);
    return id;
}

bool CAudioParamData::insert(uint32_t id, std::unique_ptr<CAudioParamDataItem> item) {
    if (id == 0 || m_items.count(id)) return false;
    m_items[id].item = std::move(item);
    m_nextId = std::max(m_nextId, id + 1);
    return true;
}

void CAudioParamData::addRef(uint32_t id) {
    auto it = m_items.find(id);
    if (it != m_items.end()) ++it->second.refs;
}

void CAudioParamData::release(uint32_t id) {
    auto it = m_items.find(id);
    if (it != m_items.end() && (it->second.refs <= 1))
        m_items.erase(it);
    else if (it != m_items.end())
        --it->second.refs;
}

const CAudioParamDataItem* CAudioParamData::find(uint32_t id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second.item.get();
}

bool CAudioParamData::itemText(long long id, CString& out) const {
    if (id <= 0 || id > UINT32_MAX) return false;
    const auto* s = dynamic_cast<const CAudioParamDataItemString*>(find(static_cast<uint32_t>(id)));
    if (!s) return false;
    out = s->text();
    return true;
}

// ---------------------------------------------------------------- storage

CAudioParamStorage::CAudioParamStorage(const CAudioParamInfo& info) : m_info(info), m_value(info.elementSize) {}

CAudioParamStorage::~CAudioParamStorage() = default;

uint32_t CAudioParamStorage::idAt(const CAudioParamValue& v, size_t g, size_t i) const {
    const long long id = std::llround(v.group(g)[i]);
    return id > 0 && id <= UINT32_MAX ? static_cast<uint32_t>(id) : 0;
}

void CAudioParamStorage::releaseGroup(size_t g) {
    if (m_info.dataType == CAudioParamInfo::kFloat || g >= m_value.groupCount()) return;
    for (size_t i = 0; i < m_value.group(g).size(); ++i) m_data.release(idAt(m_value, g, i));
}

void CAudioParamStorage::releaseAll() {
    if (m_info.dataType == CAudioParamInfo::kFloat) return;
    for (size_t g = 0; g < m_value.groupCount(); ++g)
        for (size_t i = 0; i < m_value.group(g).size(); ++i) m_data.release(idAt(m_value, g, i));
}

CString CAudioParamStorage::text(size_t g, size_t e) const {
    double v;
    CString out;
    if (m_value.get(g, e, 0, v)) {
        m_data.itemText(std::llround(v), out);
        return out;
    }
    const long long id = std::llround(m_info.read(m_value, g, e, 0));
    if (id >= 1 && size_t(id) <= m_info.defaultItems.size()) out = m_info.defaultItems[size_t(id) - 1];
    return out;
}

void CAudioParamStorage::setDefault() {
    releaseAll();
    m_value = m_info.defaultValue;
    if (m_info.dataType != CAudioParamInfo::kFloat) {
        for (size_t g = 0; g < m_value.groupCount(); ++g)
            for (double& id : m_value.group(g)) {
                const long long k = std::llround(id);
                const CString text =
                    k >= 1 && size_t(k) <= m_info.defaultItems.size() ? m_info.defaultItems[k - 1] : "";
                std::unique_ptr<CAudioParamDataItem> item;
                if (m_info.dataType == CAudioParamInfo::kString)
                    item = std::make_unique<CAudioParamDataItemString>(text);
                else {
                    const std::string bytes = text.utf8();
                    item = std::make_unique<CAudioParamDataItemRaw>(std::vector<uint8_t>(bytes.begin(), bytes.end()));
                }
                const uint32_t newId = m_data.add(std::move(item));
                m_data.addRef(newId);
                id = newId;
            }
    }
    m_hasValue = true;
}

void CAudioParamStorage::setValue(const CAudioParamValue& value) {
    releaseAll();
    m_value = value;
    m_hasValue = true;
}

void CAudioParamStorage::setComponent(size_t g, size_t e, size_t c, double v) {
    m_value.set(g, e, c, v);
    m_hasValue = true;
}

void CAudioParamStorage::replaceItem(size_t g, size_t e, std::unique_ptr<CAudioParamDataItem> item) {
    double old;
    if (m_value.get(g, e, 0, old)) m_data.release(idAt(m_value, g, e));
    const uint32_t id = m_data.add(std::move(item));
    m_data.addRef(id);
    m_value.set(g, e, 0, id);
    m_hasValue = true;
}

void CAudioParamStorage::setText(size_t g, size_t e, const CString& text) {
    replaceItem(g, e, std::make_unique<CAudioParamDataItemString>(text));
}

void CAudioParamStorage::setBytes(size_t g, size_t e, std::vector<uint8_t> bytes) {
    replaceItem(g, e, std::make_unique<CAudioParamDataItemRaw>(std::move(bytes)));
}

std::vector<uint8_t> CAudioParamStorage::bytes(size_t g, size_t e) const {
    double v;
    if (!m_value.get(g, e, 0, v)) return {};
    const auto* raw = dynamic_cast<const CAudioParamDataItemRaw*>(m_data.find(idAt(m_value, g, e)));
    return raw ? raw->bytes() : std::vector<uint8_t>();
}

void CAudioParamStorage::clamp() {
    if (m_info.dataType != CAudioParamInfo::kFloat) return;
    for (size_t g = 0; g < m_value.groupCount(); ++g) {
        auto& grp = m_value.group(g);
        for (size_t i = 0; i < grp.size(); ++i) {
            const size_t c = i % m_info.elementSize;
            const double a = m_info.minValue(c), b = m_info.maxValue(c);
            grp[i] = std::clamp(grp[i], std::min(a, b), std::max(a, b));
        }
    }
}

CErrorPtr CAudioParamStorage::writeItems(COutputStream& out, const std::vector<uint32_t>& order) const {
    ZEL_TRY(out.writeUInt32(static_cast<uint32_t>(order.size())));
    for (size_t k = 0; k < order.size(); ++k) {
        const CAudioParamDataItem* item = m_data.find(order[k]);
        ZEL_TRY(out.writeUInt32(uint32_t(k + 1)));
        ZEL_TRY(out.writeUInt32(item->type()));
        ZEL_TRY(item->write(out));
    }
    return nullptr;
}

CErrorPtr CAudioParamStorage::readItems(CInputStream& in,
                                        std::map<uint32_t, std::unique_ptr<CAudioParamDataItem>>& items) {
    uint32_t itemCount;
    ZEL_TRY(in.readUInt32(itemCount));
    for (uint32_t k = 0; k < itemCount; ++k) {
        uint32_t id, type;
        ZEL_TRY(in.readUInt32(id));
        ZEL_TRY(in.readUInt32(type));
        std::unique_ptr<CAudioParamDataItem> item;
        if (type == CAudioParamDataItem::kString)
            item = std::make_unique<CAudioParamDataItemString>();
        else if (type == CAudioParamDataItem::kRaw)
            item = std::make_unique<CAudioParamDataItemRaw>();
        else
            return ZEL_ERROR("Unknown data type %1 encountered", type);
        ZEL_TRY(item->read(in));
        items[id] = std::move(item);
    }
    return nullptr;
}

CErrorPtr CAudioParamStorage::save(COutputStream& out, int group) const {
    const bool isFloat = m_info.dataType == CAudioParamInfo::kFloat;
    std::vector<size_t> groups;
    if (group >= 0)
        groups.push_back(size_t(group));
    else
        for (size_t g = 0; g < m_value.groupCount(); ++g) groups.push_back(g);
    ZEL_TRY(out.writeUInt32(kVersion));
    ZEL_TRY(out.writeUInt32(m_info.elementSize));
    ZEL_TRY(out.writeUInt32(m_info.dataType));
    ZEL_TRY(out.writeUInt32(static_cast<uint32_t>(groups.size())));
    // Items are renumbered from 1 in order of first use; unreferenced ones
    // are not written.
    std::map<uint32_t, uint32_t> renumber;
    std::vector<uint32_t> order;
    if (!isFloat) {
        for (size_t g : groups)
            for (size_t i = 0; g < m_value.groupCount() && i < m_value.group(g).size(); ++i) {
                const uint32_t id = idAt(m_value, g, i);
                if (m_data.find(id) && renumber.emplace(id, uint32_t(order.size() + 1)).second) order.push_back(id);
            }
        ZEL_TRY(writeItems(out, order));
    }
    for (size_t g : groups) {
        const size_t count = m_value.elementCount(g);
        ZEL_TRY(out.writeUInt32(static_cast<uint32_t>(count)));
        for (size_t i = 0; i < count * m_info.elementSize; ++i) {
            if (isFloat) {
                ZEL_TRY(out.writeReal(m_value.group(g)[i]));
            } else {
                auto it = renumber.find(idAt(m_value, g, i));
                ZEL_TRY(out.writeUInt32(it == renumber.end() ? 0 : it->second));
            }
        }
    }
    return nullptr;
}

CErrorPtr CAudioParamStorage::load(CInputStream& in) {
    uint32_t version, esize, dtype, groupCount;
    ZEL_TRY(in.readUInt32(version));
    if (version != kVersion) return ZEL_ERROR("Unsupported data set version %1.", version);
    ZEL_TRY(in.readUInt32(esize));
    ZEL_TRY(in.readUInt32(dtype));
    if (esize != m_info.elementSize || dtype != uint32_t(m_info.dataType))
        return ZEL_ERROR("Unsupported storage format (esize=%1, dtype=%2; should be: esize=%3, dtype=%4).", esize,
                         dtype, m_info.elementSize, unsigned(m_info.dataType));
    ZEL_TRY(in.readUInt32(groupCount));
    const bool isFloat = m_info.dataType == CAudioParamInfo::kFloat;
    // Everything is read into new containers that grow only with what the
    // stream really delivers: a lying count fails at the end of the data
    // instead of allocating, and a failed load leaves the value as it was.
    std::map<uint32_t, std::unique_ptr<CAudioParamDataItem>> items;
    if (!isFloat) ZEL_TRY(readItems(in, items));
    CAudioParamValue value(m_info.elementSize);
    for (uint32_t g = 0; g < groupCount; ++g) {
        uint32_t count;
        ZEL_TRY(in.readUInt32(count));
        value.addGroup();
        CAudioParamValue::CGroup& grp = value.group(g);
        for (uint64_t i = 0; i < uint64_t(count) * m_info.elementSize; ++i) {
            if (isFloat) {
                double v;
                ZEL_TRY(in.readReal(v));
                // Clamping lets NaN through, and infinities have no place in
                // any range: a record carrying either is refused whole.
                if (!std::isfinite(v))
                    return ZEL_ERROR(
                        "@zelstr_CAudioParamStorage_load_NotFinite Value %1 of group %2 is not a finite "
                        "number.",
                        i, g);
                grp.push_back(v);
            } else {
                uint32_t id;
                ZEL_TRY(in.readUInt32(id));
                if (id != 0 && !items.count(id))
                    return ZEL_ERROR("@zelstr_CAudioParamStorage_load_UnknownItem Data item %1 is not defined.", id);
                grp.push_back(id);
            }
        }
    }
    releaseAll();
    if (!isFloat) {
        // Each element takes a reference to its item under an id of this
        // table; elements sharing an id share the item.
        std::map<uint32_t, uint32_t> mapped;
        for (size_t g = 0; g < value.groupCount(); ++g)
            for (double& v : value.group(g)) {
                const uint32_t id = static_cast<uint32_t>(v);
                if (id == 0) continue;
                auto it = mapped.find(id);
                if (it == mapped.end()) it = mapped.emplace(id, m_data.add(std::move(items[id]))).first;
                m_data.addRef(it->second);
                v = it->second;
            }
    }
    m_value = std::move(value);
    m_hasValue = true;
    return nullptr;
}

CErrorPtr CAudioParamStorage::loadGroup(CInputStream& in, size_t group) {
    CAudioParamStorage record(m_info);
    ZEL_TRY(record.load(in));
    CAudioParamValue::CGroup elements;
    if (record.m_value.groupCount() > 0) elements = record.m_value.group(0);
    if (m_info.dataType != CAudioParamInfo::kFloat) {
        std::map<uint32_t, uint32_t> mapped;
        for (size_t i = 0; i < elements.size(); ++i) {
            const uint32_t id = record.idAt(record.m_value, 0, i);
            const CAudioParamDataItem* item = record.m_data.find(id);
            if (!item) {
                elements[i] = 0;
                continue;
            }
            auto it = mapped.find(id);
            if (it == mapped.end()) it = mapped.emplace(id, m_data.add(item->clone())).first;
            m_data.addRef(it->second);
            elements[i] = it->second;
        }
    }
    releaseGroup(group);
    if (group >= m_value.groupCount()) m_value.setGroupCount(group + 1);
    m_value.group(group) = std::move(elements);
    m_hasValue = true;
    return nullptr;
}

// ---------------------------------------------------------------- slices

CErrorPtr CAudioParamStorage::saveSlice(COutputStream& out, const CSlice& slice) const {
    const bool isFloat = m_info.dataType == CAudioParamInfo::kFloat;
    ZEL_TRY(out.writeUInt32(slice.group));
    ZEL_TRY(out.writeUInt32(slice.first));
    ZEL_TRY(out.writeUInt32(slice.count));
    ZEL_TRY(out.writeUInt32(m_hasValue ? 1 : 0));
    ZEL_TRY(out.writeUInt32(m_info.elementSize));
    ZEL_TRY(out.writeUInt32(m_info.dataType));
    ZEL_TRY(out.writeUInt32(m_info.isSingleGroup ? 1 : 0));
    ZEL_TRY(out.writeUInt32(m_info.isSingleElement ? 1 : 0));
    if (isFloat) {
        for (uint32_t e = 0; e < slice.count; ++e)
            for (unsigned c = 0; c < m_info.elementSize; ++c)
                ZEL_TRY(out.writeReal(read(slice.group, slice.first + e, c)));
        return nullptr;
    }
    std::map<uint32_t, uint32_t> renumber;
    std::vector<uint32_t> order;
    for (uint32_t e = 0; e < slice.count; ++e) {
        const long long raw = roundHalfAwayToInt(read(slice.group, slice.first + e, 0));
        const uint32_t id = raw > 0 && raw <= UINT32_MAX ? uint32_t(raw) : 0;
        uint32_t written = 0;
        if (m_data.find(id)) {
            auto it = renumber.emplace(id, uint32_t(order.size() + 1)).first;
            if (it->second == order.size() + 1) order.push_back(id);
            written = it->second;
        }
        ZEL_TRY(out.writeUInt32(written));
    }
    ZEL_TRY(writeItems(out, order));
    return nullptr;
}

CErrorPtr CAudioParamStorage::loadSlice(CInputStream& in, CSlice& slice) {
    uint32_t hasValue, esize, dtype, singleGroup, singleElement;
    CSlice got;
    ZEL_TRY(in.readUInt32(got.group));
    ZEL_TRY(in.readUInt32(got.first));
    ZEL_TRY(in.readUInt32(got.count));
    ZEL_TRY(in.readUInt32(hasValue));
    ZEL_TRY(in.readUInt32(esize));
    ZEL_TRY(in.readUInt32(dtype));
    ZEL_TRY(in.readUInt32(singleGroup));
    ZEL_TRY(in.readUInt32(singleElement));
    if (esize != m_info.elementSize || dtype != uint32_t(m_info.dataType))
        return ZEL_ERROR("Unsupported storage format (esize=%1, dtype=%2; should be: esize=%3, dtype=%4).", esize,
                         dtype, m_info.elementSize, unsigned(m_info.dataType));
    if (got.group >= kMaxGroups || uint64_t(got.first) + got.count > kMaxElements)
        return ZEL_ERROR(
            "@zelstr_CAudioParamStorage_loadSlice_Range Value slice out of range (group %1, elements %2+%3).",
            got.group, got.first, got.count);
    const bool isFloat = m_info.dataType == CAudioParamInfo::kFloat;
    std::vector<double> components;
    for (uint64_t i = 0; i < uint64_t(got.count) * (isFloat ? esize : 1); ++i) {
        if (isFloat) {
            double v;
            ZEL_TRY(in.readReal(v));
            if (!std::isfinite(v))
                return ZEL_ERROR(
                    "@zelstr_CAudioParamStorage_load_NotFinite Value %1 of group %2 is not a finite number.", i,
                    got.group);
            components.push_back(v);
        } else {
            uint32_t id;
            ZEL_TRY(in.readUInt32(id));
            components.push_back(id);
        }
    }
    std::map<uint32_t, std::unique_ptr<CAudioParamDataItem>> items;
    if (!isFloat) {
        ZEL_TRY(readItems(in, items));
        for (double id : components)
            if (id != 0 && !items.count(uint32_t(id)))
                return ZEL_ERROR("@zelstr_CAudioParamStorage_load_UnknownItem Data item %1 is not defined.",
                                 uint32_t(id));
    }
    if (isFloat) {
        for (size_t i = 0; i < components.size(); ++i)
            setComponent(got.group, got.first + i / esize, i % esize, components[i]);
    } else {
        std::map<uint32_t, uint32_t> mapped;
        for (size_t i = 0; i < components.size(); ++i) {
            const uint32_t id = uint32_t(components[i]);
            double old;
            if (m_value.get(got.group, got.first + i, 0, old)) m_data.release(idAt(m_value, got.group, got.first + i));
            uint32_t local = 0;
            if (id != 0) {
                auto it = mapped.find(id);
                if (it == mapped.end()) it = mapped.emplace(id, m_data.add(std::move(items[id]))).first;
                m_data.addRef(it->second);
                local = it->second;
            }
            m_value.set(got.group, got.first + i, 0, local);
        }
        m_hasValue = true;
    }
    slice = got;
    return nullptr;
}

}  // namespace zel
