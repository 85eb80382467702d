// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One instance of the plug-in made through its factory, as a host makes it,
// for the editor tests.

#include <gtest/gtest.h>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

extern "C" Steinberg::IPluginFactory* GetPluginFactory();

namespace zel::test {

struct CVST3Instance {
    Steinberg::IPtr<Steinberg::Vst::IComponent> component;
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller;

    CVST3Instance() {
        using namespace Steinberg;
        auto factory = owned(GetPluginFactory());
        PClassInfo info;
        EXPECT_EQ(factory->getClassInfo(0, &info), kResultOk);
        void* obj = nullptr;
        EXPECT_EQ(factory->createInstance(info.cid, Vst::IComponent::iid, &obj), kResultOk);
        component = owned(static_cast<Vst::IComponent*>(obj));
        EXPECT_EQ(component->initialize(nullptr), kResultOk);
        controller = FUnknownPtr<Vst::IEditController>(component);
    }
    ~CVST3Instance() { component->terminate(); }

    Steinberg::IPtr<Steinberg::IPlugView> view() { return owned(controller->createView("editor")); }
};

}  // namespace zel::test
