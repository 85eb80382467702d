// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Core/AppData.h"
#include "Core/Object.h"

namespace zel {

// `core:shared-attribute`: carries the attribute named by `attribute` and
// keeps it in an application-data item (`data-name`, by default the object's
// name) of the global or the local store (`is-global`), so that every
// instance shares it. A local change is stored; the other objects of the
// same item and store then take the value and run their "update" event, if
// their class has one. Local settings below an `IAppDataOwner` (an editor
// of an instance) belong to that instance.
class CSharedAttribute : public CObject {
public:
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;

    const CString& dataName() const { return m_dataName; }
    // The value `store` holds for the setting `item`; false when it holds
    // none (the setting has its default).
    static bool storedValue(CAppData& store, const CString& item, CString& out);

private:
    CAppData* localStore();
    CErrorPtr loadValue(CString& out);
    CErrorPtr storeValue(const CString& value);
    void onStoreChanged(CAppData& store, const CString& item);

    CString m_attribute;
    CString m_dataName;
    CAppData* m_store = nullptr;
    std::unique_ptr<CAppDataListener<CSharedAttribute>> m_listener;
    // Set while the carried attribute takes a value from the store, which
    // must not be stored again, and while this object writes, whose own
    // notification needs no reload.
    bool m_applying = false;
    bool m_writing = false;
};

}  // namespace zel
