// SPDX-License-Identifier: GPL-3.0-or-later
// Lagwell next to the plug-ins users already run, timed side by side in one
// process on the same audio: the VST3 bundle as a host loads it (stereo,
// both meters on), the instance it wraps where a host cannot reach (meters
// off, eight channels in four groups), the delay lines alone, LSP's Delay
// Compensator (LADSPA, opened with dlopen) and a tight double-precision ring
// copy (float in, double ring, float out), the least a delay can do. Every
// contender processes the same seconds of audio in blocks of 512 at 48 kHz;
// the contenders take turns, and each row reports the median over the turns.
// Every contender's delay is checked on a click before it is timed. Last,
// the memory of the delay lines at 12 s on eight channels.
#include <dlfcn.h>
#include <ladspa.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Audio/AudioEngine.h"
#include "Audio/AudioWrapper.h"
#include "Audio/Engine/AudioGraph.h"
#include "Audio/Engine/SampleConvert.h"
#include "Audio/Modules/DSPModDelay.h"
#include "Audio/Modules/DelayPageKeeper.h"
#include "Audio/Modules/ModDelay.h"
#include "Audio/Param.h"
#include "Audio/ParamDef.h"
#include "Audio/ParamTransaction.h"
#include "Audio/VizCollector.h"
#include "Core/Application.h"
#include "Module.h"
#include "ParameterChanges.h"
#include "Plugin.h"

