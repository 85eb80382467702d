// SPDX-License-Identifier: GPL-3.0-or-later
// The channel label and group name windows, and the error window, of the
// editor of an instance in our host's window, used as a person does.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "Audio/Param.h"
#include "Audio/ParamTransaction.h"
#include "Audio/VST/AudioWrapperVST3.h"
#include "Core/Notify.h"
#include "EditorInHostFixture.h"
#include "Other/AudioInterfaceBase.h"
#include "Other/AudioInterfaceClient.h"
#include "Other/ParamInterfaceClient.h"
#include "Platform/Clipboard.h"
#include "UI/Controls/TextView.h"
#include "UI/Controls/ValueList.h"
#include "UI/EditBox.h"
#include "UI/ErrorWindow.h"
#include "UI/ParamLink.h"
#include "UI/WindowOpener.h"
#include "UI/WindowSharedData.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

namespace zel {
namespace {

using namespace Steinberg;

class NameWindowsOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(until([&] {
            return bridge("in-channel-names")->isReady() && bridge("group-names")->isReady() &&
                   !client->undoHistory().empty();
        }));
    }

    std::string stored(const char* param, size_t element) {
        auto* wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
        auto* p = dynamic_cast<CAudioParam*>(wrapper->plugin().findObject(std::string("plugin.modMain.") + param));
        return p ? p->storage().text(0, element).utf8() : std::string("no parameter");
    }
    size_t undoCount() { return dynamic_cast<CAudioWrapperVST3&>(*plugin.component).interfaceBase().undo().count(); }

    // Opens the popup of `tag` over the main window, as its button does, and
    // waits until the server shows it.
    CWinDrag* openWindow(const char* tag) {
        CWinDrag* popup = nullptr;
        auto* main = find("main-window");
        EXPECT_EQ(opener->openPopup(tag, "", *main, popup), nullptr);
        EXPECT_TRUE(shown(popup));
        return popup;
    }
    // The screen centre of the view at `path` below the popup.
    std::string on(CWinDrag& popup, const std::string& path) {
        auto* v = dynamic_cast<CView*>(popup.findObject(popup.fullName() + "." + path));
        EXPECT_NE(v, nullptr) << path;
        auto* r = dynamic_cast<CWindowRenderer*>(popup.findChild("window-renderer"));
        int left = 0, top = 0;
        EXPECT_TRUE(r->window()->screenOrigin(left, top));
        return v ? centre(v->area(), left, top) : std::string("0 0");
    }
    CTextView* nameView(CWinDrag& popup, int index) {
        return dynamic_cast<CTextView*>(
            popup.findObject(popup.fullName() + ".names.name-" + std::to_string(index) + ".name"));
    }
    bool shows(CWinDrag& popup, int index, const char* text) {
        return nameView(popup, index)->getAttr("title") == CString(text);
    }
    // Types `text` over the name `index` of the window and accepts it.
    void typeName(CWinDrag& popup, int index, const std::string& text) {
        CTextView* name = nameView(popup, index);
        ASSERT_NE(name, nullptr);
        xdo("mousemove " + on(popup, "names.name-" + std::to_string(index) + ".name") + " click 1");
        ASSERT_TRUE(until([&] { return name->editor().editBox() && name->editor().editBox()->isEditing(); }));
        xdo("key ctrl+a");
        xdo("type --delay 10 '" + text + "'");
        ASSERT_TRUE(until([&] { return name->editor().editBox()->buffer().text() == text; }));
        // The user's setting shows the keyboard of the shipped document.
        EXPECT_TRUE(until([&] { return name->editor().editBox()->virtualKeyboard() != nullptr; }));
        xdo("key Return");
        ASSERT_TRUE(until([&] { return !name->editor().editBox() || !name->editor().editBox()->isEditing(); }));
    }
};

