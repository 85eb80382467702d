// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/String.h"

namespace zel {

// Parameter code rounds half away from zero everywhere (2.5 → 3, -2.5 → -3).
double roundHalfAway(double value);
// The same, to a 64-bit integer; values beyond its range saturate, NaN is 0.
long long roundHalfAwayToInt(double value);

// `value` × 10^decimals rounded half away from zero, printed with exactly
// `decimals` digits after "." (none and no point for 0). "-" only when the
// rounded integer is negative, so -0.04 with one decimal is "0.0".
// At most 18 decimals.
CString formatNumber(double value, unsigned decimals);

// A number typed by the user: optional sign, digits with one "." or ","
// as decimal separator, optional exponent. Reading stops at the first
// other character; false when no digit precedes it.
bool parseNumber(const CString& text, double& out);
// Optional sign and decimal digits, stopping at the first other character;
// false without digits. Saturates at the 64-bit range.
bool parseWholeNumber(const CString& text, long long& out);

}  // namespace zel
