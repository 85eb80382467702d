// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-xmlc input.xml output.bin
//
// Compiles a definition document from its XML text form into the binary form
// that the plug-in embeds and loads at run time.
//
// Text form:
//   - The root element is <document>, without attributes; its element
//     children are the top-level elements of the document.
//   - An element's XML tag is its class tag ("core:object", "audio:param").
//     Its XML attribute "name" is the object's name; every other attribute is
//     stored as an attribute pair, in document order, value exactly as written
//     (line breaks included). Text is UTF-8 in the XML and 8-bit Latin-1 in
//     the compiled form; a character above U+00FF is an error.
//   - <template name="ui:button"> <ui:button-base .../> </template> is a
//     run-time template: exactly one element child, its body, whose tag is
//     the template's class tag. A template has no other attributes.
//   - <content value="..."/> is an ordinary element with the tag "content";
//     <content>free text</content> is the same with the text (verbatim) as
//     its "value" attribute, for long texts.
//   - Comments, processing instructions and whitespace-only text are
//     ignored; any other text is an error.
//
// Compiled form (little-endian):
//   u32 string_count, u32 nodes_offset, u32 string_offset[string_count],
//   the string pool, the node stream. Offsets count from byte 8. The pool
//   holds every distinct string once, NUL-terminated, sorted by byte value
//   (so the empty string comes first), without padding. String indices
//   (u16) are given in order of first use in a pre-order walk of the node
//   stream. The node stream is one root record with an empty tag and name
//   whose children are the top-level elements. A record is
//     u16 tag, u16 name, u8 kind, then
//     kind 0: u16 attribute_count, (u16 name, u16 value)..., u16 child_count,
//             child records;
//     kind 1: u16 class_tag, u32 body_size, one body record of body_size
//             bytes.
//   The output is the bare payload; the resource embedder adds the size.

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ToolSupport.h"

using namespace lagwell::tools;

namespace {

constexpr size_t kMaxStrings = 65536;
constexpr size_t kMaxCount = 65535;

class CDocCompiler {
public:
    CDocCompiler(std::string file, std::vector<unsigned char> text) : m_file(std::move(file)), m_text(std::move(text)) {
        m_text.push_back(0);
        for (size_t i = 0; i < m_text.size(); ++i)
            if (m_text[i] == '\n') m_lineEnds.push_back(i);
    }

    std::vector<unsigned char> compile() {
        char* buffer = reinterpret_cast<char*>(m_text.data());
        m_bufferBegin = buffer;
        m_bufferEnd = buffer + m_text.size();
        // Parsing in place keeps every name and value pointing into the
        // buffer, which gives precise line numbers in error messages. No
        // attribute whitespace conversion: values stay exactly as written.
        const unsigned flags = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol;
        const pugi::xml_parse_result result =
            m_doc.load_buffer_inplace(buffer, m_text.size() - 1, flags, pugi::encoding_utf8);
        if (!result) fail(lineAtOffset(static_cast<size_t>(result.offset)), result.description());

        const pugi::xml_node root = documentElement();

        // The root record: empty tag and name, kind 0, no attributes, the
        // top-level elements as children.
        std::vector<unsigned char> nodes;
        intern("", root);
        intern("", root);
        putU16(nodes, 0);
        putU16(nodes, 0);
        nodes.push_back(0);
        putU16(nodes, 0);
        writeChildren(root, nodes);

        return assemble(nodes);
    }

private:
    [[noreturn]] void fail(size_t line, const std::string& message) const {
        throw ToolError(m_file + ":" + std::to_string(line) + ": " + message);
    }

    size_t lineAtOffset(size_t offset) const {
        return static_cast<size_t>(std::lower_bound(m_lineEnds.begin(), m_lineEnds.end(), offset) -
                                   m_lineEnds.begin()) +
               1;
    }

    size_t lineOf(pugi::xml_node node) const {
        const ptrdiff_t offset = node.offset_debug();
        return offset < 0 ? 0 : lineAtOffset(static_cast<size_t>(offset));
    }

    // The line on which a parsed string starts, or the owner's line for
    // strings that do not live in the buffer (empty values).
    size_t lineOf(const char* text, pugi::xml_node owner) const {
        if (text >= m_bufferBegin && text < m_bufferEnd) return lineAtOffset(static_cast<size_t>(text - m_bufferBegin));
        return lineOf(owner);
    }

