// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/ImageSet.h"

#include <cmath>
#include <cstring>

#include "Core/Debug.h"
#include "Core/ResourceReader.h"
#include "Other/ResourceStream.h"

#define ZEL_SOURCE_TAG "CImageSet"

namespace zel {

namespace {
// Larger canvases are refused before anything is allocated for them.
constexpr uint32_t kMaxCanvasPixels = 4u << 20;
constexpr size_t kFixedBytes = 24;
}  // namespace

CErrorPtr CImageLayerData::read(CInputStream& in) {
    m_pixels.clear();
    uint8_t fixed[kFixedBytes];
    ZEL_TRY(in.read(fixed, sizeof fixed));
    m_width = loadI16(fixed);
    m_height = loadI16(fixed + 2);
    m_offsetX = loadI16(fixed + 4);
    m_offsetY = loadI16(fixed + 6);
    m_nominalWidth = loadI16(fixed + 8);
    m_nominalHeight = loadI16(fixed + 10);
    m_level = loadI16(fixed + 12);
    m_channels = loadI16(fixed + 22);
    int16_t marker;
    ZEL_TRY(readI16(in, marker));
    if (marker >= 0) {
        // No stored set uses this form; the two values carry nothing we draw.
        ZEL_TRY(in.skip(4));
        return nullptr;
    }
    if (m_width < 0 || m_height < 0 || uint32_t(m_width) * uint32_t(m_height) > kMaxCanvasPixels)
        return ZEL_ERROR("@zelstr_CImageLayerData_read_BadSize Bad image canvas size %1 x %2.", int(m_width),
                         int(m_height));
    if (m_channels != 1 && m_channels != 2 && m_channels != 4)
        return ZEL_ERROR("@zelstr_CImageLayerData_read_BadChannels Unsupported channel count %1.", int(m_channels));
    const uint64_t bound = 2 + 4 * uint64_t(m_height) + uint64_t(m_width) * m_height * (1 + m_channels);
    std::vector<uint8_t> block;
    ZEL_TRY(in.readBlock(block, uint32_t(bound)));
    ZEL_TRY(unpack(block));
    return nullptr;
}

CErrorPtr CImageLayerData::skip(CInputStream& in) {
    ZEL_TRY(in.skip(kFixedBytes));
    int16_t marker;
    ZEL_TRY(readI16(in, marker));
    if (marker >= 0) {
        ZEL_TRY(in.skip(4));
        return nullptr;
    }
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    ZEL_TRY(in.skip(count));
    return nullptr;
}

CErrorPtr CImageLayerData::unpack(const std::vector<uint8_t>& block) {
    const uint8_t* base = block.data();
    const uint8_t* end = base + block.size();
    const size_t table = 2 + 4 * size_t(m_height);
    if (block.size() < table || loadU16(base) != uint16_t(m_height))
        return ZEL_ERROR("@zelstr_CImageLayerData_unpack_BadTable Pixel block of %1 bytes does not fit %2 rows.",
                         block.size(), int(m_height));
    m_pixels.assign(size_t(m_width) * m_height * m_channels, 0);
    for (int y = 0; y < m_height; ++y) {
        const uint32_t offset = loadU32(base + 2 + 4 * size_t(y));
        if (offset == 0) continue;
        if (offset < table || offset >= block.size())
            return ZEL_ERROR("@zelstr_CImageLayerData_unpack_BadRow Row %1 starts outside its pixel block.", y);
        ZEL_TRY(unpackRow(base + offset, end, m_pixels.data() + size_t(y) * m_width * m_channels));
    }
    return nullptr;
}

CErrorPtr CImageLayerData::unpackRow(const uint8_t* p, const uint8_t* end, uint8_t* out) {
    using namespace pixelpack;
    const int ch = m_channels;
    int x = 0;
    while (x < m_width) {
        if (p >= end) return ZEL_ERROR("@zelstr_CImageLayerData_unpackRow_Short Packed row ends early.");
        const int n = *p >> 3;
        const int kind = *p & 7;
        ++p;
        if (n == 0 || x + n > m_width)
            return ZEL_ERROR("@zelstr_CImageLayerData_unpackRow_BadRun Run of %1 pixels at %2 does not fit the row.", n,
                             x);
        size_t payload = 0;
        bool valid = false;
        switch (kind) {
            case kClear:
                valid = true;
                break;
            case kLiteral1:
                valid = ch == 1;
                payload = n;
                break;
            case kLevel:
                valid = ch <= 2;
                break;
            case kLiteral2:
                valid = ch == 2;
                payload = 2 * size_t(n);
                break;
            case kOpaque2:
                valid = ch == 2;
                payload = n;
                break;
            case kRepeat2:
                valid = ch == 2;
                payload = 2;
                break;
            case kLiteral4:
                valid = ch == 4;
                payload = 4 * size_t(n);
                break;
            case kRepeat4:
                valid = ch == 4;
                payload = 4;
                break;
        }
        if (!valid)
            return ZEL_ERROR("@zelstr_CImageLayerData_unpackRow_BadKind Run kind %1 is not allowed with %2 channels.",
                             kind, ch);
        if (size_t(end - p) < payload)
            return ZEL_ERROR("@zelstr_CImageLayerData_unpackRow_Short Packed row ends early.");
        uint8_t* o = out + size_t(x) * ch;
        for (int i = 0; i < n; ++i, o += ch) {
            switch (kind) {
                case kClear:
                    break;
                case kLiteral1:
                    o[0] = p[i];
                    break;
                case kLevel:
                    o[0] = uint8_t(m_level);
                    if (ch == 2) o[1] = 255;
                    break;
                case kLiteral2:
                    std::memcpy(o, p + 2 * i, 2);
                    break;
                case kOpaque2:
                    o[0] = p[i];
                    o[1] = 255;
                    break;
                case kRepeat2:
                    std::memcpy(o, p, 2);
                    break;
                case kLiteral4:
                    std::memcpy(o, p + 4 * i, 4);
                    break;
                case kRepeat4:
                    std::memcpy(o, p, 4);
                    break;
            }
        }
        p += payload;
        x += n;
    }
    return nullptr;
}

size_t chooseScale(const std::vector<double>& scales, double uiScale) {
    size_t best = 0;
    double bestDistance = 99999.0;
    for (size_t i = 0; i < scales.size(); ++i) {
        const double d = std::fabs(scales[i] - uiScale);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

CErrorPtr CImageLayer::read(CInputStream& in, double uiScale) {
    uint16_t count;
    ZEL_TRY(readI16(in, m_role));
    ZEL_TRY(readU16(in, count));
    if (count == 0) return ZEL_ERROR("@zelstr_CImageLayer_read_NoScale No suitable image scale available.");
    std::vector<double> scales(count);
    for (double& s : scales) ZEL_TRY(in.readReal(s));
    const size_t chosen = chooseScale(scales, uiScale);
    m_scale = scales[chosen];
    for (size_t i = 0; i < count; ++i) {
        if (i == chosen)
            ZEL_TRY(m_data.read(in));
        else
            ZEL_TRY(CImageLayerData::skip(in));
    }
    return nullptr;
}

CErrorPtr CImage::read(CInputStream& in, double uiScale) {
    uint16_t count;
    ZEL_TRY(readU16(in, count));
    m_layers.clear();
    m_layers.resize(count);
    for (CImageLayer& layer : m_layers) ZEL_TRY(layer.read(in, uiScale));
    return nullptr;
}

const CImageLayer* CImage::findLayer(int role) const {
    for (const CImageLayer& layer : m_layers)
        if (layer.role() == role) return &layer;
    return nullptr;
}

CErrorPtr CImageSet::read(CInputStream& in, double uiScale) {
    m_loaded = false;
    m_ranges.clear();
    m_images.clear();
    uint32_t version;
    ZEL_TRY(in.readUInt32(version));
    if (version != 1) return nullptr;
    uint32_t rangeCount;
    ZEL_TRY(in.readUInt32(rangeCount));
    for (uint32_t i = 0; i < rangeCount; ++i) {
        CRange r;
        ZEL_TRY(in.readString(r.name));
        ZEL_TRY(in.readUInt32(r.first));
        ZEL_TRY(in.readUInt32(r.last));
        m_ranges.push_back(std::move(r));
    }
    uint32_t imageCount;
    ZEL_TRY(in.readUInt32(imageCount));
    for (uint32_t i = 0; i < imageCount; ++i) {
        uint32_t number;
        ZEL_TRY(in.readUInt32(number));
        CImage image;
        ZEL_TRY(image.read(in, uiScale));
        m_images[number] = std::move(image);
    }
    m_loaded = true;
    return nullptr;
}

CErrorPtr CImageSet::load(const CString& resourceName, double uiScale) {
    CResourceReader reader;
    ZEL_TRY(reader.open(resourceName));
    ZEL_TRY(read(reader, uiScale));
    return nullptr;
}

const CImageSet::CRange* CImageSet::findRange(const CString& name) const {
    size_t lo = 0, hi = m_ranges.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const int c = m_ranges[mid].name.compare(name);
        if (c == 0) return &m_ranges[mid];
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return nullptr;
}

const CImage* CImageSet::image(uint32_t number) const {
    auto it = m_images.find(number);
    return it == m_images.end() ? nullptr : &it->second;
}

const CImage* CImageSet::image(const CString& range, uint32_t index) const {
    const CRange* r = findRange(range);
    if (!r) {
        debugLog("Range not found <%s>", range.utf8().c_str());
        return nullptr;
    }
    if (r->first > r->last || index > r->last - r->first) return nullptr;
    return image(r->first + index);
}

}  // namespace zel
