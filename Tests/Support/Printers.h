// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "Core/String.h"

namespace zel {

// Readable texts in test failure messages.
inline void PrintTo(const CString& s, std::ostream* os) { *os << '"' << s.utf8() << '"'; }

}  // namespace zel
