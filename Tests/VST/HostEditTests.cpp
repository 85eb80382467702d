// SPDX-License-Identifier: GPL-3.0-or-later
// What a host hears of a person's edits in the plug-in's editor, in our
// host's window: a drag is one edit of its parameter from the press to the
// release, however many values it goes through; a wheel step and a typed
// value are complete edits; an edit is never left open.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "EditorHost.h"
#include "HostContext.h"
#include "Support/Xvfb.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/QuickEntry.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "pluginterfaces/base/smartpointer.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::ComponentHandler;
using lagwell::host::EditorWindow;
using lagwell::host::HostRunLoop;
using lagwell::host::PlugFrame;

constexpr uint32_t kPatienceMs = 10000;
// A whole step of a digit knob, dragged at full precision.
const std::string kStepUp = "mousemove_relative -- 0 -125";
const std::string kStepDown = "mousemove_relative -- 0 125";

class HostEditThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        window = std::make_unique<EditorWindow>(loop, 540, 315, "edits");
        ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultTrue);
        view = plugin.view();
        view->setFrame(&frame);
        ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window->id())), kPlatformTypeX11EmbedWindowID),
                  kResultOk);
        editor = dynamic_cast<CAudioWrapperVST3Editor*>(view.get());
        renderer = editor->window();
        ASSERT_TRUE(loop.runUntil([&] { return renderer && renderer->frameCount() >= 2; }, kPatienceMs));
        renderer->window()->display().sync();
        ASSERT_TRUE(renderer->window()->screenOrigin(ox, oy));
        ones = dynamic_cast<CKnob*>(editor->editorRoot()->findObject("ui.main-window.panels.audio-delay.digit-2"));
        ASSERT_NE(ones, nullptr);
        onesId = paramId("ADelay2");
    }
    void TearDown() override {
        if (view) {
            view->removed();
            view->setFrame(nullptr);
        }
        plugin.controller->setComponentHandler(nullptr);
        for (const std::string& fault : handler.faults()) ADD_FAILURE() << fault;
        EXPECT_TRUE(handler.openEdits().empty());
    }
    Vst::ParamID paramId(const char* title) {
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
    std::string onKnob() const {
        return std::to_string(ox + int(ones->centreX())) + " " + std::to_string(oy + int(ones->centreY()));
    }
    void xdo(const std::string& args) { ASSERT_EQ(x.run("xdotool " + args), 0) << args; }
    bool until(const std::function<bool()>& done) { return loop.runUntil(done, kPatienceMs); }
    // One letter per call the host heard about `id`: Begin, Perform, End.
    static std::string calls(const ComponentHandler& h, Vst::ParamID id) {
        std::string out;
        for (const ComponentHandler::Edit& e : h.edits())
            if (e.id == id) out += "BPE"[int(e.kind)];
        return out;
    }
    static double lastValue(const ComponentHandler& h, Vst::ParamID id) {
        double value = -1.0;
        for (const ComponentHandler::Edit& e : h.edits())
            if (e.id == id && e.kind == ComponentHandler::Kind::Perform) value = e.value;
        return value;
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    HostRunLoop host{loop};
    std::unique_ptr<EditorWindow> window;
    test::CVST3Instance plugin;
    ComponentHandler handler;
    PlugFrame frame{&host};
    IPtr<IPlugView> view;
    CAudioWrapperVST3Editor* editor = nullptr;
    CWindowRenderer* renderer = nullptr;
    CKnob* ones = nullptr;
    Vst::ParamID onesId = 0;
    int ox = 0, oy = 0;
};

TEST_F(HostEditThreads, AWheelStepIsACompleteEditAndADragIsOne) {
    // Three wheel steps up: three complete edits.
    xdo("mousemove " + onKnob() + " click 4 sleep 0.1 click 4 sleep 0.1 click 4");
    ASSERT_TRUE(until([&] { return calls(handler, onesId) == "BPEBPEBPE"; })) << calls(handler, onesId);
    EXPECT_DOUBLE_EQ(lastValue(handler, onesId), 3.0 / 9.0);

    // Dragged down two steps, one at a time: one edit, held while the
    // button is down.
    xdo("mousedown 1");
    for (int step = 1; step <= 2; ++step) {
        xdo(kStepDown);
        ASSERT_TRUE(until([&] { return std::fabs(lastValue(handler, onesId) - (3 - step) / 9.0) < 1e-9; }))
            << step << " " << calls(handler, onesId);
        EXPECT_EQ(handler.openEdits(), std::vector<Vst::ParamID>{onesId});
    }
    xdo("mouseup 1");
    ASSERT_TRUE(until([&] { return handler.openEdits().empty(); }));
    EXPECT_EQ(calls(handler, onesId), "BPEBPEBPEBPPE");
}

TEST_F(HostEditThreads, ATypedDelayIsACompleteEditOfEveryDigitItSets) {
    auto* delay = dynamic_cast<CEditBoxQuickEntry*>(
        editor->editorRoot()->findObject("ui.main-window.panels.audio-delay.entry.quick-entry"));
    ASSERT_NE(delay, nullptr);
    const CRect& r = delay->area();
    xdo("mousemove " + std::to_string(ox + (r.left + r.right) / 2) + " " + std::to_string(oy + (r.top + r.bottom) / 2) +
        " click 1");
    ASSERT_TRUE(until([&] { return delay->isEditing() && renderer->window()->holdsInputFocus(); }));
    xdo("type --delay 10 -- '250'");
    xdo("key Return");
    // 250 ms: 2 in "x 100", 5 in "x 10".
    const Vst::ParamID hundreds = paramId("ADelay4"), tens = paramId("ADelay3");
    ASSERT_TRUE(until([&] { return calls(handler, tens).size() >= 3 && handler.openEdits().empty(); }));
    EXPECT_EQ(calls(handler, hundreds), "BPE");
    EXPECT_EQ(calls(handler, tens), "BPE");
    EXPECT_DOUBLE_EQ(lastValue(handler, hundreds), 2.0 / 9.0);
    EXPECT_DOUBLE_EQ(lastValue(handler, tens), 5.0 / 9.0);
}

TEST_F(HostEditThreads, AnEditorClosedMidDragEndsTheEdit) {
    xdo("mousemove " + onKnob() + " mousedown 1 " + kStepUp);
    ASSERT_TRUE(until([&] { return calls(handler, onesId) == "BP"; }));
    view->removed();
    view->setFrame(nullptr);
    view = nullptr;
    EXPECT_EQ(calls(handler, onesId), "BPE");
    EXPECT_TRUE(handler.openEdits().empty());
    xdo("mouseup 1");
}

}  // namespace
}  // namespace zel
