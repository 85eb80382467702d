// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Application.h"

#include <atomic>

#include "Core/ClassRegistry.h"
#include "Core/Debug.h"
#include "Core/ResourceReader.h"
#include "Core/Singleton.h"
#include "Core/XMLData.h"

#define ZEL_SOURCE_TAG "Application"

namespace zel {

namespace {
std::mutex g_startLock;
int g_startCount = 0;
CApplication* g_app = nullptr;
std::atomic<CObject*> g_sharedRoot{nullptr};
}  // namespace

CErrorPtr CApplication::start() {
    std::lock_guard<std::mutex> lock(g_startLock);
    if (g_startCount++ > 0) return nullptr;
    debugLog("Initializing application...");
    g_app = new CApplication();
    CEmbeddedResourceMap::instance();
    size_t count = 0;
    const CClassEntry* table = classTable(count);
    CErrorPtr err = CClassRegistry::instance().registerAll(table, count);
    if (!err) err = g_app->initSharedObject();
    if (err) {
        --g_startCount;
        delete g_app;
        g_app = nullptr;
        g_sharedRoot = nullptr;
        CClassRegistry::instance().clear();
        return ZEL_PASS(err);
    }
    return nullptr;
}

void CApplication::finish() {
    std::lock_guard<std::mutex> lock(g_startLock);
    if (g_startCount == 0 || --g_startCount > 0) return;
    debugLog("Finalizing application...");
    g_sharedRoot = nullptr;
    delete g_app;
    g_app = nullptr;
    CClassRegistry::instance().clear();
    releaseModuleSingletons();
}

bool CApplication::retain() {
    std::lock_guard<std::mutex> lock(g_startLock);
    if (g_startCount == 0) return false;
    ++g_startCount;
    return true;
}

CApplication* CApplication::instance() { return g_app; }

CObject* CApplication::sharedObject() { return g_sharedRoot.load(); }

CErrorPtr CApplication::initSharedObject() {
    if (m_shared) return ZEL_ERROR("@zelstr_CApplication_initSharedObject Shared object already exists.");
    auto shared = std::make_unique<CObject>();
    shared->setRootId(-1);
    shared->setClassInfo(CClassRegistry::instance().find("core:object"));
    ZEL_TRY(CXMLData::load("SharedData.xml", *shared));
    // Published before init so that "shared::" paths resolve while the
    // shared tree initialises itself.
    m_shared = std::move(shared);
    g_sharedRoot = m_shared.get();
    if (CErrorPtr err = m_shared->init()) {
        g_sharedRoot = nullptr;
        m_shared.reset();
        return ZEL_PASS(err);
    }
    return nullptr;
}

CErrorPtr CApplication::initRootObject(CObject& root) {
    if (!m_shared) return ZEL_ERROR("@zelstr_CApplication_initRootObject No shared object created.");
    std::lock_guard<std::mutex> lock(m_rootLock);
    root.setRootId(++m_nextRootId);
    m_roots[root.rootId()] = &root;
    return nullptr;
}

CObject* CApplication::findRoot(long long id) {
    std::lock_guard<std::mutex> lock(m_rootLock);
    auto it = m_roots.find(id);
    return it == m_roots.end() ? nullptr : it->second;
}

size_t CApplication::rootCount() {
    std::lock_guard<std::mutex> lock(m_rootLock);
    return m_roots.size();
}

void CApplication::rootReleased(long long id) {
    if (!g_app) return;
    std::lock_guard<std::mutex> lock(g_app->m_rootLock);
    g_app->m_roots.erase(id);
}

}  // namespace zel
