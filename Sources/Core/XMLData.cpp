// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/XMLData.h"

#include <algorithm>
#include <cstring>

#include "Core/Debug.h"
#include "Core/ResourceReader.h"

#define ZEL_SOURCE_TAG "XMLData"

namespace zel {

namespace {
// Deeper nesting than any real document; bounds the recursion that a
// hostile document could otherwise drive into a stack overflow.
constexpr int kMaxDepth = 200;
constexpr uint8_t kElement = 0;
constexpr uint8_t kTemplate = 1;
// The templates being instantiated on this thread, innermost first: a chain
// of entries on the stack, so that a thread keeps no heap memory of the
// module once the module is unloaded.
struct CInstantiating {
    const CTemplate* tmpl;
    const CInstantiating* outer;
};
thread_local const CInstantiating* t_instantiating = nullptr;

CErrorPtr setAttrs(CObject& obj, const CDocument& d, size_t pos, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i, pos += 4)
        if (CErrorPtr err = obj.setAttrExpanded(d.string(d.u16(pos)), d.string(d.u16(pos + 2)))) return ZEL_PASS(err);
    return nullptr;
}
}  // namespace

uint32_t CDocument::u32(size_t at) const {
    uint32_t v;
    std::memcpy(&v, &m_bytes[at], 4);
    return v;
}

CErrorPtr CDocument::corrupt(const char* what, size_t at) const {
    return ZEL_ERROR("@zelstr_CXMLData_decode_Corrupt Document '%1' is corrupt: %2 at byte %3.", m_name, what,
                     static_cast<unsigned long long>(at));
}

CErrorPtr CDocument::decode(const CString& name, std::vector<uint8_t> payload, std::shared_ptr<const CDocument>& out) {
    auto doc = std::make_shared<CDocument>();
    doc->m_name = name;
    doc->m_bytes = std::move(payload);
    const size_t size = doc->m_bytes.size();
    if (size < 8) ZEL_TRY(doc->corrupt("header cut short", size));
    const uint32_t count = doc->u32(0);
    const uint64_t nodes = uint64_t(doc->u32(4)) + 8;
    if (count == 0 || count > 65536 || 8 + uint64_t(count) * 4 > nodes) ZEL_TRY(doc->corrupt("bad string count", 0));
    if (nodes >= size) ZEL_TRY(doc->corrupt("node stream outside the document", 4));
    doc->m_strings.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t start = uint64_t(doc->u32(8 + 4 * i)) + 8;
        const size_t tableEnd = 8 + size_t(count) * 4;
        if (start < tableEnd || start >= nodes) ZEL_TRY(doc->corrupt("string offset outside the pool", 8 + 4 * i));
        const void* nul = std::memchr(&doc->m_bytes[start], 0, nodes - start);
        if (!nul) ZEL_TRY(doc->corrupt("unterminated string", start));
        const size_t len = static_cast<const uint8_t*>(nul) - &doc->m_bytes[start];
        doc->m_strings.emplace_back(reinterpret_cast<const char*>(&doc->m_bytes[start]), len);
    }
    doc->m_nodesStart = nodes;
    // The root record is a plain element without attributes; building relies
    // on that to find its children.
    if (size - nodes < 9 || doc->m_bytes[nodes + 4] != kElement || doc->u16(nodes + 5) != 0)
        ZEL_TRY(doc->corrupt("bad root record", nodes));
    size_t pos = nodes;
    ZEL_TRY(doc->checkRecord(pos, size, 0));
    if (pos != size) ZEL_TRY(doc->corrupt("bytes after the root record", pos));
    out = std::move(doc);
    return nullptr;
}

