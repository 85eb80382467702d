// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// What a module writes instead of exact silence: ±1e-11 from a 32-bit
// linear congruential generator, far below hearing but never zero, so that
// later stages never meet runs of zeros or denormals. Each module keeps its
// own seed, starting at 0.
class CNoiseFloor {
public:
    void reset() { m_seed = 0; }

    void write(double* out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            m_seed = m_seed * 30013u + 30011u;
            // Bit 23 picks the sign: 0x800000 × 2^-23 × 2e-11 = 2e-11.
            out[i] = double(m_seed & 0x800000u) * 2.384185791015625e-18 - 1e-11;
        }
    }

private:
    uint32_t m_seed = 0;
};

}  // namespace zel
