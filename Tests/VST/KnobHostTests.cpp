// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's delay knobs in the plug-in's own editor, in a host's
// window: a drag reaches the host as an edit of its parameter, and the
// host's changes turn the knobs.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Audio/VST/AudioWrapperVST3.h"
#include "EditorInHostFixture.h"
#include "HostContext.h"
#include "Other/AudioInterfaceBase.h"
#include "UI/Controls/Knob.h"
#include "UI/ParamGroupSelector.h"
#include "UI/ParamLink.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::ComponentHandler;

class KnobInHost : public test::CInstanceEditorInHost {
protected:
    void beforeOpening() override { ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultTrue); }
    void TearDown() override {
        CInstanceEditorInHost::TearDown();
        plugin.controller->setComponentHandler(nullptr);
        for (const std::string& fault : handler.faults()) ADD_FAILURE() << fault;
    }
    // Whether the host was told of `value` for `id`.
    bool told(Vst::ParamID id, double value) const {
        for (const ComponentHandler::Edit& e : handler.edits())
            if (e.kind == ComponentHandler::Kind::Perform && e.id == id && std::fabs(e.value - value) < 1e-9)
                return true;
        return false;
    }
    std::string onKnob(const CKnob& knob) const { return point(int(knob.centreX()), int(knob.centreY())); }
    // One letter per call the host heard about `id`: Begin, Perform, End.
    std::string calls(Vst::ParamID id) const {
        std::string out;
        for (const ComponentHandler::Edit& e : handler.edits())
            if (e.id == id) out += "BPE"[int(e.kind)];
        return out;
    }
    size_t undoCount() { return dynamic_cast<CAudioWrapperVST3&>(*plugin.component).interfaceBase().undo().count(); }

    ComponentHandler handler;
};

TEST_F(KnobInHost, ADigitKnobDragIsTheHostsEditAndTheHostsChangeTurnsTheKnob) {
    auto* ones = find<CKnob>("main-window.panels.audio-delay.digit-2");
    auto* tens = find<CKnob>("main-window.panels.audio-delay.digit-3");
    ASSERT_TRUE(ones && tens);

    // Hovered first: the knob lights up and shows its scale.
    xdo("mousemove " + onKnob(*ones));
    const uint64_t hovered = renderer->frameCount();
    ASSERT_TRUE(until([&] { return renderer->frameCount() > hovered + 30; }));
    renderer->sectorMap()->takeHandedOut();

    // "x 1" dragged up by 1.04 steps: 1 ms of delay, told to the host.
    const Vst::ParamID id = paramId("ADelay2");
    xdo("mousedown 1 mousemove_relative -- 0 -125 mouseup 1");
    ASSERT_TRUE(until([&] { return told(id, 1.0 / 9.0); }));
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(id), 1.0 / 9.0);
    EXPECT_TRUE(until([&] { return ones->frame() == int(std::lround(1.0 / 9.0 * 84)); }));
    // Only the knob with its scale, and the delay's quick entry, which
    // shows the new delay, were drawn again, and what follows the gesture.
    const uint64_t shown = renderer->frameCount();
    ASSERT_TRUE(until([&] { return renderer->frameCount() > shown + 2; }));
    auto* entry = find("main-window.panels.audio-delay.entry.quick-entry");
    ASSERT_NE(entry, nullptr);
    // The undo history has a new step. The pointer left the knob: its scale
    // faded out where it lies, and the status line shows the hint of what
    // the pointer is over now.
    auto* labels = dynamic_cast<CView*>(ones->findChild("labels"));
    auto* status = find("main-window.c");
    auto* history = find("main-window.buttons.history");
    ASSERT_TRUE(labels && status && history);
    for (const CRect& sector : renderer->sectorMap()->takeHandedOut()) {
        bool expected = false;
        for (const CView* drawn : {static_cast<CView*>(ones), labels, entry, status, history})
            expected = expected || !sector.intersect(drawn->drawClip()).isEmpty();
        EXPECT_TRUE(expected) << sector.left << "," << sector.top;
    }

    // The host's change (automation read) turns "x 10".
    ASSERT_EQ(plugin.controller->setParamNormalized(paramId("ADelay3"), 5.0 / 9.0), kResultOk);
    EXPECT_TRUE(until([&] { return tens->frame() == int(std::lround(5.0 / 9.0 * 84)); }));
}

