// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/SharedAttribute.h"

#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "SharedAttribute"

namespace zel {

namespace {
constexpr uint32_t kValueTag = makeTag("dstr");
}  // namespace

CAppData* CSharedAttribute::localStore() {
    // Below an instance's editor the instance keeps the setting; elsewhere
    // the plug-in's own store does.
    for (CObject* o = this; o; o = o->parent())
        if (auto* owner = dynamic_cast<IAppDataOwner*>(o)) return &owner->instanceData();
    return &CAppDataLocal::instance();
}

CErrorPtr CSharedAttribute::init() {
    m_listener.reset();
    m_store = nullptr;
    m_attribute = getAttr("attribute");
    if (m_attribute.empty())
        return ZEL_ERROR("@zelstr_CSharedAttribute_init_NoAttribute No attached attribute name specified.");
    m_dataName = getAttr("data-name");
    if (m_dataName.empty()) m_dataName = name();
    m_store = getBool("is-global", false) ? static_cast<CAppData*>(&CAppDataGlobal::instance()) : localStore();
    CString value;
    // Nothing stored yet, or nothing readable: the declared default.
    if (loadValue(value)) value = getAttr("def-value");
    m_applying = true;
    CErrorPtr err = setAttr(m_attribute, value);
    m_applying = false;
    if (err) return ZEL_PASS(err);
    m_listener =
        std::make_unique<CAppDataListener<CSharedAttribute>>(*this, &CSharedAttribute::onStoreChanged, *m_store);
    ZEL_TRY(CObject::init());
    return nullptr;
}

void CSharedAttribute::attrChanged(const CString& name) {
    CObject::attrChanged(name);
    if (!m_listener || m_applying || name != m_attribute) return;
    if (CErrorPtr err = storeValue(getAttr(name))) CSystem::showError(*err);
}

bool CSharedAttribute::storedValue(CAppData& store, const CString& item, CString& out) {
    std::vector<uint8_t> bytes;
    if (store.readItem(item, bytes, kValueTag)) return false;
    CMemoryReader reader(std::move(bytes));
    return !reader.readString(out);
}

CErrorPtr CSharedAttribute::loadValue(CString& out) {
    std::vector<uint8_t> bytes;
    ZEL_TRY(m_store->readItem(m_dataName, bytes, kValueTag));
    CMemoryReader reader(std::move(bytes));
    ZEL_TRY(reader.readString(out));
    return nullptr;
}

CErrorPtr CSharedAttribute::storeValue(const CString& value) {
    CMemoryWriter payload;
    ZEL_TRY(payload.writeString(value));
    m_writing = true;
    CErrorPtr err = m_store->writeItem(m_dataName, payload.bytes().data(), payload.bytes().size(), kValueTag);
    m_writing = false;
    if (err) return ZEL_PASS(err);
    return nullptr;
}

void CSharedAttribute::onStoreChanged(CAppData&, const CString& item) {
    if (m_writing || item != m_dataName) return;
    CString value;
    // An unreadable item keeps the value this object has; an instance's
    // setting that a restored state does not hold is back to its default.
    if (loadValue(value)) {
        if (!dynamic_cast<CAppDataInstance*>(m_store)) return;
        value = getAttr("def-value");
    }
    if (value == getAttr(m_attribute)) return;
    m_applying = true;
    CErrorPtr err = setAttr(m_attribute, value);
    m_applying = false;
    if (!err && hasEventHandler("update")) err = runEvent("update");
    if (err) CSystem::showError(*err);
}

}  // namespace zel
