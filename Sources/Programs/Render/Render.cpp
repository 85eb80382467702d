// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-render: renders an audio file through a VST3 plug-in the way a
// host renders offline. The plug-in gets the file's sample rate and channel
// count, a state (a preset file or a preset of a bank), a program and
// parameter values, then the file block by block and, unless told
// otherwise, its tail.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "BankFile.h"
#include "Module.h"
#include "ParameterChanges.h"
#include "Plugin.h"
#include "SoundFile.h"

namespace {

using namespace lagwell::host;
using namespace Steinberg;
using namespace Steinberg::Vst;
using lagwell::render::SoundFile;
namespace fs = std::filesystem;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An input the renderer will not take: like a usage error, exit code 2.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The sample rates a plug-in is asked to run at. A damaged or hostile file
// can declare any rate, and the tail a plug-in reports grows with it.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxTailSeconds = 60;

constexpr const char* kUsage = R"(usage: lagwell-render [options] INPUT OUTPUT
       lagwell-render [--plugin BUNDLE] --list

Renders an audio file (WAV, FLAC, AIFF) through a VST3 plug-in. The output
has the input's sample rate and, unless told otherwise, its channel count
and sample format; its container follows its extension.

  --plugin BUNDLE      the .vst3 bundle (default: Lagwell.vst3 of this build,
                       else ~/.vst3, /usr/local/lib/vst3, /usr/lib/vst3)
  --preset FILE        start from a preset file
  --factory NAME|N     or start from a preset of the factory bank, by name or
                       number (see --list)
  --bank FILE          the bank that --factory picks from (default: the
                       factory bank of this build)
  --program NAME|N     choose a program of the plug-in's program list
  --param TITLE=VALUE  then set a parameter (repeatable); VALUE is a displayed
                       value ("On", "12.5"), else a plain number; a number
                       with the suffix "n" ("0.25n") is a normalized value
  --outputs N          output channels, 1 to 8 (default: the input's count)
  --block N            samples per process call, 1 to 65536 (default 512)
  --double             process 64-bit samples (default 32-bit)
  --no-tail            end with the input instead of rendering the tail
  --quiet              print neither progress nor the summary
  --list               print the plug-in's parameters and programs
  --help               print this text
)";

struct Options {
    std::string plugin;
    std::string input;
    std::string output;
    std::string preset;
    std::string bank;
    std::optional<std::string> factory;
    std::optional<std::string> program;
    std::vector<std::string> params;
    int outputs = 0;
    int block = 512;
    bool wide = false;
    bool noTail = false;
    bool quiet = false;
    bool list = false;
    bool help = false;
};

int parseCount(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0 || value < low || value > high)
        throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not \"" + text + "\"");
    return static_cast<int>(value);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> attached;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            attached = arg.substr(arg.find('=') + 1);
            arg.erase(arg.find('='));
        }
        const auto value = [&]() -> std::string {
            if (attached) return *attached;
            if (i + 1 >= argc) throw UsageError(arg + " needs a value");
            return argv[++i];
        };
        const auto flag = [&](bool& target) {
            if (attached) throw UsageError(arg + " takes no value");
            target = true;
        };
        if (arg == "--plugin")
            o.plugin = value();
        else if (arg == "--preset")
            o.preset = value();
        else if (arg == "--factory")
            o.factory = value();
        else if (arg == "--bank")
            o.bank = value();
        else if (arg == "--program")
            o.program = value();
        else if (arg == "--param")
            o.params.push_back(value());
        else if (arg == "--outputs")
            o.outputs = parseCount(arg, value(), 1, 8);
        else if (arg == "--block")
            o.block = parseCount(arg, value(), 1, 65536);
        else if (arg == "--double")
            flag(o.wide);
        else if (arg == "--no-tail")
            flag(o.noTail);
        else if (arg == "--quiet")
            flag(o.quiet);
        else if (arg == "--list")
            flag(o.list);
        else if (arg == "--help" || arg == "-h")
            flag(o.help);
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError("unknown option " + arg);
        else
            files.push_back(arg);
    }
    if (o.help) return o;
    if (o.list ? !files.empty() : files.size() != 2)
        throw UsageError(o.list ? "--list takes no files" : "an input and an output file are needed");
    if (!o.preset.empty() && o.factory)
        throw UsageError("--preset and --factory both give the whole state: choose one");
    if (!o.list) {
        o.input = files[0];
        o.output = files[1];
    }
    if (o.bank.empty()) {
        std::error_code ec;
        if (fs::exists(LAGWELL_FACTORY_BANK, ec)) o.bank = LAGWELL_FACTORY_BANK;
    }
    return o;
}

