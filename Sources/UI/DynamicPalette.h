// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Core/Object.h"
#include "Other/LinearBitmap.h"
#include "UI/PaletteData.h"

namespace zel {

class CUIParam;

// The values a role resolves to: its tones, its brightness offset (-100
// black to +100 white), contrast (0.5 neutral) and opacity.
struct CRoleValues {
    CColor tone = 0x454545;
    int32_t tone2 = -1, tone3 = -1;
    double brightness = 0.0;
    double contrast = 0.5;
    double opacity = 1.0;
    int gradientSize = 1;
};

// A role ready to draw with: the final colour and the 256-entry ramp that
// maps the grey level of a grey-with-alpha image to it (0xAARRGGBB, the
// alpha carrying the role's opacity).
struct CPreparedColor {
    CRoleValues values;
    CColor colour = 0;
    double opacity = 1.0;
    std::array<uint32_t, 256> ramp{};
    // The colour `step` steps along the role's gradient: tone, tone2 and
    // tone3 (those it has) spread over `gradient-size` steps, wrapping.
    CColor gradient(int step) const;
};

// `tone` moved toward black (negative) or white (positive) by `brightness`
// percent.
CColor applyBrightness(CColor tone, double brightness);
CPreparedColor prepareColor(const CRoleValues& values);

// `ui:dynamic-color`: one role, named by the element. A child role inherits
// its parent's colour as its tone, its contrast and its opacity (which its
// own multiplies), and applies its own brightness on top.
class CDynamicColor : public CObject {
public:
    CErrorPtr init() override;
    bool isCopyParent() const { return getBool("is-copy-parent-color", false); }
    bool isHoverable() const { return getBool("is-hoverable", false); }
    bool isEditable() const { return getBool("is-editable", false); }
};

// `ui:dynamic-palette` ("palette"): resolves every role below it into
// prepared colours, with the user's stored values over the document's.
// `palette-cache` names the application-data item (local) that keeps the
// prepared roles between editors.
// Its ui-param `.ui-param-palette`, when it has one, links it to the
// palette parameter: it takes the parameter's palette record whenever it
// changes, and stores the user's edits there.
class CDynamicPalette : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    // Writes a palette record to the palette parameter as one undo step.
    CErrorPtr storePaletteData(std::vector<uint8_t> data);
    // The prepared role, or null (written to the debug log) when unknown.
    const CPreparedColor* find(const CString& role) const;
    bool contains(const CString& role) const { return m_prepared.count(role.utf8()) != 0; }
    size_t roleCount() const { return m_prepared.size(); }
    // The palette record of every role with a tone of its own.
    std::vector<uint8_t> paletteData() const;
    // Takes a palette record; a damaged one fails and changes nothing.
    // Views are told with `event` ("dynamic-palette-updated", or
    // "palette-updated-from-param" when the palette parameter changed).
    CErrorPtr setPaletteData(const std::vector<uint8_t>& data, const char* event = "dynamic-palette-updated");
    // The palette of `object`: the one its `palette` attribute names, else
    // the nearest "palette" among its ancestors' children.
    static CErrorPtr of(const CObject& object, const CDynamicPalette*& out);

private:
    CErrorPtr build(const std::map<std::string, CPaletteEntry>& stored, std::map<std::string, CPreparedColor>& out);
    CErrorPtr resolve(const CDynamicColor& role, const CRoleValues& parent,
                      const std::map<std::string, CPaletteEntry>& stored, std::map<std::string, CPreparedColor>& out);
    // A role prepared, from the cache when it holds the same values.
    CPreparedColor prepare(const std::string& role, const CRoleValues& values);
    void readCache();
    // Keeps what the last build prepared anew.
    void writeCache();
    void notifyViews(const char* event);
    CErrorPtr onParamValue(CObject* params, CObject* sender);

    CUIParam* m_param = nullptr;
    // Parameter values wait for the document's palette.
    bool m_built = false;
    // The cache as read or last written, and how many roles the last build
    // prepared anew.
    std::map<std::string, CPreparedColor> m_cache;
    size_t m_misses = 0;

    std::map<std::string, CPaletteEntry> m_stored;
    std::map<std::string, CPreparedColor> m_prepared;
};

}  // namespace zel
