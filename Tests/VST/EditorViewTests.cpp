// SPDX-License-Identifier: GPL-3.0-or-later
// The editor view as hosts drive it, with the host objects of our own host
// program (its run loop is as strict as the hosts we know).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "Audio/VST/RunLoopVST3.h"
#include "EditorHost.h"
#include "Support/ShownErrors.h"
#include "Support/Xvfb.h"
#include "UI/Controls/LevelMeter.h"
#include "UI/Controls/MinMax.h"
#include "UI/Controls/TextView.h"
#include "UI/ParamLink.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "public.sdk/source/common/memorystream.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::EditorWindow;
using lagwell::host::HostRunLoop;
using lagwell::host::PlugFrame;

constexpr uint32_t kPatienceMs = 10000;

using CInstance = test::CVST3Instance;

CAudioWrapperVST3Editor& editorOf(IPlugView* view) { return *dynamic_cast<CAudioWrapperVST3Editor*>(view); }

TEST(VST3Editor, ViewFactsWithoutADisplay) {
    CInstance plugin;
    EXPECT_EQ(plugin.controller->createView("parameters"), nullptr);
    EXPECT_EQ(plugin.controller->createView(nullptr), nullptr);
    IPtr<IPlugView> view = plugin.view();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 540);
    EXPECT_EQ(size.getHeight(), 315);
    EXPECT_EQ(view->canResize(), kResultFalse);
    EXPECT_EQ(view->onKeyDown('a', 0, 0), kResultFalse);
    EXPECT_EQ(view->onKeyUp('a', 0, 0), kResultFalse);
    // Smaller than the editor: widened and heightened, never shrunk.
    ViewRect small(10, 20, 110, 120);
    ASSERT_EQ(view->checkSizeConstraint(&small), kResultTrue);
    EXPECT_EQ(small.left, 10);
    EXPECT_EQ(small.right, 550);
    EXPECT_EQ(small.bottom, 335);
    ViewRect large(0, 0, 800, 600);
    ASSERT_EQ(view->checkSizeConstraint(&large), kResultTrue);
    EXPECT_EQ(large.right, 800);
    // A host may size the view before it sets a frame or attaches.
    ViewRect moved(5, 5, 545, 320);
    EXPECT_EQ(view->onSize(&moved), kResultTrue);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.left, 5);
    // Wheel steps without a window are not used.
    EXPECT_EQ(view->onWheel(1), kResultFalse);
}

TEST(VST3Editor, HostLoopTimersMayBeRemovedInTheirOwnCallback) {
    platform::CStandaloneRunLoop loop;
    HostRunLoop host(loop);
    int calls = 0;
    {
        CRunLoopVST3 adapter(&host);
        platform::IRunLoop::CTimerId id = 0;
        ASSERT_EQ(adapter.addTimer(
                      5,
                      [&] {
                          ++calls;
                          adapter.removeTimer(id);
                      },
                      id),
                  0);
        platform::IRunLoop::CTimerId other = 0;
        ASSERT_EQ(adapter.addTimer(
                      5, [] {}, other),
                  0);
        EXPECT_EQ(host.timerCount(), 2u);
        EXPECT_TRUE(loop.runUntil([&] { return host.timerCount() == 1; }, kPatienceMs));
        loop.runFor(30);
        EXPECT_EQ(calls, 1);
        // Posts from another thread run on the loop's thread.
        const std::thread::id loopThread = std::this_thread::get_id();
        bool ran = false, onLoopThread = false;
        std::thread poster([&] {
            ASSERT_EQ(adapter.post([&] {
                ran = true;
                onLoopThread = std::this_thread::get_id() == loopThread;
            }),
                      0);
        });
        poster.join();
        EXPECT_TRUE(loop.runUntil([&] { return ran; }, kPatienceMs));
        EXPECT_TRUE(onLoopThread);
        // The loop's own descriptor (posts) and the other timer remain.
        EXPECT_EQ(host.handlerCount(), 1u);
    }
    // Everything it registered goes with the adapter.
    EXPECT_EQ(host.timerCount(), 0u);
    EXPECT_EQ(host.handlerCount(), 0u);
}

class VST3EditorOnX : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        window = std::make_unique<EditorWindow>(loop, 540, 315, "test");
    }
    void* parent() const { return reinterpret_cast<void*>(uintptr_t(window->id())); }
    uint64_t frames(IPlugView* view) {
        CWindowRenderer* renderer = editorOf(view).window();
        return renderer ? renderer->frameCount() : 0;
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    HostRunLoop host{loop};
    std::unique_ptr<EditorWindow> window;
};

