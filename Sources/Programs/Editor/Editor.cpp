// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-editor: opens a plug-in's editor in a top-level X window, as a
// host does, and can write the window to a PNG file or open and close the
// editor many times while watching for leaked timers, threads and
// descriptors.

#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EditorHost.h"
#include "Module.h"
#include "Plugin.h"
#include "Probe.h"
#include "pluginterfaces/base/smartpointer.h"

using namespace lagwell::host;
using namespace Steinberg;

namespace {

const char* const kUsage =
    "usage: lagwell-editor [--plugin BUNDLE] [--screenshot FILE] [--after-frames N] [--cycles N]\n"
    "                      [--run-ms MS] [--no-run-loop] [--stats] [--sine DB] [--param TITLE=VALUE]...\n"
    "  Opens the plug-in's editor in a window of its own.\n"
    "  --screenshot FILE   writes the window to FILE (PNG) after N frames (--after-frames, 10)\n"
    "  --cycles N          opens and closes the editor N times (1)\n"
    "  --run-ms MS         keeps each opening this long, or until the window is closed\n"
    "  --no-run-loop       offers the editor no run loop, as some hosts do\n"
    "  --stats             prints timers, handlers, threads, descriptors, memory and CPU\n"
    "  --sine DB           plays a 1 kHz sine of RMS level DB on the left input, as a host's\n"
    "                      audio thread does (48 kHz, 512-sample blocks, in real time), and\n"
    "                      prints the audio thread's time per block before and while the\n"
    "                      editor is open; CPU figures then leave the audio thread out\n"
    "  --param TITLE=VALUE sets a parameter before the editor opens, as a host does (repeatable);\n"
    "                      VALUE is a displayed value, else a plain number, or normalized with\n"
    "                      the suffix \"n\" (\"0.25n\")\n"
    "  --requests FIFO     keeps the editor open until \"quit\" and answers requests, one a line,\n"
    "                      read from the named pipe FIFO (made if missing), each into its FILE:\n"
    "                      \"params FILE\" the host parameters as TITLE=TEXT lines,\n"
    "                      \"state FILE\" the instance's state as the host stores it,\n"
    "                      \"render FILE\" per stereo output \"outN:\" and its samples above -40 dB\n"
    "                      (INDEX:VALUE) after an impulse on input 1 at 0 and of 0.5 on input 2\n"
    "                      at 1000 (48 kHz); not with --sine\n";

struct Options {
    std::string plugin;
    std::string screenshot;
    int afterFrames = 10;
    int cycles = 1;
    long runMs = -1;
    bool noRunLoop = false;
    bool stats = false;
    bool sine = false;
    double sineDb = 0;
    std::vector<std::string> params;
    std::string requests;
};

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A host's audio thread: real-time blocks of a sine on the left input,
// timing each process call on the thread's own CPU clock.
class AudioThread {
public:
    static constexpr int kBlock = 512;
    static constexpr double kRate = 48000;

    AudioThread(Plugin& plugin, double db) : m_plugin(plugin), m_amplitude(std::sqrt(2.0) * std::pow(10.0, db / 20)) {
        m_plugin.setMainChannels(2, 2);
        m_plugin.setupProcessing(kRate, kBlock, Vst::kSample32, Vst::kRealtime);
        m_plugin.start();
        m_thread = std::thread([this] { run(); });
    }
    ~AudioThread() {
        m_quit = true;
        m_thread.join();
        m_plugin.stop();
    }
    // Time per block since the last call, in microseconds of CPU.
    double takeMicrosPerBlock() {
        const double seconds = m_cpu.exchange(0), blocks = double(m_blocks.exchange(0));
        return blocks > 0 ? seconds / blocks * 1e6 : 0;
    }
    // The audio thread's CPU time so far.
    double cpuSeconds() const { return m_total.load(); }

private:
    void run() {
        std::vector<float> in[2], out[2];
        for (int c = 0; c < 2; ++c) in[c].assign(kBlock, 0.0f), out[c].assign(kBlock, 0.0f);
        float* inputs[2] = {in[0].data(), in[1].data()};
        float* outputs[2] = {out[0].data(), out[1].data()};
        MainBuses<float> buses{inputs, 2, outputs, 2};
        double phase = 0;
        auto due = std::chrono::steady_clock::now();
        const double start = threadCpuSeconds();
        while (!m_quit) {
            for (int i = 0; i < kBlock; ++i, phase += 2 * M_PI * 1000 / kRate)
                in[0][size_t(i)] = float(m_amplitude * std::sin(phase));
            const double before = threadCpuSeconds();
            m_plugin.process(kBlock, buses);
            const double after = threadCpuSeconds();
            m_cpu = m_cpu.load() + (after - before);
            ++m_blocks;
            m_total = after - start;
            due += std::chrono::microseconds(int64_t(kBlock / kRate * 1e6));
            std::this_thread::sleep_until(due);
        }
    }

