// SPDX-License-Identifier: GPL-3.0-or-later
// The build-time tools, run as the build runs them: as separate programs on
// files. The compiled form is checked by an independent decoder below.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Core/EmbeddedResources.h"
#include "Support/RunProgram.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

using zel::test::runProgram;
using zel::test::RunResult;

Bytes readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

void writeBytes(const fs::path& p, const Bytes& data) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A fresh directory per test.
fs::path scratch() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::path(LAGWELL_TEST_TMP) / info->test_suite_name() / info->name();
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

uint32_t u16(const Bytes& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }

uint32_t u32(const Bytes& b, size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

// Walks a compiled document and checks every property a reader may rely
// on, reporting failures through gtest.
class CFormChecker {
public:
    explicit CFormChecker(const Bytes& doc) : m_doc(doc) {}

    void check() {
        ASSERT_GE(m_doc.size(), 8u);
        const uint32_t count = u32(m_doc, 0);
        const size_t poolBegin = 8 + 4 * size_t{count};
        const size_t poolEnd = 8 + size_t{u32(m_doc, 4)};
        ASSERT_LE(poolBegin, poolEnd);
        ASSERT_LE(poolEnd, m_doc.size());
        std::vector<std::pair<size_t, uint32_t>> byOffset;
        for (uint32_t i = 0; i < count; ++i) {
            const size_t at = 8 + size_t{u32(m_doc, 8 + 4 * size_t{i})};
            ASSERT_GE(at, poolBegin);
            ASSERT_LT(at, poolEnd);
            byOffset.emplace_back(at, i);
            strings.emplace_back(reinterpret_cast<const char*>(&m_doc[at]));
        }
        std::sort(byOffset.begin(), byOffset.end());
        // The pool is exactly the strings laid end to end in ascending byte
        // order: no gaps, no padding, no string stored twice.
        size_t expected = poolBegin;
        for (size_t k = 0; k < byOffset.size(); ++k) {
            const std::string& s = strings[byOffset[k].second];
            EXPECT_EQ(byOffset[k].first, expected) << "string " << byOffset[k].second;
            expected = byOffset[k].first + s.size() + 1;
            if (k > 0) {
                EXPECT_LT(strings[byOffset[k - 1].second], s) << "pool not strictly ascending";
            }
        }
        EXPECT_EQ(expected, poolEnd);
        ASSERT_FALSE(strings.empty());
        EXPECT_EQ(strings[0], "");
        EXPECT_EQ(byOffset[0].first, poolBegin) << "the empty string must come first";

        m_pos = poolEnd;
        record();
        EXPECT_EQ(m_pos, m_doc.size()) << "the node stream must end the payload";
        EXPECT_EQ(m_nextNew, count) << "strings that no record uses";
    }

    size_t records = 0;
    std::vector<std::string> strings;
    std::vector<size_t> templateOffsets;

private:
    // Indices must appear in order of first use.
    uint32_t index() {
        const uint32_t i = u16(m_doc, m_pos);
        m_pos += 2;
        EXPECT_LE(i, m_nextNew) << "index " << i << " used before " << m_nextNew;
        if (i == m_nextNew) ++m_nextNew;
        return i;
    }

    void record() {
        ++records;
        const uint32_t tag = index();
        index();
        const unsigned kind = m_doc.at(m_pos++);
        if (kind == 1) {
            templateOffsets.push_back(m_pos - 5);
            EXPECT_EQ(strings.at(tag), "template");
            const uint32_t classTag = index();
            const uint32_t bodySize = u32(m_doc, m_pos);
            m_pos += 4;
            const size_t bodyAt = m_pos;
            EXPECT_EQ(u16(m_doc, bodyAt), classTag);
            record();
            EXPECT_EQ(m_pos - bodyAt, bodySize);
            return;
        }
        ASSERT_EQ(kind, 0u);
        const uint32_t attrs = u16(m_doc, m_pos);
        m_pos += 2;
        for (uint32_t i = 0; i < 2 * attrs; ++i) index();
        const uint32_t children = u16(m_doc, m_pos);
        m_pos += 2;
        for (uint32_t i = 0; i < children; ++i) record();
    }

    const Bytes& m_doc;
    size_t m_pos = 0;
    uint32_t m_nextNew = 0;
};

// Everything the text form offers: templates at the top and inside
// elements, nested templates, texts as element content, comments, CDATA,
// Latin-1, escapes, line breaks and empty values.
const char* const kRichDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- a comment before the root -->
<document>
  <core:object name="whatsnew" version="1.6" date="">
    <core:object name="p"><content>Grüße, café; «ok» ÿ</content></core:object>
    <core:object name="p"><content>two <!-- split --> pieces</content></core:object>
    <content value=""/>
  </core:object>
  <template name="ui:button">
    <ui:button-base text="" label="A &amp; B &lt;1&gt; &quot;x&quot;" multi="line1
line2&#9;tab">
      <core:object name="inner">
        <template name="ui:presets"><ui:preset-manager><template name="deep"><core:object/></template></ui:preset-manager></template>
      </core:object>
    </ui:button-base>
  </template>
  <audio:param-remap name="remap"><content><![CDATA[modDelay.time = audio-delay; <raw> & more]]></content></audio:param-remap>
  <empty/>
</document>
)";

