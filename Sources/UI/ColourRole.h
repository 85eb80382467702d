// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/String.h"
#include "Other/LinearBitmap.h"

namespace zel {

// The colour of a role in the built-in scheme; false for a role it does
// not name. The editor's palette takes this over once it exists.
bool colourForRole(const CString& role, CColor& out);

}  // namespace zel
