// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ColorSwatch.h"

#include <string>

#include "Core/Debug.h"
#include "UI/View.h"

#define ZEL_SOURCE_TAG "ColorSwatch"

namespace zel {

bool CColorSwatch::role(long long index, CString& out) const {
    for (const auto& child : children())
        if (child->getBool("is-color", false) && child->getInt("index", -1) == index) {
            out = child->getAttr("color");
            return true;
        }
    debugLog("WRONG COLOR INDEX %i", int(index));
    return false;
}

std::vector<CString> colourSlots(const CString& list) {
    std::vector<CString> roles;
    const std::string text = list.utf8();
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find_first_of("; ", at), text.size());
        if (end > at) roles.push_back(CString::fromUtf8(text.substr(at, end - at)));
        at = end + 1;
    }
    return roles;
}

CErrorPtr CViewColorSlot::init() {
    ZEL_TRY(CObject::init());
    auto* view = dynamic_cast<CView*>(parent());
    if (!view) return ZEL_ERROR("@zelstr_CViewColorSlot_init_Parent Parent object is not a view.");
    std::vector<CString> slots = colourSlots(view->getAttr("color-slots"));
    const long long index = getInt("slot-index", -1);
    if (index < 0 || size_t(index) >= slots.size()) {
        debugLog("WRONG SLOT INDEX %i", int(index));
        return nullptr;
    }
    slots[size_t(index)] = getAttr("color");
    std::string joined;
    for (const CString& role : slots) joined += (joined.empty() ? "" : ";") + role.utf8();
    ZEL_TRY(view->setAttr("color-slots", CString::fromUtf8(joined)));
    return nullptr;
}

}  // namespace zel
