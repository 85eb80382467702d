// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"

namespace zel {

// `ui:style` ("style"): the editor's look, from the global settings
// `ui-flat-panels`, `ui-shadows`, `ui-spotlight`, `ui-textures` and
// `ui-flat-meters`. Views bind to what it derives from them:
// `is-shadow-hidden`, `is-global-light-hidden`, `is-texture-hidden`,
// `is-flat-meters`, and the panel roles `current-panel-color` and
// `current-panel-gradient-color` ("Panel" and "PanelGradient" for flat
// panels, else `panel-color` and `panel-gradient-color`).
class CStyle : public CObject {
public:
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;

private:
    void derive();

    bool m_ready = false;
};

}  // namespace zel
