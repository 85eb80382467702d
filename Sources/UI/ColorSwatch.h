// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Object.h"

namespace zel {

// `ui:color-swatch`: numbered colour roles to choose from; its entries are
// `core:object` children with `is-color`, `index` and `color` (a role).
// Controls pick one by number (a knob's `color-index`).
class CColorSwatch : public CObject {
public:
    // The role at `index`; an index without one writes "WRONG COLOR INDEX"
    // to the debug log and gives false.
    bool role(long long index, CString& out) const;
};

// `ui:view-color-slot`: puts the role `color` into slot `slot-index` of its
// parent view's colour slots (`color-slots`, a list of roles that controls
// with several colours read by number). A slot the list does not have
// writes "WRONG SLOT INDEX" to the debug log and changes nothing.
class CViewColorSlot : public CObject {
public:
    CErrorPtr init() override;
};

// The roles of a `color-slots` list ("Knob;KnobText", spaces also separate).
std::vector<CString> colourSlots(const CString& list);

}  // namespace zel
