// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/PaletteData.h"
#include "UI/View.h"

namespace zel {

class CDynamicPalette;
class CParamBridge;
class CImage;
class CTextView;

// A colour as the picker shows it: a point of the spectrum (hue across,
// saturation falling downwards, at full value) and a level on the gradient
// beside it, from white (0) through that spectrum colour (0.5) to black (1).
struct CPickerColor {
    double hue = 0.0;
    double saturation = 0.0;
    double level = 0.5;
};

// The spectrum's colour at (hue, saturation), as its image shows it.
CColor spectrumColor(double hue, double saturation);
CColor pickerToColor(const CPickerColor& p);
// The picker point of `colour`: every colour has one at a level of 0.5 or
// below the spectrum colour, so the lighter half of the gradient is only
// reached by hand.
CPickerColor colorToPicker(CColor colour);
// "RRGGBB", or false for text that is not six hexadecimal digits (a
// leading "#" and surrounding spaces are allowed).
bool parseHexColor(const CString& text, CColor& out);
CString hexColor(CColor colour);

// `ui:color-picker`: edits the editable roles of the palette `palette`.
// Its child text view "roles" lists them (a colour chip and the bold
// title, under their group titles); the one selected is edited with the
// spectrum and the gradient (the images of `image-set`, by default
// "shared::is.colorpicker"), the contrast and opacity sliders, and typed
// into the editable text view "hex". The parts are drawn by the picker
// over its decorative views "spectrum", "gradient", "contrast",
// "opacity" and "swatch" (the colour as edited), which give their places.
// Every edit writes the palette record, so that every window of the
// instance shows it at once.
class CColorPicker : public CView {
public:
    enum class EPart { None, Spectrum, Gradient, Contrast, Opacity };
    struct CRole {
        CString name, title, group;
    };

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;

    const std::vector<CRole>& roles() const { return m_roles; }
    int selectedRole() const { return m_selected; }
    CErrorPtr selectRole(int index);
    const CPickerColor& pickerColor() const { return m_picker; }
    // The selected role as edited.
    const CPaletteEntry& entry() const { return m_entry; }
    // Where each part lies in the window, empty when it has none.
    CRect partArea(EPart which) const;

    // Edits of the selected role; each writes the palette.
    CErrorPtr setPickerColor(const CPickerColor& p);
    CErrorPtr setTone(CColor tone);
    CErrorPtr setContrast(double contrast);
    CErrorPtr setOpacity(double opacity);

protected:
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onRoleSelected(CObject* params, CObject* sender);
    CErrorPtr onHexEntered(CObject* params, CObject* sender);
    // The descendant view `name` that gives a part its place.
    CView* part(const char* name) const;
    EPart partAt(int x, int y) const;
    CErrorPtr dragTo(int x, int y);
    void collectRoles();
    // Takes the selected role's values from the palette; the picker point
    // stays where it is while it still gives the role's colour.
    void readEntry();
    void showHex();
    CErrorPtr store();
    void drawSlider(CLinearBitmap& bitmap, const CRect& clip, const CRect& r, double value) const;

    // The palette parameter's bridge, when the palette has one.
    CParamBridge* paletteBridge() const;

    CDynamicPalette* m_target = nullptr;
    CTextView* m_list = nullptr;
    CTextView* m_hex = nullptr;
    std::vector<CRole> m_roles;
    // The list's paragraph of each role; group titles lie between.
    std::vector<int> m_rows;
    int m_selected = -1;
    CPaletteEntry m_entry;
    CPickerColor m_picker;
    EPart m_drag = EPart::None;
    const CImage* m_spectrum = nullptr;
    const CImage* m_spectrumSelector = nullptr;
    const CImage* m_gradBlack = nullptr;
    const CImage* m_gradWhite = nullptr;
    const CImage* m_gradSelector = nullptr;
    CColor m_trackColour = 0x808080, m_fillColour = 0x3971b8, m_handleColour = 0xffffff, m_borderColour = 0;
    bool m_ready = false;
};

}  // namespace zel
