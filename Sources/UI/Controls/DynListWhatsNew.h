// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/Controls/TextView.h"

namespace zel {

// `ui:dynlist-whats-new`: the release notes, one entry per "whatsnew"
// object of the shared document (or of the object at `source`), newest
// first as the document lists them: the version and its date as a heading,
// then each "p" line with its markup.
class CDynListWhatsNew : public CTextView {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // The entries of the "whatsnew" children of `notes`.
    static std::vector<CListEntry> entriesOf(const CObject& notes);
};

}  // namespace zel
