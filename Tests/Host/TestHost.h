// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the host tests share: where the plug-in bundle of this build and the
// programs are, scratch files, test signals, audio files and runs of the
// renderer.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Module.h"
#include "Plugin.h"
#include "Support/RunProgram.h"

namespace lagwell::host::test {

// The plug-in bundle of this build.
const char* bundlePath();

// A fresh file name in the tests' scratch folder.
std::string scratchPath(const std::string& name);

template <class Sample>
using Channels = std::vector<std::vector<Sample>>;

// Reproducible white noise in [-0.5, 0.5).
std::vector<float> noise(size_t frames, uint32_t seed);

// Runs the input through the started plug-in in blocks and returns the
// outputs.
template <class Sample>
Channels<Sample> processAll(Plugin& plugin, const Channels<Sample>& input, int outputs, int block);

void writeWav(const std::string& path, const Channels<float>& channels, int sampleRate);
struct Audio {
    int sampleRate = 0;
    Channels<float> channels;
};
Audio readAudio(const std::string& path);

using zel::test::runProgram;
using zel::test::RunResult;

}  // namespace lagwell::host::test
