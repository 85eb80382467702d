// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's quick entries and status line, used by a person in the
// editor of a plug-in instance in our host's window.

#include <gtest/gtest.h>

#include <string>

#include "Audio/Param.h"
#include "Audio/VST/AudioWrapperVST3.h"
#include "EditorInHostFixture.h"
#include "Other/AudioInterfaceBase.h"
#include "UI/Controls/QuickEntry.h"

namespace zel {
namespace {

class MainWindowEntryThreads : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
        ASSERT_NE(wrapper, nullptr);
    }
    CView* part(const std::string& path) {
        auto* found = dynamic_cast<CView*>(editor->editorRoot()->findObject("ui.main-window." + path));
        EXPECT_NE(found, nullptr) << path;
        return found;
    }
    CEditBoxQuickEntry* entry(const char* panel) {
        return dynamic_cast<CEditBoxQuickEntry*>(part(std::string("panels.") + panel + ".entry.quick-entry"));
    }
    // The instance's own value, not the editor's copy.
    double value(const char* name, size_t group, size_t element) {
        auto* param = dynamic_cast<CAudioParam*>(wrapper->plugin().findObject(name));
        EXPECT_NE(param, nullptr) << name;
        if (!param) return -1.0;
        std::lock_guard<std::mutex> lock(param->lock());
        return param->storage().read(group, element);
    }
    std::vector<double> digits(const char* name, size_t count) {
        std::vector<double> out;
        for (size_t i = 0; i < count; ++i) out.push_back(value(name, 0, i));
        return out;
    }

    CAudioWrapperVST3* wrapper = nullptr;
};

TEST_F(MainWindowEntryThreads, TypedDelaysSetEveryDigitOfTheGroupAsOneUndoStepAndTabGoesOn) {
    CEditBoxQuickEntry* delay = entry("audio-delay");
    CEditBoxQuickEntry* samples = entry("sample-delay");
    ASSERT_TRUE(delay && samples);
    EXPECT_EQ(delay->getAttr("title"), CString("0.00"));
    EXPECT_EQ(samples->getAttr("title"), CString("0"));
    const size_t undoBefore = wrapper->interfaceBase().undo().count();

    xdo("mousemove " + at(*delay) + " click 1");
    ASSERT_TRUE(until([&] { return delay->isEditing() && renderer->window()->holdsInputFocus(); }));
    xdo("type --delay 10 -- '250'");
    ASSERT_TRUE(until([&] { return delay->buffer().text() == "250"; }));
    // Tab accepts and goes on to the next field of its group: the sample delay's.
    xdo("key Tab");
    ASSERT_TRUE(until([&] { return samples->isEditing(); }));
    ASSERT_TRUE(
        until([&] { return digits("plugin.modMain.modLagwell.adelay", 6) == std::vector<double>{0, 0, 0, 5, 2, 0}; }));
    // The digits' filter made the delay time of the group from them: 250 ms.
    EXPECT_NEAR(value("plugin.modMain.modLagwell.audio-delay", 0, 0), 0.25, 1e-12);
    EXPECT_EQ(delay->getAttr("title"), CString("250.00"));

    xdo("type --delay 10 -- '123456'");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return digits("plugin.modMain.modLagwell.sdelay", 5) == std::vector<double>(5, 9.0); }));
    EXPECT_EQ(value("plugin.modMain.modLagwell.sample-delay", 0, 0), 99999.0);
    ASSERT_TRUE(until([&] { return samples->getAttr("title") == CString("99999"); }));
    EXPECT_EQ(wrapper->interfaceBase().undo().count(), undoBefore + 2);
}

// The entry shows what was typed until the instance answers; an undo that
// comes first takes the number back in the entry too.
TEST_F(MainWindowEntryThreads, ATypedDelayUndoneBeforeTheNextFrameShowsTheInstancesDelay) {
    CEditBoxQuickEntry* delay = entry("audio-delay");
    auto* undo = part("buttons.history.undo");
    ASSERT_TRUE(delay && undo);
    ASSERT_EQ(delay->getAttr("title"), CString("0.00"));
    holdFrames();
    const size_t position = client->undoPosition();
    xdo("mousemove " + at(*delay) + " click 1");
    ASSERT_TRUE(until([&] { return delay->isEditing() && renderer->window()->holdsInputFocus(); }));
    xdo("type --delay 10 -- '250'");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return !delay->isEditing() && client->undoPosition() == position + 1; }));
    EXPECT_EQ(value("plugin.modMain.modLagwell.adelay", 0, 4), 2.0);
    xdo("mousemove " + at(*undo) + " click 1");
    ASSERT_TRUE(until([&] { return digits("plugin.modMain.modLagwell.adelay", 6) == std::vector<double>(6, 0.0); }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return delay->getAttr("title") == CString("0.00"); })) << delay->getAttr("title").utf8();
}

TEST_F(MainWindowEntryThreads, TheStatusLineShowsTheHintUnderThePointerWhileHintsAreOn) {
    CView* status = part("c.window-status");
    ASSERT_NE(status, nullptr);
    xdo("mousemove " + at(*part("panels.sample-delay.title")));
    ASSERT_TRUE(until([&] {
        return status->getAttr("title") ==
               CString("Delay is samples (added to audio delay). Summary max is 12 seconds.");
    }));
    xdo("mousemove " + at(*entry("audio-delay")));
    ASSERT_TRUE(until([&] { return status->getAttr("title").utf8().rfind("Quick entry of the delay", 0) == 0; }));
    xdo("mousemove " + at(*part("panels.out.title")));
    ASSERT_TRUE(until([&] { return status->getAttr("title") == CString("Master output gain (dB)."); }));
    ASSERT_EQ(status->setAttr("is-show-hints", "false"), nullptr);
    EXPECT_EQ(status->getAttr("title"), CString(""));
    // Drawn: the status area shows text while hints are on, and none while off.
    const auto inked = [&] {
        const uint64_t shown = renderer->frameCount();
        EXPECT_TRUE(until([&] { return renderer->frameCount() > shown + 1; }));
        const CLinearBitmap& bitmap = renderer->bitmap();
        const CRect& r = status->area();
        int dark = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (bitmap.pixel(x, y)[1] < 0x60) ++dark;
        return dark;
    };
    EXPECT_EQ(inked(), 0);
    ASSERT_EQ(status->setAttr("is-show-hints", "true"), nullptr);
    EXPECT_GT(inked(), 30);
}

}  // namespace
}  // namespace zel
