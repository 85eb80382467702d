// SPDX-License-Identifier: GPL-3.0-or-later
// The channel routing window as a person uses it: opened from the main
// window's "Routing" button, its matrices chosen from with clicks through the
// X server, and what the instance then renders.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EditorInHostFixture.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ControlArray.h"
#include "UI/Controls/TextView.h"
#include "UI/ParamLink.h"
#include "UI/WindowOpener.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

namespace zel {
namespace {

using namespace Steinberg;

constexpr const char* kWindow = "ui.ui:win-channel-routing";

class RoutingWindowOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(until([&] { return bridge("out-routing")->isReady() && !client->undoHistory().empty(); }));
        renderer->window()->display().sync();
    }

    // Opens the routing window with the main window's button, shown and ready for input.
    CWinDrag* openWindow() {
        auto* routing = find<CButton>("main-window.buttons.routing");
        EXPECT_NE(routing, nullptr);
        if (!routing) return nullptr;
        click(*routing);
        CWinDrag* window = nullptr;
        EXPECT_TRUE(until([&] {
            window = dynamic_cast<CWinDrag*>(root->findObject(kWindow));
            return window && window->windowRenderer() && window->windowRenderer()->frameCount() >= 2 &&
                   matrix("outputs")->buttonCount() > 0;
        }));
        if (window) window->windowRenderer()->window()->display().sync();
        return window;
    }
    CControlArray* matrix(const char* row) {
        return dynamic_cast<CControlArray*>(root->findObject(std::string(kWindow) + ".panels." + row + ".matrix"));
    }
    // Feeds 0.5 to the left input and -0.25 to the right one until the
    // outputs' last samples are `left` and `right`, or a second has passed.
    bool rendersAs(double left, double right) {
        if (!processing) {
            FUnknownPtr<Vst::IAudioProcessor> processor(plugin.component);
            Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, 48000.0};
            if (processor->setupProcessing(setup) != kResultOk || processor->setProcessing(true) != kResultOk)
                return false;
            processing = true;
        }
        FUnknownPtr<Vst::IAudioProcessor> processor(plugin.component);
        std::vector<float> inL(kBlock, 0.5f), inR(kBlock, -0.25f);
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        Vst::AudioBusBuffers inBus, outBus;
        inBus.numChannels = outBus.numChannels = 2;
        inBus.channelBuffers32 = in;
        outBus.channelBuffers32 = out;
        Vst::ProcessData data;
        data.symbolicSampleSize = Vst::kSample32;
        data.numSamples = kBlock;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        for (int block = 0; block < 100; ++block) {
            if (processor->process(data) != kResultOk) return false;
            if (std::fabs(outL.back() - left) < 1e-6 && std::fabs(outR.back() - right) < 1e-6) return true;
            loop.runFor(10);
        }
        ADD_FAILURE() << "renders " << outL.back() << ", " << outR.back();
        return false;
    }

    static constexpr int kBlock = 480;
    bool processing = false;
    std::vector<float> outL = std::vector<float>(kBlock), outR = std::vector<float>(kBlock);
};

