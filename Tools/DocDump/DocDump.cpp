// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-xmldump compiled.bin [out.xml]
//
// Turns a compiled definition document back into the XML text form that
// lagwell-xmlc reads (see Tools/DocCompiler/DocCompiler.cpp), so that
// compiling the output again gives the same bytes. The input is untrusted:
// every offset, index and size is checked, and anything malformed, or
// anything the text form cannot express, stops the dump with an error naming
// the byte offset. Writes to standard output without out.xml.

#include <iostream>
#include <string>
#include <unordered_set>
#include <vector>

#include "ToolSupport.h"

using namespace lagwell::tools;

namespace {

// Each record takes at least 7 bytes, so a hostile file could otherwise
// nest deep enough to exhaust the stack.
constexpr int kMaxDepth = 1000;

bool isNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

bool isNameChar(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

bool isXmlName(const std::string& s) {
    if (s.empty() || !isNameStart(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!isNameChar(static_cast<unsigned char>(c))) return false;
    return true;
}

// 8-bit text to UTF-8, escaped for a double-quoted attribute value. Control
// characters become character references so that line breaks and tabs
// survive the parser unchanged.
std::string escape(const std::string& s) {
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (c < 0x20) {
                    out += "&#" + std::to_string(c) + ";";
                } else if (c < 0x80) {
                    out.push_back(ch);
                } else {
                    out.push_back(static_cast<char>(0xC0 | c >> 6));
                    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
                }
        }
    }
    return out;
}

class CDocDumper {
public:
    explicit CDocDumper(std::vector<unsigned char> data) : m_data(std::move(data)) {}

    std::string dump() {
        readStrings();
        std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const size_t rootAt = m_pos;
        const std::string& tag = text(u16());
        const std::string& name = text(u16());
        const unsigned kind = u8();
        if (!tag.empty() || !name.empty() || kind != 0 || u16() != 0)
            fail(rootAt, "the root record must have an empty tag and name, kind 0 and no attributes");
        const uint32_t childCount = u16();
        if (childCount == 0) {
            out += "<document/>\n";
        } else {
            out += "<document>\n";
            for (uint32_t i = 0; i < childCount; ++i) dumpRecord(out, 1);
            out += "</document>\n";
        }
        if (m_pos != m_data.size())
            fail(m_pos, std::to_string(m_data.size() - m_pos) +
                            " bytes follow the root record; the node stream must end the payload");
        return out;
    }

private:
    [[noreturn]] void fail(size_t offset, const std::string& message) const {
        throw ToolError("offset " + std::to_string(offset) + ": " + message);
    }

    void need(size_t count) const {
        if (count > m_data.size() - m_pos) fail(m_pos, "record runs past the end of the payload");
    }
    unsigned u8() {
        need(1);
        return m_data[m_pos++];
    }
    uint32_t u16() {
        need(2);
        m_pos += 2;
        return getU16(&m_data[m_pos - 2]);
    }
    uint32_t u32() {
        need(4);
        m_pos += 4;
        return getU32(&m_data[m_pos - 4]);
    }

    const std::string& text(uint32_t index) const {
        if (index >= m_strings.size())
            fail(m_pos - 2, "string index " + std::to_string(index) + " out of range (" +
                                std::to_string(m_strings.size()) + " strings)");
        return m_strings[index];
    }

