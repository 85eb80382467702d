// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Core/Notify.h"

namespace zel {

// A folder of application-data items that every plug-in instance of the
// user sees. An item is one compressed block in a file; its name is a path
// relative to the store's folder ("../" included), optionally followed by
// "|" and the name of the embedded resource that holds its default. One lock
// serialises the store's reads and writes; listeners hear about every write
// with the item's file name (the part before "|").
class CAppData : public CUpdateNotifier {
public:
    explicit CAppData(std::string folder);

    const std::string& folder() const { return m_folder; }
    // The file that holds `item`.
    std::string itemPath(const CString& item) const;

    // The item's file, or when it cannot be opened the embedded default,
    // decompressed with the expected `tag`.
    CErrorPtr readItem(const CString& item, std::vector<uint8_t>& out, uint32_t tag);
    // Rewrites the item's file as one compressed block, then tells the
    // listeners.
    CErrorPtr writeItem(const CString& item, const void* data, size_t size, uint32_t tag);

private:
    std::mutex m_lock;
    std::string m_folder;
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

// A store listener member of `T` that forwards each write to one method of
// its owner; it listens from construction to destruction.
template <class T>
class CAppDataListener final : public CUpdateListener {
public:
    using CHandler = void (T::*)(CAppData& store, const CString& item);

    CAppDataListener(T& owner, CHandler handler, CAppData& store)
        : m_owner(owner), m_handler(handler), m_store(store) {
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