namespace {

using namespace lagwell::host;
using Steinberg::int32;

constexpr double kRate = 48000.0;
constexpr size_t kBlock = 512;
constexpr size_t kHalfSecond = 24000;
constexpr size_t kShort = 4800;
constexpr const char* kLspLibrary = "/usr/lib/ladspa/lsp-plugins-ladspa-1.2.5.so";
constexpr const char* kLspLabel = "http://lsp-plug.in/plugins/ladspa/comp_delay_stereo";

struct CBenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Something that delays `channels` float channels block by block.
class CContender {
public:
    virtual ~CContender() = default;
    virtual void process(const float* const* in, float* const* out, size_t n) = 0;
};

// ---------------------------------------------------------------- Lagwell, the bundle

// The group digits of a delay: time in ms (two decimals, lowest digit
// first) and samples, as the host parameters of groups 1 to 4 name them.
std::vector<std::pair<std::string, int>> delayDigits(size_t group, size_t samples) {
    static const char* const time[4] = {"ADelay", "2ADly", "3ADly", "4ADly"};
    static const char* const count[4] = {"SDelay", "2SDly", "3SDly", "4SDly"};
    std::vector<std::pair<std::string, int>> out;
    // Whole milliseconds (at most 9999) go into the time, the rest into samples.
    size_t ms = std::min<size_t>(samples * 1000 / size_t(kRate), 9999);
    size_t rest = samples - ms * size_t(kRate) / 1000;
    ms *= 100;
    for (int d = 0; d < 6; ++d, ms /= 10) out.emplace_back(time[group] + std::to_string(d), int(ms % 10));
    for (int d = 0; d < 5; ++d, rest /= 10) out.emplace_back(count[group] + std::to_string(d), int(rest % 10));
    return out;
}

class CBundle final : public CContender {
public:
    CBundle(const std::string& bundle, int channels, size_t delay)
        : m_module(Module::load(bundle)), m_plugin(m_module, m_module->findClass(kVstAudioEffectClass)) {
        if (!m_plugin.setMainChannels(channels, channels)) throw CBenchError("the bundle refuses the channel count");
        m_plugin.setupProcessing(kRate, int32(kBlock), Steinberg::Vst::kSample32, Steinberg::Vst::kRealtime);
        m_plugin.start();
        ParameterChanges changes;
        for (size_t g = 0; g < size_t(channels + 1) / 2; ++g)
            for (const auto& [title, digit] : delayDigits(g, delay)) {
                const std::optional<Parameter> p = m_plugin.findParameter(title);
                if (!p) throw CBenchError("the bundle has no parameter " + title);
                changes.add(p->id, 0, double(digit) / 9.0);
            }
        if (m_plugin.flush(changes) != Steinberg::kResultOk) throw CBenchError("the bundle refuses the delay");
        m_channels = channels;
        // A longer delay that the host set waits for the pages that the
        // instance's keeper brings in off the audio thread, at the latest
        // when its quiet time is up: silence at the pace a host keeps gives
        // it that time, and the fade to the delay ends.
        std::vector<std::vector<float>> silence(size_t(channels), std::vector<float>(kBlock, 0.0f));
        std::vector<const float*> in;
        std::vector<float*> out;
        for (auto& s : silence) {
            in.push_back(s.data());
            out.push_back(s.data());
        }
        const auto period = std::chrono::microseconds(int64_t(1e6 * double(kBlock) / kRate));
        const auto quiet = std::chrono::milliseconds(zel::CDelayPageKeeper::kQuietMs * 3 / 2);
        for (std::chrono::microseconds waited{0}; waited < quiet; waited += period) {
            process(in.data(), out.data(), kBlock);
            std::this_thread::sleep_for(period);
        }
    }
    ~CBundle() override { m_plugin.stop(); }
    void process(const float* const* in, float* const* out, size_t n) override {
        const MainBuses<float> buses{const_cast<float* const*>(in), m_channels, out, m_channels};
        m_plugin.process(int32(n), buses);
    }

private:
    std::shared_ptr<Module> m_module;
    Plugin m_plugin;
    int32 m_channels = 0;
};

// ---------------------------------------------------------------- Lagwell, in process

// The host-neutral instance the bundle wraps, for what a host cannot reach:
// the meters switched off, and eight channels in four groups (a host's eight
// channels get the surround routing preset instead).
class CWrapper final : public CContender, private zel::CAudioWrapper {
public:
    CWrapper(size_t channels, size_t delay, bool meters) : m_channels(channels) {
        if (zel::CErrorPtr err = init()) throw CBenchError("the instance fails: " + err->describe());
        setIOChannels(channels, channels);
        setupProcessing(kRate, kBlock);
        // Every channel in and out, two channels per group as the default
        // grouping has it.
        std::vector<double> routing;
        for (size_t c = 0; c < channels; ++c) routing.push_back(double(c + 1));
        auto& collector = dynamic_cast<zel::CAudioParamCollector&>(*root().findObject("plugin.param-collector"));
        zel::CAudioParamTransaction tx(collector);
        std::vector<double> grouping;
        for (size_t c = 0; c < 8; ++c) grouping.push_back(double(c / 2));
        for (const char* name : {"in-routing", "out-routing"})
            tx.setElements(*collector.find(zel::CString("plugin.modMain.io-params.") + name), 0, 0, routing);
        tx.setElements(*collector.find("plugin.modMain.io-params.grouping"), 0, 0, grouping);
        tx.finish(zel::CString());
        for (size_t i = 0; i < extParamCount(); ++i)
            for (size_t g = 0; g < (channels + 1) / 2; ++g)
                for (const auto& [title, digit] : delayDigits(g, delay))
                    if (extParam(i).extName() == zel::CString(title.c_str())) setExtParamNormalized(i, digit / 9.0);
        if (!meters)
            dynamic_cast<zel::CAudioVizCollector&>(*root().findObject("plugin.viz-collector")).setActive(false);
    }
    void process(const float* const* in, float* const* out, size_t n) override {
        zel::CAudioWrapper::process(in, m_channels, out, m_channels, n);
    }
    zel::CAudioEngine& audioEngine() { return engine(); }

private:
    void reportExtParam(size_t, double) override {}
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t, double) override {}
    void endExtParamEdit(size_t) override {}
    size_t m_channels;
};

// ---------------------------------------------------------------- LSP

class CLsp final : public CContender {
public:
    static bool available() { return handle() != nullptr; }

