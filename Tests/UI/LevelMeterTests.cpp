// SPDX-License-Identifier: GPL-3.0-or-later
// The output level meter with a real instance: audio rendered through it,
// the frames fetched as the editor's frame does, and the bars drawn.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "EditorInstance.h"
#include "Other/AudioInterfaceClient.h"
#include "UI/Controls/LevelMeter.h"
#include "UI/Controls/LevelMeterListener.h"
#include "UI/Controls/MinMax.h"
#include "UI/Controls/Ruler.h"
#include "UI/Controls/VizExchange.h"
#include "UI/View.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

constexpr double kRate = 48000;
constexpr size_t kBlock = 480;

std::string errorText(const CErrorPtr& err) { return err ? err->text().utf8() : std::string(); }

// The meter of the main window in a box of its own, with its rulers; the
// group selector is a plain object with the attribute meters follow.
std::string meterBody(const std::string& meterAttrs = {},
                      const std::string& listener = "viz-name=\"plugin.modMain.modMeterOut\"") {
    return R"(
    <ui:param-bridge name="show-all-channels-bridge" param="plugin.modMain.io-params.show-all-channels"/>
    <ui:param-bridge name="in-routing-bridge" param="plugin.modMain.io-params.in-routing"/>
    <ui:param-bridge name="grouping-bridge" param="plugin.modMain.io-params.grouping"/>
    <ui:param-bridge name="in-channel-names-bridge" param="plugin.modMain.io-params.in-channel-names"/>
    <ui:param-bridge name="globmeter-peaktime-bridge" param="plugin.modMain.meter-peaktime"/>
    <ui:viz-exchange name="viz-exchange" interface-client="^interface-client" fps="40" inactive-timeout="0.6"/>
    <core:object name="groupsel" selected-group="0"/>
    <ui:view name="box" is-root-view="true" width="80" height="130">
      <ui:min-max name="range" min="-48" max="6"/>
      <ui:ruler name="ruler-scale" placement="left" width="22"/>
      <ui:ruler name="ruler-channels" placement="bottom" height="12"/>
      <ui:level-meter name="meter" placement="left" width="full" min-max="^range" zone-yellow="-12" zone-red="0"
                      lamp-size="4" is-flat="true" group-selector="ui.groupsel" ruler-scale="^ruler-scale"
                      ruler-channels="^ruler-channels" )" +
           meterAttrs + R"(>
        <ui:level-meter-listener name="listener" )" +
           listener + R"( inactive-timeout="0.25" fps="40"/>
        <ui:ui-param name="ui-param-show-all-channels" bridge="ui.show-all-channels-bridge"/>
        <ui:ui-param name="ui-param-peaktime" bridge="ui.globmeter-peaktime-bridge"/>
        <ui:ui-param name="ui-param-in-routing" bridge="ui.in-routing-bridge"/>
        <ui:ui-param name="ui-param-grouping" bridge="ui.grouping-bridge"/>
        <ui:ui-param name="ui-param-channel-names" bridge="ui.in-channel-names-bridge"/>
      </ui:level-meter>
    </ui:view>)";
}

struct CMeterEditor {
    CTestInstance instance;
    CInstanceRoot root{instance};
    CErrorPtr err;
    CLevelMeter* meter = nullptr;
    CLevelMeterListener* listener = nullptr;
    CVizExchange* exchange = nullptr;
    double now = 100.0;
    double phase = 0;

