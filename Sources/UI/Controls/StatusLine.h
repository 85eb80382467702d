// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/TextView.h"

namespace zel {

class CWindowSharedData;

// `ui:status-line`: the hint of the view under the pointer, or of its
// nearest ancestor that has one, while `is-show-hints` is on; empty
// otherwise. It follows the hovered view of the whole editor, and a hint that
// changes while its view is hovered.
class CStatusLine : public CTextView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // The hint for `view`: its own or its nearest ancestor's.
    static CString hintOf(const CView* view);

private:
    CErrorPtr onHoverChanged(CObject* params, CObject* sender);
    CErrorPtr onShowHints();
    void update();

    CWindowSharedData* m_shared = nullptr;
};

}  // namespace zel
