// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/CCTable.h"

#include "Audio/Param.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "CCTable"

namespace zel {

CErrorPtr CAudioCCTable::init() {
    ZEL_TRY(CObject::init());
    std::vector<uint8_t> payload;
    // No entry yet is the usual case: the table then stays empty.
    if (CAppDataLocal::instance().readItem(kItemName, payload, makeTag("adat"))) payload.clear();
    load(payload);
    return nullptr;
}

void CAudioCCTable::load(const std::vector<uint8_t>& payload) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_slots.fill(nullptr);
    CMemoryReaderStatic in(payload.data(), payload.size());
    uint32_t count;
    if (in.readUInt32(count)) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t controller;
        CString name;
        if (in.readUInt32(controller) || in.readString(name)) return;
        if (controller >= kSlots) continue;
        if (auto* param = dynamic_cast<CAudioParam*>(findObject(name))) m_slots[controller] = param;
    }
}

CAudioParam* CAudioCCTable::slot(size_t controller) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return controller < kSlots ? m_slots[controller] : nullptr;
}

}  // namespace zel