    explicit CMeterEditor(const std::string& body = meterBody()) {
        err = instance.init();
        if (!err) err = test::buildEditor(root, body);
        if (err) return;
        instance.setupProcessing(kRate, kBlock);
        meter = dynamic_cast<CLevelMeter*>(root.findObject("ui.box.meter"));
        listener = dynamic_cast<CLevelMeterListener*>(root.findObject("ui.box.meter.listener"));
        exchange = dynamic_cast<CVizExchange*>(root.findObject("ui.viz-exchange"));
        err = root.ui().refresh();
        if (!err) err = dynamic_cast<CView*>(root.findObject("ui.box"))->layoutTree();
    }
    // Host input channels carry a 1 kHz sine of RMS level `left` and
    // `right` dB (-inf: silence) for `seconds`.
    void render(double left, double right, double seconds) {
        std::vector<float> in[2], out[2];
        const double amp[2] = {std::sqrt(2.0) * std::pow(10.0, left / 20), std::sqrt(2.0) * std::pow(10.0, right / 20)};
        for (int c = 0; c < 2; ++c) in[c].resize(kBlock), out[c].resize(kBlock);
        for (size_t done = 0; done < size_t(seconds * kRate); done += kBlock) {
            for (size_t i = 0; i < kBlock; ++i, phase += 2 * M_PI * 1000 / kRate)
                for (int c = 0; c < 2; ++c) in[c][i] = float(amp[c] * std::sin(phase));
            const float* inputs[2] = {in[0].data(), in[1].data()};
            float* outputs[2] = {out[0].data(), out[1].data()};
            instance.process(inputs, 2, outputs, 2, kBlock);
        }
    }
    // One editor frame, `dt` seconds after the last: the exchange fetches,
    // the listener takes the frames in.
    void frame(double dt = 0.025) {
        now += dt;
        ASSERT_EQ(exchange->touch(), nullptr);
        ASSERT_EQ(exchange->fetch(), nullptr);
        ASSERT_EQ(listener->update(now), nullptr);
    }
    CLinearBitmap drawn() {
        auto* box = dynamic_cast<CView*>(root.findObject("ui.box"));
        CLinearBitmap bitmap;
        bitmap.resize(box->area().right, box->area().bottom);
        box->draw(bitmap, bitmap.bounds());
        return bitmap;
    }
    CColor role(const char* name) {
        CColor c = 0;
        EXPECT_TRUE(meter->paletteColour(name, c, false)) << name;
        return c;
    }
    // Pixels lit from the bottom of bar `index`, counted in its middle
    // column as the colours of the lit zones.
    int litPixels(const CLinearBitmap& bitmap, size_t index) {
        const CRect bar = meter->barRect(index);
        const CColor lit[3] = {role("LevelMeter"), role("LevelMeterZone2"), role("LevelMeterZone3")};
        int count = 0;
        for (int y = bar.bottom - 1; y >= bar.top; --y) {
            const uint8_t* p = bitmap.pixel((bar.left + bar.right) / 2, y);
            const CColor c = CColor(p[2]) << 16 | CColor(p[1]) << 8 | p[0];
            if (c != lit[0] && c != lit[1] && c != lit[2]) break;
            ++count;
        }
        return count;
    }
    CColor pixelAt(const CLinearBitmap& bitmap, int x, int y) {
        const uint8_t* p = bitmap.pixel(x, y);
        return CColor(p[2]) << 16 | CColor(p[1]) << 8 | p[0];
    }
    int expectedPixels(double db) { return int(std::lround(meter->range().toUnit(db) * meter->barLength())); }
};

