// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/Brush.h"

#include <algorithm>
#include <cmath>

#include "Core/ResourceReader.h"
#include "Other/ImageSet.h"

#define ZEL_SOURCE_TAG "CBrush"

namespace zel {

namespace {
constexpr uint32_t kMaxBits = 6;
constexpr uint32_t kMaxStampSize = 64;
constexpr uint32_t kMaxBrushes = 256;
}  // namespace

CErrorPtr CBrush::read(CInputStream& in, double uiScale) {
    ZEL_TRY(in.readReal(m_width));
    ZEL_TRY(in.readUInt32(m_bits));
    if (m_bits > kMaxBits)
        return ZEL_ERROR("@zelstr_CBrush_read_BadBits Unsupported sub-pixel precision of %1 bits.", m_bits);
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    if (count == 0) return ZEL_ERROR("@zelstr_CBrush_read_NoScale No suitable image scale available.");
    if (count > 0xFFFF) return ZEL_ERROR("@zelstr_CBrush_read_TooManyScales Too many brush scales (%1).", count);
    std::vector<double> scales(count);
    for (double& s : scales) ZEL_TRY(in.readReal(s));
    const size_t chosen = chooseScale(scales, uiScale);
    const uint32_t stampCount = 1u << (2 * m_bits);
    for (size_t i = 0; i < count; ++i) {
        uint32_t size;
        double radius;
        ZEL_TRY(in.readUInt32(size));
        ZEL_TRY(in.readReal(radius));
        if (i != chosen) {
            uint32_t bytes;
            ZEL_TRY(in.readUInt32(bytes));
            ZEL_TRY(in.skip(bytes));
            continue;
        }
        if (size == 0 || size > kMaxStampSize || !(radius >= 0 && radius <= kMaxStampSize))
            return ZEL_ERROR("@zelstr_CBrush_read_BadStamp Bad brush stamp size %1.", size);
        const uint32_t expected = size * size * stampCount;
        ZEL_TRY(in.readBlock(m_stamps, expected));
        if (m_stamps.size() != expected)
            return ZEL_ERROR("@zelstr_CBrush_read_BadBlock Brush block of %1 bytes, expected %2.", m_stamps.size(),
                             expected);
        m_scale = scales[i];
        m_size = int(size);
        m_radius = radius;
        m_anchor = std::max(0, int(std::ceil(radius - 0.5)));
    }
    return nullptr;
}

const uint8_t* CBrush::stamp(uint32_t sx, uint32_t sy) const {
    const uint32_t side = 1u << m_bits;
    if (sx >= side || sy >= side || m_stamps.empty()) return nullptr;
    return m_stamps.data() + size_t(sy * side + sx) * m_size * m_size;
}

CErrorPtr CBrushSet::read(CInputStream& in, double uiScale) {
    m_loaded = false;
    m_brushes.clear();
    uint32_t version;
    ZEL_TRY(in.readUInt32(version));
    if (version != 1) return nullptr;
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxBrushes) return ZEL_ERROR("@zelstr_CBrushSet_read_TooMany Too many brushes (%1).", count);
    m_brushes.resize(count);
    for (CBrush& b : m_brushes) ZEL_TRY(b.read(in, uiScale));
    m_loaded = true;
    return nullptr;
}

CErrorPtr CBrushSet::load(const CString& resourceName, double uiScale) {
    CResourceReader reader;
    ZEL_TRY(reader.open(resourceName));
    ZEL_TRY(read(reader, uiScale));
    return nullptr;
}

const CBrush* CBrushSet::find(double width) const {
    const CBrush* best = nullptr;
    double bestDistance = 0;
    for (const CBrush& b : m_brushes) {
        const double d = std::fabs(b.width() - width);
        if (!best || d < bestDistance) {
            best = &b;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace zel
