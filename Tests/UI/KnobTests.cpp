// SPDX-License-Identifier: GPL-3.0-or-later
// Knobs of the editor's own template on a real instance, in a window on a
// virtual X server, driven the way a person does: with the pointer, the
// wheel and the keyboard through the server.

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "EditorInstance.h"
#include "EditorWindowTest.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/KnobLabels.h"
#include "UI/Controls/ReadOut.h"

using namespace zel;
using namespace zel::test;

namespace {

// A template of the plug-in's own document.
std::string documentTemplate(const std::string& name) {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"" + name + "\">");
    const size_t to = doc.find("</template>", from);
    EXPECT_NE(from, std::string::npos) << name;
    return from == std::string::npos ? std::string() : doc.substr(from, to + 11 - from);
}

// Three knobs in a window at (100, `windowY`) of the screen: the output gain and
// a delay digit of channel group 2, and a knob linked to the gain's that
// moves opposite to it, on the gain of channel group 3; below them a
// read-out of the gain that is a controller too.
std::string knobDocument(int windowY) {
    return documentTemplate("ui:knob-labels-label") + documentTemplate("ui:knob") + R"(
    <ui:param-bridge name="outgain-bridge" param="plugin.modMain.modOutGain.gain"/>
    <ui:update-timer name="update-timer" order-asc="-1" fps="60"/>
    <ui:global-settings name="global-settings" drag-precision="0.8" mouse-wheel-precision="0.5"
                        shift-key-precision="0.5" radial-knob-mode="false" show-knob-labels="true"/>
    <core:object name="groupsel" selected-group="1"/>
    <core:object name="groupsel3" selected-group="2"/>
    <test:recorder name="recorder"/>
    <ui:color-swatch name="knob-color-swatch">
      <core:object name="c0" is-color="true" index="0" color="KnobIndicator"/>
    </ui:color-swatch>
    <ui:window-drag name="main" width="300" height="200" color="Panel">
      <ui:window-renderer name="window-renderer" title="Knobs" num-threads="0" window-x="100" window-y=")" +
           std::to_string(windowY) + R"(" fps="60">
        )" +
           rendererChildren() +
           R"(
      </ui:window-renderer>
      <ui:readout name="readout" placement="bottom" width="full" height="40" is-vertical-controller="true" default-value="6">
        <ui:ui-param name="ui-param-value" bridge="ui.outgain-bridge" group-selector="ui.groupsel"/>
      </ui:readout>
      <ui:knob name="gain" placement="left" width="100" height="100" alignment-v="top" bridge="ui.outgain-bridge"
               group-selector="ui.groupsel" linked-knob="^follower"/>
      <ui:knob name="digit" placement="left" width="100" height="100" alignment-v="top" bridge="ui.adelay-bridge"
               element="3" group-selector="ui.groupsel" title="x 10"/>
      <ui:knob name="follower" placement="left" width="100" height="100" alignment-v="top"
               bridge="ui.outgain-bridge" group-selector="ui.groupsel3" is-link-inversed="true"/>
    </ui:window-drag>)";
}

double instanceValue(CAudioWrapper& w, const char* name, size_t group, size_t element) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
    CAudioParam* p = collector->find(name);
    std::lock_guard<std::mutex> lock(p->lock());
    return p->storage().read(group, element);
}

constexpr const char* kGain = "plugin.modMain.modOutGain.gain";
constexpr const char* kDelay = "plugin.modMain.modLagwell.adelay";
// The normalised change of a drag over one pixel with the default precision.
constexpr double kPerPixel = 0.8 / CParamGesture::kPixelsPerRange;

class KnobTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        ASSERT_EQ(instance.init(), nullptr);
        root = std::make_unique<CInstanceRoot>(instance);
        CErrorPtr err = buildEditor(*root, document());
        ASSERT_EQ(err, nullptr) << err->describe();
        renderer = dynamic_cast<CWindowRenderer*>(root->findObject("ui.main.window-renderer"));
        ASSERT_NE(renderer, nullptr);
        ASSERT_TRUE(runUntil([&] {
            return renderer->frameCount() >= 1 && controller("gain")->params().front()->isReady() &&
                   controller("digit")->params().front()->isReady();
        }));
        renderer->window()->display().sync();
    }
    virtual int windowY() const { return 100; }
    virtual std::string document() const { return knobDocument(windowY()); }
    void TearDown() override {
        // The editor goes before its instance.
        root.reset();
    }

    bool runUntil(const std::function<bool()>& condition) { return root->loop.runUntil(condition, 10000); }
    // Lets the editor run for a while, as the user waits.
    void idle(int ms) {
        const uint64_t until = renderer->frameCount() + uint64_t(ms * 60 / 1000);
        runUntil([&] { return renderer->frameCount() >= until; });
    }
    CKnob* knob(const char* name) { return dynamic_cast<CKnob*>(root->findObject(std::string("ui.main.") + name)); }
    CUIParamController* controller(const char* name) {
        return dynamic_cast<CUIParamController*>(knob(name)->findChild("ui-param-controller"));
    }
    // A screen point `dx`, `dy` from the knob's centre.
    std::string at(const char* name, int dx = 0, int dy = 0) {
        CKnob* k = knob(name);
        return std::to_string(100 + int(k->centreX()) + dx) + " " + std::to_string(windowY() + int(k->centreY()) + dy);
    }
    void xdo(const std::string& commands) { ASSERT_EQ(x.run("xdotool " + commands), 0) << commands; }
    // Until the instance holds what the view shows and no gesture is open.
    void settle(const char* name) {
        CUIParamController* c = controller(name);
        idle(50);
        ASSERT_TRUE(runUntil([&] { return c->mode() == CParamGesture::kNone; }));
        idle(50);
    }
    double gain(size_t group) {
        auto* param = dynamic_cast<CUIParam*>(knob("gain")->findChild("ui-param-values"));
        return param->toNormalized(instanceValue(instance, kGain, group, 0));
    }

    lagwell::test::CXvfb x;
    CTestInstance instance;
    std::unique_ptr<CInstanceRoot> root;
    CWindowRenderer* renderer = nullptr;
};

double delay(CTestInstance& w, size_t element) { return instanceValue(w, kDelay, 1, element); }

TEST_F(KnobTest, ADragMovesByThePrecisionPerPixelShiftHalvesItAndEachDragIsOneUndoStep) {
    const double before = gain(1), otherGroup = instanceValue(instance, kGain, 0, 0);
    const size_t undo = instance.undoCount();
    xdo("mousemove " + at("gain") + " mousedown 1");
    ASSERT_TRUE(runUntil([&] { return controller("gain")->mode() == CParamGesture::kLinear; }));
    EXPECT_EQ(renderer->cursorHideCount(), 1);
    xdo("mousemove_relative -- 0 -60 mousemove_relative -- 0 -40 mouseup 1");
    settle("gain");
    EXPECT_EQ(renderer->cursorHideCount(), 0);
    EXPECT_NEAR(gain(1) - before, 100 * kPerPixel, 1e-6);
    EXPECT_EQ(instanceValue(instance, kGain, 0, 0), otherGroup);
    EXPECT_EQ(instance.undoCount(), undo + 1);
    // The knob shows it.
    EXPECT_EQ(knob("gain")->frame(), int(std::lround(gain(1) * 84)));

    // Shift: half as far for the same movement (pressed elsewhere on the
    // knob: the same place again would be a double-click).
    const double middle = gain(1);
    xdo("mousemove " + at("gain", 0, 12) +
        " keydown shift mousedown 1 mousemove_relative -- 0 -100 mouseup 1 keyup shift");
    settle("gain");
    EXPECT_NEAR(gain(1) - middle, 50 * kPerPixel, 1e-6);
    EXPECT_EQ(instance.undoCount(), undo + 2);
    // Undoing the second drag undoes all of it, and only it.
    instance.interfaceBase().undo().moveTo(instance.interfaceBase().undo().position() - 1);
    EXPECT_NEAR(gain(1), middle, 1e-9);
}

