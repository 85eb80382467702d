// SPDX-License-Identifier: GPL-3.0-or-later
// Activates arbitrary preset records on a live instance: every input is
// applied or refused with an error record, and the instance stays usable.
// The first byte picks the target (low two bits: master, routing, colour
// registry, or the master's instance-state restore) and the group (high
// nibble, 15 = all groups); the rest is the record. With
// LAGWELL_FUZZ_WRITE_SEED set, writes the instance state of a fresh
// instance to that file as a seed and exits.
#include <cstdio>
#include <cstdlib>

#include "Audio/ParamRegistry.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"

using namespace zel;

namespace {

CObject* g_root = nullptr;
CAudioParamRegistry* g_registries[3] = {};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (CApplication::start()) std::abort();
    g_root = new CObject();
    CObject* plugin = nullptr;
    if (CApplication::instance()->initRootObject(*g_root) || g_root->createChild("plugin", "plugin", plugin) ||
        g_root->init())
        std::abort();
    const char* names[3] = {"plugin.param-registry", "plugin.param-registry-io", "plugin.param-registry-uicolor"};
    for (int i = 0; i < 3; ++i)
        if (!(g_registries[i] = dynamic_cast<CAudioParamRegistry*>(g_root->findObject(names[i])))) std::abort();
    if (const char* seedFile = std::getenv("LAGWELL_FUZZ_WRITE_SEED")) {
        CMemoryWriter seed;
        const uint8_t selector = 0xF0;
        if (seed.write(&selector, 1) || g_registries[0]->acquirePreset(false, -1, seed)) std::abort();
        FILE* f = std::fopen(seedFile, "wb");
        if (!f || std::fwrite(seed.bytes().data(), 1, seed.bytes().size(), f) != seed.bytes().size()) std::abort();
        std::fclose(f);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int target = data[0] & 3;
    const int group = (data[0] >> 4) == 15 ? -1 : (data[0] >> 4) & 7;
    CMemoryReaderStatic in(data + 1, size - 1);
    CErrorPtr err = target == 3 ? g_registries[0]->restoreState(in) : g_registries[target]->activatePreset(in, group);
    if (err && err->text().empty()) std::abort();
    // Whatever was applied, the state still saves.
    CMemoryWriter state;
    if (g_registries[0]->saveState(state)) std::abort();
    return 0;
}
