// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

namespace zel {

// Packed pixel rows. Every run starts with a byte c: length n = c >> 3
// (1 to 31), kind k = c & 7. The kinds a block may use depend on its
// channel count:
//   k 0 (all)   n transparent pixels, no payload
//   k 1 (1 ch)  n literal coverage bytes
//   k 2 (1, 2)  n pixels of the layer's level value (2 ch: level, alpha 255)
//   k 3 (2 ch)  n literal pixels of 2 bytes: grey, alpha
//   k 4 (2 ch)  n opaque pixels: n grey bytes, alpha 255
//   k 5 (2 ch)  n copies of one 2-byte pixel
//   k 6 (4 ch)  n literal pixels of 4 bytes: blue, green, red, alpha
//   k 7 (4 ch)  n copies of one 4-byte pixel
// Grey-with-alpha pixels carry no colour: 128 is the tint colour itself,
// darker and lighter values shade it (see CTint). Alpha is not premultiplied.
namespace pixelpack {
enum : uint8_t {
    kClear = 0,
    kLiteral1 = 1,
    kLevel = 2,
    kLiteral2 = 3,
    kOpaque2 = 4,
    kRepeat2 = 5,
    kLiteral4 = 6,
    kRepeat4 = 7,
};
}  // namespace pixelpack

// One stored copy of a layer, unpacked: width × height pixels of `channels`
// bytes, rows top to bottom.
class CImageLayerData {
public:
    // Reads the 24 fixed bytes, the marker and the pixels.
    CErrorPtr read(CInputStream& in);
    // Passes over a copy that another scale was chosen over.
    static CErrorPtr skip(CInputStream& in);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int offsetX() const { return m_offsetX; }
    int offsetY() const { return m_offsetY; }
    int nominalWidth() const { return m_nominalWidth; }
    int nominalHeight() const { return m_nominalHeight; }
    int level() const { return m_level; }
    int channels() const { return m_channels; }
    bool hasPixels() const { return !m_pixels.empty(); }
    const uint8_t* row(int y) const { return m_pixels.data() + size_t(y) * m_width * m_channels; }

private:
    CErrorPtr unpack(const std::vector<uint8_t>& block);
    CErrorPtr unpackRow(const uint8_t* p, const uint8_t* end, uint8_t* out);

    int16_t m_width = 0, m_height = 0;
    int16_t m_offsetX = 0, m_offsetY = 0;
    int16_t m_nominalWidth = 0, m_nominalHeight = 0;
    int16_t m_level = 0;
    int16_t m_channels = 0;
    std::vector<uint8_t> m_pixels;
};

// Picks the stored scale closest to `uiScale`; the first of equal
// distances wins.
size_t chooseScale(const std::vector<double>& scales, double uiScale);

class CImageLayer {
public:
    // Reads every scale's copy but keeps only the one closest to `uiScale`.
    CErrorPtr read(CInputStream& in, double uiScale);

    int role() const { return m_role; }
    double scale() const { return m_scale; }
    const CImageLayerData& data() const { return m_data; }

private:
    int16_t m_role = 0;
    double m_scale = 0;
    CImageLayerData m_data;
};

class CImage {
public:
    CErrorPtr read(CInputStream& in, double uiScale);

    const std::vector<CImageLayer>& layers() const { return m_layers; }
    // The layout size, taken from the first layer.
    int nominalWidth() const { return m_layers.empty() ? 0 : m_layers[0].data().nominalWidth(); }
    int nominalHeight() const { return m_layers.empty() ? 0 : m_layers[0].data().nominalHeight(); }
    const CImageLayer* findLayer(int role) const;

private:
    std::vector<CImageLayer> m_layers;
};

// Named, numbered images at one UI scale.
class CImageSet {
public:
    struct CRange {
        CString name;
        uint32_t first = 0;
        uint32_t last = 0;
    };

    // A version other than 1 leaves the set empty without an error.
    CErrorPtr read(CInputStream& in, double uiScale);
    // Opens an embedded resource (or the file of that name) and reads it whole.
    CErrorPtr load(const CString& resourceName, double uiScale);

    bool isLoaded() const { return m_loaded; }
    const std::vector<CRange>& ranges() const { return m_ranges; }
    // Binary search over the sorted names; null when missing.
    const CRange* findRange(const CString& name) const;
    // Null when no image has that number.
    const CImage* image(uint32_t number) const;
    // The image at `index` within a named range; a missing range is logged
    // and yields null, as does an index past the range.
    const CImage* image(const CString& range, uint32_t index) const;
    uint32_t imageCount() const { return uint32_t(m_images.size()); }
    const std::map<uint32_t, CImage>& images() const { return m_images; }

private:
    bool m_loaded = false;
    std::vector<CRange> m_ranges;
    std::map<uint32_t, CImage> m_images;
};

}  // namespace zel
