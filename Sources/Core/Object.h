// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "Core/ClassRegistry.h"
#include "Core/Error.h"
#include "Core/String.h"

namespace zel {

class CTemplate;
class CBinding;

// A named node of an object tree: ordered text attributes, ordered children
// (names may repeat), run-time templates. Classes give behaviour, the
// definition documents assemble the trees.
class CObject {
public:
    using CAttrMap = std::map<CString, CString>;

    CObject();
    virtual ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    // Runs after the whole tree is built: resolves links and expressions.
    // The base initialises the children in order; subclasses choose whether
    // their own work comes before or after that.
    virtual CErrorPtr init();
    // Sent after an attribute changed and its class handler ran.
    virtual void attrChanged(const CString& name);
    // Runs the handler registered for `name`; the base looks it up in the
    // class information.
    virtual CErrorPtr dispatchEvent(const CString& name, CObject* params, CObject* sender);
    // Events that other objects send to this one (bridged calls).
    virtual CErrorPtr handleEvent(const CString& name, CObject* params, CObject* sender);
    // Called before a child is released.
    virtual void childReleasing(CObject& child);
    // A tree that sees another: paths from the root whose first name is not
    // below this root are looked up there (an editor sees its instance).
    virtual CObject* linkedTree() const { return nullptr; }

    // --- identity and tree
    const CString& name() const { return m_name; }
    void setName(const CString& name);
    CObject* parent() const { return m_parent; }
    CObject* root();
    const CObject* root() const;
    const std::vector<std::unique_ptr<CObject>>& children() const { return m_children; }
    CObject* findChild(const CString& name, long long index = 0) const;
    CErrorPtr addChild(std::unique_ptr<CObject> child);
    // Releases the child and everything below it.
    void removeChild(CObject* child);
    void removeAllChildren();
    CString fullName() const { return getAttr("full-name"); }
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    const CClassInfo* classInfo() const { return m_class; }
    void setClassInfo(const CClassInfo* info) { m_class = info; }
    // -1 for the shared application tree, a process-wide counter for others.
    long long rootId() const { return m_rootId; }
    void setRootId(long long id) { m_rootId = id; }

    // --- attributes
    const CAttrMap& attrs() const { return m_attrs; }
    bool hasAttr(const CString& name) const { return m_attrs.count(name) != 0; }
    CString getAttr(const CString& name) const;
    // Stores the value as it stands and notifies the class handler, the
    // object and the live bindings that watch it. An unchanged value
    // notifies no one; a change that comes back to a binding still busy
    // with it is a cycle, ended with an error.
    CErrorPtr setAttr(const CString& name, const CString& value);
    // Expands brace expressions against this object first (documents and
    // templates set their attributes this way). A live expression whose
    // object does not exist yet is tried again in init; one that would make
    // the attribute depend on itself is refused with an error, the value
    // is set all the same.
    CErrorPtr setAttrExpanded(const CString& name, const CString& value);
    void removeAttr(const CString& name);

    bool readBool(const CString& name, bool& out) const;
    bool readInt(const CString& name, long long& out) const;
    bool readInt(const CString& name, int& out) const;
    bool readReal(const CString& name, double& out) const;
    // Typed reads with a fallback when absent or unreadable.
    bool getBool(const CString& name, bool fallback) const;
    long long getInt(const CString& name, long long fallback) const;
    double getReal(const CString& name, double fallback) const;
    void setBool(const CString& name, bool value) { setAttr(name, value ? "true" : "false"); }
    void setInt(const CString& name, long long value) { setAttr(name, toText(value)); }
    void setReal(const CString& name, double value) { setAttr(name, toText(value)); }

    // --- lookup
    CObject* findObject(const CString& path);
    template <class T>
    CErrorPtr findObjectChecked(const CString& path, T*& out);
    template <class T>
    CErrorPtr findObjectByAttr(const CString& attr, T*& out);

