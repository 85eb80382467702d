// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-plot: draws a source file and what the plug-in rendered from it as
// a PNG: one strip per channel, the source's channels in grey above the
// rendered ones in blue, each column the sample range it covers.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SoundFile.h"

using lagwell::render::SoundFile;

namespace {

constexpr int kWidth = 1200;
constexpr int kStrip = 100;
constexpr int kGap = 6;

struct CColour {
    unsigned char r, g, b;
};

std::vector<std::vector<float>> channelsOf(SoundFile& file, int64_t frames) {
    std::vector<float> interleaved(size_t(frames) * size_t(file.channels()));
    frames = file.read(interleaved.data(), frames);
    std::vector<std::vector<float>> out(size_t(file.channels()), std::vector<float>(size_t(frames)));
    for (size_t n = 0; n < size_t(frames); ++n)
        for (size_t c = 0; c < out.size(); ++c) out[c][n] = interleaved[n * out.size() + c];
    return out;
}

void drawStrip(std::vector<unsigned char>& image, int top, const std::vector<float>& samples, size_t frames,
               CColour colour) {
    auto put = [&](int x, int y, CColour c) {
        unsigned char* p = &image[(size_t(y) * kWidth + size_t(x)) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    };
    const int middle = top + kStrip / 2;
    for (int x = 0; x < kWidth; ++x) put(x, middle, {200, 200, 200});
    for (int x = 0; x < kWidth && frames > 0; ++x) {
        const size_t from = size_t(x) * frames / kWidth, to = std::max(from + 1, size_t(x + 1) * frames / kWidth);
        float lo = 0, hi = 0;
        for (size_t n = from; n < to && n < samples.size(); ++n) {
            lo = std::min(lo, samples[n]);
            hi = std::max(hi, samples[n]);
        }
        const int y0 = middle - int(std::lround(std::clamp(hi, -1.0f, 1.0f) * (kStrip / 2 - 2)));
        const int y1 = middle - int(std::lround(std::clamp(lo, -1.0f, 1.0f) * (kStrip / 2 - 2)));
        for (int y = y0; y <= y1; ++y) put(x, y, colour);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: lagwell-plot SOURCE RENDERED OUTPUT.png [SECONDS=1.5]\n");
        return 2;
    }
    const double seconds = argc > 4 ? std::atof(argv[4]) : 1.5;
    try {
        SoundFile source = SoundFile::openRead(argv[1]);
        SoundFile rendered = SoundFile::openRead(argv[2]);
        const int64_t frames =
            std::min<int64_t>(source.frames(), int64_t(std::max(0.01, seconds) * source.sampleRate()));
        std::vector<std::vector<float>> strips = channelsOf(source, frames);
        const size_t inputs = strips.size();
        for (auto& c : channelsOf(rendered, frames)) strips.push_back(std::move(c));
        const int height = int(strips.size()) * (kStrip + kGap) + kGap;
        std::vector<unsigned char> image(size_t(kWidth) * size_t(height) * 3, 255);
        for (size_t i = 0; i < strips.size(); ++i)
            drawStrip(image, kGap + int(i) * (kStrip + kGap), strips[i], size_t(frames),
                      i < inputs ? CColour{90, 90, 90} : CColour{30, 90, 200});

        FILE* out = std::fopen(argv[3], "wb");
        if (!out) {
            std::fprintf(stderr, "lagwell-plot: cannot write %s\n", argv[3]);
            return 1;
        }
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        if (!png || !info || setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            std::fclose(out);
            std::fprintf(stderr, "lagwell-plot: cannot encode %s\n", argv[3]);
            return 1;
        }
        png_init_io(png, out);
        png_set_IHDR(png, info, kWidth, png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) png_write_row(png, &image[size_t(y) * kWidth * 3]);
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        if (std::fclose(out) != 0) {
            std::fprintf(stderr, "lagwell-plot: cannot write %s\n", argv[3]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lagwell-plot: %s\n", e.what());
        return 1;
    }
    return 0;
}