std::string defaultBundle() {
    std::vector<std::string> places = {LAGWELL_DEFAULT_BUNDLE};
    if (const char* home = std::getenv("HOME")) places.push_back(std::string(home) + "/.vst3/Lagwell.vst3");
    places.push_back("/usr/local/lib/vst3/Lagwell.vst3");
    places.push_back("/usr/lib/vst3/Lagwell.vst3");
    std::error_code ec;
    for (const std::string& place : places)
        if (fs::exists(place, ec)) return place;
    return places.front();
}

std::string flagText(const Parameter& p) {
    static const std::pair<int32, const char*> kNames[] = {
        {ParameterInfo::kCanAutomate, "automatable"},  {ParameterInfo::kIsReadOnly, "read-only"},
        {ParameterInfo::kIsWrapAround, "wrap-around"}, {ParameterInfo::kIsList, "list"},
        {ParameterInfo::kIsHidden, "hidden"},          {ParameterInfo::kIsProgramChange, "program-change"},
        {ParameterInfo::kIsBypass, "bypass"}};
    std::string text;
    for (const auto& [bit, name] : kNames)
        if (p.flags & bit) text += std::string(text.empty() ? "" : ", ") + name;
    return text;
}

void printNames(const char* title, const std::vector<std::string>& names) {
    std::printf("\n%s (%zu):\n", title, names.size());
    for (size_t i = 0; i < names.size(); ++i) std::printf("%4zu  %s\n", i, names[i].c_str());
}

void printList(const Module& module, const ClassInfo& cls, const Plugin& plugin, const std::string& bank) {
    std::printf("%s %s by %s (%s, %s)\n%s\n", cls.name.c_str(), cls.version.c_str(), cls.vendor.c_str(),
                cls.category.c_str(), cls.subCategories.c_str(), module.libraryPath().c_str());
    for (BusDirection direction : {kInput, kOutput})
        for (const Bus& bus : plugin.buses(kAudio, direction))
            std::printf("audio %s \"%s\": %d channels\n", direction == kInput ? "input" : "output", bus.name.c_str(),
                        bus.channelCount);

    const std::vector<Parameter> params = plugin.parameters();
    std::printf("\nparameters (%zu): number, id, title, default, steps, flags\n", params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const Parameter& p = params[i];
        std::string value = plugin.valueText(p.id, p.defaultNormalized);
        if (!p.units.empty()) value += " " + p.units;
        std::printf("%4zu  %10u  %-10s  %-12s  %5d  %s\n", i, p.id, p.title.c_str(), value.c_str(), p.stepCount,
                    flagText(p).c_str());
    }
    printNames("programs", plugin.programNames());
    if (!bank.empty()) printNames(("factory presets of " + bank).c_str(), lagwell::render::bankPresetNames(bank));
}

// A name of the list, else one that matches regardless of case, or a number.
size_t findName(const std::vector<std::string>& names, const std::string& wanted, const std::string& what) {
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const size_t index = std::strtoul(wanted.c_str(), nullptr, 10);
        if (index >= names.size())
            throw RenderError("no " + what + " number " + wanted + " (there are " + std::to_string(names.size()) + ")");
        return index;
    }
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted) return i;
    for (size_t i = 0; i < names.size(); ++i)
        if (strcasecmp(names[i].c_str(), wanted.c_str()) == 0) return i;
    throw RenderError("no " + what + " named \"" + wanted + "\" (see --list)");
}

// TITLE=VALUE as a parameter and its normalized value.
std::pair<ParamID, ParamValue> parameterSetting(const Plugin& plugin, const std::string& setting) {
    const size_t eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--param takes TITLE=VALUE, not \"" + setting + "\"");
    const std::string title = setting.substr(0, eq);
    const std::string text = setting.substr(eq + 1);
    const std::optional<Parameter> param = plugin.findParameter(title);
    if (!param) throw RenderError("no parameter titled \"" + title + "\" (see --list)");
    if (const std::optional<ParamValue> value = plugin.parseValue(param->id, text)) return {param->id, *value};
    throw RenderError(param->title + ": \"" + text + "\" is not a value of this parameter");
}

