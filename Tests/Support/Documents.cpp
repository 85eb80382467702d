// SPDX-License-Identifier: GPL-3.0-or-later
#include "Support/Documents.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace zel {

std::string documentScratchPath(const std::string& file) {
    return std::string(LAGWELL_TEST_SCRATCH) + "/" + file;
}

std::vector<uint8_t> compileDocument(const std::string& xml, const std::string& leaf) {
    std::system(("mkdir -p '" + documentScratchPath("") + "'").c_str());
    const std::string in = documentScratchPath(leaf + ".xml"), out = documentScratchPath(leaf + ".bin");
    std::remove(out.c_str());
    std::ofstream(in) << xml;
    const std::string cmd = std::string("'") + LAGWELL_XMLC + "' '" + in + "' '" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace zel
