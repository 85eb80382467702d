// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's delay knobs in the plug-in's own editor, in a host's
// window: a drag reaches the host as an edit of its parameter, and the
// host's changes turn the knobs.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "EditorHost.h"
#include "Support/Xvfb.h"
#include "UI/Controls/Knob.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "base/source/fobject.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::EditorWindow;
using lagwell::host::HostRunLoop;
using lagwell::host::PlugFrame;

constexpr uint32_t kPatienceMs = 10000;

// What the plug-in tells its host.
class CEdits final : public FObject, public Vst::IComponentHandler {
public:
    std::vector<std::pair<Vst::ParamID, double>> edits;

    tresult PLUGIN_API beginEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(Vst::ParamID id, Vst::ParamValue value) override {
        edits.emplace_back(id, value);
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(Vst::ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }

    OBJ_METHODS(CEdits, FObject)
    DEF_INTERFACES_1(Vst::IComponentHandler, FObject)
    REFCOUNT_METHODS(FObject)
};

class KnobInHost : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        window = std::make_unique<EditorWindow>(loop, 540, 315, "knobs");
    }
    // The host parameter of that title.
    Vst::ParamID paramId(test::CVST3Instance& plugin, const char* title) {
        for (int32 i = 0; i < plugin.controller->getParameterCount(); ++i) {
            Vst::ParameterInfo info{};
            plugin.controller->getParameterInfo(i, info);
            std::string name;
            for (const char16_t* c = reinterpret_cast<const char16_t*>(info.title); *c; ++c) name += char(*c);
            if (name == title) return info.id;
        }
        ADD_FAILURE() << "no host parameter " << title;
        return 0;
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    HostRunLoop host{loop};
    std::unique_ptr<EditorWindow> window;
};

TEST_F(KnobInHost, ADigitKnobDragIsTheHostsEditAndTheHostsChangeTurnsTheKnob) {
    test::CVST3Instance plugin;
    CEdits handler;
    ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultTrue);
    IPtr<IPlugView> view = plugin.view();
    PlugFrame frame(&host);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window->id())), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    auto* editor = dynamic_cast<CAudioWrapperVST3Editor*>(view.get());
    CWindowRenderer* renderer = editor->window();
    auto* ones = dynamic_cast<CKnob*>(editor->editorRoot()->findObject("ui.main-window.panels.audio-delay.digit-2"));
    auto* tens = dynamic_cast<CKnob*>(editor->editorRoot()->findObject("ui.main-window.panels.audio-delay.digit-3"));
    ASSERT_TRUE(renderer && ones && tens);
    ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() >= 2; }, kPatienceMs));
    renderer->window()->display().sync();
    int ox = 0, oy = 0;
    ASSERT_TRUE(renderer->window()->screenOrigin(ox, oy));

    // Hovered first: the knob lights up and shows its scale.
    const std::string point =
        std::to_string(ox + int(ones->centreX())) + " " + std::to_string(oy + int(ones->centreY()));
    ASSERT_EQ(x.run("xdotool mousemove " + point), 0);
    const uint64_t hovered = renderer->frameCount();
    ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() > hovered + 30; }, kPatienceMs));
    renderer->sectorMap()->takeHandedOut();

    // "x 1" dragged up by 1.04 steps: 1 ms of delay, told to the host.
    const Vst::ParamID id = paramId(plugin, "ADelay2");
    ASSERT_EQ(x.run("xdotool mousedown 1 mousemove_relative -- 0 -125 mouseup 1"), 0);
    auto told = [&](double value) {
        for (const auto& [edited, normalized] : handler.edits)
            if (edited == id && std::fabs(normalized - value) < 1e-9) return true;
        return false;
    };
    ASSERT_TRUE(loop.runUntil([&] { return told(1.0 / 9.0); }, kPatienceMs));
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(id), 1.0 / 9.0);
    EXPECT_TRUE(loop.runUntil([&] { return ones->frame() == int(std::lround(1.0 / 9.0 * 84)); }, kPatienceMs));
    // Only the knob with its scale, and the delay's quick entry, which
    // shows the new delay, were drawn again, and what follows the gesture.
    const uint64_t shown = renderer->frameCount();
    ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() > shown + 2; }, kPatienceMs));
    auto* entry =
        dynamic_cast<CView*>(editor->editorRoot()->findObject("ui.main-window.panels.audio-delay.entry.quick-entry"));
    ASSERT_NE(entry, nullptr);
    // The undo history has a new step. The pointer left the knob: its scale
    // faded out where it lies, and the status line shows the hint of what
    // the pointer is over now.
    auto* labels = dynamic_cast<CView*>(ones->findChild("labels"));
    auto* status = dynamic_cast<CView*>(editor->editorRoot()->findObject("ui.main-window.c"));
    auto* history = dynamic_cast<CView*>(editor->editorRoot()->findObject("ui.main-window.buttons.history"));
    ASSERT_TRUE(labels && status && history);
    for (const CRect& sector : renderer->sectorMap()->takeHandedOut()) {
        bool expected = false;
        for (const CView* view : {static_cast<CView*>(ones), labels, entry, status, history})
            expected = expected || !sector.intersect(view->drawClip()).isEmpty();
        EXPECT_TRUE(expected) << sector.left << "," << sector.top;
    }

    // The host's change (automation read) turns "x 10".
    ASSERT_EQ(plugin.controller->setParamNormalized(paramId(plugin, "ADelay3"), 5.0 / 9.0), kResultOk);
    EXPECT_TRUE(loop.runUntil([&] { return tens->frame() == int(std::lround(5.0 / 9.0 * 84)); }, kPatienceMs));

    view->removed();
    view->setFrame(nullptr);
    plugin.controller->setComponentHandler(nullptr);
}

}  // namespace
}  // namespace zel