std::vector<uint8_t> readPreset(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RenderError(path + ": cannot open the preset file");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A preset file is one compressed preset record block.
    if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "aprs")
        throw RenderError(path + ": not a preset file");
    return bytes;
}

// Sends changes to the processor in a call without audio, and tells the
// controller of them as a host does.
void deliver(Plugin& plugin, const std::vector<std::pair<ParamID, ParamValue>>& settings) {
    if (settings.empty()) return;
    ParameterChanges changes;
    for (const auto& [id, value] : settings) {
        changes.add(id, 0, value);
        plugin.controller()->setParamNormalized(id, value);
    }
    if (plugin.flush(changes) != kResultOk) throw RenderError("the plug-in did not take the parameter changes");
}

class Progress {
public:
    Progress(int64_t total, bool show) : m_total(total), m_show(show), m_terminal(isatty(STDERR_FILENO)) {}
    void update(int64_t done) {
        if (!m_show) return;
        const int tenth = static_cast<int>(done * 10 / m_total);
        if (tenth == m_tenth) return;
        m_tenth = tenth;
        std::fprintf(stderr, m_terminal ? "\rlagwell-render: %3d%%" : "lagwell-render: %d%%\n", tenth * 10);
        if (m_terminal && tenth == 10) std::fputc('\n', stderr);
    }

private:
    int64_t m_total;
    bool m_show;
    bool m_terminal;
    int m_tenth = 0;
};

struct RenderResult {
    int64_t frames = 0;
    std::vector<double> peaks;
};

template <class Sample>
RenderResult render(Plugin& plugin, SoundFile& in, SoundFile& out, const Options& o, int64_t tail, Progress& progress) {
    const int inputs = in.channels();
    const int outputs = out.channels();
    const auto block = static_cast<size_t>(o.block);
    std::vector<Sample> inFrames(block * inputs), outFrames(block * outputs);
    std::vector<std::vector<Sample>> inChannels(inputs, std::vector<Sample>(block));
    std::vector<std::vector<Sample>> outChannels(outputs, std::vector<Sample>(block));
    std::vector<Sample*> inPointers, outPointers;
    for (auto& channel : inChannels) inPointers.push_back(channel.data());
    for (auto& channel : outChannels) outPointers.push_back(channel.data());
    const MainBuses<Sample> buses{inPointers.data(), inputs, outPointers.data(), outputs};

    // The first `latency` samples out are the plug-in's delay; they are
    // dropped and as many more rendered at the end.
    int64_t skip = plugin.processor()->getLatencySamples();
    const int64_t total = in.frames() + tail;
    RenderResult result;
    result.peaks.assign(outputs, 0.0);
    bool inputLeft = true;
    while (result.frames < total) {
        const int64_t n = static_cast<int64_t>(block);
        const int64_t got = inputLeft ? in.read(inFrames.data(), n) : 0;
        inputLeft = got == n;
        std::fill(inFrames.begin() + got * inputs, inFrames.end(), Sample(0));
        for (int64_t f = 0; f < n; ++f)
            for (int c = 0; c < inputs; ++c) inChannels[c][f] = inFrames[f * inputs + c];
        if (plugin.process(static_cast<int32>(n), buses) != kResultOk)
            throw RenderError("the plug-in failed to process at sample " + std::to_string(result.frames));
        const int64_t from = std::min(skip, n);
        skip -= from;
        const int64_t count = std::min(n - from, total - result.frames);
        for (int64_t f = 0; f < count; ++f) {
            for (int c = 0; c < outputs; ++c) {
                const Sample s = outChannels[c][from + f];
                outFrames[f * outputs + c] = s;
                result.peaks[c] = std::max(result.peaks[c], std::fabs(static_cast<double>(s)));
            }
        }
        out.write(outFrames.data(), count);
        result.frames += count;
        progress.update(result.frames);
    }
    return result;
}

