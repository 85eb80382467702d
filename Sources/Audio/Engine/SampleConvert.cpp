// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/SampleConvert.h"

#include <immintrin.h>

namespace zel {

void convertSamplesAnywhere(const float* in, double* out, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(in + i);
        _mm_storeu_pd(out + i, _mm_cvtps_pd(x));
        _mm_storeu_pd(out + i + 2, _mm_cvtps_pd(_mm_movehl_ps(x, x)));
    }
    for (; i < n; ++i) out[i] = double(in[i]);
}

void convertSamplesAnywhere(const double* in, float* out, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 low = _mm_cvtpd_ps(_mm_loadu_pd(in + i));
        const __m128 high = _mm_cvtpd_ps(_mm_loadu_pd(in + i + 2));
        _mm_storeu_ps(out + i, _mm_movelh_ps(low, high));
    }
    for (; i < n; ++i) out[i] = float(in[i]);
}

namespace {

__attribute__((target("avx"))) void widenAvx(const float* in, double* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm256_storeu_pd(out + i, _mm256_cvtps_pd(_mm_loadu_ps(in + i)));
        _mm256_storeu_pd(out + i + 4, _mm256_cvtps_pd(_mm_loadu_ps(in + i + 4)));
    }
    convertSamplesAnywhere(in + i, out + i, n - i);
}

__attribute__((target("avx"))) void narrowAvx(const double* in, float* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm_storeu_ps(out + i, _mm256_cvtpd_ps(_mm256_loadu_pd(in + i)));
        _mm_storeu_ps(out + i + 4, _mm256_cvtpd_ps(_mm256_loadu_pd(in + i + 4)));
    }
    convertSamplesAnywhere(in + i, out + i, n - i);
}

bool avxSupported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}

void (*const g_widen)(const float*, double*,
                      size_t) = avxSupported()
                                    ? &widenAvx
                                    : static_cast<void (*)(const float*, double*, size_t)>(&convertSamplesAnywhere);
void (*const g_narrow)(const double*, float*,
                       size_t) = avxSupported()
                                     ? &narrowAvx
                                     : static_cast<void (*)(const double*, float*, size_t)>(&convertSamplesAnywhere);

}  // namespace

void convertSamples(const float* in, double* out, size_t n) { g_widen(in, out, n); }

void convertSamples(const double* in, float* out, size_t n) { g_narrow(in, out, n); }

}  // namespace zel