    CLsp(size_t channels, size_t delay) {
        void* h = handle();
        if (!h) throw CBenchError("no LSP library");
        auto descriptorOf = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(h, "ladspa_descriptor"));
        for (unsigned long i = 0; descriptorOf && !m_desc; ++i) {
            const LADSPA_Descriptor* d = descriptorOf(i);
            if (!d) break;
            if (std::strcmp(d->Label, kLspLabel) == 0) m_desc = d;
        }
        if (!m_desc) throw CBenchError(std::string("no plug-in ") + kLspLabel);
        m_controls.assign(m_desc->PortCount, 0.0f);
        for (unsigned long p = 0; p < m_desc->PortCount; ++p) {
            const std::string name = m_desc->PortNames[p];
            float v = 0.0f;
            // Time mode: whole milliseconds, the rest as samples.
            if (name == "Mode")
                v = 2.0f;
            else if (name == "Time (ms)")
                v = float(double(delay) * 1000.0 / kRate);
            else if (name == "Wet amount (G)" || name == "Output gain (G)")
                v = 1.0f;
            else if (name == "Temperature (°C)")
                v = 20.0f;
            m_controls[p] = v;
        }
        for (size_t c = 0; c < channels; c += 2) {
            LADSPA_Handle inst = m_desc->instantiate(m_desc, (unsigned long)kRate);
            if (!inst) throw CBenchError("LSP refuses to start");
            for (unsigned long p = 0; p < m_desc->PortCount; ++p)
                if (!LADSPA_IS_PORT_AUDIO(m_desc->PortDescriptors[p])) m_desc->connect_port(inst, p, &m_controls[p]);
            if (m_desc->activate) m_desc->activate(inst);
            m_instances.push_back(inst);
        }
    }
    ~CLsp() override {
        for (LADSPA_Handle inst : m_instances) {
            if (m_desc->deactivate) m_desc->deactivate(inst);
            m_desc->cleanup(inst);
        }
    }
    void process(const float* const* in, float* const* out, size_t n) override {
        for (size_t i = 0; i < m_instances.size(); ++i) {
            m_desc->connect_port(m_instances[i], 0, const_cast<float*>(in[2 * i]));
            m_desc->connect_port(m_instances[i], 1, const_cast<float*>(in[2 * i + 1]));
            m_desc->connect_port(m_instances[i], 2, out[2 * i]);
            m_desc->connect_port(m_instances[i], 3, out[2 * i + 1]);
            m_desc->run(m_instances[i], n);
        }
    }

private:
    static void* handle() {
        static void* h = dlopen(kLspLibrary, RTLD_NOW | RTLD_LOCAL);
        return h;
    }
    const LADSPA_Descriptor* m_desc = nullptr;
    std::vector<LADSPA_Data> m_controls;
    std::vector<LADSPA_Handle> m_instances;
};

// ---------------------------------------------------------------- floor

// Float in, one flat double ring per channel, float out: per block at most
// two runs in and two runs out, converting on the way with packed
// conversions.
class CRingCopy final : public CContender {
public:
    CRingCopy(size_t channels, size_t delay)
        : m_delay(delay), m_length(delay + kBlock), m_rings(channels, std::vector<double>(m_length, 0.0)) {}
    void process(const float* const* in, float* const* out, size_t n) override {
        const size_t read = (m_write + m_length - m_delay) % m_length;
        for (size_t c = 0; c < m_rings.size(); ++c) {
            double* ring = m_rings[c].data();
            for (size_t done = 0, w = m_write; done < n;) {
                const size_t run = std::min(n - done, m_length - w);
                zel::convertSamples(in[c] + done, ring + w, run);
                done += run;
                w = 0;
            }
            for (size_t done = 0, r = read; done < n;) {
                const size_t run = std::min(n - done, m_length - r);
                zel::convertSamples(ring + r, out[c] + done, run);
                done += run;
                r = 0;
            }
        }
        m_write = (m_write + n) % m_length;
    }

private:
    size_t m_delay, m_length, m_write = 0;
    std::vector<std::vector<double>> m_rings;
};

// ---------------------------------------------------------------- Lagwell's delay line

