// SPDX-License-Identifier: GPL-3.0-or-later
// The meter loops alone, per sample and channel, on a stereo pair as the
// engine runs them: the plain routine (the output meter) and the difference
// routine (output against input), each with the loops for any x86-64
// processor, for AVX2 and FMA and for AVX-512, where present. The
// tiny rows feed input in the denormal range, with and without the flush
// mode that the engine sets around every block.
#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>
#include <vector>

#include "Audio/Engine/DenormalGuard.h"
#include "Audio/Modules/ModMeter.h"
#include "Audio/ProcessDef.h"

using namespace zel;

namespace {

constexpr size_t kBlock = 512;

void meterPair(benchmark::State& state, bool diff, CModMeterModule::ELoops loops, double scale = 1.0) {
    if (!CModMeterModule::useLoops(loops)) {
        state.SkipWithError("the processor lacks these instructions");
        return;
    }
    CModMeterDef def;
    def.setAttr("is-diff", diff ? "true" : "false");
    CModMeterModule a, b;
    for (CModMeterModule* m : {&a, &b}) {
        m->sampleRate = 48000;
        if (m->init(def)) std::abort();
        m->reset();
        m->update();
    }
    std::vector<double> x[4];
    unsigned seed = 3;
    for (auto& v : x) {
        v.resize(kBlock);
        for (double& s : v) s = double(int((seed = seed * 1664525u + 1013904223u) >> 9) % 2001 - 1000) / 1000.0 * scale;
    }
    for (auto _ : state) {
        for (size_t done = 0; done < kBlock;)
            done += CModMeterModule::runPair(a, b, x[0].data() + done, x[2].data() + done, x[1].data() + done,
                                             x[3].data() + done, kBlock - done);
        benchmark::DoNotOptimize(a.integrated());
        benchmark::DoNotOptimize(b.integrated());
    }
    CModMeterModule::useLoops(CModMeterModule::widestLoops());
    state.counters["ns/sample/ch"] = benchmark::Counter(double(state.iterations() * kBlock * 2),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Arguments: 0 for any x86-64 processor, 1 for AVX2 and FMA, 2 for AVX-512.
CModMeterModule::ELoops loopsOf(int64_t arg) { return CModMeterModule::ELoops(arg); }

void BM_MeterPlainStereo(benchmark::State& state) { meterPair(state, false, loopsOf(state.range(0))); }
BENCHMARK(BM_MeterPlainStereo)->ArgName("loops")->DenseRange(0, 2);

void BM_MeterDifferenceStereo(benchmark::State& state) { meterPair(state, true, loopsOf(state.range(0))); }
BENCHMARK(BM_MeterDifferenceStereo)->ArgName("loops")->DenseRange(0, 2);

void BM_MeterPlainStereoTiny(benchmark::State& state) {
    const std::optional<CDenormalGuard> flush =
        state.range(1) ? std::make_optional<CDenormalGuard>() : std::optional<CDenormalGuard>();
    meterPair(state, false, loopsOf(state.range(0)), 1e-310);
}
BENCHMARK(BM_MeterPlainStereoTiny)->ArgNames({"loops", "flush"})->ArgsProduct({{0, 1, 2}, {0, 1}});

}  // namespace
