// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-measure: compares a rendered file with its source and prints, for
// the first click of each set of input channels that click together (one
// channel alone, then the next, then all at once in lagwell-demo-signal)
// and per output channel, the delay and gain of the loudest response, and
// of a second one when there is one of at least a tenth of its level: the
// sample distance from the click, in samples and milliseconds, and the
// level relative to the click, in dB.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SoundFile.h"

using lagwell::render::SoundFile;

namespace {

constexpr const char* kUsage = R"(usage: lagwell-measure SOURCE RENDERED

Prints, per channel of RENDERED, the delay (samples and milliseconds) and the
gain (dB) of its loudest response to the first click of SOURCE on each set of
input channels that click together (one alone, several at once).

  --help    print this text
)";

std::vector<double> readAll(SoundFile& file) {
    std::vector<double> samples(size_t(file.frames()) * size_t(file.channels()));
    samples.resize(size_t(file.read(samples.data(), file.frames())) * size_t(file.channels()));
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != 0) {
            std::fprintf(stderr, "lagwell-measure: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        SoundFile sourceFile = SoundFile::openRead(argv[1]);
        SoundFile renderedFile = SoundFile::openRead(argv[2]);
        const std::vector<double> source = readAll(sourceFile);
        const std::vector<double> rendered = readAll(renderedFile);
        const size_t inChannels = size_t(sourceFile.channels()), outChannels = size_t(renderedFile.channels());
        const size_t inFrames = source.size() / inChannels, outFrames = rendered.size() / outChannels;
        const double rate = sourceFile.sampleRate();
        double peak = 0;
        for (double v : source) peak = std::max(peak, std::fabs(v));
        // Responses are looked for up to just before the next burst.
        const size_t window = size_t(0.45 * rate);
        // The first click of every set of inputs that click at once, in
        // the order they come.
        std::vector<std::pair<size_t, std::vector<bool>>> clicks;
        for (size_t n = 0; peak > 0 && n < inFrames; ++n) {
            std::vector<bool> inputs(inChannels);
            bool any = false;
            for (size_t i = 0; i < inChannels; ++i)
                any |= inputs[i] = std::fabs(source[n * inChannels + i]) >= 0.9 * peak;
            const bool seen =
                std::any_of(clicks.begin(), clicks.end(), [&](const auto& c) { return c.second == inputs; });
            if (any && !seen) clicks.emplace_back(n, std::move(inputs));
        }
        for (const auto& entry : clicks) {
            const size_t click = entry.first;
            std::string names;
            for (size_t i = 0; i < inChannels; ++i)
                if (entry.second[i]) names += (names.empty() ? "" : "+") + std::to_string(i + 1);
            std::printf("  click on in %s at %.3f s:\n", names.c_str(), double(click) / rate);
            for (size_t k = 0; k < outChannels; ++k) {
                // The loudest response, then the loudest click apart from it
                // (a second path, as mid and side delayed differently give):
                // a sample well above both neighbours, which no burst has.
                auto at = [&](size_t n) { return n < outFrames ? std::fabs(rendered[n * outChannels + k]) : 0.0; };
                auto loudest = [&](size_t avoid, size_t& where) {
                    double level = 0;
                    for (size_t n = click; n < std::min(outFrames, click + window); ++n) {
                        const double v = at(n);
                        const bool apart =
                            avoid == SIZE_MAX || ((n > avoid ? n - avoid : avoid - n) > size_t(rate / 1000) &&
                                                  v > 1.5 * std::max(at(n + 1), n > 0 ? at(n - 1) : 0.0));
                        if (apart && v > level * (1 + 1e-9)) {
                            level = v;
                            where = n;
                        }
                    }
                    return level;
                };
                size_t best = click, second = click;
                const double level = loudest(SIZE_MAX, best);
                if (level < 1e-6) {
                    std::printf("    out %zu: silent\n", k + 1);
                    continue;
                }
                const double other = loudest(best, second);
                std::vector<std::pair<size_t, double>> responses = {{best, level}};
                if (other >= 0.1 * level) responses.emplace_back(second, other);
                std::sort(responses.begin(), responses.end());
                for (const auto& [n, v] : responses) {
                    const size_t delay = n - click;
                    std::printf("    out %zu: delay %6zu samples (%8.3f ms), gain %+6.2f dB\n", k + 1, delay,
                                1000.0 * double(delay) / rate, 20 * std::log10(v / peak));
                }
            }
        }
        if (clicks.empty()) {
            std::fprintf(stderr, "lagwell-measure: %s holds no click\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lagwell-measure: %s\n", e.what());
        return 1;
    }
    return 0;
}