TEST_F(KnobTest, ADigitDragsInWholeStepsAndACancelledDragEndsLikeARelease) {
    const size_t undo = instance.undoCount();
    // 1.08 steps, then 2.08 more: rounded to whole digits on the way.
    xdo("mousemove " + at("digit") + " mousedown 1 mousemove_relative -- 0 -130");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 1.0; }));
    xdo("mousemove_relative -- 0 -250");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 3.0; }));
    EXPECT_EQ(renderer->cursorHideCount(), 1);
    // A modal window takes the press away: the drag ends where it is, as one
    // step, and the cursor shows again.
    renderer->setBlocked(true);
    EXPECT_EQ(controller("digit")->mode(), CParamGesture::kNone);
    EXPECT_EQ(renderer->cursorHideCount(), 0);
    renderer->setBlocked(false);
    xdo("mouseup 1");
    settle("digit");
    EXPECT_EQ(delay(instance, 3), 3.0);
    EXPECT_EQ(instance.undoCount(), undo + 1);
}

TEST_F(KnobTest, AWheelTurnStepsADigitByExactlyOneAndADoubleClickResetsIt) {
    const size_t undo = instance.undoCount();
    xdo("mousemove " + at("digit") + " click 4");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 1.0; }));
    // Finely or not: one step.
    xdo("keydown shift click 4 keyup shift");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 2.0; }));
    xdo("click 5");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 1.0; }));
    // The step is taken once the wheel rests.
    EXPECT_TRUE(runUntil([&] { return instance.undoCount() == undo + 1; })) << "turns in quick succession are one step";
    // Quicker than the instance answers: each turn still counts.
    idle(600);
    xdo("click --repeat 3 --delay 20 4");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 4.0; }));
    idle(100);
    EXPECT_EQ(delay(instance, 3), 4.0);
    EXPECT_TRUE(runUntil([&] { return instance.undoCount() == undo + 2; }));
    EXPECT_EQ(delay(instance, 2), 0.0);
    EXPECT_EQ(instanceValue(instance, kDelay, 0, 3), 0.0);

    // A double-click: back to the default, as one step, and no drag.
    xdo("mousemove " + at("digit", 12, 0) + " click --repeat 2 --delay 60 1");
    ASSERT_TRUE(runUntil([&] { return delay(instance, 3) == 0.0; }));
    settle("digit");
    EXPECT_EQ(instance.undoCount(), undo + 3);
    EXPECT_EQ(renderer->cursorHideCount(), 0);
    EXPECT_EQ(knob("digit")->frame(), 0);
}

TEST_F(KnobTest, InRadialModeThePressSetsTheValueThePointerPointsTo) {
    root->findObject("ui.global-settings")->setBool("radial-knob-mode", true);
    const size_t undo = instance.undoCount();
    // Straight up, then right, then into the dead zone at the bottom just
    // right of its middle.
    xdo("mousemove " + at("gain", 0, -30) + " mousedown 1");
    ASSERT_TRUE(runUntil([&] { return std::fabs(gain(1) - 0.36 / 0.71) < 0.01; })) << gain(1);
    EXPECT_EQ(renderer->cursorHideCount(), 0) << "the pointer aims";
    xdo("mousemove " + at("gain", 30, 0));
    ASSERT_TRUE(runUntil([&] { return std::fabs(gain(1) - 0.61 / 0.71) < 0.01; })) << gain(1);
    xdo("mousemove " + at("gain", 3, 30) + " mouseup 1");
    ASSERT_TRUE(runUntil([&] { return gain(1) > 0.999; })) << gain(1);
    settle("gain");
    EXPECT_EQ(instance.undoCount(), undo + 1);
    // Near the centre the angle means nothing: a linear drag.
    const double before = gain(1);
    xdo("mousemove " + at("gain", 2, 2) + " mousedown 1 mousemove_relative -- 0 40 mouseup 1");
    settle("gain");
    EXPECT_NEAR(gain(1) - before, -40 * kPerPixel, 1e-6);
    // Outside the knob's ring nothing happens.
    xdo("mousemove " + at("gain", 47, 47) + " mousedown 1 mousemove_relative -- 0 40 mouseup 1");
    settle("gain");
    EXPECT_NEAR(gain(1) - before, -40 * kPerPixel, 1e-6);
}

