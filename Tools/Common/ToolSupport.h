// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers shared by the build-time tools: whole-file I/O and
// little-endian integers. The tools report failures as ToolError and exit 1.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace lagwell::tools {

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path + ": cannot open for reading");
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError(path + ": read error");
    return data;
}

// Writes through a temporary file and a rename, so that an interrupted build
// never leaves a truncated output that looks up to date.
inline void writeFile(const std::string& path, const void* data, size_t size) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw ToolError(tmp + ": cannot open for writing");
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) throw ToolError(tmp + ": write error");
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) throw ToolError(path + ": cannot replace (" + ec.message() + ")");
}

// Leaves the file (and its time stamp) alone when the content is the same,
// so that whatever is built from it stays up to date.
inline bool writeFileIfChanged(const std::string& path, const std::string& text) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        const std::vector<unsigned char> old = readFile(path);
        if (old.size() == text.size() && std::equal(old.begin(), old.end(), text.begin(), [](unsigned char a, char b) {
                return a == static_cast<unsigned char>(b);
            }))
            return false;
    }
    writeFile(path, text.data(), text.size());
    return true;
}

inline void putU16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

inline void putU32(std::vector<unsigned char>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

inline void patchU32(std::vector<unsigned char>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint32_t getU16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

inline uint32_t getU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace lagwell::tools
