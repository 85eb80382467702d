// SPDX-License-Identifier: GPL-3.0-or-later
// The editor at the three UI scales, as a host sees it: the size the view
// reports before and after it opens, and the main window's panels.

#include <gtest/gtest.h>

#include <cstdlib>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"
#include "EditorHost.h"
#include "Support/Xvfb.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"
#include "VST3Instance.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace zel {
namespace {

using namespace Steinberg;
using lagwell::host::EditorWindow;
using lagwell::host::HostRunLoop;
using lagwell::host::PlugFrame;

constexpr uint32_t kPatienceMs = 10000;

using CInstance = test::CVST3Instance;

// The UI scale setting as the instance's settings keep it.
void storeUiScale(CInstance& plugin, const char* scale) {
    auto* wrapper = dynamic_cast<CAudioWrapperVST3*>(plugin.component.get());
    ASSERT_NE(wrapper, nullptr);
    CMemoryWriter payload;
    ASSERT_EQ(payload.writeString(CString(scale)), nullptr);
    ASSERT_EQ(
        wrapper->uiSettings().writeItem("ui-scale", payload.bytes().data(), payload.bytes().size(), makeTag("dstr")),
        nullptr);
}

std::string sizeText(const ViewRect& r) { return std::to_string(r.getWidth()) + "x" + std::to_string(r.getHeight()); }

std::string rectText(const CRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

class EditorScalesThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
    }

    lagwell::test::CXvfb x;
    platform::CStandaloneRunLoop loop;
    HostRunLoop host{loop};
};

TEST_F(EditorScalesThreads, TheViewAndTheMainWindowsPanelsFollowTheScale) {
    struct CCase {
        const char *scale, *size, *out, *audio, *sample;
    };
    std::vector<int> titleWidths;
    // Pixel sizes, borders and margins are each multiplied by the scale and
    // rounded half away from zero; the two delay panels share what is left.
    for (const CCase& c : {CCase{"0.8", "432x252", "4,43 90x190", "98,43 330x93", "98,140 330x93"},
                           CCase{"1.0", "540x315", "6,55 112x235", "124,55 410x114", "124,175 410x115"},
                           CCase{"1.25", "675x394", "8,69 140x293", "156,69 511x142", "156,219 511x143"}}) {
        CInstance plugin;
        storeUiScale(plugin, c.scale);
        IPtr<IPlugView> view = owned(plugin.controller->createView("editor"));
        ViewRect size;
        ASSERT_EQ(view->getSize(&size), kResultOk);
        EXPECT_EQ(sizeText(size), c.size) << "before it opens, at " << c.scale;
        ViewRect tooSmall(0, 0, 10, 10);
        ASSERT_EQ(view->checkSizeConstraint(&tooSmall), kResultTrue);
        EXPECT_EQ(sizeText(tooSmall), c.size);

        EditorWindow window(loop, size.getWidth(), size.getHeight(), "scale");
        PlugFrame frame(&host, &window);
        view->setFrame(&frame);
        ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window.id())), kPlatformTypeX11EmbedWindowID),
                  kResultOk);
        ASSERT_EQ(view->getSize(&size), kResultOk);
        EXPECT_EQ(sizeText(size), c.size) << "open, at " << c.scale;
        EXPECT_EQ(frame.resizeRequests(), 0) << "the size reported first was right";
        CObject* root = dynamic_cast<CAudioWrapperVST3Editor*>(view.get())->editorRoot();
        ASSERT_NE(root, nullptr);
        const auto area = [&](const char* path) {
            auto* v = dynamic_cast<CView*>(root->findObject(CString("ui.main-window.") + path));
            return v ? rectText(v->area()) : std::string("missing");
        };
        EXPECT_EQ(area("panels.out"), c.out) << c.scale;
        EXPECT_EQ(area("panels.audio-delay"), c.audio) << c.scale;
        EXPECT_EQ(area("panels.sample-delay"), c.sample) << c.scale;
        // The title's text is as wide as the glyphs of the font's copy for
        // this scale make it.
        auto* title = dynamic_cast<CView*>(root->findObject("ui.main-window.window-title.app-title"));
        ASSERT_NE(title, nullptr);
        titleWidths.push_back(title->area().width());
        // scripts/editor-scales asks for the window as the server shows it.
        if (const char* shots = std::getenv("LAGWELL_SCALE_SHOTS")) {
            CWindowRenderer* renderer = dynamic_cast<CAudioWrapperVST3Editor*>(view.get())->window();
            ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() >= 3; }, kPatienceMs));
            std::vector<uint8_t> pixels;
            int w = 0, h = 0;
            ASSERT_TRUE(window.capture(pixels, w, h));
            std::string error;
            const std::string path = std::string(shots) + "/main-" + c.scale + ".png";
            EXPECT_TRUE(lagwell::host::writePng(path, pixels, w, h, error)) << error;
        }
        view->removed();
        view->setFrame(nullptr);
    }
    ASSERT_EQ(titleWidths.size(), 3u);
    EXPECT_NEAR(titleWidths[0], titleWidths[1] * 0.8, 3);
    EXPECT_NEAR(titleWidths[2], titleWidths[1] * 1.25, 3);
}