TEST_F(KnobTest, ARightDragMovesTheLinkedKnobOppositeInTheSameUndoStep) {
    const double lead = gain(1), follower = gain(2);
    const size_t undo = instance.undoCount();
    xdo("mousemove " + at("gain", -8, 0) + " mousedown 3 mousemove_relative -- 0 -100 mouseup 3");
    settle("gain");
    EXPECT_NEAR(gain(1) - lead, 100 * kPerPixel, 1e-6);
    EXPECT_NEAR(gain(2) - follower, -100 * kPerPixel, 1e-6);
    EXPECT_EQ(instance.undoCount(), undo + 1);
    EXPECT_EQ(controller("follower")->mode(), CParamGesture::kNone);
    // A left drag moves the knob alone.
    xdo("mousemove " + at("gain", 8, 0) + " mousedown 1 mousemove_relative -- 0 50 mouseup 1");
    settle("gain");
    EXPECT_NEAR(gain(2) - follower, -100 * kPerPixel, 1e-6);
}

TEST_F(KnobTest, AReadOutIsAVerticalControllerWhoseDoubleClickSetsItsDefaultOnce) {
    const CRect& r = dynamic_cast<CView*>(root->findObject("ui.main.readout"))->area();
    const std::string centre =
        std::to_string(100 + (r.left + r.right) / 2) + " " + std::to_string(100 + (r.top + r.bottom) / 2);
    const double before = gain(1);
    const size_t undo = instance.undoCount();
    xdo("mousemove " + centre + " mousedown 1 mousemove_relative -- 0 -100 mouseup 1");
    ASSERT_TRUE(runUntil([&] { return std::fabs(gain(1) - before - 100 * kPerPixel) < 1e-6; })) << gain(1);
    EXPECT_EQ(instance.undoCount(), undo + 1);
    // Its double-click sets its own default, 6 dB, as one step.
    idle(500);
    xdo("mousemove " + centre + " click --repeat 2 --delay 60 1");
    ASSERT_TRUE(runUntil([&] {
        return std::fabs(instanceValue(instance, kGain, 1, 0) - std::pow(10.0, 6.0 / 20)) < 1e-3;
    })) << instanceValue(instance, kGain, 1, 0);
    idle(700);
    EXPECT_EQ(instance.undoCount(), undo + 2);
}

TEST_F(KnobTest, HostAutomationMovesTheKnobOnScreenAtTheKnobsPace) {
    CKnob* digit = knob("digit");
    const CRect area = digit->area();
    auto pixels = [&] {
        std::vector<uint32_t> out;
        const CLinearBitmap& bitmap = renderer->bitmap();
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                out.push_back(
                    *reinterpret_cast<const uint32_t*>(bitmap.pixels() + size_t(y) * bitmap.stride() + size_t(x) * 4));
        return out;
    };
    idle(100);
    const auto before = pixels();
    EXPECT_EQ(digit->frame(), 0);
    // The host's automation, applied on the audio thread.
    float in[64] = {}, out[2][64];
    const float* inputs[2] = {in, in};
    float* outputs[2] = {out[0], out[1]};
    instance.setupProcessing(48000, 64);
    instance.queueEvent(5, CAudioWrapper::kEventParamChange, int32_t(instance.extIndex("2ADly3")), 7.0 / 9.0);
    instance.process(inputs, 2, outputs, 2, 64);
    ASSERT_TRUE(runUntil([&] { return digit->frame() == 65; })) << digit->frame();
    idle(50);
    EXPECT_NE(pixels(), before);

    // Automation that never rests: the knob follows at most 15 times a
    // second, however often the editor hears of it.
    auto* recorder = dynamic_cast<CRecorder*>(root->findObject("ui.recorder"));
    ASSERT_EQ(recorder->listenObject(controller("digit"), "update-value", "record"), nullptr);
    const uint64_t start = renderer->frameCount();
    for (int i = 0; renderer->frameCount() < start + 60; ++i) {
        instance.setExtParamNormalized(instance.extIndex("2ADly3"), (i % 2) ? 2.0 / 9.0 : 7.0 / 9.0);
        const uint64_t frame = renderer->frameCount();
        runUntil([&] { return renderer->frameCount() > frame; });
    }
    const size_t updates = recorder->events.size();
    EXPECT_GE(updates, 8u);
    EXPECT_LE(updates, 18u);
}

