// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstring>

namespace zel {

// Host samples to the engine's doubles and back, in one pass per channel
// with packed conversions: eight samples a step where the processor has
// AVX, four (SSE2, part of every x86-64 processor) elsewhere; the choice is
// made once, when the library loads. Conversions round as a cast does.
void convertSamples(const float* in, double* out, size_t n);
void convertSamples(const double* in, float* out, size_t n);

inline void convertSamples(const double* in, double* out, size_t n) { std::memcpy(out, in, n * sizeof(double)); }

// The conversions for any x86-64 processor, whatever this one has (for
// tests).
void convertSamplesAnywhere(const float* in, double* out, size_t n);
void convertSamplesAnywhere(const double* in, float* out, size_t n);

}  // namespace zel