TEST_F(RoutingWindowOnX, TheRoutingButtonOpensTheWindowBelowItAndClosesIt) {
    CWinDrag* window = openWindow();
    ASSERT_NE(window, nullptr);
    CWindowRenderer* popup = window->windowRenderer();
    EXPECT_EQ(popup->getAttr("window-position-id"), "routing");
    // Below its button, as wide as its content needs.
    auto* routing = find<CButton>("main-window.buttons.routing");
    int left = 0, top = 0;
    ASSERT_TRUE(popup->window()->screenOrigin(left, top));
    EXPECT_GE(top, oy + routing->area().bottom);
    EXPECT_EQ(window->area().width(), 392);

    // One object per host channel, internal channel and group, showing the default routing.
    ASSERT_EQ(matrix("inputs")->buttonCount(), 2u);
    ASSERT_EQ(matrix("outputs")->buttonCount(), 2u);
    ASSERT_EQ(matrix("grouping")->buttonCount(), 8u);
    ASSERT_EQ(matrix("ms-pairs")->buttonCount(), 8u);
    ASSERT_EQ(matrix("solo")->buttonCount(), 8u);
    EXPECT_EQ(matrix("inputs")->button(1)->getAttr("title"), "Ch 2");
    EXPECT_EQ(matrix("outputs")->button(0)->getAttr("title"), "Ch 1");
    EXPECT_EQ(matrix("grouping")->button(2)->getAttr("title"), "2");
    EXPECT_EQ(matrix("grouping")->button(2)->getAttr("hint"), "IN3");
    // Each titled by its object above its drop-down.
    const auto title = [&](const char* row, int index) {
        CObject* t = root->findObject(std::string(kWindow) + ".panels." + row + ".matrix.element-" +
                                      std::to_string(index) + ".title");
        return t ? t->getAttr("title").utf8() : std::string("(none)");
    };
    EXPECT_EQ(title("inputs", 0), "L");
    EXPECT_EQ(title("grouping", 2), "IN3");
    EXPECT_EQ(title("outputs", 1), "2");
    EXPECT_EQ(matrix("ms-pairs")->button(0)->getAttr("title"), "---");
    EXPECT_EQ(matrix("solo")->button(3)->getAttr("title"), "4");
    EXPECT_FALSE(matrix("solo")->button(3)->isActive());

    // The button again closes it.
    click(*routing);
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0 && !root->findObject(kWindow); }));
    // Its close button too.
    window = openWindow();
    ASSERT_NE(window, nullptr);
    auto* close = dynamic_cast<CButton*>(root->findObject(std::string(kWindow) + ".window-title.close"));
    ASSERT_NE(close, nullptr);
    click(*close);
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0; }));
}

TEST_F(RoutingWindowOnX, MatrixChoicesChangeTheRenderedAudioEachAsOneUndoStep) {
    ASSERT_TRUE(rendersAs(0.5, -0.25)) << "the default routing: left to left, right to right";
    ASSERT_NE(openWindow(), nullptr);
    const size_t steps = client->undoHistory().size();

    // Output 1 takes internal channel 2: the right input on both outputs.
    choose(*matrix("outputs")->button(0), "Ch 2");
    ASSERT_TRUE(until([&] { return bridge("out-routing")->value(0, 0) == 2.0; }));
    EXPECT_TRUE(rendersAs(-0.25, -0.25));
    ASSERT_TRUE(until([&] { return client->undoHistory().size() == steps + 1; }));
    EXPECT_EQ(matrix("outputs")->button(0)->getAttr("title"), "Ch 2");

    // Both inputs feed channel 2, which then carries their average.
    choose(*matrix("inputs")->button(0), "Ch 2");
    ASSERT_TRUE(until([&] { return bridge("in-routing")->value(0, 0) == 2.0; }));
    EXPECT_TRUE(rendersAs(0.125, 0.125));
    ASSERT_TRUE(until([&] { return client->undoHistory().size() == steps + 2; }));

    // Undone with the main window's button, the first input feeds channel 1 again.
    auto* undo = find<CButton>("main-window.buttons.history.undo");
    ASSERT_NE(undo, nullptr);
    click(*undo);
    ASSERT_TRUE(until([&] { return bridge("in-routing")->value(0, 0) == 1.0; }));
    EXPECT_TRUE(rendersAs(-0.25, -0.25));
    ASSERT_TRUE(until([&] { return matrix("inputs")->button(0)->getAttr("title") == "Ch 1"; }));
}

