// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Core/Stream.h"

namespace zel {

// A block of values that the audio side produces for the editor to draw.
// Each kind has a fixed capacity, so that the audio thread can fill one
// without allocating, and a stream form in the primitive encodings.
class CAudioVizData {
public:
    enum EKind { kMeter, kInfo, kSpectrum, kRGB };

    virtual ~CAudioVizData() = default;
    virtual EKind kind() const = 0;
    virtual CErrorPtr write(COutputStream& out) const = 0;
    // Replaces the values; on failure they are unspecified.
    virtual CErrorPtr read(CInputStream& in) = 0;
};

// One channel's meter reading of one visual frame: linear amplitudes.
class CAudioVizDataMeter final : public CAudioVizData {
public:
    CAudioVizDataMeter() = default;
    CAudioVizDataMeter(double level, double peak) : level(level), peak(peak) {}

    EKind kind() const override { return kMeter; }
    // Two doubles, the level first.
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;

    double level = 0.0;
    double peak = 0.0;
};

// A short list of plain numbers (facts such as the sample rate or a
// channel count), in the producer's order.
class CAudioVizDataInfo final : public CAudioVizData {
public:
    static constexpr size_t kMaxValues = 16;

    EKind kind() const override { return kInfo; }
    // u32 count, then the doubles.
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;

    size_t count() const { return m_count; }
    double value(size_t i) const { return m_values[i]; }
    // False when the list is full.
    bool add(double v);
    void clear() { m_count = 0; }

private:
    std::array<double, kMaxValues> m_values{};
    size_t m_count = 0;
};

// Band magnitudes (linear) over a frequency range, lowest band first.
class CAudioVizDataSpectrum final : public CAudioVizData {
public:
    static constexpr size_t kMaxBands = 512;

    EKind kind() const override { return kSpectrum; }
    // Lowest and highest frequency as doubles, u32 band count, then the
    // magnitudes as doubles.
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;

    size_t bandCount() const { return m_count; }
    double band(size_t i) const { return m_bands[i]; }
    // Keeps at most kMaxBands of `bands`.
    void setBands(const double* bands, size_t count);

    double lowFrequency = 0.0;
    double highFrequency = 0.0;

private:
    std::array<double, kMaxBands> m_bands{};
    size_t m_count = 0;
};

// A row of colours (0xRRGGBB) that a producer computed for display.
class CAudioVizDataRGB final : public CAudioVizData {
public:
    static constexpr size_t kMaxColors = 256;

    EKind kind() const override { return kRGB; }
    // u32 count, then each colour as a u32.
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CInputStream& in) override;

    size_t count() const { return m_count; }
    uint32_t color(size_t i) const { return m_colors[i]; }
    // Keeps at most kMaxColors of `colors`; the top byte is dropped.
    void setColors(const uint32_t* colors, size_t count);

private:
    std::array<uint32_t, kMaxColors> m_colors{};
    size_t m_count = 0;
};

}  // namespace zel