class ToolsTest : public testing::Test {
protected:
    void SetUp() override { m_dir = scratch(); }

    // Compiles text and returns the payload; fails the test on an error.
    Bytes compile(const std::string& text, const std::string& stem = "doc") {
        const fs::path xml = m_dir / (stem + ".xml");
        const fs::path bin = m_dir / (stem + ".bin");
        writeBytes(xml, text);
        const RunResult r = runProgram(LAGWELL_XMLC, {xml, bin});
        EXPECT_EQ(r.status, 0) << r.output;
        return readBytes(bin);
    }

    // Dumps a payload and compiles the dump again.
    Bytes recompile(const Bytes& payload) {
        const fs::path bin = m_dir / "round.bin";
        const fs::path xml = m_dir / "round.xml";
        const fs::path again = m_dir / "round-again.bin";
        writeBytes(bin, payload);
        RunResult r = runProgram(LAGWELL_XMLDUMP, {bin, xml});
        EXPECT_EQ(r.status, 0) << r.output;
        r = runProgram(LAGWELL_XMLC, {xml, again});
        EXPECT_EQ(r.status, 0) << r.output;
        return readBytes(again);
    }

    RunResult dump(const Bytes& payload) {
        const fs::path bin = m_dir / "input.bin";
        writeBytes(bin, payload);
        return runProgram(LAGWELL_XMLDUMP, {bin});
    }

    fs::path m_dir;
};

TEST_F(ToolsTest, CompilesSmallDocumentToExactBytes) {
    const Bytes doc = compile(
        "<document><a name=\"n\" k=\"\xC3\xA9\"/>"
        "<template name=\"t\"><a k=\"\"/></template></document>");
    // Indices by first use: "" a n k é template t; the pool in byte order:
    // "" a k n t template é.
    const Bytes expected = {
        7,   0,   0, 0,    48, 0,   0, 0,  // 7 strings, nodes at 8 + 48
        28,  0,   0, 0,    29, 0,   0, 0,   33, 0,   0,   0,   31,  0,   0,
        0,   46,  0, 0,    0,  37,  0, 0,   0,  35,  0,   0,   0,  // string offsets by index
        0,   'a', 0, 'k',  0,  'n', 0, 't', 0,  't', 'e', 'm', 'p', 'l', 'a',
        't', 'e', 0, 0xE9, 0,  0,   0, 0,   0,  0,   0,   0,   2,   0,  // root: two children
        1,   0,   2, 0,    0,  1,   0, 3,   0,  4,   0,   0,   0,       // <a name="n" k="é"/>
        5,   0,   6, 0,    1,  1,   0, 13,  0,  0,   0,                 // template "t", class a, 13 bytes
        1,   0,   0, 0,    0,  1,   0, 3,   0,  0,   0,   0,   0,       // body <a k=""/>
    };
    EXPECT_EQ(doc, expected);
}

TEST_F(ToolsTest, RichDocumentHasCompiledFormPropertiesAndRoundTrips) {
    const Bytes doc = compile(kRichDocument);
    CFormChecker checker(doc);
    checker.check();
    EXPECT_EQ(checker.strings.at(1), "core:object");
    EXPECT_EQ(checker.records, 17u);
    for (const char* s :
         {"Gr\xFC\xDF"
          "e, caf\xE9; \xABok\xBB \xFF",
          "two  pieces", "A & B <1> \"x\"", "line1\nline2\ttab", "modDelay.time = audio-delay; <raw> & more"})
        EXPECT_NE(std::find(checker.strings.begin(), checker.strings.end(), s), checker.strings.end()) << s;
    EXPECT_EQ(recompile(doc), doc);
}

