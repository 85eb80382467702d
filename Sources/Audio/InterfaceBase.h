// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Audio/ParamUndo.h"
#include "Core/Object.h"

namespace zel {

// `audio:interface-base`: the audio side of an instance's editor bridge. It
// owns the instance's undo history, which the registries record into and
// the editors move through.
class CAudioInterfaceBase final : public CObject {
public:
    CErrorPtr init() override;
    CAudioParamUndo& undo() { return *m_undo; }

private:
    std::unique_ptr<CAudioParamUndo> m_undo;
};

}  // namespace zel
