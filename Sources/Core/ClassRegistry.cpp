// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/ClassRegistry.h"

#include "Core/Object.h"

#define ZEL_SOURCE_TAG "ClassRegistry"

namespace zel {

const CClassInfo::CAttrHandler* CClassInfo::findAttrHandler(const CString& name) const {
    auto it = m_attrHandlers.find(name);
    return it == m_attrHandlers.end() ? nullptr : &it->second;
}

const CClassInfo::CEventHandler* CClassInfo::findEventHandler(const CString& name) const {
    auto it = m_eventHandlers.find(name);
    return it == m_eventHandlers.end() ? nullptr : &it->second;
}

CClassRegistry& CClassRegistry::instance() {
    static CClassRegistry registry;
    return registry;
}

CErrorPtr CClassRegistry::registerCreator(const CClassEntry& entry) {
    const CString tag(entry.tag);
    if (m_classes.count(tag))
        return ZEL_ERROR("@zelstr_CObject_registerCreator Creator for '%1' has already been registered.", tag);
    auto info = std::make_unique<CClassInfo>(entry);
    if (entry.setup) entry.setup(*info);
    m_classes.emplace(tag, std::move(info));
    return nullptr;
}

CErrorPtr CClassRegistry::registerAll(const CClassEntry* table, size_t count) {
    for (size_t i = 0; i < count; ++i) ZEL_TRY(registerCreator(table[i]));
    return nullptr;
}

const CClassInfo* CClassRegistry::find(const CString& tag) const {
    auto it = m_classes.find(tag);
    return it == m_classes.end() ? nullptr : it->second.get();
}

CObject* CClassRegistry::create(const CString& tag) const {
    const CClassInfo* info = find(tag);
    if (!info) return nullptr;
    CObject* obj = info->createFn()();
    if (obj) obj->setClassInfo(info);
    return obj;
}

void setupObjectClass(CClassInfo&) {}

}  // namespace zel
