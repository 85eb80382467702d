// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Audio/Engine/AudioProcess.h"
#include "Audio/Modules/NoiseFloor.h"

namespace zel {

// Output gain, mute and polarity of one channel.
class CModGainModule final : public CAudioModule {
public:
    enum ESlot : size_t { kGain = 0, kMute = 1, kPhaseInvert = 2, kSlotCount = 3 };

    CModGainModule() : CAudioModule(kSlotCount) {}

    void reset() override { m_noise.reset(); }
    void update() override;

    double factor() const { return m_factor; }
    bool muted() const { return m_muted; }
    // False when the factor is 1 within an ulp: the channel passes untouched.
    bool active() const { return m_active; }

    // out = in × factor, or the noise floor when muted (`in` is not read).
    void process(const double* in, double* out, size_t n);

private:
    double m_factor = 1.0;
    bool m_muted = false;
    bool m_active = false;
    CNoiseFloor m_noise;
};

// `audio:modGain`: one gain module per channel; a neutral gain shares the
// input buffer.
class CModGain final : public CAudioModuleProcess {
protected:
    std::unique_ptr<CAudioModule> createModule() const override;
    void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux, CAudioChannel& out,
                        size_t n) override;
    bool passesChannelOn(const CAudioModule& module) const override;
};

}  // namespace zel