TEST_F(KnobInHost, AKnobChangesEveryGroupOfItsMultichangeListInOneStep) {
    auto* ones = find<CKnob>("main-window.panels.audio-delay.digit-2");
    auto* groups = find<CParamGroupSelector>("groupsel");
    ASSERT_TRUE(ones && groups);
    CView* third = nullptr;
    ASSERT_TRUE(until([&] {
        return (third = find("main-window.panels.audio-delay.digit-2.knob-multichange.group-2")) &&
               !third->area().isEmpty();
    }));
    const Vst::ParamID first = paramId("ADelay2"), second = paramId("2ADly2"), other = paramId("3ADly2");
    ASSERT_EQ(plugin.controller->setParamNormalized(other, 3.0 / 9.0), kResultOk);
    ASSERT_TRUE(until([&] {
        return std::fabs(
                   find<CUIParam>("main-window.panels.audio-delay.digit-2.ui-param-values")->normalizedValueIn(2) -
                   3.0 / 9.0) < 1e-9;
    }));

    // Its item in the list of "x 1" puts the third group in; the knob stays.
    xdo("mousemove " + at(*third) + " click 1");
    ASSERT_TRUE(until([&] { return groups->isActive(2); }));
    EXPECT_FALSE(groups->isActive(1));
    EXPECT_TRUE(third->states().isSet("active"));
    EXPECT_TRUE(handler.edits().empty());
    const size_t steps = undoCount();

    // A drag up by a step takes both groups a step up, as one undo step
    // and one host edit per parameter.
    xdo("mousemove " + onKnob(*ones) + " mousedown 1 mousemove_relative -- 0 -125 mouseup 1");
    ASSERT_TRUE(until([&] { return calls(first) == "BPE" && calls(other) == "BPE"; }))
        << calls(first) << " " << calls(other);
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(first), 1.0 / 9.0);
    EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(other), 4.0 / 9.0);
    EXPECT_EQ(calls(second), "");
    EXPECT_TRUE(until([&] { return undoCount() == steps + 1; })) << undoCount() - steps;

    // A wheel notch steps both.
    ASSERT_TRUE(until([&] { return ones->frame() == int(std::lround(1.0 / 9.0 * 84)); }));
    xdo("mousemove " + onKnob(*ones) + " click 4");
    ASSERT_TRUE(until([&] { return calls(other) == "BPEBPE"; })) << calls(other);
    EXPECT_TRUE(until([&] {
        return std::fabs(plugin.controller->getParamNormalized(first) - 2.0 / 9.0) < 1e-9 &&
               std::fabs(plugin.controller->getParamNormalized(other) - 5.0 / 9.0) < 1e-9;
    })) << calls(first)
        << " " << calls(other);

    // A double-click resets both, in one undo step.
    const size_t beforeReset = undoCount();
    xdo("sleep 0.6 click --repeat 2 --delay 80 1");
    ASSERT_TRUE(until([&] {
        return plugin.controller->getParamNormalized(first) == 0.0 &&
               plugin.controller->getParamNormalized(other) == 0.0;
    }));
    EXPECT_TRUE(until([&] { return undoCount() == beforeReset + 1; })) << undoCount() - beforeReset;
    EXPECT_EQ(calls(second), "");

    // Out of the list again, the third group stays where it is.
    xdo("mousemove " + at(*third) + " click 1");
    ASSERT_TRUE(until([&] { return !groups->isActive(2); }));
    xdo("mousemove " + onKnob(*ones) + " click 4");
    ASSERT_TRUE(until([&] { return plugin.controller->getParamNormalized(first) == 1.0 / 9.0; }));
    EXPECT_EQ(plugin.controller->getParamNormalized(other), 0.0);
}

}  // namespace
}  // namespace zel
