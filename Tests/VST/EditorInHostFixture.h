// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The plug-in's editor opened in a window of our host on an X server of the
// test's own, as a host opens it, for tests that use it as a person does.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "EditorHost.h"
#include "Other/ParamInterfaceClient.h"
#include "Support/Xvfb.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/TextView.h"
#include "UI/ParamLink.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "pluginterfaces/base/smartpointer.h"

namespace zel::test {

class CEditorInHost : public ::testing::Test {
protected:
    static constexpr uint32_t kPatienceMs = 10000;

    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        window = std::make_unique<lagwell::host::EditorWindow>(loop, 540, 315, "editor");
    }

    // Attaches `view` to the host's window and waits until its editor has
    // drawn twice and the server knows the window, so that input reaches it.
    CAudioWrapperVST3Editor* openEditor(Steinberg::IPlugView* view) {
        view->setFrame(&frame);
        EXPECT_EQ(
            view->attached(reinterpret_cast<void*>(uintptr_t(window->id())), Steinberg::kPlatformTypeX11EmbedWindowID),
            Steinberg::kResultOk);
        auto* editor = dynamic_cast<CAudioWrapperVST3Editor*>(view);
        renderer = editor ? editor->window() : nullptr;
        EXPECT_TRUE(until([&] { return renderer && renderer->frameCount() >= 2; }));
        if (!renderer) return editor;
        renderer->window()->display().sync();
        EXPECT_TRUE(renderer->window()->screenOrigin(ox, oy));
        return editor;
    }
    static void closeEditor(Steinberg::IPlugView* view) {
        view->removed();
        view->setFrame(nullptr);
    }

    bool until(const std::function<bool()>& done) { return loop.runUntil(done, kPatienceMs); }
    void xdo(const std::string& args) { ASSERT_EQ(x.run("xdotool " + args), 0) << args; }
    // The screen point of (px, py) of the open editor's window.
    std::string point(int px, int py) const { return std::to_string(ox + px) + " " + std::to_string(oy + py); }
    // The centre of `v`, `dx` to its right.
    std::string at(const CView& v, int dx = 0) const { return centre(v.area(), ox + dx, oy); }
    // The centre of `r` of a window whose origin is at (left, top) of the screen.
    static std::string centre(const CRect& r, int left, int top) {
        return std::to_string(left + (r.left + r.right) / 2) + " " + std::to_string(top + (r.top + r.bottom) / 2);
    }
    // The host's id of the parameter titled `title`.
    static Steinberg::Vst::ParamID paramId(Steinberg::Vst::IEditController& controller, const char* title) {
        for (Steinberg::int32 i = 0; i < controller.getParameterCount(); ++i) {
            Steinberg::Vst::ParameterInfo info{};
            controller.getParameterInfo(i, info);
            std::string name;
            for (const char16_t* c = reinterpret_cast<const char16_t*>(info.title); *c; ++c) name += char(*c);
            if (name == title) return info.id;
        }
        ADD_FAILURE() << "no host parameter " << title;
        return 0;
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    lagwell::host::HostRunLoop host{loop};
    std::unique_ptr<lagwell::host::EditorWindow> window;
    lagwell::host::PlugFrame frame{&host};
    CWindowRenderer* renderer = nullptr;
    int ox = 0, oy = 0;
};

// One instance whose editor is open for the whole test.
class CInstanceEditorInHost : public CEditorInHost {
protected:
    void SetUp() override {
        CEditorInHost::SetUp();
        if (IsSkipped()) return;
        beforeOpening();
        ASSERT_NO_FATAL_FAILURE(openInstanceEditor(plugin.view()));
    }
    // Opens `plugView` (of this or another instance) as the test's editor.
    void openInstanceEditor(Steinberg::IPlugView* plugView) {
        view = plugView;
        editor = openEditor(view);
        ASSERT_TRUE(editor && renderer);
        root = editor->editorRoot();
        client = dynamic_cast<CParamInterfaceClient*>(root->findObject("ui.interface-client"));
        opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
        ASSERT_TRUE(client && opener);
    }
    void TearDown() override {
        if (view) closeEditor(view);
        view = nullptr;
    }
    // What a host does between making the instance and opening its editor.
    virtual void beforeOpening() {}

    Steinberg::Vst::ParamID paramId(const char* title) { return CEditorInHost::paramId(*plugin.controller, title); }
    template <class T = CView>
    T* find(const std::string& path) {
        return dynamic_cast<T*>(editor->editorRoot()->findObject("ui." + path));
    }

