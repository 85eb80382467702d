// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// Compiles a text definition document with the build's own compiler
// (lagwell-xmlc); `leaf` names the scratch files in the build folder. A
// failure is reported as a test failure and gives no bytes.
std::vector<uint8_t> compileDocument(const std::string& xml, const std::string& leaf);
// Where compileDocument leaves "<leaf>.bin": a folder of this process's own.
std::string documentScratchPath(const std::string& file);
// Removes this process's scratch folder (at the end of the test program).
void removeDocumentScratch();

}  // namespace zel