// Runs xdotool on a thread while the editor's loop goes on, so that the
// editor answers between the steps (a warp of the pointer, a frame).
class KnobThreads : public KnobTest {
protected:
    void xdoLive(const std::string& commands) {
        std::atomic<bool> done{false};
        int status = -1;
        std::thread client([&] {
            status = x.run("xdotool " + commands);
            done = true;
            root->loop.post([] {});
        });
        runUntil([&] { return done.load(); });
        client.join();
        ASSERT_EQ(status, 0) << commands;
    }
    static std::string steps(int count, int dy) {
        std::string out;
        for (int i = 0; i < count; ++i) out += " mousemove_relative -- 0 " + std::to_string(dy) + " sleep 0.03";
        return out;
    }
};

TEST_F(KnobThreads, ADragGoesOnPastTheWindowsEdgeWithTheCursorHidden) {
    const double before = gain(1);
    // 400 pixels upwards from 150 pixels below the screen's top.
    xdoLive("mousemove " + at("gain") + " mousedown 1 sleep 0.05" + steps(10, -40));
    EXPECT_EQ(renderer->cursorHideCount(), 1);
    xdoLive("mouseup 1");
    settle("gain");
    EXPECT_EQ(renderer->cursorHideCount(), 0);
    EXPECT_NEAR(gain(1) - before, 400 * kPerPixel, 20 * kPerPixel);
}

// The window reaches above the screen: the knob's centre is 5 pixels below
// the screen's top.
class KnobAtTheTopThreads : public KnobThreads {
protected:
    int windowY() const override { return -40; }
};

TEST_F(KnobAtTheTopThreads, ADragGoesOnPastTheScreensEdge) {
    const double before = gain(1);
    xdoLive("mousemove " + at("gain") + " mousedown 1 sleep 0.05" + steps(10, -20));
    xdoLive("mouseup 1");
    settle("gain");
    EXPECT_NEAR(gain(1) - before, 200 * kPerPixel, 20 * kPerPixel);
}

TEST_F(KnobThreads, ADragAtSixtyFramesASecondRedrawsOnlyTheKnobAndItsReadOut) {
    // Hovered first: the knob lights up and its scale fades in.
    xdo("mousemove " + at("gain"));
    idle(500);
    CSectorMap& sectors = *renderer->sectorMap();
    sectors.takeHandedOut();
    const double before = gain(1);
    xdoLive("mousedown 1 sleep 0.05" + steps(8, -5) + " mouseup 1");
    settle("gain");
    EXPECT_NEAR(gain(1) - before, 40 * kPerPixel, 1e-6);
    const std::vector<CRect> drawn = sectors.takeHandedOut();
    ASSERT_FALSE(drawn.empty());
    // The knob's rectangle grown by its spread.
    const CRect& k = knob("gain")->area();
    const CBorder& spread = knob("gain")->placement().spread;
    const CRect knobArea{k.left - spread.left, k.top - spread.top, k.right + spread.right, k.bottom + spread.bottom};
    const CRect readOut = dynamic_cast<CView*>(root->findObject("ui.main.readout"))->area();
    bool readOutDrawn = false;
    for (const CRect& sector : drawn) {
        readOutDrawn = readOutDrawn || !sector.intersect(readOut).isEmpty();
        EXPECT_TRUE(!sector.intersect(knobArea).isEmpty() || !sector.intersect(readOut).isEmpty())
            << sector.left << "," << sector.top;
    }
    EXPECT_TRUE(readOutDrawn) << "the read-out shows the new value";
}

