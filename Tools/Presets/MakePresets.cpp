// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-mkpresets source.txt out
// lagwell-mkpresets --palette scheme.txt out
//
// Makes an embedded preset bank or preset list from its text form. The
// records are written by the plug-in's own code: the shared document is read
// from the embedded resources, one plug-in instance is built, and every item
// becomes the parameter record that the named registry writes, in the storage
// format of the parameter its key names. `out` is the compressed block the
// plug-in reads: "abnk" around a bank record, or "alst" around a preset list
// record.
//
// The text form, one statement a line, "#" starting a comment:
//
//   bank "Factory ROM"             or `list`: a preset list, its bank unnamed
//   registry plugin.param-registry the registry object in the instance tree
//   common                         the items every preset starts with
//     io-params.grouping = 0, 0, 1, 1, 2, 2, 3, 3
//     io-params.in-channel-names = "L", "R"
//     extra modOutGain.time = 0.015
//   preset "Stereo Delay"          a preset: the common items, then its own
//     modOutGain.gain = 1.0 | 0.6822985829535497
//     omit io-params.ms-pairs      drops a common item
//
// A value lists its groups separated by "|", and in each group its elements
// separated by ","; a group may be empty, and a value goes on after a line
// that ends with ",". String parameters take quoted texts ("\"" and "\\"
// escaped), the others numbers within their bounds. Keys are relative to the
// registry's hierarchy and may come in any order. An item marked `extra`
// names no parameter that the registry stores: the record keeps it and the
// plug-in skips it; when its key names no parameter at all, its values are
// numbers of one component. Every other key must name a stored parameter,
// so a misspelt key is an error. Presets are named by the registry id, ":",
// and the name given.
//
// A raw parameter (the colour palette) takes quoted names of colour scheme
// texts, relative to the source's folder. A scheme text names one role and
// its tone a line:
//
//   Panel      d9d9d9               role, then six hexadecimal digits
//
// Each becomes the palette record of every role that the editor's palette
// (in the embedded UserInterface.xml) stores, in its order: the document's
// values with the scheme's tones. A role the palette does not store, or a
// variant whose tone follows its parent, is an error. With --palette, `out`
// is the palette record of one scheme text, as it is.

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/Preset.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"
#include "EditorPalette.h"
#include "ToolSupport.h"

using namespace lagwell::tools;
using namespace zel;

namespace {

struct Element {
    bool isText = false;
    std::string text;  // a text, or a number as written
};

struct Item {
    int line = 0;
    bool extra = false;
    std::vector<std::vector<Element>> groups;
};

using Items = std::map<std::string, Item>;

struct Preset {
    std::string name;
    Items items;
    std::set<std::string> omitted;
};

struct Source {
    std::string file;
    bool isList = false;
    bool hasKind = false;
    std::string bankName;
    std::string registry;
    Items common;
    std::vector<Preset> presets;
};

ToolError errorAt(const std::string& file, int line, const std::string& message) {
    return ToolError(file + ":" + std::to_string(line) + ": " + message);
}

// The tokens of one line: words (keys, numbers, keywords), quoted texts and
// the punctuation "=", ",", "|".
struct Token {
    enum Kind { kWord, kText, kPunct } kind;
    std::string text;
};

std::vector<Token> tokenize(const std::string& line, const std::string& file, int lineNo) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '=' || c == ',' || c == '|') {
            tokens.push_back({Token::kPunct, std::string(1, c)});
            ++i;
        } else if (c == '"') {
            std::string text;
            for (++i;; ++i) {
                if (i >= line.size()) throw errorAt(file, lineNo, "text without its closing quote");
                if (line[i] == '"') break;
                if (line[i] == '\\') {
                    if (++i == line.size() || (line[i] != '"' && line[i] != '\\'))
                        throw errorAt(file, lineNo, "only \\\" and \\\\ are escapes in a text");
                }
                text.push_back(line[i]);
            }
            ++i;
            tokens.push_back({Token::kText, text});
        } else {
            const size_t end = line.find_first_of(" \t\r#=,|\"", i);
            tokens.push_back({Token::kWord, line.substr(i, end - i)});
            i = end == std::string::npos ? line.size() : end;
        }
    }
    return tokens;
}

