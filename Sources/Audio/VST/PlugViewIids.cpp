// SPDX-License-Identifier: GPL-3.0-or-later
// The SDK declares the plug-in view interfaces but leaves their IDs to the
// module, which must define them exactly once: the plug-in's, and our host
// library's for programs that do not hold the plug-in's.
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
