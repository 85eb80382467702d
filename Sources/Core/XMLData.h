// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Error.h"
#include "Core/Object.h"

namespace zel {

// A compiled definition document: header, string table and node stream,
// checked completely when decoded so that building objects from it never
// reads outside the payload.
class CDocument {
public:
    static CErrorPtr decode(const CString& name, std::vector<uint8_t> payload, std::shared_ptr<const CDocument>& out);

    const CString& name() const { return m_name; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    const CString& string(uint16_t index) const { return m_strings[index]; }
    size_t stringCount() const { return m_strings.size(); }
    // Absolute offset of the root record.
    size_t nodesStart() const { return m_nodesStart; }
    uint16_t u16(size_t at) const { return uint16_t(m_bytes[at] | m_bytes[at + 1] << 8); }
    uint32_t u32(size_t at) const;

private:
    CErrorPtr checkRecord(size_t& pos, size_t end, int depth);
    CErrorPtr corrupt(const char* what, size_t at) const;

    CString m_name;
    std::vector<uint8_t> m_bytes;
    std::vector<CString> m_strings;
    size_t m_nodesStart = 0;
};

// Attribute pairs of a document element, set on an object after the ones
// of the template it is made from.
struct CAttrOverrides {
    const CDocument* doc = nullptr;
    size_t pairs = 0;  // offset of the first (name, value) pair
    uint16_t count = 0;
};

// A run-time template: a node record kept undecoded until instantiated.
class CTemplate {
public:
    CTemplate(std::shared_ptr<const CDocument> doc, CString name, CString classTag, size_t bodyOffset)
        : m_doc(std::move(doc)), m_name(std::move(name)), m_classTag(std::move(classTag)), m_body(bodyOffset) {}

    const CString& name() const { return m_name; }
    const CString& classTag() const { return m_classTag; }
    // Builds the body as a new child `name` of `parent`; `overrides`, when
    // given, are set after the body's attributes and before its children.
    // A template that (through its body) contains itself fails.
    CErrorPtr instantiate(CObject& parent, const CString& name, CObject*& out,
                          const CAttrOverrides* overrides = nullptr) const;

private:
    std::shared_ptr<const CDocument> m_doc;
    CString m_name;
    CString m_classTag;
    size_t m_body;
};

// Builds object trees from compiled documents.
class CXMLData {
public:
    // Opens the document through the resource reader and builds the root's
    // children as children of `target`.
    static CErrorPtr load(const CString& docName, CObject& target);
    static CErrorPtr loadFromMemory(const CString& docName, std::vector<uint8_t> payload, CObject& target);
    // Builds the record at `offset`; `name` replaces the record's own name
    // when given (template bodies, whose own tag always names a class). An
    // element whose tag names a run-time template found from `parent` is
    // made from it: its attributes override the template's, its children
    // follow the template's. Other tags go to the class registry.
    static CErrorPtr build(const std::shared_ptr<const CDocument>& doc, size_t offset, CObject& parent,
                           const CString* name, CObject** created, const CAttrOverrides* overrides = nullptr);

private:
    // The child records that start at `pos` (their count first), built under `parent`.
    static CErrorPtr buildChildren(const std::shared_ptr<const CDocument>& doc, size_t pos, CObject& parent);
    static size_t skipRecord(const CDocument& doc, size_t pos);
};

}  // namespace zel