    void readStrings() {
        if (m_data.size() < 8) fail(0, "shorter than the 8-byte header");
        const uint64_t count = getU32(&m_data[0]);
        const uint64_t poolEnd = 8 + uint64_t{getU32(&m_data[4])};
        const uint64_t poolBegin = 8 + 4 * count;
        if (poolBegin > poolEnd || poolEnd > m_data.size())
            fail(0, "string table and pool (" + std::to_string(count) + " strings, node stream at " +
                        std::to_string(poolEnd) + ") do not fit into " + std::to_string(m_data.size()) + " bytes");
        m_strings.reserve(static_cast<size_t>(count));
        for (uint64_t i = 0; i < count; ++i) {
            const size_t entry = static_cast<size_t>(8 + 4 * i);
            const uint64_t begin = 8 + uint64_t{getU32(&m_data[entry])};
            if (begin < poolBegin || begin >= poolEnd)
                fail(entry, "string " + std::to_string(i) + " starts outside the pool");
            size_t end = static_cast<size_t>(begin);
            while (end < poolEnd && m_data[end] != 0) ++end;
            if (end == poolEnd) fail(entry, "string " + std::to_string(i) + " is not terminated inside the pool");
            m_strings.emplace_back(reinterpret_cast<const char*>(&m_data[begin]), end - static_cast<size_t>(begin));
        }
        m_pos = static_cast<size_t>(poolEnd);
    }

    // Checked, and already converted to UTF-8 for the output.
    std::string xmlName(uint32_t index, size_t at, const char* what) const {
        const std::string& s = text(index);
        if (!isXmlName(s)) fail(at, std::string(what) + " \"" + escape(s) + "\" is not an XML name");
        return escape(s);
    }

    void dumpRecord(std::string& out, int depth) {
        if (depth > kMaxDepth) fail(m_pos, "records nested deeper than " + std::to_string(kMaxDepth) + " levels");
        const size_t at = m_pos;
        const std::string indent(2 * static_cast<size_t>(depth), ' ');
        const std::string tag = xmlName(u16(), at, "tag");
        const std::string& name = text(u16());
        const unsigned kind = u8();
        if (kind == 1) {
            if (tag != "template") fail(at, "template record with the tag \"" + tag + "\"");
            if (name.empty()) fail(at, "template without a name");
            const uint32_t classTag = u16();
            const uint64_t bodySize = u32();
            const size_t bodyAt = m_pos;
            if (bodySize > m_data.size() - bodyAt)
                fail(at, "template body of " + std::to_string(bodySize) + " bytes runs past the end");
            out += indent + "<template name=\"" + escape(name) + "\">\n";
            if (bodySize < 4 || getU16(&m_data[bodyAt]) != classTag)
                fail(bodyAt, "template class tag differs from the tag of its body");
            dumpRecord(out, depth + 1);
            if (m_pos - bodyAt != bodySize)
                fail(at, "template body_size " + std::to_string(bodySize) + " but the body takes " +
                             std::to_string(m_pos - bodyAt) + " bytes");
            out += indent + "</template>\n";
            return;
        }
        if (kind != 0) fail(at + 4, "unknown record kind " + std::to_string(kind));
        if (tag == "template") fail(at, "element record with the tag \"template\"");

        out += indent + "<" + tag;
        if (!name.empty()) out += " name=\"" + escape(name) + "\"";
        const uint32_t attrCount = u16();
        std::unordered_set<std::string> seen;
        for (uint32_t i = 0; i < attrCount; ++i) {
            const size_t attrAt = m_pos;
            const std::string attr = xmlName(u16(), attrAt, "attribute name");
            if (attr == "name") fail(attrAt, "an attribute called \"name\" clashes with the record name");
            if (!seen.insert(attr).second) fail(attrAt, "duplicate attribute \"" + attr + "\"");
            out += " " + attr + "=\"" + escape(text(u16())) + "\"";
        }
        const uint32_t childCount = u16();
        if (childCount == 0) {
            out += "/>\n";
            return;
        }
        out += ">\n";
        for (uint32_t i = 0; i < childCount; ++i) dumpRecord(out, depth + 1);
        out += indent + "</" + tag + ">\n";
    }

    std::vector<unsigned char> m_data;
    std::vector<std::string> m_strings;
    size_t m_pos = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::cerr << "usage: lagwell-xmldump compiled.bin [out.xml]\n";
        return 2;
    }
    try {
        CDocDumper dumper(readFile(argv[1]));
        const std::string xml = dumper.dump();
        if (argc == 3)
            writeFile(argv[2], xml.data(), xml.size());
        else
            std::cout << xml;
    } catch (const ToolError& e) {
        std::cerr << "lagwell-xmldump: " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
