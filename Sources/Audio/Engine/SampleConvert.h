// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

namespace zel {

// Host samples to the engine's doubles and back, in one pass per channel,
// four samples at a time with packed conversions (SSE2 is part of every
// x86-64 processor). Conversions round as a cast does.
inline void convertSamples(const float* in, double* out, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        _mm_storeu_pd(out + i, _mm_cvtps_pd(x));
        _mm_storeu_pd(out + i + 2, _mm_cvtps_pd(_mm_movehl_ps(x, x)));
    }
    for (; i < n; ++i) out[i] = double(in[i]);
}

inline void convertSamples(const double* in, float* out, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 low = _mm_cvtpd_ps(_mm_loadu_pd(in + i));
        const __m128 high = _mm_cvtpd_ps(_mm_loadu_pd(in + i + 2));
        _mm_storeu_ps(out + i, _mm_movelh_ps(low, high));
    }
    for (; i < n; ++i) out[i] = float(in[i]);
}

inline void convertSamples(const double* in, double* out, size_t n) { std::memcpy(out, in, n * sizeof(double)); }

}  // namespace zel