CErrorPtr CDocument::checkRecord(size_t& pos, size_t end, int depth) {
    if (depth > kMaxDepth) return corrupt("elements nested too deeply", pos);
    if (end - pos < 5) return corrupt("record cut short", pos);
    const uint16_t tag = u16(pos), name = u16(pos + 2);
    const uint8_t kind = m_bytes[pos + 4];
    if (tag >= m_strings.size() || name >= m_strings.size()) return corrupt("string index out of range", pos);
    pos += 5;
    if (kind == kTemplate) {
        if (end - pos < 6) return corrupt("template header cut short", pos);
        if (m_strings[tag] != "template") return corrupt("template record without the template tag", pos - 5);
        const uint16_t classTag = u16(pos);
        const uint32_t bodySize = u32(pos + 2);
        pos += 6;
        if (classTag >= m_strings.size()) return corrupt("string index out of range", pos - 6);
        if (bodySize > end - pos) return corrupt("template body outside the document", pos - 4);
        if (bodySize < 5 || m_bytes[pos + 4] != kElement) return corrupt("template body is not an element", pos);
        size_t bodyPos = pos;
        ZEL_TRY(checkRecord(bodyPos, pos + bodySize, depth + 1));
        if (bodyPos != pos + bodySize) return corrupt("template body size mismatch", pos - 4);
        if (u16(pos) != classTag) return corrupt("template class tag differs from its body", pos - 6);
        pos += bodySize;
        return nullptr;
    }
    if (kind != kElement) return corrupt("unknown record kind", pos - 1);
    if (end - pos < 2) return corrupt("attribute count cut short", pos);
    const uint16_t attrCount = u16(pos);
    pos += 2;
    if (size_t(attrCount) * 4 + 2 > end - pos) return corrupt("attributes cut short", pos);
    for (uint16_t i = 0; i < attrCount; ++i, pos += 4)
        if (u16(pos) >= m_strings.size() || u16(pos + 2) >= m_strings.size())
            return corrupt("string index out of range", pos);
    const uint16_t childCount = u16(pos);
    pos += 2;
    for (uint16_t i = 0; i < childCount; ++i) ZEL_TRY(checkRecord(pos, end, depth + 1));
    return nullptr;
}

CErrorPtr CTemplate::instantiate(CObject& parent, const CString& name, CObject*& out,
                                 const CAttrOverrides* overrides) const {
    out = nullptr;
    for (const CInstantiating* i = t_instantiating; i; i = i->outer)
        if (i->tmpl == this)
            return ZEL_ERROR("@zelstr_CTemplate_instantiate_Recursive Run-time template '%1' contains itself.", m_name);
    CObject* created = nullptr;
    const CInstantiating entry{this, t_instantiating};
    t_instantiating = &entry;
    CErrorPtr err = CXMLData::build(m_doc, m_body, parent, &name, &created, overrides);
    t_instantiating = entry.outer;
    if (err) return ZEL_PASS(err);
    out = created;
    return nullptr;
}

CErrorPtr CXMLData::build(const std::shared_ptr<const CDocument>& doc, size_t offset, CObject& parent,
                          const CString* name, CObject** created, const CAttrOverrides* overrides) {
    const CDocument& d = *doc;
    size_t pos = offset;
    const CString& tag = d.string(d.u16(pos));
    const CString& recordName = d.string(d.u16(pos + 2));
    const uint8_t kind = d.bytes()[pos + 4];
    pos += 5;
    if (kind == kTemplate) {
        parent.registerTemplate(std::make_shared<CTemplate>(doc, recordName, d.string(d.u16(pos)), pos + 6));
        return nullptr;
    }
    if (!name)
        if (const CTemplate* tmpl = parent.findTemplate(tag)) {
            const uint16_t attrCount = d.u16(pos);
            const CAttrOverrides own{&d, pos + 2, attrCount};
            CObject* self = nullptr;
            ZEL_TRY(tmpl->instantiate(parent, recordName, self, &own));
            if (created) *created = self;
            return buildChildren(doc, pos + 2 + size_t(attrCount) * 4, *self);
        }
    const bool isContent = tag == "content";
    const CString objName = name ? *name : (isContent ? CString("content") : recordName);
    std::unique_ptr<CObject> obj(CClassRegistry::instance().create(isContent ? CString("core:object") : tag));
    if (!obj) {
        if (isContent)
            obj = std::make_unique<CObject>();
        else
            return ZEL_ERROR(
                "@zelstr_CXMLData_build_UnknownClass Unknown class tag '%1' of element '%2' at byte %3 of '%4' "
                "(inside '%5').",
                tag, recordName, static_cast<unsigned long long>(offset), d.name(), parent.fullName());
    }
    if (CObject::creationTrace())
        debugLog("Creating CObject '%s' (tag '%s')", objName.utf8().c_str(), tag.utf8().c_str());
    obj->setName(objName);
    CObject* self = obj.get();
    // Attached before its attributes are set, so that expressions can
    // reach the parent and the rest of the tree.
    ZEL_TRY(parent.addChild(std::move(obj)));
    if (created) *created = self;
    const uint16_t attrCount = d.u16(pos);
    ZEL_TRY(setAttrs(*self, d, pos + 2, attrCount));
    pos += 2 + size_t(attrCount) * 4;
    if (overrides) ZEL_TRY(setAttrs(*self, *overrides->doc, overrides->pairs, overrides->count));
    return buildChildren(doc, pos, *self);
}

