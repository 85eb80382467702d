// SPDX-License-Identifier: GPL-3.0-or-later
// Frames of the editor's main window from the embedded UI document, linked
// to a plug-in instance as the VST3 view links it, on a virtual X server of
// the benchmark's own: a full redraw with and without the render threads,
// and an idle frame with nothing dirty; the open editor's CPU while audio
// plays.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

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
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t, double) override {}
    void endExtParamEdit(size_t) override {}
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

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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

namespace {

// The open editor while a host's audio thread plays a sine whose level
// swings 24 dB twice a second, so that the meter moves in every frame: the
// CPU the editor's own threads take (the process's CPU less the audio
// thread's), at the frame rate of the argument, over three seconds.
void BM_EditorWithAudio(benchmark::State& state) {
    CBenchEditor editor("2");
    if (!editor.renderer) return state.SkipWithError(editor.error.c_str());
    CObject* fps = editor.root->findObject("ui.global-data.frames-per-second");
    const CString before = fps->getAttr("frames-per-second");
    fps->setAttr("frames-per-second", toText(state.range(0)));
    constexpr size_t kBlock = 512;
    constexpr double kRate = 48000;
    editor.instance.setupProcessing(kRate, kBlock);
    std::atomic<bool> quit{false};
    std::atomic<double> audioCpu{0};
    std::thread audio([&] {
        std::vector<float> in(kBlock), outL(kBlock), outR(kBlock);
        const float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        double t = 0;
        auto due = std::chrono::steady_clock::now();
        while (!quit) {
            for (size_t i = 0; i < kBlock; ++i, t += 1 / kRate)
                in[i] = float(0.25 * std::pow(10.0, -0.6 * (1 + std::sin(2 * M_PI * 2 * t))) *
                              std::sin(2 * M_PI * 1000 * t));
            const double a = threadCpuSeconds();
            editor.instance.process(inputs, 2, outputs, 2, kBlock);
            audioCpu = audioCpu + (threadCpuSeconds() - a);
            due += std::chrono::microseconds(int64_t(kBlock / kRate * 1e6));
            std::this_thread::sleep_until(due);
        }
    });
    editor.root->loop.runFor(500);
    for (auto _ : state) {
        const double cpu0 = processCpuSeconds(), audio0 = audioCpu, frames0 = double(editor.renderer->frameCount());
        const double sectors0 = double(editor.renderer->drawnSectorCount());
        const auto wall0 = std::chrono::steady_clock::now();
        editor.root->loop.runFor(3000);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        state.counters["editor_cpu_pct"] = 100 * ((processCpuSeconds() - cpu0) - (audioCpu - audio0)) / wall;
        state.counters["frames_per_s"] = (double(editor.renderer->frameCount()) - frames0) / wall;
        state.counters["audio_cpu_pct"] = 100 * (audioCpu - audio0) / wall;
        state.counters["sectors_per_frame"] = (double(editor.renderer->drawnSectorCount()) - sectors0) /
                                              std::max(1.0, double(editor.renderer->frameCount()) - frames0);
    }
    quit = true;
    audio.join();
    fps->setAttr("frames-per-second", before);
}
BENCHMARK(BM_EditorWithAudio)->ArgName("fps")->Arg(40)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
