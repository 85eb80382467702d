// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/AttrDoubler.h"

#define ZEL_SOURCE_TAG "AttrDoubler"

namespace zel {

void CAttrDoubler::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onAttr("value", &CAttrDoubler::onValueChanged);
}

CErrorPtr CAttrDoubler::init() {
    ZEL_TRY(CObject::init());
    m_initialised = true;
    ZEL_TRY(copyToTargets());
    return nullptr;
}

CErrorPtr CAttrDoubler::onValueChanged() {
    // Before init the targets may not exist yet.
    if (!m_initialised) return nullptr;
    ZEL_TRY(copyToTargets());
    return nullptr;
}

CErrorPtr CAttrDoubler::copyToTargets() {
    const CString targets = getAttr("target");
    std::vector<CObject*> found;
    size_t start = 0;
    while (start <= targets.length()) {
        size_t space = targets.find(u' ', start);
        if (space == CString::npos) space = targets.length();
        const CString path = targets.substr(start, space - start);
        if (!path.empty()) {
            CObject* obj = findObject(path);
            if (!obj) return ZEL_ERROR("@zelstr_CAttrDoubler_init_TargetNotFound Target object '%1' not found.", path);
            found.push_back(obj);
        }
        start = space + 1;
    }
    if (found.empty()) return ZEL_ERROR("@zelstr_CAttrDoubler_init_NoTargets No target objects specified.");
    const CString attr = getAttr("attr");
    const CString value = getAttr("value");
    for (CObject* obj : found) ZEL_TRY(obj->setAttr(attr, value));
    return nullptr;
}

}  // namespace zel
