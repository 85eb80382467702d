// SPDX-License-Identifier: GPL-3.0-or-later
// The module's three exports. A Linux host calls ModuleEntry after loading
// the module and before asking for the factory, and ModuleExit before
// unloading it. Entries and exits are counted: an exit without its entry
// is refused, and instances still alive at the last exit keep the
// application until they go.
#include <mutex>

#include "Audio/VST/PluginFactory.h"
#include "Core/Application.h"
#include "Core/Notify.h"

namespace {
std::mutex g_moduleLock;
int g_entries = 0;
}  // namespace

extern "C" {

SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) {
    std::lock_guard<std::mutex> lock(g_moduleLock);
    if (zel::CErrorPtr err = zel::CApplication::start()) {
        zel::CSystem::showError(*err);
        return false;
    }
    ++g_entries;
    return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    std::lock_guard<std::mutex> lock(g_moduleLock);
    if (g_entries == 0) return false;
    --g_entries;
    zel::CApplication::finish();
    return true;
}

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return zel::CPluginFactoryVST3::acquire();
}
}
