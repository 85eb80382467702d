// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "Core/Error.h"
#include "Core/String.h"

namespace zel {

class CObject;
class CClassInfo;

using CCreateFn = CObject* (*)();
using CSetupFn = void (*)(CClassInfo&);

// One row of the class table: tag, create function, class set-up.
struct CClassEntry {
    const char* tag;
    CCreateFn create;
    CSetupFn setup;
};

// What the registry knows of one class tag: how to create it and the
// handlers its set-up registered by name.
class CClassInfo {
public:
    using CAttrHandler = std::function<CErrorPtr(CObject& self)>;
    using CEventHandler = std::function<CErrorPtr(CObject& self, CObject* params, CObject* sender)>;

    explicit CClassInfo(const CClassEntry& entry) : m_entry(entry) {}

    const char* tag() const { return m_entry.tag; }
    CCreateFn createFn() const { return m_entry.create; }

    // Called after the attribute has been stored.
    template <class T>
    void onAttr(const char* name, CErrorPtr (T::*handler)()) {
        m_attrHandlers[CString(name)] = [handler](CObject& self) { return (static_cast<T&>(self).*handler)(); };
    }
    template <class T>
    void onEvent(const char* name, CErrorPtr (T::*handler)(CObject* params, CObject* sender)) {
        m_eventHandlers[CString(name)] = [handler](CObject& self, CObject* params, CObject* sender) {
            return (static_cast<T&>(self).*handler)(params, sender);
        };
    }

    const CAttrHandler* findAttrHandler(const CString& name) const;
    const CEventHandler* findEventHandler(const CString& name) const;

private:
    CClassEntry m_entry;
    std::map<CString, CAttrHandler> m_attrHandlers;
    std::map<CString, CEventHandler> m_eventHandlers;
};

// Process-wide map from class tag to class information. Filled once at
// start-up from the constant class table (see classTable()).
class CClassRegistry {
public:
    static CClassRegistry& instance();

    // A second registration of a tag fails and leaves the first in force.
    CErrorPtr registerCreator(const CClassEntry& entry);
    CErrorPtr registerAll(const CClassEntry* table, size_t count);
    const CClassInfo* find(const CString& tag) const;
    size_t size() const { return m_classes.size(); }
    void clear() { m_classes.clear(); }

    // A new, unattached object of the class, or null for an unknown tag
    // or exhausted memory.
    CObject* create(const CString& tag) const;

private:
    std::map<CString, std::unique_ptr<CClassInfo>> m_classes;
};

// The constant class table of the whole program, sorted by tag.
const CClassEntry* classTable(size_t& count);

// The set-up shared by classes that add no handlers of their own.
void setupObjectClass(CClassInfo& info);

template <class T>
CObject* createObject() {
    return new (std::nothrow) T();
}

}  // namespace zel
