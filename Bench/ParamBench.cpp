// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter-side costs off the audio thread, side by side: building an
// instance, one knob edit with its undo record, a factory preset
// activation, and the host's state save and restore.
#include <benchmark/benchmark.h>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"
#include "Other/AudioInterfaceBase.h"

using namespace zel;

namespace {

struct CBenchInstance {
    CObject root;
    CAudioParamCollector* collector = nullptr;
    CAudioParamRegistry* master = nullptr;
    CAudioParamUndo* undo = nullptr;
    CBenchInstance() {
        CObject* plugin = nullptr;
        if (CApplication::instance()->initRootObject(root) || root.createChild("plugin", "plugin", plugin) ||
            root.init())
            std::abort();
        collector = dynamic_cast<CAudioParamCollector*>(root.findObject("plugin.param-collector"));
        master = dynamic_cast<CAudioParamRegistry*>(root.findObject("plugin.param-registry"));
        undo = &dynamic_cast<CAudioInterfaceBase*>(root.findObject("plugin.interface-base"))->undo();
    }
};

void BM_CreateInstance(benchmark::State& state) {
    for (auto _ : state) {
        CBenchInstance inst;
        benchmark::DoNotOptimize(inst.master);
    }
}
BENCHMARK(BM_CreateInstance)->Unit(benchmark::kMicrosecond);

void BM_KnobEditWithUndo(benchmark::State& state) {
    CBenchInstance inst;
    CAudioParam* adelay = inst.collector->find("plugin.modMain.modLagwell.adelay");
    double digit = 0;
    for (auto _ : state) {
        CAudioParamTransaction tx(*inst.collector);
        tx.setElements(*adelay, 1, 2, {digit = digit >= 9 ? 0 : digit + 1});
        inst.undo->push(tx.finish("Audio delay", true, 1));
    }
}
BENCHMARK(BM_KnobEditWithUndo)->Unit(benchmark::kMicrosecond);

void BM_ActivateRomPreset(benchmark::State& state) {
    CBenchInstance inst;
    int index = 0;
    for (auto _ : state) inst.master->activateRomPreset(index = (index + 1) % 11);
}
BENCHMARK(BM_ActivateRomPreset)->Unit(benchmark::kMicrosecond);

void BM_SaveState(benchmark::State& state) {
    CBenchInstance inst;
    for (auto _ : state) {
        CMemoryWriter out;
        inst.master->saveState(out);
        benchmark::DoNotOptimize(out.bytes().data());
    }
}
BENCHMARK(BM_SaveState)->Unit(benchmark::kMicrosecond);

void BM_RestoreState(benchmark::State& state) {
    CBenchInstance inst;
    CMemoryWriter saved;
    inst.master->saveState(saved);
    for (auto _ : state) {
        CMemoryReaderStatic in(saved.bytes().data(), saved.bytes().size());
        inst.master->restoreState(in);
    }
}
BENCHMARK(BM_RestoreState)->Unit(benchmark::kMicrosecond);

}  // namespace