int run(const Options& o) {
    const std::shared_ptr<Module> module = Module::load(o.plugin.empty() ? defaultBundle() : o.plugin);
    const ClassInfo& cls = module->findClass(kVstAudioEffectClass);
    Plugin plugin(module, cls);
    if (o.list) {
        printList(*module, cls, plugin, o.bank);
        return 0;
    }

    // Everything that can be wrong with the request is found before the
    // output file is made.
    std::vector<std::pair<ParamID, ParamValue>> program;
    if (o.program) {
        const std::optional<Parameter> param = plugin.programParameter();
        if (!param) throw RenderError(cls.name + " has no programs");
        const size_t index = findName(plugin.programNames(), *o.program, "program");
        program.emplace_back(param->id, param->stepCount > 0 ? static_cast<double>(index) / param->stepCount : 0.0);
    }
    std::vector<std::pair<ParamID, ParamValue>> settings;
    for (const std::string& setting : o.params) settings.push_back(parameterSetting(plugin, setting));
    std::vector<uint8_t> state;
    if (!o.preset.empty()) {
        state = readPreset(o.preset);
    } else if (o.factory) {
        if (o.bank.empty()) throw RenderError("no factory bank in this build: give one with --bank");
        const std::vector<std::string> names = lagwell::render::bankPresetNames(o.bank);
        state = lagwell::render::bankPresetState(o.bank, findName(names, *o.factory, "factory preset"));
    }

    SoundFile in = SoundFile::openRead(o.input);
    if (in.sampleRate() < kMinSampleRate || in.sampleRate() > kMaxSampleRate)
        throw InputError(o.input + ": a sample rate of " + std::to_string(in.sampleRate()) + " Hz is outside the " +
                         std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) +
                         " Hz that can be rendered");
    std::error_code ec;
    if (fs::equivalent(o.input, o.output, ec)) throw RenderError(o.output + ": the output would overwrite the input");
    const int outputs = o.outputs > 0 ? o.outputs : in.channels();
    if (in.channels() > 8 || !plugin.setMainChannels(in.channels(), outputs))
        throw RenderError(cls.name + " does not take " + std::to_string(in.channels()) + " input and " +
                          std::to_string(outputs) + " output channels");
    plugin.setupProcessing(in.sampleRate(), o.block, o.wide ? kSample64 : kSample32, kOffline);
    if (!state.empty()) plugin.loadState(state);

    const uint32 reportedTail = plugin.processor()->getTailSamples();
    int64_t tail = o.noTail ? 0 : reportedTail;
    if (tail == kInfiniteTail) {
        std::fprintf(stderr, "lagwell-render: the plug-in's tail never ends; rendering none\n");
        tail = 0;
    }
    // No plug-in needs more than a minute to die away; a longer report is
    // an error of the plug-in, not sound.
    const int64_t longestTail = int64_t(kMaxTailSeconds) * in.sampleRate();
    if (tail > longestTail) {
        std::fprintf(stderr, "lagwell-render: the plug-in reports a tail of %lld samples; rendering %d s\n",
                     static_cast<long long>(tail), kMaxTailSeconds);
        tail = longestTail;
    }
    SoundFile out = SoundFile::create(o.output, in.sampleRate(), outputs, in);
    plugin.start();
    deliver(plugin, program);
    deliver(plugin, settings);

    const int64_t total = in.frames() + tail;
    // Long renders, beyond ten seconds of sound, show how far they are.
    Progress progress(total, !o.quiet && total > 10LL * in.sampleRate());
    const RenderResult result =
        o.wide ? render<double>(plugin, in, out, o, tail, progress) : render<float>(plugin, in, out, o, tail, progress);
    plugin.stop();
    if (!o.quiet) {
        std::fprintf(stderr, "lagwell-render: %s -> %s: %d Hz, %d -> %d channels, %.3f s + %.3f s tail; peaks (dBFS):",
                     o.input.c_str(), o.output.c_str(), in.sampleRate(), in.channels(), outputs,
                     static_cast<double>(in.frames()) / in.sampleRate(), static_cast<double>(tail) / in.sampleRate());
        for (double peak : result.peaks) {
            if (peak > 0)
                std::fprintf(stderr, " %.2f", 20 * std::log10(peak));
            else
                std::fputs(" -inf", stderr);
        }
        std::fputc('\n', stderr);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parseOptions(argc, argv);
        if (o.help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        return run(o);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lagwell-render: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const InputError& e) {
        std::fprintf(stderr, "lagwell-render: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lagwell-render: %s\n", e.what());
        return 1;
    }
}