TEST_F(VST3EditorOnX, AttachedAndRemovedAnyNumberOfTimesBuildsAFreshTreeEachTime) {
    CInstance plugin;
    IPtr<IPlugView> view = plugin.view();
    PlugFrame frame(&host);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    long long lastRoot = 0;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
        CObject* root = editorOf(view).editorRoot();
        ASSERT_NE(root, nullptr);
        EXPECT_GT(root->rootId(), lastRoot);
        lastRoot = root->rootId();
        EXPECT_EQ(root->getAttr("plugin-tech"), "VST3 PlugIn Technology by Steinberg");
        // A second attach while the tree exists builds nothing new.
        EXPECT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
        EXPECT_EQ(editorOf(view).editorRoot(), root);
        ASSERT_TRUE(loop.runUntil([&] { return frames(view) >= 2; }, kPatienceMs));
        EXPECT_GT(host.timerCount(), 0u);
        ASSERT_EQ(view->removed(), kResultOk);
        EXPECT_EQ(editorOf(view).editorRoot(), nullptr);
        EXPECT_EQ(host.timerCount(), 0u);
        EXPECT_EQ(host.handlerCount(), 0u);
    }
    view->setFrame(nullptr);
}

TEST_F(VST3EditorOnX, TwoEditorsShareTheHostLoopAndLeaveIndependently) {
    CInstance first, second;
    IPtr<IPlugView> a = first.view(), b = second.view();
    PlugFrame frameA(&host), frameB(&host);
    a->setFrame(&frameA);
    b->setFrame(&frameB);
    EditorWindow otherWindow(loop, 540, 315, "second");
    ASSERT_EQ(a->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    ASSERT_EQ(b->attached(reinterpret_cast<void*>(uintptr_t(otherWindow.id())), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    ASSERT_TRUE(loop.runUntil([&] { return frames(a) >= 2 && frames(b) >= 2; }, kPatienceMs));
    const size_t handlersOfBoth = host.handlerCount();
    ASSERT_EQ(a->removed(), kResultOk);
    EXPECT_LT(host.handlerCount(), handlersOfBoth);
    const uint64_t framesB = frames(b);
    ASSERT_TRUE(loop.runUntil([&] { return frames(b) >= framesB + 2; }, kPatienceMs));
    // Reopening the first registers cleanly beside the second.
    ASSERT_EQ(a->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(host.handlerCount(), handlersOfBoth);
    a->removed();
    b->removed();
    EXPECT_EQ(host.timerCount(), 0u);
    EXPECT_EQ(host.handlerCount(), 0u);
    a->setFrame(nullptr);
    b->setFrame(nullptr);
}

TEST_F(VST3EditorOnX, AHostWithoutRunLoopGetsAClearErrorAndNoEditor) {
    CShownErrors shown;
    CInstance plugin;
    IPtr<IPlugView> view = plugin.view();
    // Never given a frame at all.
    EXPECT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultFalse);
    PlugFrame frame(nullptr);
    view->setFrame(&frame);
    EXPECT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(editorOf(view).editorRoot(), nullptr);
    ASSERT_EQ(shown.shown().size(), 2u);
    EXPECT_NE(shown.shown()[0].find("The host offers no run loop"), std::string::npos) << shown.shown()[0];
    // The wrong window type is refused without a word.
    PlugFrame withLoop(&host);
    view->setFrame(&withLoop);
    EXPECT_EQ(view->attached(parent(), kPlatformTypeHWND), kResultFalse);
    EXPECT_EQ(host.handlerCount(), 0u);
    view->setFrame(nullptr);
}

TEST_F(VST3EditorOnX, AViewCreatedButNeverAttachedRegistersNothing) {
    CInstance plugin;
    {
        IPtr<IPlugView> view = plugin.view();
        PlugFrame frame(&host);
        view->setFrame(&frame);
        view->setFrame(nullptr);
    }
    EXPECT_EQ(host.timerCount(), 0u);
    EXPECT_EQ(host.handlerCount(), 0u);
}

// What the host changes shows in the main window with the next frame: the
// status area's indicator of offline rendering, the bypass switch's
// parameter, both through the host's own calls.
TEST_F(VST3EditorOnX, HostChangesReachTheMainWindowWithinOneFrame) {
    CInstance plugin;
    IPtr<IPlugView> view = plugin.view();
    PlugFrame frame(&host);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    CObject* root = editorOf(view).editorRoot();
    auto* ui = dynamic_cast<CUIEventBridge*>(root->findObject("ui"));
    auto* indicator = dynamic_cast<CView*>(root->findObject("ui.main-window.c.offline-render"));
    auto* bypass = dynamic_cast<CParamBridge*>(root->findObject("ui.bypass-bridge"));
    ASSERT_TRUE(ui && indicator && bypass);
    ASSERT_TRUE(loop.runUntil([&] { return frames(view) >= 2 && bypass->isReady(); }, kPatienceMs));
    EXPECT_EQ(indicator->getAttr("is-hidden"), "true");
    EXPECT_TRUE(indicator->area().isEmpty());

    FUnknownPtr<Vst::IAudioProcessor> processor(plugin.component);
    Vst::ProcessSetup setup{Vst::kOffline, Vst::kSample32, 512, 48000.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    const uint64_t before = ui->refreshCount();
    ASSERT_TRUE(loop.runUntil([&] { return indicator->getAttr("is-hidden") == "false"; }, kPatienceMs));
    EXPECT_LE(ui->refreshCount() - before, 1u);
    EXPECT_GT(indicator->area().width(), 20);
    // Drawn by the render timer of the same frame.
    const uint64_t shown = frames(view);
    ASSERT_TRUE(loop.runUntil([&] { return frames(view) > shown; }, kPatienceMs));
    const CLinearBitmap& bitmap = editorOf(view).window()->bitmap();
    int dark = 0;
    for (int y = indicator->area().top; y < indicator->area().bottom; ++y)
        for (int x = indicator->area().left; x < indicator->area().right; ++x)
            if (bitmap.pixel(x, y)[0] < 0x40 && bitmap.pixel(x, y)[1] < 0x40) ++dark;
    EXPECT_GT(dark, 20) << "the indicator's text";
    // Its markup is read, not shown: "Off-Line Render" in bold.
    auto* text = dynamic_cast<CTextView*>(indicator);
    ASSERT_NE(text, nullptr);
    const auto& words = text->paragraphs().at(0).items;
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].text, CString("Off-Line"));
    EXPECT_TRUE(words[0].style.bold && words[2].style.bold);

    auto* controller = plugin.controller.get();
    ASSERT_EQ(controller->setParamNormalized(0, 1.0), kResultOk);  // "Bypass"
    const uint64_t atBypass = ui->refreshCount();
    ASSERT_TRUE(loop.runUntil([&] { return bypass->value(0, 0) == 1.0; }, kPatienceMs));
    EXPECT_LE(ui->refreshCount() - atBypass, 1u);

    // The window's frame rate is the user's setting.
    auto* fps = root->findObject("ui.global-data.frames-per-second");
    auto* renderTimer = dynamic_cast<CUpdateTimer*>(root->findObject("ui.main-window.window-renderer.render-timer"));
    ASSERT_TRUE(fps && renderTimer);
    EXPECT_EQ(renderTimer->periodMs(), 25u);
    ASSERT_EQ(fps->setAttr("frames-per-second", "20"), nullptr);
    EXPECT_EQ(renderTimer->periodMs(), 50u);
    ASSERT_EQ(fps->setAttr("frames-per-second", "40"), nullptr);

    view->removed();
    view->setFrame(nullptr);
}

// The UI scale is the instance's: saved with the host's state, a session
// reopens its editor at that size.
TEST_F(VST3EditorOnX, ASavedSessionReopensItsEditorAtItsScale) {
    Steinberg::MemoryStream state;
    {
        CInstance plugin;
        IPtr<IPlugView> view = plugin.view();
        PlugFrame frame(&host);
        view->setFrame(&frame);
        ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
        CObject* scale = editorOf(view).editorRoot()->findObject("ui.local-data.ui-scale");
        ASSERT_NE(scale, nullptr);
        EXPECT_EQ(scale->getAttr("scale"), "1.0");
        ASSERT_EQ(scale->setAttr("scale", "1.25"), nullptr);
        view->removed();
        view->setFrame(nullptr);
        ASSERT_EQ(plugin.component->getState(&state), kResultOk);
    }
    CInstance reopened;
    state.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(reopened.component->setState(&state), kResultOk);
    IPtr<IPlugView> view = reopened.view();
    ViewRect size;
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 675);
    EXPECT_EQ(size.getHeight(), 394);
    EditorWindow larger(loop, 675, 394, "scaled");
    PlugFrame frame(&host);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(larger.id())), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    CObject* root = editorOf(view).editorRoot();
    EXPECT_EQ(root->findObject("ui.local-data.ui-scale")->getAttr("scale"), "1.25");
    auto* window = dynamic_cast<CView*>(root->findObject("ui.main-window"));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->area().width(), 675);
    EXPECT_EQ(window->area().height(), 394);
    // Another instance keeps its own scale.
    CInstance other;
    IPtr<IPlugView> otherView = other.view();
    ASSERT_EQ(otherView->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 540);
    view->removed();
    view->setFrame(nullptr);
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