TEST(LevelMeterCombo, ChannelsSharingABarCombineByEveryMode) {
    ELevelCombo mode;
    const std::vector<double> two{-6.0, -12.0};
    const double a = std::pow(10.0, -6.0 / 20), b = std::pow(10.0, -12.0 / 20);
    ASSERT_TRUE(parseLevelCombo("sum", mode));
    EXPECT_NEAR(combineLevels(mode, {-6.0, -6.0}), -6.0 + 10 * std::log10(2.0), 1e-9) << "powers add: +3 dB";
    ASSERT_TRUE(parseLevelCombo("max", mode));
    EXPECT_EQ(combineLevels(mode, two), -6.0);
    ASSERT_TRUE(parseLevelCombo("min", mode));
    EXPECT_EQ(combineLevels(mode, two), -12.0);
    ASSERT_TRUE(parseLevelCombo("avg", mode));
    EXPECT_NEAR(combineLevels(mode, two), 20 * std::log10((a + b) / 2), 1e-9);
    ASSERT_TRUE(parseLevelCombo("rms", mode));
    EXPECT_NEAR(combineLevels(mode, two), 10 * std::log10((a * a + b * b) / 2), 1e-9);
    // A silent channel adds nothing, and takes nothing away from "max".
    for (const char* name : {"sum", "max", "rms"}) {
        ASSERT_TRUE(parseLevelCombo(name, mode));
        EXPECT_GT(combineLevels(mode, {-HUGE_VAL, -20.0}), -HUGE_VAL) << name;
    }
    ASSERT_TRUE(parseLevelCombo("min", mode));
    EXPECT_EQ(combineLevels(mode, {-HUGE_VAL, -20.0}), -HUGE_VAL);
    EXPECT_EQ(combineLevels(mode, {}), -HUGE_VAL);
    EXPECT_FALSE(parseLevelCombo("mean", mode));
    EXPECT_FALSE(parseLevelCombo("", mode));
}

TEST(LevelMeter, DefinitionErrorsAreReportedWhenTheWindowOpens) {
    const struct {
        std::string body;
        const char* message;
    } cases[] = {
        {meterBody("combo-mode=\"loudest\""), "Invalid combo mode."},
        {meterBody("combo-mode-peak=\"peak\""), "Invalid peak combo mode."},
        {meterBody({}, "viz-name=\"\""), "Visual object name is not defined."},
        {meterBody("out-format=\"%s\""), "Invalid output format '%s'."},
    };
    for (const auto& c : cases) {
        CMeterEditor editor(c.body);
        EXPECT_EQ(errorText(editor.err), c.message);
    }
    std::string lonely = meterBody();
    const size_t from = lonely.find("<ui:level-meter-listener"), to = lonely.find("/>", from) + 2;
    lonely.erase(from, to - from);
    CMeterEditor editor(lonely);
    EXPECT_EQ(errorText(editor.err), "At least one listener object is required.");
}

TEST(LevelMeter, ARenderedSineShowsAtItsLevelWithinOneFrame) {
    CMeterEditor editor;
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    ASSERT_EQ(editor.meter->bars().size(), 2u) << "the default routing: L and R in group 1";
    editor.frame();
    EXPECT_EQ(editor.meter->getAttr("sum-value"), "-inf");

    // The audio side's short integration time (2 ms) reads a sine's RMS
    // level slightly high: within 1 dB.
    editor.render(-20, -HUGE_VAL, 0.2);
    editor.frame();
    const double level = editor.meter->bars()[0].level;
    EXPECT_NEAR(level, -20.0, 1.0);
    EXPECT_EQ(editor.meter->bars()[1].level, -HUGE_VAL) << "the right input is silent";
    CLinearBitmap bitmap = editor.drawn();
    EXPECT_EQ(editor.litPixels(bitmap, 0), editor.expectedPixels(level));
    EXPECT_NEAR(editor.litPixels(bitmap, 0), editor.expectedPixels(-20), 2);
    EXPECT_EQ(editor.litPixels(bitmap, 1), 0);
    // The combined level for read-outs, in its format.
    char text[16];
    std::snprintf(text, sizeof text, "%0.1f", level);
    EXPECT_EQ(editor.meter->getAttr("sum-value"), text);

    // -60 dB is below the range: an empty bar; +10 dB fills it into the red
    // zone, its held peak lamp in the red peak colour at the top.
    editor.render(-60, 10, 1.2);
    editor.frame();
    bitmap = editor.drawn();
    EXPECT_EQ(editor.litPixels(bitmap, 0), 0);
    EXPECT_EQ(editor.litPixels(bitmap, 1), editor.meter->barLength() - 4) << "lit up to the peak lamp";
    const CRect right = editor.meter->barRect(1);
    const int x = (right.left + right.right) / 2;
    EXPECT_EQ(editor.pixelAt(bitmap, x, right.top), editor.role("LevelMeterPeakRed"));
    EXPECT_EQ(editor.pixelAt(bitmap, x, right.top + 4), editor.role("LevelMeterZone3"));
    EXPECT_EQ(editor.pixelAt(bitmap, x, right.bottom - 1), editor.role("LevelMeter"));

    // The host stops: no new frames. After the inactive timeout the bars
    // fall instead of freezing.
    editor.frame(0.1);
    EXPECT_GT(editor.meter->bars()[1].level, 0.0);
    editor.frame(0.2);
    EXPECT_EQ(editor.meter->bars()[1].level, -HUGE_VAL);
    EXPECT_EQ(editor.litPixels(editor.drawn(), 1), 0);
    EXPECT_EQ(editor.meter->getAttr("sum-value"), "-inf");
}

