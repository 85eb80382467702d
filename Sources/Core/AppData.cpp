// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/AppData.h"

#include "Core/File.h"
#include "Core/ResourceReader.h"
#include "Platform/Folders.h"

#define ZEL_SOURCE_TAG "AppData"

namespace zel {

namespace {

// Item names start with "../" to reach the folder above the store's. Both
// stores therefore sit one level below a folder of their own:
//   global: <data home>/Zelmora/Global/Data, its "../x" in .../Zelmora/Global
//   local:  <data home>/Zelmora/Lagwell/Data, its "../x" in .../Zelmora/Lagwell
// so that no item lands in the data home itself or in the vendor folder
// where other products keep theirs.
const char* const kGlobalStoreFolder = "/Global/Data";
const char* const kLocalStoreFolder = "/Data";

struct CItemName {
    std::string file;
    CString defaultResource;
};

CItemName splitItem(const CString& item) {
    const size_t bar = item.find(u'|');
    if (bar == CString::npos) return {item.utf8(), CString()};
    return {item.substr(0, bar).utf8(), item.substr(bar + 1)};
}

}  // namespace

CAppData::CAppData(std::string folder) : m_folder(std::move(folder)) {}

std::string CAppData::itemPath(const CString& item) const {
    std::string file = splitItem(item).file;
    std::string base = m_folder;
    // Resolved by text, so that the path is right before the folders exist.
    while (file.compare(0, 3, "../") == 0) {
        const size_t slash = base.rfind('/');
        if (slash == std::string::npos || slash == 0) break;
        base.erase(slash);
        file.erase(0, 3);
    }
    return base + "/" + file;
}

CErrorPtr CAppData::readItem(const CString& item, std::vector<uint8_t>& out, uint32_t tag) {
    const CItemName name = splitItem(item);
    std::lock_guard<std::mutex> lock(m_lock);
    CFileReader file;
    CErrorPtr openError = file.open(CString::fromUtf8(itemPath(item)));
    if (!openError) {
        ZEL_TRY(file.readCompressedData(tag, out));
        return nullptr;
    }
    if (name.defaultResource.empty()) return ZEL_PASS(openError);
    CResourceReader resource;
    ZEL_TRY(resource.open(name.defaultResource));
    ZEL_TRY(resource.readCompressedData(tag, out));
    return nullptr;
}

CErrorPtr CAppData::writeItem(const CString& item, const void* data, size_t size, uint32_t tag) {
    const CItemName name = splitItem(item);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::string path = itemPath(item);
        // A folder that cannot be made shows up as the open error below.
        platform::createFolders(path.substr(0, path.rfind('/')));
        CFileWriter file;
        ZEL_TRY(file.open(CString::fromUtf8(path)));
        ZEL_TRY(file.writeCompressedData(tag, data, size));
        ZEL_TRY(file.close());
    }
    // Outside the store's lock: listeners read the item back.
    notifyListeners(CString::fromUtf8(name.file));
    return nullptr;
}

CAppDataGlobal::CAppDataGlobal() : CAppData(platform::globalDataFolder() + kGlobalStoreFolder) {}

CAppDataGlobal& CAppDataGlobal::instance() {
    // Never destroyed: listeners released during process exit still detach.
    static CAppDataGlobal* store = new CAppDataGlobal();
    return *store;
}

CAppDataLocal::CAppDataLocal() : CAppData(platform::localDataFolder() + kLocalStoreFolder) {}

CAppDataLocal& CAppDataLocal::instance() {
    static CAppDataLocal* store = new CAppDataLocal();
    return *store;
}

}  // namespace zel
