// SPDX-License-Identifier: GPL-3.0-or-later
// The whole engine per sample and channel, on the same signal as the delay
// benchmarks: the default stereo graph with the meters off and on, and all
// eight channels in four groups with a delay change every 100 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Audio/AudioEngine.h"
#include "Audio/Param.h"
#include "Audio/ParamTransaction.h"
#include "Core/Application.h"

using namespace zel;

namespace {

constexpr double kRate = 48000.0;
constexpr size_t kBlock = 512;

struct CBenchRig {
    CObject root;
    CAudioParamCollector* collector = nullptr;
    CAudioEngine engine;
    std::vector<std::vector<double>> in, out;
    std::vector<const double*> ip;
    std::vector<double*> op;

    explicit CBenchRig(size_t channels)
        : in(channels, std::vector<double>(kBlock)), out(channels, std::vector<double>(kBlock)) {
        CObject* plugin = nullptr;
        if (CApplication::instance()->initRootObject(root) || root.createChild("plugin", "plugin", plugin) ||
            root.init() || engine.build(*plugin))
            std::abort();
        collector = dynamic_cast<CAudioParamCollector*>(root.findObject("plugin.param-collector"));
        engine.setFormat(kRate, kBlock);
        for (size_t c = 0; c < channels; ++c) {
            for (size_t t = 0; t < kBlock; ++t) in[c][t] = std::sin(0.01 * double(t + 1) * double(c + 1));
            ip.push_back(in[c].data());
            op.push_back(out[c].data());
        }
    }
    void set(const char* name, size_t group, const std::vector<double>& values) {
        CAudioParamTransaction tx(*collector);
        tx.setElements(*collector->find(CString("plugin.modMain.") + name), group, 0, values);
        tx.finish("bench");
    }
    void block() { engine.process(ip.data(), ip.size(), op.data(), op.size(), kBlock); }
};

void report(benchmark::State& state, size_t channels) {
    state.counters["ns/sample/ch"] = benchmark::Counter(double(state.iterations() * kBlock * channels),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EngineStereoMetersOff(benchmark::State& state) {
    CBenchRig rig(2);
    rig.set("modLagwell.adelay", 0, {0, 0, 0, 1});
    for (auto _ : state) rig.block();
    report(state, 2);
}
BENCHMARK(BM_EngineStereoMetersOff);

void BM_EngineStereoMetersOn(benchmark::State& state) {
    CBenchRig rig(2);
    rig.set("modLagwell.adelay", 0, {0, 0, 0, 1});
    rig.set("modMeterOut-enable", 0, {1});
    rig.set("modMeterIODiff-enable", 0, {1});
    for (auto _ : state) rig.block();
    report(state, 2);
}
BENCHMARK(BM_EngineStereoMetersOn);

void BM_EngineEightChannelsFourGroupsMoving(benchmark::State& state) {
    CBenchRig rig(8);
    rig.set("io-params.in-routing", 0, {1, 2, 3, 4, 5, 6, 7, 8});
    rig.set("io-params.out-routing", 0, {1, 2, 3, 4, 5, 6, 7, 8});
    const size_t blocksPer100ms = size_t(kRate * 0.1) / kBlock;
    size_t blocks = 0;
    double digit = 1;
    for (auto _ : state) {
        if (++blocks % blocksPer100ms == 0) {
            state.PauseTiming();
            digit = digit >= 9 ? 1 : digit + 1;
            for (size_t g = 0; g < 4; ++g) rig.set("modLagwell.adelay", g, {0, 0, digit, double(g)});
            state.ResumeTiming();
        }
        rig.block();
    }
    report(state, 8);
}
BENCHMARK(BM_EngineEightChannelsFourGroupsMoving);

}  // namespace