TEST_F(ToolsTest, SharedDataFromTheBuildHasCompiledFormPropertiesAndRoundTrips) {
    const Bytes doc = readBytes(fs::path(LAGWELL_RESOURCE_DIR) / "SharedData.xml");
    ASSERT_FALSE(doc.empty());
    CFormChecker(doc).check();
    EXPECT_EQ(recompile(doc), doc);
}

TEST_F(ToolsTest, CompilerRejectsWhatTheFormCannotHoldWithFileAndLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"<document>\n  <a x=\"ok\"\n     y=\"\xC4\x80\"/>\n</document>\n", "bad.xml:3: character U+0100"},
        {"<document>\n<content>one\ntwo \xE2\x82\xAC</content>\n</document>\n", "bad.xml:3: character U+20AC"},
        {"<document>\n  <template name=\"t\">\n    <a/>\n    <b/>\n  </template>\n</document>\n",
         "bad.xml:4: <template> must hold exactly one element"},
        {"<document>\n  <template name=\"t\"/>\n</document>\n", "bad.xml:2: <template> must hold"},
        {"<document>\n  <a>stray</a>\n</document>\n", "bad.xml:2: unexpected text"},
        {"<document>\n  <content value=\"v\">text</content>\n</document>\n", "bad.xml:2: <content> text"},
        {"<root/>\n", "bad.xml:1: the root element must be a single <document>"},
    };
    for (const auto& c : cases) {
        const fs::path xml = m_dir / "bad.xml";
        const fs::path bin = m_dir / "bad.bin";
        fs::remove(bin);
        writeBytes(xml, c.text);
        const RunResult r = runProgram(LAGWELL_XMLC, {xml, bin});
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(bin)) << c.text;
    }
}

TEST_F(ToolsTest, DumperRejectsMalformedDocuments) {
    const Bytes doc = compile(kRichDocument);
    ASSERT_EQ(dump(doc).status, 0);

    for (size_t size = 0; size < doc.size(); ++size) {
        const RunResult r = dump(Bytes(doc.begin(), doc.begin() + static_cast<ptrdiff_t>(size)));
        EXPECT_EQ(r.status, 1) << "truncated to " << size << ": " << r.output;
    }

    Bytes trailing = doc;
    trailing.push_back(0);
    EXPECT_NE(dump(trailing).output.find("must end the payload"), std::string::npos);

    CFormChecker checker(doc);
    checker.check();
    ASSERT_FALSE(checker.templateOffsets.empty());
    const size_t at = checker.templateOffsets[0];
    Bytes longer = doc;
    ++longer[at + 7];
    EXPECT_NE(dump(longer).output.find("body_size"), std::string::npos);
    Bytes wrongClass = doc;
    wrongClass[at + 5] ^= 1;
    EXPECT_NE(dump(wrongClass).output.find("class tag"), std::string::npos);

    // The high byte of the first element's tag, just after the 9-byte root.
    Bytes badIndex = doc;
    badIndex[8 + u32(doc, 4) + 9 + 1] = 0xFF;
    EXPECT_NE(dump(badIndex).output.find("out of range"), std::string::npos);
}

TEST_F(ToolsTest, EmbedderWritesTableAndLeavesUnchangedOutputsAlone) {
    writeBytes(m_dir / "one.bin", std::string("abc"));
    writeBytes(m_dir / "two.bin", std::string(""));
    const fs::path out = m_dir / "gen";
    const std::vector<std::string> args = {out, "Dir/one \"q\".bin=" + (m_dir / "one.bin").string(),
                                           "two=" + (m_dir / "two.bin").string()};
    ASSERT_EQ(runProgram(LAGWELL_EMBED, args).status, 0);
    const Bytes table = readBytes(out / "EmbeddedResources.cpp");
    const std::string text(table.begin(), table.end());
    EXPECT_NE(text.find("\"Dir/one \\\"q\\\".bin\"},\n    {lagwell_resource_1, \"two\"},\n"
                        "    {nullptr, \"\"},\n};"),
              std::string::npos)
        << text;
    const Bytes assembly = readBytes(out / "EmbeddedResources.S");
    EXPECT_NE(std::string(assembly.begin(), assembly.end()).find(".incbin \"" + (m_dir / "one.bin").string() + "\""),
              std::string::npos);

    const auto stamp = fs::last_write_time(out / "EmbeddedResources.cpp");
    fs::last_write_time(out / "EmbeddedResources.cpp", stamp - std::chrono::hours(1));
    fs::last_write_time(out / "EmbeddedResources.S", stamp - std::chrono::hours(1));
    ASSERT_EQ(runProgram(LAGWELL_EMBED, args).status, 0);
    EXPECT_EQ(fs::last_write_time(out / "EmbeddedResources.cpp"), stamp - std::chrono::hours(1));
    EXPECT_EQ(fs::last_write_time(out / "EmbeddedResources.S"), stamp - std::chrono::hours(1));

    EXPECT_EQ(runProgram(LAGWELL_EMBED, {out, "nofile"}).status, 1);
    EXPECT_EQ(runProgram(LAGWELL_EMBED, {out, "x=" + (m_dir / "missing").string()}).status, 1);
}

