// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Preset bank files of the plug-in ("abnk" blocks), such as the factory bank
// the build makes: their presets' names, and one preset as the compressed
// preset record that the plug-in takes as its state.

#include <cstdint>
#include <string>
#include <vector>

namespace lagwell::render {

std::vector<std::string> bankPresetNames(const std::string& path);
std::vector<uint8_t> bankPresetState(const std::string& path, size_t index);

}  // namespace lagwell::render