// key = group | group ..., each group elements separated by ",".
Item parseItem(const std::vector<Token>& t, size_t at, const std::string& file, int lineNo) {
    Item item;
    item.line = lineNo;
    if (at + 1 >= t.size() || t[at].kind != Token::kWord || t[at + 1].kind != Token::kPunct || t[at + 1].text != "=")
        throw errorAt(file, lineNo, "expected an item: key = value");
    item.groups.emplace_back();
    bool wantElement = true;  // at the start of a group or after ","
    for (size_t i = at + 2; i < t.size(); ++i) {
        const Token& tok = t[i];
        if (tok.kind == Token::kPunct && tok.text == "|") {
            if (wantElement && !item.groups.back().empty())
                throw errorAt(file, lineNo, "an element is missing before \"|\"");
            item.groups.emplace_back();
            wantElement = true;
        } else if (tok.kind == Token::kPunct && tok.text == ",") {
            if (wantElement) throw errorAt(file, lineNo, "an element is missing before \",\"");
            wantElement = true;
        } else if (tok.kind == Token::kPunct) {
            throw errorAt(file, lineNo, "unexpected \"" + tok.text + "\" in a value");
        } else {
            if (!wantElement) throw errorAt(file, lineNo, "elements are separated by \",\"");
            item.groups.back().push_back({tok.kind == Token::kText, tok.text});
            wantElement = false;
        }
    }
    return item;
}

Source parseSource(const std::string& file) {
    const std::vector<unsigned char> bytes = readFile(file);
    std::vector<std::string> lines(1);
    for (unsigned char c : bytes) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(static_cast<char>(c));
    }
    Source src;
    src.file = file;
    enum { kHeader, kCommon, kPresets } section = kHeader;
    std::set<std::string> names;
    int lineNo = 0;
    for (size_t next = 0; next < lines.size();) {
        lineNo = static_cast<int>(++next);
        std::vector<Token> t = tokenize(lines[next - 1], file, lineNo);
        // A value goes on after a line that ends with ",".
        while (!t.empty() && t.back().kind == Token::kPunct && t.back().text == ",") {
            if (next == lines.size()) throw errorAt(file, lineNo, "the value ends with \",\"");
            ++next;
            const std::vector<Token> more = tokenize(lines[next - 1], file, static_cast<int>(next));
            t.insert(t.end(), more.begin(), more.end());
        }
        if (t.empty()) continue;
        const std::string word = t[0].kind == Token::kWord ? t[0].text : std::string();
        auto fail = [&](const std::string& message) { return errorAt(file, lineNo, message); };

        if (word == "bank" || word == "list") {
            if (src.hasKind || section != kHeader) throw fail("\"bank\" or \"list\" comes once, at the top");
            src.hasKind = true;
            src.isList = word == "list";
            if (src.isList ? t.size() != 1 : (t.size() != 2 || t[1].kind != Token::kText))
                throw fail(src.isList ? "\"list\" takes nothing" : "expected: bank \"name\"");
            if (!src.isList) src.bankName = t[1].text;
        } else if (word == "registry") {
            if (!src.registry.empty() || section != kHeader) throw fail("\"registry\" comes once, before the presets");
            if (t.size() != 2 || t[1].kind != Token::kWord) throw fail("expected: registry <object path>");
            src.registry = t[1].text;
        } else if (word == "common" && t.size() == 1) {
            if (section != kHeader) throw fail("\"common\" comes once, before the first preset");
            section = kCommon;
        } else if (word == "preset") {
            if (t.size() != 2 || t[1].kind != Token::kText) throw fail("expected: preset \"name\"");
            if (!names.insert(t[1].text).second) throw fail("preset \"" + t[1].text + "\" is named twice");
            section = kPresets;
            src.presets.push_back({t[1].text, {}, {}});
        } else if (word == "omit" && t.size() == 2) {
            if (section != kPresets) throw fail("\"omit\" belongs to a preset");
            if (t[1].kind != Token::kWord || !src.common.count(t[1].text))
                throw fail("\"" + t[1].text + "\" is not a common item");
            if (!src.presets.back().omitted.insert(t[1].text).second)
                throw fail("\"" + t[1].text + "\" is omitted twice");
        } else {
            const bool extra = word == "extra";
            Item item = parseItem(t, extra ? 1 : 0, file, lineNo);
            item.extra = extra;
            if (section == kHeader) throw fail("items belong to \"common\" or to a preset");
            Preset* preset = section == kPresets ? &src.presets.back() : nullptr;
            const std::string& key = t[extra ? 1 : 0].text;
            if (preset && preset->omitted.count(key)) throw fail("\"" + key + "\" is omitted and given");
            Items& items = preset ? preset->items : src.common;
            auto found = items.find(key);
            if (found != items.end())
                throw fail("\"" + key + "\" is given twice (first on line " + std::to_string(found->second.line) + ")");
            items.emplace(key, std::move(item));
        }
    }
    if (!src.hasKind) throw errorAt(file, 1, "the source starts with bank \"name\" or list");
    if (src.registry.empty()) throw errorAt(file, lineNo, "no \"registry\" given");
    if (src.presets.empty()) throw errorAt(file, lineNo, "no preset given");
    return src;
}

