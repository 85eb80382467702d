// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Audio/Engine/AudioProcess.h"
#include "Audio/Modules/NoiseFloor.h"

namespace zel {

// Chooses for one channel between the processed signal (port 0), the dry
// signal (port 1) and silence, from the bypass switch and the group solos.
class CModBypassModule final : public CAudioModule {
public:
    enum ESlot : size_t { kEnable = 0, kGroupSolo = 1, kSlotCount = 2 };

    CModBypassModule() : CAudioModule(kSlotCount) {}

    void reset() override { m_noise.reset(); }
    void update() override;

    // Whether port 1 carries this module's channel. The process learns that
    // only when it hands over the block, after update(), so it tells the
    // module before every block; a change re-decides from the values that
    // the last update() took over, never from newer slot values (during a
    // cross-fade the old modules must keep theirs).
    void setDryInput(bool present);

    bool passes() const { return m_pass; }
    bool silent() const { return m_silence; }
    bool dryPresent() const { return m_dryPresent; }

    void writeSilence(double* out, size_t n) { m_noise.write(out, n); }

private:
    void decide();

    bool m_enabled = false;       // bypass switch on
    bool m_soloSilenced = false;  // another group is soloed, this one is not
    bool m_dryPresent = false;
    bool m_pass = true;
    bool m_silence = false;
    CNoiseFloor m_noise;
};

// `audio:modBypass`: the bypass and group-solo stage. Passing and the dry
// signal share their input's buffer; only silence writes a new one.
class CModBypass final : public CAudioModuleProcess {
protected:
    std::unique_ptr<CAudioModule> createModule() const override;
    void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux, CAudioChannel& out,
                        size_t n) override;
    bool passesChannelOn(const CAudioModule& module) const override;
};

}  // namespace zel
