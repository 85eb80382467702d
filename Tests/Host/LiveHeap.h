// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace lagwell::host::test {

// Bytes held by operator new in the whole process, the plug-in module's
// allocations included: the host tests replace the global operator new.
size_t liveHeapBytes();

}  // namespace lagwell::host::test