    pugi::xml_node documentElement() const {
        pugi::xml_node root;
        for (pugi::xml_node node : m_doc.children()) {
            if (node.type() == pugi::node_element) {
                if (root || std::strcmp(node.name(), "document") != 0)
                    fail(lineOf(node), "the root element must be a single <document>");
                root = node;
            } else {
                checkIgnorable(node);
            }
        }
        if (!root) fail(1, "no <document> root element");
        if (root.first_attribute()) fail(lineOf(root), "<document> takes no attributes");
        return root;
    }

    void checkIgnorable(pugi::xml_node node) const {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            const char* text = node.value();
            if (text[std::strspn(text, " \t\r\n")] != 0)
                fail(lineOf(text, node), "unexpected text (only <content> takes text)");
        }
    }

    // UTF-8 from the parser to the 8-bit text of the compiled form.
    std::string toLatin1(const char* utf8, pugi::xml_node owner) const {
        std::string out;
        const auto* p = reinterpret_cast<const unsigned char*>(utf8);
        size_t linesBefore = 0;
        while (*p) {
            uint32_t c = *p;
            int more = 0;
            if (c >= 0x80) {
                if (c >= 0xC0 && c < 0xE0) {
                    c &= 0x1F;
                    more = 1;
                } else if (c >= 0xE0 && c < 0xF0) {
                    c &= 0x0F;
                    more = 2;
                } else if (c >= 0xF0 && c < 0xF8) {
                    c &= 0x07;
                    more = 3;
                } else {
                    fail(lineOf(utf8, owner) + linesBefore, "invalid UTF-8");
                }
            }
            ++p;
            for (; more > 0; --more, ++p) {
                if ((*p & 0xC0) != 0x80) fail(lineOf(utf8, owner) + linesBefore, "invalid UTF-8");
                c = c << 6 | (*p & 0x3F);
            }
            if (c > 0xFF) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(c));
                fail(lineOf(utf8, owner) + linesBefore,
                     std::string("character ") + hex + " cannot be stored: texts are limited to U+0000..U+00FF");
            }
            if (c == '\n') ++linesBefore;
            out.push_back(static_cast<char>(c));
        }
        return out;
    }

    uint16_t intern(const char* utf8, pugi::xml_node owner) {
        std::string text = toLatin1(utf8, owner);
        const auto found = m_index.find(text);
        if (found != m_index.end()) return found->second;
        if (m_strings.size() == kMaxStrings)
            fail(lineOf(utf8, owner), "more than 65536 distinct strings in the document");
        const auto index = static_cast<uint16_t>(m_strings.size());
        m_index.emplace(text, index);
        m_strings.push_back(std::move(text));
        return index;
    }

    void checkCount(size_t count, const char* what, size_t line) const {
        if (count > kMaxCount) fail(line, std::string("more than 65535 ") + what + " in one element");
    }

    void writeChildren(pugi::xml_node parent, std::vector<unsigned char>& out) {
        std::vector<pugi::xml_node> children;
        for (pugi::xml_node node : parent.children()) {
            if (node.type() == pugi::node_element)
                children.push_back(node);
            else
                checkIgnorable(node);
        }
        checkCount(children.size(), "children", lineOf(parent));
        putU16(out, static_cast<uint32_t>(children.size()));
        for (pugi::xml_node child : children) writeNode(child, out);
    }

    void writeNode(pugi::xml_node node, std::vector<unsigned char>& out) {
        if (std::strcmp(node.name(), "template") == 0)
            writeTemplate(node, out);
        else
            writeElement(node, out);
    }

    void writeTemplate(pugi::xml_node node, std::vector<unsigned char>& out) {
        const pugi::xml_attribute name = node.attribute("name");
        if (!name || !*name.value()) fail(lineOf(node), "<template> needs a name");
        for (pugi::xml_attribute attr : node.attributes())
            if (attr != name)
                fail(lineOf(attr.name(), node), std::string("<template> takes no attribute '") + attr.name() + "'");
        pugi::xml_node body;
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element) {
                checkIgnorable(child);
            } else if (body) {
                fail(lineOf(child), "<template> must hold exactly one element, its body");
            } else {
                body = child;
            }
        }
        if (!body) fail(lineOf(node), "<template> must hold exactly one element, its body");

        putU16(out, intern(node.name(), node));
        putU16(out, intern(name.value(), node));
        out.push_back(1);
        putU16(out, intern(body.name(), body));
        const size_t sizeAt = out.size();
        putU32(out, 0);
        writeNode(body, out);
        const size_t bodySize = out.size() - sizeAt - 4;
        if (bodySize > UINT32_MAX) fail(lineOf(node), "template body larger than 4 GiB");
        patchU32(out, sizeAt, static_cast<uint32_t>(bodySize));
    }

    void writeElement(pugi::xml_node node, std::vector<unsigned char>& out) {
        const bool isContent = std::strcmp(node.name(), "content") == 0;
        pugi::xml_attribute name;
        std::vector<pugi::xml_attribute> attrs;
        std::unordered_set<std::string> seen;
        for (pugi::xml_attribute attr : node.attributes()) {
            if (!seen.insert(attr.name()).second)
                fail(lineOf(attr.name(), node), std::string("duplicate attribute '") + attr.name() + "'");
            if (std::strcmp(attr.name(), "name") == 0)
                name = attr;
            else
                attrs.push_back(attr);
        }

        std::vector<pugi::xml_node> children;
        pugi::xml_node firstText;
        std::string text;
        for (pugi::xml_node child : node.children()) {
            if (child.type() == pugi::node_element) {
                children.push_back(child);
            } else if (isContent && (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)) {
                if (!firstText) firstText = child;
                text += child.value();
            } else {
                checkIgnorable(child);
            }
        }
        const bool hasText = firstText && text.find_first_not_of(" \t\r\n") != std::string::npos;
        if (hasText && (seen.count("value") || !children.empty()))
            fail(lineOf(firstText), "<content> text cannot be combined with a value attribute or child elements");

        checkCount(attrs.size() + (hasText ? 1 : 0), "attributes", lineOf(node));
        checkCount(children.size(), "children", lineOf(node));

        putU16(out, intern(node.name(), node));
        putU16(out, name ? intern(name.value(), node) : 0);
        out.push_back(0);
        putU16(out, static_cast<uint32_t>(attrs.size() + (hasText ? 1 : 0)));
        for (pugi::xml_attribute attr : attrs) {
            putU16(out, intern(attr.name(), node));
            putU16(out, intern(attr.value(), node));
        }
        if (hasText) {
            // A text interrupted by comments comes in pieces, which are
            // joined; errors in it are then reported at its first line.
            const bool onePiece = text == firstText.value();
            putU16(out, intern("value", node));
            putU16(out, intern(onePiece ? firstText.value() : text.c_str(), firstText));
        }
        putU16(out, static_cast<uint32_t>(children.size()));
        for (pugi::xml_node child : children) writeNode(child, out);
    }

    std::vector<unsigned char> assemble(const std::vector<unsigned char>& nodes) const {
        std::vector<uint16_t> sorted(m_strings.size());
        for (size_t i = 0; i < sorted.size(); ++i) sorted[i] = static_cast<uint16_t>(i);
        // std::string compares bytes as unsigned char, which is the order the
        // pool is kept in.
        std::sort(sorted.begin(), sorted.end(), [&](uint16_t a, uint16_t b) { return m_strings[a] < m_strings[b]; });

        const size_t tableSize = 4 * m_strings.size();
        std::vector<uint32_t> offsets(m_strings.size());
        std::string pool;
        for (uint16_t index : sorted) {
            offsets[index] = static_cast<uint32_t>(tableSize + pool.size());
            pool += m_strings[index];
            pool.push_back('\0');
        }

        std::vector<unsigned char> out;
        out.reserve(8 + tableSize + pool.size() + nodes.size());
        putU32(out, static_cast<uint32_t>(m_strings.size()));
        putU32(out, static_cast<uint32_t>(tableSize + pool.size()));
        for (uint32_t offset : offsets) putU32(out, offset);
        out.insert(out.end(), pool.begin(), pool.end());
        out.insert(out.end(), nodes.begin(), nodes.end());
        return out;
    }

    std::string m_file;
    std::vector<unsigned char> m_text;
    std::vector<size_t> m_lineEnds;
    const char* m_bufferBegin = nullptr;
    const char* m_bufferEnd = nullptr;
    pugi::xml_document m_doc;
    std::vector<std::string> m_strings;
    std::unordered_map<std::string, uint16_t> m_index;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lagwell-xmlc input.xml output.bin\n";
        return 2;
    }
    try {
        CDocCompiler compiler(argv[1], readFile(argv[1]));
        const std::vector<unsigned char> payload = compiler.compile();
        writeFile(argv[2], payload.data(), payload.size());
    } catch (const ToolError& e) {
        std::cerr << "lagwell-xmlc: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
