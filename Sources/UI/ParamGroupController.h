// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "Core/Object.h"

namespace zel {

class CParamBridge;
class CParamGroupSelector;
class CParamInterfaceClient;

// `ui:param-group-controller`: the per-group parameters of its `item`
// children (each a `bridge`) as a whole. "copy" (`index`: the target
// group) copies every item of the group chosen in `group-selector` to
// another group; "reset" sets them back to their defaults. Either is one
// undo step, through `interface-client`.
class CParamGroupController : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    CParamGroupSelector& selector() const { return *m_selector; }
    // The groups a copy may go to, with their menu titles ("Group" and the name).
    void targets(std::vector<int>& groups, std::vector<CString>& titles) const;
    CErrorPtr copyTo(int group);
    CErrorPtr reset();

private:
    CErrorPtr onCopy(CObject* params, CObject* sender);
    CErrorPtr onReset(CObject* params, CObject* sender);
    // Writes `value(element)` to every float item's elements of `group` as one step.
    CErrorPtr writeAll(const CString& step, int group, bool fromDefaults);

    CParamGroupSelector* m_selector = nullptr;
    CParamInterfaceClient* m_client = nullptr;
    std::vector<CParamBridge*> m_items;
};

}  // namespace zel