    // Holds the editor's frames back: what the instance answers waits for
    // the next one, as in a host that gives the editor little time.
    void holdFrames() { find<CUpdateTimer>("update-timer")->stop(); }
    void resumeFrames() { ASSERT_EQ(find<CUpdateTimer>("update-timer")->start(), nullptr); }

    CParamBridge* bridge(const std::string& name) {
        return dynamic_cast<CParamBridge*>(root->findObject("ui." + name + "-bridge"));
    }

    // Clicks the centre of `v` in whichever window of the editor shows it.
    void click(const CView& v, int button = 1) {
        int left = 0, top = 0;
        ASSERT_TRUE(v.windowRenderer() && v.windowRenderer()->window());
        ASSERT_TRUE(v.windowRenderer()->window()->screenOrigin(left, top));
        xdo("mousemove " + centre(v.area(), left, top) + " click " + std::to_string(button));
    }
    // Waits until the window of `popup` has drawn twice and the server knows it.
    bool shown(CView* popup) {
        const bool drawn = popup && until([&] {
                               CWindowRenderer* r = popup->windowRenderer();
                               return r && r->window() && r->frameCount() >= 2;
                           });
        if (drawn) popup->windowRenderer()->window()->display().sync();
        return drawn;
    }
    // Opens the popup `tag` with a click on the main window's `button`, and
    // waits until it shows.
    CWinDrag* openByButton(const std::string& button, const char* tag) {
        CView* b = find(button);
        EXPECT_NE(b, nullptr) << button;
        if (!b) return nullptr;
        click(*b);
        CWinDrag* popup = nullptr;
        EXPECT_TRUE(until([&] { return (popup = opener->findPopup(tag)) != nullptr; })) << tag;
        EXPECT_TRUE(shown(popup)) << tag;
        return popup;
    }
    // The editor's open file browser, once it has drawn twice and the server knows its window.
    CFileBrowser* fileBrowser() {
        CFileBrowser* b = nullptr;
        EXPECT_TRUE(until([&] {
            CWinDrag* popup = opener->findPopup("file-browser");
            b = popup ? dynamic_cast<CFileBrowser*>(popup->findChild("browser")) : nullptr;
            return b && b->windowRenderer()->frameCount() >= 2;
        }));
        if (b) b->windowRenderer()->window()->display().sync();
        return b;
    }
    // Clicks (or whatever `clicks` says) on the entry `index` of `list`.
    void clickParagraph(const CTextView& list, int index, const std::string& clicks = "click 1") {
        ASSERT_LT(size_t(index), list.paragraphs().size());
        CRect r = list.area();
        r.top = list.paragraphTop(index) + 2;
        r.bottom = r.top + 10;
        int left = 0, top = 0;
        ASSERT_TRUE(list.windowRenderer()->window()->screenOrigin(left, top));
        xdo("mousemove " + centre(r, left, top) + " " + clicks);
    }
    // Opens the drop-down `button` and clicks the entry `title` of its list;
    // `listWidth` keeps the list's width.
    void choose(const CView& button, const CString& title) {
        const auto listShown = [&] { return root->findObject("ui.ui:window-app-popup-list") != nullptr; };
        ASSERT_TRUE(until([&] { return !listShown(); }));
        click(button);
        CTextView* list = nullptr;
        ASSERT_TRUE(until([&] {
            list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
            return list && list->windowRenderer() && list->windowRenderer()->frameCount() > 0;
        }));
        // A click before the server maps the list lands on the window below it.
        ASSERT_TRUE(shown(list));
        int index = -1;
        for (size_t i = 0; i < list->paragraphs().size(); ++i)
            if (list->paragraphText(int(i)) == title) index = int(i);
        ASSERT_GE(index, 0) << title.utf8();
        listWidth = dynamic_cast<CView*>(list->parent())->area().width();
        int left = 0, top = 0;
        ASSERT_TRUE(list->windowRenderer()->window()->screenOrigin(left, top));
        const int y = top + list->paragraphTop(index) + list->paragraphs()[size_t(index)].height / 2 + 2;
        xdo("mousemove " + std::to_string(left + list->area().left + 12) + " " + std::to_string(y) + " click 1");
        ASSERT_TRUE(until([&] { return !listShown(); }));
    }

    CVST3Instance plugin;
    Steinberg::IPtr<Steinberg::IPlugView> view;
    CAudioWrapperVST3Editor* editor = nullptr;
    CObject* root = nullptr;
    CParamInterfaceClient* client = nullptr;
    CWindowOpener* opener = nullptr;
    int listWidth = 0;
};

}  // namespace zel::test