// The table linked into this program is the one the plug-in gets.
TEST(EmbeddedResources, TableHoldsTheBuiltFilesBehindTheirSizes) {
    size_t count = 0;
    while (zel::kEmbeddedResources[count].data) ++count;
    EXPECT_STREQ(zel::kEmbeddedResources[count].name, "");
    for (const char* name : {"SharedData.xml", "AppDataLocal_uicolor-name"}) {
        const zel::CEmbeddedResource* r = zel::kEmbeddedResources;
        while (r->data && std::strcmp(r->name, name) != 0) ++r;
        ASSERT_NE(r->data, nullptr) << name;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(r->data) % 16, 0u) << name;
        const Bytes file = readBytes(fs::path(LAGWELL_RESOURCE_DIR) / name);
        ASSERT_FALSE(file.empty()) << name;
        const Bytes embedded(r->data, r->data + 4 + file.size());
        EXPECT_EQ(u32(embedded, 0), file.size()) << name;
        EXPECT_TRUE(std::equal(file.begin(), file.end(), embedded.begin() + 4)) << name;
    }
}

TEST(EmbeddedResources, ColourSchemeNameBlockDecodes) {
    const Bytes block = readBytes(fs::path(LAGWELL_RESOURCE_DIR) / "AppDataLocal_uicolor-name");
    ASSERT_GT(block.size(), 14u);
    const Bytes head(block.begin(), block.begin() + 14);
    EXPECT_EQ(head, (Bytes{'d', 's', 't', 'r', 8, 0, 0, 0, 0x09, 0x00, 0x24, 0x00, 0x78, 0x9C}));
    Bytes payload(8);
    uLongf size = payload.size();
    ASSERT_EQ(uncompress(payload.data(), &size, block.data() + 12, block.size() - 12), Z_OK);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(payload, (Bytes{4, 0, 0, 0, 'G', 'r', 'a', 'y'}));
}

TEST_F(ToolsTest, BlockMakerPacksFilesAndEmptyPayloads) {
    Bytes data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 % 251);
    writeBytes(m_dir / "payload", data);
    writeBytes(m_dir / "empty", std::string());
    for (const Bytes& expected : {data, Bytes{}}) {
        const fs::path in = m_dir / (expected.empty() ? "empty" : "payload");
        const fs::path out = m_dir / "block";
        ASSERT_EQ(runProgram(LAGWELL_MKBLOCK, {"--tag", "adat", "--file", in, out}).status, 0);
        const Bytes block = readBytes(out);
        ASSERT_GE(block.size(), 14u);
        EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{'a', 'd', 'a', 't'}));
        EXPECT_EQ(u32(block, 4), expected.size());
        EXPECT_EQ(u32(block, 8), adler32(adler32(0, nullptr, 0), &block[4], 4));
        Bytes unpacked(expected.size() + 1);
        uLongf size = unpacked.size();
        ASSERT_EQ(uncompress(unpacked.data(), &size, block.data() + 12, block.size() - 12), Z_OK);
        unpacked.resize(size);
        EXPECT_EQ(unpacked, expected);
    }
    EXPECT_EQ(runProgram(LAGWELL_MKBLOCK, {"--tag", "toolong", "--string", "x", m_dir / "b"}).status, 1);
}

