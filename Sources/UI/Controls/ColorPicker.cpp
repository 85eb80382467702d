// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ColorPicker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Other/Draw.h"
#include "Other/ImageSet.h"
#include "UI/Controls/TextView.h"
#include "UI/DynamicPalette.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"

#define ZEL_SOURCE_TAG "CColorPicker"

namespace zel {

namespace {

double unit(CColor c, int shift) { return double(c >> shift & 0xff) / 255.0; }

CColor pack(double r, double g, double b) {
    const auto byte = [](double v) { return CColor(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

double hueOf(double r, double g, double b) {
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), d = hi - lo;
    if (d <= 0) return 0.0;
    double h = 0;
    if (hi == r)
        h = std::fmod((g - b) / d + 6.0, 6.0);
    else if (hi == g)
        h = (b - r) / d + 2.0;
    else
        h = (r - g) / d + 4.0;
    return h / 6.0;
}

}  // namespace

CColor spectrumColor(double hue, double saturation) {
    const double h = std::fmod(std::clamp(hue, 0.0, 1.0), 1.0) * 6.0, s = std::clamp(saturation, 0.0, 1.0);
    const double x = s * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (int(h)) {
        case 0:
            r = s, g = x;
            break;
        case 1:
            r = x, g = s;
            break;
        case 2:
            g = s, b = x;
            break;
        case 3:
            g = x, b = s;
            break;
        case 4:
            r = x, b = s;
            break;
        default:
            r = s, b = x;
            break;
    }
    // Full value: what saturation leaves is white.
    const double m = 1.0 - s;
    return pack(r + m, g + m, b + m);
}

CColor pickerToColor(const CPickerColor& p) {
    const CColor pure = spectrumColor(p.hue, p.saturation);
    const double level = std::clamp(p.level, 0.0, 1.0);
    // Towards white above the middle, towards black below it.
    const double toPure = level < 0.5 ? level * 2.0 : 1.0, toBlack = level > 0.5 ? (level - 0.5) * 2.0 : 0.0;
    const auto channel = [&](int shift) { return (1.0 - toPure + toPure * unit(pure, shift)) * (1.0 - toBlack); };
    return pack(channel(16), channel(8), channel(0));
}

CPickerColor colorToPicker(CColor colour) {
    const double r = unit(colour, 16), g = unit(colour, 8), b = unit(colour, 0);
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    CPickerColor p;
    if (hi <= 0.0) {
        p.level = 1.0;
        return p;
    }
    p.hue = hueOf(r, g, b);
    p.saturation = 1.0 - lo / hi;
    p.level = 0.5 + (1.0 - hi) / 2.0;
    return p;
}

bool parseHexColor(const CString& text, CColor& out) {
    std::string s = text.utf8();
    const size_t first = s.find_first_not_of(" \t"), last = s.find_last_not_of(" \t");
    if (first == std::string::npos) return false;
    s = s.substr(first, last - first + 1);
    if (!s.empty() && s[0] == '#') s.erase(0, 1);
    if (s.size() != 6 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    out = CColor(std::stoul(s, nullptr, 16));
    return true;
}

CString hexColor(CColor colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", unsigned(colour & 0xffffff));
    return CString(text);
}

void CColorPicker::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("mouse-press", &CColorPicker::onPress);
    info.onEvent("mouse-move", &CColorPicker::onMove);
    info.onEvent("mouse-release", &CColorPicker::onRelease);
    info.onEvent("mouse-cancel", &CColorPicker::onRelease);
    info.onEvent("role-selected", &CColorPicker::onRoleSelected);
    info.onEvent("hex-entered", &CColorPicker::onHexEntered);
}

CErrorPtr CColorPicker::init() {
    ZEL_TRY(CView::init());
    if (!hasAttr("palette")) ZEL_TRY(setAttr("palette", "ui.palette"));
    ZEL_TRY(findObjectByAttr("palette", m_target));
    m_list = dynamic_cast<CTextView*>(part("roles"));
    m_hex = dynamic_cast<CTextView*>(part("hex"));
    if (!m_list || !m_hex)
        return ZEL_ERROR("@zelstr_CColorPicker_init_Parts The color picker needs the text views 'roles' and 'hex'.");
    ZEL_TRY(listenObject(m_list, "selected-paragraph-changed", "role-selected"));
    ZEL_TRY(listenObject(m_hex, "paragraph-text-changed", "hex-entered"));
    const CString setPath = hasAttr("image-set") ? getAttr("image-set") : CString("shared::is.colorpicker");
    if (auto* object = dynamic_cast<CImageSetObject*>(findObject(setPath)); object && !object->prepare(uiScale())) {
        const CImageSet* set = object->imageSet(uiScale());
        m_spectrum = set->image("Spectrum", 0);
        m_spectrumSelector = set->image("SpectrumSelector", 0);
        m_gradBlack = set->image("GradBlack", 0);
        m_gradWhite = set->image("GradWhite", 0);
        m_gradSelector = set->image("GradSelector", 0);
    }
    collectRoles();
    m_ready = true;
    ZEL_TRY(selectRole(m_roles.empty() ? -1 : 0));
    return nullptr;
}

void CColorPicker::collectRoles() {
    m_roles.clear();
    std::vector<CObject*> pending{m_target};
    // Document order: depth first, children in their order.
    while (!pending.empty()) {
        CObject* at = pending.back();
        pending.pop_back();
        if (auto* role = dynamic_cast<CDynamicColor*>(at); role && role->isEditable())
            m_roles.push_back({role->name(), role->getAttr("title"), role->getAttr("group-title")});
        for (auto it = at->children().rbegin(); it != at->children().rend(); ++it) pending.push_back(it->get());
    }
    std::vector<CTextView::CListEntry> entries;
    m_rows.clear();
    CString group;
    for (const CRole& role : m_roles) {
        if (role.group != group || entries.empty()) {
            group = role.group;
            if (!group.empty()) entries.push_back({group, false, false});
        }
        m_rows.push_back(int(entries.size()));
        const CString title = role.title.empty() ? role.name : role.title;
        entries.push_back({"[IMG=is.button#Color:" + role.name + "] [B]" + title + "[/B]", true, false});
    }
    m_list->setEntries(entries);
}

CErrorPtr CColorPicker::selectRole(int index) {
    if (index < -1 || index >= int(m_roles.size())) return nullptr;
    m_selected = index;
    m_drag = EPart::None;
    const int row = index < 0 ? -1 : m_rows[size_t(index)];
    if (m_list->selectedParagraph() != row) m_list->setInt("selected-paragraph", row);
    // A new role: its picker point comes from its colour.
    m_entry = CPaletteEntry{};
    readEntry();
    invalidateView();
    return nullptr;
}

void CColorPicker::readRoles() {
    CView::readRoles();
    if (!m_ready) return;
    CColor colour = 0;
    if (paletteColour("ScrollerBase", colour, false)) m_trackColour = colour;
    if (paletteColour("ListItemMarker", colour, false)) m_fillColour = colour;
    if (paletteColour("Action", colour, false)) m_handleColour = colour;
    if (paletteColour("Border", colour, false)) m_borderColour = colour;
    // An edit elsewhere (a preset, undo) shows here; a drag keeps its own.
    if (m_drag == EPart::None) readEntry();
    invalidateView();
}

void CColorPicker::readEntry() {
    if (m_selected < 0 || !m_target) return;
    const CString& name = m_roles[size_t(m_selected)].name;
    const CPreparedColor* prepared = m_target->find(name);
    if (!prepared) return;
    const CRoleValues& v = prepared->values;
    const bool sameTone = m_entry.name == name && m_entry.tone == v.tone && pickerToColor(m_picker) == v.tone;
    m_entry.name = name;
    m_entry.tone = v.tone;
    m_entry.tone2 = v.tone2;
    m_entry.tone3 = v.tone3;
    m_entry.brightness = v.brightness;
    m_entry.contrast = v.contrast;
    m_entry.opacity = v.opacity;
    if (!sameTone) m_picker = colorToPicker(v.tone);
    showHex();
}

void CColorPicker::showHex() {
    if (m_hex && m_selected >= 0) (void)m_hex->setAttr("title", hexColor(m_entry.tone));
}

CErrorPtr CColorPicker::store() {
    if (m_selected < 0) return nullptr;
    std::vector<CPaletteEntry> entries;
    ZEL_TRY(readPaletteData(m_target->paletteData(), entries));
    auto it =
        std::find_if(entries.begin(), entries.end(), [&](const CPaletteEntry& e) { return e.name == m_entry.name; });
    if (it == entries.end())
        entries.push_back(m_entry);
    else
        *it = m_entry;
    ZEL_TRY(m_target->storePaletteData(writePaletteData(entries)));
    showHex();
    invalidateView();
    return nullptr;
}

CErrorPtr CColorPicker::setPickerColor(const CPickerColor& p) {
    if (m_selected < 0) return nullptr;
    m_picker = {std::clamp(p.hue, 0.0, 1.0), std::clamp(p.saturation, 0.0, 1.0), std::clamp(p.level, 0.0, 1.0)};
    m_entry.tone = pickerToColor(m_picker);
    return store();
}

CErrorPtr CColorPicker::setTone(CColor tone) {
    if (m_selected < 0) return nullptr;
    m_entry.tone = tone & 0xffffff;
    m_picker = colorToPicker(m_entry.tone);
    return store();
}

CErrorPtr CColorPicker::setContrast(double contrast) {
    if (m_selected < 0) return nullptr;
    m_entry.contrast = std::clamp(contrast, 0.0, 1.0);
    return store();
}

CErrorPtr CColorPicker::setOpacity(double opacity) {
    if (m_selected < 0) return nullptr;
    m_entry.opacity = std::clamp(opacity, 0.0, 1.0);
    return store();
}

CErrorPtr CColorPicker::onRoleSelected(CObject* params, CObject*) {
    if (!params) return nullptr;
    const int row = int(params->getInt("paragraph-index", -1));
    const auto it = std::find(m_rows.begin(), m_rows.end(), row);
    if (it == m_rows.end()) return nullptr;
    return selectRole(int(it - m_rows.begin()));
}

CErrorPtr CColorPicker::onHexEntered(CObject* params, CObject*) {
    CColor tone = 0;
    if (!params || !parseHexColor(params->getAttr("text"), tone)) {
        // Not a colour: the read-out shows the role's again.
        showHex();
        return nullptr;
    }
    return setTone(tone);
}

CRect CColorPicker::partArea(EPart which) const {
    const char* name = nullptr;
    switch (which) {
        case EPart::Spectrum:
            name = "spectrum";
            break;
        case EPart::Gradient:
            name = "gradient";
            break;
        case EPart::Contrast:
            name = "contrast";
            break;
        case EPart::Opacity:
            name = "opacity";
            break;
        case EPart::None:
            return {};
    }
    const CView* view = part(name);
    if (!view) return {};
    CRect r = view->area();
    // The spectrum is its image: no wider or taller.
    if (which == EPart::Spectrum && m_spectrum) {
        r.right = std::min(r.right, r.left + m_spectrum->nominalWidth());
        r.bottom = std::min(r.bottom, r.top + m_spectrum->nominalHeight());
    }
    return r;
}

CView* CColorPicker::part(const char* name) const {
    // The parts may stand in rows of their own, with their labels.
    std::vector<const CObject*> pending{this};
    while (!pending.empty()) {
        const CObject* at = pending.back();
        pending.pop_back();
        for (const auto& child : at->children()) {
            if (child->name() == CString(name)) return dynamic_cast<CView*>(child.get());
            pending.push_back(child.get());
        }
    }
    return nullptr;
}

CColorPicker::EPart CColorPicker::partAt(int x, int y) const {
    for (EPart which : {EPart::Spectrum, EPart::Gradient, EPart::Contrast, EPart::Opacity}) {
        const CRect r = partArea(which);
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return which;
    }
    return EPart::None;
}

CErrorPtr CColorPicker::dragTo(int x, int y) {
    const CRect r = partArea(m_drag);
    if (r.isEmpty()) return nullptr;
    const double fx = std::clamp(double(x - r.left) / std::max(1, r.width() - 1), 0.0, 1.0);
    const double fy = std::clamp(double(y - r.top) / std::max(1, r.height() - 1), 0.0, 1.0);
    CPickerColor p = m_picker;
    switch (m_drag) {
        case EPart::Spectrum:
            p.hue = fx;
            p.saturation = 1.0 - fy;
            return setPickerColor(p);
        case EPart::Gradient:
            p.level = fy;
            return setPickerColor(p);
        case EPart::Contrast:
            return setContrast(fx);
        case EPart::Opacity:
            return setOpacity(fx);
        case EPart::None:
            break;
    }
    return nullptr;
}

CErrorPtr CColorPicker::onPress(CObject* params, CObject*) {
    if (!params || m_selected < 0) return nullptr;
    const int x = int(params->getInt("x", 0)), y = int(params->getInt("y", 0));
    m_drag = partAt(x, y);
    if (m_drag == EPart::None) return nullptr;
    // A drag is one undo step, however many colours it passes.
    if (CParamBridge* bridge = paletteBridge()) ZEL_TRY(bridge->beginGesture());
    return dragTo(x, y);
}

CErrorPtr CColorPicker::onMove(CObject* params, CObject*) {
    if (!params || m_drag == EPart::None) return nullptr;
    return dragTo(int(params->getInt("x", 0)), int(params->getInt("y", 0)));
}

CErrorPtr CColorPicker::onRelease(CObject*, CObject*) {
    if (m_drag == EPart::None) return nullptr;
    m_drag = EPart::None;
    if (CParamBridge* bridge = paletteBridge()) ZEL_TRY(bridge->endGesture());
    return nullptr;
}

CParamBridge* CColorPicker::paletteBridge() const {
    auto* param = m_target ? dynamic_cast<CUIParam*>(m_target->findChild("ui-param-palette")) : nullptr;
    return param ? param->bridge() : nullptr;
}

void CColorPicker::drawSlider(CLinearBitmap& bitmap, const CRect& clip, const CRect& r, double value) const {
    if (r.isEmpty()) return;
    const int mid = (r.top + r.bottom) / 2, thick = std::max(2, r.height() / 4);
    const int at = r.left + int(std::lround(std::clamp(value, 0.0, 1.0) * (r.width() - 1)));
    const CRect track{r.left, mid - thick / 2, r.right, mid - thick / 2 + thick};
    bitmap.fillRect(track.intersect(clip), m_trackColour, 1.0);
    bitmap.fillRect(CRect{r.left, track.top, at, track.bottom}.intersect(clip), m_fillColour, 1.0);
    const int half = std::max(2, r.height() / 5);
    const CRect handle{at - half, r.top, at + half + 1, r.bottom};
    bitmap.fillRect(handle.intersect(clip), m_borderColour, 1.0);
    bitmap.fillRect(CRect{handle.left + 1, handle.top + 1, handle.right - 1, handle.bottom - 1}.intersect(clip),
                    m_handleColour, 1.0);
}

void CColorPicker::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    CView::drawSelf(bitmap, clip);
    if (m_selected < 0) return;
    const CRect spectrum = partArea(EPart::Spectrum), gradient = partArea(EPart::Gradient);
    if (!spectrum.isEmpty()) {
        const CRect inner = spectrum.intersect(clip);
        if (m_spectrum) drawImage(bitmap, inner, *m_spectrum, spectrum.left, spectrum.top, 0, 1.0);
        if (m_spectrumSelector) {
            const int x = spectrum.left + int(std::lround(m_picker.hue * (spectrum.width() - 1)));
            const int y = spectrum.top + int(std::lround((1.0 - m_picker.saturation) * (spectrum.height() - 1)));
            drawImage(bitmap, clip, *m_spectrumSelector, x - m_spectrumSelector->nominalWidth() / 2,
                      y - m_spectrumSelector->nominalHeight() / 2, 0, 1.0);
        }
    }
    if (!gradient.isEmpty()) {
        const CRect inner = gradient.intersect(clip);
        bitmap.fillRect(inner, spectrumColor(m_picker.hue, m_picker.saturation), 1.0);
        // The strip is two images high: white fades out over the colour in
        // its upper half, black fades in over the lower one.
        const int half = gradient.height() / 2;
        if (m_gradWhite) drawImage(bitmap, inner, *m_gradWhite, gradient.left, gradient.top, 0, 1.0);
        if (m_gradBlack) drawImage(bitmap, inner, *m_gradBlack, gradient.left, gradient.top + half, 0, 1.0);
        if (m_gradSelector) {
            const int y = gradient.top + int(std::lround(m_picker.level * (gradient.height() - 1)));
            drawImage(bitmap, clip, *m_gradSelector,
                      (gradient.left + gradient.right - m_gradSelector->nominalWidth()) / 2,
                      y - m_gradSelector->nominalHeight() / 2, 0, 1.0);
        }
    }
    drawSlider(bitmap, clip, partArea(EPart::Contrast), m_entry.contrast);
    drawSlider(bitmap, clip, partArea(EPart::Opacity), m_entry.opacity);
    if (const CView* swatch = part("swatch"); swatch && !swatch->area().isEmpty()) {
        const CRect r = swatch->area();
        bitmap.fillRect(r.intersect(clip), m_borderColour, 1.0);
        const CRect inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        // Opacity shows against white and black halves.
        bitmap.fillRect(CRect{inner.left, inner.top, inner.right, (inner.top + inner.bottom) / 2}.intersect(clip),
                        0xffffff, 1.0);
        bitmap.fillRect(CRect{inner.left, (inner.top + inner.bottom) / 2, inner.right, inner.bottom}.intersect(clip),
                        0x000000, 1.0);
        bitmap.fillRect(inner.intersect(clip), m_entry.tone, m_entry.opacity);
    }
}

}  // namespace zel
