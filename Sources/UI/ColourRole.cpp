// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ColourRole.h"

#include <cstring>
#include <string>

namespace zel {

namespace {

struct CRoleTone {
    const char* role;
    CColor tone;
};

// The editable roles of the built-in scheme.
const CRoleTone kTones[] = {
    {"Border", 0x3f3e2b},
    {"Background", 0xb3ad8f},
    {"Panel", 0xf6edce},
    {"PanelText", 0x000000},
    {"TitleFrame", 0xf6edce},
    {"TitleFrameText", 0x000000},
    {"ListItemMarker", 0x3971b8},
    {"WindowTitle", 0xeed977},
    {"WindowTitleText", 0x000000},
    {"HintPanel", 0xfffcf3},
    {"HintPanelText", 0x000000},
    {"SpotlightColor", 0xfff8d8},
    {"Action", 0xfff8d8},
    {"ActionText", 0x000000},
    {"ActionAlt", 0xbecfff},
    {"ActionAltText", 0x000000},
    {"ActionError", 0xff0000},
    {"OfflineRender_Active1", 0x00ff00},
    {"ActionErrorText", 0xffffff},
    {"Selection", 0xffe672},
    {"SelectionText", 0x000000},
    {"RulerLabel", 0x000000},
    {"RulerLabelText", 0x000000},
    {"CSBackground", 0xf6edce},
    {"CSPoint", 0xffa443},
    {"CSPointNumText", 0xffffff},
    {"CSPointOff", 0x999999},
    {"CSReadoutsText", 0xffffff},
    {"GraphCurrentLines", 0xffa443},
    {"GraphCurrentAltLines", 0x58bdf7},
    {"GraphWeightedLines", 0xff0000},
    {"Line", 0xffffff},
    {"GraphSummaryAltLines", 0xffe672},
    {"GraphLines", 0x404033},
    {"CrosshairLine", 0xffffff},
    {"CustomSpec11", 0x838cff},
    {"CustomSpec12", 0x3679fd},
    {"CustomSpec13", 0x787878},
    {"CustomSpec14", 0xf92896},
    {"CustomSpec15", 0x29f8a6},
    {"CustomSpec16", 0x7940f6},
    {"Indicator", 0xfdd624},
    {"KnobText", 0xffffff},
    {"Custom1", 0xffa443},
    {"Custom2", 0xff83bd},
    {"Custom3", 0xd483ff},
    {"Custom4", 0x838cff},
    {"Custom5", 0x58bdf7},
    {"Custom6", 0x36d99d},
    {"Custom7", 0x93cc17},
    {"Custom8", 0xf0e81b},
    {"Custom9", 0xd9d8c6},
    {"LevelMeterZone1", 0x16b900},
    {"LevelMeterZone2", 0xfdd624},
    {"LevelMeterZone3", 0xe61010},
    {"LevelMeterPeak", 0xffffff},
    {"LevelMeterPeakRed", 0xff0000},
    {"LevelMeterGraph", 0xffa443},
    {"LevelMeterWaveform2", 0x58bdf7},
    {"LevelMeterWaveform", 0xf0e81b},
};

}  // namespace

bool colourForRole(const CString& role, CColor& out) {
    const std::string name = role.utf8();
    for (const CRoleTone& entry : kTones)
        if (name == entry.role) {
            out = entry.tone;
            return true;
        }
    return false;
}

}  // namespace zel
