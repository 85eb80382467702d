// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/WindowPlacement.h"

#include <algorithm>

#include "Core/AppData.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "WindowPlacement"

namespace zel {

namespace {

constexpr uint32_t kPositionTag = makeTag("adat");

struct CAlignmentName {
    const char* name;
    EWindowAlignment alignment;
};

const CAlignmentName kAlignments[] = {{"left", EWindowAlignment::Left},
                                      {"right", EWindowAlignment::Right},
                                      {"center", EWindowAlignment::Center},
                                      {"bottom", EWindowAlignment::Bottom},
                                      {"bottom-center", EWindowAlignment::BottomCenter},
                                      {"bottom-local-center", EWindowAlignment::BottomLocalCenter},
                                      {"center-overlay", EWindowAlignment::CenterOverlay},
                                      {"cursor", EWindowAlignment::Cursor}};

int centreOn(int from, int to, int length) { return from + (to - from - length) / 2; }

// Moves [start, start + length) into [from, to); a length larger than the
// room keeps its start at `from`.
int keepWithin(int start, int length, int from, int to) { return std::max(from, std::min(start, to - length)); }

CAppData& storeOf(bool global) {
    return global ? static_cast<CAppData&>(CAppDataGlobal::instance()) : CAppDataLocal::instance();
}

}  // namespace

CErrorPtr parseWindowAlignment(const CString& text, EWindowAlignment& out) {
    if (text.empty()) {
        out = EWindowAlignment::Center;
        return nullptr;
    }
    for (const CAlignmentName& a : kAlignments)
        if (text == CString(a.name)) {
            out = a.alignment;
            return nullptr;
        }
    return ZEL_ERROR("@zelstr_CWindowRenderer_init_Alignment Invalid window alignment '%1'", text);
}

CRect placePopup(EWindowAlignment alignment, const CPopupAnchor& anchor, int width, int height, bool flip) {
    const CRect& o = anchor.opener;
    const CRect& area = anchor.workArea;
    int x = 0, y = 0;
    switch (alignment) {
        case EWindowAlignment::Left:
            x = o.left - width;
            y = o.top;
            if (flip && x < area.left && o.right + width <= area.right) x = o.right;
            break;
        case EWindowAlignment::Right:
            x = o.right;
            y = o.top;
            if (flip && x + width > area.right && o.left - width >= area.left) x = o.left - width;
            break;
        case EWindowAlignment::Center:
            x = centreOn(anchor.openerWindow.left, anchor.openerWindow.right, width);
            y = centreOn(anchor.openerWindow.top, anchor.openerWindow.bottom, height);
            break;
        case EWindowAlignment::CenterOverlay:
            x = centreOn(o.left, o.right, width);
            y = centreOn(o.top, o.bottom, height);
            break;
        case EWindowAlignment::Bottom:
        case EWindowAlignment::BottomCenter:
        case EWindowAlignment::BottomLocalCenter:
            x = alignment == EWindowAlignment::Bottom ? o.left
                : alignment == EWindowAlignment::BottomCenter
                    ? centreOn(o.left, o.right, width)
                    : centreOn(anchor.openerWindow.left, anchor.openerWindow.right, width);
            y = o.bottom;
            // A drop-down that has no room below opens upwards.
            if (flip && y + height > area.bottom && o.top - height >= area.top) y = o.top - height;
            break;
        case EWindowAlignment::Cursor:
            x = anchor.cursorX;
            y = anchor.cursorY;
            if (flip && x + width > area.right && x - width >= area.left) x -= width;
            if (flip && y + height > area.bottom && y - height >= area.top) y -= height;
            break;
    }
    if (!area.isEmpty()) {
        x = keepWithin(x, width, area.left, area.right);
        y = keepWithin(y, height, area.top, area.bottom);
    }
    return CRect{x, y, x + width, y + height};
}

bool CWindowPositionStore::load(const CString& id, bool global, int& x, int& y) {
    std::vector<uint8_t> bytes;
    if (storeOf(global).readItem(itemName(id), bytes, kPositionTag)) return false;
    CMemoryReader reader(std::move(bytes));
    int32_t px = 0, py = 0;
    if (reader.readInt32(px) || reader.readInt32(py)) return false;
    x = px;
    y = py;
    return true;
}

CErrorPtr CWindowPositionStore::save(const CString& id, bool global, int x, int y) {
    CMemoryWriter payload;
    ZEL_TRY(payload.writeInt32(x));
    ZEL_TRY(payload.writeInt32(y));
    ZEL_TRY(storeOf(global).writeItem(itemName(id), payload.bytes().data(), payload.bytes().size(), kPositionTag));
    return nullptr;
}

}  // namespace zel
