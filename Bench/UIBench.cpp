// SPDX-License-Identifier: GPL-3.0-or-later
// Frames of the editor's main window from the embedded UI document, linked
// to a plug-in instance as the VST3 view links it, on a virtual X server of
// the benchmark's own: a full redraw with and without the render threads,
// and an idle frame with nothing dirty.
#include <benchmark/benchmark.h>

#include <memory>

#include "Audio/AudioWrapper.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/ClassRegistry.h"
#include "Core/Timer.h"
#include "Core/XMLData.h"
#include "Platform/XWindow.h"
#include "Support/Xvfb.h"
#include "UI/WindowRenderer.h"

using namespace zel;

namespace {

class CBenchInstance final : public CAudioWrapper {
public:
    void reportExtParam(size_t, double) override {}
};

// The editor's root: it sees the instance's tree and keeps the local
// settings in the instance.
class CBenchRoot final : public CObject, public IRunLoopOwner, public IAppDataOwner {
public:
    explicit CBenchRoot(CAudioWrapper& instance) : m_instance(instance) {}
    ~CBenchRoot() override { removeAllChildren(); }
    platform::IRunLoop& ownRunLoop() override { return loop; }
    CObject* linkedTree() const override { return &m_instance.root(); }
    CAppDataInstance& instanceData() override { return m_instance.uiSettings(); }
    platform::CStandaloneRunLoop loop;

private:
    CAudioWrapper& m_instance;
};

class CIgnore final : public platform::IWindowListener {
public:
    void windowEvent(const platform::CWindowEvent&) override {}
};

// The main window embedded into a host window; null with a message when
// there is no X server to draw on.
struct CBenchEditor {
    lagwell::test::CXvfb x;
    CBenchInstance instance;
    CIgnore ignore;
    platform::CStandaloneRunLoop hostLoop;
    std::shared_ptr<platform::CDisplay> host;
    std::unique_ptr<platform::CNativeWindow> parent;
    std::unique_ptr<CBenchRoot> root;
    CWindowRenderer* renderer = nullptr;
    std::string error;

    explicit CBenchEditor(const char* threads) {
        if (!x.isRunning()) {
            error = "Xvfb is not installed";
            return;
        }
        x.use();
        if (CErrorPtr err = instance.init()) {
            error = err->describe();
            return;
        }
        root = std::make_unique<CBenchRoot>(instance);
        host = platform::CDisplay::open(hostLoop, "", error);
        if (!host) return;
        platform::CNativeWindow::COptions options;
        options.rect = platform::CPixelRect{0, 0, 540, 315};
        parent = platform::CNativeWindow::create(host, options, ignore, error);
        if (!parent) return;
        root->setClassInfo(CClassRegistry::instance().find("core:object"));
        root->setInt("ParentWindow", parent->id());
        CErrorPtr err = CApplication::instance()->initRootObject(*root);
        if (!err) err = CXMLData::load("UserInterface.xml", *root);
        if (!err) {
            root->findObject("ui.main-window.window-renderer")->setAttr("num-threads", threads);
            err = root->init();
        }
        if (!err) err = root->findObjectChecked("ui.main-window.window-renderer", renderer);
        if (err) error = err->describe();
    }
    ~CBenchEditor() {
        root.reset();
        parent.reset();
    }
};

void fullRedraw(benchmark::State& state, const char* threads) {
    CBenchEditor editor(threads);
    if (!editor.renderer) return state.SkipWithError(editor.error.c_str());
    for (auto _ : state) {
        editor.renderer->invalidate(CRect{0, 0, 540, 315});
        benchmark::DoNotOptimize(editor.renderer->renderFrame());
    }
    state.counters["sectors"] = double(editor.renderer->drawnSectorCount()) / double(state.iterations());
}

void BM_FullRedrawOneThread(benchmark::State& state) { fullRedraw(state, "0"); }
void BM_FullRedrawTwoRenderThreads(benchmark::State& state) { fullRedraw(state, "2"); }
BENCHMARK(BM_FullRedrawOneThread)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRedrawTwoRenderThreads)->Unit(benchmark::kMicrosecond);

// A frame with nothing dirty costs only the tick.
void BM_IdleFrame(benchmark::State& state) {
    CBenchEditor editor("2");
    if (!editor.renderer) return state.SkipWithError(editor.error.c_str());
    benchmark::DoNotOptimize(editor.renderer->renderFrame());
    for (auto _ : state) benchmark::DoNotOptimize(editor.renderer->renderFrame());
}
BENCHMARK(BM_IdleFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
