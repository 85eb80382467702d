// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestHost.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

namespace lagwell::host::test {

const char* bundlePath() { return LAGWELL_VST3_BUNDLE; }

std::string scratchPath(const std::string& name) {
    static std::atomic<int> counter{0};
    const std::filesystem::path folder = std::filesystem::path(LAGWELL_TEST_TMP) / std::to_string(getpid());
    std::filesystem::create_directories(folder);
    return (folder / (std::to_string(counter++) + "-" + name)).string();
}

std::vector<float> noise(size_t frames, uint32_t seed) {
    std::vector<float> out(frames);
    uint32_t state = seed;
    for (float& s : out) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f;
    }
    return out;
}

template <class Sample>
Channels<Sample> processAll(Plugin& plugin, const Channels<Sample>& input, int outputs, int block) {
    const size_t frames = input.empty() ? 0 : input[0].size();
    Channels<Sample> output(static_cast<size_t>(outputs), std::vector<Sample>(frames));
    std::vector<Sample*> in(input.size()), out(output.size());
    for (size_t at = 0; at < frames; at += static_cast<size_t>(block)) {
        const auto n = static_cast<Steinberg::int32>(std::min(frames - at, static_cast<size_t>(block)));
        for (size_t c = 0; c < in.size(); ++c) in[c] = const_cast<Sample*>(input[c].data()) + at;
        for (size_t c = 0; c < out.size(); ++c) out[c] = output[c].data() + at;
        const MainBuses<Sample> buses{in.data(), static_cast<Steinberg::int32>(in.size()), out.data(), outputs};
        EXPECT_EQ(plugin.process(n, buses), Steinberg::kResultOk) << "at sample " << at;
    }
    return output;
}

template Channels<float> processAll(Plugin&, const Channels<float>&, int, int);
template Channels<double> processAll(Plugin&, const Channels<double>&, int, int);

void writeWav(const std::string& path, const Channels<float>& channels, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    std::vector<float> frames;
    for (size_t f = 0; f < channels[0].size(); ++f)
        for (const auto& channel : channels) frames.push_back(channel[f]);
    EXPECT_EQ(sf_writef_float(file, frames.data(), static_cast<sf_count_t>(channels[0].size())),
              static_cast<sf_count_t>(channels[0].size()));
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    Audio audio;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return audio;
    std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, frames.data(), info.frames), info.frames);
    sf_close(file);
    audio.sampleRate = info.samplerate;
    audio.channels.assign(static_cast<size_t>(info.channels), std::vector<float>(static_cast<size_t>(info.frames)));
    for (size_t f = 0; f < static_cast<size_t>(info.frames); ++f)
        for (size_t c = 0; c < audio.channels.size(); ++c) audio.channels[c][f] = frames[f * audio.channels.size() + c];
    return audio;
}

}  // namespace lagwell::host::test