// A preset's items: the common ones without those it omits, then its own.
Items presetItems(const Source& src, const Preset& preset) {
    Items items = src.common;
    for (const std::string& key : preset.omitted) items.erase(key);
    for (const auto& [key, item] : preset.items) items[key] = item;
    return items;
}

// The roles and tones of a colour scheme text.
std::vector<SchemeTone> readScheme(const std::string& file) {
    const std::vector<unsigned char> bytes = readFile(file);
    std::vector<SchemeTone> entries;
    std::set<std::string> roles;
    std::string line;
    int lineNo = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n') {
            line.push_back(static_cast<char>(bytes[i]));
            continue;
        }
        ++lineNo;
        const std::vector<Token> t = tokenize(line, file, lineNo);
        line.clear();
        if (t.empty()) continue;
        const bool hex = t.size() == 2 && t[1].kind == Token::kWord && t[1].text.size() == 6 &&
                         t[1].text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (t[0].kind != Token::kWord || !hex) throw errorAt(file, lineNo, "expected: role rrggbb");
        if (!roles.insert(t[0].text).second) throw errorAt(file, lineNo, "\"" + t[0].text + "\" is given twice");
        entries.push_back({t[0].text, static_cast<uint32_t>(std::stoul(t[1].text, nullptr, 16)), lineNo});
    }
    if (entries.empty()) throw errorAt(file, lineNo, "no role given");
    return entries;
}

std::string folderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

// The parameter record of one item, as the registry writes it.
CAudioPreset::CBlob makeRecord(const CAudioParamRegistry& registry, const std::string& key, const Item& item,
                               const std::string& file, EditorPalette& palette) {
    auto fail = [&](const std::string& message) { return errorAt(file, item.line, "\"" + key + "\": " + message); };
    const CAudioParamRegistry::CParams& params = registry.params();
    const auto found = params.find(CString::fromUtf8(key));
    const CAudioParam* param = found == params.end() ? nullptr : found->second;
    const bool stored = param && registry.captures(*param, false);
    if (item.extra && stored) throw fail("a stored parameter, not an extra item");
    if (!item.extra && !stored)
        throw fail("no stored parameter of " + registry.fullName().utf8() +
                   " has this key (mark the item \"extra\" if the plug-in is to skip it)");

    // An extra item keeps the format of a parameter it names all the same;
    // one that names none holds numbers of one component.
    static const CAudioParamInfo kExtraInfo;
    const CAudioParamInfo& info = param ? param->info() : kExtraInfo;
    const bool isRaw = info.dataType == CAudioParamInfo::kRaw;
    const bool isText = info.dataType == CAudioParamInfo::kString || isRaw;
    if (info.isSingleGroup && item.groups.size() > 1) throw fail("the parameter has a single group");

    CAudioParamValue value(info.elementSize);
    value.setGroupCount(item.groups.size());
    for (size_t g = 0; g < item.groups.size(); ++g) {
        const std::vector<Element>& group = item.groups[g];
        if (!isText && group.size() % info.elementSize != 0)
            throw fail("group " + std::to_string(g) + " does not hold whole elements of " +
                       std::to_string(info.elementSize) + " components");
        for (size_t i = 0; i < group.size(); ++i) {
            if (group[i].isText != isText) throw fail(isText ? "expected quoted texts" : "expected numbers");
            if (isText) continue;
            double v;
            if (!parseReal(CString::fromUtf8(group[i].text), v))
                throw fail("\"" + group[i].text + "\" is not a number");
            const size_t c = i % info.elementSize;
            if (stored &&
                (v < std::min(info.minValue(c), info.maxValue(c)) || v > std::max(info.minValue(c), info.maxValue(c))))
                throw fail(group[i].text + " is outside the parameter's range");
            value.group(g).push_back(v);
        }
    }

    CAudioParamStorage storage(info);
    storage.setValue(value);
    if (isText)
        for (size_t g = 0; g < item.groups.size(); ++g)
            for (size_t e = 0; e < item.groups[g].size(); ++e) {
                const std::string& text = item.groups[g][e].text;
                if (isRaw) {
                    const std::string scheme = folderOf(file) + text;
                    storage.setBytes(g, e, palette.record(readScheme(scheme), scheme));
                } else {
                    storage.setText(g, e, CString::fromUtf8(text));
                }
            }
    CMemoryWriter record;
    if (CErrorPtr err = registry.writeParamRecord(CString::fromUtf8(key), storage, record)) throw fail(err->describe());
    return record.take();
}

