// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Core/Notify.h"
#include "Core/Stream.h"

namespace zel {

// A folder of application-data items that every plug-in instance of the
// user sees. An item is one compressed block in a file; its name is a path
// relative to the store's folder ("../" included), optionally followed by
// "|" and the name of the embedded resource that holds its default. One lock
// serialises the store's reads and writes; listeners hear about every write
// with the item's file name (the part before "|").
//
// A damaged item file is never trusted nor overwritten in place: it is moved
// aside to "<file>.damaged", the user is told once, and the reader gets what
// this process last read or wrote for the item, else the embedded default.
class CAppData : public CUpdateNotifier {
public:
    // Ceiling of an item's payload. The largest embedded default is the
    // palette cache (193,738 bytes); preset lists are banks of presets.
    static constexpr size_t kMaxItemBytes = size_t(16) << 20;
    static constexpr const char* kDamagedSuffix = ".damaged";

    explicit CAppData(std::string folder);

    const std::string& folder() const { return m_folder; }
    // The file that holds `item`.
    std::string itemPath(const CString& item) const;

    // The item's file, or when it cannot be opened the embedded default,
    // decompressed with the expected `tag`. A file that cannot be read is
    // set aside; the content this process kept for the item, or else the
    // embedded default, is read instead.
    virtual CErrorPtr readItem(const CString& item, std::vector<uint8_t>& out, uint32_t tag);
    // Replaces the item's file with one compressed block (written to a
    // temporary file, synced, renamed over the old one), then tells the
    // listeners.
    virtual CErrorPtr writeItem(const CString& item, const void* data, size_t size, uint32_t tag);
    // For an owner that found the item's content unusable although it read
    // without error: the file is set aside and the user told, as for a file
    // that cannot be read.
    void setItemAside(const CString& item, const CError& reason);

private:
    struct CKept {
        uint32_t tag;
        std::vector<uint8_t> bytes;
        bool setAside;
    };
    // Under m_lock; returns the report for the user, null when already told.
    CErrorPtr setAsideLocked(const std::string& path, const CError& reason);

    std::mutex m_lock;
    std::string m_folder;
    // Per item file: the last content read or written by this process.
    std::map<std::string, CKept> m_kept;
    std::set<std::string> m_reported;
};

// The store shared by every plug-in of the vendor (routing and colour
// presets, global UI settings).
class CAppDataGlobal final : public CAppData {
public:
    static CAppDataGlobal& instance();

private:
    CAppDataGlobal();
};

// This plug-in's own store (current colour scheme and palette).
class CAppDataLocal final : public CAppData {
public:
    static CAppDataLocal& instance();

private:
    CAppDataLocal();
};

// The settings of one plug-in instance: items kept in memory and saved with
// the instance's state, so that a restored session has them again. An item
// never written reads as missing (its owner takes its default).
class CAppDataInstance final : public CAppData {
public:
    CAppDataInstance() : CAppData(std::string()) {}

    CErrorPtr readItem(const CString& item, std::vector<uint8_t>& out, uint32_t tag) override;
    CErrorPtr writeItem(const CString& item, const void* data, size_t size, uint32_t tag) override;
    // Every item: u32 count, then per item its name, u32 tag and block.
    CErrorPtr save(COutputStream& out);
    // Replaces the items with those saved; the listeners hear of each item
    // that changed. A damaged record changes nothing.
    CErrorPtr load(CInputStream& in);
    size_t itemCount();

private:
    struct CItem {
        uint32_t tag;
        std::vector<uint8_t> bytes;
        bool operator==(const CItem& o) const { return tag == o.tag && bytes == o.bytes; }
    };
    std::mutex m_itemsLock;
    std::map<std::string, CItem> m_items;
};

// An object above which the instance's settings are found (the editor's
// root); "is-global"="false" settings below it are kept there.
class IAppDataOwner {
public:
    virtual ~IAppDataOwner() = default;
    virtual CAppDataInstance& instanceData() = 0;
};

// A store listener member of `T` that forwards each write to one method of
// its owner; it listens from construction to destruction.
template <class T>
class CAppDataListener final : public CUpdateListener {
public:
    using CHandler = void (T::*)(CAppData& store, const CString& item);

    CAppDataListener(T& owner, CHandler handler, CAppData& store) : m_owner(owner), m_handler(handler), m_store(store) {
        m_store.addListener(*this);
    }
    ~CAppDataListener() override { detach(); }

    CAppData& store() const { return m_store; }
    void update(CUpdateNotifier&, const CString& item) override { (m_owner.*m_handler)(m_store, item); }

private:
    T& m_owner;
    CHandler m_handler;
    CAppData& m_store;
};

}  // namespace zel
