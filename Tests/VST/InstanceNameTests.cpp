// SPDX-License-Identifier: GPL-3.0-or-later
// The instance name in the editor's title bar, typed by a person into the
// editor of a plug-in instance in our host's window.

#include <gtest/gtest.h>

#include <string>

#include "Audio/Param.h"
#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "EditorHost.h"
#include "Support/Xvfb.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/VirtualKeyboard.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "pluginterfaces/base/smartpointer.h"
#include "public.sdk/source/common/memorystream.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::EditorWindow;
using lagwell::host::HostRunLoop;
using lagwell::host::PlugFrame;

constexpr uint32_t kPatienceMs = 10000;

using CInstance = test::CVST3Instance;

class InstanceNameThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        window = std::make_unique<EditorWindow>(loop, 540, 315, "name");
    }
    static std::string nameOf(CInstance& plugin) {
        auto* wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
        auto* param = wrapper ? dynamic_cast<CAudioParam*>(wrapper->plugin().findObject("plugin.modMain.instance-name"))
                              : nullptr;
        return param ? param->storage().text(0, 0).utf8() : std::string("no parameter");
    }
    // Opens the instance's editor in the host's window; its title bar's name view.
    CTextView* openEditor(IPlugView* view) {
        EXPECT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window->id())), kPlatformTypeX11EmbedWindowID),
                  kResultOk);
        auto* editor = dynamic_cast<CAudioWrapperVST3Editor*>(view);
        renderer = editor->window();
        EXPECT_TRUE(loop.runUntil([&] { return renderer && renderer->frameCount() >= 2; }, kPatienceMs));
        if (renderer) renderer->window()->display().sync();
        return dynamic_cast<CTextView*>(editor->editorRoot()->findObject("ui.main-window.window-title.instance-name"));
    }
    void clickOn(const CRect& r, int ox, int oy) {
        ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(ox + (r.left + r.right) / 2) + " " +
                        std::to_string(oy + (r.top + r.bottom) / 2) + " click 1"),
                  0);
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    HostRunLoop host{loop};
    std::unique_ptr<EditorWindow> window;
    CWindowRenderer* renderer = nullptr;
};

TEST_F(InstanceNameThreads, ANameTypedInTheTitleBarIsTheInstancesAndOutlivesItsEditor) {
    Steinberg::MemoryStream state;
    {
        CInstance plugin;
        IPtr<IPlugView> view = plugin.view();
        PlugFrame frame(&host);
        view->setFrame(&frame);
        CTextView* name = openEditor(view);
        ASSERT_NE(name, nullptr);
        int ox = 0, oy = 0;
        ASSERT_TRUE(renderer->window()->screenOrigin(ox, oy));

        clickOn(name->area(), ox, oy);
        ASSERT_TRUE(loop.runUntil([&] { return name->editor().editBox() && name->editor().editBox()->isEditing(); },
                                  kPatienceMs));
        CEditBox* box = name->editor().editBox();
        ASSERT_EQ(x.run("xdotool key ctrl+a"), 0);
        ASSERT_EQ(x.run("xdotool type --delay 10 'Drum Bus'"), 0);
        ASSERT_TRUE(loop.runUntil([&] { return box->buffer().text() == "Drum Bus"; }, kPatienceMs));
        // The keyboard of the shipped document types into it too.
        CWinDrag* keyboard = nullptr;
        ASSERT_TRUE(loop.runUntil([&] { return (keyboard = box->virtualKeyboard()) != nullptr; }, kPatienceMs));
        auto* keys = dynamic_cast<CWindowRenderer*>(keyboard->findChild("window-renderer"));
        ASSERT_TRUE(loop.runUntil([&] { return keys->frameCount() >= 1; }, kPatienceMs));
        keys->window()->display().sync();
        auto* two = dynamic_cast<CView*>(keyboard->findObject(keyboard->fullName() + ".main.digit-row.k2"));
        ASSERT_NE(two, nullptr);
        const platform::CPixelRect at = keys->window()->rect();
        clickOn(two->area(), at.x, at.y);
        ASSERT_TRUE(loop.runUntil([&] { return box->buffer().text() == "Drum Bus2"; }, kPatienceMs));
        EXPECT_EQ(nameOf(plugin), " ") << "nothing is written before the edit is accepted";

        ASSERT_EQ(x.run("xdotool key Return"), 0);
        ASSERT_TRUE(loop.runUntil([&] { return nameOf(plugin) == "Drum Bus2"; }, kPatienceMs)) << nameOf(plugin);
        EXPECT_TRUE(loop.runUntil([&] { return box->virtualKeyboard() == nullptr; }, kPatienceMs));

        // Closed and opened again, the editor shows the instance's name.
        ASSERT_EQ(view->removed(), kResultOk);
        name = openEditor(view);
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(loop.runUntil([&] { return name->getAttr("title") == CString("Drum Bus2"); }, kPatienceMs));
        view->removed();
        view->setFrame(nullptr);
        ASSERT_EQ(plugin.component->getState(&state), kResultOk);
    }
    // The host's saved state carries it to the next session.
    CInstance reopened;
    state.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(reopened.component->setState(&state), kResultOk);
    EXPECT_EQ(nameOf(reopened), "Drum Bus2");
    IPtr<IPlugView> view = reopened.view();
    PlugFrame frame(&host);
    view->setFrame(&frame);
    CTextView* name = openEditor(view);
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(loop.runUntil([&] { return name->getAttr("title") == CString("Drum Bus2"); }, kPatienceMs));
    view->removed();
    view->setFrame(nullptr);
}

}  // namespace
}  // namespace zel
