// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Core/Object.h"
#include "UI/DynamicPalette.h"

namespace lagwell::tools {

// One line of a colour scheme text: a role and the tone it gets.
struct SchemeTone {
    std::string role;
    uint32_t tone = 0;
    int line = 0;
};

// The editor's palette as the embedded UserInterface.xml defines it, built
// by the plug-in's own document reader and palette classes. A colour scheme
// applied over it gives the palette record of every role the palette
// stores, in the palette's order, as the editor would write it. Needs the
// application started, and goes before it ends.
class EditorPalette {
public:
    // The record of the document's palette with the scheme's tones over
    // the document's; a role that the palette does not store, or whose tone
    // follows its parent, is an error naming `file` and the line.
    std::vector<uint8_t> record(const std::vector<SchemeTone>& scheme, const std::string& file);

private:
    void load();

    zel::CObject m_root;
    zel::CDynamicPalette* m_palette = nullptr;
    std::vector<zel::CPaletteEntry> m_document;
};

}  // namespace lagwell::tools
