// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ButtonAB.h"

#include <cmath>

#define ZEL_SOURCE_TAG "CButtonAB"

namespace zel {

void CButtonAB::setupClass(CClassInfo& info) {
    CButton::setupClass(info);
    info.onEvent("ab-copy", &CButtonAB::onCopy);
}

CButtonAB::~CButtonAB() {
    if (m_client && m_registry) (void)m_client->unlistenRegistry(*m_registry);
}

CErrorPtr CButtonAB::init() {
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "ui.interface-client"));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    const CString registry = hasAttr("param-registry") ? getAttr("param-registry") : CString("param-registry");
    ZEL_TRY(m_client->listenRegistry(registry, m_registry));
    ZEL_TRY(CButton::init());
    const CString copy = hasAttr("copy-button-path") ? getAttr("copy-button-path") : CString("^ab-copy");
    if (CObject* companion = findObject(copy)) ZEL_TRY(listenObject(companion, "button-clicked", "ab-copy"));
    return nullptr;
}

CErrorPtr CButtonAB::clicked() {
    ZEL_TRY(m_client->exchangeShadowPreset(*m_registry));
    return nullptr;
}

CErrorPtr CButtonAB::valueChanged(double value) {
    ZEL_TRY(setAttr("image-set-index", toText(std::lround(value) != 0 ? 1LL : 0LL)));
    ZEL_TRY(CButton::valueChanged(value));
    return nullptr;
}

CErrorPtr CButtonAB::onCopy(CObject*, CObject*) {
    ZEL_TRY(m_client->updateShadowPreset(*m_registry));
    return nullptr;
}

}  // namespace zel