TEST_F(KnobTest, HoveringShowsTheScaleWhileTheSettingIsOn) {
    auto* labels = dynamic_cast<CKnobLabels*>(root->findObject("ui.main.digit.labels"));
    ASSERT_NE(labels, nullptr);
    ASSERT_EQ(labels->labels().size(), 10u);
    EXPECT_EQ(labels->labels().front().text.utf8(), "0");
    EXPECT_EQ(labels->labels().back().text.utf8(), "9");
    // The "5" label lies above the knob, on the panel.
    double lx = 0, ly = 0;
    labels->labelCentre(5.0 / 9.0, lx, ly);
    const CLinearBitmap& bitmap = renderer->bitmap();
    auto pixel = [&] {
        return *reinterpret_cast<const uint32_t*>(bitmap.pixels() + size_t(ly) * bitmap.stride() + size_t(lx) * 4) &
               0xffffffu;
    };
    idle(100);
    const uint32_t panel = pixel();
    xdo("mousemove " + at("digit"));
    ASSERT_TRUE(runUntil([&] { return labels->getReal("opacity", 0) == 1.0; }));
    idle(50);
    EXPECT_NE(pixel(), panel);
    root->findObject("ui.global-settings")->setBool("show-knob-labels", false);
    idle(50);
    EXPECT_EQ(pixel(), panel);
    // Away from the knob the scale fades out again.
    root->findObject("ui.global-settings")->setBool("show-knob-labels", true);
    xdo("mousemove 20 20");
    ASSERT_TRUE(runUntil([&] { return labels->getReal("opacity", 1) == 0.0; }));
}

// The same knobs, with the scale's labels made from a template of another look.
class KnobOwnLabelsTest : public KnobTest {
protected:
    std::string document() const override {
        std::string doc = knobDocument(windowY());
        const std::string own = documentTemplate("ui:knob-labels-label");
        doc.replace(doc.find(own), own.size(), R"(<template name="ui:knob-labels-label">
          <ui:view color="KnobIndicator" unclip-level="5" is-decorative="true"/>
        </template>)");
        return doc;
    }
};

TEST_F(KnobOwnLabelsTest, TheScaleIsMadeOfViewsFromTheDocumentsTemplate) {
    auto* labels = dynamic_cast<CKnobLabels*>(root->findObject("ui.main.digit.labels"));
    ASSERT_NE(labels, nullptr);
    ASSERT_EQ(labels->labelViews().size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        const CView* label = labels->labelViews()[i];
        EXPECT_EQ(label->getAttr("color").utf8(), "KnobIndicator") << i;
        EXPECT_EQ(label->getAttr("title").utf8(), std::to_string(i));
        // Each at its place on the circle, at the label size.
        double cx = 0, cy = 0;
        labels->labelCentre(labels->labels()[i].value, cx, cy);
        EXPECT_NEAR((label->area().left + label->area().right) / 2.0, cx, 1.0) << i;
        EXPECT_NEAR((label->area().top + label->area().bottom) / 2.0, cy, 1.0) << i;
        EXPECT_EQ(label->area().width(), 18);
        EXPECT_EQ(label->area().height(), 12);
    }
    // Hovered, the "5" shows the template's look: a plain plate in the
    // indicator colour, with no text and no rim.
    const CView* five = labels->labelViews()[5];
    CColor indicator = 0;
    ASSERT_TRUE(five->paletteColour("KnobIndicator", indicator, false));
    const CLinearBitmap& bitmap = renderer->bitmap();
    auto pixel = [&](int px, int py) {
        return *reinterpret_cast<const uint32_t*>(bitmap.pixels() + size_t(py) * bitmap.stride() + size_t(px) * 4) &
               0xffffffu;
    };
    const int mx = (five->area().left + five->area().right) / 2, my = (five->area().top + five->area().bottom) / 2;
    xdo("mousemove " + at("digit"));
    ASSERT_TRUE(runUntil([&] { return labels->getReal("opacity", 0) == 1.0; }));
    idle(50);
    for (int dx = -8; dx <= 8; dx += 2)
        for (int dy = -5; dy <= 5; dy += 5)
            EXPECT_EQ(pixel(mx + dx, my + dy), indicator & 0xffffffu) << dx << "," << dy;
}

TEST(KnobLabels, WithoutTheLabelTemplateTheWindowFailsWithTheScaleError) {
    lagwell::test::CXvfb x;
    if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
    x.use();
    CTestInstance instance;
    ASSERT_EQ(instance.init(), nullptr);
    CInstanceRoot root(instance);
    std::string doc = knobDocument(100);
    const std::string own = documentTemplate("ui:knob-labels-label");
    doc.erase(doc.find(own), own.size());
    CErrorPtr err = buildEditor(root, doc);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->describe().find("Unable to create scale labels."), std::string::npos) << err->describe();
}

}  // namespace
