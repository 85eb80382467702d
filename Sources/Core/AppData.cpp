// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/AppData.h"

#include "Core/File.h"
#include "Core/MemoryStream.h"
#include "Core/Notify.h"
#include "Core/ResourceReader.h"
#include "Core/Singleton.h"
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
    const std::string path = itemPath(item);
    CErrorPtr report;
    CErrorPtr err;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto found = m_kept.find(path);
        CKept* kept = found != m_kept.end() && found->second.tag == tag ? &found->second : nullptr;
        CFileReader file;
        if (CErrorPtr openError = file.open(CString::fromUtf8(path))) {
            // Missing: the default, unless this process set the file aside
            // and still knows what it held before.
            if (kept && kept->setAside) {
                out = kept->bytes;
                return nullptr;
            }
            if (name.defaultResource.empty()) return ZEL_PASS(openError);
            // Removed by the user: the default again.
            kept = nullptr;
        } else {
            CErrorPtr readError = file.readCompressedData(tag, out, kMaxItemBytes);
            file.close();
            if (!readError) {
                m_kept[path] = {tag, out, false};
                return nullptr;
            }
            report = setAsideLocked(path, *readError);
            if (kept) {
                kept->setAside = true;
                out = kept->bytes;
            } else if (name.defaultResource.empty()) {
                err = ZEL_PASS(readError);
            }
        }
        if (!kept && !err) {
            CResourceReader resource;
            err = resource.open(name.defaultResource);
            if (!err) err = resource.readCompressedData(tag, out, kMaxItemBytes);
        }
    }
    // Outside the lock: the display may run code that reads the store.
    if (report) CSystem::showError(*report);
    if (err) return ZEL_PASS(err);
    return nullptr;
}

void CAppData::setItemAside(const CString& item, const CError& reason) {
    const std::string path = itemPath(item);
    CErrorPtr report;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        report = setAsideLocked(path, reason);
        auto kept = m_kept.find(path);
        if (kept != m_kept.end()) m_kept.erase(kept);
    }
    if (report) CSystem::showError(*report);
}

CErrorPtr CAppData::setAsideLocked(const std::string& path, const CError& reason) {
    const std::string aside = path + kDamagedSuffix;
    CErrorPtr moved = renameFile(CString::fromUtf8(path), CString::fromUtf8(aside));
    // A file that cannot be moved is read again next time; the user hears of
    // it once.
    if (!m_reported.insert(path).second) return nullptr;
    CErrorPtr report =
        moved ? ZEL_ERROR(
                    "@zelstr_CAppData_readItem_DamagedNotMoved The settings file '%1' is damaged and could not be "
                    "set aside (%2). Its content is ignored.",
                    CString::fromUtf8(path), moved->text())
              : ZEL_ERROR(
                    "@zelstr_CAppData_readItem_Damaged The settings file '%1' is damaged. It was set aside as "
                    "'%2' and is no longer used.",
                    CString::fromUtf8(path), CString::fromUtf8(aside));
    auto cause = std::make_unique<CError>(reason.message(), reason.args());
    report->setCause(std::move(cause));
    return report;
}

CErrorPtr CAppData::writeItem(const CString& item, const void* data, size_t size, uint32_t tag) {
    const CItemName name = splitItem(item);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::string path = itemPath(item);
        // A folder that cannot be made shows up as the open error below.
        platform::createFolders(path.substr(0, path.rfind('/')));
        CMemoryWriter block;
        ZEL_TRY(block.writeCompressedData(tag, data, size));
        ZEL_TRY(replaceFile(CString::fromUtf8(path), block.bytes().data(), block.bytes().size()));
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        m_kept[path] = {tag, std::vector<uint8_t>(bytes, bytes + size), false};
        m_reported.erase(path);
    }
    // Outside the store's lock: listeners read the item back.
    notifyListeners(CString::fromUtf8(name.file));
    return nullptr;
}

CAppDataGlobal::CAppDataGlobal() : CAppData(platform::globalDataFolder() + kGlobalStoreFolder) {}