TEST_F(NameWindowsOnX, ChannelNamesTypedInTheWindowAreTheInstancesEachOneUndoStep) {
    CWinDrag* popup = openWindow("ui:win-channel-label-setup");
    ASSERT_NE(popup, nullptr);
    // Each row shows the name of its channel.
    EXPECT_TRUE(until([&] { return nameView(*popup, 0)->getAttr("title") == CString("L"); }));
    EXPECT_TRUE(until([&] { return nameView(*popup, 2)->getAttr("title") == CString("IN3"); }));

    const size_t steps = undoCount();
    const size_t entries = client->undoHistory().size();
    typeName(*popup, 2, "Kick");
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "Kick"; }));
    EXPECT_EQ(stored("io-params.in-channel-names", 1), "R") << "the other names stay";
    EXPECT_EQ(stored("io-params.in-channel-names", 3), "IN4");
    EXPECT_TRUE(until([&] { return undoCount() == steps + 1; }));

    // Undone from the editor's history, the instance has the old name again.
    ASSERT_TRUE(until([&] { return client->undoHistory().size() == entries + 1; }));
    ASSERT_EQ(client->setUndoHistoryPos(client->undoPosition() - 1), nullptr);
    EXPECT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "IN3"; }));
    EXPECT_TRUE(until([&] { return shows(*popup, 2, "IN3"); }));

    // Its Close button closes it.
    xdo("mousemove " + on(*popup, "buttons.close") + " click 1");
    EXPECT_TRUE(until([&] { return opener->popupCount() == 0; }));
}

// Whatever takes the typed name back before the editor's next frame (an
// undo, an A/B switch, a preset), the window shows the instance's name.
TEST_F(NameWindowsOnX, ATypedNameTakenBackBeforeTheNextFrameShowsTheInstancesName) {
    CWinDrag* popup = openWindow("ui:win-channel-label-setup");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(until([&] { return shows(*popup, 2, "IN3"); }));
    // Beside the main window, whose buttons it would cover.
    platform::CNativeWindow* window = dynamic_cast<CWindowRenderer*>(popup->findChild("window-renderer"))->window();
    xdo("windowmove " + std::to_string(window->id()) + " 600 40");
    ASSERT_TRUE(until([&] {
        int left = 0, top = 0;
        return window->screenOrigin(left, top) && left == 600;
    }));
    auto* undo = find("main-window.buttons.history.undo");
    auto* redo = find("main-window.buttons.history.redo");
    auto* ab = find("main-window.buttons.ab");
    ASSERT_TRUE(undo && redo && ab);
    const auto historyAt = [&](size_t position) { return until([&] { return client->undoPosition() == position; }); };

    // Undo.
    holdFrames();
    const size_t start = client->undoPosition();
    typeName(*popup, 2, "Kick");
    ASSERT_TRUE(historyAt(start + 1));
    click(*undo);
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "IN3"; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return shows(*popup, 2, "IN3"); })) << nameView(*popup, 2)->getAttr("title").utf8();

    // Redo, then undo again.
    holdFrames();
    click(*redo);
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "Kick"; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return shows(*popup, 2, "Kick"); }));
    holdFrames();
    typeName(*popup, 2, "Snare");
    ASSERT_TRUE(historyAt(start + 2));
    click(*undo);
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "Kick"; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return shows(*popup, 2, "Kick"); })) << nameView(*popup, 2)->getAttr("title").utf8();

    // An A/B switch: slot B starts as a copy of A; a name typed in B goes
    // away with the switch back to A.
    click(*ab);
    ASSERT_TRUE(until([&] { return bridge("ab-state")->value(0, 0) == 1.0; }));
    holdFrames();
    typeName(*popup, 2, "Tom");
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "Tom"; }));
    click(*ab);
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 2) == "Kick"; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return shows(*popup, 2, "Kick"); })) << nameView(*popup, 2)->getAttr("title").utf8();
}

TEST_F(NameWindowsOnX, ATypedGroupNameReplacedByAPresetBeforeTheNextFrameShowsThePresetsName) {
    CWinDrag* popup = openWindow("ui:win-group-name-setup");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(until([&] { return shows(*popup, 0, "1"); }));
    auto* presets = find("main-window.buttons.quick-preset-selector");
    ASSERT_NE(presets, nullptr);
    holdFrames();
    typeName(*popup, 0, "Drums");
    ASSERT_TRUE(until([&] { return stored("io-params.group-names", 0) == "Drums"; }));
    choose(*presets, "32 samples");
    ASSERT_TRUE(until([&] { return stored("io-params.group-names", 0) == "1"; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return shows(*popup, 0, "1"); })) << nameView(*popup, 0)->getAttr("title").utf8();
}

