// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"

namespace zel {

// `ui:button-ab`: the A/B switch. It shows the slot that is live (its
// ui-param "ui-param-activity" follows the A/B state: the picture's image
// is the slot's letter, lit for B); a click swaps the live state with the
// other slot's. A click on its copy companion (`copy-button-path`, "^ab-copy")
// copies the live state into the other slot. Both go to the registry
// `param-registry` ("param-registry") through `interface-client`.
class CButtonAB : public CButton {
public:
    static void setupClass(CClassInfo& info);
    ~CButtonAB() override;
    CErrorPtr init() override;

protected:
    CErrorPtr clicked() override;
    CErrorPtr valueChanged(double value) override;

private:
    CErrorPtr onCopy(CObject* params, CObject* sender);

    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClient::CRegistry* m_registry = nullptr;
};

}  // namespace zel
