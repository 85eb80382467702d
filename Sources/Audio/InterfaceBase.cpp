// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/InterfaceBase.h"

#include "Audio/Param.h"

#define ZEL_SOURCE_TAG "InterfaceBase"

namespace zel {

CErrorPtr CAudioInterfaceBase::init() {
    ZEL_TRY(CObject::init());
    CAudioParamCollector* collector = nullptr;
    ZEL_TRY(findObjectByAttr("param-collector", collector));
    long long maxCount = 32;
    readInt("undo-count-max", maxCount);
    m_undo = std::make_unique<CAudioParamUndo>(*collector, maxCount);
    return nullptr;
}

}  // namespace zel
