// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Core/Object.h"
#include "Other/Brush.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

namespace zel {

// The shared document's declarations of graphic resources. Each names its
// resource in `file` and reads it when an editor first asks for it at a UI
// scale; a later request at another scale reads it again.

// `imageset`
class CImageSetObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    // Null before a successful prepare().
    const CImageSet* imageSet() const { return m_set.get(); }

private:
    std::unique_ptr<CImageSet> m_set;
    double m_scale = 0;
};

// `font`: children marked `is-font-style` ("regular", "bold",
// "superscript") name the files of the styles.
class CFontObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    // The style's font, falling back to "regular"; null before prepare().
    const CFont* style(const CString& name) const;

    // The font a view names in its `font-name` attribute.
    static CErrorPtr findFont(CObject& view, CFontObject*& out);

private:
    std::map<CString, std::unique_ptr<CFont>> m_styles;
    double m_scale = 0;
};

// `brushset`
class CBrushSetObject : public CObject {
public:
    CErrorPtr prepare(double uiScale);
    const CBrushSet* brushSet() const { return m_set.get(); }

private:
    std::unique_ptr<CBrushSet> m_set;
    double m_scale = 0;
};

}  // namespace zel
