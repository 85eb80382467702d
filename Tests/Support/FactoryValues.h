// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zel::test {

// The right channel's gain of the factory preset "Stereo Delay" (-3.32 dB),
// as its bank stores it; the left channel is delayed by 10 ms.
constexpr double kStereoDelayRightGain = 0.6822985829535497;

}  // namespace zel::test
