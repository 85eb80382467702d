// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the image-set, font and brush readers (the size
// picks the UI scale) and draws whatever they accept, so that hostile
// canvases, offsets and stamps are clipped, never overrun.
#include "Core/MemoryStream.h"
#include "Other/Draw.h"

using namespace zel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const double scales[] = {0.8, 1.0, 1.25, 1.125};
    const double scale = scales[size & 3];
    CLinearBitmap bmp;
    bmp.resize(48, 32);
    const CRect clip{4, 2, 40, 30};
    {
        CMemoryReaderStatic in(data, size);
        CImageSet set;
        if (!set.read(in, scale)) {
            int pos = -20;
            for (const auto& entry : set.images()) {
                drawImage(bmp, clip, entry.second, pos, pos / 2, 0x808080, 0.7);
                drawBorder(bmp, clip, set, entry.first, {pos, 0, pos + 30, 20}, 0x102030, 1.0);
                pos += 7;
            }
            for (const CImageSet::CRange& r : set.ranges()) set.image(r.name, 1);
        }
    }
    {
        CMemoryReaderStatic in(data, size);
        CFont font;
        if (!font.read(in, scale)) {
            CString text;
            for (const auto& entry : font.glyphs().images()) text.append(char16_t(entry.first));
            drawText(bmp, clip, font, -3, 20, text + "\nA", 0xFFFFFF, 1.0);
        }
    }
    {
        CMemoryReaderStatic in(data, size);
        CBrushSet set;
        if (!set.read(in, scale))
            for (const CBrush& b : set.brushes())
                drawCurve(bmp, clip, b, {-5, 40}, {10, -10}, {30, 50}, {50, 3}, 0xFF00FF, 0.5);
    }
    return 0;
}
