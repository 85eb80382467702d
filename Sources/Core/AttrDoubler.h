// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Object.h"

namespace zel {

// `core:attr-doubler`: copies its `value` into attribute `attr` of every
// object in `target` (paths separated by single spaces), at init and again
// whenever `value` changes.
class CAttrDoubler : public CObject {
public:
    static void setupClass(CClassInfo& info);

    CErrorPtr init() override;

private:
    CErrorPtr onValueChanged();
    CErrorPtr copyToTargets();

    bool m_initialised = false;
};

}  // namespace zel