CAppDataGlobal& CAppDataGlobal::instance() {
    return moduleSingleton<CAppDataGlobal>([] { return new CAppDataGlobal(); });
}

CAppDataLocal::CAppDataLocal() : CAppData(platform::localDataFolder() + kLocalStoreFolder) {}

CAppDataLocal& CAppDataLocal::instance() {
    return moduleSingleton<CAppDataLocal>([] { return new CAppDataLocal(); });
}

// ---------------------------------------------------------------- instance

namespace {
// Far above what a handful of UI settings take.
constexpr uint32_t kMaxInstanceItems = 4096;
constexpr uint32_t kMaxInstanceItemBytes = 1 << 20;
}  // namespace

CErrorPtr CAppDataInstance::readItem(const CString& item, std::vector<uint8_t>& out, uint32_t tag) {
    std::lock_guard<std::mutex> lock(m_itemsLock);
    auto it = m_items.find(item.utf8());
    if (it == m_items.end() || it->second.tag != tag)
        return ZEL_ERROR("@zelstr_CAppDataInstance_readItem_Missing No instance setting '%1' is stored.", item);
    out = it->second.bytes;
    return nullptr;
}

CErrorPtr CAppDataInstance::writeItem(const CString& item, const void* data, size_t size, uint32_t tag) {
    if (size > kMaxInstanceItemBytes)
        return ZEL_ERROR("@zelstr_CAppDataInstance_writeItem_TooLong Instance setting '%1' of %2 bytes is too long.",
                         item, size);
    {
        std::lock_guard<std::mutex> lock(m_itemsLock);
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_items[item.utf8()] = CItem{tag, std::vector<uint8_t>(bytes, bytes + size)};
    }
    notifyListeners(item);
    return nullptr;
}

size_t CAppDataInstance::itemCount() {
    std::lock_guard<std::mutex> lock(m_itemsLock);
    return m_items.size();
}

CErrorPtr CAppDataInstance::save(COutputStream& out) {
    std::lock_guard<std::mutex> lock(m_itemsLock);
    ZEL_TRY(out.writeUInt32(uint32_t(m_items.size())));
    for (const auto& [name, item] : m_items) {
        ZEL_TRY(out.writeString(CString::fromUtf8(name)));
        ZEL_TRY(out.writeUInt32(item.tag));
        ZEL_TRY(out.writeBlock(item.bytes.data(), uint32_t(item.bytes.size())));
    }
    return nullptr;
}

CErrorPtr CAppDataInstance::load(CInputStream& in) {
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    if (count > kMaxInstanceItems)
        return ZEL_ERROR("@zelstr_CAppDataInstance_load_Count Invalid count of instance settings (%1).", count);
    std::map<std::string, CItem> items;
    for (uint32_t i = 0; i < count; ++i) {
        CString read;
        CItem item;
        ZEL_TRY(in.readString(read));
        // The name as saving writes it, so that a load of what was saved
        // finds the same items.
        CMemoryWriter encoded;
        ZEL_TRY(encoded.writeString(read));
        CMemoryReader decoded(encoded.take());
        CString name;
        ZEL_TRY(decoded.readString(name));
        ZEL_TRY(in.readUInt32(item.tag));
        ZEL_TRY(in.readBlock(item.bytes, kMaxInstanceItemBytes));
        items[name.utf8()] = std::move(item);
    }
    std::vector<std::string> changed;
    {
        std::lock_guard<std::mutex> lock(m_itemsLock);
        for (const auto& [name, item] : items) {
            auto old = m_items.find(name);
            if (old == m_items.end() || !(old->second == item)) changed.push_back(name);
        }
        for (const auto& [name, item] : m_items)
            if (!items.count(name)) changed.push_back(name);
        m_items = std::move(items);
    }
    // Outside the lock: listeners read the items again.
    for (const std::string& name : changed) notifyListeners(CString::fromUtf8(name));
    return nullptr;
}

}  // namespace zel
