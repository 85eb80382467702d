// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-view showing the text samples of the tests, on a virtual X server
// of the test's own.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>

#include "Support/Xvfb.h"
#include "TestHost.h"

namespace {

using lagwell::host::test::runProgram;
using lagwell::host::test::RunResult;

const char* const kSamples = LAGWELL_SOURCE_DIR "/Tests/Documents/TextSamples.xml";

class ViewProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
    }
    lagwell::test::CXvfb x;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool read(const std::string& path) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        width = int(image.width);
        height = int(image.height);
        return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    }
    // Pixels of rows y0..y1 within `tolerance` of the tone `rgb` in every channel.
    int count(uint32_t tone, int y0, int y1, int tolerance) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
                bool near = true;
                for (int i = 0; i < 3; ++i)
                    near = near && std::abs(p[i] - int(tone >> (16 - 8 * i) & 0xff)) <= tolerance;
                n += near;
            }
        return n;
    }
};

TEST_F(ViewProgram, TheTextSamplesShowTheirMarkupColoursRuleAndSelection) {
    const std::string shot = lagwell::host::test::scratchPath("text-samples.png");
    const RunResult r = runProgram(LAGWELL_VIEW, {"--document", kSamples, "--template", "test:text-markup",
                                                  "--screenshot", shot, "--after-frames", "3"});
    ASSERT_EQ(r.status, 0) << r.output;
    Picture p;
    ASSERT_TRUE(p.read(shot));
    ASSERT_EQ(p.width, 360);
    ASSERT_EQ(p.height, 372);
    // The first lines hold the two markup colours; full tones are the middle of glyph strokes.
    EXPECT_GT(p.count(0xc00000, 0, 40, 40), 20) << "[C2]";
    EXPECT_GT(p.count(0x1f4f9e, 0, 40, 40), 20) << "[C1]";
    EXPECT_GT(p.count(0x000000, 0, 20, 60), 100) << "the regular and bold words";
    // The rule under the forced break: a row mostly of grey, neither panel nor text.
    bool rule = false;
    for (int y = 30; y < 70 && !rule; ++y) rule = p.count(0xd9d9d9, y, y + 1, 6) < p.width / 4;
    EXPECT_TRUE(rule) << "[HR]";
    // The selected list entry, the second of four at the bottom.
    EXPECT_GT(p.count(0x4d6f99, 280, p.height, 4), 300 * 12);
    EXPECT_GT(p.count(0xffffff, 280, p.height, 30), 20) << "its text";
}

TEST_F(ViewProgram, WhatCannotBeOpenedIsSaid) {
    RunResult r = runProgram(LAGWELL_VIEW, {"--document", kSamples, "--template", "test:nothing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("test:nothing"), std::string::npos) << r.output;
    r = runProgram(LAGWELL_VIEW, {"--document", "/nonexistent/doc.xml", "--template", "test:text-markup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot compile"), std::string::npos) << r.output;
    EXPECT_EQ(runProgram(LAGWELL_VIEW, {"--document", kSamples}).status, 64) << "no template";
}

}  // namespace
