// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>

#include "Core/Object.h"
#include "Other/Brush.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

namespace zel {

// The shared document's declarations of graphic resources. Each names its
// resource in `file` and reads it when an editor first asks for it at a UI
// scale. Every instance of the process shares them, and instances may run
// at different scales: each scale asked for is kept, so what one editor
// draws with stays while another loads its own.

// `imageset`
class CImageSetObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    // Null before a successful prepare() at that scale.
    const CImageSet* imageSet(double uiScale) const;

private:
    std::map<double, std::unique_ptr<CImageSet>> m_sets;
};

// `font`: children marked `is-font-style` ("regular", "bold",
// "superscript") name the files of the styles.
class CFontObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    // The style's font, falling back to "regular"; null before prepare()
    // at that scale.
    const CFont* style(const CString& name, double uiScale) const;

    // The font a view names in its `font-name` attribute.
    static CErrorPtr findFont(CObject& view, CFontObject*& out);

private:
    std::map<double, std::map<CString, std::unique_ptr<CFont>>> m_styles;
};

// `brushset`
class CBrushSetObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    const CBrushSet* brushSet(double uiScale) const;

private:
    std::map<double, std::unique_ptr<CBrushSet>> m_sets;
};

}  // namespace zel
