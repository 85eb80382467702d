// SPDX-License-Identifier: GPL-3.0-or-later
// What a host hears of a person's edits in the plug-in's editor, in our
// host's window: a drag is one edit of its parameter from the press to the
// release, however many values it goes through; a wheel step and a typed
// value are complete edits; an edit is never left open, not even by a host
// that replaces its handler half-way through a drag.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "EditorInHostFixture.h"
#include "HostContext.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/QuickEntry.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::ComponentHandler;

// A whole step of a digit knob, dragged at full precision.
const std::string kStepUp = "mousemove_relative -- 0 -125";
const std::string kStepDown = "mousemove_relative -- 0 125";

class HostEditThreads : public test::CInstanceEditorInHost {
protected:
    void beforeOpening() override { ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultTrue); }
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ones = find<CKnob>("main-window.panels.audio-delay.digit-2");
        ASSERT_NE(ones, nullptr);
        onesId = paramId("ADelay2");
    }
    void TearDown() override {
        CInstanceEditorInHost::TearDown();
        plugin.controller->setComponentHandler(nullptr);
        for (const ComponentHandler* h : {&handler, &successor}) {
            for (const std::string& fault : h->faults()) ADD_FAILURE() << fault;
            EXPECT_TRUE(h->openEdits().empty());
        }
    }
    std::string onKnob() const { return point(int(ones->centreX()), int(ones->centreY())); }
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

    ComponentHandler handler;
    // A handler the host replaces `handler` with; it outlives the instance's
    // hold on it when a test stops half-way.
    ComponentHandler successor;
    CKnob* ones = nullptr;
    Vst::ParamID onesId = 0;
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
    auto* delay = find<CEditBoxQuickEntry>("main-window.panels.audio-delay.entry.quick-entry");
    ASSERT_NE(delay, nullptr);
    xdo("mousemove " + at(*delay) + " click 1");
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

TEST_F(HostEditThreads, AHandlerReplacedMidDragHearsTheEditsEndAndItsSuccessorTheRest) {
    xdo("mousemove " + onKnob() + " mousedown 1 " + kStepUp);
    ASSERT_TRUE(until([&] { return calls(handler, onesId) == "BP"; }));

    // The host hands the instance a new handler while the button is down:
    // the old one hears the end of the edit it began, at once.
    ASSERT_EQ(plugin.controller->setComponentHandler(&successor), kResultTrue);
    EXPECT_EQ(calls(handler, onesId), "BPE");
    EXPECT_TRUE(handler.openEdits().empty());

    // The drag goes on (back down: another step up would take the pointer
    // past the top of the screen): its next change begins an edit with the
    // new one, which the release ends; the old one hears nothing more.
    xdo(kStepDown);
    ASSERT_TRUE(until([&] { return calls(successor, onesId) == "BP" && lastValue(successor, onesId) == 0.0; }))
        << calls(successor, onesId);
    EXPECT_EQ(successor.openEdits(), std::vector<Vst::ParamID>{onesId});
    xdo("mouseup 1");
    ASSERT_TRUE(until([&] { return successor.openEdits().empty(); }));
    EXPECT_EQ(calls(successor, onesId), "BPE");
    EXPECT_EQ(calls(handler, onesId), "BPE");
}

}  // namespace
}  // namespace zel
