// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioGraph.h"
#include "Audio/Modules/ModBypass.h"
#include "Audio/Modules/ModDelay.h"
#include "Audio/Modules/ModGain.h"
#include "Audio/Modules/ModMSCoder.h"
#include "Audio/Modules/ModMeter.h"
#include "Audio/Modules/ModNode.h"
#include "Audio/Modules/ModRouter.h"

namespace zel {

namespace {

template <class TDef, class TProcess>
std::unique_ptr<CAudioProcessBase> make(const CAudioProcessDefBase& def) {
    return dynamic_cast<const TDef*>(&def) ? std::make_unique<TProcess>() : nullptr;
}

}  // namespace

std::unique_ptr<CAudioProcessBase> createAudioProcess(const CAudioProcessDefBase& def, bool stacked) {
    if (stacked) return std::make_unique<CAudioProcessStack>();
    using CFactory = std::unique_ptr<CAudioProcessBase> (*)(const CAudioProcessDefBase&);
    static const CFactory kFactories[] = {
        &make<CAudioProcessDef, CAudioProcess>, &make<CModRouterDef, CModRouter>, &make<CModNodeDef, CModNode>,
        &make<CModMSCoderDef, CModMSCoder>,     &make<CModDelayDef, CModDelay>,   &make<CModGainDef, CModGain>,
        &make<CModBypassDef, CModBypass>,       &make<CModMeterDef, CModMeter>,   &make<CModOutputDef, CModOutput>,
    };
    for (CFactory factory : kFactories)
        if (auto process = factory(def)) return process;
    return nullptr;
}

}  // namespace zel