std::vector<uint8_t> makeBlock(const Source& src, const CAudioParamRegistry& registry) {
    EditorPalette palette;
    CAudioPresetBank bank(CString::fromUtf8(src.bankName));
    for (const Preset& p : src.presets) {
        CAudioPreset preset(CAudioPreset::makeName(registry.id(), CString::fromUtf8(p.name)));
        for (const auto& [key, item] : presetItems(src, p))
            preset.setItem(CString::fromUtf8(key), makeRecord(registry, key, item, src.file, palette));
        bank.presets().push_back(std::move(preset));
    }
    CMemoryWriter block;
    CErrorPtr err;
    if (src.isList) {
        CMemoryWriter record;
        err = bank.saveList(record);
        if (!err)
            err = block.writeCompressedData(CAudioPresetBank::kListTag, record.bytes().data(), record.bytes().size());
    } else {
        err = bank.saveCompressed(block);
    }
    if (err) throw ToolError(err->describe());
    return block.take();
}

// One plug-in instance, as the wrapper builds it, for its registries.
std::vector<uint8_t> build(const Source& src) {
    CObject root;
    CObject* plugin = nullptr;
    CErrorPtr err = CApplication::instance()->initRootObject(root);
    if (!err) err = root.createChild("plugin", "plugin", plugin);
    if (!err) err = root.init();
    if (err) throw ToolError("the plug-in instance: " + err->describe());
    const auto* registry = dynamic_cast<const CAudioParamRegistry*>(root.findObject(CString::fromUtf8(src.registry)));
    if (!registry) throw ToolError(src.file + ": no registry \"" + src.registry + "\" in the plug-in instance");
    return makeBlock(src, *registry);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[1]) == "--palette")) {
        std::cerr << "usage: lagwell-mkpresets source.txt out\n"
                     "       lagwell-mkpresets --palette scheme.txt out\n";
        return 2;
    }
    const bool paletteOnly = argc == 4;
    try {
        const std::string file = argv[paletteOnly ? 2 : 1];
        const std::vector<SchemeTone> scheme = paletteOnly ? readScheme(file) : std::vector<SchemeTone>();
        const Source src = paletteOnly ? Source() : parseSource(file);
        std::vector<uint8_t> out;
        {
            // Ends the application however the build ends; an end without
            // a successful start does nothing.
            struct Started {
                ~Started() { CApplication::finish(); }
            } started;
            if (CErrorPtr err = CApplication::start()) throw ToolError("start-up: " + err->describe());
            if (paletteOnly)
                out = EditorPalette().record(scheme, file);
            else
                out = build(src);
        }
        writeFile(argv[paletteOnly ? 3 : 2], out.data(), out.size());
    } catch (const ToolError& e) {
        std::cerr << "lagwell-mkpresets: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
