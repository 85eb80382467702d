// SPDX-License-Identifier: GPL-3.0-or-later
// The module's three exports. A Linux host calls ModuleEntry after loading
// the module and before asking for the factory, and ModuleExit before
// unloading it.
#include "Audio/VST/PluginFactory.h"
#include "Core/Application.h"
#include "Core/Notify.h"

extern "C" {

SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) {
    if (zel::CErrorPtr err = zel::CApplication::start()) {
        zel::CSystem::showError(*err);
        return false;
    }
    return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    zel::CApplication::finish();
    return true;
}

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return zel::CPluginFactoryVST3::acquire();
}

}
