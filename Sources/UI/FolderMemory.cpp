// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/FolderMemory.h"

#include "Core/AppData.h"
#include "Core/MemoryStream.h"

namespace zel {

namespace {

// Shared attributes keep their texts the same way.
constexpr uint32_t kFolderTag = makeTag("dstr");

CAppData& store(bool isGlobal) {
    return isGlobal ? static_cast<CAppData&>(CAppDataGlobal::instance())
                    : static_cast<CAppData&>(CAppDataLocal::instance());
}

}  // namespace

CFolderMemory::CFolderMemory(CString key) : m_isGlobal(key.startsWith("/")) {
    m_item = m_isGlobal ? key.substr(1) : "../" + key;
}

CString CFolderMemory::folder() const {
    std::vector<uint8_t> payload;
    if (store(m_isGlobal).readItem(m_item, payload, kFolderTag)) return CString();
    CMemoryReader in(std::move(payload));
    CString folder;
    if (in.readString(folder)) return CString();
    return folder;
}

void CFolderMemory::rememberFileIn(const CString& filePath) const {
    const size_t slash = filePath.rfind(u'/');
    const CString folder = slash == CString::npos ? CString() : filePath.substr(0, slash == 0 ? 1 : slash);
    CMemoryWriter out;
    if (out.writeString(folder)) return;
    (void)store(m_isGlobal).writeItem(m_item, out.bytes().data(), out.bytes().size(), kFolderTag);
}

}  // namespace zel