// A name the instance changes while the window is open (a restored state,
// another editor) shows at once, and after an edit that was abandoned.
TEST_F(NameWindowsOnX, AGroupNameChangedElsewhereShowsAtOnceAndAfterAnAbandonedEdit) {
    auto* wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
    auto* collector = dynamic_cast<CAudioParamCollector*>(wrapper->plugin().findObject("plugin.param-collector"));
    auto* names = dynamic_cast<CAudioParam*>(wrapper->plugin().findObject("plugin.modMain.io-params.group-names"));
    ASSERT_TRUE(collector && names);
    const auto rename = [&](const char* text) {
        CAudioParamTransaction tx(*collector);
        tx.setText(*names, 0, 1, text);
        tx.finish("Restore");
    };
    // The host saves the instance's state before the names change.
    MemoryStream saved;
    ASSERT_EQ(plugin.component->getState(&saved), kResultOk);
    CWinDrag* popup = openWindow("ui:win-group-name-setup");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(until([&] { return shows(*popup, 1, "2"); }));
    rename("Bass");
    EXPECT_TRUE(until([&] { return shows(*popup, 1, "Bass"); }));

    CTextView* name = nameView(*popup, 1);
    xdo("mousemove " + on(*popup, "names.name-1.name") + " click 1");
    ASSERT_TRUE(until([&] { return name->editor().editBox() && name->editor().editBox()->isEditing(); }));
    xdo("type --delay 10 'xyz'");
    rename("Keys");
    loop.runUntil([] { return false; }, 200);
    xdo("key Escape");
    ASSERT_TRUE(until([&] { return !name->editor().isEditing(); }));
    EXPECT_TRUE(until([&] { return shows(*popup, 1, "Keys"); })) << name->getAttr("title").utf8();
    EXPECT_EQ(stored("io-params.group-names", 1), "Keys") << "the abandoned edit changed nothing";

    // The host restores the state it saved.
    saved.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(plugin.component->setState(&saved), kResultOk);
    EXPECT_TRUE(until([&] { return shows(*popup, 1, "2"); })) << name->getAttr("title").utf8();
}

TEST_F(NameWindowsOnX, ImportTakesTheHostsChannelNamesAsOneLabelledUndoStep) {
    // The host lays out four inputs: its speakers name them.
    Vst::SpeakerArrangement in = Vst::SpeakerArr::k40Music, out = Vst::SpeakerArr::kStereo;
    FUnknownPtr<Vst::IAudioProcessor> processor(plugin.component);
    ASSERT_EQ(processor->setBusArrangements(&in, 1, &out, 1), kResultTrue);
    auto* facts = dynamic_cast<CAudioInterfaceClient*>(client);
    ASSERT_NE(facts, nullptr);
    ASSERT_TRUE(until([&] { return facts->channelLabels().size() == 4; }));

    CWinDrag* popup = openWindow("ui:win-channel-label-setup");
    ASSERT_NE(popup, nullptr);
    const size_t steps = undoCount();
    const size_t entries = client->undoHistory().size();
    xdo("mousemove " + on(*popup, "buttons.import") + " click 1");
    ASSERT_TRUE(until([&] { return stored("io-params.in-channel-names", 3) == "Rs"; }));
    EXPECT_EQ(stored("io-params.in-channel-names", 0), "L");
    EXPECT_EQ(stored("io-params.in-channel-names", 2), "Ls");
    EXPECT_EQ(stored("io-params.in-channel-names", 4), "IN5") << "inputs the host does not have keep their names";
    EXPECT_EQ(undoCount(), steps + 1);
    ASSERT_TRUE(until([&] { return client->undoHistory().size() == entries + 1; }));
    EXPECT_EQ(client->undoHistory().back(), CString("Channel label import"));
    EXPECT_TRUE(until([&] { return nameView(*popup, 2)->getAttr("title") == CString("Ls"); }));
}

