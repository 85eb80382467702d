// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/DynListWhatsNew.h"

#include "Core/Application.h"

#define ZEL_SOURCE_TAG "CDynListWhatsNew"

namespace zel {

void CDynListWhatsNew::setupClass(CClassInfo& info) { CTextView::setupClass(info); }

std::vector<CTextView::CListEntry> CDynListWhatsNew::entriesOf(const CObject& notes) {
    std::vector<CListEntry> out;
    for (const auto& release : notes.children()) {
        if (release->name() != CString("whatsnew")) continue;
        CString text = "[B]Version " + release->getAttr("version") + "[/B]";
        if (!release->getAttr("date").empty()) text = text + "   [C1]" + release->getAttr("date") + "[/C1]";
        for (const auto& line : release->children()) {
            const CObject* content = line->findChild("content");
            const CString value = content ? content->getAttr("value") : line->getAttr("content");
            if (!value.empty()) text = text + "[BR]- " + value;
        }
        out.push_back(CListEntry{text, true, false});
    }
    return out;
}

CErrorPtr CDynListWhatsNew::init() {
    const CString path = getAttr("source");
    const CObject* notes = path.empty() ? CApplication::sharedObject() : findObject(path);
    if (notes) setEntries(entriesOf(*notes));
    ZEL_TRY(CTextView::init());
    return nullptr;
}

}  // namespace zel