// The delay lines of one channel group alone, taking and giving host
// samples: they convert on the way into and out of their pages.
class CDelayLines final : public CContender {
public:
    CDelayLines(size_t channels, size_t delay) : m_lines(channels) {
        for (zel::CDSPModDelay& line : m_lines) {
            line.setPool(m_pool);
            line.configure(8100, 480);
            line.setDelay((long long)delay);
        }
    }
    void process(const float* const* in, float* const* out, size_t n) override {
        for (size_t c = 0; c < m_lines.size(); ++c) m_lines[c].process(in[c], out[c], n);
    }

private:
    zel::CPoolAllocator m_pool;
    std::vector<zel::CDSPModDelay> m_lines;
};

// ---------------------------------------------------------------- timing

struct CSignal {
    size_t channels;
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> ip;
    std::vector<float*> op;
    CSignal(size_t ch, size_t length)
        : channels(ch), in(ch, std::vector<float>(length)), out(ch, std::vector<float>(length)) {
        unsigned seed = 7;
        for (auto& x : in)
            for (float& s : x) s = float(int((seed = seed * 1664525u + 1013904223u) >> 9) % 2001 - 1000) / 2000.0f;
    }
    // Pointers to the block at `offset` into the signal.
    void at(size_t offset) {
        ip.clear();
        op.clear();
        for (size_t c = 0; c < channels; ++c) {
            ip.push_back(in[c].data() + offset);
            op.push_back(out[c].data() + offset);
        }
    }
};

// The delay the contender applies, found from a click on every channel.
bool delays(CContender& c, size_t channels, size_t expected, std::string& found) {
    const size_t length = (expected / kBlock + 4) * kBlock;
    std::vector<std::vector<float>> in(channels, std::vector<float>(length, 0.0f)), out = in;
    for (auto& x : in) x[100] = 1.0f;
    for (size_t b = 0; b < length; b += kBlock) {
        std::vector<const float*> ip;
        std::vector<float*> op;
        for (size_t ch = 0; ch < channels; ++ch) {
            ip.push_back(in[ch].data() + b);
            op.push_back(out[ch].data() + b);
        }
        c.process(ip.data(), op.data(), kBlock);
    }
    bool ok = true;
    for (auto& y : out) {
        const auto loudest =
            std::max_element(y.begin(), y.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
        const size_t peak = size_t(loudest - y.begin());
        found += " " + std::to_string(long(peak) - 100) + "@" + std::to_string(y[peak]);
        if (peak != 100 + expected || std::fabs(y[peak] - 1.0f) > 1e-3f) ok = false;
    }
    return ok;
}

struct CRow {
    std::string name;
    size_t channels;
    std::unique_ptr<CContender> contender;
    std::vector<double> ns;  // per sample and channel, one per turn
    double median() {
        std::vector<double> v = ns;
        std::sort(v.begin(), v.end());
        return v.empty() ? NAN : v[v.size() / 2];
    }
};

// The processor time of this thread: the machine is shared, and time spent
// running other programs would count against whichever row was running.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double timeRun(CRow& row, CSignal& signal, size_t seconds) {
    const size_t blocks = size_t(seconds * kRate) / kBlock;
    const size_t period = signal.in[0].size() / kBlock;
    const double start = threadSeconds();
    for (size_t b = 0; b < blocks; ++b) {
        signal.at((b % period) * kBlock);
        row.contender->process(signal.ip.data(), signal.op.data(), kBlock);
    }
    return (threadSeconds() - start) * 1e9 / double(blocks * kBlock * row.channels);
}

