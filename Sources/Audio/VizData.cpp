// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VizData.h"

#include <algorithm>

#define ZEL_SOURCE_TAG "VizData"

namespace zel {

CErrorPtr CAudioVizDataMeter::write(COutputStream& out) const {
    ZEL_TRY(out.writeReal(level));
    ZEL_TRY(out.writeReal(peak));
    return nullptr;
}

CErrorPtr CAudioVizDataMeter::read(CInputStream& in) {
    ZEL_TRY(in.readReal(level));
    ZEL_TRY(in.readReal(peak));
    return nullptr;
}

// ---------------------------------------------------------------- info

bool CAudioVizDataInfo::add(double v) {
    if (m_count == kMaxValues) return false;
    m_values[m_count++] = v;
    return true;
}

CErrorPtr CAudioVizDataInfo::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(uint32_t(m_count)));
    for (size_t i = 0; i < m_count; ++i) ZEL_TRY(out.writeReal(m_values[i]));
    return nullptr;
}

CErrorPtr CAudioVizDataInfo::read(CInputStream& in) {
    uint32_t count = 0;
    m_count = 0;
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxValues)
        return ZEL_ERROR(
            "@zelstr_CAudioVizDataInfo_read_TooMany Visualisation data holds %1 values, at most %2 are allowed.", count,
            kMaxValues);
    for (uint32_t i = 0; i < count; ++i) ZEL_TRY(in.readReal(m_values[i]));
    m_count = count;
    return nullptr;
}

// ---------------------------------------------------------------- spectrum

void CAudioVizDataSpectrum::setBands(const double* bands, size_t count) {
    m_count = std::min(count, kMaxBands);
    std::copy(bands, bands + m_count, m_bands.begin());
}

CErrorPtr CAudioVizDataSpectrum::write(COutputStream& out) const {
    ZEL_TRY(out.writeReal(lowFrequency));
    ZEL_TRY(out.writeReal(highFrequency));
    ZEL_TRY(out.writeUInt32(uint32_t(m_count)));
    for (size_t i = 0; i < m_count; ++i) ZEL_TRY(out.writeReal(m_bands[i]));
    return nullptr;
}

CErrorPtr CAudioVizDataSpectrum::read(CInputStream& in) {
    uint32_t count = 0;
    m_count = 0;
    ZEL_TRY(in.readReal(lowFrequency));
    ZEL_TRY(in.readReal(highFrequency));
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxBands)
        return ZEL_ERROR(
            "@zelstr_CAudioVizDataSpectrum_read_TooMany Visualisation data holds %1 bands, at most %2 are allowed.",
            count, kMaxBands);
    for (uint32_t i = 0; i < count; ++i) ZEL_TRY(in.readReal(m_bands[i]));
    m_count = count;
    return nullptr;
}

// ---------------------------------------------------------------- colours

void CAudioVizDataRGB::setColors(const uint32_t* colors, size_t count) {
    m_count = std::min(count, kMaxColors);
    for (size_t i = 0; i < m_count; ++i) m_colors[i] = colors[i] & 0xFFFFFFu;
}

CErrorPtr CAudioVizDataRGB::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(uint32_t(m_count)));
    for (size_t i = 0; i < m_count; ++i) ZEL_TRY(out.writeUInt32(m_colors[i]));
    return nullptr;
}

CErrorPtr CAudioVizDataRGB::read(CInputStream& in) {
    uint32_t count = 0;
    m_count = 0;
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxColors)
        return ZEL_ERROR(
            "@zelstr_CAudioVizDataRGB_read_TooMany Visualisation data holds %1 colours, at most %2 are allowed.", count,
            kMaxColors);
    for (uint32_t i = 0; i < count; ++i) {
        ZEL_TRY(in.readUInt32(m_colors[i]));
        m_colors[i] &= 0xFFFFFFu;
    }
    m_count = count;
    return nullptr;
}

}  // namespace zel
