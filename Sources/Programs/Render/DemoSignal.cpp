// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-demo-signal: writes a short test signal to render through the
// plug-in: every half second a 1 kHz tone burst of 50 ms (raised-cosine
// envelope, peak 0.5) with a single-sample click of 0.9 at its start, as
// 32-bit float WAV. The bursts take turns: on the first channel alone, then
// on the second alone, and so on, then on all channels at once, so that
// what the plug-in does between channels (mid/side, routing) shows.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = R"(usage: lagwell-demo-signal OUTPUT.wav [SECONDS=4] [RATE=48000] [CHANNELS=2]

Writes the test signal: every half second a 1 kHz tone burst of 50 ms with a
click at its start, on the first channel alone, then on the second alone and
so on, then on all channels at once, as 32-bit float WAV.

  --help    print this text
)";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        // "-" alone is standard output; anything else with a dash is an
        // option this program does not have, never a file name.
        if (argv[i][0] == '-' && argv[i][1] != 0) {
            std::fprintf(stderr, "lagwell-demo-signal: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (argc < 2 || argc > 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 4.0;
    const int rate = argc > 3 ? std::atoi(argv[3]) : 48000;
    const int channels = argc > 4 ? std::atoi(argv[4]) : 2;
    if (!(seconds > 0 && seconds <= 3600) || rate < 8000 || rate > 384000 || channels < 1 || channels > 8) {
        std::fprintf(stderr, "lagwell-demo-signal: up to an hour, 8000 to 384000 Hz, 1 to 8 channels\n");
        return 2;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "lagwell-demo-signal: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const double pi = std::acos(-1.0);
    const long frames = std::lround(seconds * rate);
    const long period = rate / 2;
    const long burst = rate / 20;
    std::vector<float> frame(static_cast<size_t>(channels));
    for (long n = 0; n < frames; ++n) {
        const long t = n % period;
        // Which channel sounds in this half second; `channels`: all of them.
        const long turn = (n / period) % (channels + 1);
        float s = 0;
        if (t == 0)
            s = 0.9f;
        else if (t < burst)
            s = static_cast<float>(0.5 * (0.5 - 0.5 * std::cos(2 * pi * t / burst)) *
                                   std::sin(2 * pi * 1000.0 * t / rate));
        for (int c = 0; c < channels; ++c) frame[size_t(c)] = turn == channels || turn == c ? s : 0.0f;
        if (sf_writef_float(file, frame.data(), 1) != 1) {
            std::fprintf(stderr, "lagwell-demo-signal: %s: %s\n", argv[1], sf_strerror(file));
            sf_close(file);
            return 1;
        }
    }
    sf_close(file);
    return 0;
}
