// SPDX-License-Identifier: GPL-3.0-or-later
// The instance name in the editor's title bar, typed by a person into the
// editor of a plug-in instance in our host's window.

#include <gtest/gtest.h>

#include <string>

#include "Audio/Param.h"
#include "Audio/VST/AudioWrapperVST3.h"
#include "EditorInHostFixture.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/VirtualKeyboard.h"
#include "public.sdk/source/common/memorystream.h"

namespace zel {
namespace {

using namespace Steinberg;

using CInstance = test::CVST3Instance;

class InstanceNameThreads : public test::CEditorInHost {
protected:
    static std::string nameOf(CInstance& plugin) {
        auto* wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
        auto* param = wrapper ? dynamic_cast<CAudioParam*>(wrapper->plugin().findObject("plugin.modMain.instance-name"))
                              : nullptr;
        return param ? param->storage().text(0, 0).utf8() : std::string("no parameter");
    }
    // Opens the instance's editor in the host's window; its title bar's name view.
    CTextView* nameView(IPlugView* view) {
        CAudioWrapperVST3Editor* editor = openEditor(view);
        if (!editor) return nullptr;
        return dynamic_cast<CTextView*>(editor->editorRoot()->findObject("ui.main-window.window-title.instance-name"));
    }
};

TEST_F(InstanceNameThreads, ANameTypedInTheTitleBarIsTheInstancesAndOutlivesItsEditor) {
    Steinberg::MemoryStream state;
    {
        CInstance plugin;
        IPtr<IPlugView> view = plugin.view();
        CTextView* name = nameView(view);
        ASSERT_NE(name, nullptr);

        xdo("mousemove " + at(*name) + " click 1");
        ASSERT_TRUE(until([&] { return name->editor().editBox() && name->editor().editBox()->isEditing(); }));
        CEditBox* box = name->editor().editBox();
        xdo("key ctrl+a");
        xdo("type --delay 10 'Drum Bus'");
        ASSERT_TRUE(until([&] { return box->buffer().text() == "Drum Bus"; }));
        // The keyboard of the shipped document types into it too.
        CWinDrag* keyboard = nullptr;
        ASSERT_TRUE(until([&] { return (keyboard = box->virtualKeyboard()) != nullptr; }));
        auto* keys = dynamic_cast<CWindowRenderer*>(keyboard->findChild("window-renderer"));
        ASSERT_TRUE(until([&] { return keys->frameCount() >= 1; }));
        keys->window()->display().sync();
        auto* two = dynamic_cast<CView*>(keyboard->findObject(keyboard->fullName() + ".main.digit-row.k2"));
        ASSERT_NE(two, nullptr);
        const platform::CPixelRect origin = keys->window()->rect();
        xdo("mousemove " + centre(two->area(), origin.x, origin.y) + " click 1");
        ASSERT_TRUE(until([&] { return box->buffer().text() == "Drum Bus2"; }));
        EXPECT_EQ(nameOf(plugin), " ") << "nothing is written before the edit is accepted";

        xdo("key Return");
        ASSERT_TRUE(until([&] { return nameOf(plugin) == "Drum Bus2"; })) << nameOf(plugin);
        EXPECT_TRUE(until([&] { return box->virtualKeyboard() == nullptr; }));

        // Closed and opened again, the editor shows the instance's name.
        ASSERT_EQ(view->removed(), kResultOk);
        name = nameView(view);
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(until([&] { return name->getAttr("title") == CString("Drum Bus2"); }));
        closeEditor(view);
        ASSERT_EQ(plugin.component->getState(&state), kResultOk);
    }
    // The host's saved state carries it to the next session.
    CInstance reopened;
    state.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(reopened.component->setState(&state), kResultOk);
    EXPECT_EQ(nameOf(reopened), "Drum Bus2");
    IPtr<IPlugView> view = reopened.view();
    CTextView* name = nameView(view);
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(until([&] { return name->getAttr("title") == CString("Drum Bus2"); }));
    closeEditor(view);
}

}  // namespace
}  // namespace zel