size_t delayLineBytes(zel::CAudioEngine& engine) {
    auto* stack = dynamic_cast<zel::CAudioProcessStack*>(engine.graph().child("modLagwell"));
    size_t bytes = 0;
    for (int g = 0; stack && g < 8; ++g) {
        auto* element = dynamic_cast<zel::CAudioProcess*>(stack->element(g));
        auto* delay = element ? dynamic_cast<zel::CModDelay*>(element->child("modDelay")) : nullptr;
        if (!delay) continue;
        // Every page the group's bank holds, in the rings or spare.
        const zel::CDelayPageBank& bank = delay->pageBank();
        bytes += bank.ownedPages() * bank.pageLength() * sizeof(double);
        for (size_t m = 0; m < delay->moduleCount(); ++m)
            bytes += static_cast<const zel::CModDelayModule&>(delay->module(m)).line().ringLength() * sizeof(double*);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    std::string bundle = LAGWELL_DEFAULT_BUNDLE;
    size_t turns = 7, seconds = 60;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--bundle" && i + 1 < argc)
            bundle = argv[++i];
        else if (a == "--turns" && i + 1 < argc)
            turns = size_t(std::max(1, std::atoi(argv[++i])));
        else if (a == "--seconds" && i + 1 < argc)
            seconds = size_t(std::max(1, std::atoi(argv[++i])));
        else if (a == "--only" && i + 1 < argc)
            only = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: lagwell-bench-peer [--bundle PATH] [--turns N] [--seconds S] [--only TEXT]\n"
                         "  --bundle PATH  the Lagwell.vst3 bundle to load (default: this build's)\n"
                         "  --turns N      turns of every row (default 7); rows report the median\n"
                         "  --seconds S    seconds of audio per row and turn (default 60)\n"
                         "  --only TEXT    only the rows whose name contains TEXT\n");
            return a == "--help" ? 0 : 2;
        }
    }
    if (zel::CErrorPtr err = zel::CApplication::start()) {
        std::fprintf(stderr, "lagwell-bench-peer: %s\n", err->describe().c_str());
        return 1;
    }
    const bool lsp = CLsp::available();
    if (!lsp) std::printf("LSP Delay Compensator is not installed (%s): its rows are skipped\n", kLspLibrary);

    // name, channels, factory; rows whose delay check fails are reported and dropped.
    struct CCase {
        std::string name;
        size_t channels;
        size_t delay;
        std::function<std::unique_ptr<CContender>()> make;
        bool needsLsp;
    };
    std::vector<CCase> cases;
    for (size_t channels : {size_t(2), size_t(8)})
        for (size_t delay : {kHalfSecond, kShort}) {
            const std::string suffix =
                std::to_string(channels) + " ch " + (delay == kHalfSecond ? "500 ms" : "4800 smp");
            auto name = [&](const char* what) { return std::string(what) + ", " + suffix; };
            // A host's eight channels get the surround routing preset: the
            // eight-channel rows run the instance with two channels per group.
            if (channels == 2)
                cases.push_back({name("Lagwell bundle, meters on"), channels, delay,
                                 [=] { return std::make_unique<CBundle>(bundle, int(channels), delay); }, false});
            cases.push_back({name("Lagwell instance, meters on"), channels, delay,
                             [=] { return std::make_unique<CWrapper>(channels, delay, true); }, false});
            cases.push_back({name("Lagwell instance, meters off"), channels, delay,
                             [=] { return std::make_unique<CWrapper>(channels, delay, false); }, false});
            cases.push_back({name("LSP Delay Compensator"), channels, delay,
                             [=] { return std::make_unique<CLsp>(channels, delay); }, true});
            cases.push_back({name("ring-copy floor"), channels, delay,
                             [=] { return std::make_unique<CRingCopy>(channels, delay); }, false});
            cases.push_back({name("Lagwell delay lines + conversion"), channels, delay,
                             [=] { return std::make_unique<CDelayLines>(channels, delay); }, false});
        }

    std::vector<CRow> rows;
    for (const CCase& c : cases) {
        if ((c.needsLsp && !lsp) || c.name.find(only) == std::string::npos) continue;
        try {
            CRow row{c.name, c.channels, c.make(), {}};
            std::string found;
            if (!delays(*row.contender, c.channels, c.delay, found)) {
                std::printf("%s: does not delay every channel by %zu samples (delay@gain:%s); left out\n",
                            c.name.c_str(), c.delay, found.c_str());
                continue;
            }
            rows.push_back(std::move(row));
        } catch (const std::exception& e) {
            std::printf("%s: %s; left out\n", c.name.c_str(), e.what());
        }
    }

    CSignal signal2(2, 94 * kBlock), signal8(8, 94 * kBlock);
    for (size_t t = 0; t < turns; ++t)
        for (size_t k = 0; k < rows.size(); ++k) {
            // Each turn starts at another row, so that no row always follows the same one.
            CRow& row = rows[(k + t) % rows.size()];
            row.ns.push_back(timeRun(row, row.channels == 2 ? signal2 : signal8, seconds));
        }

    std::printf(
        "\n%zu turns of %zu s of audio, 48 kHz, blocks of %zu; thread CPU time in ns per sample per channel "
        "(median, min-max)\n",
        turns, seconds, kBlock);
    for (CRow& row : rows) {
        const auto [lo, hi] = std::minmax_element(row.ns.begin(), row.ns.end());
        std::printf("  %-52s %7.3f  (%.3f-%.3f)\n", row.name.c_str(), row.median(), *lo, *hi);
    }
    auto find = [&](const std::string& name) -> CRow* {
        for (CRow& r : rows)
            if (r.name == name) return &r;
        return nullptr;
    };
    auto ratio = [&](const char* what, const std::string& a, const std::string& b, const char* target) {
        CRow* x = find(a);
        CRow* y = find(b);
        if (!x || !y) {
            std::printf("  %-64s   skipped\n", what);
            return;
        }
        std::printf("  %-64s %6.2fx  (target %s)\n", what, x->median() / y->median(), target);
    };
    std::printf("\nratios\n");
    for (const char* d : {"500 ms", "4800 smp"}) {
        const std::string s2 = std::string(", 2 ch ") + d, s8 = std::string(", 8 ch ") + d;
        ratio((std::string("bundle, stereo, meters on / LSP, ") + d).c_str(), "Lagwell bundle, meters on" + s2,
              "LSP Delay Compensator" + s2, "<= 2.0");
        ratio((std::string("instance, stereo, meters off / LSP, ") + d).c_str(), "Lagwell instance, meters off" + s2,
              "LSP Delay Compensator" + s2, "<= 1.0");
        ratio((std::string("instance, stereo, meters on / LSP, ") + d).c_str(), "Lagwell instance, meters on" + s2,
              "LSP Delay Compensator" + s2, "-");
        ratio((std::string("instance, 8 ch in 4 groups, meters on / LSP, ") + d).c_str(),
              "Lagwell instance, meters on" + s8, "LSP Delay Compensator" + s8, "-");
        ratio((std::string("bundle / ring-copy floor, stereo, ") + d).c_str(), "Lagwell bundle, meters on" + s2,
              "ring-copy floor" + s2, "-");
        ratio((std::string("delay lines + conversion / floor, stereo, ") + d).c_str(),
              "Lagwell delay lines + conversion" + s2, "ring-copy floor" + s2, "<= 1.3");
        ratio((std::string("instance, meters on, 8 ch in 4 groups / stereo, per channel-sample, ") + d).c_str(),
              "Lagwell instance, meters on" + s8, "Lagwell instance, meters on" + s2, "<= 1.2");
    }

    // Memory of the delay lines at the longest delay on all eight channels.
    const char* memoryRow = "12 s on 8 ch: delay-line memory / (12 s x 8 ch x 8 B x rate)";
    if (std::string(memoryRow).find(only) == std::string::npos) {
        zel::CApplication::finish();
        return 0;
    }
    CWrapper longest(8, size_t(12 * kRate), true);
    std::vector<std::vector<float>> in(8, std::vector<float>(kBlock, 0.25f)), out = in;
    std::vector<const float*> ip;
    std::vector<float*> op;
    for (size_t c = 0; c < 8; ++c) {
        ip.push_back(in[c].data());
        op.push_back(out[c].data());
    }
    for (size_t b = 0; b < size_t(13 * kRate) / kBlock; ++b) longest.process(ip.data(), op.data(), kBlock);
    const double bytes = double(delayLineBytes(longest.audioEngine()));
    const double minimum = 12.0 * 8 * 8 * kRate;
    std::printf("  %-64s %6.3fx  (target <= 1.1; %.1f MB)\n", memoryRow, bytes / minimum, bytes / 1e6);
    zel::CApplication::finish();
    return 0;
}