TEST_F(RoutingWindowOnX, GroupingAndGroupSoloDecideWhichChannelsAreHeard) {
    ASSERT_NE(openWindow(), nullptr);
    // Channel 2 goes to group 3, alone there.
    choose(*matrix("grouping")->button(1), "3");
    ASSERT_TRUE(until([&] { return bridge("grouping")->value(0, 1) == 2.0; }));

    // Soloing group 1 leaves its channel 1 and silences channel 2.
    CButton* soloFirst = matrix("solo")->button(0);
    click(*soloFirst);
    ASSERT_TRUE(until([&] { return bridge("group-solo")->value(0, 0) == 1.0; }));
    ASSERT_TRUE(until([&] { return soloFirst->isActive(); }));
    EXPECT_TRUE(rendersAs(0.5, 0.0));
    // Group 3 soloed as well: both are heard again.
    click(*matrix("solo")->button(2));
    ASSERT_TRUE(until([&] { return bridge("group-solo")->value(2, 0) == 1.0; }));
    EXPECT_TRUE(rendersAs(0.5, -0.25));
    ASSERT_TRUE(until([&] { return matrix("solo")->button(2)->isActive(); }));
    // Group 1 alone off: only channel 2 is heard.
    click(*soloFirst);
    ASSERT_TRUE(until([&] { return bridge("group-solo")->value(0, 0) == 0.0; }));
    EXPECT_TRUE(rendersAs(0.0, -0.25));
    EXPECT_FALSE(soloFirst->isActive());
}

TEST_F(RoutingWindowOnX, AMidSidePairCodesTwoChannelsAndTheShowAllSwitchTogglesItsOption) {
    ASSERT_NE(openWindow(), nullptr);
    // Mid and side, delayed alike, decode back to the input.
    choose(*matrix("ms-pairs")->button(0), "MS1");
    choose(*matrix("ms-pairs")->button(1), "MS1");
    ASSERT_TRUE(until([&] { return bridge("ms-pairs")->value(0, 1) == 1.0; }));
    EXPECT_TRUE(rendersAs(0.5, -0.25));
    // Channel 2 in a group of its own and soloed: the side alone decodes to +side and -side.
    choose(*matrix("grouping")->button(1), "2");
    click(*matrix("solo")->button(1));
    ASSERT_TRUE(until([&] { return bridge("group-solo")->value(1, 0) == 1.0; }));
    EXPECT_TRUE(rendersAs(0.375, -0.375));

    auto* showAll = dynamic_cast<CButton*>(root->findObject(std::string(kWindow) + ".tools.show-all-channels"));
    ASSERT_NE(showAll, nullptr);
    EXPECT_FALSE(showAll->isActive());
    click(*showAll);
    ASSERT_TRUE(until([&] { return bridge("show-all-channels")->value(0, 0) == 1.0 && showAll->isActive(); }));
    click(*showAll);
    ASSERT_TRUE(until([&] { return bridge("show-all-channels")->value(0, 0) == 0.0; }));
}

TEST_F(RoutingWindowOnX, ItsQuickSelectorAppliesARoutingPresetThatTheMatricesShow) {
    ASSERT_NE(openWindow(), nullptr);
    auto* presets = dynamic_cast<CButton*>(root->findObject(std::string(kWindow) + ".tools.quick-routing-selector"));
    auto* showAll = dynamic_cast<CButton*>(root->findObject(std::string(kWindow) + ".tools.show-all-channels"));
    ASSERT_TRUE(presets && showAll);

    // The left input alone, on both outputs.
    choose(*presets, "Mono To Stereo");
    EXPECT_EQ(listWidth, 180) << "wide enough for the presets' names";
    ASSERT_TRUE(until([&] { return matrix("outputs")->button(1)->getAttr("title") == "Ch 1"; }));
    EXPECT_EQ(matrix("inputs")->button(1)->getAttr("title"), "Off");
    EXPECT_TRUE(rendersAs(0.5, 0.5));

    choose(*presets, "Mid-Side Stereo");
    ASSERT_TRUE(until([&] { return matrix("ms-pairs")->button(1)->getAttr("title") == "MS1"; }));
    EXPECT_EQ(matrix("ms-pairs")->button(0)->getAttr("title"), "MS1");
    EXPECT_EQ(matrix("grouping")->button(1)->getAttr("title"), "Side");
    EXPECT_EQ(matrix("solo")->button(0)->getAttr("title"), "Mid");
    EXPECT_TRUE(showAll->isActive());
    EXPECT_TRUE(rendersAs(0.5, -0.25));
}

}  // namespace
}  // namespace zel
