// SPDX-License-Identifier: GPL-3.0-or-later
#include "Support/Documents.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Support/RunProgram.h"

namespace zel {

namespace {

// One folder per test process: CTest runs the programs side by side, and
// two of them compiling the same leaf would read each other's half-written
// files.
const std::string& scratchFolder() {
    static const std::string folder = [] {
        const std::string path = std::string(LAGWELL_TEST_SCRATCH) + "/" + std::to_string(getpid());
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

}  // namespace

std::string documentScratchPath(const std::string& file) { return scratchFolder() + "/" + file; }

void removeDocumentScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
}

std::vector<uint8_t> compileDocument(const std::string& xml, const std::string& leaf) {
    const std::string in = documentScratchPath(leaf + ".xml"), out = documentScratchPath(leaf + ".bin");
    std::remove(out.c_str());
    std::ofstream(in) << xml;
    const test::RunResult run = test::runProgram(LAGWELL_XMLC, {in, out});
    EXPECT_EQ(run.status, 0) << in << ": " << run.output;
    std::ifstream f(out, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace zel
