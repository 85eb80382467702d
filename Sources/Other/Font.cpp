// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/Font.h"

#include <cmath>

#include "Core/ResourceReader.h"

#define ZEL_SOURCE_TAG "CFont"

namespace zel {

CErrorPtr CFont::read(CInputStream& in, double uiScale) {
    m_loaded = false;
    uint32_t version;
    ZEL_TRY(in.readUInt32(version));
    if (version != 1) return nullptr;
    ZEL_TRY(m_glyphs.read(in, uiScale));
    if (!m_glyphs.isLoaded()) return nullptr;
    ZEL_TRY(in.readInt32(m_lineHeight));
    ZEL_TRY(in.readInt32(m_above));
    ZEL_TRY(in.readInt32(m_below));
    m_scale = 1.0;
    for (const auto& entry : m_glyphs.images())
        if (!entry.second.layers().empty()) {
            m_scale = entry.second.layers()[0].scale();
            break;
        }
    m_loaded = true;
    return nullptr;
}

CErrorPtr CFont::load(const CString& resourceName, double uiScale) {
    CResourceReader reader;
    ZEL_TRY(reader.open(resourceName));
    ZEL_TRY(read(reader, uiScale));
    return nullptr;
}

const CImageLayerData* CFont::glyph(uint32_t code) const {
    const CImage* image = m_glyphs.image(code);
    if (!image || image->layers().empty()) return nullptr;
    return &image->layers()[0].data();
}

int CFont::textWidth(const CString& text) const {
    int width = 0;
    for (size_t i = 0; i < text.length(); ++i)
        if (const CImageLayerData* g = glyph(text.at(i))) width += g->nominalWidth();
    return width;
}

int CFont::scaled(int32_t v) const { return int(std::lround(v * m_scale)); }

}  // namespace zel
