// SPDX-License-Identifier: GPL-3.0-or-later
//
// lagwell-bsgen out_file
//
// Writes the brush set: six round pens, each at the UI scales 0.8, 1.0 and
// 1.25, with 16 × 16 sub-pixel stamps. A pen of width w at scale s reaches
// r = 0.5 + w·s/2 from its centre (its edge plus half a pixel of
// anti-aliasing) and fits a stamp of n = ⌈2r⌉ + 1 pixels wherever the centre
// falls within its pixel. Coverage falls linearly from 1 to 0 over the last
// pixel: clamp(r − d, 0, 1) for a pixel centre at distance d.

#include <algorithm>
#include <cmath>
#include <iostream>

#include "ResourceWriter.h"

using namespace lagwell::tools;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: lagwell-bsgen out_file\n";
        return 2;
    }
    const double widths[] = {0.0, 1.5, 2.0, 2.25, 2.5, 3.5};
    const double scales[] = {0.8, 1.0, 1.25};
    const uint32_t bits = 4;
    const int side = 1 << bits;
    Bytes out;
    putU32(out, 1);
    putU32(out, 6);
    for (double width : widths) {
        putF64(out, width);
        putU32(out, bits);
        putU32(out, 3);
        for (double s : scales) putF64(out, s);
        for (double s : scales) {
            const double r = 0.5 + width * s / 2;
            const int n = static_cast<int>(std::ceil(2 * r)) + 1;
            // The centre's pixel within the stamp; matches CBrush::anchor().
            const int anchor = std::max(0, static_cast<int>(std::ceil(r - 0.5)));
            putU32(out, static_cast<uint32_t>(n));
            putF64(out, r);
            putU32(out, static_cast<uint32_t>(n * n * side * side));
            for (int sy = 0; sy < side; ++sy)
                for (int sx = 0; sx < side; ++sx) {
                    const double cx = anchor + double(sx) / side, cy = anchor + double(sy) / side;
                    for (int j = 0; j < n; ++j)
                        for (int i = 0; i < n; ++i) {
                            const double d = std::hypot(i + 0.5 - cx, j + 0.5 - cy);
                            const double cov = std::clamp(r - d, 0.0, 1.0);
                            out.push_back(static_cast<unsigned char>(std::lround(cov * 255)));
                        }
                }
        }
    }
    try {
        writeFile(argv[1], out.data(), out.size());
    } catch (const std::exception& e) {
        std::cerr << "lagwell-bsgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