TEST_F(EditorScalesThreads, ASettingChangedSinceTheViewWasMadeResizesTheHostsWindow) {
    CInstance plugin;
    IPtr<IPlugView> view = owned(plugin.controller->createView("editor"));
    ViewRect size;
    view->getSize(&size);
    ASSERT_EQ(sizeText(size), "540x315");
    // The editor's scale selector changed the setting in between.
    storeUiScale(plugin, "1.25");
    EditorWindow window(loop, 540, 315, "scale");
    PlugFrame frame(&host, &window);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window.id())), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    EXPECT_EQ(frame.resizeRequests(), 1);
    EXPECT_EQ(window.width(), 675);
    EXPECT_EQ(window.height(), 394);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(sizeText(size), "675x394");
    view->removed();
    view->setFrame(nullptr);
}

TEST_F(EditorScalesThreads, TheOpenMainWindowDrawsOnlyItsFirstFrame) {
    // Shadows, glosses and the spotlight are still: once the window is
    // drawn, a frame draws nothing until something changes.
    CInstance plugin;
    IPtr<IPlugView> view = owned(plugin.controller->createView("editor"));
    EditorWindow window(loop, 540, 315, "idle");
    PlugFrame frame(&host, &window);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t(window.id())), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    CWindowRenderer* renderer = dynamic_cast<CAudioWrapperVST3Editor*>(view.get())->window();
    ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() >= 2; }, kPatienceMs));
    EXPECT_GE(renderer->drawnSectorCount(), 45u) << "the whole window";
    // The instance's first answers may arrive a frame or two late on a slow
    // machine and redraw what they change; then the window is still.
    uint64_t sectors = renderer->drawnSectorCount();
    for (int frame = 0; frame < 40; ++frame) {
        const uint64_t before = renderer->frameCount();
        ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() > before; }, kPatienceMs));
        const uint64_t now = renderer->drawnSectorCount();
        if (now == sectors) break;
        sectors = now;
    }
    const uint64_t frames = renderer->frameCount();
    ASSERT_TRUE(loop.runUntil([&] { return renderer->frameCount() >= frames + 10; }, kPatienceMs));
    EXPECT_EQ(renderer->drawnSectorCount(), sectors);
    view->removed();
    view->setFrame(nullptr);
}

TEST_F(EditorScalesThreads, EditorsAtTwoScalesDrawSideBySide) {
    // Both draw with the shared image sets and fonts; loading the second
    // scale must leave the first editor's copies alone.
    CInstance first, second;
    IPtr<IPlugView> a = owned(first.controller->createView("editor"));
    EditorWindow windowA(loop, 540, 315, "a");
    PlugFrame frameA(&host, &windowA);
    a->setFrame(&frameA);
    ASSERT_EQ(a->attached(reinterpret_cast<void*>(uintptr_t(windowA.id())), kPlatformTypeX11EmbedWindowID), kResultOk);
    CWindowRenderer* rendererA = dynamic_cast<CAudioWrapperVST3Editor*>(a.get())->window();
    ASSERT_TRUE(loop.runUntil([&] { return rendererA->frameCount() >= 2; }, kPatienceMs));
    // The items that light up on opening fade in: the picture to compare
    // with is the one after they settled, when frames draw nothing.
    ASSERT_TRUE(loop.runUntil(
        [&, sectors = rendererA->drawnSectorCount(), frames = rendererA->frameCount()]() mutable {
            if (rendererA->drawnSectorCount() != sectors) {
                sectors = rendererA->drawnSectorCount();
                frames = rendererA->frameCount();
            }
            return rendererA->frameCount() >= frames + 10;
        },
        kPatienceMs));
    const CLinearBitmap before = [&] {
        CLinearBitmap copy;
        copy.copyFrom(rendererA->bitmap());
        return copy;
    }();

    storeUiScale(second, "1.25");
    IPtr<IPlugView> b = owned(second.controller->createView("editor"));
    EditorWindow windowB(loop, 675, 394, "b");
    PlugFrame frameB(&host, &windowB);
    b->setFrame(&frameB);
    ASSERT_EQ(b->attached(reinterpret_cast<void*>(uintptr_t(windowB.id())), kPlatformTypeX11EmbedWindowID), kResultOk);
    rendererA->invalidate(CRect{0, 0, 540, 315});
    ASSERT_EQ(rendererA->renderFrame(), nullptr);
    ASSERT_EQ(rendererA->bitmap().width(), before.width());
    EXPECT_EQ(std::memcmp(rendererA->bitmap().pixels(), before.pixels(), before.stride() * size_t(before.height())), 0);
    a->removed();
    b->removed();
    a->setFrame(nullptr);
    b->setFrame(nullptr);
}

}  // namespace
}  // namespace zel