    // --- creation
    // A run-time template registered under `tag` (here, in an ancestor or in
    // the shared tree) wins over the class registry.
    CErrorPtr createChild(const CString& tag, const CString& name, CObject*& out);
    template <class T>
    CErrorPtr createChild(const CString& tag, const CString& name, T*& out);
    // Instantiates a template that must exist.
    CErrorPtr createFromTemplate(const CString& tag, const CString& name, CObject*& out);

    void registerTemplate(std::shared_ptr<const CTemplate> tmpl);
    const CTemplate* findTemplate(const CString& tag) const;
    const std::map<CString, std::shared_ptr<const CTemplate>>& templates() const { return m_templates; }

    // --- events
    CErrorPtr runEvent(const CString& name, CObject* params = nullptr, CObject* sender = nullptr);
    bool hasEventHandler(const CString& name) const;
    // Subscribes this object's `handler` to `event` of `sender` through the
    // notification server.
    CErrorPtr listenObject(CObject* sender, const CString& event, const CString& handler, long long listenerId = 0);

    // Trace of object creations ("Creating CObject ...").
    static void setCreationTrace(bool on);
    static bool creationTrace();

private:
    friend class CBinding;
    void updateFullName();
    struct CExpansion {
        CErrorPtr error;
        // A live expression named an object that does not exist yet.
        bool unresolved = false;
    };
    struct CPending {
        CString text;
        CString expanded;
    };
    void dropBindingsOf(const CString& attr);
    bool evaluate(const CString& attrName, const CString& expr, CString& result, CObject*& source, CString& sourceAttr);
    CString expandText(const CString& name, const CString& value, bool bind, CExpansion& out);
    // Whether `attr` follows `sourceAttr` of `source`, directly or through
    // other bindings.
    bool dependsOn(const CString& attr, const CObject* source, const CString& sourceAttr) const;
    CErrorPtr resolvePending();

    CString m_name;
    CObject* m_parent = nullptr;
    std::vector<std::unique_ptr<CObject>> m_children;
    CAttrMap m_attrs;
    bool m_readOnly = false;
    long long m_rootId = 0;
    const CClassInfo* m_class = nullptr;
    std::map<CString, std::shared_ptr<const CTemplate>> m_templates;
    // Live bindings that set attributes of this object, and those that read it.
    std::vector<std::unique_ptr<CBinding>> m_bindings;
    std::vector<CBinding*> m_watchers;
    // Attributes set from text with live expressions that found no object;
    // init expands them again unless their value changed meanwhile.
    std::map<CString, CPending> m_pending;
};

CErrorPtr findCheckedError(CObject& self, const CString& path, bool castFailed);
CErrorPtr findByAttrError(CObject& self, int kind, const CString& attr, const CString& path);
CErrorPtr createClassError(const CString& tag, const CString& name);

template <class T>
CErrorPtr CObject::findObjectChecked(const CString& path, T*& out) {
    out = nullptr;
    CObject* found = findObject(path);
    if (!found) return findCheckedError(*this, path, false);
    out = dynamic_cast<T*>(found);
    if (!out) return findCheckedError(*this, path, true);
    return nullptr;
}

template <class T>
CErrorPtr CObject::findObjectByAttr(const CString& attr, T*& out) {
    out = nullptr;
    const CString path = getAttr(attr);
    if (path.empty()) return findByAttrError(*this, 0, attr, path);
    CObject* found = findObject(path);
    if (!found) return findByAttrError(*this, 1, attr, path);
    out = dynamic_cast<T*>(found);
    if (!out) return findByAttrError(*this, 2, attr, path);
    return nullptr;
}

template <class T>
CErrorPtr CObject::createChild(const CString& tag, const CString& name, T*& out) {
    out = nullptr;
    CObject* created = nullptr;
    if (CErrorPtr e = createChild(tag, name, created)) return e;
    out = dynamic_cast<T*>(created);
    if (!out) {
        removeChild(created);
        return createClassError(tag, name);
    }
    return nullptr;
}

}  // namespace zel