    Plugin& m_plugin;
    double m_amplitude;
    std::atomic<bool> m_quit{false};
    std::atomic<double> m_cpu{0}, m_total{0};
    std::atomic<uint64_t> m_blocks{0};
    std::thread m_thread;
};

size_t countEntries(const char* folder) {
    size_t n = 0;
    if (DIR* dir = opendir(folder)) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// TITLE=VALUE, told to the controller as a host tells it of its automation.
void setParameter(Plugin& plugin, const std::string& setting) {
    const size_t eq = setting.find('=');
    const std::optional<Parameter> param =
        eq == std::string::npos ? std::nullopt : plugin.findParameter(setting.substr(0, eq));
    if (!param) throw HostError("--param: no parameter titled \"" + setting.substr(0, eq) + "\"");
    const std::optional<Vst::ParamValue> value = plugin.parseValue(param->id, setting.substr(eq + 1));
    if (!value || plugin.controller()->setParamNormalized(param->id, *value) != kResultOk)
        throw HostError("--param: \"" + setting.substr(eq + 1) + "\" is not a value of " + param->title);
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--plugin" && (v = value()))
            o.plugin = v;
        else if (a == "--screenshot" && (v = value()))
            o.screenshot = v;
        else if (a == "--after-frames" && (v = value()))
            o.afterFrames = std::atoi(v);
        else if (a == "--cycles" && (v = value()))
            o.cycles = std::atoi(v);
        else if (a == "--run-ms" && (v = value()))
            o.runMs = std::atol(v);
        else if (a == "--no-run-loop")
            o.noRunLoop = true;
        else if (a == "--stats")
            o.stats = true;
        else if (a == "--param" && (v = value()))
            o.params.push_back(v);
        else if (a == "--requests" && (v = value()))
            o.requests = v;
        else if (a == "--sine" && (v = value())) {
            o.sine = true;
            o.sineDb = std::atof(v);
        } else
            return false;
    }
    return o.cycles > 0 && o.afterFrames >= 0 && (o.requests.empty() || !o.sine);
}

int run(const Options& o) {
    const std::shared_ptr<Module> module = Module::load(o.plugin.empty() ? LAGWELL_DEFAULT_BUNDLE : o.plugin);
    Plugin plugin(module, module->findClass(kVstAudioEffectClass));
    for (const std::string& setting : o.params) setParameter(plugin, setting);
    zel::platform::CStandaloneRunLoop loop;
    HostRunLoop hostLoop(loop);

    std::unique_ptr<Probe> probe;
    std::unique_ptr<LineReader> requests;
    zel::platform::IRunLoop::CWatchId requestWatch = 0;
    bool quit = false;
    if (!o.requests.empty()) {
        probe = std::make_unique<Probe>(plugin);
        requests = std::make_unique<LineReader>(o.requests);
        loop.addFdWatch(
            requests->fd(),
            [&] {
                requests->read([&](const std::string& line) {
                    const std::string error = probe->run(line, [&] { quit = true; });
                    if (!error.empty()) std::fprintf(stderr, "lagwell-editor: %s\n", error.c_str());
                });
            },
            requestWatch);
    }

    std::unique_ptr<AudioThread> audio;
    double audioClosed = 0;
    if (o.sine) {
        audio = std::make_unique<AudioThread>(plugin, o.sineDb);
        // The audio thread's cost without an editor.
        loop.runFor(1500);
        audio->takeMicrosPerBlock();
        loop.runFor(1500);
        audioClosed = audio->takeMicrosPerBlock();
    }
    // What the process holds before any editor opened.
    const size_t threads0 = countEntries("/proc/self/task");
    std::unique_ptr<EditorWindow> window;
    size_t fds0 = 0;
    long rssBefore = residentKb(), rssOpen = 0;
    double cpuOpen = 0, wallOpen = 0;
    for (int cycle = 0; cycle < o.cycles; ++cycle) {
        IPtr<IPlugView> view(plugin.controller()->createView("editor"), false);
        if (!view) throw HostError("the plug-in has no editor");
        if (view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue)
            throw HostError("the editor does not embed into X11 windows");
        ViewRect size;
        view->getSize(&size);
        if (!window) {
            // Shown once the editor is in, so that whoever finds the window
            // by its title finds the editor's input in it.
            window = std::make_unique<EditorWindow>(loop, size.getWidth(), size.getHeight(), "Lagwell", false);
            // The window's own connection is the host's, not the editor's.
            fds0 = countEntries("/proc/self/fd");
            rssBefore = residentKb();
        }
        PlugFrame frame(o.noRunLoop ? nullptr : &hostLoop, window.get());
        view->setFrame(&frame);
        const tresult attached =
            view->attached(reinterpret_cast<void*>(uintptr_t(window->id())), kPlatformTypeX11EmbedWindowID);
        if (attached != kResultOk) {
            view->setFrame(nullptr);
            std::fprintf(stderr, "lagwell-editor: the editor did not open\n");
            return 3;
        }
        if (cycle == 0) window->show(true);
        const uint64_t frames0 = hostLoop.timerCalls();
        if (audio) audio->takeMicrosPerBlock();
        const double cpu0 = cpuSeconds() - (audio ? audio->cpuSeconds() : 0), wall0 = wallSeconds();
        loop.runUntil([&] { return hostLoop.timerCalls() - frames0 >= uint64_t(o.afterFrames) || window->isClosed(); },
                      10000);
        if (!o.screenshot.empty() && cycle == 0) {
            std::vector<uint8_t> pixels;
            int width = 0, height = 0;
            std::string error;
            if (!window->capture(pixels, width, height)) throw HostError("cannot read the window's pixels");
            if (!writePng(o.screenshot, pixels, width, height, error)) throw HostError(error);
        }
        // A window closed by the user, or gone with the X server, ends the run.
        if (o.runMs > 0) loop.runUntil([&] { return window->isClosed() || window->isBroken(); }, uint32_t(o.runMs));
        if (requests && cycle == 0)
            while (!quit && !window->isClosed() && !window->isBroken())
                loop.runUntil([&] { return quit || window->isClosed() || window->isBroken(); }, 60000);
        if (cycle == 0) {
            rssOpen = residentKb();
            cpuOpen = cpuSeconds() - (audio ? audio->cpuSeconds() : 0) - cpu0;
            wallOpen = wallSeconds() - wall0;
            if (audio)
                std::printf("audio: %.2f us per block without the editor, %.2f us with it open\n", audioClosed,
                            audio->takeMicrosPerBlock());
        }
        view->removed();
        view->setFrame(nullptr);
        // Whatever the editor posted for later runs now, before counting.
        loop.runFor(5);
        if (window->isClosed() || window->isBroken()) break;
    }
    if (requestWatch) loop.removeFdWatch(requestWatch);
    const size_t threads = countEntries("/proc/self/task");
    const size_t fds = window ? countEntries("/proc/self/fd") : fds0;
    const bool leaked = hostLoop.timerCount() || hostLoop.handlerCount() || threads != threads0 || fds != fds0;
    if (o.stats || leaked) {
        std::printf("timers=%zu handlers=%zu threads=%+d fds=%+d x-errors=%d\n", hostLoop.timerCount(),
                    hostLoop.handlerCount(), int(threads) - int(threads0), int(fds) - int(fds0),
                    window ? window->errorCount() : 0);
        std::printf("memory: %ld KB resident with the editor open, %+ld KB for the editor\n", rssOpen,
                    rssOpen - rssBefore);
        if (wallOpen > 0)
            std::printf("cpu: %.3f %% of a core over %.1f s open\n", 100.0 * cpuOpen / wallOpen, wallOpen);
    }
    if (window && window->isBroken()) std::printf("display: lost while the editor was open\n");
    return leaked ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lagwell-editor: %s\n", e.what());
        return 1;
    }
}