TEST_F(ToolsTest, PresetMakerRejectsBadSourcesWithFileAndLine) {
    const std::string head = "bank \"B\"\nregistry plugin.param-registry\ncommon\n";
    const struct {
        std::string source;
        const char* message;
    } cases[] = {
        {head + "  modOutGain.gian = 1\npreset \"P\"\n", "src.txt:4: \"modOutGain.gian\": no stored parameter"},
        {head + "  modOutGain.mute = 0\npreset \"P\"\n", "src.txt:4: \"modOutGain.mute\": no stored parameter"},
        {head + "  extra modOutGain.gain = 1\npreset \"P\"\n", "src.txt:4: \"modOutGain.gain\": a stored parameter"},
        {head + "  modOutGain.gain = \"1\"\npreset \"P\"\n", "src.txt:4: \"modOutGain.gain\": expected numbers"},
        {head + "  io-params.grouping = 0, 8\npreset \"P\"\n", "src.txt:4: \"io-params.grouping\": 8 is outside"},
        {head + "  io-params.grouping = 0 | 1\npreset \"P\"\n", "src.txt:4: \"io-params.grouping\": the parameter has"},
        {head + "  modOutGain.gain = 1,, 2\n", "src.txt:4: an element is missing before \",\""},
        {head + "  modOutGain.gain = 1,\n\n", "src.txt:4: the value ends with \",\""},
        {head + "  io-params.in-channel-names = \"L\n", "src.txt:4: text without its closing quote"},
        {head + "  modOutGain.gain = 1\n  modOutGain.gain = 2\n",
         "src.txt:5: \"modOutGain.gain\" is given twice (first on line 4)"},
        {head + "preset \"P\"\n  omit modOutGain.gain\n", "src.txt:5: \"modOutGain.gain\" is not a common item"},
        {"registry plugin.param-registry\npreset \"P\"\n", "src.txt:1: the source starts with"},
        {"bank \"B\"\nregistry plugin.nothing\npreset \"P\"\n", "src.txt: no registry \"plugin.nothing\""},
    };
    for (const auto& c : cases) {
        fs::remove(m_dir / "out.bin");
        writeBytes(m_dir / "src.txt", c.source);
        // The tool builds a plug-in instance, which may touch application data.
        const RunResult r = runProgram("env", {"LAGWELL_DATA_HOME=" + (m_dir / "home").string(), LAGWELL_MKPRESETS,
                                               m_dir / "src.txt", m_dir / "out.bin"});
        EXPECT_EQ(r.status, 1) << c.source;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.source << r.output;
        EXPECT_FALSE(fs::exists(m_dir / "out.bin")) << c.source;
    }
    EXPECT_EQ(runProgram(LAGWELL_MKPRESETS, {"only-one-argument"}).status, 2);
}

TEST_F(ToolsTest, PaletteRecordsRejectRolesTheEditorsPaletteDoesNotStore) {
    const struct {
        const char* scheme;
        const char* message;
    } cases[] = {
        {"Panel d9d9d9\nPanl 112233\n", "scheme.txt:2: the editor's palette stores no role \"Panl\""},
        {"Text 112233\n", "scheme.txt:1: the editor's palette stores no role \"Text\""},
        {"Panel_Hover 112233\n", "scheme.txt:1: the editor's palette stores no role \"Panel_Hover\""},
        {"Panel d9d9d9\nRealisticPanel 112233\n", "scheme.txt:2: \"RealisticPanel\" takes its tone from"},
    };
    const std::string home = "LAGWELL_DATA_HOME=" + (m_dir / "home").string();
    writeBytes(m_dir / "colours.txt",
               "list\nregistry plugin.param-registry-uicolor\npreset \"P\"\n  palette = \"scheme.txt\"\n");
    for (const auto& c : cases) {
        writeBytes(m_dir / "scheme.txt", c.scheme);
        // Alone, and as the palette of a colour preset.
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{home, LAGWELL_MKPRESETS, "--palette", m_dir / "scheme.txt", m_dir / "out.bin"},
              std::vector<std::string>{home, LAGWELL_MKPRESETS, m_dir / "colours.txt", m_dir / "out.bin"}}) {
            fs::remove(m_dir / "out.bin");
            const RunResult r = runProgram("env", args);
            EXPECT_EQ(r.status, 1) << c.scheme;
            EXPECT_NE(r.output.find(c.message), std::string::npos) << c.scheme << r.output;
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
            EXPECT_FALSE(fs::exists(m_dir / "out.bin")) << c.scheme;
        }
    }
}

}  // namespace
