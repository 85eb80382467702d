// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Object.h"

#include <algorithm>
#include <atomic>

#include "Core/Application.h"
#include "Core/Debug.h"
#include "Core/Notify.h"
#include "Core/XMLData.h"

#define ZEL_SOURCE_TAG "Object"

namespace zel {

// A live attribute binding: `attr` of `target` is the expansion of `text`
// and is expanded again whenever `sourceAttr` of `source` changes. It lives
// until either object goes away or the attribute is set from a new text.
class CBinding {
public:
    CObject* target;
    CString attr;
    CString text;
    CObject* source;
    CString sourceAttr;

    void detachFromSource() {
        auto& w = source->m_watchers;
        w.erase(std::remove(w.begin(), w.end(), this), w.end());
    }
};

namespace {
std::atomic<bool> g_creationTrace{false};
constexpr int kMaxExpansionSteps = 256;
// The bindings whose target is being set on this thread, innermost first: a
// binding that fires again before it is done is part of a cycle. A chain of
// entries on the stack, so that a thread keeps no heap memory of the module
// once the module is unloaded.
struct CFiring {
    const CBinding* binding;
    const CFiring* outer;
};
thread_local const CFiring* t_firing = nullptr;

bool isFiring(const CBinding* b) {
    for (const CFiring* f = t_firing; f; f = f->outer)
        if (f->binding == b) return true;
    return false;
}
}  // namespace

CObject::CObject() = default;

CObject::~CObject() {
    // Children first, so that their bindings and subscriptions go while this
    // object is still whole.
    removeAllChildren();
    for (auto& b : m_bindings) b->detachFromSource();
    m_bindings.clear();
    for (CBinding* b : std::vector<CBinding*>(m_watchers)) {
        auto& owned = b->target->m_bindings;
        owned.erase(std::remove_if(owned.begin(), owned.end(),
                                   [b](const std::unique_ptr<CBinding>& p) { return p.get() == b; }),
                    owned.end());
    }
    CNotifyServer::instance().objectDestroyed(this);
    if (!m_parent && m_rootId > 0) CApplication::rootReleased(m_rootId);
}

CErrorPtr CObject::init() {
    ZEL_TRY(resolvePending());
    for (size_t i = 0; i < m_children.size(); ++i) ZEL_TRY(m_children[i]->init());
    return nullptr;
}

void CObject::attrChanged(const CString&) {}

CErrorPtr CObject::dispatchEvent(const CString& name, CObject* params, CObject* sender) {
    const CClassInfo::CEventHandler* handler = m_class ? m_class->findEventHandler(name) : nullptr;
    if (!handler) return ZEL_ERROR("@zelstr_CObject_runEvent_UnknownEvent Unknown event '%1'.", name);
    ZEL_TRY((*handler)(*this, params, sender));
    return nullptr;
}

CErrorPtr CObject::handleEvent(const CString& name, CObject* params, CObject* sender) {
    ZEL_TRY(dispatchEvent(name, params, sender));
    return nullptr;
}

void CObject::childReleasing(CObject&) {}

// ---------------------------------------------------------------- tree

void CObject::setName(const CString& name) {
    m_name = name;
    updateFullName();
}

CObject* CObject::root() {
    CObject* o = this;
    while (o->m_parent) o = o->m_parent;
    return o;
}

const CObject* CObject::root() const {
    const CObject* o = this;
    while (o->m_parent) o = o->m_parent;
    return o;
}

CObject* CObject::findChild(const CString& name, long long index) const {
    if (index < 0) {
        for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
            if ((*it)->m_name == name && ++index == 0) return it->get();
        return nullptr;
    }
    for (const auto& c : m_children)
        if (c->m_name == name && index-- == 0) return c.get();
    return nullptr;
}

CErrorPtr CObject::addChild(std::unique_ptr<CObject> child) {
    if (m_readOnly) return ZEL_ERROR("@zelstr_CObject_addChild_ReadOnly Error adding child to read-only object.");
    child->m_parent = this;
    m_children.push_back(std::move(child));
    m_children.back()->updateFullName();
    return nullptr;
}

void CObject::removeChild(CObject* child) {
    auto it = std::find_if(m_children.begin(), m_children.end(),
                           [child](const std::unique_ptr<CObject>& c) { return c.get() == child; });
    if (it == m_children.end()) return;
    childReleasing(*child);
    std::unique_ptr<CObject> released = std::move(*it);
    m_children.erase(it);
    released.reset();
}

void CObject::removeAllChildren() {
    while (!m_children.empty()) removeChild(m_children.back().get());
}

void CObject::updateFullName() {
    CString full;
    if (m_parent) {
        const CString parentName = m_parent->getAttr("full-name");
        full = parentName.empty() ? m_name : parentName + "." + m_name;
    }
    auto it = m_attrs.find("full-name");
    if (it == m_attrs.end() || it->second != full) setAttr("full-name", full);
    for (auto& c : m_children) c->updateFullName();
}

// ---------------------------------------------------------------- attributes

CString CObject::getAttr(const CString& name) const {
    auto it = m_attrs.find(name);
    return it == m_attrs.end() ? CString() : it->second;
}

CErrorPtr CObject::setAttr(const CString& name, const CString& value) {
    auto it = m_attrs.find(name);
    if (it != m_attrs.end()) {
        if (it->second == value) return nullptr;
        it->second = value;
    } else {
        m_attrs.emplace(name, value);
    }
    CErrorPtr result;
    if (m_class)
        if (const CClassInfo::CAttrHandler* handler = m_class->findAttrHandler(name)) {
            result = (*handler)(*this);
            if (result) result->addTrace(ZEL_SOURCE_TAG, __LINE__);
        }
    attrChanged(name);
    if (!m_watchers.empty()) {
        const std::vector<CBinding*> watchers(m_watchers);
        for (CBinding* b : watchers) {
            // A handler run above may have released the binding.
            if (std::find(m_watchers.begin(), m_watchers.end(), b) == m_watchers.end()) continue;
            if (b->sourceAttr != name) continue;
            CObject* target = b->target;
            const CString attr = b->attr;
            if (isFiring(b)) {
                if (!result)
                    result = ZEL_ERROR(
                        "@zelstr_CObject_setAttr_BindingCycle Attribute '%1' of '%2' changes itself through its live "
                        "bindings.",
                        attr, target->fullName());
                continue;
            }
            // The bindings made by the first expansion stay; this one only
            // reads.
            CExpansion unused;
            const CString expanded = target->expandText(attr, b->text, false, unused);
            auto pending = target->m_pending.find(attr);
            if (pending != target->m_pending.end()) pending->second.expanded = expanded;
            const CFiring entry{b, t_firing};
            t_firing = &entry;
            CErrorPtr err = target->setAttr(attr, expanded);
            t_firing = entry.outer;
            if (err && !result) result = ZEL_PASS(err);
        }
    }
    return result;
}

void CObject::dropBindingsOf(const CString& attr) {
    auto& v = m_bindings;
    for (auto& b : v)
        if (b->attr == attr) b->detachFromSource();
    v.erase(std::remove_if(v.begin(), v.end(), [&](const std::unique_ptr<CBinding>& b) { return b->attr == attr; }),
            v.end());
}

CErrorPtr CObject::setAttrExpanded(const CString& name, const CString& value) {
    dropBindingsOf(name);
    m_pending.erase(name);
    if (value.find(u'{') == CString::npos) return setAttr(name, value);
    CExpansion x;
    const CString expanded = expandText(name, value, true, x);
    for (auto& b : m_bindings)
        if (b->attr == name && b->text.empty()) b->text = value;
    if (x.unresolved) m_pending[name] = {value, expanded};
    CErrorPtr set = setAttr(name, expanded);
    if (x.error) return ZEL_PASS(x.error);
    if (set) return ZEL_PASS(set);
    return nullptr;
}

CErrorPtr CObject::resolvePending() {
    std::map<CString, CPending> pending;
    pending.swap(m_pending);
    CErrorPtr first;
    for (const auto& [name, p] : pending) {
        // A value set otherwise since is left alone.
        auto it = m_attrs.find(name);
        if (it == m_attrs.end() || it->second != p.expanded) continue;
        if (CErrorPtr err = setAttrExpanded(name, p.text); err && !first) first = ZEL_PASS(err);
    }
    return first;
}

void CObject::removeAttr(const CString& name) {
    dropBindingsOf(name);
    m_pending.erase(name);
    m_attrs.erase(name);
}

bool CObject::dependsOn(const CString& attr, const CObject* source, const CString& sourceAttr) const {
    std::vector<std::pair<const CObject*, CString>> todo{{this, attr}}, seen;
    while (!todo.empty()) {
        const auto at = todo.back();
        todo.pop_back();
        if (at.first == source && at.second == sourceAttr) return true;
        if (std::find(seen.begin(), seen.end(), at) != seen.end()) continue;
        seen.push_back(at);
        for (const auto& b : at.first->m_bindings)
            if (b->attr == at.second) todo.emplace_back(b->source, b->sourceAttr);
    }
    return false;
}

bool CObject::evaluate(const CString& attrName, const CString& exprIn, CString& result, CObject*& source,
                       CString& sourceAttr) {
    CString expr = exprIn;
    source = nullptr;
    if (expr.startsWith("@")) {
        // Second lookup mode: the full name of the object a path finds.
        CString path = expr.substr(1);
        if (path.startsWith("/")) path = path.substr(1);
        CObject* obj = findObject(path);
        if (!obj) return false;
        result = obj->fullName();
        source = obj;
        sourceAttr = "full-name";
        return true;
    }
    CObject* obj = this;
    CString attr = expr;
    if (expr.empty()) {
        attr = attrName;
    } else if (expr.startsWith("/")) {
        const size_t space = expr.find(u' ');
        const CString path = expr.substr(1, space == CString::npos ? CString::npos : space - 1);
        attr = space == CString::npos ? attrName : expr.substr(space + 1);
        obj = findObject(path);
    }
    if (!obj) return false;
    // An object without the attribute yet is still what a live expression
    // follows: the attribute may come later.
    source = obj;
    sourceAttr = attr;
    if (!obj->hasAttr(attr)) return false;
    result = obj->getAttr(attr);
    return true;
}

CString CObject::expandText(const CString& name, const CString& value, bool bind, CExpansion& out) {
    CString text = value;
    size_t limit = CString::npos;
    for (int step = 0; step < kMaxExpansionSteps; ++step) {
        const size_t open = text.rfind(u'{', limit);
        if (open == CString::npos) break;
        const size_t close = text.find(u'}', open);
        if (close == CString::npos) {
            // An unclosed brace stays as it stands; look further left.
            limit = open;
            continue;
        }
        CString inner = text.substr(open + 1, close - open - 1);
        CString defaultText;
        const size_t q = inner.find(u'?');
        if (q != CString::npos) {
            defaultText = inner.substr(q + 1);
            inner = inner.substr(0, q);
        }
        const bool live = inner.startsWith("*");
        if (live) inner = inner.substr(1);
        CString result;
        CObject* source = nullptr;
        CString sourceAttr;
        if (!evaluate(name, inner, result, source, sourceAttr)) result = defaultText;
        if (live && bind && !source) out.unresolved = true;
        if (live && bind && source && source->dependsOn(sourceAttr, this, name)) {
            if (!out.error)
                out.error = ZEL_ERROR(
                    "@zelstr_CObject_setAttrExpanded_BindingCycle Live binding of attribute '%1' of '%2' to attribute "
                    "'%3' of '%4' would form a cycle.",
                    name, fullName(), sourceAttr, source->fullName());
        } else if (live && bind && source) {
            auto b = std::make_unique<CBinding>();
            b->target = this;
            b->attr = name;
            b->source = source;
            b->sourceAttr = sourceAttr;
            source->m_watchers.push_back(b.get());
            m_bindings.push_back(std::move(b));
        }
        text = text.substr(0, open) + result + text.substr(close + 1);
        limit = CString::npos;
    }
    return text;
}

bool CObject::readBool(const CString& name, bool& out) const {
    auto it = m_attrs.find(name);
    if (it == m_attrs.end()) return false;
    if (it->second == "true" || it->second == "1") {
        out = true;
        return true;
    }
    if (it->second == "false" || it->second == "0") {
        out = false;
        return true;
    }
    return false;
}

bool CObject::readInt(const CString& name, long long& out) const {
    auto it = m_attrs.find(name);
    return it != m_attrs.end() && parseInt(it->second, out);
}

bool CObject::readInt(const CString& name, int& out) const {
    long long v;
    if (!readInt(name, v) || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

bool CObject::readReal(const CString& name, double& out) const {
    auto it = m_attrs.find(name);
    return it != m_attrs.end() && parseReal(it->second, out);
}

bool CObject::getBool(const CString& name, bool fallback) const {
    bool v;
    return readBool(name, v) ? v : fallback;
}

long long CObject::getInt(const CString& name, long long fallback) const {
    long long v;
    return readInt(name, v) ? v : fallback;
}

double CObject::getReal(const CString& name, double fallback) const {
    double v;
    return readReal(name, v) ? v : fallback;
}

// ---------------------------------------------------------------- lookup

namespace {

// "name#index": the index is signed decimal or "0x" hexadecimal; "#+n"
// counts among all children from the first one of that name.
CObject* selectChild(const CObject& parent, const CString& segment) {
    const size_t hash = segment.rfind(u'#');
    if (hash != CString::npos) {
        const CString name = segment.substr(0, hash);
        CString number = segment.substr(hash + 1);
        const bool relative = number.startsWith("+");
        long long index;
        if (parseInt(relative ? number.substr(1) : number, index)) {
            if (!relative) return parent.findChild(name, index);
            const auto& kids = parent.children();
            for (size_t i = 0; i < kids.size(); ++i) {
                if (kids[i]->name() != name) continue;
                const long long at = static_cast<long long>(i) + index;
                return at >= 0 && at < static_cast<long long>(kids.size()) ? kids[at].get() : nullptr;
            }
            return nullptr;
        }
    }
    return parent.findChild(segment);
}

}  // namespace

CObject* CObject::findObject(const CString& path) {
    CObject* cur;
    size_t i = 0;
    if (path.startsWith(".") || path.startsWith("^")) {
        cur = this;
    } else if (path.startsWith("shared::")) {
        cur = CApplication::sharedObject();
        if (!cur) return nullptr;
        i = 8;
    } else {
        cur = root();
        CObject* linked = cur->linkedTree();
        if (linked) {
            const size_t end = std::min({path.find(u'.'), path.find(u'^'), path.find(u'/')});
            if (!selectChild(*cur, path.substr(0, end))) return linked->findObject(path);
        }
    }
    CString segment;
    auto enter = [&]() {
        if (segment.empty()) return true;
        cur = selectChild(*cur, segment);
        segment.clear();
        return cur != nullptr;
    };
    for (; i < path.length(); ++i) {
        const char16_t c = path.at(i);
        if (c == u'^') {
            if (!enter()) return nullptr;
            cur = cur->m_parent;
            if (!cur) return nullptr;
        } else if (c == u'/') {
            if (!enter()) return nullptr;
            cur = root();
        } else if (c == u'.') {
            if (!enter()) return nullptr;
        } else {
            segment.append(c);
        }
    }
    if (!enter()) return nullptr;
    return cur;
}

CErrorPtr findCheckedError(CObject& self, const CString& path, bool castFailed) {
    if (castFailed)
        return ZEL_ERROR("@zelstr_CObject_findObjectChecked_CastError Incompatible type of object '%1' ('%2')", path,
                         self.fullName());
    return ZEL_ERROR("@zelstr_CObject_findObjectChecked_FindError Unable to find object '%1' ('%2')", path,
                     self.fullName());
}

CErrorPtr findByAttrError(CObject& self, int kind, const CString& attr, const CString& path) {
    switch (kind) {
        case 0:
            return ZEL_ERROR("@zelstr_CObject_findObjectByAttr_AttrEmpty Object name attribute '%1' cannot be empty.",
                             attr);
        case 1:
            return ZEL_ERROR(
                "@zelstr_CObject_findObjectByAttr_FindError Name attribute '%1' refers to a non-existent object '%2' "
                "('%3')",
                attr, path, self.fullName());
        default:
            return ZEL_ERROR(
                "@zelstr_CObject_findObjectByAttr_CastError Name attribute '%1' refers to object '%2' ('%3') of "
                "incompatible type.",
                attr, path, self.fullName());
    }
}

CErrorPtr createClassError(const CString& tag, const CString& name) {
    return ZEL_ERROR(
        "@zelstr_CObject_createChild_InvalidObjectClass Object of invalid class created (child tag '%1', child name "
        "'%2').",
        tag, name);
}

// ---------------------------------------------------------------- creation

void CObject::registerTemplate(std::shared_ptr<const CTemplate> tmpl) { m_templates[tmpl->name()] = std::move(tmpl); }

const CTemplate* CObject::findTemplate(const CString& tag) const {
    for (const CObject* o = this; o; o = o->m_parent) {
        auto it = o->m_templates.find(tag);
        if (it != o->m_templates.end()) return it->second.get();
    }
    const CObject* shared = CApplication::sharedObject();
    if (shared && shared != root()) {
        auto it = shared->m_templates.find(tag);
        if (it != shared->m_templates.end()) return it->second.get();
    }
    return nullptr;
}

CErrorPtr CObject::createChild(const CString& tag, const CString& name, CObject*& out) {
    out = nullptr;
    if (const CTemplate* tmpl = findTemplate(tag)) {
        ZEL_TRY(tmpl->instantiate(*this, name, out));
        return nullptr;
    }
    if (g_creationTrace) debugLog("Creating CObject '%s' (tag '%s')", name.utf8().c_str(), tag.utf8().c_str());
    std::unique_ptr<CObject> obj(CClassRegistry::instance().create(tag));
    if (!obj) return createClassError(tag, name);
    obj->m_name = name;
    CObject* raw = obj.get();
    ZEL_TRY(addChild(std::move(obj)));
    out = raw;
    return nullptr;
}

CErrorPtr CObject::createFromTemplate(const CString& tag, const CString& name, CObject*& out) {
    out = nullptr;
    const CTemplate* tmpl = findTemplate(tag);
    if (!tmpl) return ZEL_ERROR("@zelstr_CObject_createChild_NoTemplate Run-time template '%1' does not exist.", tag);
    ZEL_TRY(tmpl->instantiate(*this, name, out));
    return nullptr;
}

void CObject::setCreationTrace(bool on) { g_creationTrace = on; }
bool CObject::creationTrace() { return g_creationTrace; }

// ---------------------------------------------------------------- events

CErrorPtr CObject::runEvent(const CString& name, CObject* params, CObject* sender) {
    ZEL_TRY(dispatchEvent(name, params, sender));
    return nullptr;
}

bool CObject::hasEventHandler(const CString& name) const { return m_class && m_class->findEventHandler(name); }

CErrorPtr CObject::listenObject(CObject* sender, const CString& event, const CString& handler, long long listenerId) {
    if (!hasEventHandler(handler)) {
        const std::string text = handler.utf8();
        return ZEL_ERROR("Event handler '%1' not found in listenObject().", CString::fromUtf8(text));
    }
    CNotifyServer::instance().subscribe(sender, event, this, listenerId, handler);
    return nullptr;
}

}  // namespace zel