TEST(LevelMeter, ShowsTheSelectedGroupsChannelsInRoutingOrder) {
    CMeterEditor editor;
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* rulerNames = dynamic_cast<CRuler*>(editor.root.findObject("ui.box.ruler-channels"));
    EXPECT_EQ(editor.meter->shownChannels(), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(rulerNames->getAttr("hint"), "Channels on the level meter: L, R");
    ASSERT_EQ(rulerNames->marks().size(), 2u);
    EXPECT_EQ(rulerNames->marks()[1].label, "R");

    const auto set = [&](const char* bridge, size_t element, double value) {
        auto* b = dynamic_cast<CParamBridge*>(editor.root.findObject(bridge));
        CParamBridge::CChange where;
        where.element = element;
        ASSERT_EQ(b->change(where, {value}), nullptr);
        ASSERT_EQ(editor.root.ui().refresh(), nullptr);
    };
    // Input 1 feeds internal channel 2, input 2 channel 1: the meter
    // follows the inputs, and a signal on the left input lights the
    // first bar.
    set("ui.in-routing-bridge", 0, 2);
    set("ui.in-routing-bridge", 1, 1);
    EXPECT_EQ(editor.meter->shownChannels(), (std::vector<size_t>{1, 0}));
    editor.render(-10, -HUGE_VAL, 0.2);
    editor.frame();
    EXPECT_NEAR(editor.meter->bars()[0].level, -10, 1.0);
    EXPECT_EQ(editor.meter->bars()[1].level, -HUGE_VAL);

    // Internal channel 2 moves to group 2: group 1 keeps channel 1 (fed by
    // the right input), group 2 shows channel 2, and the switch shows all.
    set("ui.grouping-bridge", 1, 1);
    EXPECT_EQ(editor.meter->shownChannels(), (std::vector<size_t>{0}));
    EXPECT_EQ(rulerNames->getAttr("hint"), "Channels on the level meter: R");
    ASSERT_EQ(editor.root.findObject("ui.groupsel")->setAttr("selected-group", "1"), nullptr);
    EXPECT_EQ(editor.meter->shownChannels(), (std::vector<size_t>{1}));
    EXPECT_NEAR(editor.meter->bars()[0].level, -10, 1.0) << "the new bar shows the level at once";
    set("ui.show-all-channels-bridge", 0, 1);
    EXPECT_EQ(editor.meter->shownChannels(), (std::vector<size_t>{1, 0}));
}

TEST(LevelMeter, NeighboursShareABarWhenTheBarsDoNotFit) {
    // Two channels in a meter with room for one bar: their levels combine.
    std::string body = meterBody("combo-mode=\"max\" combo-mode-peak=\"min\" min-bar-width=\"40\"");
    CMeterEditor editor(body);
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    ASSERT_EQ(editor.meter->bars().size(), 1u);
    EXPECT_EQ(editor.meter->bars()[0].channels, (std::vector<size_t>{0, 1}));
    editor.render(-30, -6, 0.3);
    editor.frame();
    EXPECT_NEAR(editor.meter->bars()[0].level, -6, 1.0) << "max";
    EXPECT_LT(editor.meter->bars()[0].peak, -20) << "min of the peaks";
    EXPECT_EQ(dynamic_cast<CRuler*>(editor.root.findObject("ui.box.ruler-channels"))->marks()[0].label, "L+R");
}

TEST(LevelMeter, DensityModeShowsABandWhereTheLevelStaysThatFadesOverTheHoldTime) {
    CMeterEditor editor(meterBody("is-density-mode=\"true\" is-peak-shown=\"false\""));
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    // Two seconds of a steady sine, at 40 frames a second.
    for (int i = 0; i < 80; ++i) {
        editor.render(-24, -HUGE_VAL, 0.025);
        editor.frame(0.025);
    }
    const std::vector<float>& density = editor.meter->bars()[0].density;
    const int at = int(std::max_element(density.begin(), density.end()) - density.begin());
    EXPECT_NEAR(at + 1, editor.expectedPixels(-24), 2) << "the most visited pixel is at the level";
    const CRect bar = editor.meter->barRect(0);
    const int x = (bar.left + bar.right) / 2;
    const auto pixel = [&](const CLinearBitmap& b, int p) { return editor.pixelAt(b, x, bar.bottom - 1 - p); };
    const auto green = [](CColor c) { return int((c >> 8) & 0xff); };
    const CColor lit = editor.role("LevelMeter"), dim = editor.role("LevelMeterZone1Dim");
    ASSERT_NE(green(lit), green(dim));

    // A level held for the hold time (1 s) and more shows fully, over a
    // band as wide as the peak lamp (4): fully at its middle three pixels,
    // partly at its edges, and not at all beyond.
    CLinearBitmap bitmap = editor.drawn();
    EXPECT_EQ(editor.litPixels(bitmap, 0), 0) << "no plain bar in density mode";
    for (int p : {at - 1, at, at + 1}) EXPECT_EQ(pixel(bitmap, p), lit) << p - at;
    for (int p : {at - 2, at + 2}) {
        EXPECT_GT(green(pixel(bitmap, p)), green(dim) + 20) << p - at;
        EXPECT_LT(green(pixel(bitmap, p)), green(lit)) << p - at;
    }
    for (int p : {at - 6, at + 6}) EXPECT_EQ(pixel(bitmap, p), dim) << p - at;

    // Silence: a second and a half later the band is still there, fainter;
    // within ten seconds it is gone.
    for (int i = 0; i < 60; ++i) {
        editor.render(-HUGE_VAL, -HUGE_VAL, 0.025);
        editor.frame(0.025);
    }
    bitmap = editor.drawn();
    EXPECT_GT(green(pixel(bitmap, at)), green(dim) + 10);
    EXPECT_LT(green(pixel(bitmap, at)), green(dim) + (green(lit) - green(dim)) / 2) << "less than half as bright";
    for (int i = 0; i < 40; ++i) editor.frame(0.25);
    EXPECT_EQ(*std::max_element(density.begin(), density.end()), 0.0f);
    EXPECT_EQ(pixel(editor.drawn(), at), dim);
}

TEST(MinMax, LinearAndLogarithmicRanges) {
    CMinMax range;
    range.setAttr("min", "-48");
    range.setAttr("max", "6");
    ASSERT_EQ(range.init(), nullptr);
    EXPECT_EQ(range.toUnit(-48), 0.0);
    EXPECT_EQ(range.toUnit(-HUGE_VAL), 0.0);
    EXPECT_EQ(range.toUnit(10), 1.0);
    EXPECT_NEAR(range.toUnit(-21), 0.5, 1e-12);
    EXPECT_NEAR(range.fromUnit(0.5), -21, 1e-12);
    range.setAttr("min", "20");
    range.setAttr("max", "20000");
    range.setAttr("is-log", "true");
    ASSERT_EQ(range.init(), nullptr);
    EXPECT_NEAR(range.toUnit(632.45553), 0.5, 1e-6);
    EXPECT_NEAR(range.fromUnit(range.toUnit(1000)), 1000, 1e-9);
    range.setAttr("min", "0");
    EXPECT_NE(range.init(), nullptr) << "a logarithmic range must stay positive";
    range.setAttr("is-log", "false");
    range.setAttr("max", "-1");
    EXPECT_NE(range.init(), nullptr) << "max below min";
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

TEST(LevelMeter, TheDbRulerMarksTheMetersRangeAtTheBarsPixels) {
    CMeterEditor editor;
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* ruler = dynamic_cast<CRuler*>(editor.root.findObject("ui.box.ruler-scale"));
    const auto& marks = ruler->marks();
    ASSERT_EQ(marks.size(), 10u) << "every 6 dB from -48 to +6";
    const CRect bars = editor.meter->barRect(0);
    EXPECT_EQ(marks.front().at, bars.bottom - 1);
    EXPECT_EQ(marks.back().at, bars.top);
    // 0 dB sits where a bar's red zone starts.
    const int zeroRow = bars.bottom - editor.expectedPixels(0);
    bool zeroLabelled = false;
    for (const auto& mark : marks) {
        if (mark.label == CString("0")) zeroLabelled = std::abs(mark.at - zeroRow) <= 1;
        EXPECT_TRUE(mark.label.empty() || mark.label == CString("-48") || mark.label.at(0) != u'+' ||
                    mark.label == CString("+6"));
    }
    EXPECT_TRUE(zeroLabelled);
    // The labels do not crowd: at least a text line apart.
    int last = 1 << 20;
    for (const auto& mark : marks)
        if (!mark.label.empty()) {
            EXPECT_GE(last - mark.at, 8) << mark.label.utf8();
            last = mark.at;
        }
}

TEST(LevelMeter, HorizontalBarsGrowToTheRight) {
    CMeterEditor editor(meterBody("is-vertical=\"false\""));
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    editor.render(-12, -HUGE_VAL, 0.2);
    editor.frame();
    const CLinearBitmap bitmap = editor.drawn();
    const CRect bar = editor.meter->barRect(0);
    const int y = (bar.top + bar.bottom) / 2;
    int lit = 0;
    while (bar.left + lit < bar.right &&
           editor.pixelAt(bitmap, bar.left + lit, y) != editor.role("LevelMeterZone1Dim") &&
           editor.pixelAt(bitmap, bar.left + lit, y) != editor.role("LevelMeterZone2Dim"))
        ++lit;
    const int expected = editor.expectedPixels(editor.meter->bars()[0].level);
    EXPECT_NEAR(lit, expected, 4) << "lit up to the peak lamp just above the level";
    EXPECT_EQ(editor.pixelAt(bitmap, bar.left, y), editor.role("LevelMeter"));
    EXPECT_EQ(bar.width(), editor.meter->barLength());
}

TEST(VizExchange, StopsListeningOnceNoMeterAskedForItsInactiveTimeout) {
    CMeterEditor editor;
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* client = dynamic_cast<CAudioInterfaceClient*>(editor.root.findObject("ui.interface-client"));
    // The meter's own frames start the fetching.
    EXPECT_TRUE(editor.root.loop.runUntil([&] { return client->isVizActive(); }, 5000));
    EXPECT_TRUE(editor.exchange->isListening());
    editor.root.loop.runFor(700);
    EXPECT_TRUE(editor.exchange->isListening()) << "a meter that keeps asking keeps it going";
    // The meter goes, as with its window.
    CObject* box = editor.root.findObject("ui.box");
    box->parent()->removeChild(box);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(editor.root.loop.runUntil([&] { return !editor.exchange->isListening(); }, 5000));
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.55);
    EXPECT_TRUE(editor.root.loop.runUntil([&] { return !client->isVizActive(); }, 5000));
}

}  // namespace
}  // namespace zel
