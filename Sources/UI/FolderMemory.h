// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/String.h"

namespace zel {

// The folder a file dialog last used for one kind of file, kept in
// application data under a key: "/name" is the global item "name", shared
// by every plug-in of the user (and by a `core:shared-attribute` of that
// name); "name" is this plug-in's own item "../name".
class CFolderMemory {
public:
    explicit CFolderMemory(CString key);

    // Empty when no folder was kept, or the item cannot be read.
    CString folder() const;
    // Keeps the folder of `filePath`. Only a convenience: a failure leaves
    // the previous folder.
    void rememberFileIn(const CString& filePath) const;

private:
    bool m_isGlobal;
    CString m_item;
};

}  // namespace zel