TEST_F(NameWindowsOnX, AGroupNameTypedInTheWindowNamesTheGroupInTheEditor) {
    CWinDrag* popup = openWindow("ui:win-group-name-setup");
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(until([&] { return nameView(*popup, 1)->getAttr("title") == CString("2"); }));
    typeName(*popup, 1, "Drums");
    ASSERT_TRUE(until([&] { return stored("io-params.group-names", 1) == "Drums"; }));
    EXPECT_EQ(stored("io-params.group-names", 0), "1");
    // The main window's group selector lists it by that name.
    auto* groups = dynamic_cast<CValueList*>(root->findObject("ui.group-list"));
    ASSERT_NE(groups, nullptr);
    EXPECT_TRUE(until([&] {
        for (const CValueList::CItem& item : groups->items())
            if (item.title.utf8().find("Drums") != std::string::npos) return true;
        return false;
    }));
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

class ErrorWindowOnX : public NameWindowsOnX {
protected:
    CWinErrorMessage* errorWindow() {
        return dynamic_cast<CWinErrorMessage*>(opener->findPopup("ui:win-error-message"));
    }
    static CErrorPtr failure(const char* what) {
        return makeError("Test", __LINE__, "@zelstr_Test_run_Failed The %1 went wrong.", {CString(what)});
    }
};

TEST_F(ErrorWindowOnX, AnErrorOpensTheModalErrorWindowWhichCopiesAndCloses) {
    CSystem::showError(*failure("first thing"));
    // From another thread too: it reaches the same window.
    std::thread([] { CSystem::showError(*failure("second thing")); }).join();
    CWinErrorMessage* popup = nullptr;
    ASSERT_TRUE(until([&] { return (popup = errorWindow()) != nullptr && popup->messageCount() == 2; }));
    ASSERT_TRUE(shown(popup));
    EXPECT_EQ(opener->popupCount(), 1u) << "one window holds them all";
    EXPECT_EQ(popup->getAttr("title-message"), CString(CSystem::kErrorTitle));
    const std::string message = popup->getAttr("message").utf8();
    EXPECT_NE(message.find("The first thing went wrong."), std::string::npos) << message;
    EXPECT_NE(message.find("The second thing went wrong."), std::string::npos) << message;
    EXPECT_LT(message.find("first thing"), message.find("second thing"));
    const std::string explanation = CSystem::errorWindowText(nullptr).substr(0, 40);
    EXPECT_EQ(message.find(explanation), 0u);
    EXPECT_EQ(message.find(explanation, 1), std::string::npos) << "the explanation shows once";

    // The editor's window is blocked under it and shows its blocker.
    EXPECT_TRUE(renderer->isBlocked());
    auto* blocker = find("main-window.window-blocker");
    ASSERT_NE(blocker, nullptr);
    EXPECT_FALSE(blocker->getBool("is-hidden", true));
    EXPECT_FALSE(blocker->area().isEmpty());

    xdo("mousemove " + on(*popup, "buttons.copy") + " click 1");
    std::string error;
    auto other = platform::CClipboard::open(loop, "", error);
    ASSERT_NE(other, nullptr) << error;
    std::string pasted;
    ASSERT_TRUE(until([&] { return other->paste(pasted, 200) && pasted.find("second thing") != std::string::npos; }))
        << pasted;
    EXPECT_EQ(pasted.rfind(CSystem::kErrorTitle, 0), 0u) << pasted;

    xdo("mousemove " + on(*popup, "buttons.ok") + " click 1");
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0; }));
    EXPECT_FALSE(renderer->isBlocked());
    EXPECT_TRUE(blocker->getBool("is-hidden", false));
}

TEST_F(ErrorWindowOnX, AStormOfErrorsKeepsOneWindowWithTheLatestMessages) {
    for (int i = 0; i < 12; ++i) CSystem::showError(*failure(("thing " + std::to_string(i)).c_str()));
    CWinErrorMessage* popup = nullptr;
    ASSERT_TRUE(until([&] {
        popup = errorWindow();
        return popup && popup->getAttr("message").utf8().find("thing 11") != std::string::npos;
    }));
    EXPECT_EQ(opener->popupCount(), 1u);
    EXPECT_EQ(popup->messageCount(), CWinErrorMessage::kMaxMessages);
    const std::string message = popup->getAttr("message").utf8();
    EXPECT_EQ(message.find("thing 3 "), std::string::npos) << "the oldest made room";
    EXPECT_NE(message.find("thing 4 "), std::string::npos) << message;
}

TEST_F(ErrorWindowOnX, ErrorsGoToTheStandardErrorOutputOnceTheEditorIsClosed) {
    closeEditor(view);
    view = nullptr;
    testing::internal::CaptureStderr();
    CSystem::showError(*failure("late thing"));
    loop.runUntil([] { return false; }, 100);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("The late thing went wrong."), std::string::npos) << printed;
}

}  // namespace
}  // namespace zel
