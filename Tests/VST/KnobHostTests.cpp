// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's delay knobs in the plug-in's own editor, in a host's
// window: a drag reaches the host as an edit of its parameter, and the
// host's changes turn the knobs.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "EditorInHostFixture.h"
#include "HostContext.h"
#include "UI/Controls/Knob.h"

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

}  // namespace
}  // namespace zel