// The output meter of the real editor, with audio processed through the
// plug-in as a host's audio thread does it.
TEST_F(VST3EditorOnX, TheMeterShowsARenderedSineAtItsLevelInTheNextFrame) {
    CInstance plugin;
    IPtr<IPlugView> view = plugin.view();
    PlugFrame frame(&host);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    CObject* root = editorOf(view).editorRoot();
    auto* meter = dynamic_cast<CLevelMeter*>(root->findObject("ui.main-window.panels.out.meter-out.meter-frame.meter"));
    ASSERT_NE(meter, nullptr);
    ASSERT_TRUE(loop.runUntil([&] { return frames(view) >= 2 && meter->bars().size() == 2; }, kPatienceMs));
    // Flat bars: every lit pixel in a zone colour.
    ASSERT_EQ(root->findObject("ui.global-data.ui-flat-meters")->setAttr("ui-flat-meters", "true"), nullptr);
    EXPECT_EQ(meter->getAttr("is-flat"), "true");

    FUnknownPtr<Vst::IAudioProcessor> processor(plugin.component);
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, 480, 48000.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(processor->setProcessing(true), kResultOk);
    std::vector<float> left(480), right(480, 0.0f), outL(480), outR(480);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    Vst::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = in;
    outBus.channelBuffers32 = out;
    Vst::ProcessData data;
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = 480;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    // 0.2 s of a 1 kHz sine at -18 dB RMS on the left input.
    const double amplitude = std::sqrt(2.0) * std::pow(10.0, -18.0 / 20);
    for (int block = 0; block < 20; ++block) {
        for (int i = 0; i < 480; ++i)
            left[size_t(i)] = float(amplitude * std::sin(2 * M_PI * (block * 480 + i) / 48.0));
        ASSERT_EQ(processor->process(data), kResultOk);
    }
    const uint64_t rendered = frames(view);
    ASSERT_TRUE(loop.runUntil([&] { return frames(view) > rendered; }, kPatienceMs));
    const double level = meter->bars()[0].level;
    EXPECT_NEAR(level, -18.0, 1.0);
    EXPECT_EQ(meter->bars()[1].level, -HUGE_VAL);
    const CLinearBitmap& bitmap = editorOf(view).window()->bitmap();
    const auto colour = [&](int x, int y) {
        const uint8_t* p = bitmap.pixel(x, y);
        return CColor(p[2]) << 16 | CColor(p[1]) << 8 | p[0];
    };
    CColor green = 0, dim = 0;
    ASSERT_TRUE(meter->paletteColour("LevelMeter", green, false));
    ASSERT_TRUE(meter->paletteColour("LevelMeterZone1Dim", dim, false));
    const auto lit = [&](size_t index) {
        const CRect bar = meter->barRect(index);
        int count = 0;
        for (int y = bar.bottom - 1; y >= bar.top && colour((bar.left + bar.right) / 2, y) == green; --y) ++count;
        return count;
    };
    EXPECT_EQ(lit(0), int(std::lround(meter->range().toUnit(level) * meter->barLength())));
    EXPECT_GT(lit(0), meter->barLength() / 3);
    EXPECT_EQ(lit(1), 0);
    const CRect quiet = meter->barRect(1);
    EXPECT_EQ(colour((quiet.left + quiet.right) / 2, quiet.bottom - 1), dim);

    processor->setProcessing(false);
    view->removed();
    view->setFrame(nullptr);
}

}  // namespace
}  // namespace zel
