// SPDX-License-Identifier: GPL-3.0-or-later
// The paged delay line against the least a delay has to do, on the same
// host-format blocks: floats converted to doubles, delayed by 10 ms and
// converted back. The baseline delays through one flat ring with straight
// copies; the others run the delay line with its page ring, steady and
// with a cross-fading change every 100 ms. Reported per sample and channel.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Audio/Engine/SampleConvert.h"
#include "Audio/Modules/DSPModDelay.h"

using namespace zel;

namespace {

constexpr size_t kBlock = 512;
constexpr size_t kChannels = 2;
constexpr size_t kDelay = 480;         // 10 ms at 48 kHz
constexpr size_t kFade = 480;          // the default 10 ms transition
constexpr size_t kPageLength = 8100;   // the default block size
constexpr size_t kChangeEvery = 4800;  // 100 ms

// The host's blocks and the engine's double buffers, shared by every case.
struct CBlocks {
    std::vector<float> in[kChannels], out[kChannels];
    std::vector<double> din[kChannels], dout[kChannels];
    CBlocks() {
        unsigned seed = 1;
        for (size_t c = 0; c < kChannels; ++c) {
            in[c].resize(kBlock);
            out[c].resize(kBlock);
            din[c].resize(kBlock);
            dout[c].resize(kBlock);
            for (float& s : in[c]) s = float(int((seed = seed * 1664525u + 1013904223u) >> 9) % 2001 - 1000) / 1000.0f;
        }
    }
    // The engine's own conversions, so that the baseline is as tight as
    // the code it measures.
    void toDouble(size_t c) { convertSamples(in[c].data(), din[c].data(), kBlock); }
    void toFloat(size_t c) {
        convertSamples(dout[c].data(), out[c].data(), kBlock);
        benchmark::DoNotOptimize(out[c].data());
    }
};

void setPerSample(benchmark::State& state) {
    state.counters["per-sample"] = benchmark::Counter(
        double(kBlock * kChannels), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A flat ring of a power-of-two length, written and read in at most two
// straight copies each.
class CFlatRing {
public:
    CFlatRing() : m_data(kRingLength, 0.0) {}
    void process(const double* in, double* out, size_t n) {
        copyIn(m_write, in, n);
        copyOut((m_write - kDelay) & kMask, out, n);
        m_write = (m_write + n) & kMask;
    }

private:
    static constexpr size_t kRingLength = 2048;
    static constexpr size_t kMask = kRingLength - 1;
    void copyIn(size_t at, const double* in, size_t n) {
        const size_t first = std::min(n, kRingLength - at);
        std::memcpy(&m_data[at], in, first * sizeof(double));
        std::memcpy(&m_data[0], in + first, (n - first) * sizeof(double));
    }
    void copyOut(size_t at, double* out, size_t n) const {
        const size_t first = std::min(n, kRingLength - at);
        std::memcpy(out, &m_data[at], first * sizeof(double));
        std::memcpy(out + first, &m_data[0], (n - first) * sizeof(double));
    }
    std::vector<double> m_data;
    size_t m_write = 0;
};

void BM_DelayBaselineFlatRing(benchmark::State& state) {
    CBlocks blocks;
    CFlatRing rings[kChannels];
    for (auto _ : state)
        for (size_t c = 0; c < kChannels; ++c) {
            blocks.toDouble(c);
            rings[c].process(blocks.din[c].data(), blocks.dout[c].data(), kBlock);
            blocks.toFloat(c);
        }
    setPerSample(state);
}
BENCHMARK(BM_DelayBaselineFlatRing);

void runDelayLine(benchmark::State& state, bool changing) {
    CBlocks blocks;
    CPoolAllocator pool;
    CDSPModDelay lines[kChannels];
    for (CDSPModDelay& line : lines) {
        line.setPool(pool);
        line.configure(kPageLength, kFade);
        line.setDelay(kDelay);
    }
    size_t sinceChange = 0;
    bool longer = false;
    for (auto _ : state) {
        if (changing && (sinceChange += kBlock) >= kChangeEvery) {
            sinceChange -= kChangeEvery;
            longer = !longer;
            for (CDSPModDelay& line : lines) line.setDelay(longer ? 2 * kDelay : kDelay);
        }
        for (size_t c = 0; c < kChannels; ++c) {
            blocks.toDouble(c);
            lines[c].process(blocks.din[c].data(), blocks.dout[c].data(), kBlock);
            blocks.toFloat(c);
        }
    }
    setPerSample(state);
}

void BM_DelayLineSteady(benchmark::State& state) { runDelayLine(state, false); }
BENCHMARK(BM_DelayLineSteady);

void BM_DelayLineChangingEvery100ms(benchmark::State& state) { runDelayLine(state, true); }
BENCHMARK(BM_DelayLineChangingEvery100ms);

}  // namespace
