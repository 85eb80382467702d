// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/PresetStore.h"

#include "Core/MemoryStream.h"
#include "Core/Object.h"

#define ZEL_SOURCE_TAG "CPresetStore"

namespace zel {

namespace {

// A list of more banks than this is damaged: each bank record is at least
// eight bytes, and an item is at most CAppData::kMaxItemBytes.
constexpr uint32_t kMaxBanks = uint32_t(CAppData::kMaxItemBytes / 8);

}  // namespace

CPresetStore::CPresetStore(CObject& context, CString name, bool isGlobal)
    : m_name(std::move(name)), m_isGlobal(isGlobal) {
    CObject* declared = context.findObject("plugin." + m_name);
    if (declared && !declared->getAttr("file").empty())
        m_item = declared->getAttr("file");
    else
        m_item = "../" + m_name;
}

CAppData& CPresetStore::data() const {
    return m_isGlobal ? static_cast<CAppData&>(CAppDataGlobal::instance())
                      : static_cast<CAppData&>(CAppDataLocal::instance());
}

bool CPresetStore::isItem(const CString& writtenItem) const {
    const size_t bar = m_item.find(u'|');
    return writtenItem == (bar == CString::npos ? m_item : m_item.substr(0, bar));
}

CErrorPtr CPresetStore::readBanks(CInputStream& in, std::vector<CAudioPresetBank>& out) {
    uint32_t count = 0;
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxBanks) return ZEL_ERROR("@zelstr_CPresetStore_readBanks_Count Invalid bank count %1.", count);
    std::vector<CAudioPresetBank> banks(count);
    for (CAudioPresetBank& bank : banks) ZEL_TRY(bank.load(in));
    out.swap(banks);
    return nullptr;
}

CErrorPtr CPresetStore::writeBanks(COutputStream& out, const std::vector<CAudioPresetBank>& banks) {
    ZEL_TRY(out.writeUInt32(uint32_t(banks.size())));
    for (const CAudioPresetBank& bank : banks) ZEL_TRY(bank.save(out));
    return nullptr;
}

std::vector<CAudioPresetBank> CPresetStore::load() const {
    std::vector<uint8_t> payload;
    std::vector<CAudioPresetBank> banks;
    if (data().readItem(m_item, payload, CAudioPresetBank::kListTag)) return banks;
    CMemoryReader in(std::move(payload));
    if (CErrorPtr err = readBanks(in, banks)) {
        data().setItemAside(m_item, *err);
        banks.clear();
    }
    return banks;
}

CErrorPtr CPresetStore::save(const std::vector<CAudioPresetBank>& banks) const {
    CMemoryWriter record;
    ZEL_TRY(writeBanks(record, banks));
    ZEL_TRY(data().writeItem(m_item, record.bytes().data(), record.bytes().size(), CAudioPresetBank::kListTag));
    return nullptr;
}

}  // namespace zel
