// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorPalette.h"

#include <algorithm>

#include "Core/Application.h"
#include "Core/XMLData.h"
#include "ToolSupport.h"

using namespace zel;

namespace lagwell::tools {

namespace {

const char* kDocument = "UserInterface.xml";
const char* kPalettePath = "ui.palette";

ToolError errorAt(const std::string& file, int line, const std::string& message) {
    return ToolError(file + ":" + std::to_string(line) + ": " + message);
}

std::vector<CPaletteEntry>::iterator findRole(std::vector<CPaletteEntry>& entries, const std::string& role) {
    return std::find_if(entries.begin(), entries.end(), [&](const CPaletteEntry& e) { return e.name.utf8() == role; });
}

}  // namespace

void EditorPalette::load() {
    CErrorPtr err = CApplication::instance()->initRootObject(m_root);
    if (!err) err = CXMLData::load(kDocument, m_root);
    if (err) throw ToolError(std::string(kDocument) + ": " + err->describe());
    auto* palette = dynamic_cast<CDynamicPalette*>(m_root.findObject(kPalettePath));
    if (!palette) throw ToolError(std::string(kDocument) + ": no palette \"" + kPalettePath + "\"");
    // The palette alone is brought to life: its siblings are the editor's
    // windows, which would open, and which it would tell of every change.
    CObject* owner = palette->parent();
    std::vector<CObject*> siblings;
    for (const auto& child : owner->children())
        if (child.get() != palette) siblings.push_back(child.get());
    for (CObject* sibling : siblings) owner->removeChild(sibling);
    // No instance's palette parameter to follow, and no cache to keep.
    if (CObject* link = palette->findChild("ui-param-palette")) palette->removeChild(link);
    palette->removeAttr("palette-cache");
    err = palette->init();
    if (!err) err = readPaletteData(palette->paletteData(), m_document);
    if (err) throw ToolError(std::string(kDocument) + ": " + err->describe());
    m_palette = palette;
}

std::vector<uint8_t> EditorPalette::record(const std::vector<SchemeTone>& scheme, const std::string& file) {
    if (!m_palette) load();
    std::vector<CPaletteEntry> entries = m_document;
    for (const SchemeTone& s : scheme) {
        const auto entry = findRole(entries, s.role);
        if (entry == entries.end())
            throw errorAt(file, s.line, "the editor's palette stores no role \"" + s.role + "\"");
        entry->tone = s.tone;
    }
    // The palette resolves the variants of the roles the scheme changed.
    CErrorPtr err = m_palette->setPaletteData(writePaletteData(entries));
    std::vector<uint8_t> out;
    if (!err) out = m_palette->paletteData();
    if (!err) err = readPaletteData(out, entries);
    if (err) throw ToolError(file + ": " + err->describe());
    for (const SchemeTone& s : scheme)
        if (findRole(entries, s.role)->tone != s.tone)
            throw errorAt(file, s.line, "\"" + s.role + "\" takes its tone from the role it varies");
    return out;
}

}  // namespace lagwell::tools
