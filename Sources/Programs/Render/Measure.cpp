// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-measure: compares a rendered file with its source and prints, per
// output channel, the delay and gain of the loudest response to the first
// click of the source (see lagwell-demo-signal): the sample distance between
// the click and that response, in samples and milliseconds, and its level
// relative to the click, in dB.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SoundFile.h"

using lagwell::render::SoundFile;

namespace {

constexpr const char* kUsage = R"(usage: lagwell-measure SOURCE RENDERED

Prints, per channel of RENDERED, the delay (samples and milliseconds) and the
gain (dB) of its loudest response to the first click of SOURCE.

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
        // The click: the first sample of channel 1 that reaches 90 % of its peak.
        double peak = 0;
        for (size_t n = 0; n < inFrames; ++n) peak = std::max(peak, std::fabs(source[n * inChannels]));
        size_t click = 0;
        while (click < inFrames && std::fabs(source[click * inChannels]) < 0.9 * peak) ++click;
        if (peak == 0 || click == inFrames) {
            std::fprintf(stderr, "lagwell-measure: %s holds no click\n", argv[1]);
            return 1;
        }
        // Responses are looked for up to just before the next burst.
        const size_t window = size_t(0.45 * rate);
        for (size_t k = 0; k < outChannels; ++k) {
            size_t best = click;
            double level = 0;
            for (size_t n = click; n < std::min(outFrames, click + window); ++n) {
                const double v = std::fabs(rendered[n * outChannels + k]);
                if (v > level * (1 + 1e-9)) {
                    level = v;
                    best = n;
                }
            }
            if (level < 1e-6) {
                std::printf("  out %zu: silent\n", k + 1);
                continue;
            }
            const size_t delay = best - click;
            std::printf("  out %zu: delay %6zu samples (%8.3f ms), gain %+6.2f dB\n", k + 1, delay,
                        1000.0 * double(delay) / rate, 20 * std::log10(level / peak));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lagwell-measure: %s\n", e.what());
        return 1;
    }
    return 0;
}
