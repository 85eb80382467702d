// SPDX-License-Identifier: GPL-3.0-or-later
// The identifiers of the editor interfaces, apart from the others so that a
// program holding the plug-in's own definitions links only one of each.
#include "pluginterfaces/gui/iplugview.h"

namespace Steinberg {

DEF_CLASS_IID(IPlugView)
DEF_CLASS_IID(IPlugFrame)

namespace Linux {
DEF_CLASS_IID(IRunLoop)
DEF_CLASS_IID(IEventHandler)
DEF_CLASS_IID(ITimerHandler)
}  // namespace Linux

}  // namespace Steinberg
