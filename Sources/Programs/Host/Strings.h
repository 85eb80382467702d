// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The host's texts are UTF-8; the plug-in interfaces speak UTF-16 in fixed
// arrays of 128 units.

#include <cstddef>
#include <string>

#include "pluginterfaces/vst/vsttypes.h"

namespace lagwell::host {

// Reads up to the terminator or `capacity` units; a lone surrogate becomes U+FFFD.
std::string toUtf8(const Steinberg::Vst::TChar* text, size_t capacity = 128);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string toUtf16(const std::string& text);
// Copies into a fixed array, cut to fit with the terminator, never inside a
// surrogate pair.
void copyUtf16(const std::string& text, Steinberg::Vst::TChar* out, size_t capacity = 128);

}  // namespace lagwell::host