CErrorPtr CXMLData::buildChildren(const std::shared_ptr<const CDocument>& doc, size_t pos, CObject& parent) {
    const CDocument& d = *doc;
    const uint16_t childCount = d.u16(pos);
    pos += 2;
    for (uint16_t i = 0; i < childCount; ++i) {
        ZEL_TRY(build(doc, pos, parent, nullptr, nullptr));
        pos = skipRecord(d, pos);
    }
    return nullptr;
}

size_t CXMLData::skipRecord(const CDocument& d, size_t pos) {
    if (d.bytes()[pos + 4] == kTemplate) return pos + 11 + d.u32(pos + 7);
    const uint16_t attrCount = d.u16(pos + 5);
    pos += 7 + size_t(attrCount) * 4;
    const uint16_t childCount = d.u16(pos);
    pos += 2;
    for (uint16_t i = 0; i < childCount; ++i) pos = skipRecord(d, pos);
    return pos;
}

CErrorPtr CXMLData::loadFromMemory(const CString& docName, std::vector<uint8_t> payload, CObject& target) {
    std::shared_ptr<const CDocument> doc;
    ZEL_TRY(CDocument::decode(docName, std::move(payload), doc));
    // The root record: its children are the document's top-level elements.
    const CDocument& d = *doc;
    size_t pos = d.nodesStart() + 7;
    const uint16_t childCount = d.u16(pos);
    pos += 2;
    for (uint16_t i = 0; i < childCount; ++i) {
        ZEL_TRY(build(doc, pos, target, nullptr, nullptr));
        pos = skipRecord(d, pos);
    }
    return nullptr;
}

CErrorPtr CXMLData::load(const CString& docName, CObject& target) {
    const double started = secondsSinceStart();
    CResourceReader reader;
    std::vector<uint8_t> payload;
    CErrorPtr err = reader.open(docName);
    uint64_t size = 0, position = 0;
    if (!err) err = reader.getSize(size);
    if (!err) err = reader.getPosition(position);
    if (!err && (position > size || size - position > 0x7FFFFFFF))
        err = ZEL_ERROR("@zelstr_CXMLData_load_TooLarge Document '%1' is too large.", docName);
    if (!err) {
        payload.resize(size - position);
        err = reader.read(payload.data(), payload.size());
    }
    if (err)
        return ZEL_WRAP(err, "@zelstr_CXMLData_load_ReadError Unable to load document '%1' into '%2'.", docName,
                        target.fullName());
    ZEL_TRY(loadFromMemory(docName, std::move(payload), target));
    if (debugLogEnabled()) {
        const double now = secondsSinceStart();
        debugLog("loadXMLData \"%s\" init time: %f s @ %f s", docName.utf8().c_str(), now - started, now);
    }
    return nullptr;
}

}  // namespace zel
